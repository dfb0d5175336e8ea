// The path hooks: strokes, fills and stroke-and-fills written as shapes.

#include "path_hooks.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "clip_mask.h"
#include "device.h"
#include "hook_frame.h"
#include "markup.h"
#include "shape_markup.h"

namespace tessaly::pagesmith {

namespace {

// The most dash pieces one call writes; a pattern far finer than a pixel
// over a long line would otherwise run without end.
constexpr int64_t kDashPieceBudget = 1'000'000;

std::string pointText(double x, double y) { return markup::realText(x) + "," + markup::realText(y); }

void writeDash(std::string& out, double x0, double y0, double x1, double y1) {
    out += "<Linex path=\"" + pointText(x0, y0) + ";" + pointText(x1, y1) + "\"/>\n";
}

// The path of a styled line, dashed. Bezier records end the dashing.
void writeDashedPath(std::string& out, PATHOBJ* path, DashPattern pattern, double yOffset, const DashArea& area) {
    PATHOBJ_vEnumStart(path);
    PATHDATA data{};
    double startX = 0, startY = 0, lastX = 0, lastY = 0;
    bool have = false;
    int64_t budget = kDashPieceBudget;
    bool more = true;
    while (more && budget > 0) {
        more = PATHOBJ_bEnum(path, &data) != FALSE;
        if (data.count == 0 || !data.pptfx) continue;
        if (data.flags & PD_BEZIERS) return;
        ULONG first = 0;
        if (data.flags & PD_BEGINSUBPATH) {
            startX = lastX = data.pptfx[0].x / 16.0;
            startY = lastY = data.pptfx[0].y / 16.0 + yOffset;
            have = true;
            first = 1;
        }
        if (!have) continue;
        for (ULONG i = first; i < data.count; ++i) {
            const double x = data.pptfx[i].x / 16.0, y = data.pptfx[i].y / 16.0 + yOffset;
            dashSegment(out, pattern, lastX, lastY, x, y, budget, area);
            lastX = x;
            lastY = y;
        }
        if ((data.flags & PD_CLOSEFIGURE) && (lastX != startX || lastY != startY)) {
            dashSegment(out, pattern, lastX, lastY, startX, startY, budget, area);
            lastX = startX;
            lastY = startY;
        }
    }
}

// Pixels per world unit of a geometric line (its width and its style
// lengths are in world units): the length the transform gives the x axis.
double geometricScale(XFORMOBJ* transform) {
    XFORML xform{};
    if (transform && XFORMOBJ_iGetXform(transform, &xform) != DDI_ERROR) {
        return std::sqrt(double(xform.eM11) * xform.eM11 + double(xform.eM12) * xform.eM12);
    }
    return 1.0;
}

double strokeWidth(const LINEATTRS* attrs, XFORMOBJ* transform) {
    if (!attrs || !(attrs->fl & LA_GEOMETRIC)) return 1.0;
    return attrs->elWidth.e * geometricScale(transform);
}

bool hasCurves(PATHOBJ* path) { return path && (path->fl & PO_BEZIERS); }

// The fill of a path under a one-rectangle clip as polygons clipped to the
// rectangle; false when it does not apply (curves, too few points).
bool writeRectClippedFill(std::string& out, PATHOBJ* path, const RECTL& clip, const char* side,
                          uint32_t colour, double yOffset) {
    PATHOBJ_vEnumStart(path);
    PATHDATA data{};
    size_t total = 0;
    bool more = true;
    while (more) {
        more = PATHOBJ_bEnum(path, &data) != FALSE;
        if (data.flags & PD_BEZIERS) return false;
        total += data.count;
    }
    if (total <= 2) return false;
    const double left = clip.left - 0.5, top = clip.top - 0.5, right = clip.right - 0.5,
                 bottom = clip.bottom - 0.5;
    bool wrote = false;
    std::vector<PointD2> polygon;
    PATHOBJ_vEnumStart(path);
    more = true;
    while (more) {
        more = PATHOBJ_bEnum(path, &data) != FALSE;
        if (data.flags & PD_BEGINSUBPATH) polygon.clear();
        for (ULONG i = 0; data.pptfx && i < data.count; ++i) {
            const PointD2 p{data.pptfx[i].x / 16.0, data.pptfx[i].y / 16.0};
            if (!polygon.empty() && polygon.back().x == p.x && polygon.back().y == p.y) continue;
            polygon.push_back(p);
        }
        if (!(data.flags & PD_ENDSUBPATH)) continue;
        if (polygon.size() > 2) {
            std::vector<PointD2> clipped;
            try {
                clipped = clipPolygon(polygon, left, top, right, bottom);
            } catch (const std::bad_alloc&) {
                // Written nothing yet: the mask form takes over.
                if (!wrote) return false;
                throw;
            }
            if (clipped.size() > 2) {
                if (!wrote) {
                    writeShapeStart(out);
                    writeFillColour(out, side, colour);
                    wrote = true;
                }
                out += "<Linex path=\"";
                for (const PointD2& p : clipped) out += pointText(p.x, p.y + yOffset) + ";";
                out += pointText(clipped[0].x, clipped[0].y + yOffset) + "\"/>\n";
            }
        }
        polygon.clear();
    }
    if (wrote) writeShapeEnd(out);
    return true;
}

}  // namespace

bool isStyled(const LINEATTRS* attrs) {
    return attrs && ((attrs->fl & LA_ALTERNATE) || (attrs->cstyle > 0 && attrs->pstyle));
}

bool dashPattern(const LINEATTRS& attrs, DashPattern& pattern, double geometricUnit) {
    const uint32_t state = uint32_t(attrs.elStyleState.l);
    pattern.on = !(attrs.fl & LA_STARTGAP);
    pattern.position = double(state & 0xFFFF);
    if (attrs.fl & LA_ALTERNATE) {
        pattern.alternate = true;
        pattern.entries = {1, 1};
        pattern.unit = 1;
        pattern.index = (state >> 16) % 2;
        return true;
    }
    const bool geometric = (attrs.fl & LA_GEOMETRIC) != 0;
    pattern.unit = geometric ? (geometricUnit > 0 && std::isfinite(geometricUnit) ? geometricUnit : 1) : 3;
    pattern.entries.clear();
    bool any = false;
    for (ULONG i = 0; i < attrs.cstyle; ++i) {
        double entry = geometric ? double(attrs.pstyle[i].e) : double(attrs.pstyle[i].l);
        if (!(entry > 0) || !std::isfinite(entry)) entry = 0;
        any = any || entry > 0;
        pattern.entries.push_back(entry);
    }
    if (!any) return false;
    // A whole pattern shorter than a pixel has no gaps to see: every piece
    // would be drawn a pixel long, so the line is drawn solid instead of as
    // up to a million overlapping dashes.
    double cycle = 0;
    for (double entry : pattern.entries) cycle += entry * pattern.unit;
    if (!(cycle >= 1)) return false;
    pattern.index = (state >> 16) % attrs.cstyle;
    return true;
}

namespace {

// Where the segment from (x0, y0) along (dx, dy) is inside the area, as
// fractions [*enter, *leave] of the segment; false when it never is.
bool segmentInside(const DashArea& area, double x0, double y0, double dx, double dy, double* enter,
                   double* leave) {
    double from = 0, to = 1;
    auto edge = [&](double p, double q) {
        // p * s <= q must hold at the fraction s.
        if (p == 0) return q >= 0;
        const double s = q / p;
        if (p < 0) from = std::max(from, s);
        else to = std::min(to, s);
        return from <= to;
    };
    if (!edge(-dx, x0 - area.left) || !edge(dx, area.right - x0) || !edge(-dy, y0 - area.top) ||
        !edge(dy, area.bottom - y0))
        return false;
    *enter = from;
    *leave = to;
    return true;
}

}  // namespace

void dashSegment(std::string& out, DashPattern& pattern, double x0, double y0, double x1, double y1,
                 int64_t& budget, const DashArea& area) {
    const double dx = x1 - x0, dy = y1 - y0;
    const bool xMajor = std::fabs(dx) >= std::fabs(dy);
    const double length = xMajor ? std::fabs(dx) : std::fabs(dy);
    if (!(length > 0) || !std::isfinite(length)) return;
    // Per unit along the major axis: one pixel on it, the slope on the other.
    const double stepX = dx / length, stepY = dy / length;
    // The visible stretch of the segment, in the same units as the walk.
    double enter = 0, leave = 0;
    const bool visible = segmentInside(area, x0, y0, dx, dy, &enter, &leave);
    enter *= length;
    leave *= length;
    if (!visible) enter = leave = length + 1;
    // One cycle of the pattern returns it to the state it started in: every
    // entry once, twice when an odd count swaps on and off.
    double cycle = 2;
    if (!pattern.alternate) {
        cycle = 0;
        for (double entry : pattern.entries) cycle += entry * pattern.unit;
        if (pattern.entries.size() % 2) cycle *= 2;
    }
    double t = 0;
    while (t < length && budget > 0) {
        // Whole cycles before and after the visible stretch are passed over.
        if (cycle > 0) {
            const double target = t < enter ? enter : t > leave ? length : t;
            const double skip = std::floor((target - t) / cycle) - 1;
            if (skip > 0 && t + skip * cycle > t) {
                t += skip * cycle;
                continue;
            }
        }
        --budget;
        const double entry = pattern.entries[pattern.index] * pattern.unit;
        const double rest = entry - pattern.position * pattern.unit;
        const double available = length - t;
        double piece = pattern.alternate ? std::min(1.0, available) : std::min(rest, available);
        if (piece < 0) piece = 0;
        if (pattern.on && t <= leave && t + std::max(piece, 1.0) >= enter) {
            const double sx = x0 + stepX * t, sy = y0 + stepY * t;
            double ex = x0 + stepX * (t + piece), ey = y0 + stepY * (t + piece);
            if (ex == sx && ey == sy) {
                ex = sx + stepX;
                ey = sy + stepY;
            }
            writeDash(out, sx, sy, ex, ey);
        }
        if (pattern.alternate || piece >= rest) {
            pattern.position = 0;
            pattern.index = (pattern.index + 1) % pattern.entries.size();
            pattern.on = !pattern.on;
        } else {
            pattern.position += piece / pattern.unit;
        }
        t += piece;
    }
}

std::vector<PointD2> clipPolygon(std::vector<PointD2> polygon, double left, double top, double right,
                                 double bottom) {
    // Each edge keeps the points on its inner side; `inside` tells the side,
    // `cross` where a segment meets the edge.
    auto clipEdge = [&polygon](auto inside, auto cross) {
        std::vector<PointD2> result;
        if (polygon.empty()) return;
        result.reserve(polygon.size() + 4);
        PointD2 previous = polygon.back();
        for (const PointD2& current : polygon) {
            const bool currentIn = inside(current), previousIn = inside(previous);
            if (currentIn) {
                if (!previousIn) result.push_back(cross(previous, current));
                result.push_back(current);
            } else if (previousIn) {
                result.push_back(cross(previous, current));
            }
            previous = current;
        }
        polygon.swap(result);
    };
    auto atY = [](const PointD2& a, const PointD2& b, double y) {
        return PointD2{a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y), y};
    };
    auto atX = [](const PointD2& a, const PointD2& b, double x) {
        return PointD2{x, a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x)};
    };
    clipEdge([&](const PointD2& p) { return p.y >= top; },
             [&](const PointD2& a, const PointD2& b) { return atY(a, b, top); });
    clipEdge([&](const PointD2& p) { return p.x <= right; },
             [&](const PointD2& a, const PointD2& b) { return atX(a, b, right); });
    clipEdge([&](const PointD2& p) { return p.y <= bottom; },
             [&](const PointD2& a, const PointD2& b) { return atY(a, b, bottom); });
    clipEdge([&](const PointD2& p) { return p.x >= left; },
             [&](const PointD2& a, const PointD2& b) { return atX(a, b, left); });
    return polygon;
}

}  // namespace tessaly::pagesmith

