#include "image/bag_writer.h"

#include <zlib.h>

#include <cstring>
#include <limits>

#include "support/memory.h"

namespace tessaly {

namespace {

void putU32BE(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

}  // namespace

BagWriter::~BagWriter() = default;

int BagWriter::open(std::string_view path) {
    file_ = openFile(path, "wb");
    width_ = height_ = 0;
    failed_ = false;
    if (!file_) return 0;
    static const uint8_t kHead[8] = {0, 'B', 'A', 'G', 0, 0, 0, 1};
    if (writeAll(file_.get(), kHead, sizeof kHead) != int64_t(sizeof kHead)) {
        failed_ = true;
        return 0;
    }
    return 1;
}

int BagWriter::appendBand(const uint8_t* first, ptrdiff_t stride, uint32_t width, uint32_t rows,
                          BagPixelOrder order, int level) {
    if (!file_ || failed_ || !first || rows == 0 || width == 0 || width > 65535) return 0;
    if (width_ && width != width_) return 0;
    if (uint64_t(height_) + rows > 65535) return 0;

    // The band as the reader wants it: padded rows of red, green, blue.
    const size_t rowBytes = size_t(width) * 3;
    const size_t padded = (rowBytes + 3) & ~size_t(3);
    const uint64_t total = uint64_t(padded) * rows;
    if (total > std::numeric_limits<uLong>::max() / 2) return 0;
    HeapBlock band(static_cast<uint8_t*>(allocateZeroed(size_t(total))));
    if (!band) return 0;
    for (uint32_t r = 0; r < rows; ++r) {
        const uint8_t* in = first + ptrdiff_t(r) * stride;
        uint8_t* out = band.get() + size_t(r) * padded;
        if (order == BagPixelOrder::kRgb) {
            std::memcpy(out, in, rowBytes);
        } else {
            for (size_t x = 0; x < rowBytes; x += 3) {
                out[x] = in[x + 2];
                out[x + 1] = in[x + 1];
                out[x + 2] = in[x];
            }
        }
    }

    uLongf length = compressBound(uLong(total));
    HeapBlock packed(static_cast<uint8_t*>(allocateMemory(size_t(length) + 16)));
    if (!packed) return 0;
    if (compress2(packed.get() + 16, &length, band.get(), uLong(total), level) != Z_OK ||
        uint64_t(length) + 8 > 0xFFFFFFFFull) {
        return 0;
    }
    putU32BE(packed.get(), 1);
    putU32BE(packed.get() + 4, uint32_t(length + 8));
    putU32BE(packed.get() + 8, width);
    putU32BE(packed.get() + 12, rows);
    const size_t n = size_t(length) + 16;
    if (writeAll(file_.get(), packed.get(), n) != int64_t(n)) {
        failed_ = true;  // a partial record: nothing more may follow it
        return 0;
    }
    width_ = width;
    height_ += rows;
    return 1;
}

int BagWriter::close() {
    if (!file_) return 0;
    const int closed = closeFile(std::move(file_));
    return closed && !failed_ ? 1 : 0;
}

}  // namespace tessaly
