#pragma once
// The path elements of markup (MoveTo, LinexTo, Linex, CurvexTo, Curvex,
// Rect, Rectex, LineStyle, FillColor) drawn into a shape: the outlines of
// Shape elements and of embedded glyphs.

#include <cmath>
#include <cstdint>

#include "composer/mml_reader.h"
#include "swf/movie_objects.h"

namespace tessaly {

class PathBuilder {
public:
    // Coordinates are multiplied by the scale and rounded half up.
    explicit PathBuilder(double scale) : scale_(scale) {}

    // Runs the elements from the reader's cursor up to the end tag (for
    // example "/Shape") into the shape. Unknown elements are skipped; false
    // when any path element failed (the walk still goes on to the end tag).
    // With keepFirstMove the first move is stored even when it goes to the
    // pen: glyphs share one shape, and each must start with its own move.
    [[nodiscard]] bool build(MmlReader& reader, ShapeObject& shape, const char* endTag,
               bool keepFirstMove = false) const;
    // One path element, the reader's current one.
    bool element(MmlReader& reader, const char* name, ShapeObject& shape, int* drawCount) const;

    int32_t toTwips(double v) const;

private:
    bool move(ShapeObject& shape, int32_t x, int32_t y) const;

    double scale_;
    mutable bool forceMove_ = false;
};

// "counter" or "left" in the current element's order attribute.
[[nodiscard]] bool counterOrder(MmlReader& reader);

}  // namespace tessaly
