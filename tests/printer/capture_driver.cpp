#include "capture_driver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/spool_devmode.h"

namespace tessaly::testing {

namespace {

struct CaptureState {
    int width = 0;
    int height = 0;
    int dpi = 0;
    HDEV hdev = nullptr;
    HPALETTE palette = nullptr;
    HSURF surface = nullptr;
    std::vector<CapturedPage> pages;
};

CaptureState& state() {
    static CaptureState s;
    return s;
}

DHPDEV APIENTRY enablePDEV(DEVMODEW*, LPWSTR, ULONG, HSURF*, ULONG cjCaps, GDIINFO* gdi, ULONG cjDevInfo,
                           DEVINFO* info, HDEV, LPWSTR, HANDLE) {
    CaptureState& s = state();
    if (cjCaps < sizeof(GDIINFO) || cjDevInfo < sizeof(DEVINFO)) return nullptr;
    std::memset(gdi, 0, sizeof(GDIINFO));
    gdi->ulVersion = 0x4000;
    gdi->ulTechnology = DT_RASPRINTER;
    gdi->ulHorzSize = static_cast<ULONG>(s.width * 254 / (s.dpi * 10));
    gdi->ulVertSize = static_cast<ULONG>(s.height * 254 / (s.dpi * 10));
    gdi->ulHorzRes = static_cast<ULONG>(s.width);
    gdi->ulVertRes = static_cast<ULONG>(s.height);
    gdi->cBitsPixel = 24;
    gdi->cPlanes = 1;
    gdi->ulNumColors = 0x10000;
    gdi->ulLogPixelsX = static_cast<ULONG>(s.dpi);
    gdi->ulLogPixelsY = static_cast<ULONG>(s.dpi);
    gdi->ulAspectX = 1000;
    gdi->ulAspectY = 1000;
    gdi->ulAspectXY = 1414;
    gdi->xStyleStep = 1;
    gdi->yStyleStep = 1;
    gdi->denStyleStep = 3;
    gdi->szlPhysSize = {s.width, s.height};
    gdi->ulDevicePelsDPI = static_cast<ULONG>(s.dpi);
    gdi->ulHTPatternSize = 17;
    gdi->ulHTOutputFormat = 6;
    gdi->flHTFlags = 2;
    std::memset(info, 0, sizeof(DEVINFO));
    info->flGraphicsCaps = 0x0100001F;
    info->iDitherFormat = BMF_24BPP;
    s.palette = EngCreatePalette(PAL_BGR, 0, nullptr, 0, 0, 0);
    info->hpalDefault = s.palette;
    return reinterpret_cast<DHPDEV>(&s);
}

VOID APIENTRY completePDEV(DHPDEV, HDEV hdev) { state().hdev = hdev; }

VOID APIENTRY disablePDEV(DHPDEV) {
    CaptureState& s = state();
    if (s.palette) EngDeletePalette(s.palette);
    s.palette = nullptr;
}

HSURF APIENTRY enableSurface(DHPDEV) {
    CaptureState& s = state();
    const SIZEL size{s.width, s.height};
    HBITMAP bitmap = EngCreateBitmap(size, (s.width * 3 + 3) & ~3, BMF_24BPP, BMF_TOPDOWN, nullptr);
    if (!bitmap) return nullptr;
    s.surface = reinterpret_cast<HSURF>(bitmap);
    if (!EngAssociateSurface(s.surface, s.hdev, 0)) {
        EngDeleteSurface(s.surface);
        s.surface = nullptr;
    }
    return s.surface;
}

VOID APIENTRY disableSurface(DHPDEV) {
    CaptureState& s = state();
    if (s.surface) EngDeleteSurface(s.surface);
    s.surface = nullptr;
}

WINBOOL APIENTRY startDoc(SURFOBJ*, LPWSTR, DWORD) { return TRUE; }
WINBOOL APIENTRY endDoc(SURFOBJ*, FLONG) { return TRUE; }

WINBOOL APIENTRY startPage(SURFOBJ* surface) {
    RECTL all{0, 0, surface->sizlBitmap.cx, surface->sizlBitmap.cy};
    return EngEraseSurface(surface, &all, 0xFFFFFF);
}

WINBOOL APIENTRY sendPage(SURFOBJ* surface) {
    // The bits are read through a lock, as the engine may still hold drawing
    // back.
    if (SURFOBJ* locked = EngLockSurface(surface->hsurf)) EngUnlockSurface(locked);
    CapturedPage page;
    page.width = surface->sizlBitmap.cx;
    page.height = surface->sizlBitmap.cy;
    page.rgb.resize(static_cast<size_t>(page.width) * static_cast<size_t>(page.height) * 3);
    for (int y = 0; y < page.height; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(surface->pvScan0) + static_cast<ptrdiff_t>(y) * surface->lDelta;
        uint8_t* out = page.rgb.data() + static_cast<size_t>(y) * static_cast<size_t>(page.width) * 3;
        for (int x = 0; x < page.width; ++x) {
            out[3 * x] = row[3 * x + 2];
            out[3 * x + 1] = row[3 * x + 1];
            out[3 * x + 2] = row[3 * x];
        }
    }
    state().pages.push_back(std::move(page));
    return TRUE;
}

// Entry points are stored as the table's generic function type (through
// void (*)(), which converts to and from every function type).
template <typename F>
PFN entry(F f) {
    return reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(f));
}

}  // namespace

void setCapturePage(int width, int height, int dpi) {
    CaptureState& s = state();
    s.width = width;
    s.height = height;
    s.dpi = dpi;
}

const DRVENABLEDATA& captureDriver() {
    static DRVFN functions[] = {
        {INDEX_DrvEnablePDEV, entry(&enablePDEV)},       {INDEX_DrvCompletePDEV, entry(&completePDEV)},
        {INDEX_DrvDisablePDEV, entry(&disablePDEV)},     {INDEX_DrvEnableSurface, entry(&enableSurface)},
        {INDEX_DrvDisableSurface, entry(&disableSurface)}, {INDEX_DrvStartDoc, entry(&startDoc)},
        {INDEX_DrvEndDoc, entry(&endDoc)},               {INDEX_DrvStartPage, entry(&startPage)},
        {INDEX_DrvSendPage, entry(&sendPage)},
    };
    static const DRVENABLEDATA data{0x20000, sizeof(functions) / sizeof(functions[0]), functions};
    return data;
}

std::vector<CapturedPage> takeCapturedPages() {
    std::vector<CapturedPage> pages;
    pages.swap(state().pages);
    return pages;
}

std::vector<CapturedPage> captureDocument(
    int width, int height, const std::function<void(gdi::PrinterDevice&, gdi::DeviceContext&)>& draw) {
    setCapturePage(width, height, 72);
    PrinterDevMode mode;
    std::string error;
    EXPECT_EQ(buildDevMode({}, nullptr, {}, &mode, &error), 1) << error;
    auto device = gdi::PrinterDevice::open(captureDriver(), mode.devmode(), u"capture", &error);
    if (!device) {
        ADD_FAILURE() << error;
        return {};
    }
    {
        gdi::DeviceContext dc(*device);
        EXPECT_TRUE(dc.startDoc(u"capture", 1));
        draw(*device, dc);
        EXPECT_TRUE(dc.endDoc());
    }
    device.reset();
    return takeCapturedPages();
}

}  // namespace tessaly::testing
