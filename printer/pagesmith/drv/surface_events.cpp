// The drawing surface (one page, or one band of it when memory is short)
// and the document, page and band events, with what each asks of the job
// writer.

#include <algorithm>
#include <string>

#include "device.h"
#include "hooks.h"
#include "job_writer.h"

using namespace tessaly;
using namespace tessaly::pagesmith;

namespace {

constexpr ULONG kWhite = 0xFFFFFF;

// The device of an event's surface; without one the event fails.
DriverDevice* eventDevice(SURFOBJ* pso) {
    DriverDevice* device = deviceOf(pso);
    if (!device) setLastError(ERROR_INVALID_HANDLE);
    return device;
}

void eraseSurface(DriverDevice& device, SURFOBJ* pso) {
    RECTL all{0, 0, pso->sizlBitmap.cx, pso->sizlBitmap.cy};
    NestingFrame frame(&device);
    (void)EngEraseSurface(pso, &all, kWhite);
}

// The surface's bits for a page raster: read through a lock, so that an
// engine that has not finished drawing on the surface finishes it first.
const uint8_t* rasterRows(const DriverDevice& device, SURFOBJ* pso) {
    if (!device.rasterCapture) return nullptr;
    if (SURFOBJ* locked = EngLockSurface(pso->hsurf)) EngUnlockSurface(locked);
    return static_cast<const uint8_t*>(pso->pvScan0);
}

void setOrigin(POINTL* origin, LONG x, LONG y) {
    if (origin) *origin = {x, y};
}

}  // namespace

extern "C" {

HSURF APIENTRY DrvEnableSurface(DHPDEV dhpdev) {
    auto* device = reinterpret_cast<DriverDevice*>(dhpdev);
    if (!device) {
        setLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    const LONG width = device->pageWidth;
    LONG rows = device->pageHeight;
    HBITMAP bitmap = nullptr;
    // A page that does not fit in memory is drawn in bands: each try asks
    // for half the rows of the last, down to a single row.
    while (rows >= 1) {
        bitmap = EngCreateBitmap(SIZEL{width, rows}, surfaceStride(width), BMF_24BPP,
                                 kSurfaceBitmapFlags, nullptr);
        if (bitmap || rows == 1) break;
        rows = (rows + 1) / 2;
    }
    if (!bitmap) {
        setLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto surface = reinterpret_cast<HSURF>(bitmap);
    device->banding = rows < device->pageHeight;
    device->bandWidth = device->banding ? width : 0;
    device->bandHeight = device->banding ? rows : 0;
    device->bandX = device->bandY = 0;
    if ((device->banding && !EngMarkBandingSurface(surface)) ||
        !EngAssociateSurface(surface, device->engineDevice, kSurfaceHooks)) {
        EngDeleteSurface(surface);
        device->banding = false;
        setLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    device->surface = surface;
    return surface;
}

VOID APIENTRY DrvDisableSurface(DHPDEV dhpdev) {
    auto* device = reinterpret_cast<DriverDevice*>(dhpdev);
    if (!device || !device->surface) return;
    EngDeleteSurface(device->surface);
    device->surface = nullptr;
}

WINBOOL APIENTRY DrvStartDoc(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId) {
    DriverDevice* device = eventDevice(pso);
    if (!device) return FALSE;
    if (pwszDocName) {
        device->documentName = std::u16string(reinterpret_cast<const char16_t*>(pwszDocName));
        if (dwJobId != DWORD(-1)) device->jobId = int32_t(dwJobId);
    }
    return TRUE;
}

WINBOOL APIENTRY DrvStartPage(SURFOBJ* pso) {
    DriverDevice* device = eventDevice(pso);
    if (!device) return FALSE;
    if (device->banding) return TRUE;
    const bool begun = beginDocumentElement(*device) && beginFrame(*device);
    eraseSurface(*device, pso);
    return begun ? TRUE : FALSE;
}

WINBOOL APIENTRY DrvSendPage(SURFOBJ* pso) {
    DriverDevice* device = eventDevice(pso);
    if (!device) return FALSE;
    if (device->banding) return TRUE;
    const uint8_t* rows = rasterRows(*device, pso);
    return endFrame(*device, rows, pso->lDelta) ? TRUE : FALSE;
}

WINBOOL APIENTRY DrvStartBanding(SURFOBJ* pso, POINTL* pptl) {
    DriverDevice* device = eventDevice(pso);
    if (!device) return FALSE;
    if (!device->banding) return TRUE;
    device->bandX = device->bandY = 0;
    device->bandCount = 0;
    const bool begun = beginDocumentElement(*device) && beginBandFrame(*device);
    eraseSurface(*device, pso);
    if (!begun) {
        setOrigin(pptl, -1, -1);
        return FALSE;
    }
    setOrigin(pptl, 0, 0);
    return TRUE;
}

WINBOOL APIENTRY DrvNextBand(SURFOBJ* pso, POINTL* pptl) {
    DriverDevice* device = eventDevice(pso);
    if (!device) return FALSE;
    if (!device->banding || !device->jobOpen()) {
        setOrigin(pptl, -1, -1);
        return FALSE;
    }
    const int32_t rows = std::min(device->bandHeight, device->pageHeight - device->bandY);
    const uint8_t* rowData = rasterRows(*device, pso);
    bool continues = false;
    if (!addBand(*device, rowData, pso->lDelta, rows, &continues)) {
        setOrigin(pptl, -1, -1);
        return FALSE;
    }
    ++device->bandCount;
    if (!continues) {
        setOrigin(pptl, -1, -1);
        return TRUE;
    }
    device->bandY += rows;
    eraseSurface(*device, pso);
    setOrigin(pptl, 0, device->bandY);
    return TRUE;
}

WINBOOL APIENTRY DrvEndDoc(SURFOBJ* pso, FLONG /*fl*/) {
    DriverDevice* device = eventDevice(pso);
    if (!device) return FALSE;
    // An aborted document is finished like any other.
    if (device->jobOpen()) endDocument(*device);
    return TRUE;
}

}  // extern "C"
