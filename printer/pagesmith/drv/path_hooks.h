#pragma once
// The pieces of path translation that have no engine objects of their own:
// the driver's dashing of styled lines and the polygon clipped to a
// rectangle.

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/winddi.h"

namespace tessaly::pagesmith {

// The dash pattern of a line and where in it the line begins.
struct DashPattern {
    std::vector<double> entries;  // style units, on and off alternating
    double unit = 1;              // pixels per style unit
    size_t index = 0;
    double position = 0;          // style units used of the current entry
    bool on = true;
    bool alternate = false;       // one unit on, one off: every piece one pixel
};

// Whether the line attributes ask for a styled line.
bool isStyled(const LINEATTRS* attrs);
// The pattern of a styled line; false when its style array is all zeros (or
// unusable) or the whole pattern is shorter than a pixel, which has no gaps
// to draw. The style lengths of a geometric line are world units,
// `geometricUnit` pixels each (the transform's scale).
bool dashPattern(const LINEATTRS& attrs, DashPattern& pattern, double geometricUnit = 1);

// The part of the page where a dash can be seen (pixels).
struct DashArea {
    double left = -HUGE_VAL, top = -HUGE_VAL, right = HUGE_VAL, bottom = HUGE_VAL;
};

// Walks the segment (pixels) through the pattern, writing the pieces drawn
// as two-point Linex elements; `budget` counts down the pieces a call may
// write, and the walk stops when it is spent. Only pieces that reach into
// `area` are written; the pattern runs on over the rest of the segment
// without walking it piece by piece, so that a line reaching far off the
// page costs no more than its visible part.
void dashSegment(std::string& out, DashPattern& pattern, double x0, double y0, double x1, double y1,
                 int64_t& budget, const DashArea& area = {});

struct PointD2 {
    double x = 0, y = 0;
};

// The polygon clipped to the rectangle (pixels), edge by edge: top, right,
// bottom, left.
std::vector<PointD2> clipPolygon(std::vector<PointD2> polygon, double left, double top, double right,
                                 double bottom);

}  // namespace tessaly::pagesmith
