#pragma once
// Controls of the graphics engine: how much memory EngCreateBitmap may give
// a bitmap whose bits it allocates, an observer of every EngCreateBitmap
// request, and whether page drawing is deferred. All are process-wide.

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

// Whether a device context defers the rendering of its pages into the
// driver's surface (on by default; the environment variable
// TESSALY_GDI_IMMEDIATE=1 sets the starting value to off, read once). The
// driver gets the same calls either way and reads the same pixels: while a
// page is deferred, the engine keeps the page's drawing and renders it only
// when the surface is locked or read by an engine call. Taken at each page's
// start; a banding surface always draws at once.
void setDeferredDrawing(bool on);
bool deferredDrawing();

}  // namespace tessaly::gdi
