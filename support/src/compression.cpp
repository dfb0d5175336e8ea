#include "support/compression.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace tessaly {

namespace {
constexpr size_t kMaxChunk = std::numeric_limits<uInt>::max();
}

int inflateData(const uint8_t* source, size_t sourceLength, uint8_t* dest, size_t& destLength) {
    const size_t capacity = destLength;
    destLength = 0;
    if ((!source && sourceLength) || (!dest && capacity)) return 0;
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return 0;
    size_t inLeft = sourceLength;
    size_t outLeft = capacity;
    stream.next_in = const_cast<Bytef*>(source);
    stream.next_out = dest;
    int status = Z_OK;
    while (status == Z_OK) {
        // zlib counts in uInt; feed larger buffers piece by piece.
        const size_t inChunk = std::min(inLeft, kMaxChunk);
        const size_t outChunk = std::min(outLeft, kMaxChunk);
        stream.avail_in = uInt(inChunk);
        stream.avail_out = uInt(outChunk);
        status = inflate(&stream, Z_NO_FLUSH);
        inLeft -= inChunk - stream.avail_in;
        outLeft -= outChunk - stream.avail_out;
        // No progress possible: input used up or output full before the end.
        if (status == Z_BUF_ERROR || (status == Z_OK && stream.avail_in == 0 && inLeft == 0 &&
                                      stream.avail_out != 0)) {
            break;
        }
    }
    inflateEnd(&stream);
    destLength = capacity - outLeft;
    return status == Z_STREAM_END ? 1 : 0;
}

SizedBlock compressData(const uint8_t* source, size_t n, int level) {
    if (!source && n) return {};
    // The customary bound n + n/100 + 12 is below zlib's own bound for tiny
    // inputs; give zlib whatever it may need.
    const uLong bound = std::max<uLong>(uLong(n + n / 100 + 12), compressBound(uLong(n)));
    HeapBlock block(static_cast<uint8_t*>(allocateMemory(bound)));
    if (!block) return {};
    uLongf length = bound;
    static const Bytef kEmpty = 0;
    if (compress2(block.get(), &length, source ? source : &kEmpty, uLong(n), level) != Z_OK) {
        return {};
    }
    return {std::move(block), size_t(length)};
}

}  // namespace tessaly
