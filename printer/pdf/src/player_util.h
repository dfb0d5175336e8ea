#pragma once
// Small conversions the page player shares between its files.

#include <cstddef>
#include <vector>

#include "platform/device_context.h"

struct GfxRGB;

namespace tessaly::pdf {

// The most lengths a pen's dash array holds.
inline constexpr size_t kMaxDashes = 16;

// poppler's RGB as 0x00RRGGBB.
gdi::Color colorOf(const GfxRGB& rgb);

// The scale a transform applies to lengths (the square root of its
// determinant's size).
double scaleOf(const gdi::Transform& t);

// A PDF dash array and phase as a pen's dash lengths (on first, even
// count, the phase folded in); empty for a solid line: no array, a bad or
// all-zero one, or one that needs more than kMaxDashes lengths.
std::vector<double> dashPattern(const std::vector<double>& dash, double phase);

}  // namespace tessaly::pdf