using namespace tessaly::pagesmith;

extern "C" {

WINBOOL APIENTRY DrvStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo,
                               POINTL* pptlBrushOrg, LINEATTRS* plineattrs, MIX mix) {
    DriverDevice* device = deviceOf(pso);
    auto render = [&] { return EngStrokePath(pso, ppo, pco, pxo, pbo, pptlBrushOrg, plineattrs, mix); };
    auto translate = [&](std::string& out) {
        // A wide stroke reaches beyond its path by half its width.
        const double width = strokeWidth(plineattrs, pxo);
        const LONG margin = LONG(std::min(std::ceil(std::fabs(width) / 2), 1e6)) + 1;
        const std::optional<uint32_t> brush = solidColour(pbo);
        if (!brush) return HookDecision::fallback(pathBounds(ppo, margin), pco);
        const uint32_t rop = mixToRop3(mix);
        if (rop == kRopNothing) return HookDecision::translate();
        const std::optional<uint32_t> colour = flatRopColour(rop, *brush);
        if (!colour) return HookDecision::fallback(pathBounds(ppo, margin), pco);
        const bool styled = isStyled(plineattrs);
        if (styled && hasCurves(ppo)) return HookDecision::defer();
        const bool masked = writeClipMask(*device, out, pco, maskXOffset(*device), maskYOffset(*device));
        writeShapeStart(out);
        writeLineStyle(out, width, *colour);
        DashPattern pattern;
        // A geometric line's dashes are in world units, as its width.
        if (styled && dashPattern(*plineattrs, pattern, geometricScale(pxo))) {
            // Dashes are seen on the page and as far beyond it as the pen reaches.
            const double reach = double(margin) + 1;
            const DashArea page{-reach, -reach, device->pageWidth + reach, device->pageHeight + reach};
            writeDashedPath(out, ppo, pattern, device->bandY, page);
        } else {
            // A style array of zeros has no gaps: the line is drawn solid.
            writePathElements(out, ppo, 0, bandYOffset(*device));
        }
        writeShapeEnd(out);
        if (masked) writeMaskEnd(out);
        return HookDecision::translate();
    };
    if (!ppo) return renderNested(device, render);
    return runHook(device, translate, render);
}

