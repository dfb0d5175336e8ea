#pragma once
// Shapes as DefineShape2/DefineShape3 tags, and the shape-record writers that
// glyph outlines share: style changes, straight and curved edges, and cubic
// curves approximated by quadratic ones.

#include <cstdint>
#include <vector>

#include "swf/movie_objects.h"
#include "swf/swf_stream.h"

namespace tessaly {

// The largest squared distance (twips²) allowed between the midpoint of a
// cubic curve and the midpoint of the quadratic that replaces it.
inline constexpr float kCurveTolerance = 9.0f;
// The same for glyph outlines, in units of the font's 1024-unit em: 6 units,
// 0.6 % of the em (a third of a pixel for 12-point text at 300 dpi). Cubic
// outlines (Type 1 and CFF fonts) come out about a sixth smaller than with
// the shapes' tolerance.
inline constexpr float kGlyphCurveTolerance = 36.0f;

struct StyleChange {
    bool move = false;
    int32_t x = 0, y = 0;
    bool line = false;
    uint32_t lineIndex = 0;  // written as given (list index + 1, 0 = none)
    bool fill0 = false;
    uint32_t fill0Index = 0;
    bool fill1 = false;
    uint32_t fill1Index = 0;
};

// The record writers work inside an open bit stream on the stream's pen.
void writeStyleChange(SwfStream& s, const StyleChange& change, unsigned fillBits,
                      unsigned lineBits);
// Each returns the number of edges written.
int writeStraightEdge(SwfStream& s, int32_t x, int32_t y);
int writeCurvedEdge(SwfStream& s, int32_t cx, int32_t cy, int32_t ax, int32_t ay);
int writeCubic(SwfStream& s, float c1x, float c1y, float c2x, float c2y, float ax, float ay,
               float tolerance = kCurveTolerance);

// Writes the shape records of commands [first, first + count): style-change
// runs merged, edges, cubic curves converted. Starts with the pen at (0, 0)
// and does not write the end record.
void writeShapeRecords(SwfStream& s, const ShapeCommand* commands, size_t count,
                       unsigned fillBits, unsigned lineBits);
// The end record (six zero bits) and the flush of the bit stream.
void writeShapeEnd(SwfStream& s);

// DefineShape3 when the shape uses alpha, DefineShape2 otherwise. Returns 1,
// or 0 (nothing written) when the shape has no commands.
[[nodiscard]] int defineShape(SwfStream& s, uint32_t id, const ShapeObject& shape);

}  // namespace tessaly
