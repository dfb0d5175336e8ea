#include "devmode.h"

#include <cstring>
#include <utility>

#include "platform/winddi.h"

namespace tessaly::pagesmith {

// The micrometre values are the table's own, odd ones included.
const PaperSize kPaperTable[kPaperCount] = {
    {"10 x 11 inch", 254000, 279400, true, 45},
    {"10 x 14 inch", 254000, 355599, true, 16},
    {"15 x 11 inch", 279400, 381000, true, 46},
    {"9 x 11 inch", 228600, 279400, true, 44},
    {"A3 297 x 420 mm", 297000, 420000, false, 8},
    {"A4 210 x 297 mm", 210000, 297000, false, 9},
    {"A5 148 x 210 mm", 148000, 210000, false, 11},
    {"B4 250 x 354 mm", 250000, 354000, false, 12},
    {"B5 182 x 257 mm", 182000, 257000, false, 13},
    {"Executive 7.25 x 10.5 inch", 184149, 266700, true, 7},
    {"Folio 8.5 x 13 inch", 215899, 330200, true, 14},
    {"German Legal Fanfold 8.5 x 13 inch", 215899, 330200, true, 41},
    {"German Std Fanfold 8.5 x 12 inch", 215899, 304799, true, 40},
    {"Japanese Postcard 100 x 148 mm", 100000, 148000, false, 43},
    {"Legal 8.5 x 14 inch", 215899, 355599, true, 5},
    {"Letter 8.5 x 11 inch", 215899, 279400, true, 1},
    {"Quarto 215 x 275 mm", 215000, 275000, false, 15},
    {"Tabloid 11 x 17 inch", 279400, 431799, true, 3},
    {"US Std Fanfold 14.875 x 11 inch", 279400, 377825, true, 39},
};

namespace {

constexpr int kCustomPaper = 0;
constexpr int kCustomPaperUser = 257;

bool isCustomCode(int code) { return code == kCustomPaper || code == kCustomPaperUser; }

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
    const double pixels = double(micrometres) * 0.001 * 0.03937007874015748 * double(resolution);
    // A surface row of 3 bytes per pixel must stay within a LONG stride.
    if (!(pixels >= 1.0) || pixels > double((INT32_MAX - 3) / 3)) return 0;
    return int32_t(pixels);
}

}  // namespace tessaly::pagesmith