WINBOOL APIENTRY DrvFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg,
                             MIX mix, FLONG flOptions) {
    DriverDevice* device = deviceOf(pso);
    auto render = [&] { return EngFillPath(pso, ppo, pco, pbo, pptlBrushOrg, mix, flOptions); };
    auto translate = [&](std::string& out) {
        if (!(flOptions & FP_ALTERNATEMODE) && ppo->cCurves >= 5) return HookDecision::defer();
        const std::optional<uint32_t> brush = solidColour(pbo);
        if (!brush) return HookDecision::defer();
        const uint32_t rop = mixToRop3(mix);
        if (rop == kRopNothing) return HookDecision::translate();
        const std::optional<uint32_t> colour = flatRopColour(rop, *brush);
        if (!colour) return HookDecision::defer();
        const char* side = fillSide(orientationSum(ppo));
        if (pco && pco->iDComplexity == DC_RECT &&
            writeRectClippedFill(out, ppo, pco->rclBounds, side, *colour, device->bandY)) {
            return HookDecision::translate();
        }
        const bool masked = writeClipMask(*device, out, pco, maskXOffset(*device), maskYOffset(*device));
        writeShapeStart(out);
        writeFillColour(out, side, *colour);
        writePathElements(out, ppo, 0, bandYOffset(*device));
        writeShapeEnd(out);
        if (masked) writeMaskEnd(out);
        return HookDecision::translate();
    };
    if (!ppo) return renderNested(device, render);
    return runHook(device, translate, render);
}

