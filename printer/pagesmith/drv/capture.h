#pragma once
// The raster fallback: after the engine has rendered a call the driver
// cannot express, the affected rectangle of its own surface is written as an
// image of the page.

#include "clip_view.h"
#include "device.h"

namespace tessaly::pagesmith {

// Captures the rectangle (surface pixels) of the driver's 24-bit surface,
// limited to the clip bounds and to the surface. An empty rectangle succeeds
// without output; 0 when the rows cannot be read.
[[nodiscard]] int captureRect(DriverDevice& device, const SURFOBJ* surface, RECTL rect, const ClipView* clip);

// The fallback of a call the hook frame could not translate: the rectangle
// of the device's surface, limited to the call's clip (none: the surface).
[[nodiscard]] int captureFallback(DriverDevice& device, const RECTL& bounds, CLIPOBJ* clip);

}  // namespace tessaly::pagesmith
