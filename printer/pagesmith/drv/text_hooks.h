#pragma once
// The pieces of text translation that need no engine objects: the text's
// size, direction and the inverse that measures its positions along its own
// baseline, the position list, blank trimming and the style string.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/winddi.h"

namespace tessaly::pagesmith {

// Size and direction of text from the font's notional-to-device transform.
struct TextTransform {
    bool known = false;  // false when the transform could not be read
    double size = 0;     // pixels per em
    // The direction written as the text's matrix (a, b, c, d).
    double a = 1, b = 0, c = 0, d = 1;
    // Device offsets to offsets along the baseline: x' = i11 dx + i21 dy,
    // y' = i12 dx + i22 dy.
    double i11 = 1, i12 = 0, i21 = 0, i22 = 1;
    bool identityInverse = true;

    bool identityMatrix() const { return a == 1 && d == 1 && b == 0 && c == 0; }
};

// `xform` null: the transform is unknown.
TextTransform textTransform(const XFORML* xform, int32_t unitsPerEm);

// "x,y;" per glyph, each glyph's offset from the first measured along the
// baseline; offsets across the baseline under 1.4142 pixels are snapped to 0
// (rounding of rotated glyph positions).
std::string positionText(const TextTransform& transform, std::span<const POINTL> positions);

// Drops trailing, then leading blanks (U+0020); the number of leading blanks
// dropped. Empty text when only blanks were left.
size_t trimBlanks(std::u16string& text);

// The style string of a simulated font ("bold ", "bold italic", "italic" or
// "regular"), or the metrics' own style name.
std::u16string styleString(FLONG fontType, std::u16string_view metricsStyle);

}  // namespace tessaly::pagesmith
