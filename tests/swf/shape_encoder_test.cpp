#include "swf/shape_encoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "swf_test_util.h"

namespace tessaly {
namespace {

std::vector<uint8_t> bytesOf(SwfStream& s) {
    s.flushBits();
    return std::vector<uint8_t>(s.data(), s.data() + s.position());
}

TEST(ShapeEdges, HorizontalEdgeUsesTheShortForm) {
    SwfStream s;
    s.resetBits();
    EXPECT_EQ(writeStraightEdge(s, 5, 0), 1);
    // 1 1 0010 0 0 0101 -> 1100 1000 0101 (0000)
    EXPECT_EQ(bytesOf(s), (std::vector<uint8_t>{0xC8, 0x50}));
}

TEST(ShapeEdges, EdgesBackToThePenWriteNothing) {
    SwfStream s;
    s.resetBits();
    s.setPen(10, 20);
    EXPECT_EQ(writeStraightEdge(s, 10, 20), 0);
    EXPECT_EQ(writeCurvedEdge(s, 40, 50, 10, 20), 0);
    EXPECT_EQ(s.position(), 0u);
}

TEST(ShapeEdges, GeneralAndVerticalEdgesRoundTrip) {
    SwfStream s;
    s.resetBits();
    writeStraightEdge(s, -300, 7);
    writeStraightEdge(s, -300, 1007);
    writeCurvedEdge(s, 0, 0, 100, -50);
    const auto bytes = bytesOf(s);
    test::BitReader r(bytes.data(), bytes.size());
    // General line.
    ASSERT_EQ(r.bits(2), 3u);
    unsigned n = r.bits(4) + 2;
    ASSERT_EQ(r.bits(1), 1u);
    EXPECT_EQ(r.signedBits(n), -300);
    EXPECT_EQ(r.signedBits(n), 7);
    // Vertical line.
    ASSERT_EQ(r.bits(2), 3u);
    n = r.bits(4) + 2;
    ASSERT_EQ(r.bits(2), 1u);
    EXPECT_EQ(r.signedBits(n), 1000);
    // Curve: control and anchor deltas.
    ASSERT_EQ(r.bits(2), 2u);
    n = r.bits(4) + 2;
    EXPECT_EQ(r.signedBits(n), 300);
    EXPECT_EQ(r.signedBits(n), -1007);
    EXPECT_EQ(r.signedBits(n), 100);
    EXPECT_EQ(r.signedBits(n), -50);
}

// Decodes the edges of a record run into points so that the geometry can be compared.
struct Segment {
    bool curve;
    double x0, y0, cx, cy, x1, y1;
};

std::vector<Segment> decodeEdges(const std::vector<uint8_t>& bytes, double x, double y) {
    std::vector<Segment> out;
    test::BitReader r(bytes.data(), bytes.size());
    while (r.bytePosition() < bytes.size()) {
        if (r.bits(1) != 1) break;
        const bool straight = r.bits(1);
        const unsigned n = r.bits(4) + 2;
        if (straight) {
            double dx = 0, dy = 0;
            if (r.bits(1)) {
                dx = r.signedBits(n);
                dy = r.signedBits(n);
            } else if (r.bits(1)) {
                dy = r.signedBits(n);
            } else {
                dx = r.signedBits(n);
            }
            out.push_back({false, x, y, 0, 0, x + dx, y + dy});
            x += dx;
            y += dy;
        } else {
            const double cx = x + r.signedBits(n), cy = y + r.signedBits(n);
            const double ax = cx + r.signedBits(n), ay = cy + r.signedBits(n);
            out.push_back({true, x, y, cx, cy, ax, ay});
            x = ax;
            y = ay;
        }
    }
    return out;
}

// The largest distance from points of the cubic to the decoded outline.
double maxDeviation(const std::vector<Segment>& segs, double p[4][2]) {
    std::vector<std::pair<double, double>> outline;
    for (const auto& s : segs) {
        for (int i = 0; i <= 32; ++i) {
            const double t = i / 32.0, u = 1 - t;
            if (s.curve) {
                outline.emplace_back(u * u * s.x0 + 2 * u * t * s.cx + t * t * s.x1,
                                     u * u * s.y0 + 2 * u * t * s.cy + t * t * s.y1);
            } else {
                outline.emplace_back(s.x0 + t * (s.x1 - s.x0), s.y0 + t * (s.y1 - s.y0));
            }
        }
    }
    double worst = 0;
    for (int i = 0; i <= 200; ++i) {
        const double t = i / 200.0, u = 1 - t;
        const double x = u * u * u * p[0][0] + 3 * u * u * t * p[1][0] + 3 * u * t * t * p[2][0] +
                         t * t * t * p[3][0];
        const double y = u * u * u * p[0][1] + 3 * u * u * t * p[1][1] + 3 * u * t * t * p[2][1] +
                         t * t * t * p[3][1];
        double best = 1e18;
        for (auto [ox, oy] : outline) best = std::min(best, std::hypot(ox - x, oy - y));
        worst = std::max(worst, best);
    }
    return worst;
}

TEST(CubicConversion, ControlPointsOnTheChordGiveOneStraightEdge) {
    SwfStream s;
    s.resetBits();
    EXPECT_EQ(writeCubic(s, 100, 100, 200, 200, 300, 300), 1);
    const auto segs = decodeEdges(bytesOf(s), 0, 0);
    ASSERT_EQ(segs.size(), 1u);
    EXPECT_FALSE(segs[0].curve);
    EXPECT_EQ(segs[0].x1, 300);
}

TEST(CubicConversion, CurvesStayWithinTheToleranceOfTheTrueOutline) {
    double cases[][4][2] = {
        {{0, 0}, {0, 2000}, {3000, 2000}, {3000, 0}},        // arch
        {{0, 0}, {2000, 0}, {0, 2000}, {2000, 2000}},        // S-curve (parallel tangents)
        {{0, 0}, {1105, 0}, {2000, 895}, {2000, 2000}},      // quarter circle
        {{500, 500}, {4000, -3000}, {-3000, -3000}, {600, 400}},  // loop
    };
    // Shapes (twips) and glyph outlines (1024-unit em), whose coarser
    // tolerance writes fewer edges and stays within 2 % of the em.
    for (auto& p : cases) {
        int shapeEdges = 0;
        for (const float tolerance : {kCurveTolerance, kGlyphCurveTolerance}) {
            SwfStream s;
            s.resetBits();
            s.setPen(int32_t(p[0][0]), int32_t(p[0][1]));
            const int edges = writeCubic(s, float(p[1][0]), float(p[1][1]), float(p[2][0]), float(p[2][1]),
                                         float(p[3][0]), float(p[3][1]), tolerance);
            EXPECT_GE(edges, 1);
            const auto segs = decodeEdges(bytesOf(s), p[0][0], p[0][1]);
            ASSERT_EQ(int(segs.size()), edges);
            // Endpoint exact, and the outline within a pixel (20 twips) everywhere: the
            // midpoint test bounds the error near the middle, a little more elsewhere.
            EXPECT_EQ(segs.back().x1, p[3][0]);
            EXPECT_EQ(segs.back().y1, p[3][1]);
            EXPECT_LT(maxDeviation(segs, p), 20.0) << "curve from (" << p[0][0] << "," << p[0][1] << ")";
            if (tolerance == kCurveTolerance)
                shapeEdges = edges;
            else
                EXPECT_LT(edges, shapeEdges) << "curve from (" << p[0][0] << "," << p[0][1] << ")";
        }
    }
}

TEST(CubicConversion, ParallelTangentsAreSubdivided) {
    SwfStream s;
    s.resetBits();
    EXPECT_GT(writeCubic(s, 2000, 0, 0, 2000, 2000, 2000), 1);
}

TEST(CubicConversion, TinyCurvesBecomeAtMostOneEdge) {
    SwfStream s;
    s.resetBits();
    s.setPen(100, 100);
    EXPECT_EQ(writeCubic(s, 100.5f, 100.5f, 101, 100, 100.4f, 100.2f), 0);
    EXPECT_EQ(writeCubic(s, 100.5f, 100.5f, 101, 101, 101.4f, 101.2f), 1);
}

std::unique_ptr<ShapeObject> filledRectangle(uint32_t color, bool alpha) {
    auto shape = std::make_unique<ShapeObject>();
    shape->solidFill(color, kSideRight, alpha);
    shape->rectangle(0, 0, 200, 100, 1);
    return shape;
}

TEST(DefineShape, OpaqueShapesAreDefineShape2WithRgb) {
    SwfStream s;
    ASSERT_TRUE(defineShape(s, 7, *filledRectangle(0x112233, false)));
    const auto* d = s.data();
    // Short header: code 22, then id 7.
    EXPECT_EQ((d[0] | d[1] << 8) >> 6, 22);
    EXPECT_EQ(d[2] | d[3] << 8, 7);
    // RECT 0..200, 0..100: 9 bits each = 5 + 36 bits -> 6 bytes; then the fill array.
    const uint8_t* fills = d + 4 + 6;
    EXPECT_EQ(fills[0], 1);     // one fill style
    EXPECT_EQ(fills[1], 0x00);  // solid
    EXPECT_EQ(fills[2], 0x11);
    EXPECT_EQ(fills[3], 0x22);
    EXPECT_EQ(fills[4], 0x33);
    EXPECT_EQ(fills[5], 0);     // no line styles
    EXPECT_EQ(fills[6], 0x10);  // NumFillBits 1, NumLineBits 0
}

TEST(DefineShape, OneTranslucentFillMakesEveryColourRgba) {
    ShapeObject shape;
    shape.lineStyle(0x445566, 20, false);
    shape.solidFill(0x80112233, kSideRight, true);
    shape.rectangle(0, 0, 200, 100, 1);
    SwfStream s;
    ASSERT_TRUE(defineShape(s, 1, shape));
    const auto* d = s.data();
    EXPECT_EQ((d[0] | d[1] << 8) >> 6, 32);
    const uint8_t* fills = d + 4 + 6;
    EXPECT_EQ(std::vector<uint8_t>(fills, fills + 6),
              (std::vector<uint8_t>{1, 0x00, 0x11, 0x22, 0x33, 0x80}));
    // Line style: width 20, colour with alpha 0xFF.
    EXPECT_EQ(std::vector<uint8_t>(fills + 6, fills + 13),
              (std::vector<uint8_t>{1, 20, 0, 0x44, 0x55, 0x66, 0xFF}));
}

TEST(DefineShape, ManyStylesUseTheExtendedCount) {
    ShapeObject shape;
    for (uint32_t i = 0; i < 300; ++i) {
        shape.solidFill(i, kSideRight, false);
        shape.rectangle(int32_t(i), 0, int32_t(i) + 1, 1, 1);
    }
    SwfStream s;
    ASSERT_TRUE(defineShape(s, 1, shape));
    const uint8_t* fills = s.data() + 6 + 2;  // long header, id
    test::BitReader r(fills, 8);
    const unsigned nbits = r.bits(5);
    const size_t rectBytes = (5 + 4 * nbits + 7) / 8;
    EXPECT_EQ(fills[rectBytes], 0xFF);
    EXPECT_EQ(fills[rectBytes + 1], 0x2C);
    EXPECT_EQ(fills[rectBytes + 2], 0x01);
}

TEST(DefineShape, AShapeWithoutCommandsIsNotWritten) {
    ShapeObject shape;
    SwfStream s;
    EXPECT_EQ(defineShape(s, 1, shape), 0);
    EXPECT_EQ(s.position(), 0u);
}

TEST(ShapeRecords, MovesAndStylesMergeIntoOneStyleChange) {
    ShapeObject shape;
    shape.moveTo(100, 100);
    shape.lineStyle(0, 20, false);
    shape.solidFill(0xFF0000, kSideRight, false);
    shape.moveTo(50, 60);  // the last move of the run wins
    shape.lineTo(80, 60);
    SwfStream s;
    s.resetBits();
    writeShapeRecords(s, shape.commands().data(), shape.commands().size(), 1, 1);
    writeShapeEnd(s);
    const std::vector<uint8_t> bytes(s.data(), s.data() + s.position());
    test::BitReader r(bytes.data(), bytes.size());
    EXPECT_EQ(r.bits(6), 0b001101u);  // style change: line, fill1, move
    const unsigned n = r.bits(5);
    EXPECT_EQ(r.signedBits(n), 50);
    EXPECT_EQ(r.signedBits(n), 60);
    EXPECT_EQ(r.bits(1), 1u);  // fill style 1 = index 0 + 1
    EXPECT_EQ(r.bits(1), 1u);  // line style = index 0 + 1
    EXPECT_EQ(r.bits(2), 3u);  // then a straight edge
}

}  // namespace
}  // namespace tessaly
