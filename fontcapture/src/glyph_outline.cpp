// Outline commands and the conversion of native glyph outlines into them.

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "fontcapture/font_capture.h"

namespace tessaly {

namespace {

OutlinePoint clampPoint(OutlinePoint p) {
    return {std::clamp(p.x, GlyphOutline::kMinCoordinate, GlyphOutline::kMaxCoordinate),
            std::clamp(p.y, GlyphOutline::kMinCoordinate, GlyphOutline::kMaxCoordinate)};
}

int64_t fixedValue(FIXED f) {
    return static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint16_t>(f.value)) << 16) | f.fract);
}

// A 16.16 value rounded to an integer: (v + 0x8000) >> 16, arithmetic.
int32_t roundFixed(int64_t v) {
    const int64_t r = (v + 0x8000) >> 16;
    return static_cast<int32_t>(std::clamp<int64_t>(r, INT32_MIN, INT32_MAX));
}

struct FixedPair {
    int64_t x = 0;
    int64_t y = 0;
};

// y grows downward in the outline, upward in the native buffer.
OutlinePoint toOutline(FixedPair p) {
    return {roundFixed(p.x), static_cast<int32_t>(-static_cast<int64_t>(roundFixed(p.y)))};
}

FixedPair readPoint(const uint8_t* at) {
    POINTFX p;
    std::memcpy(&p, at, sizeof p);
    return {fixedValue(p.x), fixedValue(p.y)};
}

}  // namespace

void GlyphOutline::moveTo(OutlinePoint p) {
    OutlineCommand c;
    c.kind = OutlineCommandKind::Move;
    c.points[0] = clampPoint(p);
    commands_.push_back(c);
    current_ = c.points[0];
}

void GlyphOutline::lineTo(OutlinePoint p) {
    p = clampPoint(p);
    if (p == current_) return;
    OutlineCommand c;
    c.kind = OutlineCommandKind::Line;
    c.points[0] = p;
    commands_.push_back(c);
    current_ = p;
}

void GlyphOutline::quadraticTo(OutlinePoint control, OutlinePoint end) {
    control = clampPoint(control);
    end = clampPoint(end);
    if (control == current_ && end == current_) return;
    OutlineCommand c;
    c.kind = OutlineCommandKind::Quadratic;
    c.points[0] = control;
    c.points[1] = end;
    commands_.push_back(c);
    current_ = end;
}

void GlyphOutline::cubicTo(OutlinePoint control1, OutlinePoint control2, OutlinePoint end) {
    control1 = clampPoint(control1);
    control2 = clampPoint(control2);
    end = clampPoint(end);
    if (control1 == current_ && control2 == current_ && end == current_) return;
    OutlineCommand c;
    c.kind = OutlineCommandKind::Cubic;
    c.points = {control1, control2, end};
    commands_.push_back(c);
    current_ = end;
}

void GlyphOutline::setLineStyle(int32_t index) {
    OutlineCommand c;
    c.kind = OutlineCommandKind::LineStyle;
    c.style = index;
    commands_.push_back(c);
}

void GlyphOutline::setFillStyle(int32_t index) {
    OutlineCommand c;
    c.kind = OutlineCommandKind::FillStyle;
    c.style = index;
    commands_.push_back(c);
}

void GlyphOutline::truncate(size_t n) {
    if (n < commands_.size()) commands_.resize(n);
    current_ = OutlinePoint{};
    for (size_t i = commands_.size(); i-- > 0;) {
        const OutlineCommand& c = commands_[i];
        if (c.kind == OutlineCommandKind::Move || c.kind == OutlineCommandKind::Line) current_ = c.points[0];
        else if (c.kind == OutlineCommandKind::Quadratic) current_ = c.points[1];
        else if (c.kind == OutlineCommandKind::Cubic) current_ = c.points[2];
        else continue;
        break;
    }
}

int appendNativeOutline(const void* data, size_t size, GlyphOutline& outline) {
    if (size && !data) return 0;
    const auto* bytes = static_cast<const uint8_t*>(data);
    size_t at = 0;
    while (at < size) {
        TTPOLYGONHEADER header;
        if (size - at < sizeof header) return 0;
        std::memcpy(&header, bytes + at, sizeof header);
        if (header.dwType != TT_POLYGON_TYPE || header.cb < sizeof header || header.cb > size - at) return 0;
        const size_t end = at + header.cb;
        const FixedPair start = readPoint(bytes + at + offsetof(TTPOLYGONHEADER, pfxStart));
        const OutlinePoint startPoint = toOutline(start);
        outline.moveTo(startPoint);
        size_t r = at + sizeof header;
        while (r < end) {
            if (end - r < 4) return 0;
            WORD type, count;
            std::memcpy(&type, bytes + r, sizeof type);
            std::memcpy(&count, bytes + r + 2, sizeof count);
            r += 4;
            if (count > (end - r) / sizeof(POINTFX)) return 0;
            const uint8_t* points = bytes + r;
            r += count * sizeof(POINTFX);
            const auto point = [&](size_t i) { return readPoint(points + i * sizeof(POINTFX)); };
            switch (type) {
            case TT_PRIM_LINE:
                for (size_t i = 0; i < count; ++i) outline.lineTo(toOutline(point(i)));
                break;
            case TT_PRIM_QSPLINE:
                if (count < 2) break;  // a lone point draws nothing
                for (size_t i = 0; i + 1 < count; ++i) {
                    const FixedPair control = point(i);
                    FixedPair next = point(i + 1);
                    if (i + 2 < count) next = {(control.x + next.x) / 2, (control.y + next.y) / 2};
                    outline.quadraticTo(toOutline(control), toOutline(next));
                }
                break;
            case TT_PRIM_CSPLINE:
                if (count % 3 != 0) return 0;
                for (size_t i = 0; i < count; i += 3)
                    outline.cubicTo(toOutline(point(i)), toOutline(point(i + 1)), toOutline(point(i + 2)));
                break;
            default:
                return 0;
            }
        }
        outline.lineTo(startPoint);
        at = end;
    }
    return 1;
}

}  // namespace tessaly
