// The engine's renderers, checked on the pixels of a 24-bit surface.

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "engine_objects.h"
#include "engine_test_support.h"
#include "raster.h"

namespace tessaly::gdi {
namespace {

using testing::Canvas;
using testing::fx;
using testing::polygon;

constexpr MIX kCopy = R2_COPYPEN | (R2_COPYPEN << 8);

TEST(EngineFill, PixelCentresWithTheTopLeftRule) {
    // Integer coordinates are pixel centres: a rectangle from (2,3) to (7,9)
    // covers pixels 2..6 and 3..8, one from (2.25,3.25) to (6.75,8.75)
    // pixels 3..6 and 4..8; the same whether the fill takes the rectangle
    // shortcut or goes through the rasteriser (an extra point on the top
    // edge).
    struct Case {
        double left, top, right, bottom;
        RECTL pixels;
    };
    for (const Case& c : {Case{2, 3, 7, 9, RECTL{2, 3, 7, 9}}, Case{2.25, 3.25, 6.75, 8.75, RECTL{3, 4, 7, 9}}}) {
        for (bool shortcut : {true, false}) {
            Canvas canvas(12, 12);
            PathObject path;
            if (shortcut) {
                polygon(path, {{c.left, c.top}, {c.right, c.top}, {c.right, c.bottom}, {c.left, c.bottom}});
            } else {
                polygon(path, {{c.left, c.top}, {4, c.top}, {c.right, c.top}, {c.right, c.bottom}, {c.left, c.bottom}});
            }
            BrushObject black(0);
            ASSERT_TRUE(EngFillPath(canvas.so(), &path, nullptr, &black, nullptr, kCopy, FP_ALTERNATEMODE));
            const RECTL box = canvas.inkBox();
            EXPECT_EQ(box.left, c.pixels.left) << shortcut << " " << c.left;
            EXPECT_EQ(box.top, c.pixels.top) << shortcut << " " << c.left;
            EXPECT_EQ(box.right, c.pixels.right) << shortcut << " " << c.left;
            EXPECT_EQ(box.bottom, c.pixels.bottom) << shortcut << " " << c.left;
            EXPECT_EQ(canvas.count(0), (c.pixels.right - c.pixels.left) * (c.pixels.bottom - c.pixels.top));
        }
    }
}

TEST(EngineFill, RectanglesReachingTheEndsOfTheFixedPointRange) {
    // A rectangle path whose far corner is the largest FIX value covers the
    // whole surface from its near corner, not nothing.
    Canvas canvas(12, 12);
    PathObject path;
    path.moveTo(fx(2, 3));
    const POINTFIX rest[] = {{INT32_MAX, fx(2, 3).y}, {INT32_MAX, INT32_MAX}, {fx(2, 3).x, INT32_MAX}};
    path.lineTo(rest, 3);
    path.closeFigure();
    BrushObject black(0);
    ASSERT_TRUE(EngFillPath(canvas.so(), &path, nullptr, &black, nullptr, kCopy, FP_ALTERNATEMODE));
    EXPECT_EQ(canvas.count(0), 10 * 9);
    EXPECT_EQ(canvas.at(11, 11), 0u);
}

TEST(EngineFill, AlternateAndWindingRulesDiffer) {
    // Two overlapping squares drawn the same way round: alternate leaves
    // the overlap empty, winding fills it.
    for (FLONG mode : {FLONG{FP_ALTERNATEMODE}, FLONG{FP_WINDINGMODE}}) {
        Canvas canvas(30, 30);
        PathObject path;
        polygon(path, {{0, 0}, {20, 0}, {20, 20}, {0, 20}});
        polygon(path, {{10, 10}, {30, 10}, {30, 30}, {10, 30}});
        BrushObject black(0);
        ASSERT_TRUE(EngFillPath(canvas.so(), &path, nullptr, &black, nullptr, kCopy, mode));
        EXPECT_EQ(canvas.at(5, 5), 0u);
        EXPECT_EQ(canvas.at(25, 25), 0u);
        EXPECT_EQ(canvas.at(15, 15), mode == FP_WINDINGMODE ? 0u : 0xFFFFFFu);
    }
}

TEST(EngineFill, ClipsToRectanglesAndRegions) {
    Canvas canvas(40, 40);
    PathObject path;
    polygon(path, {{0, 0}, {40, 0}, {40, 40}, {0, 40}});
    BrushObject red(0xFF0000);
    ClipObject rect;
    rect.setRect(RECTL{5, 5, 15, 10});
    ASSERT_TRUE(EngFillPath(canvas.so(), &path, &rect, &red, nullptr, kCopy, FP_ALTERNATEMODE));
    EXPECT_EQ(canvas.count(0xFF0000), 50);
    EXPECT_EQ(canvas.count(0xFF0000, 5, 5, 15, 10), 50);

    ClipObject complex;
    const RECTL pieces[] = {{20, 20, 25, 25}, {30, 30, 32, 40}};
    complex.setRects(pieces, 2);
    BrushObject blue(0x0000FF);
    ASSERT_TRUE(EngFillPath(canvas.so(), &path, &complex, &blue, nullptr, kCopy, FP_ALTERNATEMODE));
    EXPECT_EQ(canvas.count(0x0000FF), 25 + 20);
    EXPECT_EQ(canvas.at(26, 26), 0xFFFFFFu);

    // An empty clip draws nothing and succeeds.
    ClipObject none;
    none.setRect(RECTL{0, 0, 0, 0});
    BrushObject green(0x00FF00);
    EXPECT_TRUE(EngFillPath(canvas.so(), &path, &none, &green, nullptr, kCopy, FP_ALTERNATEMODE));
    EXPECT_EQ(canvas.count(0x00FF00), 0);
}

// Each bit of a ROP3 result from its definition: bit i of the code, where
// i is made of the pattern, source and destination bits.
uint32_t referenceRop(uint32_t rop, uint32_t p, uint32_t s, uint32_t d) {
    uint32_t r = 0;
    for (int bit = 0; bit < 24; ++bit) {
        const int index = (((p >> bit) & 1) << 2) | (((s >> bit) & 1) << 1) | ((d >> bit) & 1);
        r |= ((rop >> index) & 1) << bit;
    }
    return r;
}

TEST(EngineBlt, EveryRop3MatchesItsTruthTable) {
    std::mt19937 random(7);
    Canvas source(4, 1);
    for (LONG x = 0; x < 4; ++x) source.set(x, 0, random() & 0xFFFFFF);
    const uint32_t pattern = random() & 0xFFFFFF;
    BrushObject brush(pattern);
    for (ULONG rop = 0; rop < 256; ++rop) {
        Canvas target(4, 1);
        std::vector<uint32_t> before;
        for (LONG x = 0; x < 4; ++x) {
            before.push_back(random() & 0xFFFFFF);
            target.set(x, 0, before.back());
        }
        RECTL rect{0, 0, 4, 1};
        POINTL at{0, 0};
        ASSERT_TRUE(EngBitBlt(target.so(), source.so(), nullptr, nullptr, nullptr, &rect, &at, nullptr, &brush, nullptr,
                              rop | (rop << 8)));
        for (LONG x = 0; x < 4; ++x) {
            ASSERT_EQ(target.at(x, 0), referenceRop(rop, pattern, source.at(x, 0), before[x]))
                << "rop " << rop << " pixel " << x;
        }
    }
    // The named codes say what they mean.
    const uint32_t p = 0xF0F0F0, s = 0xCCCCCC, d = 0xAAAAAA;
    EXPECT_EQ(rop3(SRCPAINT >> 16, p, s, d) & 0xFFFFFF, (s | d) & 0xFFFFFF);
    EXPECT_EQ(rop3(SRCERASE >> 16, p, s, d) & 0xFFFFFF, (s & ~d) & 0xFFFFFF);
    EXPECT_EQ(rop3(MERGEPAINT >> 16, p, s, d) & 0xFFFFFF, (~s | d) & 0xFFFFFF);
    EXPECT_EQ(rop3(PATPAINT >> 16, p, s, d) & 0xFFFFFF, (p | ~s | d) & 0xFFFFFF);
    EXPECT_EQ(rop3(NOTSRCERASE >> 16, p, s, d) & 0xFFFFFF, ~(s | d) & 0xFFFFFF);
}

TEST(EngineBlt, MasksPatternsAndOverlap) {
    // A 1-bit mask picks the foreground ROP (copy) where set and the
    // background ROP (leave) elsewhere.
    Canvas target(8, 1), source(8, 1);
    for (LONG x = 0; x < 8; ++x) source.set(x, 0, 0x101010 * static_cast<uint32_t>(x));
    Canvas mask(8, 1, BMF_1BPP);
    static_cast<uint8_t*>(mask.so()->pvScan0)[0] = 0xA5;  // 1010 0101
    RECTL rect{0, 0, 8, 1};
    POINTL origin{0, 0};
    ASSERT_TRUE(EngBitBlt(target.so(), source.so(), mask.so(), nullptr, nullptr, &rect, &origin, &origin, nullptr,
                          nullptr, 0xAACC));
    for (LONG x = 0; x < 8; ++x) {
        const bool set = (0xA5 >> (7 - x)) & 1;
        EXPECT_EQ(target.at(x, 0), set ? 0x101010u * static_cast<uint32_t>(x) : 0xFFFFFFu) << x;
    }

    // A hatch tiles from the brush origin.
    Canvas hatched(16, 16);
    BrushObject hatch;
    hatch.setHatch(0, 0x000000, 0xFFFFFF, false);  // horizontal lines on row 3 of 8
    RECTL all{0, 0, 16, 16};
    POINTL brushOrigin{0, 1};
    ASSERT_TRUE(EngBitBlt(hatched.so(), nullptr, nullptr, nullptr, nullptr, &all, nullptr, nullptr, &hatch,
                          &brushOrigin, 0xF0F0));
    EXPECT_EQ(hatched.count(0, 0, 4, 16, 5), 16);
    EXPECT_EQ(hatched.count(0, 0, 12, 16, 13), 16);
    EXPECT_EQ(hatched.count(0), 32);

    // Copying a surface onto itself reads the source before writing.
    Canvas strip(10, 1);
    for (LONG x = 0; x < 10; ++x) strip.set(x, 0, static_cast<uint32_t>(x));
    RECTL moved{2, 0, 10, 1};
    ASSERT_TRUE(EngCopyBits(strip.so(), strip.so(), nullptr, nullptr, &moved, &origin));
    for (LONG x = 2; x < 10; ++x) EXPECT_EQ(strip.at(x, 0), static_cast<uint32_t>(x - 2));

    // An 8-bit source through its colour table.
    Canvas indexed(2, 1, BMF_8BPP);
    static_cast<uint8_t*>(indexed.so()->pvScan0)[0] = 1;
    static_cast<uint8_t*>(indexed.so()->pvScan0)[1] = 0;
    const ULONG table[2] = {0x0000FF00, 0x000000FF};  // green, red as 0x00BBGGRR
    XlateObject xlate;
    xlate.setSourceColors(table, 2);
    RECTL two{0, 0, 2, 1};
    ASSERT_TRUE(EngCopyBits(target.so(), indexed.so(), nullptr, &xlate, &two, &origin));
    EXPECT_EQ(target.at(0, 0), 0xFF0000u);
    EXPECT_EQ(target.at(1, 0), 0x00FF00u);
}

TEST(EnginePaint, ForegroundMixes) {
    Canvas canvas(4, 4);
    canvas.set(0, 0, 0x123456);
    BrushObject brush(0x0F0F0F);
    ClipObject clip;
    clip.setRect(RECTL{0, 0, 2, 2});
    ASSERT_TRUE(EngPaint(canvas.so(), &clip, &brush, nullptr, R2_XORPEN));
    EXPECT_EQ(canvas.at(0, 0), 0x123456u ^ 0x0F0F0Fu);
    EXPECT_EQ(canvas.at(1, 1), 0xFFFFFFu ^ 0x0F0F0Fu);
    EXPECT_EQ(canvas.at(2, 2), 0xFFFFFFu);
    ASSERT_TRUE(EngPaint(canvas.so(), &clip, &brush, nullptr, R2_NOT));
    EXPECT_EQ(canvas.at(1, 1), 0x0F0F0Fu);
    ASSERT_TRUE(EngPaint(canvas.so(), &clip, &brush, nullptr, R2_BLACK));
    EXPECT_EQ(canvas.at(1, 1), 0u);
    ASSERT_TRUE(EngPaint(canvas.so(), &clip, &brush, nullptr, R2_NOP));
    EXPECT_EQ(canvas.at(1, 1), 0u);
}

TEST(EngineStroke, CosmeticLinesAndStyles) {
    Canvas canvas(40, 10);
    PathObject line;
    line.moveTo(fx(2, 3));
    line.lineTo(fx(30, 3));
    BrushObject black(0);
    LINEATTRS attrs{};
    ASSERT_TRUE(EngStrokePath(canvas.so(), &line, nullptr, nullptr, &black, nullptr, &attrs, kCopy));
    // One pixel high, first pixel drawn, last left out.
    EXPECT_EQ(canvas.inkBox().left, 2);
    EXPECT_EQ(canvas.inkBox().right, 30);
    EXPECT_EQ(canvas.inkBox().bottom - canvas.inkBox().top, 1);
    EXPECT_EQ(canvas.count(0), 28);

    // A diagonal is one pixel per step.
    Canvas diagonal(20, 20);
    PathObject slope;
    slope.moveTo(fx(0, 0));
    slope.lineTo(fx(10, 10));
    ASSERT_TRUE(EngStrokePath(diagonal.so(), &slope, nullptr, nullptr, &black, nullptr, &attrs, kCopy));
    EXPECT_EQ(diagonal.count(0), 10);
    for (LONG i = 0; i < 10; ++i) EXPECT_EQ(diagonal.at(i, i), 0u);

    // Dashes of 2 on, 1 off style units of 3 pixels; the style state
    // carries on to the next call.
    Canvas dashed(40, 4);
    FLOAT_LONG style[2];
    style[0].l = 2;
    style[1].l = 1;
    LINEATTRS styled{};
    styled.fl = LA_STYLED;
    styled.cstyle = 2;
    styled.pstyle = style;
    PathObject row;
    row.moveTo(fx(0, 1));
    row.lineTo(fx(18, 1));
    ASSERT_TRUE(EngStrokePath(dashed.so(), &row, nullptr, nullptr, &black, nullptr, &styled, kCopy));
    std::string pixels;
    for (LONG x = 0; x < 18; ++x) pixels += dashed.at(x, 1) == 0 ? '#' : '.';
    EXPECT_EQ(pixels, "######...######...");
    EXPECT_EQ(styled.elStyleState.l, 0) << "a whole period walked";

    // A line coming from far outside keeps its dash phase: 30 pixels of
    // the 9-pixel period are walked before the surface starts.
    Canvas entering(20, 4);
    LINEATTRS fromAfar{};
    fromAfar.fl = LA_STYLED;
    fromAfar.cstyle = 2;
    fromAfar.pstyle = style;
    PathObject longRow;
    longRow.moveTo(fx(-30, 1));
    longRow.lineTo(fx(18, 1));
    ASSERT_TRUE(EngStrokePath(entering.so(), &longRow, nullptr, nullptr, &black, nullptr, &fromAfar, kCopy));
    pixels.clear();
    for (LONG x = 0; x < 18; ++x) pixels += entering.at(x, 1) == 0 ? '#' : '.';
    EXPECT_EQ(pixels, "###...######...###");
    // Far-away coordinates cost nothing and draw what falls inside.
    Canvas far(20, 20);
    PathObject huge;
    huge.moveTo(POINTFIX{-0x7FFFFF00, 5 * 16});
    huge.lineTo(POINTFIX{0x7FFFFF00, 5 * 16});
    ASSERT_TRUE(EngStrokePath(far.so(), &huge, nullptr, nullptr, &black, nullptr, &attrs, kCopy));
    EXPECT_EQ(far.count(0), 20);
    EXPECT_EQ(far.count(0, 0, 5, 20, 6), 20);

    // Alternate lines light every other pixel.
    Canvas dotted(10, 2);
    LINEATTRS alternate{};
    alternate.fl = LA_ALTERNATE;
    PathObject shortRow;
    shortRow.moveTo(fx(0, 0));
    shortRow.lineTo(fx(8, 0));
    ASSERT_TRUE(EngStrokePath(dotted.so(), &shortRow, nullptr, nullptr, &black, nullptr, &alternate, kCopy));
    pixels.clear();
    for (LONG x = 0; x < 8; ++x) pixels += dotted.at(x, 0) == 0 ? '#' : '.';
    EXPECT_EQ(pixels, "#.#.#.#.");
}

TEST(EngineStroke, WideLinesWithCapsJoinsDashesAndTransform) {
    auto extent = [](ULONG cap, double width, const XFORML* xform) {
        Canvas canvas(80, 40);
        PathObject line;
        line.moveTo(fx(20, 20));
        line.lineTo(fx(60, 20));
        LINEATTRS attrs{};
        attrs.fl = LA_GEOMETRIC;
        attrs.iEndCap = cap;
        attrs.iJoin = JOIN_MITER;
        attrs.eMiterLimit = 10;
        attrs.elWidth.e = static_cast<FLOATL>(width);
        XformObject transform(xform ? *xform : XFORML{1, 0, 0, 1, 0, 0});
        BrushObject black(0);
        EXPECT_TRUE(EngStrokePath(canvas.so(), &line, nullptr, &transform, &black, nullptr, &attrs, kCopy));
        return canvas.inkBox();
    };
    const RECTL butt = extent(ENDCAP_BUTT, 6, nullptr);
    EXPECT_EQ(butt.left, 20);
    EXPECT_EQ(butt.right, 60);
    EXPECT_EQ(butt.bottom - butt.top, 6);
    const RECTL square = extent(ENDCAP_SQUARE, 6, nullptr);
    EXPECT_EQ(square.left, 17);
    EXPECT_EQ(square.right, 63);
    const RECTL round = extent(ENDCAP_ROUND, 6, nullptr);
    EXPECT_EQ(round.left, 17);
    EXPECT_EQ(round.right, 63);
    // The width is in world units: a transform that doubles y doubles it.
    const XFORML stretch{1, 0, 0, 2, 0, 0};
    const RECTL tall = extent(ENDCAP_BUTT, 6, &stretch);
    EXPECT_EQ(tall.bottom - tall.top, 12);

    // Miter and bevel joins at a right angle.
    auto corner = [](ULONG join) {
        Canvas canvas(40, 40);
        PathObject path;
        path.moveTo(fx(10, 30));
        path.lineTo(fx(10, 10));
        path.lineTo(fx(30, 10));
        LINEATTRS attrs{};
        attrs.fl = LA_GEOMETRIC;
        attrs.iEndCap = ENDCAP_BUTT;
        attrs.iJoin = join;
        attrs.eMiterLimit = 10;
        attrs.elWidth.e = 8;
        BrushObject black(0);
        EXPECT_TRUE(EngStrokePath(canvas.so(), &path, nullptr, nullptr, &black, nullptr, &attrs, kCopy));
        return canvas.at(7, 7);
    };
    EXPECT_EQ(corner(JOIN_MITER), 0u);
    EXPECT_EQ(corner(JOIN_BEVEL), 0xFFFFFFu);

    // Geometric dashes in world units.
    Canvas dashed(60, 20);
    FLOAT_LONG style[2];
    style[0].e = 10;
    style[1].e = 5;
    LINEATTRS attrs{};
    attrs.fl = LA_GEOMETRIC | LA_STYLED;
    attrs.iEndCap = ENDCAP_BUTT;
    attrs.elWidth.e = 4;
    attrs.cstyle = 2;
    attrs.pstyle = style;
    PathObject line;
    line.moveTo(fx(0, 10));
    line.lineTo(fx(45, 10));
    BrushObject black(0);
    ASSERT_TRUE(EngStrokePath(dashed.so(), &line, nullptr, nullptr, &black, nullptr, &attrs, kCopy));
    EXPECT_EQ(dashed.at(5, 10), 0u);
    EXPECT_EQ(dashed.at(12, 10), 0xFFFFFFu);
    EXPECT_EQ(dashed.at(20, 10), 0u);
    EXPECT_EQ(dashed.at(42, 10), 0xFFFFFFu);
    // Dashes far finer than a pixel cannot show: the line is solid (and
    // is not walked dash by dash).
    Canvas fine(60, 20);
    FLOAT_LONG tiny[2];
    tiny[0].e = 0.01f;
    tiny[1].e = 0.01f;
    LINEATTRS fineAttrs = attrs;
    fineAttrs.pstyle = tiny;
    ASSERT_TRUE(EngStrokePath(fine.so(), &line, nullptr, nullptr, &black, nullptr, &fineAttrs, kCopy));
    EXPECT_EQ(fine.count(0, 0, 8, 45, 12), 45 * 4);

    // The same with a leading gap.
    Canvas gap(60, 20);
    attrs.fl |= LA_STARTGAP;
    ASSERT_TRUE(EngStrokePath(gap.so(), &line, nullptr, nullptr, &black, nullptr, &attrs, kCopy));
    EXPECT_EQ(gap.at(5, 10), 0xFFFFFFu);
    EXPECT_EQ(gap.at(12, 10), 0u);
}

TEST(EngineStretch, NearestSmoothMirroredAndOutOfRange) {
    Canvas source(2, 2);
    source.set(0, 0, 0xFF0000);
    source.set(1, 0, 0x00FF00);
    source.set(0, 1, 0x0000FF);
    source.set(1, 1, 0x000000);
    Canvas target(8, 8);
    RECTL to{0, 0, 4, 4}, from{0, 0, 2, 2};
    ASSERT_TRUE(EngStretchBlt(target.so(), source.so(), nullptr, nullptr, nullptr, nullptr, nullptr, &to, &from,
                              nullptr, COLORONCOLOR));
    EXPECT_EQ(target.count(0xFF0000, 0, 0, 2, 2), 4);
    EXPECT_EQ(target.count(0x00FF00, 2, 0, 4, 2), 4);
    EXPECT_EQ(target.count(0x000000, 2, 2, 4, 4), 4);
    EXPECT_EQ(target.at(4, 4), 0xFFFFFFu);

    // A mirrored target rectangle flips the picture.
    RECTL mirrored{8, 4, 4, 8};
    ASSERT_TRUE(EngStretchBlt(target.so(), source.so(), nullptr, nullptr, nullptr, nullptr, nullptr, &mirrored, &from,
                              nullptr, COLORONCOLOR));
    EXPECT_EQ(target.at(4, 4), 0x00FF00u);
    EXPECT_EQ(target.at(7, 4), 0xFF0000u);

    // A source rectangle reaching past the source draws only the part that
    // exists, at the asked scale: columns 0-1 of a 4-wide request.
    for (ULONG mode : {ULONG{COLORONCOLOR}, ULONG{HALFTONE}}) {
        Canvas partial(8, 2);
        RECTL eight{0, 0, 8, 2}, past{0, 0, 4, 2};
        ASSERT_TRUE(EngStretchBlt(partial.so(), source.so(), nullptr, nullptr, nullptr, nullptr, nullptr, &eight,
                                  &past, nullptr, mode));
        EXPECT_EQ(partial.at(0, 0), 0xFF0000u) << mode;
        EXPECT_EQ(partial.count(0xFFFFFF, 4, 0, 8, 2), 8) << mode;
    }

    // Halftone mode blends neighbours when enlarging.
    Canvas smooth(8, 1);
    Canvas pair(2, 1);
    pair.set(0, 0, 0x000000);
    pair.set(1, 0, 0xFFFFFF);
    RECTL wide{0, 0, 8, 1}, both{0, 0, 2, 1};
    ASSERT_TRUE(EngStretchBlt(smooth.so(), pair.so(), nullptr, nullptr, nullptr, nullptr, nullptr, &wide, &both,
                              nullptr, HALFTONE));
    const uint32_t middle = smooth.at(4, 0) & 0xFF;
    EXPECT_GT(middle, 0x20u);
    EXPECT_LT(middle, 0xE0u);

    // Shrinking in halftone mode averages: one white column in four
    // becomes a quarter grey, where sampling would find only black.
    Canvas stripes(16, 1);
    for (LONG x = 0; x < 16; ++x) stripes.set(x, 0, x % 4 == 0 ? 0xFFFFFF : 0x000000);
    Canvas shrunk(4, 1);
    RECTL small{0, 0, 4, 1}, all16{0, 0, 16, 1};
    ASSERT_TRUE(EngStretchBlt(shrunk.so(), stripes.so(), nullptr, nullptr, nullptr, nullptr, nullptr, &small, &all16,
                              nullptr, HALFTONE));
    for (LONG x = 0; x < 4; ++x) EXPECT_NEAR(static_cast<int>(shrunk.at(x, 0) & 0xFF), 64, 12) << x;

    // Clipped to the target: nothing outside the clip changes.
    Canvas clipped(8, 8);
    ClipObject clip;
    clip.setRect(RECTL{0, 0, 1, 1});
    RECTL big{0, 0, 8, 8};
    ASSERT_TRUE(EngStretchBlt(clipped.so(), source.so(), nullptr, &clip, nullptr, nullptr, nullptr, &big, &from,
                              nullptr, COLORONCOLOR));
    EXPECT_EQ(clipped.at(0, 0), 0xFF0000u);
    EXPECT_EQ(clipped.count(0xFFFFFF), 63);
}

TEST(EngineBlend, ConstantAndPerPixelAlphaAndColourKey) {
    Canvas target(4, 1);
    Canvas black(4, 1);
    EngEraseSurface(black.so(), nullptr, 0);
    RECTL rect{0, 0, 4, 1};
    BLENDOBJ blend{{AC_SRC_OVER, 0, 128, 0}};
    ASSERT_TRUE(EngAlphaBlend(target.so(), black.so(), nullptr, nullptr, &rect, &rect, &blend));
    const uint32_t half = target.at(0, 0) & 0xFF;
    EXPECT_GE(half, 126u);
    EXPECT_LE(half, 128u);

    // Premultiplied 32-bit source: transparent, half and opaque pixels.
    Canvas argb(3, 1, BMF_32BPP);
    auto* px = static_cast<uint32_t*>(argb.so()->pvScan0);
    px[0] = 0x00000000;
    px[1] = 0x80000080;  // half-covered blue
    px[2] = 0xFFFF0000;  // opaque red
    Canvas over(3, 1);
    RECTL three{0, 0, 3, 1};
    BLENDOBJ perPixel{{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA}};
    ASSERT_TRUE(EngAlphaBlend(over.so(), argb.so(), nullptr, nullptr, &three, &three, &perPixel));
    EXPECT_EQ(over.at(0, 0), 0xFFFFFFu);
    EXPECT_EQ(over.at(2, 0), 0xFF0000u);
    EXPECT_NEAR(static_cast<int>(over.at(1, 0) >> 16), 127, 2);
    EXPECT_EQ(over.at(1, 0) & 0xFF, 0xFFu);

    // Mirroring or reading outside the source is refused.
    RECTL backwards{4, 0, 0, 1};
    EXPECT_FALSE(EngAlphaBlend(target.so(), black.so(), nullptr, nullptr, &backwards, &rect, &blend));
    RECTL outside{0, 0, 8, 1};
    EXPECT_FALSE(EngAlphaBlend(target.so(), black.so(), nullptr, nullptr, &rect, &outside, &blend));

    // The colour key keeps the target where the source has that colour.
    Canvas keyed(4, 1);
    keyed.set(0, 0, 0x00FF00);
    keyed.set(1, 0, 0x123456);
    keyed.set(2, 0, 0x00FF00);
    keyed.set(3, 0, 0x654321);
    Canvas under(4, 1);
    EngEraseSurface(under.so(), nullptr, 0x0000FF);
    ASSERT_TRUE(EngTransparentBlt(under.so(), keyed.so(), nullptr, nullptr, &rect, &rect, 0x00FF00, 0));
    EXPECT_EQ(under.at(0, 0), 0x0000FFu);
    EXPECT_EQ(under.at(1, 0), 0x123456u);
    EXPECT_EQ(under.at(2, 0), 0x0000FFu);
    EXPECT_EQ(under.at(3, 0), 0x654321u);
}

TEST(EngineGradient, RectanglesAndTriangles) {
    Canvas canvas(101, 20);
    TRIVERTEX v[2] = {{0, 0, 0, 0, 0, 0}, {101, 10, 0xFF00, 0xFF00, 0xFF00, 0}};
    GRADIENT_RECT mesh{0, 1};
    ASSERT_TRUE(EngGradientFill(canvas.so(), nullptr, nullptr, v, 2, &mesh, 1, nullptr, nullptr,
                                GRADIENT_FILL_RECT_H));
    EXPECT_EQ(canvas.at(0, 5), 0u);
    EXPECT_NEAR(static_cast<int>(canvas.at(50, 5) & 0xFF), 126, 2);
    EXPECT_GE(canvas.at(100, 5) & 0xFF, 250u);
    EXPECT_EQ(canvas.at(50, 15), 0xFFFFFFu) << "only inside the rectangle";

    Canvas vertical(10, 100);
    TRIVERTEX redToBlue[2] = {{0, 0, 0xFF00, 0, 0, 0}, {10, 100, 0, 0, 0xFF00, 0}};
    ASSERT_TRUE(EngGradientFill(vertical.so(), nullptr, nullptr, redToBlue, 2, &mesh, 1, nullptr, nullptr,
                                GRADIENT_FILL_RECT_V));
    EXPECT_EQ(vertical.at(5, 0), 0xFF0000u);
    EXPECT_GE(vertical.at(5, 99) & 0xFF, 250u);

    // Vertices far outside the surface: only the visible part is computed.
    Canvas wide(10, 10);
    TRIVERTEX far[2] = {{-2000000000, -5, 0, 0, 0, 0}, {2000000000, 20, 0xFF00, 0xFF00, 0xFF00, 0}};
    ASSERT_TRUE(EngGradientFill(wide.so(), nullptr, nullptr, far, 2, &mesh, 1, nullptr, nullptr,
                                GRADIENT_FILL_RECT_H));
    EXPECT_NEAR(static_cast<int>(wide.at(5, 5) & 0xFF), 128, 2) << "the middle of the colour run";
    RECTL huge{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
    BrushObject black(0);
    ASSERT_TRUE(EngBitBlt(wide.so(), nullptr, nullptr, nullptr, nullptr, &huge, nullptr, nullptr, &black, nullptr,
                          0xF0F0));
    EXPECT_EQ(wide.count(0), 100);

    Canvas triangle(64, 64);
    TRIVERTEX corners[3] = {{0, 0, 0xFF00, 0, 0, 0}, {64, 0, 0, 0xFF00, 0, 0}, {0, 64, 0, 0, 0xFF00, 0}};
    GRADIENT_TRIANGLE tri{0, 1, 2};
    ASSERT_TRUE(EngGradientFill(triangle.so(), nullptr, nullptr, corners, 3, &tri, 1, nullptr, nullptr,
                                GRADIENT_FILL_TRIANGLE));
    EXPECT_GE(triangle.at(1, 1) >> 16, 240u);
    EXPECT_EQ(triangle.at(60, 60), 0xFFFFFFu) << "outside the triangle";
    const uint32_t centre = triangle.at(20, 20);
    EXPECT_NEAR(static_cast<int>(centre >> 16), 96, 3);  // weight 1 - 20/64 - 20/64
    EXPECT_NEAR(static_cast<int>((centre >> 8) & 0xFF), 80, 3);  // weight 20/64
}

TEST(EnginePlgBlt, ParallelogramsMapTheSource) {
    Canvas source(2, 1);
    source.set(0, 0, 0xFF0000);
    source.set(1, 0, 0x0000FF);
    // The identity parallelogram is a plain copy.
    Canvas plain(6, 6);
    POINTFIX same[3] = {fx(1, 1), fx(3, 1), fx(1, 2)};
    RECTL from{0, 0, 2, 1};
    ASSERT_TRUE(EngPlgBlt(plain.so(), source.so(), nullptr, nullptr, nullptr, nullptr, nullptr, same, &from, nullptr,
                          COLORONCOLOR));
    EXPECT_EQ(plain.at(1, 1), 0xFF0000u);
    EXPECT_EQ(plain.at(2, 1), 0x0000FFu);
    EXPECT_EQ(plain.count(0xFFFFFF), 34);
    // A quarter turn: the source row runs down the target.
    Canvas turned(6, 6);
    POINTFIX down[3] = {fx(3, 1), fx(3, 5), fx(2, 1)};
    ASSERT_TRUE(EngPlgBlt(turned.so(), source.so(), nullptr, nullptr, nullptr, nullptr, nullptr, down, &from, nullptr,
                          COLORONCOLOR));
    EXPECT_EQ(turned.at(2, 1), 0xFF0000u);
    EXPECT_EQ(turned.at(2, 4), 0x0000FFu);
    EXPECT_EQ(turned.count(0xFFFFFF), 32);
}

TEST(EngineText, InkInsideTheGlyphBoxesWithOpaqueAndExtraRectangles) {
    FontRequest request;
    request.logFont.lfHeight = -40;
    const char16_t name[] = u"Liberation Sans";
    std::copy(std::begin(name), std::end(name), request.logFont.lfFaceName);
    auto font = FontObject::create(request);
    ASSERT_NE(font, nullptr);
    StringObject string;
    const std::u16string text = u"Hi";
    ASSERT_TRUE(string.layout(*font, text.data(), 2, 10, 50, nullptr));

    Canvas canvas(100, 80);
    BrushObject black(0), grey(0xC0C0C0);
    RECTL opaque{5, 10, 95, 70};
    RECTL extra[2] = {{10, 55, 40, 57}, {0, 0, 0, 0}};
    ASSERT_TRUE(EngTextOut(canvas.so(), &string, font.get(), nullptr, extra, &opaque, &black, &grey, nullptr,
                           kCopy));
    // Ink lies on the glyphs: 'H' at 10 is about 29 pixels tall above the
    // baseline at 50.
    int ink = 0;
    RECTL box{100, 100, 0, 0};
    for (LONG y = 0; y < 80; ++y) {
        for (LONG x = 0; x < 100; ++x) {
            if (canvas.at(x, y) != 0 || (y >= 55 && y < 57 && x >= 10 && x < 40)) continue;
            ++ink;
            box = RECTL{std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
                        std::max(box.bottom, y + 1)};
        }
    }
    EXPECT_GT(ink, 100);
    EXPECT_GE(box.left, 10);
    EXPECT_LE(box.right, 10 + 40);
    EXPECT_GE(box.top, 50 - 32);
    EXPECT_LE(box.bottom, 51);
    EXPECT_EQ(canvas.count(0, 10, 55, 40, 57), 60) << "the underline";
    EXPECT_EQ(canvas.at(90, 15), 0xC0C0C0u) << "the opaque rectangle";
    EXPECT_EQ(canvas.at(2, 2), 0xFFFFFFu);

    // A glyph's origin is the corner of its pixel: the pixels are those whose
    // centres the outline covers. Liberation Sans's 'H' at a 40-pixel em
    // spans x 3.28 ... 25.63 and y 0 ... 27.52 above the baseline.
    StringObject aitch;
    ASSERT_TRUE(aitch.layout(*font, u"H", 1, 10, 50, nullptr));
    Canvas sampled(60, 60);
    ASSERT_TRUE(EngTextOut(sampled.so(), &aitch, font.get(), nullptr, nullptr, nullptr, &black, nullptr, nullptr,
                           kCopy));
    EXPECT_EQ(sampled.count(0), sampled.count(0, 13, 22, 36, 50));
    EXPECT_GT(sampled.count(0, 13, 22, 14, 50), 20) << "the left stem reaches column 13";
    EXPECT_GT(sampled.count(0, 13, 22, 36, 23), 5) << "the stems reach row 22";
    EXPECT_GT(sampled.count(0, 35, 22, 36, 50), 20) << "the right stem reaches column 35";
    const GLYPHBITS* bits = font->glyphBits(aitch.positions()[0].hg);
    ASSERT_NE(bits, nullptr);
    EXPECT_EQ(bits->ptlOrigin.x, 3);
    EXPECT_EQ(bits->ptlOrigin.y, -28);
    EXPECT_EQ(bits->sizlBitmap.cx, 23);
    EXPECT_EQ(bits->sizlBitmap.cy, 28);

    // A glyph too large to keep is drawn from its outline: the stem of an
    // 'H' 4000 pixels high covers a small surface.
    FontRequest banner = request;
    banner.logFont.lfHeight = -4000;
    auto huge = FontObject::create(banner);
    ASSERT_NE(huge, nullptr);
    StringObject letter;
    ASSERT_TRUE(letter.layout(*huge, u"H", 1, -400, 2000, nullptr));
    EXPECT_EQ(huge->glyphRegion(letter.positions()[0].hg), nullptr);
    Canvas small(200, 200);
    ASSERT_TRUE(EngTextOut(small.so(), &letter, huge.get(), nullptr, nullptr, nullptr, &black, nullptr, nullptr,
                           kCopy));
    EXPECT_EQ(small.count(0), 200 * 200);

    // Glyphs placed at the far ends of the coordinate range draw nothing.
    StringObject far;
    const HGLYPH glyphs[2] = {font->glyph(U'H'), font->glyph(U'i')};
    const POINTL places[2] = {{INT32_MAX, 50}, {10, INT32_MIN}};
    ASSERT_TRUE(far.setGlyphs(*font, glyphs, places, 2));
    Canvas empty(100, 80);
    ASSERT_TRUE(EngTextOut(empty.so(), &far, font.get(), nullptr, nullptr, nullptr, &black, nullptr, nullptr, kCopy));
    EXPECT_EQ(empty.count(0xFFFFFF), 100 * 80);

    // Clipped text leaves the rest alone.
    Canvas clipped(100, 80);
    ClipObject clip;
    clip.setRect(RECTL{0, 0, 20, 80});
    ASSERT_TRUE(EngTextOut(clipped.so(), &string, font.get(), &clip, nullptr, nullptr, &black, nullptr, nullptr,
                           kCopy));
    EXPECT_GT(clipped.count(0), 20);
    EXPECT_EQ(clipped.count(0, 20, 0, 100, 80), 0);
}

TEST(EngineBottomUp, RenderersAddressRowsFromTheTop) {
    // A bottom-up bitmap keeps its first row last in memory; every renderer
    // still draws row 0 at the top.
    HSURF handle = reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{8, 8}, 0, BMF_24BPP, 0, nullptr));
    SURFOBJ* so = EngLockSurface(handle);
    ASSERT_NE(so, nullptr);
    ASSERT_LT(so->lDelta, 0);
    EngEraseSurface(so, nullptr, 0xFFFFFF);
    Canvas red(1, 1);
    red.set(0, 0, 0xFF0000);
    RECTL top{0, 0, 8, 2}, one{0, 0, 1, 1};
    ASSERT_TRUE(EngStretchBlt(so, red.so(), nullptr, nullptr, nullptr, nullptr, nullptr, &top, &one, nullptr,
                              HALFTONE));
    BLENDOBJ blend{{AC_SRC_OVER, 0, 255, 0}};
    RECTL next{0, 2, 8, 3};
    ASSERT_TRUE(EngAlphaBlend(so, red.so(), nullptr, nullptr, &next, &one, &blend));
    PathObject path;
    polygon(path, {{0, 7}, {8, 7}, {8, 8}, {0, 8}});
    BrushObject blue(0x0000FF);
    ASSERT_TRUE(EngFillPath(so, &path, nullptr, &blue, nullptr, kCopy, FP_ALTERNATEMODE));
    auto at = [&](LONG x, LONG y) {
        const auto* row = static_cast<const uint8_t*>(so->pvScan0) + static_cast<ptrdiff_t>(y) * so->lDelta;
        return row[3 * x] | (row[3 * x + 1] << 8) | (static_cast<uint32_t>(row[3 * x + 2]) << 16);
    };
    EXPECT_EQ(at(3, 0), 0xFF0000u);
    EXPECT_EQ(at(3, 2), 0xFF0000u);
    EXPECT_EQ(at(3, 4), 0xFFFFFFu);
    EXPECT_EQ(at(3, 7), 0x0000FFu);
    // Row 0 is the last row in memory.
    EXPECT_EQ(static_cast<const uint8_t*>(so->pvBits)[so->cjBits - (-so->lDelta) + 2], 0xFF);
    EngDeleteSurface(handle);
}

TEST(EngineErase, FillsTheRectangleAtMemoryspeedShape) {
    Canvas canvas(7, 3);
    RECTL part{1, 1, 4, 2};
    ASSERT_TRUE(EngEraseSurface(canvas.so(), &part, 0x123456));
    EXPECT_EQ(canvas.count(0x123456), 3);
    EXPECT_EQ(canvas.count(0x123456, 1, 1, 4, 2), 3);
    RECTL outside{-5, -5, 100, 100};
    ASSERT_TRUE(EngEraseSurface(canvas.so(), &outside, 0));
    EXPECT_EQ(canvas.count(0), 21);
    SURFOBJ none{};
    EXPECT_FALSE(EngEraseSurface(&none, nullptr, 0));
}

// Short and long spans of a colour whose bytes differ take different
// roads; each covers exactly its pixels.
TEST(EngineErase, SpansOfEveryWidthCoverExactlyTheirPixels) {
    for (LONG width = 1; width <= 70; ++width) {
        for (const LONG x : {0L, 3L, 99L - width}) {
            Canvas canvas(100, 3);
            RECTL span{x, 1, x + width, 2};
            ASSERT_TRUE(EngEraseSurface(canvas.so(), &span, 0x123456));
            EXPECT_EQ(canvas.count(0x123456, x, 1, x + width, 2), width) << x << "+" << width;
            EXPECT_EQ(canvas.count(0x123456), width) << x << "+" << width;
        }
    }
}

}  // namespace
}  // namespace tessaly::gdi
