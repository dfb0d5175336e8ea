// Arbitrary bytes as a printer's device mode: the driver's checks, the
// resolution of the public requests into the private part and the page
// size in pixels. The private part is found at dmSize, as the spooler
// lays it out, so the buffer always reaches that far.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "devmode.h"
#include "platform/winddi.h"

using namespace tessaly::pagesmith;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Room for the largest dmSize and the private part behind it.
    std::vector<uint8_t> buffer(0x10000 + kPrivateDevmodeSize, 0);
    std::memcpy(buffer.data(), data, size < buffer.size() ? size : buffer.size());
    if (!devmodeAcceptable(buffer.data())) return 0;

    DEVMODEW devmode;
    std::memcpy(&devmode, buffer.data(), sizeof devmode);
    PrivateDevmode part;
    std::memcpy(&part, buffer.data() + devmode.dmSize, sizeof part);
    if (devmode.dmSize == kPublicDevmodeSize) {
        const DevmodeRequests requests = requestsOf(devmode);
        const uint32_t stored = part.unused1;
        resolveDevmode(requests, part, [&] { return customSizeIndex(stored & 1, stored >> 1, stored & 2); });
        // A table paper keeps the table's sides, in either orientation.
        const int row = findPaperCode(requests.paperSize);
        if ((requests.fields & DM_PAPERSIZE) && row >= 0) {
            const PaperSize& paper = kPaperTable[row];
            const bool same = part.width == paper.width && part.height == paper.height;
            const bool turned = part.width == paper.height && part.height == paper.width;
            if (!(same || turned) && !(requests.fields & (DM_PAPERWIDTH | DM_PAPERLENGTH))) __builtin_trap();
        }
    }
    const int32_t width = pagePixels(part.width, part.resolution);
    const int32_t height = pagePixels(part.height, part.resolution);
    if (width < 0 || height < 0 || width > (INT32_MAX - 3) / 3) __builtin_trap();
    return 0;
}
