#pragma once
// A minimal printer driver for tests, in the test program itself: it hooks
// no drawing call, so the device context renders everything with the
// engine's own functions, and it keeps each finished page. What it captures
// is what the graphics layer rendered, independent of the real driver.

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/device_context.h"
#include "platform/winddi.h"

namespace tessaly::testing {

struct CapturedPage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // red, green, blue; rows of width * 3 bytes
};

// The page the next device has, in pixels, and its resolution.
void setCapturePage(int width, int height, int dpi);
// The driver's entry table (DrvEnableDriver's result).
const DRVENABLEDATA& captureDriver();
// Pages finished since the last call (the list is emptied).
std::vector<CapturedPage> takeCapturedPages();
// Prints one document through this driver at 72 dpi on pages of width x
// height pixels: `draw` plays its pages between the document's start and end.
// Returns the pages captured (none, with a test failure, when the device
// cannot be opened).
std::vector<CapturedPage> captureDocument(
    int width, int height, const std::function<void(gdi::PrinterDevice&, gdi::DeviceContext&)>& draw);

}  // namespace tessaly::testing
