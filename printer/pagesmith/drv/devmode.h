#pragma once
// The printer's device mode: the private part the driver keeps behind the
// public fields, the paper table, and the resolution of the public requests
// (orientation, paper, resolution) into the private part. Everything here
// works on plain values, so tests and the fuzz target reach it directly.

#include <cstddef>
#include <cstdint>
#include <functional>

#include "composer/settings.h"

namespace tessaly::pagesmith {

inline constexpr uint32_t kPrivateSignature = 0x12873465;
inline constexpr uint16_t kPrivateDevmodeSize = 2660;
// The size of the public part; only a device mode of exactly this size has
// its requests resolved.
inline constexpr uint16_t kPublicDevmodeSize = 220;

// The driver's data behind the public part (little-endian).
struct PrivateDevmode {
    uint32_t signature;
    uint32_t unused1;       // kept by the printer's user interface
    uint32_t width;         // micrometres
    uint32_t height;        // micrometres
    int32_t sizeIndex;      // >= 0 a paper table row; negative: a custom size
    uint32_t customWidth;   // micrometres
    uint32_t customHeight;  // micrometres
    uint32_t unused2;       // kept by the printer's user interface
    uint32_t resolution;    // dots per inch
    JobSettingsBlock settings;
};
static_assert(sizeof(PrivateDevmode) == kPrivateDevmodeSize);
static_assert(offsetof(PrivateDevmode, resolution) == 32);
static_assert(offsetof(PrivateDevmode, settings) == 36);

struct PaperSize {
    char name[64];
    uint32_t width;   // micrometres
    uint32_t height;  // micrometres
    bool inch;
    int16_t code;     // the device mode's paper code
};
inline constexpr size_t kPaperCount = 19;
extern const PaperSize kPaperTable[kPaperCount];
inline constexpr int32_t kPaperA4 = 5;
inline constexpr int32_t kPaperLetter = 15;
// The row of a paper code; -1 when the table has none (0 and 257 are custom).
int findPaperCode(int code);

// The public fields the driver reads.
struct DevmodeRequests {
    uint32_t fields = 0;  // DM_ bits
    int16_t orientation = 0;
    int16_t paperSize = 0;
    int16_t paperLength = 0;  // tenths of a millimetre
    int16_t paperWidth = 0;
    int16_t printQuality = 0;
    int16_t yResolution = 0;
};

// The size index a custom size gets: the stored SizeIndex s >= 0 as -(s + 1)
// (a custom size beside the last table row chosen), a negative one as it
// is; without one, A4's row in metric countries and Letter's elsewhere.
int32_t customSizeIndex(bool haveStored, uint32_t stored, bool metric);

// Applies the requests to the private part. customIndex is asked only when
// a custom size is resolved (it reads the registry).
void resolveDevmode(const DevmodeRequests& requests, PrivateDevmode& part,
                    const std::function<int32_t()>& customIndex);

// The checks on a device mode handed to the driver: it is given, carries
// exactly the private part and that part has the signature. Reads the
// private part at dmSize from the start.
bool devmodeAcceptable(const uint8_t* devmode);

// The page in device pixels: micrometres at the resolution, truncated. 0
// when it does not fit a surface row of int32 bytes.
int32_t pagePixels(uint32_t micrometres, uint32_t resolution);

}  // namespace tessaly::pagesmith
