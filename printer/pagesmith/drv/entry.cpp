// The driver's exports and the table of the DDI functions it hooks, and the
// PDEV's life: creation from the device mode, completion, reset and removal.

#include <algorithm>
#include <cstring>
#include <new>

#include "device.h"
#include "device_caps.h"
#include "devmode.h"
#include "hooks.h"
#include "job_writer.h"
#include "platform/measurement.h"
#include "platform/registry.h"

namespace tessaly::pagesmith {

namespace {

// A function pointer passes through void (*)(), which stands for any function type.
#define PAGESMITH_HOOK(name) {INDEX_##name, reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(&name))}

const DRVFN kHookTable[] = {
    PAGESMITH_HOOK(DrvEnablePDEV),     PAGESMITH_HOOK(DrvCompletePDEV),
    PAGESMITH_HOOK(DrvResetPDEV),      PAGESMITH_HOOK(DrvDisablePDEV),
    PAGESMITH_HOOK(DrvEnableSurface),  PAGESMITH_HOOK(DrvDisableSurface),
    PAGESMITH_HOOK(DrvStartDoc),       PAGESMITH_HOOK(DrvEndDoc),
    PAGESMITH_HOOK(DrvStartPage),      PAGESMITH_HOOK(DrvSendPage),
    PAGESMITH_HOOK(DrvStartBanding),   PAGESMITH_HOOK(DrvNextBand),
    PAGESMITH_HOOK(DrvBitBlt),         PAGESMITH_HOOK(DrvStretchBlt),
    PAGESMITH_HOOK(DrvPlgBlt),         PAGESMITH_HOOK(DrvCopyBits),
    PAGESMITH_HOOK(DrvPaint),          PAGESMITH_HOOK(DrvAlphaBlend),
    PAGESMITH_HOOK(DrvGradientFill),   PAGESMITH_HOOK(DrvTransparentBlt),
    PAGESMITH_HOOK(DrvStrokePath),     PAGESMITH_HOOK(DrvFillPath),
    PAGESMITH_HOOK(DrvStrokeAndFillPath), PAGESMITH_HOOK(DrvTextOut),
};
static_assert(sizeof kHookTable / sizeof kHookTable[0] == kHookCount);

#undef PAGESMITH_HOOK

// The size index of a custom size, from the printer's stored choice and the
// user's measurement system.
int32_t storedCustomSizeIndex() {
    uint32_t stored = 0;
    const bool have = registryReadDword("SizeIndex", &stored) == kRegistryOk;
    return customSizeIndex(have, stored, have ? false : userMeasuresInMetric());
}

}  // namespace

const DRVFN* hookTable() { return kHookTable; }

}  // namespace tessaly::pagesmith

using namespace tessaly;
using namespace tessaly::pagesmith;

