#include "devmode.h"

#include <cstring>
#include <utility>

#include "platform/winddi.h"

namespace tessaly::pagesmith {

namespace {

bool isCustomCode(int code) { return code == kPaperCodeCustom || code == kPaperCodeUser; }

// Portrait keeps the height at least the width; landscape makes the width the
// larger side.
void orient(int16_t orientation, uint32_t& width, uint32_t& height) {
    if (orientation == DMORIENT_PORTRAIT) {
        if (height < width) std::swap(width, height);
    } else if (width < height) {
        std::swap(width, height);
    }
}

void resolveCustomSize(const DevmodeRequests& requests, PrivateDevmode& part,
                       const std::function<int32_t()>& customIndex) {
    if (requests.fields & DM_ORIENTATION) {
        orient(requests.orientation, part.customWidth, part.customHeight);
    }
    part.width = part.customWidth;
    part.height = part.customHeight;
    part.sizeIndex = customIndex ? customIndex() : -(kPaperLetter + 1);
}

}  // namespace

DevmodeRequests requestsOf(const DEVMODEW& devmode) {
    DevmodeRequests requests;
    requests.fields = devmode.dmFields;
    requests.orientation = devmode.dmOrientation;
    requests.paperSize = devmode.dmPaperSize;
    requests.paperLength = devmode.dmPaperLength;
    requests.paperWidth = devmode.dmPaperWidth;
    requests.printQuality = devmode.dmPrintQuality;
    requests.yResolution = devmode.dmYResolution;
    return requests;
}

int findPaperCode(int code) {
    if (isCustomCode(code)) return -1;
    for (size_t i = 0; i < kPaperCount; ++i) {
        if (kPaperTable[i].code == code) return int(i);
    }
    return -1;
}

int32_t customSizeIndex(bool haveStored, uint32_t stored, bool metric) {
    if (!haveStored) return metric ? -(kPaperA4 + 1) : -(kPaperLetter + 1);
    const auto s = int32_t(stored);
    if (s < 0) return s;
    return -1 - s;  // the largest row number too has its negative form
}

void resolveDevmode(const DevmodeRequests& requests, PrivateDevmode& part,
                    const std::function<int32_t()>& customIndex) {
    const uint32_t fields = requests.fields;
    if (fields & DM_ORIENTATION) orient(requests.orientation, part.width, part.height);
    if ((fields & DM_PRINTQUALITY) && requests.printQuality > 0) {
        part.resolution = uint32_t(requests.printQuality);
    }
    if ((fields & DM_YRESOLUTION) && requests.yResolution > 0) {
        part.resolution = uint32_t(requests.yResolution);
    }
    const bool custom = isCustomCode(requests.paperSize);
    if (fields & DM_PAPERSIZE) {
        if (!custom) {
            const int row = findPaperCode(requests.paperSize);
            if (row >= 0) {
                part.sizeIndex = row;
                part.width = kPaperTable[row].width;
                part.height = kPaperTable[row].height;
                if (fields & DM_ORIENTATION) orient(requests.orientation, part.width, part.height);
            }
        } else {
            resolveCustomSize(requests, part, customIndex);
        }
    }
    if ((fields & (DM_PAPERLENGTH | DM_PAPERWIDTH)) && custom) {
        // Tenths of a millimetre; a length that is not positive names no paper
        // and leaves the custom size as it was.
        if (requests.paperWidth > 0) part.customWidth = uint32_t(requests.paperWidth) * 100;
        if (requests.paperLength > 0) part.customHeight = uint32_t(requests.paperLength) * 100;
        resolveCustomSize(requests, part, customIndex);
    }
}

bool devmodeAcceptable(const uint8_t* devmode) {
    if (!devmode) return false;
    DEVMODEW head;
    std::memcpy(&head, devmode, offsetof(DEVMODEW, dmFields));
    if (head.dmDriverExtra != kPrivateDevmodeSize) return false;
    uint32_t signature;
    std::memcpy(&signature, devmode + head.dmSize, sizeof signature);
    return signature == kPrivateSignature;
}

int32_t pagePixels(uint32_t micrometres, uint32_t resolution) {
    // Whole pixels of the paper, truncated, in exact integer arithmetic
    // (25,400 micrometres an inch). The paper table keeps some sizes a
    // micrometre short of their inches (Letter is 215,899), so a size within
    // a tenth of a pixel of a whole count takes that count: Letter at 300 dpi
    // is 2550 pixels wide, not 2549.
    const uint64_t pixels = (uint64_t(micrometres) * resolution + 2540) / 25400;
    // A surface row of 3 bytes per pixel must stay within a LONG stride.
    if (pixels < 1 || pixels > uint64_t((INT32_MAX - 3) / 3)) return 0;
    return int32_t(pixels);
}

}  // namespace tessaly::pagesmith
