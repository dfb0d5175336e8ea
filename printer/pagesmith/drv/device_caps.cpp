#include "device_caps.h"

namespace tessaly::pagesmith {

GDIINFO makeGdiInfo(const DriverDevice& device) {
    GDIINFO info{};
    info.ulVersion = GDI_DRIVER_VERSION;
    info.ulTechnology = DT_RASPRINTER;
    info.ulHorzSize = device.width / 1000;
    info.ulVertSize = device.height / 1000;
    info.ulHorzRes = ULONG(device.pageWidth);
    info.ulVertRes = ULONG(device.pageHeight);
    info.cBitsPixel = 24;
    info.cPlanes = 1;
    info.ulNumColors = 0x10000;
    info.flRaster = 0;
    info.ulLogPixelsX = device.resolution;
    info.ulLogPixelsY = device.resolution;
    info.ulAspectX = 1000;
    info.ulAspectY = 1000;
    info.ulAspectXY = 1414;
    info.xStyleStep = 1;
    info.yStyleStep = 1;
    info.denStyleStep = 3;
    info.ptlPhysOffset = {0, 0};
    info.szlPhysSize = {device.pageWidth, device.pageHeight};
    info.ulDevicePelsDPI = device.resolution;
    info.ulPrimaryOrder = PRIMARY_ORDER_ABC;
    info.ulHTPatternSize = HT_PATSIZE_DEFAULT;
    info.ulHTOutputFormat = HT_FORMAT_24BPP;
    info.flHTFlags = HT_FLAG_HAS_BLACK_DYE;
    return info;
}

DEVINFO makeDevInfo(const DriverDevice& device) {
    DEVINFO info{};
    info.flGraphicsCaps = kGraphicsCaps;
    info.iDitherFormat = BMF_24BPP;
    info.cxDither = 0;
    info.cyDither = 0;
    info.hpalDefault = device.palette;
    return info;
}

}  // namespace tessaly::pagesmith
