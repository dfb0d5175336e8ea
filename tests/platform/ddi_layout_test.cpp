// The layouts of the driver interface that the driver's checks and the
// spooler's device modes depend on: sizes and offsets as 64-bit Windows lays
// them out, so that a device mode or GDIINFO filled here means the same on
// both systems.

#include <gtest/gtest.h>

#include <cstddef>

#include "platform/winddi.h"

namespace {

// The public device mode: 220 bytes; the driver's private data follows at dmSize.
static_assert(sizeof(DEVMODEW) == 220);
static_assert(offsetof(DEVMODEW, dmSpecVersion) == 64);
static_assert(offsetof(DEVMODEW, dmSize) == 68);
static_assert(offsetof(DEVMODEW, dmDriverExtra) == 70);
static_assert(offsetof(DEVMODEW, dmFields) == 72);
static_assert(offsetof(DEVMODEW, dmOrientation) == 76);
static_assert(offsetof(DEVMODEW, dmPaperSize) == 78);
static_assert(offsetof(DEVMODEW, dmPaperLength) == 80);
static_assert(offsetof(DEVMODEW, dmPaperWidth) == 82);
static_assert(offsetof(DEVMODEW, dmPrintQuality) == 90);
static_assert(offsetof(DEVMODEW, dmYResolution) == 96);
static_assert(offsetof(DEVMODEW, dmFormName) == 102);
static_assert(offsetof(DEVMODEW, dmLogPixels) == 166);
static_assert(offsetof(DEVMODEW, dmPanningHeight) == 216);

// GDIINFO: the driver refuses buffers below 304 bytes (the 32-bit size).
static_assert(sizeof(GDIINFO) >= 304);
static_assert(offsetof(GDIINFO, ulTechnology) == 4);
static_assert(offsetof(GDIINFO, ulHorzRes) == 16);
static_assert(offsetof(GDIINFO, cBitsPixel) == 24);
static_assert(offsetof(GDIINFO, ulLogPixelsX) == 40);
static_assert(offsetof(GDIINFO, ulAspectXY) == 72);
static_assert(offsetof(GDIINFO, denStyleStep) == 84);
static_assert(offsetof(GDIINFO, ptlPhysOffset) == 88);
static_assert(offsetof(GDIINFO, szlPhysSize) == 96);
static_assert(offsetof(GDIINFO, ciDevice) == 108);
static_assert(offsetof(GDIINFO, ulDevicePelsDPI) == 228);
static_assert(offsetof(GDIINFO, flHTFlags) == 244);
static_assert(offsetof(GDIINFO, flShadeBlend) == 304);

// DEVINFO: refused below 300 bytes (the 32-bit size).
static_assert(sizeof(DEVINFO) >= 300);
static_assert(offsetof(DEVINFO, lfDefaultFont) == 4);
static_assert(sizeof(LOGFONTW) == 92);
static_assert(offsetof(DEVINFO, cFonts) == 280);
static_assert(offsetof(DEVINFO, iDitherFormat) == 284);
static_assert(offsetof(DEVINFO, cxDither) == 288);
static_assert(offsetof(DEVINFO, hpalDefault) == 296);

static_assert(sizeof(DRVFN) == 16);
static_assert(offsetof(DRVENABLEDATA, pdrvfn) == 8);
static_assert(sizeof(POINTFIX) == 8 && sizeof(RECTL) == 16);
static_assert(offsetof(SURFOBJ, sizlBitmap) == 32);
static_assert(offsetof(SURFOBJ, pvScan0) == 56);
static_assert(offsetof(SURFOBJ, lDelta) == 64);
static_assert(offsetof(SURFOBJ, iBitmapFormat) == 72);
static_assert(offsetof(CLIPOBJ, iDComplexity) == 20);
static_assert(offsetof(CLIPOBJ, iMode) == 22);
static_assert(offsetof(LINEATTRS, pstyle) == 24);
static_assert(sizeof(IFIMETRICS) == 192);
static_assert(offsetof(IFIMETRICS, dpwszFaceName) == 16);
static_assert(offsetof(IFIMETRICS, fwdUnitsPerEm) == 56);
static_assert(offsetof(STROBJ, pgp) == 32);
static_assert(offsetof(FONTOBJ, pvConsumer) == 48);
static_assert(sizeof(GLYPHPOS) == 24);

TEST(DriverInterface, ValuesTheDriverDeclaresItself) {
    // The hook set the driver associates with its surface, and its capabilities.
    EXPECT_EQ(HOOK_BITBLT | HOOK_STRETCHBLT | HOOK_PLGBLT | HOOK_TEXTOUT | HOOK_PAINT | HOOK_STROKEPATH |
                  HOOK_FILLPATH | HOOK_STROKEANDFILLPATH | HOOK_COPYBITS | HOOK_TRANSPARENTBLT |
                  HOOK_ALPHABLEND | HOOK_GRADIENTFILL,
              0x384FFu);
    EXPECT_EQ(GCAPS_BEZIERS | GCAPS_GEOMETRICWIDE | GCAPS_ALTERNATEFILL | GCAPS_WINDINGFILL | GCAPS_HALFTONE |
                  GCAPS_GRAY16,
              0x0100001Fu);
    EXPECT_EQ(BMF_TOPDOWN | BMF_NOZEROINIT | BMF_USERMEM, 0x0B);
    EXPECT_EQ(INDEX_DrvTextOut, 23);
    EXPECT_EQ(INDEX_DrvStartBanding, 57);
    EXPECT_EQ(INDEX_DrvAlphaBlend, 71);
    EXPECT_EQ(INDEX_DrvTransparentBlt, 74);
    EXPECT_EQ(HT_PATSIZE_DEFAULT, 17);
    EXPECT_EQ(HT_FORMAT_24BPP, 6);
    EXPECT_EQ(DM_YRESOLUTION, 0x2000);
    EXPECT_EQ(PAL_BGR, 8);
}

}  // namespace