WINBOOL APIENTRY DrvStrokeAndFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo,
                                      BRUSHOBJ* pboStroke, LINEATTRS* plineattrs, BRUSHOBJ* pboFill,
                                      POINTL* pptlBrushOrg, MIX mixFill, FLONG flOptions) {
    DriverDevice* device = deviceOf(pso);
    auto render = [&] {
        return EngStrokeAndFillPath(pso, ppo, pco, pxo, pboStroke, plineattrs, pboFill, pptlBrushOrg, mixFill,
                                    flOptions);
    };
    auto translate = [&](std::string& out) {
        if (!(flOptions & FP_ALTERNATEMODE)) return HookDecision::defer();
        const std::optional<uint32_t> stroke = solidColour(pboStroke), fill = solidColour(pboFill);
        if (!stroke || !fill) return HookDecision::defer();
        const uint32_t rop = mixToRop3(mixFill);
        if (rop == kRopNothing) return HookDecision::translate();
        const std::optional<uint32_t> strokeColour = flatRopColour(rop, *stroke);
        const std::optional<uint32_t> fillColour = flatRopColour(rop, *fill);
        if (!strokeColour || !fillColour) return HookDecision::defer();
        if (isStyled(plineattrs)) return HookDecision::defer();
        const bool masked = writeClipMask(*device, out, pco, maskXOffset(*device), maskYOffset(*device));
        writeShapeStart(out);
        writeLineStyle(out, strokeWidth(plineattrs, pxo), *strokeColour);
        writeFillColour(out, fillSide(orientationSum(ppo)), *fillColour);
        writePathElements(out, ppo, 0, bandYOffset(*device));
        writeShapeEnd(out);
        if (masked) writeMaskEnd(out);
        return HookDecision::translate();
    };
    if (!ppo) return renderNested(device, render);
    return runHook(device, translate, render);
}

}  // extern "C"
