#include "pixel_rows.h"

#include <new>
#include <stdexcept>

namespace tessaly::pagesmith {

std::optional<std::vector<uint32_t>> colourTable(XLATEOBJ* xlate) {
    if (!xlate) return std::nullopt;
    const ULONG count = XLATEOBJ_cGetPalette(xlate, XO_SRCPALETTE, 0, nullptr);
    if (count == 0) return std::nullopt;
    std::vector<uint32_t> table;
    try {
        std::vector<ULONG> entries(count);
        const ULONG got = XLATEOBJ_cGetPalette(xlate, XO_SRCPALETTE, count, entries.data());
        table.reserve(got);
        for (ULONG i = 0; i < got && i < count; ++i) {
            const uint32_t e = entries[i];
            // 0x00BBGGRR into 0x00RRGGBB.
            table.push_back((e & 0xFF) << 16 | (e & 0xFF00) | (e >> 16 & 0xFF));
        }
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    return table;
}

namespace {

int bitsPerPixel(ULONG format) {
    switch (format) {
        case BMF_1BPP: return 1;
        case BMF_4BPP: return 4;
        case BMF_8BPP: return 8;
        case BMF_24BPP: return 24;
        case BMF_32BPP: return 32;
        default: return 0;  // 16 bits, run-length, JPEG and PNG stay unconverted
    }
}

}  // namespace

std::optional<PixelRows> readRows(const SURFOBJ* surface, std::optional<std::span<const uint32_t>> table,
                                  int32_t x, int32_t y, int32_t width, int32_t height) {
    if (!surface || !surface->pvScan0) return std::nullopt;
    // Bits are read through a lock: an engine that has not finished drawing
    // on the surface finishes it then.
    if (surface->hsurf) {
        if (SURFOBJ* locked = EngLockSurface(surface->hsurf)) EngUnlockSurface(locked);
    }
    const int bpp = bitsPerPixel(surface->iBitmapFormat);
    if (bpp == 0) return std::nullopt;
    if (bpp <= 8 && !table) return std::nullopt;
    // The rectangle must lie inside the surface: a caller's point never
    // makes us read beyond the bits.
    if (width <= 0 || height <= 0 || x < 0 || y < 0) return std::nullopt;
    if (int64_t(x) + width > surface->sizlBitmap.cx || int64_t(y) + height > surface->sizlBitmap.cy) {
        return std::nullopt;
    }
    const int64_t minDelta = (int64_t(surface->sizlBitmap.cx) * bpp + 7) / 8;
    const int64_t delta = surface->lDelta;
    if ((delta < 0 ? -delta : delta) < minDelta) return std::nullopt;

    PixelRows rows;
    rows.width = width;
    rows.height = height;
    rows.stride = rowStride(width);
    try {
        rows.bytes.assign(rows.stride * size_t(height), 0);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    } catch (const std::length_error&) {
        return std::nullopt;
    }
    const auto* scan0 = static_cast<const uint8_t*>(surface->pvScan0);
    const std::span<const uint32_t> colours = table ? *table : std::span<const uint32_t>{};
    for (int32_t r = 0; r < height; ++r) {
        const uint8_t* src = scan0 + (int64_t(y) + r) * delta;
        uint8_t* out = rows.bytes.data() + size_t(r) * rows.stride;
        for (int32_t c = 0; c < width; ++c, out += 3) {
            const int64_t px = int64_t(x) + c;
            if (bpp >= 24) {
                const uint8_t* p = src + px * (bpp / 8);
                out[0] = p[0];
                out[1] = p[1];
                out[2] = p[2];
                continue;
            }
            uint32_t index;
            if (bpp == 8) {
                index = src[px];
            } else if (bpp == 4) {
                const uint8_t b = src[px / 2];
                index = (px & 1) ? (b & 0x0F) : (b >> 4);
            } else {
                index = (src[px / 8] >> (7 - px % 8)) & 1;
            }
            const uint32_t colour = index < colours.size() ? colours[index] : 0;
            out[0] = uint8_t(colour);
            out[1] = uint8_t(colour >> 8);
            out[2] = uint8_t(colour >> 16);
        }
    }
    return rows;
}

}  // namespace tessaly::pagesmith
