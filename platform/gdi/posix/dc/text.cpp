// Text of the device context: laying out a run with the selected font, and
// the glyph outlines GDI fills when a driver declines the text.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "context_state.h"

namespace tessaly::gdi {

namespace {

LONG roundL(double v) { return static_cast<LONG>(std::clamp(std::lround(v), -1073741824L, 1073741824L)); }

// Realized fonts a context keeps, the least recently used going first. A
// page of a few faces at a few sizes and turns uses them in turn: fewer than
// it asks for would realize every font anew at every use.
constexpr size_t kKeptFonts = 32;

}  // namespace

std::shared_ptr<FontObject> DeviceContext::Impl::realize(const FontRequest& request) {
    auto same = [&](const FontRequest& r) {
        return std::memcmp(&r.logFont, &request.logFont, sizeof r.logFont) == 0 && r.m11 == request.m11 &&
               r.m12 == request.m12 && r.m21 == request.m21 && r.m22 == request.m22 && r.dpiX == request.dpiX &&
               r.dpiY == request.dpiY;
    };
    for (auto it = fonts.begin(); it != fonts.end(); ++it)
        if (same(it->first)) {
            auto hit = *it;
            fonts.erase(it);
            fonts.push_back(hit);
            return hit.second;
        }
    std::shared_ptr<FontObject> font(FontObject::create(request));
    if (!font) return nullptr;
    if (fonts.size() >= kKeptFonts) fonts.erase(fonts.begin());
    fonts.emplace_back(request, font);
    return font;
}

bool DeviceContext::textOut(PointD at, std::u16string_view text, std::span<const double> advances,
                            const RectD* opaque) {
    TextOptions options;
    options.advances = advances;
    options.opaque = opaque;
    return textOut(at, text, options);
}

namespace {

// The underline and strike-out of a font as spans across the baseline, in
// device pixels above it: {low, high}.
struct Stroke {
    double low, high;
};

std::vector<Stroke> decorations(FontObject& font) {
    std::vector<Stroke> strokes;
    const LOGFONTW& logFont = font.request().logFont;
    if (!logFont.lfUnderline && !logFont.lfStrikeOut) return strokes;
    const IFIMETRICS* ifi = font.ifiMetrics();
    if (!ifi) return strokes;
    // Device pixels per font unit across the baseline.
    const XFORML& m = font.transform()->matrix();
    const double k = std::hypot(static_cast<double>(m.eM21), static_cast<double>(m.eM22));
    const double upem = ifi->fwdUnitsPerEm > 0 ? ifi->fwdUnitsPerEm : 1000;
    double underSize = ifi->fwdUnderscoreSize > 0 ? ifi->fwdUnderscoreSize : upem / 20;
    const double underAt = ifi->fwdUnderscorePosition != 0 ? ifi->fwdUnderscorePosition : -upem / 10;
    // Never thinner than a pixel, so that small text keeps its lines.
    underSize = std::max(underSize * k, 1.0);
    if (logFont.lfUnderline) strokes.push_back({underAt * k - underSize / 2, underAt * k + underSize / 2});
    if (logFont.lfStrikeOut) {
        double size = ifi->fwdStrikeoutSize > 0 ? std::max(ifi->fwdStrikeoutSize * k, 1.0) : underSize;
        const double at = ifi->fwdStrikeoutPosition > 0 ? ifi->fwdStrikeoutPosition * k : upem * 0.25 * k;
        strokes.push_back({at, at + size});
    }
    return strokes;
}

}  // namespace

bool DeviceContext::textOut(PointD at, std::u16string_view text, const TextOptions& options) {
    const std::span<const double> advances = options.advances;
    const RectD* opaque = options.opaque;
    Impl& d = *impl_;
    if (!d.inPage) return d.fail("drawing outside a page");
    if (!std::isfinite(at.x) || !std::isfinite(at.y)) return d.fail("textOut: bad point");
    const size_t step = options.pairs ? 2 : 1;
    if (options.pairs && advances.empty()) return d.fail("textOut: paired advances without advances");
    if (!advances.empty() && advances.size() / step < text.size())
        return d.fail("textOut: fewer advances than characters");
    for (double a : advances)
        if (!std::isfinite(a) || std::fabs(a) > 1e7) return d.fail("textOut: bad advance");
    const DcState& s = d.state;
    const Transform& t = s.world;

    // The baseline in the device: the escapement turns it counter-clockwise
    // on the page (y down), then the world transform maps it.
    const double angle = s.font.lfEscapement / 10.0 * std::numbers::pi / 180.0;
    const PointD dir{std::cos(angle), -std::sin(angle)};
    const PointD mapped{dir.x * t.m11 + dir.y * t.m21, dir.x * t.m12 + dir.y * t.m22};
    const double stretch = std::hypot(mapped.x, mapped.y);
    if (!(stretch > 0)) return d.fail("textOut: the transform flattens the baseline");
    const PointD u{mapped.x / stretch, mapped.y / stretch};
    const PointD up{u.y, -u.x};
    const double scale = std::sqrt(std::fabs(t.m11 * t.m22 - t.m12 * t.m21));

    FontRequest request;
    request.logFont = s.font;
    LONG height = roundL(s.font.lfHeight * scale);
    if (height == 0) height = s.font.lfHeight < 0 ? -1 : 1;
    request.logFont.lfHeight = height;
    request.logFont.lfWidth = 0;
    LONG tenths = roundL(std::atan2(-u.y, u.x) * 1800.0 / std::numbers::pi);
    if (tenths < 0) tenths += 3600;
    request.logFont.lfEscapement = tenths;
    request.logFont.lfOrientation = tenths;
    request.dpiX = static_cast<LONG>(d.device.gdiInfo().ulLogPixelsX);
    request.dpiY = static_cast<LONG>(d.device.gdiInfo().ulLogPixelsY);
    std::shared_ptr<FontObject> font = d.realize(request);
    if (!font) return d.fail("textOut: the font cannot be realized");

    DrawOp op;
    op.kind = DrawOp::Kind::Text;
    op.text.assign(text.begin(), text.end());
    double width = 0;
    // Towards the descent in the device.
    const PointD down{-up.x, -up.y};
    if (options.pairs) {
        // Each pair along and across the world's baseline, to the device's
        // baseline and across it.
        const PointD worldDown{-dir.y, dir.x};
        bool lines = false;
        for (size_t i = 0; i < text.size(); ++i) {
            const double a = advances[2 * i], c = advances[2 * i + 1];
            const PointD w{a * dir.x + c * worldDown.x, a * dir.y + c * worldDown.y};
            const PointD v{w.x * t.m11 + w.y * t.m21, w.x * t.m12 + w.y * t.m22};
            op.advances.push_back(v.x * u.x + v.y * u.y);
            op.across.push_back(v.x * down.x + v.y * down.y);
            lines = lines || op.across.back() != 0;
        }
        if (!lines) op.across.clear();
    } else if (!advances.empty()) {
        for (size_t i = 0; i < text.size(); ++i) op.advances.push_back(advances[i] * stretch);
    } else {
        for (char16_t c : text) {
            double dx = 0, dy = 0;
            if (font->advance(options.glyphIndices ? HGLYPH{c} : font->glyph(c), &dx, &dy)) op.advances.push_back(std::hypot(dx, dy));
            else op.advances.push_back(0);
        }
    }
    for (double a : op.advances) width += a;
    if (advances.empty()) op.advances.clear();  // the font places its own glyphs

    const double ascent = font->ascent(), descent = font->descent();
    double shiftX = 0, shiftUp = 0;
    if (s.alignX == TextAlignX::Center) shiftX = -width / 2;
    if (s.alignX == TextAlignX::Right) shiftX = -width;
    if (s.alignY == TextAlignY::Top) shiftUp = -ascent;
    if (s.alignY == TextAlignY::Bottom) shiftUp = descent;
    const PointD p0 = t.apply(at);
    op.origin = {p0.x + u.x * shiftX + up.x * shiftUp, p0.y + u.y * shiftX + up.y * shiftUp};

    // The lines of the text, each from its first character's origin to its
    // last one's advance: {along, across the baseline, end along}. The
    // advance that leaves a line for the next is the glyph's own.
    struct Line {
        double along, across, end;
    };
    std::vector<Line> lines{{0, 0, width}};
    if (!op.across.empty()) {
        lines.front().end = 0;
        double along = 0, across = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            Line& line = lines.back();
            if (i + 1 < text.size() && op.across[i] != 0) {
                double dx = 0, dy = 0;
                const bool known =
                    font->advance(options.glyphIndices ? HGLYPH{text[i]} : font->glyph(text[i]), &dx, &dy);
                line.end = std::max(line.end, along + (known ? std::hypot(dx, dy) : 0));
                along += op.advances[i];
                across += op.across[i];
                lines.push_back({along, across, along});
            } else {
                along += op.advances[i];
                line.end = std::max(line.end, along);
            }
        }
    }
    RectD box{INFINITY, INFINITY, -INFINITY, -INFINITY};
    for (const Line& line : lines)
        for (double along : {std::min(line.along, line.end), std::max(line.along, line.end)})
            for (double across : {ascent - line.across, -descent - line.across}) {
                const PointD p{op.origin.x + u.x * along + up.x * across, op.origin.y + u.y * along + up.y * across};
                box = {std::min(box.left, p.x), std::min(box.top, p.y), std::max(box.right, p.x),
                       std::max(box.bottom, p.y)};
            }
    RectD back = box;
    if (opaque) {
        DevicePath r;
        addRectangle(r, *opaque, t);
        if (!r.bounds(&back)) return d.fail("textOut: bad opaque rectangle");
        op.opaque = true;
    } else {
        op.opaque = s.backgroundMode == BackgroundMode::Opaque && !text.empty();
    }
    op.opaqueRect = pixelBounds(back);
    if (options.clip) {
        DevicePath r;
        addRectangle(r, *options.clip, t);
        RectD clipBox;
        if (!r.bounds(&clipBox)) return d.fail("textOut: bad clipping rectangle");
        op.clipped = true;
        op.clipRect = pixelBounds(clipBox);
    }
    if (text.empty() && !op.opaque) return true;

