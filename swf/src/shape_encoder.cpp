#include "swf/shape_encoder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tessaly {

namespace {

uint32_t magnitude(int32_t v) { return v < 0 ? uint32_t(0) - uint32_t(v) : uint32_t(v); }

void writeColor(SwfStream& s, uint32_t argb, bool alpha) {
    if (alpha) {
        s.writeRgba(argb);
    } else {
        s.writeRgb(argb & 0xFFFFFF);
    }
}

// A style count: one byte below 255, else 0xFF and a u16 (at most 65535).
uint32_t writeStyleCount(SwfStream& s, size_t count) {
    if (count < 255) {
        s.writeU8(uint8_t(count));
        return uint32_t(count);
    }
    const uint32_t n = count >= 65535 ? 65535 : uint32_t(count);
    s.writeU8(0xFF);
    s.writeU16(uint16_t(n));
    return n;
}

struct PointF {
    float x, y;
};

PointF mid(PointF a, PointF b) { return {(a.x + b.x) / 2, (a.y + b.y) / 2}; }

bool near(PointF a, PointF b) {
    const float dx = a.x - b.x, dy = a.y - b.y;
    return dx * dx + dy * dy <= 2.0f;
}

int32_t floorToInt(float v) { return int32_t(std::floor(v)); }

// Deep enough for any curve within the 16-bit coordinate range; a guard, not
// a limit the tolerance normally reaches.
constexpr int kMaxCubicDepth = 24;

int cubicEdges(SwfStream& s, PointF p0, PointF p1, PointF p2, PointF p3, int depth, float tolerance);

int subdivide(SwfStream& s, PointF p0, PointF p1, PointF p2, PointF p3, int depth, float tolerance) {
    const PointF p01 = mid(p0, p1), p12 = mid(p1, p2), p23 = mid(p2, p3);
    const PointF a = mid(p01, p12), b = mid(p12, p23);
    const PointF m = mid(a, b);
    return cubicEdges(s, p0, p01, a, m, depth + 1, tolerance) + cubicEdges(s, m, b, p23, p3, depth + 1, tolerance);
}

int cubicEdges(SwfStream& s, PointF p0, PointF p1, PointF p2, PointF p3, int depth, float tolerance) {
    if (near(p1, p0) && near(p2, p0) && near(p3, p0)) {
        // A dot or a tiny hook.
        const int32_t ex = floorToInt(p3.x), ey = floorToInt(p3.y);
        if (ex == s.penX() && ey == s.penY()) return 0;
        return writeStraightEdge(s, ex, ey);
    }
    PointF q;
    if (near(p2, p3)) {
        q = p1;
    } else if (near(p1, p0)) {
        q = p2;
    } else if (near(p1, p2)) {
        q = mid(p1, p2);
    } else {
        const PointF d0{p1.x - p0.x, p1.y - p0.y}, d3{p3.x - p2.x, p3.y - p2.y};
        const float denom = d0.x * d3.y - d0.y * d3.x;
        const float num = (p0.y - p2.y) * d3.x - (p0.x - p2.x) * d3.y;
        if (denom == 0 && num == 0) {
            // All four points on one line.
            return writeStraightEdge(s, int32_t(p3.x), int32_t(p3.y));
        }
        if (denom == 0 || num / denom < 0) {
            if (depth >= kMaxCubicDepth) return writeStraightEdge(s, floorToInt(p3.x), floorToInt(p3.y));
            return subdivide(s, p0, p1, p2, p3, depth, tolerance);
        }
        const float t = num / denom;
        q = {p0.x + t * d0.x, p0.y + t * d0.y};
    }
    const float ex = (p0.x + 2 * q.x + p3.x) / 4 - (p0.x + 3 * (p1.x + p2.x) + p3.x) / 8;
    const float ey = (p0.y + 2 * q.y + p3.y) / 4 - (p0.y + 3 * (p1.y + p2.y) + p3.y) / 8;
    if (ex * ex + ey * ey > tolerance && depth < kMaxCubicDepth) {
        return subdivide(s, p0, p1, p2, p3, depth, tolerance);
    }
    const int32_t qx = floorToInt(q.x), qy = floorToInt(q.y);
    const int32_t ax = floorToInt(p3.x), ay = floorToInt(p3.y);
    if (ax == s.penX() && ay == s.penY()) return 0;
    if ((qx == floorToInt(p0.x) && qy == floorToInt(p0.y)) || (qx == ax && qy == ay)) {
        return writeStraightEdge(s, ax, ay);
    }
    return writeCurvedEdge(s, qx, qy, ax, ay);
}

}  // namespace

