#pragma once
// Clip regions as markup: the rectangle list of a clip (adjacent rectangles
// merged by rows, then by columns) and the mask a clipped shape, text or
// image is drawn through.

#include <string>
#include <vector>

#include "device.h"
#include "platform/winddi.h"

namespace tessaly::pagesmith {

// A clip rectangle in FIX units with the offsets added.
struct FixRect {
    int64_t left = 0, top = 0, right = 0, bottom = 0;
};

// Merges rectangles of the same rows that touch or overlap into one, then
// rectangles of the same columns; the survivors keep their order.
void mergeRectangles(std::vector<FixRect>& rects);

// The clip's rectangles as text: "l,t,r,b" for a one-rectangle clip, every
// merged rectangle as "l,t,r,b;" for a region; offsets in FIX.
void writeRectangleList(std::string& out, CLIPOBJ* clip, FIX xOffset, FIX yOffset);

// For a rectangle or region clip: the mask shape and an open Mask element;
// the caller writes its content and closes it with writeMaskEnd. The
// rectangle form takes the caller's offsets; the path form of a region lies
// where the shapes' own paths lie, moved only by the band's offset. Returns
// whether a mask was opened.
bool writeClipMask(DriverDevice& device, std::string& out, CLIPOBJ* clip, FIX xOffset, FIX yOffset);
void writeMaskEnd(std::string& out);

// The offsets of the clip mask in front of a shape: the clip edges half a
// pixel up and left, on the band's place in the page.
inline FIX maskXOffset(const DriverDevice&) { return -8; }
inline FIX maskYOffset(const DriverDevice& device) { return FIX(device.bandY) * 16 - 8; }
// The offset of a shape's path on the band's place in the page.
inline FIX bandYOffset(const DriverDevice& device) { return FIX(device.bandY) * 16; }

}  // namespace tessaly::pagesmith
