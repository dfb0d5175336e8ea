#pragma once
// The printer's device mode as the driver and whoever prepares it for the
// driver (the spool host, the printer's settings) share it: the private part
// behind the public DEVMODEW fields and the paper table with its DEVMODE
// paper codes.

#include <cstddef>
#include <cstdint>

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
// The micrometre values are the table's own, odd ones included.
inline constexpr PaperSize kPaperTable[kPaperCount] = {
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
inline constexpr int32_t kPaperA4 = 5;
inline constexpr int32_t kPaperLetter = 15;
// The paper codes of a custom size: 0, and 257, which is not a table code.
inline constexpr int16_t kPaperCodeCustom = 0;
inline constexpr int16_t kPaperCodeUser = 257;

}  // namespace tessaly::pagesmith
