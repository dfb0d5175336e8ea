#pragma once
// Pixel rows: every bitmap the driver writes is first turned into top-down
// rows of blue, green, red bytes, each row zero-padded to a multiple of 4
// bytes. Palette formats go through the colour table of the call; 24- and
// 32-bit pixels are taken as they are (the fourth byte of a 32-bit pixel is
// ignored). Other formats cannot be converted.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/winddi.h"

namespace tessaly::pagesmith {

struct PixelRows {
    int32_t width = 0;
    int32_t height = 0;
    size_t stride = 0;           // (width * 3 + 3) & ~3
    std::vector<uint8_t> bytes;  // stride * height
};

// The padded length of one row of `width` pixels.
constexpr size_t rowStride(int32_t width) { return (size_t(width) * 3 + 3) & ~size_t(3); }

// The source palette of a colour translation object as 0x00RRGGBB colours;
// nothing without an object or when it has no palette.
std::optional<std::vector<uint32_t>> colourTable(XLATEOBJ* xlate);

// Converts the rectangle (x, y, width, height) of the surface. Palette
// formats need a table; a pixel whose index lies beyond the table is black.
// Nothing when the format cannot be converted, the rectangle is empty or
// leaves the surface, the surface has no bits, or memory runs out.
std::optional<PixelRows> readRows(const SURFOBJ* surface, std::optional<std::span<const uint32_t>> table,
                                  int32_t x, int32_t y, int32_t width, int32_t height);

}  // namespace tessaly::pagesmith