void writeStyleChange(SwfStream& s, const StyleChange& c, unsigned fillBits, unsigned lineBits) {
    s.writeBits(0, 1);  // TypeFlag
    s.writeBits(0, 1);  // StateNewStyles
    s.writeBits(c.line, 1);
    s.writeBits(c.fill1, 1);
    s.writeBits(c.fill0, 1);
    s.writeBits(c.move, 1);
    if (c.move) {
        const unsigned bits =
            SwfStream::bitsNeeded(SwfStream::maxMagnitude(c.x, magnitude(c.y))) + 1;
        s.writeBits(bits, 5);
        s.writeSignedBits(c.x, bits);
        s.writeSignedBits(c.y, bits);
        s.setPen(c.x, c.y);
    }
    if (c.fill0) s.writeBits(c.fill0Index, fillBits);
    if (c.fill1) s.writeBits(c.fill1Index, fillBits);
    if (c.line) s.writeBits(c.lineIndex, lineBits);
}

int writeStraightEdge(SwfStream& s, int32_t x, int32_t y) {
    const int32_t dx = x - s.penX(), dy = y - s.penY();
    if (dx == 0 && dy == 0) return 0;
    const unsigned n = SwfStream::bitsNeeded(SwfStream::maxMagnitude(dx, magnitude(dy)));
    s.writeBits(1, 1);  // TypeFlag: edge
    s.writeBits(1, 1);  // StraightFlag
    s.writeBits(n - 1, 4);
    if (dx != 0 && dy != 0) {
        s.writeBits(1, 1);  // GeneralLineFlag
        s.writeSignedBits(dx, n + 1);
        s.writeSignedBits(dy, n + 1);
    } else if (dx == 0) {
        s.writeBits(0, 1);
        s.writeBits(1, 1);  // VertLineFlag
        s.writeSignedBits(dy, n + 1);
    } else {
        s.writeBits(0, 1);
        s.writeBits(0, 1);
        s.writeSignedBits(dx, n + 1);
    }
    s.setPen(x, y);
    s.includeInBounds(x, y);
    return 1;
}

int writeCurvedEdge(SwfStream& s, int32_t cx, int32_t cy, int32_t ax, int32_t ay) {
    const int32_t cdx = cx - s.penX(), cdy = cy - s.penY();
    const int32_t adx = ax - cx, ady = ay - cy;
    if (ax == s.penX() && ay == s.penY()) return 0;
    const unsigned n = std::max(SwfStream::bitsNeeded(SwfStream::maxMagnitude(cdx, magnitude(cdy))),
                                SwfStream::bitsNeeded(SwfStream::maxMagnitude(adx, magnitude(ady))));
    s.writeBits(1, 1);  // TypeFlag: edge
    s.writeBits(0, 1);  // StraightFlag: curved
    s.writeBits(n - 1, 4);
    s.writeSignedBits(cdx, n + 1);
    s.writeSignedBits(cdy, n + 1);
    s.writeSignedBits(adx, n + 1);
    s.writeSignedBits(ady, n + 1);
    s.includeInBounds(cx, cy);
    s.includeInBounds(ax, ay);
    s.setPen(ax, ay);
    return 1;
}

int writeCubic(SwfStream& s, float c1x, float c1y, float c2x, float c2y, float ax, float ay, float tolerance) {
    const PointF p0{float(s.penX()), float(s.penY())};
    return cubicEdges(s, p0, {c1x, c1y}, {c2x, c2y}, {ax, ay}, 0, tolerance);
}

