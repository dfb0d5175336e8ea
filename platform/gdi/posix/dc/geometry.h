#pragma once
// Device-space paths of the device context: figures of lines and cubic
// Béziers in device pixels (doubles), flattening, the shapes GDI builds
// (ellipse, rounded rectangle), dashing and widening a stroke into fill
// polygons for a driver that declines strokes.

#include <cstdint>
#include <span>
#include <vector>

#include "platform/device_context.h"

namespace tessaly::gdi {

struct Segment {
    bool curve = false;
    PointD c1, c2;  // control points of a curve
    PointD end;
};

struct Figure {
    PointD start;
    std::vector<Segment> segments;
    bool closed = false;

    [[nodiscard]] PointD last() const { return segments.empty() ? start : segments.back().end; }
};

struct DevicePath {
    std::vector<Figure> figures;

    [[nodiscard]] bool empty() const;
    [[nodiscard]] bool hasCurves() const;
    [[nodiscard]] int curveCount() const;
    // The bounding box of all points (control points included); false for a
    // path without points.
    [[nodiscard]] bool bounds(RectD* out) const;
    // Every curve replaced by lines within `tolerance` device pixels.
    [[nodiscard]] DevicePath flattened(double tolerance = 0.25) const;
    void transform(const Transform& t);
    void translate(double dx, double dy);
};

// Shapes in world coordinates, transformed by `t`, appended to `path`.
void addRectangle(DevicePath& path, const RectD& r, const Transform& t);
void addEllipse(DevicePath& path, const RectD& r, const Transform& t);
void addRoundRect(DevicePath& path, const RectD& r, double cornerWidth, double cornerHeight, const Transform& t);

struct Polyline {
    std::vector<PointD> points;  // a closed one does not repeat its start
    bool closed = false;
};

// The figures of a flattened path as polylines.
std::vector<Polyline> polylines(const DevicePath& flat);

// Splits polylines into the "on" pieces of a dash pattern (alternating on
// and off lengths in device pixels, starting on); the pattern runs on
// across the figures as a styled line's state does.
std::vector<Polyline> dash(const std::vector<Polyline>& lines, std::span<const double> pattern);

struct StrokeShape {
    double width = 1;  // device pixels
    LineCap cap = LineCap::Flat;
    LineJoin join = LineJoin::Miter;
    double miterLimit = 10;
};

// The outline of a stroke as polygons that all turn the same way, so that a
// winding fill of them covers the union.
std::vector<std::vector<PointD>> widen(const std::vector<Polyline>& lines, const StrokeShape& shape);

// 28.4 fixed point, rounded to nearest and saturated.
FIX toFix(double v);

}  // namespace tessaly::gdi
