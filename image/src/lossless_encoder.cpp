// zlib-compressed 32-bit pixels: the data of the SWF lossless bitmap tags
// (format 5), opaque or with premultiplied alpha.

#include <zlib.h>

#include <algorithm>
#include <limits>

#include "image/image.h"

namespace tessaly {

namespace {

// Compresses n bytes into the sink, sized once for the worst case.
bool compressInto(ByteBuffer& sink, const uint8_t* pixels, uint64_t n, int level) {
    const uint64_t bound = std::max<uint64_t>(n + n / 100 + 12, compressBound(uLong(n)));
    if (bound > std::numeric_limits<uint32_t>::max()) return false;
    if (!sink.ensureRoom(uint32_t(bound))) return false;
    uLongf length = uLongf(bound);
    if (compress2(sink.data(), &length, pixels, uLong(n), level) != Z_OK) return false;
    sink.seek(uint32_t(length));
    return sink.size() == length;
}

}  // namespace

bool Image::encodeLossless(ByteBuffer& sink, const ImageRect& rect, int level) {
    sink.truncate(0);
    ImageRegion r;
    if (empty() || !expandToRgb() || !clipRect(rect, r)) return false;
    const uint64_t n = r.pixelCount * 4;
    if (n > std::numeric_limits<uint32_t>::max()) return false;
    HeapBlock pixels(static_cast<uint8_t*>(allocateMemory(size_t(n))));
    if (!pixels) return false;
    uint8_t* out = pixels.get();
    for (uint32_t y = r.y; y < r.y + r.h; ++y) {
        const uint8_t* in = rgbRow(y) + size_t(r.x) * 3;
        for (uint32_t x = 0; x < r.w; ++x, in += 3, out += 4) {
            out[0] = 255;
            out[1] = in[0];
            out[2] = in[1];
            out[3] = in[2];
        }
    }
    return compressInto(sink, pixels.get(), n, level);
}

bool Image::encodeLossless(ByteBuffer& sink, int level) {
    return encodeLossless(sink, {0, 0, width_, height_}, level);
}

bool Image::encodeLosslessAlpha(ByteBuffer& sink, const ImageRect& rect, int level) {
    sink.truncate(0);
    ImageRegion r;
    if (empty() || !hasAlpha() || !expandToRgb() || !alpha_ || !clipRect(rect, r)) return false;
    const uint64_t n = r.pixelCount * 4;
    if (n > std::numeric_limits<uint32_t>::max()) return false;
    HeapBlock pixels(static_cast<uint8_t*>(allocateMemory(size_t(n))));
    if (!pixels) return false;
    uint8_t* out = pixels.get();
    for (uint32_t y = r.y; y < r.y + r.h; ++y) {
        const uint8_t* in = rgbRow(y) + size_t(r.x) * 3;
        const uint8_t* a = alpha_.get() + size_t(y) * width_ + r.x;
        for (uint32_t x = 0; x < r.w; ++x, in += 3, out += 4) {
            const uint32_t alpha = a[x];
            if (alpha == 255) {
                out[0] = 255;
                out[1] = in[0];
                out[2] = in[1];
                out[3] = in[2];
            } else {
                out[0] = uint8_t(alpha ? alpha + 1 : 0);
                out[1] = uint8_t(in[0] * alpha >> 8);
                out[2] = uint8_t(in[1] * alpha >> 8);
                out[3] = uint8_t(in[2] * alpha >> 8);
            }
        }
    }
    return compressInto(sink, pixels.get(), n, level);
}

bool Image::encodeLosslessAlpha(ByteBuffer& sink, int level) {
    return encodeLosslessAlpha(sink, {0, 0, width_, height_}, level);
}

}  // namespace tessaly
