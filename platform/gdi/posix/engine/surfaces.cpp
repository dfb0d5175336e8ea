// Devices, palettes and surfaces: the handles the driver and the device
// context share, EngCreateBitmap and its relatives, and erasing.

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "deferral.h"
#include "engine_objects.h"
#include "platform/gdi_engine_control.h"
#include "raster.h"
#include "registry.h"

namespace tessaly::gdi {

namespace {

std::mutex controlMutex;
bool limitRead = false;
uint64_t byteLimit = 0;
BitmapRequestObserver observer;

uint64_t currentLimit() {
    std::lock_guard lock(controlMutex);
    if (!limitRead) {
        limitRead = true;
        if (const char* text = std::getenv("TESSALY_GDI_SURFACE_LIMIT")) {
            char* end = nullptr;
            const unsigned long long value = std::strtoull(text, &end, 10);
            if (end != text && *end == '\0') byteLimit = value;
        }
    }
    return byteLimit;
}

bool observe(LONG width, LONG height, ULONG format) {
    BitmapRequestObserver copy;
    {
        std::lock_guard lock(controlMutex);
        copy = observer;
    }
    return !copy || copy(width, height, format);
}

template <class H>
H toHandle(uintptr_t value) {
    return reinterpret_cast<H>(value);
}
template <class H>
uintptr_t fromHandleValue(H handle) {
    return reinterpret_cast<uintptr_t>(handle);
}

pixman_format_code_t pixmanFormat(ULONG format) {
    switch (format) {
        case BMF_16BPP: return PIXMAN_x1r5g5b5;
        case BMF_24BPP: return PIXMAN_r8g8b8;
        case BMF_32BPP: return PIXMAN_x8r8g8b8;
        default: return static_cast<pixman_format_code_t>(0);
    }
}

}  // namespace

void setSurfaceByteLimit(uint64_t bytes) {
    std::lock_guard lock(controlMutex);
    limitRead = true;
    byteLimit = bytes;
}

uint64_t surfaceByteLimit() { return currentLimit(); }

void setBitmapRequestObserver(BitmapRequestObserver callback) {
    std::lock_guard lock(controlMutex);
    observer = std::move(callback);
}

// ---------------------------------------------------------------------------
Device::Device(const DRVENABLEDATA& data) : driverVersion_(data.iDriverVersion) {
    if (data.pdrvfn) {
        for (ULONG i = 0; i < data.c; ++i) {
            const DRVFN& entry = data.pdrvfn[i];
            if (entry.iFunc < kDriverFunctionCount) functions_[entry.iFunc] = entry.pfn;
        }
    }
    handle_ = toHandle<HDEV>(handleTable<Device>().add(this));
}

Device::~Device() { handleTable<Device>().remove(fromHandleValue(handle_)); }

Device* Device::fromHandle(HDEV hdev) {
    return hdev ? handleTable<Device>().find(fromHandleValue(hdev)) : nullptr;
}

// ---------------------------------------------------------------------------
Palette::Palette(ULONG mode, const ULONG* colors, ULONG count, FLONG red, FLONG green, FLONG blue)
    : mode_(mode), masks_{red, green, blue} {
    if (mode == PAL_INDEXED && colors) colors_.assign(colors, colors + count);
    handle_ = toHandle<HPALETTE>(handleTable<Palette>().add(this));
}

Palette::~Palette() { handleTable<Palette>().remove(fromHandleValue(handle_)); }

Palette* Palette::fromHandle(HPALETTE hpal) {
    return hpal ? handleTable<Palette>().find(fromHandleValue(hpal)) : nullptr;
}

namespace {
// Extracts a channel by its mask into 8 bits.
ULONG channel(ULONG value, FLONG mask) {
    if (mask == 0) return 0;
    int shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    const ULONG bits = mask >> shift;
    const ULONG v = (value >> shift) & bits;
    return bits == 0xFF ? v : static_cast<ULONG>((static_cast<uint64_t>(v) * 255 + bits / 2) / bits);
}
ULONG placeChannel(ULONG v8, FLONG mask) {
    if (mask == 0) return 0;
    int shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    const ULONG bits = mask >> shift;
    return ((v8 * bits + 127) / 255) << shift;
}
}  // namespace

ULONG Palette::toColorref(ULONG color) const {
    switch (mode_) {
        case PAL_INDEXED: return color < colors_.size() ? colors_[color] & 0xFFFFFF : 0;
        case PAL_BGR: return swapRedBlue(color);
        case PAL_RGB: return color & 0xFFFFFF;
        case PAL_BITFIELDS:
            return channel(color, masks_[0]) | (channel(color, masks_[1]) << 8) | (channel(color, masks_[2]) << 16);
        default: return color & 0xFFFFFF;
    }
}

ULONG Palette::fromColorref(ULONG colorref) const {
    colorref &= 0xFFFFFF;
    switch (mode_) {
        case PAL_INDEXED: return nearestIndex(colors_, colorref);
        case PAL_BGR: return swapRedBlue(colorref);
        case PAL_RGB: return colorref;
        case PAL_BITFIELDS:
            return placeChannel(colorref & 0xFF, masks_[0]) | placeChannel((colorref >> 8) & 0xFF, masks_[1]) |
                   placeChannel((colorref >> 16) & 0xFF, masks_[2]);
        default: return colorref;
    }
}

// ---------------------------------------------------------------------------
Surface::Surface() : SURFOBJ{} {
    hsurf = toHandle<HSURF>(handleTable<Surface>().add(this));
    liveSet<Surface>().add(static_cast<SURFOBJ*>(this));
}

Surface::~Surface() {
    liveSet<Surface>().remove(static_cast<SURFOBJ*>(this));
    handleTable<Surface>().remove(fromHandleValue(hsurf));
    if (image_) pixman_image_unref(image_);
}

Surface* Surface::fromHandle(HSURF handle) {
    return handle ? handleTable<Surface>().find(fromHandleValue(handle)) : nullptr;
}

Surface* Surface::fromSurfobj(const SURFOBJ* pso) {
    if (!liveSet<Surface>().contains(pso)) return nullptr;
    return static_cast<Surface*>(const_cast<SURFOBJ*>(pso));
}

int Surface::bitsPerPixel() const { return formatBits(iBitmapFormat); }

PFN Surface::hooked(FLONG hookFlag, ULONG index) const {
    if (!(hooks & hookFlag)) return nullptr;
    // Kept drawing is rendered by the engine alone.
    if (deferral && deferral->rendering) return nullptr;
    const Device* owner = device();
    return owner ? owner->function(index) : nullptr;
}

std::unique_ptr<Surface> Surface::createBitmap(SIZEL size, LONG width, ULONG format, FLONG flags, void* bits) {
    const int bpp = formatBits(format);
    if (bpp == 0 || size.cx <= 0 || size.cy <= 0 || size.cx > 0x3FFFFFFF / 32 || size.cy > 0x3FFFFFFF) {
        return nullptr;
    }
    const uint64_t rowBytes = (static_cast<uint64_t>(size.cx) * bpp + 7) / 8;
    uint64_t stride = 0;
    if (bits) {
        stride = width > 0 ? static_cast<uint64_t>(width) : (rowBytes + 3) & ~uint64_t{3};
        if (stride < rowBytes) return nullptr;
    } else {
        stride = (std::max<uint64_t>(rowBytes, width > 0 ? static_cast<uint64_t>(width) : 0) + 3) & ~uint64_t{3};
    }
    const uint64_t total = stride * static_cast<uint64_t>(size.cy);
    if (stride > 0x7FFFFFFF || total > 0x7FFFFFFF) return nullptr;

    std::unique_ptr<Surface> surface(new (std::nothrow) Surface);
    if (!surface) return nullptr;
    if (!bits) {
        surface->owned_.reset(new (std::nothrow) uint8_t[total]);
        if (!surface->owned_) return nullptr;
        if (!(flags & BMF_NOZEROINIT)) std::memset(surface->owned_.get(), 0, total);
        bits = surface->owned_.get();
    }
    surface->sizlBitmap = size;
    surface->cjBits = static_cast<ULONG>(total);
    surface->pvBits = bits;
    surface->iBitmapFormat = format;
    surface->iType = STYPE_BITMAP;
    surface->fjBitmap = static_cast<USHORT>(flags & (BMF_TOPDOWN | BMF_DONTCACHE | BMF_NOTSYSMEM));
    const auto lstride = static_cast<LONG>(stride);
    if (flags & BMF_TOPDOWN) {
        surface->pvScan0 = bits;
        surface->lDelta = lstride;
    } else {
        surface->pvScan0 = static_cast<uint8_t*>(bits) + (total - stride);
        surface->lDelta = -lstride;
    }
    surface->iUniq = 1;
    const pixman_format_code_t pf = pixmanFormat(format);
    if (pf && stride % 4 == 0) {
        surface->image_ = pixman_image_create_bits(pf, size.cx, size.cy, static_cast<uint32_t*>(surface->pvScan0),
                                                   surface->lDelta);
    }
    return surface;
}

HSURF Surface::adopt(std::unique_ptr<Surface> surface) {
    if (!surface) return nullptr;
    return surface.release()->hsurf;
}

}  // namespace tessaly::gdi