    // Underline and strike-out along the text's advance width. A horizontal
    // or vertical baseline gives rectangles of whole pixels, which travel
    // with the text; others are filled as polygons after it.
    const bool axisAligned = std::fabs(u.x) < 1e-9 || std::fabs(u.y) < 1e-9;
    std::vector<DevicePath> slanted;
    if (!text.empty() && (width > 0 || lines.size() > 1) && !options.invisible) {
        const std::vector<Stroke> strokes = decorations(*font);
        for (const Line& line : lines)
            for (const Stroke& stroke : strokes) {
                if (line.end == line.along) continue;
                auto corner = [&](double along, double across) {
                    across -= line.across;
                    return PointD{op.origin.x + u.x * along + up.x * across, op.origin.y + u.y * along + up.y * across};
                };
                const PointD c[4] = {corner(line.along, stroke.low), corner(line.end, stroke.low),
                                     corner(line.end, stroke.high), corner(line.along, stroke.high)};
                if (axisAligned) {
                    RectD r{std::min({c[0].x, c[1].x, c[2].x, c[3].x}), std::min({c[0].y, c[1].y, c[2].y, c[3].y}),
                            std::max({c[0].x, c[1].x, c[2].x, c[3].x}), std::max({c[0].y, c[1].y, c[2].y, c[3].y})};
                    DeviceRect pixels = pixelBounds(r);
                    // A stroke thinner than a pixel still covers one row.
                    if (pixels.bottom <= pixels.top) pixels.bottom = pixels.top + 1;
                    if (pixels.right <= pixels.left) pixels.right = pixels.left + 1;
                    op.extra.push_back(pixels);
                } else {
                    DevicePath polygon;
                    Figure f;
                    f.start = c[0];
                    for (int i = 1; i < 4; ++i) f.segments.push_back(Segment{false, {}, {}, c[i]});
                    f.closed = true;
                    polygon.figures.push_back(std::move(f));
                    slanted.push_back(std::move(polygon));
                }
            }
    }
    op.glyphIndices = options.glyphIndices;
    op.invisible = options.invisible;
    op.font = std::move(font);
    op.textColor = s.textColor;
    op.background = s.background;
    op.transparentBackground = s.backgroundMode == BackgroundMode::Transparent;
    // Glyphs may reach past their advance box (italics, overhangs).
    const double grow = std::fabs(static_cast<double>(height)) + 2;
    const DeviceRect ink = pixelBounds({box.left - grow, box.top - grow, box.right + grow, box.bottom + grow});
    op.bounds = {std::min(ink.left, op.opaqueRect.left), std::min(ink.top, op.opaqueRect.top),
                 std::max(ink.right, op.opaqueRect.right), std::max(ink.bottom, op.opaqueRect.bottom)};
    for (const DeviceRect& r : op.extra)
        op.bounds = {std::min(op.bounds.left, r.left), std::min(op.bounds.top, r.top),
                     std::max(op.bounds.right, r.right), std::max(op.bounds.bottom, r.bottom)};
    const bool clipped = op.clipped;
    const DeviceRect clipRect = op.clipRect;
    const Color color = op.textColor;
    if (!d.submit(std::move(op))) return false;
    for (DevicePath& polygon : slanted) {
        DrawOp line;
        line.kind = DrawOp::Kind::Fill;
        RectD b;
        if (!polygon.bounds(&b)) continue;
        line.bounds = pixelBounds({b.left - 1, b.top - 1, b.right + 1, b.bottom + 1});
        line.path = std::move(polygon);
        line.winding = true;
        line.brush.style = BrushStyle::Solid;
        line.brush.color = color;
        line.mix = R2_COPYPEN;
        line.clipped = clipped;
        line.clipRect = clipRect;
        if (!d.submit(std::move(line))) return false;
    }
    return true;
}

}  // namespace tessaly::gdi
