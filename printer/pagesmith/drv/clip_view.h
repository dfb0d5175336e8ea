#pragma once
// What the bitmap writers need to know of a call's clip: its complexity, its
// bounds and, for a region, the merged rectangle list that the clip-mask code
// writes. A hook builds one from its CLIPOBJ before translating.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/winddi.h"

namespace tessaly::pagesmith {

struct ClipView {
    uint8_t complexity = DC_TRIVIAL;  // DC_TRIVIAL, DC_RECT or DC_COMPLEX
    RECTL bounds{};                   // pixels; meaningful for DC_RECT and DC_COMPLEX
    // Appends the region's merged rectangle list ("x1,y1,x2,y2;" each, in
    // pixels) with the offsets (FIX) added; only for DC_COMPLEX.
    std::function<void(std::string& out, FIX dx, FIX dy)> rectangleList;
};

}  // namespace tessaly::pagesmith
