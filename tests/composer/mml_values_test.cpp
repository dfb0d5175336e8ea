#include "composer/mml_values.h"

#include <gtest/gtest.h>

namespace tessaly {
namespace {

TEST(MmlValues, StrictNumbers) {
    double d = 0;
    EXPECT_EQ(parseStrictReal("-12.5", &d), 1);
    EXPECT_DOUBLE_EQ(d, -12.5);
    EXPECT_EQ(parseStrictReal(".5", &d), 1);
    for (const char* bad : {"", "-", ".", "+1", "1e3", " 1", "1 ", "1.2.3", "1,5"}) {
        EXPECT_EQ(parseStrictReal(bad, &d), 0) << bad;
    }
    int32_t i = 0;
    EXPECT_EQ(parseStrictInteger("-7", &i), 1);
    EXPECT_EQ(i, -7);
    EXPECT_EQ(parseStrictInteger("7.0", &i), 0);
    EXPECT_EQ(parseStrictInteger("2147483648", &i), 0);
    uint32_t u = 0;
    EXPECT_EQ(parseUnsignedInteger("4294967295", &u), 1);
    EXPECT_EQ(u, 4294967295u);
    EXPECT_EQ(parseUnsignedInteger("-1", &u), 0);

    EXPECT_EQ(parseLenientReal("  -1.5e2xyz", &d), 1);
    EXPECT_DOUBLE_EQ(d, -150.0);
    EXPECT_EQ(parseLenientReal("inf", &d), 0);
    EXPECT_EQ(parseLenientReal("1e999", &d), 0);
    EXPECT_EQ(parseLenientReal("x1", &d), 0);
    EXPECT_EQ(d, 0.0);
}

TEST(MmlValues, Colors) {
    MmlColor c;
    ASSERT_EQ(parseColor("#80FF0000", &c), 1);
    EXPECT_TRUE(c.hasAlpha);
    EXPECT_EQ(c.argb(), 0x80FF0000u);
    ASSERT_EQ(parseColor("#00FF0000", &c), 1);
    EXPECT_FALSE(c.hasAlpha);
    EXPECT_EQ(c.argb(), 0xFFFF0000u);
    ASSERT_EQ(parseColor("0Xff", &c), 1);
    EXPECT_EQ(c.value, 0xFFu);
    ASSERT_EQ(parseColor("#0x1000000", &c), 1);
    EXPECT_EQ(c.alpha(), 0x01);
    for (const char* bad : {"", "#", "0x", "#12345g", "123456789", "# 12"}) {
        EXPECT_EQ(parseColor(bad, &c), 0) << bad;
    }
}

TEST(MmlValues, PointAndRectangleLists) {
    auto points = parsePointList("10,20; 30 , -40.5;");
    ASSERT_EQ(points.size(), 2u);
    EXPECT_DOUBLE_EQ(points[1].x, 30);
    EXPECT_DOUBLE_EQ(points[1].y, -40.5);
    // A pair without ',' ends the list; nothing reads across a ';'.
    points = parsePointList("1,2;3;4,5");
    EXPECT_EQ(points.size(), 1u);
    EXPECT_TRUE(parsePointList("").empty());
    points = parsePointList("a,b");
    ASSERT_EQ(points.size(), 1u);  // malformed coordinates read as 0
    EXPECT_EQ(points[0].x, 0.0);

    auto rects = parseRectList("0,0,10,20;5,5,6,6;");
    ASSERT_EQ(rects.size(), 2u);
    EXPECT_DOUBLE_EQ(rects[0].y2, 20);
    EXPECT_DOUBLE_EQ(rects[1].x1, 5);
    rects = parseRectList("0,0,10,20;1,2,3");
    EXPECT_EQ(rects.size(), 1u);
}

TEST(MmlValues, Matrix) {
    MmlMatrix m;
    ASSERT_EQ(parseMatrix("2", &m), 1);
    EXPECT_EQ(m.a, 2);
    EXPECT_EQ(m.b, 0);
    EXPECT_EQ(m.d, 1);
    EXPECT_EQ(m.ty, 0);
    ASSERT_EQ(parseMatrix("1,0,0,1, 100,\t-200", &m), 1);
    EXPECT_EQ(m.tx, 100);
    EXPECT_EQ(m.ty, -200);
    // Reading stops at an entry that is not a strict real.
    ASSERT_EQ(parseMatrix("0.5,0.25,x,3,4,5", &m), 1);
    EXPECT_EQ(m.b, 0.25);
    EXPECT_EQ(m.c, 0);
    EXPECT_EQ(m.d, 1);
    EXPECT_EQ(m.tx, 0);
    MmlMatrix kept;
    kept.tx = 7;
    EXPECT_EQ(parseMatrix("x,1", &kept), 0);
    EXPECT_EQ(parseMatrix("", &kept), 0);
    EXPECT_EQ(parseMatrix("+1", &kept), 0);
    EXPECT_EQ(kept.tx, 7);
}

TEST(MmlValues, Keywords) {
    EXPECT_TRUE(hasKeyword("Bold;ITALIC", "italic"));
    EXPECT_TRUE(hasKeyword("counterclockwise", "counter"));
    EXPECT_FALSE(hasKeyword("", "left"));
    EXPECT_EQ(keywordFlags("left right", {{"left", 1}, {"right", 2}, {"top", 4}}), 3u);
    EXPECT_EQ(keywordFlags("noPlace", {{"noplace", 8}}), 8u);
}

}  // namespace
}  // namespace tessaly
