#pragma once
// Test controls of the graphics engine: how much memory EngCreateBitmap may
// give a bitmap whose bits it allocates, and an observer of every
// EngCreateBitmap request. Both are process-wide.

#include <cstdint>
#include <functional>

#include "platform/winddi.h"

namespace tessaly::gdi {

// The largest byte count (row stride x height) that EngCreateBitmap
// allocates for a bitmap; larger requests fail as if memory had run out.
// 0 means no limit. The environment variable TESSALY_GDI_SURFACE_LIMIT (a
// decimal byte count) sets the starting value, read once; a call here
// replaces it. Bitmaps over the caller's own memory are not limited.
void setSurfaceByteLimit(uint64_t bytes);
uint64_t surfaceByteLimit();

// Sees each EngCreateBitmap request (width, height, BMF_ format) before
// anything is allocated; returning false refuses it (EngCreateBitmap then
// returns null). An empty function removes the observer.
using BitmapRequestObserver = std::function<bool(LONG width, LONG height, ULONG format)>;
void setBitmapRequestObserver(BitmapRequestObserver observer);

}  // namespace tessaly::gdi
