#include "shape_markup.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <vector>

#include "markup.h"

namespace tessaly::pagesmith {

uint32_t mixToRop3(MIX mix) {
    static constexpr uint8_t kRops[16] = {0x00, 0x05, 0x0A, 0x0F, 0x50, 0x55, 0x5A, 0x5F,
                                          0xA0, 0xA5, 0xAA, 0xAF, 0xF0, 0xF5, 0xFA, 0xFF};
    const uint32_t foreground = mix & 0xFF;
    if (foreground >= 1 && foreground <= 16) return kRops[foreground - 1];
    return 0xF0;
}

std::optional<uint32_t> flatRopColour(uint32_t rop3, uint32_t colour) {
    switch (rop3) {
    case 0x00: return 0x000000u;
    case 0x0F: return (colour ^ 0xFFFFFFu) & 0xFFFFFFu;
    case 0xF0: return colour & 0xFFFFFFu;
    case 0xFF: return 0xFFFFFFu;
    default: return std::nullopt;
    }
}

std::optional<uint32_t> solidColour(const BRUSHOBJ* brush) {
    if (!brush) return 0u;
    if (brush->iSolidColor == 0xFFFFFFFFu) return std::nullopt;
    return brush->iSolidColor & 0xFFFFFFu;
}

void writeShapeStart(std::string& out) { markup::completeStartTag(out, "Shape"); }
void writeShapeEnd(std::string& out) { markup::endTag(out, "Shape"); }

void writeLineStyle(std::string& out, double width, uint32_t colour) {
    out += "  ";
    markup::startTagOpen(out, "LineStyle");
    markup::realAttribute(out, "width", width);
    markup::colourAttribute(out, "color", colour);
    markup::startTagClose(out, true, true);
}

void writeFillColour(std::string& out, const char* side, uint32_t colour) {
    out += "  ";
    markup::startTagOpen(out, "FillColor");
    markup::textAttribute(out, "side", side);
    markup::colourAttribute(out, "color", colour);
    markup::startTagClose(out, true, true);
}

void writeRect(std::string& out, LONG left, LONG top, LONG right, LONG bottom) {
    out += "  ";
    markup::startTagOpen(out, "Rect");
    markup::textAttribute(out, "pos", std::to_string(left) + "," + std::to_string(top));
    markup::textAttribute(out, "size",
                          std::to_string(int64_t(right) - left) + "," + std::to_string(int64_t(bottom) - top));
    markup::startTagClose(out, true, true);
}

std::string fixText(int64_t value) { return markup::realText(double(value) / 16.0); }

void writePathElements(std::string& out, PATHOBJ* path, FIX xOffset, FIX yOffset) {
    if (!path) return;
    PATHOBJ_vEnumStart(path);
    PATHDATA data{};
    int64_t startX = 0, startY = 0;
    bool more = true;
    while (more) {
        more = PATHOBJ_bEnum(path, &data) != FALSE;
        if (data.count == 0 || !data.pptfx) continue;
        const bool begins = (data.flags & PD_BEGINSUBPATH) != 0;
        const bool curves = (data.flags & PD_BEZIERS) != 0;
        if (begins) {
            startX = int64_t(data.pptfx[0].x) + xOffset;
            startY = int64_t(data.pptfx[0].y) + yOffset;
        }
        out += '<';
        out += curves ? (begins ? "Curvex" : "CurvexTo") : (begins ? "Linex" : "LinexTo");
        out += " path=\"";
        int64_t lastX = 0, lastY = 0;
        for (ULONG i = 0; i < data.count; ++i) {
            lastX = int64_t(data.pptfx[i].x) + xOffset;
            lastY = int64_t(data.pptfx[i].y) + yOffset;
            out += fixText(lastX);
            out += ',';
            out += fixText(lastY);
            out += ';';
        }
        out += '"';
        if (curves) out += " type=\"bezier3\"";
        out += "/>\n";
        if ((data.flags & PD_CLOSEFIGURE) && (lastX != startX || lastY != startY)) {
            out += "<LinexTo path=\"" + fixText(startX) + "," + fixText(startY) + "\"/>\n";
        }
    }
}

namespace {

double orientationSumOf(PATHOBJ* path) {
    std::vector<POINTFIX> points;
    double sum = 0;
    PATHOBJ_vEnumStart(path);
    PATHDATA data{};
    bool more = true;
    while (more) {
        more = PATHOBJ_bEnum(path, &data) != FALSE;
        if (data.flags & PD_BEGINSUBPATH) points.clear();
        if (data.pptfx) points.insert(points.end(), data.pptfx, data.pptfx + data.count);
        if (!(data.flags & PD_ENDSUBPATH)) continue;
        size_t n = points.size();
        if (n > 3 && points[n - 1].x == points[0].x && points[n - 1].y == points[0].y) --n;
        if (n > 2) {
            for (size_t j = 0; j < n; ++j) {
                const POINTFIX& next = points[(j + 1) % n];
                const POINTFIX& previous = points[(j + n - 1) % n];
                // Each product fits in 64 bits: 32-bit x times a 33-bit difference.
                sum += double(int64_t(points[j].x) * (int64_t(next.y) - int64_t(previous.y)));
            }
        }
        points.clear();
    }
    return sum;
}

}  // namespace

double orientationSum(PATHOBJ* path) {
    if (!path) return 0;
    try {
        return orientationSumOf(path);
    } catch (const std::bad_alloc&) {
        return 0;  // counts as the usual side
    }
}

const char* fillSide(double orientation) { return orientation >= 0 ? "right" : "left"; }

RECTL pathBounds(PATHOBJ* path, LONG margin) {
    RECTFX bounds{};
    if (path) PATHOBJ_vGetBounds(path, &bounds);
    auto floorPixel = [](FIX v) { return int64_t(std::floor(double(v) / 16.0)); };
    auto ceilPixel = [](FIX v) { return int64_t(std::ceil(double(v) / 16.0)); };
    auto clamp = [](int64_t v) { return LONG(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
    return RECTL{clamp(floorPixel(bounds.xLeft) - margin), clamp(floorPixel(bounds.yTop) - margin),
                 clamp(ceilPixel(bounds.xRight) + margin), clamp(ceilPixel(bounds.yBottom) + margin)};
}

}  // namespace tessaly::pagesmith