using tessaly::gdi::Device;
using tessaly::gdi::Palette;
using tessaly::gdi::Surface;

extern "C" {

WIN32KAPI HBITMAP APIENTRY EngCreateBitmap(SIZEL sizl, LONG lWidth, ULONG iFormat, FLONG fl, PVOID pvBits) {
    if (!tessaly::gdi::observe(sizl.cx, sizl.cy, iFormat)) {
        EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const int bpp = tessaly::gdi::formatBits(iFormat);
    if (bpp == 0 || sizl.cx <= 0 || sizl.cy <= 0) {
        EngSetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!pvBits) {
        const uint64_t limit = tessaly::gdi::currentLimit();
        const uint64_t rowBytes = ((static_cast<uint64_t>(sizl.cx) * bpp + 7) / 8 + 3) & ~uint64_t{3};
        if (limit != 0 && rowBytes * static_cast<uint64_t>(sizl.cy) > limit) {
            EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
    }
    auto surface = Surface::createBitmap(sizl, lWidth, iFormat, fl, pvBits);
    if (!surface) {
        EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return reinterpret_cast<HBITMAP>(Surface::adopt(std::move(surface)));
}

WIN32KAPI SURFOBJ* APIENTRY EngLockSurface(HSURF hsurf) {
    Surface* surface = Surface::fromHandle(hsurf);
    if (!surface) {
        EngSetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // Whoever locks a surface may read its bits.
    tessaly::gdi::renderDeferred(surface);
    return surface;
}

WIN32KAPI VOID APIENTRY EngUnlockSurface(SURFOBJ* /*pso*/) {}

WIN32KAPI WINBOOL APIENTRY EngAssociateSurface(HSURF hsurf, HDEV hdev, FLONG flHooks) {
    Surface* surface = Surface::fromHandle(hsurf);
    Device* device = Device::fromHandle(hdev);
    if (!surface || !device) {
        EngSetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    surface->hdev = hdev;
    surface->dhpdev = device->dhpdev;
    surface->hooks = flHooks;
    return TRUE;
}

WIN32KAPI WINBOOL APIENTRY EngMarkBandingSurface(HSURF hsurf) {
    Surface* surface = Surface::fromHandle(hsurf);
    if (!surface) {
        EngSetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    surface->banding = true;
    return TRUE;
}

WIN32KAPI WINBOOL APIENTRY EngDeleteSurface(HSURF hsurf) {
    Surface* surface = Surface::fromHandle(hsurf);
    if (!surface) {
        EngSetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete surface;
    return TRUE;
}

WIN32KAPI WINBOOL APIENTRY EngEraseSurface(SURFOBJ* pso, RECTL* prcl, ULONG iColor) {
    tessaly::gdi::PixelView view;
    if (!view.open(pso)) {
        EngSetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    RECTL area{0, 0, view.width, view.height};
    if (prcl) area = tessaly::gdi::intersectRect(area, tessaly::gdi::normalizeRect(*prcl));
    if (area.left >= area.right || area.top >= area.bottom) return TRUE;
    if (tessaly::gdi::deferErase(pso, area, iColor)) return TRUE;
    view.fillRect(area, iColor);
    return TRUE;
}

WIN32KAPI HPALETTE APIENTRY EngCreatePalette(ULONG iMode, ULONG cColors, ULONG* pulColors, FLONG flRed,
                                             FLONG flGreen, FLONG flBlue) {
    if (iMode != PAL_INDEXED && iMode != PAL_BITFIELDS && iMode != PAL_RGB && iMode != PAL_BGR &&
        iMode != PAL_CMYK) {
        EngSetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (iMode == PAL_INDEXED && ((cColors && !pulColors) || cColors > 65536)) {
        EngSetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* palette = new (std::nothrow) Palette(iMode, pulColors, cColors, flRed, flGreen, flBlue);
    if (!palette) {
        EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return palette->handle();
}

WIN32KAPI WINBOOL APIENTRY EngDeletePalette(HPALETTE hpal) {
    Palette* palette = Palette::fromHandle(hpal);
    if (!palette) {
        EngSetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete palette;
    return TRUE;
}

}  // extern "C"
