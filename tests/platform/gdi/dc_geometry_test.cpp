// The device context's geometry: pixel coverage of polygons, flattening,
// dashing and widening (what a driver gets when it declines a call).
#include <gtest/gtest.h>

#include <cmath>

#include "../../../platform/gdi/posix/dc/geometry.h"
#include "../../../platform/gdi/posix/dc/region.h"

namespace tessaly::gdi {
namespace {

std::vector<PointD> square(double l, double t, double r, double b) { return {{l, t}, {r, t}, {r, b}, {l, b}}; }

int64_t area(const Region& r) {
    int64_t a = 0;
    for (const DeviceRect& d : r.rects()) a += int64_t{d.right - d.left} * (d.bottom - d.top);
    return a;
}

const DeviceRect kPage{0, 0, 1000, 1000};

TEST(DcGeometryTest, PolygonsCoverThePixelsWhoseCentresAreInside) {
    // Edges on pixel boundaries cover exactly the pixels between them.
    Region r = Region::fromPolygons({square(10, 10, 20, 20)}, false, kPage);
    ASSERT_EQ(r.rectCount(), 1u);
    EXPECT_EQ(r.bounds().left, 10);
    EXPECT_EQ(r.bounds().right, 20);
    EXPECT_EQ(r.bounds().bottom, 20);
    // Half-pixel edges: the top and left edges are inclusive, the others not.
    r = Region::fromPolygons({square(9.5, 9.5, 10.5, 10.5)}, false, kPage);
    EXPECT_EQ(area(r), 1);
    EXPECT_EQ(r.bounds().left, 9);

    // Overlapping squares turning the same way: alternate leaves the overlap
    // out, winding fills it.
    const std::vector<std::vector<PointD>> two{square(0, 0, 20, 20), square(10, 10, 30, 30)};
    EXPECT_EQ(area(Region::fromPolygons(two, false, kPage)), 400 + 400 - 2 * 100);
    EXPECT_EQ(area(Region::fromPolygons(two, true, kPage)), 400 + 400 - 100);
    // A square inside another turning the other way is a hole either way.
    auto inner = square(5, 5, 15, 15);
    std::reverse(inner.begin(), inner.end());
    EXPECT_EQ(area(Region::fromPolygons({square(0, 0, 20, 20), inner}, true, kPage)), 300);
    // The limit cuts, and a polygon far outside costs nothing.
    EXPECT_EQ(area(Region::fromPolygons({square(-50, -50, 10, 10)}, false, kPage)), 100);
    EXPECT_TRUE(Region::fromPolygons({square(1e9, 1e9, 2e9, 2e9)}, false, kPage).empty());
    EXPECT_TRUE(Region::fromPolygons({{{0, 0}, {NAN, 5}, {5, 5}}}, false, kPage).empty());
}

TEST(DcGeometryTest, RectanglesWiderThanTheIntRange) {
    const Region wide(DeviceRect{-1073741824, -1073741824, 1073741824, 1073741824});
    EXPECT_EQ(wide.bounds().left, -1073741824);
    EXPECT_EQ(wide.bounds().bottom, 1073741824);
    Region page(kPage);
    page.intersect(wide);
    EXPECT_EQ(area(page), 1000 * 1000);
}

TEST(DcGeometryTest, FlatteningStaysOnTheCurve) {
    DevicePath p;
    Figure f;
    f.start = {0, 0};
    Segment s;
    s.curve = true;
    s.c1 = {0, 100};
    s.c2 = {100, 100};
    s.end = {100, 0};
    f.segments.push_back(s);
    p.figures.push_back(f);
    const DevicePath flat = p.flattened(0.25);
    ASSERT_FALSE(flat.hasCurves());
    ASSERT_GT(flat.figures[0].segments.size(), 4u);
    EXPECT_EQ(flat.figures[0].segments.back().end.x, 100);
    // The curve's peak (t = 0.5) is at y = 75; the chords come close to it.
    double top = 0;
    for (const Segment& l : flat.figures[0].segments) top = std::max(top, l.end.y);
    EXPECT_NEAR(top, 75, 0.25);
}

TEST(DcGeometryTest, DashesAndWideLines) {
    // 6 on, 3 off along 18 pixels: two dashes, the rest off.
    const std::vector<Polyline> line{{{{0, 0}, {18, 0}}, false}};
    const double pattern[] = {6, 3};
    const auto pieces = dash(line, pattern);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_DOUBLE_EQ(pieces[0].points.back().x, 6);
    EXPECT_DOUBLE_EQ(pieces[1].points.front().x, 9);
    EXPECT_DOUBLE_EQ(pieces[1].points.back().x, 15);
    // The pattern continues around a corner.
    const auto corner = dash({{{{0, 0}, {4, 0}, {4, 10}}, false}}, pattern);
    ASSERT_EQ(corner.size(), 2u);
    EXPECT_EQ(corner[0].points.size(), 3u);
    EXPECT_DOUBLE_EQ(corner[0].points.back().y, 2);

    // Dashes far below a pixel over a long line draw it solid instead of
    // walking billions of pieces.
    const double tiny[] = {1e-9, 1e-9};
    const auto solid = dash({{{{0, 0}, {1e6, 0}}, false}}, tiny);
    ASSERT_EQ(solid.size(), 1u);
    EXPECT_EQ(solid[0].points.size(), 2u);

    // A 4 pixel line with flat caps covers 4 rows and exactly its length.
    StrokeShape shape;
    shape.width = 4;
    shape.cap = LineCap::Flat;
    Region r = Region::fromPolygons(widen({{{{10, 20}, {110, 20}}, false}}, shape), true, kPage);
    EXPECT_EQ(area(r), 400);
    EXPECT_EQ(r.bounds().top, 18);
    // Square caps add half the width at each end; round caps a disc.
    shape.cap = LineCap::Square;
    EXPECT_EQ(area(Region::fromPolygons(widen({{{{10, 20}, {110, 20}}, false}}, shape), true, kPage)), 416);
    // A closed square outline keeps its hole.
    shape.join = LineJoin::Miter;
    r = Region::fromPolygons(widen({{square(10, 10, 50, 50), true}}, shape), true, kPage);
    EXPECT_EQ(area(r), 44 * 44 - 36 * 36);
    EXPECT_FALSE(r.contains({30, 30, 31, 31}));
}

}  // namespace
}  // namespace tessaly::gdi
