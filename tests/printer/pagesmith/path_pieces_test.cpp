// The pieces of path translation that need no device: raster mixes, the
// merging of clip rectangles, the driver's dashing and polygon clipping.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <string>
#include <vector>

#include "clip_mask.h"
#include "path_hooks.h"
#include "shape_markup.h"

namespace tessaly::pagesmith {
namespace {

TEST(MixRules, MixesMapToFlatColoursOrNone) {
    EXPECT_EQ(mixToRop3(1), 0x00u);
    EXPECT_EQ(mixToRop3(6), 0x55u);
    EXPECT_EQ(mixToRop3(11), 0xAAu);
    EXPECT_EQ(mixToRop3(13), 0xF0u);
    EXPECT_EQ(mixToRop3(16), 0xFFu);
    // Only the low byte counts; anything outside the table copies the pen.
    EXPECT_EQ(mixToRop3(0x0D05), 0x50u);
    EXPECT_EQ(mixToRop3(0), 0xF0u);
    EXPECT_EQ(mixToRop3(17), 0xF0u);

    EXPECT_EQ(flatRopColour(0x00, 0x123456), 0x000000u);
    EXPECT_EQ(flatRopColour(0x0F, 0x123456), 0xEDCBA9u);
    EXPECT_EQ(flatRopColour(0xF0, 0x123456), 0x123456u);
    EXPECT_EQ(flatRopColour(0xFF, 0x123456), 0xFFFFFFu);
    for (uint32_t rop : {0x05u, 0x55u, 0x5Au, 0xAAu, 0xA0u, 0xFAu}) EXPECT_FALSE(flatRopColour(rop, 0x123456)) << rop;

    BRUSHOBJ pattern{};
    pattern.iSolidColor = 0xFFFFFFFF;
    EXPECT_FALSE(solidColour(&pattern));
    BRUSHOBJ solid{};
    solid.iSolidColor = 0x00ABCDEF;
    EXPECT_EQ(solidColour(&solid), 0xABCDEFu);
    EXPECT_EQ(solidColour(nullptr), 0u);
}

std::string listText(std::vector<FixRect> rects) {
    mergeRectangles(rects);
    std::string text;
    for (const FixRect& r : rects) {
        text += fixText(r.left) + "," + fixText(r.top) + "," + fixText(r.right) + "," + fixText(r.bottom) + ";";
    }
    return text;
}

FixRect pixels(int64_t l, int64_t t, int64_t r, int64_t b) { return {l * 16, t * 16, r * 16, b * 16}; }

TEST(RectangleMerging, RowsThenColumns) {
    EXPECT_EQ(listText({pixels(0, 0, 10, 5), pixels(10, 0, 20, 5)}), "0,0,20,5;");
    // A rectangle that bridges two others only after a first merge.
    EXPECT_EQ(listText({pixels(0, 0, 10, 5), pixels(20, 0, 30, 5), pixels(10, 0, 20, 5)}), "0,0,30,5;");
    // Columns merge after rows: two rows that became the same width stack.
    EXPECT_EQ(listText({pixels(0, 0, 5, 5), pixels(5, 0, 10, 5), pixels(0, 5, 10, 8)}), "0,0,10,8;");
    // Apart, or of different rows, they stay as they are.
    EXPECT_EQ(listText({pixels(0, 0, 10, 5), pixels(11, 0, 20, 5), pixels(0, 5, 4, 9)}),
              "0,0,10,5;11,0,20,5;0,5,4,9;");
    // Offsets in FIX units reach the text as fractions of a pixel.
    EXPECT_EQ(listText({{-8, -8, 152, 72}}), "-0.5,-0.5,9.5,4.5;");
}

LINEATTRS styledLine(FLONG flags, std::vector<FLOAT_LONG>& style, LONG state = 0) {
    LINEATTRS attrs{};
    attrs.fl = flags;
    attrs.cstyle = ULONG(style.size());
    attrs.pstyle = style.empty() ? nullptr : style.data();
    attrs.elStyleState.l = state;
    return attrs;
}

std::string dash(const LINEATTRS& attrs, double x0, double y0, double x1, double y1, double geometricUnit = 1) {
    DashPattern pattern;
    if (!dashPattern(attrs, pattern, geometricUnit)) return "none";
    std::string out;
    int64_t budget = 1000;
    dashSegment(out, pattern, x0, y0, x1, y1, budget);
    return out;
}

TEST(Dashing, PatternsStatesAndUnits) {
    std::vector<FLOAT_LONG> none;
    EXPECT_FALSE(isStyled(nullptr));
    LINEATTRS plain = styledLine(0, none);
    EXPECT_FALSE(isStyled(&plain));

    // Alternate: one pixel on, one off.
    LINEATTRS alternate = styledLine(LA_ALTERNATE, none);
    EXPECT_TRUE(isStyled(&alternate));
    EXPECT_EQ(dash(alternate, 0, 0, 4, 0), "<Linex path=\"0,0;1,0\"/>\n<Linex path=\"2,0;3,0\"/>\n");
    alternate.fl |= LA_STARTGAP;
    EXPECT_EQ(dash(alternate, 0, 0, 4, 0), "<Linex path=\"1,0;2,0\"/>\n<Linex path=\"3,0;4,0\"/>\n");

    // Geometric units are pixels; the walk follows the major axis (here y).
    std::vector<FLOAT_LONG> geometric(2);
    geometric[0].e = 2;
    geometric[1].e = 2;
    LINEATTRS wide = styledLine(LA_GEOMETRIC, geometric);
    EXPECT_EQ(dash(wide, 0, 0, 4, 8),
              "<Linex path=\"0,0;1,2\"/>\n<Linex path=\"2,4;3,6\"/>\n");
    // ... world units under a scaling transform, as the line's width: the
    // engine draws the dashes that long, so the markup must too.
    EXPECT_EQ(dash(wide, 0, 0, 16, 0, 2.5), "<Linex path=\"0,0;5,0\"/>\n<Linex path=\"10,0;15,0\"/>\n");
    // A unit that is no scale leaves pixels.
    EXPECT_EQ(dash(wide, 0, 0, 4, 8, 0), dash(wide, 0, 0, 4, 8));
    // Cosmetic lines keep their three pixels a unit whatever the transform.
    std::vector<FLOAT_LONG> thin(2);
    thin[0].l = 1;
    thin[1].l = 1;
    EXPECT_EQ(dash(styledLine(0, thin), 0, 0, 6, 0, 2.5), "<Linex path=\"0,0;3,0\"/>\n");

    // Resuming from the style state: one unit of the first entry of (2, 1)
    // already used, so the first dash is one unit (3 pixels) long.
    std::vector<FLOAT_LONG> cosmetic(2);
    cosmetic[0].l = 2;
    cosmetic[1].l = 1;
    LINEATTRS resumed = styledLine(0, cosmetic, (0 << 16) | 1);
    EXPECT_EQ(dash(resumed, 0, 0, 18, 0), "<Linex path=\"0,0;3,0\"/>\n<Linex path=\"6,0;12,0\"/>\n<Linex path=\"15,0;18,0\"/>\n");

    // A zero entry among others gives a piece one step long.
    std::vector<FLOAT_LONG> dotted(2);
    dotted[0].l = 0;
    dotted[1].l = 1;
    LINEATTRS dots = styledLine(0, dotted);
    EXPECT_EQ(dash(dots, 0, 0, 7, 0), "<Linex path=\"0,0;1,0\"/>\n<Linex path=\"3,0;4,0\"/>\n<Linex path=\"6,0;7,0\"/>\n");

    // An array of zeros has no dashes; nor does one of nonsense values.
    std::vector<FLOAT_LONG> zeros(3);
    LINEATTRS empty = styledLine(0, zeros);
    EXPECT_TRUE(isStyled(&empty));
    EXPECT_EQ(dash(empty, 0, 0, 10, 0), "none");
    std::vector<FLOAT_LONG> negative(1);
    negative[0].e = -4;
    EXPECT_EQ(dash(styledLine(LA_GEOMETRIC, negative), 0, 0, 10, 0), "none");
}

TEST(Dashing, EndlessPatternsStopAtTheBudget) {
    // A pattern far finer than a pixel (a geometric pen of no width) is
    // drawn solid; one of a pixel is dashed.
    std::vector<FLOAT_LONG> fine(2);
    fine[0].e = 1e-30f;
    fine[1].e = 1e-30f;
    DashPattern solid;
    EXPECT_FALSE(dashPattern(styledLine(LA_GEOMETRIC, fine), solid));
    fine[0].e = 0.25f;
    fine[1].e = 0.5f;
    EXPECT_FALSE(dashPattern(styledLine(LA_GEOMETRIC, fine), solid));
    fine[1].e = 0.75f;
    EXPECT_TRUE(dashPattern(styledLine(LA_GEOMETRIC, fine), solid));

    // Whatever makes such a pattern, the walk stops at the budget.
    DashPattern pattern;
    pattern.entries = {1e-30, 1e-30};
    std::string out;
    int64_t budget = 50;
    dashSegment(out, pattern, 0, 0, 1000, 0, budget);
    EXPECT_EQ(budget, 0);
    EXPECT_LE(out.size(), 50u * 40u);
}

// The x of each dash's start, for (2, 1) cosmetic dashes along y = 0.
std::vector<double> dashStarts(const std::string& markup) {
    std::vector<double> starts;
    const std::string tag = "<Linex path=\"";
    for (size_t at = markup.find(tag); at != std::string::npos; at = markup.find(tag, at + 1))
        starts.push_back(std::stod(markup.substr(at + tag.size())));
    return starts;
}

TEST(Dashing, OnlyTheVisiblePartIsWalkedAndThePatternRunsOn) {
    std::vector<FLOAT_LONG> style(3);
    style[0].l = 2;
    style[1].l = 1;
    style[2].l = 1;  // an odd count: on and off swap every other cycle
    const LINEATTRS attrs = styledLine(0, style);
    const DashArea page{0, -5, 100, 5};

    // A line far longer than the page writes the page's dashes only, each
    // where the whole walk puts it, and ends in the same place of the pattern.
    DashPattern whole, seen;
    ASSERT_TRUE(dashPattern(attrs, whole));
    ASSERT_TRUE(dashPattern(attrs, seen));
    std::string all, part;
    int64_t wholeBudget = 1'000'000, seenBudget = 1'000'000;
    dashSegment(all, whole, -3001, 0, 4003, 0, wholeBudget);
    dashSegment(part, seen, -3001, 0, 4003, 0, seenBudget, page);
    std::vector<double> expected;
    for (double x : dashStarts(all))
        if (x >= -12 && x <= 100) expected.push_back(x);
    const std::vector<double> written = dashStarts(part);
    ASSERT_FALSE(written.empty());
    ASSERT_LE(written.size(), expected.size());
    for (double x : written) {
        EXPECT_TRUE(std::any_of(expected.begin(), expected.end(), [x](double e) { return std::fabs(e - x) < 1e-6; }))
            << x;
    }
    for (double x : expected) {
        if (x >= 0) {
            EXPECT_TRUE(std::any_of(written.begin(), written.end(), [x](double w) { return std::fabs(w - x) < 1e-6; }))
                << x;
        }
    }
    EXPECT_EQ(seen.index, whole.index);
    EXPECT_EQ(seen.on, whole.on);
    EXPECT_NEAR(seen.position, whole.position, 1e-6);
    EXPECT_LT(1'000'000 - seenBudget, 100);

    // A line across a billion pixels costs only what is on the page, and a
    // line wholly off it writes nothing.
    DashPattern far;
    ASSERT_TRUE(dashPattern(attrs, far));
    std::string out;
    int64_t budget = 1'000'000;
    dashSegment(out, far, -1e9, 0, 1e9, 0, budget, page);
    EXPECT_GT(budget, 1'000'000 - 100);
    EXPECT_FALSE(out.empty());
    out.clear();
    dashSegment(out, far, -1e9, 50, 1e9, 50, budget, page);
    EXPECT_EQ(out, "");
}

TEST(PolygonClipping, EdgesInOrder) {
    const std::vector<PointD2> inside = {{10, 10}, {20, 10}, {20, 20}};
    EXPECT_EQ(clipPolygon(inside, 0, 0, 100, 100).size(), 3u);
    EXPECT_TRUE(clipPolygon({{200, 200}, {300, 200}, {300, 300}}, 0, 0, 100, 100).empty());
    // A square around the rectangle becomes the rectangle.
    const auto cut = clipPolygon({{-10, -10}, {110, -10}, {110, 110}, {-10, 110}}, -0.5, -0.5, 99.5, 99.5);
    ASSERT_EQ(cut.size(), 4u);
    for (const PointD2& p : cut) {
        EXPECT_TRUE(p.x == -0.5 || p.x == 99.5) << p.x;
        EXPECT_TRUE(p.y == -0.5 || p.y == 99.5) << p.y;
    }
}

}  // namespace
}  // namespace tessaly::pagesmith
