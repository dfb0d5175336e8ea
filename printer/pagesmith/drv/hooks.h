#pragma once
// The DDI functions the driver hooks, in the order of its table, and the
// flags its surface is associated with.

#include <cstddef>

#include "platform/winddi.h"

namespace tessaly::pagesmith {

inline constexpr size_t kHookCount = 24;
// The table DrvEnableDriver hands out (kHookCount entries).
const DRVFN* hookTable();

// No HOOK_LINETO: lines reach the driver as DrvStrokePath.
inline constexpr FLONG kSurfaceHooks = HOOK_BITBLT | HOOK_STRETCHBLT | HOOK_PLGBLT | HOOK_TEXTOUT |
                                       HOOK_PAINT | HOOK_STROKEPATH | HOOK_FILLPATH |
                                       HOOK_STROKEANDFILLPATH | HOOK_COPYBITS | HOOK_TRANSPARENTBLT |
                                       HOOK_ALPHABLEND | HOOK_GRADIENTFILL;
static_assert(kSurfaceHooks == 0x384FF);

// Creation flags of the drawing surface: top-down rows, bits not cleared.
inline constexpr FLONG kSurfaceBitmapFlags = BMF_TOPDOWN | BMF_NOZEROINIT | BMF_USERMEM;
static_assert(kSurfaceBitmapFlags == 0x0B);

// Sets the thread's last error, where the spooler reads why an entry point
// failed. gdi32 offers user-mode drivers no EngSetLastError, so on Windows it
// is the system's own SetLastError; elsewhere the engine keeps it.
inline void setLastError(ULONG error) {
#ifdef _WIN32
    ::SetLastError(error);
#else
    EngSetLastError(error);
#endif
}

// The row stride of a 24-bit surface: rows padded to 4 bytes.
inline constexpr LONG surfaceStride(LONG width) { return (width * 3 + 3) & ~LONG(3); }

}  // namespace tessaly::pagesmith
