#pragma once
// What the driver tells GDI about its device: GDIINFO and DEVINFO.

#include <cstddef>

#include "device.h"

namespace tessaly::pagesmith {

// The smallest buffers DrvEnablePDEV accepts. DEVINFO must at least reach
// past the default palette handle, which the driver fills in.
inline constexpr size_t kMinGdiInfoBytes = 304;
inline constexpr size_t kMinDevInfoBytes =
    offsetof(DEVINFO, hpalDefault) + sizeof(HPALETTE) > 300 ? offsetof(DEVINFO, hpalDefault) + sizeof(HPALETTE)
                                                            : 300;

inline constexpr FLONG kGraphicsCaps = GCAPS_BEZIERS | GCAPS_GEOMETRICWIDE | GCAPS_ALTERNATEFILL |
                                       GCAPS_WINDINGFILL | GCAPS_HALFTONE | GCAPS_GRAY16;
static_assert(kGraphicsCaps == 0x0100001F);

GDIINFO makeGdiInfo(const DriverDevice& device);
DEVINFO makeDevInfo(const DriverDevice& device);

}  // namespace tessaly::pagesmith
