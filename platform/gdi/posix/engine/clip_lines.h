#pragma once
// The state of a path's clip-line enumeration: its lines (curves cut into
// lines), the clip, the line style, and how far the enumeration has got.

#include <vector>

#include "engine_objects.h"
#include "raster.h"

namespace tessaly::gdi {

struct PathObject::ClipLines {
    struct Line {
        POINTFIX a, b;
        LONG styleState;  // style index in the high word, position in the low word
    };
    std::vector<Line> lines;
    PixelRegion clip;
    size_t line = 0;
    std::vector<RUN> runs;  // of the current line
    size_t run = 0;
    bool runsMade = false;
};

}  // namespace tessaly::gdi