extern "C" {

WINBOOL APIENTRY DrvQueryDriverInfo(DWORD dwMode, PVOID pBuffer, DWORD cbBuf, PDWORD pcbNeeded) {
    if (dwMode != DRVQUERY_USERMODE) {
        setLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (pcbNeeded) *pcbNeeded = sizeof(DWORD);
    if (!pBuffer || cbBuf < sizeof(DWORD)) {
        setLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    const DWORD userMode = 1;
    std::memcpy(pBuffer, &userMode, sizeof userMode);
    return TRUE;
}

WINBOOL APIENTRY DrvEnableDriver(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA* pded) {
    if (iEngineVersion < DDI_DRIVER_VERSION_NT4) {
        setLastError(ERROR_BAD_DRIVER_LEVEL);
        return FALSE;
    }
    if (cj < 12 || !pded) {
        setLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    pded->iDriverVersion = DDI_DRIVER_VERSION_NT4;
    pded->c = kHookCount;
    pded->pdrvfn = const_cast<DRVFN*>(hookTable());
    return TRUE;
}

VOID APIENTRY DrvDisableDriver(VOID) {}

// GDI calls this entry through the interface's PFN_DrvEnablePDEV, which
// spells the capabilities buffer GDIINFO* where the prototype has ULONG*:
// the same pointer to the machine, but not to clang's function-type check,
// which the definition therefore leaves out.
#if defined(__clang__)
__attribute__((no_sanitize("function")))
#endif
DHPDEV APIENTRY DrvEnablePDEV(DEVMODEW* pdm, LPWSTR /*pwszLogAddress*/, ULONG /*cPat*/,
                              HSURF* /*phsurfPatterns*/, ULONG cjCaps, ULONG* pdevcaps, ULONG cjDevInfo,
                              DEVINFO* pdi, HDEV /*hdev*/, LPWSTR /*pwszDeviceName*/, HANDLE hDriver) {
    if (cjCaps < kMinGdiInfoBytes || cjDevInfo < kMinDevInfoBytes || !pdevcaps || !pdi ||
        !devmodeAcceptable(reinterpret_cast<const uint8_t*>(pdm))) {
        setLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* privateBytes = reinterpret_cast<uint8_t*>(pdm) + pdm->dmSize;
    PrivateDevmode part;
    std::memcpy(&part, privateBytes, sizeof part);
    if (pdm->dmSize == kPublicDevmodeSize) {
        resolveDevmode(requestsOf(*pdm), part, storedCustomSizeIndex);
        std::memcpy(privateBytes, &part, sizeof part);
    }

    auto* device = new (std::nothrow) DriverDevice;
    if (!device) {
        setLastError(ERROR_OUTOFMEMORY);
        return nullptr;
    }
    seedDevice(*device);
    (void)readInstallPaths(&device->basePath, &device->spoolDirectory);
    {
        // The registry's settings stand until the device mode's replace them.
        JobSettings settings;
        settings.setBaseDirectory(device->basePath);
        (void)settings.reset();
        device->settings = settings.block();
    }
    device->driverHandle = hDriver;
    device->palette = EngCreatePalette(PAL_BGR, 0, nullptr, 0, 0, 0);

    device->resolution = part.resolution;
    device->width = part.width;
    device->height = part.height;
    device->settings = part.settings;
    applyCaptureModes(*device);
    device->pageWidth = pagePixels(device->width, device->resolution);
    device->pageHeight = pagePixels(device->height, device->resolution);
    if (!device->palette || device->pageWidth <= 0 || device->pageHeight <= 0) {
        // No palette, or a page no surface can hold.
        const bool noPalette = !device->palette;
        if (device->palette) EngDeletePalette(device->palette);
        delete device;
        setLastError(noPalette ? ERROR_OUTOFMEMORY : ERROR_INVALID_PARAMETER);
        return nullptr;
    }

    const GDIINFO gdiInfo = makeGdiInfo(*device);
    std::memcpy(pdevcaps, &gdiInfo, std::min<size_t>(cjCaps, sizeof gdiInfo));
    const DEVINFO devInfo = makeDevInfo(*device);
    std::memcpy(pdi, &devInfo, std::min<size_t>(cjDevInfo, sizeof devInfo));
    return reinterpret_cast<DHPDEV>(device);
}

VOID APIENTRY DrvCompletePDEV(DHPDEV dhpdev, HDEV hdev) {
    if (auto* device = reinterpret_cast<DriverDevice*>(dhpdev)) device->engineDevice = hdev;
}

WINBOOL APIENTRY DrvResetPDEV(DHPDEV dhpdevOld, DHPDEV dhpdevNew) {
    auto* from = reinterpret_cast<DriverDevice*>(dhpdevOld);
    auto* to = reinterpret_cast<DriverDevice*>(dhpdevNew);
    if (from && to && from != to) handOverJob(*from, *to);
    return TRUE;
}

VOID APIENTRY DrvDisablePDEV(DHPDEV dhpdev) {
    auto* device = reinterpret_cast<DriverDevice*>(dhpdev);
    if (!device) return;
    if (device->palette) EngDeletePalette(device->palette);
    releaseJob(*device);
    delete device;
}

}  // extern "C"
