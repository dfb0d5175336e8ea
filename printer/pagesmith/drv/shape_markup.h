#pragma once
// Shape markup shared by the drawing hooks: raster mixes and their colour
// rules, brush colours, the shape writers, path elements and the fill side
// from a path's orientation.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/winddi.h"

namespace tessaly::pagesmith {

inline constexpr uint32_t kRopNothing = 0xAA;  // the destination stays as it is

// The ternary raster operation of a foreground mix (its low byte, R2_BLACK
// to R2_WHITE); any other value copies the pen.
uint32_t mixToRop3(MIX mix);
// The colour a flat raster operation paints with; nothing for an operation
// that markup cannot express (it depends on the destination).
std::optional<uint32_t> flatRopColour(uint32_t rop3, uint32_t colour);
// The solid colour of a brush (0x00RRGGBB); no brush paints with 0, and a
// pattern or bitmap brush has none.
std::optional<uint32_t> solidColour(const BRUSHOBJ* brush);

void writeShapeStart(std::string& out);
void writeShapeEnd(std::string& out);
void writeLineStyle(std::string& out, double width, uint32_t colour);
void writeFillColour(std::string& out, const char* side, uint32_t colour);
void writeRect(std::string& out, LONG left, LONG top, LONG right, LONG bottom);

// A FIX value as pixels in "%g" form.
std::string fixText(int64_t value);

// The path's records as Linex / LinexTo / Curvex / CurvexTo elements, every
// point moved by the offsets (FIX); a closed figure whose last point is not
// its start gets the closing line.
void writePathElements(std::string& out, PATHOBJ* path, FIX xOffset, FIX yOffset);

// The sum over the closed sub-paths of x(j) * (y(j+1) - y(j-1)), in FIX
// units; its sign is the orientation of the path.
double orientationSum(PATHOBJ* path);
// "right" for a sum of 0 or more, else "left".
const char* fillSide(double orientation);

// The path's bounds in whole pixels, rounded outward and grown by `margin`
// pixels on every side.
RECTL pathBounds(PATHOBJ* path, LONG margin);

}  // namespace tessaly::pagesmith