void writeShapeRecords(SwfStream& s, const ShapeCommand* commands, size_t count, unsigned fillBits,
                       unsigned lineBits) {
    s.setPen(0, 0);
    size_t i = 0;
    while (i < count) {
        const ShapeCommand& c = commands[i];
        if (c.code == kCmdMove || c.code == kCmdStyleLine || c.code == kCmdStyleFill) {
            // Merge the run of moves and style selections into one record.
            StyleChange change;
            for (; i < count; ++i) {
                const ShapeCommand& r = commands[i];
                if (r.code == kCmdMove) {
                    if (r.args[0] != s.penX() || r.args[1] != s.penY()) {
                        change.move = true;
                        change.x = r.args[0];
                        change.y = r.args[1];
                    }
                } else if (r.code == kCmdStyleLine) {
                    change.line = true;
                    change.lineIndex = uint32_t(r.args[0] + 1);
                } else if (r.code == kCmdStyleFill) {
                    if (r.args[1] == kSideRight) {
                        change.fill1 = true;
                        change.fill1Index = uint32_t(r.args[0] + 1);
                    } else {
                        change.fill0 = true;
                        change.fill0Index = uint32_t(r.args[0] + 1);
                    }
                } else {
                    break;
                }
            }
            if (change.move || change.line || change.fill0 || change.fill1) {
                writeStyleChange(s, change, fillBits, lineBits);
            }
            continue;
        }
        const int32_t* a = c.args;
        switch (c.code) {
            case kCmdLine: writeStraightEdge(s, a[0], a[1]); break;
            case kCmdQuadratic: writeCurvedEdge(s, a[0], a[1], a[2], a[3]); break;
            case kCmdCubic:
                writeCubic(s, float(a[0]), float(a[1]), float(a[2]), float(a[3]), float(a[4]),
                           float(a[5]));
                break;
            default: break;
        }
        ++i;
    }
}

void writeShapeEnd(SwfStream& s) {
    s.writeBits(0, 6);
    s.flushBits();
}

int defineShape(SwfStream& s, uint32_t id, const ShapeObject& shape) {
    if (shape.commands().empty()) return 0;
    const bool alpha = shape.usesAlpha();
    s.beginTag(alpha ? SwfTag::DefineShape3 : SwfTag::DefineShape2);
    s.writeId(id);
    const Bounds& b = shape.bounds;
    s.writeRect(b.xMin, b.xMax, b.yMin, b.yMax);

    const uint32_t fillCount = writeStyleCount(s, shape.fillStyles().size());
    for (uint32_t i = 0; i < fillCount; ++i) {
        const FillStyle& f = shape.fillStyles()[i];
        switch (f.type) {
            case kFillSolid:
                s.writeU8(0x00);
                writeColor(s, f.color, alpha);
                break;
            case kFillLinearGradient:
            case kFillRadialGradient: {
                s.writeU8(f.type == kFillLinearGradient ? 0x10 : 0x12);
                s.writeMatrix(&f.matrix);
                const uint8_t stops = std::min<uint8_t>(f.stopCount, 8);
                s.writeU8(stops);
                for (uint8_t k = 0; k < stops; ++k) {
                    s.writeU8(f.stops[k].ratio);
                    writeColor(s, f.stops[k].color, alpha);
                }
                break;
            }
            default:
                s.writeU8(f.type == kFillTiledBitmap ? 0x40 : 0x41);
                s.writeId(f.bitmapId);
                s.writeMatrix(&f.matrix);
                break;
        }
    }
    const uint32_t lineCount = writeStyleCount(s, shape.lineStyles().size());
    for (uint32_t i = 0; i < lineCount; ++i) {
        const LineStyle& l = shape.lineStyles()[i];
        s.writeU16(l.width);
        writeColor(s, l.color, alpha);
    }

    const unsigned fillBits = SwfStream::bitsNeeded(fillCount);
    const unsigned lineBits = SwfStream::bitsNeeded(lineCount);
    s.resetBits();
    s.writeBits(fillBits, 4);
    s.writeBits(lineBits, 4);
    s.resetBounds();
    writeShapeRecords(s, shape.commands().data(), shape.commands().size(), fillBits, lineBits);
    writeShapeEnd(s);
    s.endTag();
    return 1;
}

}  // namespace tessaly
