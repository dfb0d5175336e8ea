#include "swf/swf_bit_reader.h"

#include <algorithm>

namespace tessaly {

SwfBitReader::SwfBitReader(const uint8_t* data, uint32_t size, uint32_t position) noexcept
    : data_(data), size_(data ? size : 0) {
    seek(position);
}

uint32_t SwfBitReader::readBits(unsigned count) noexcept {
    count = std::min(count, 32u);
    const uint64_t end = uint64_t(size_) * 8;
    uint32_t v = 0;
    for (unsigned i = 0; i < count; ++i) {
        uint32_t bit = 0;
        if (bit_ < end) {
            bit = (data_[bit_ / 8] >> (7 - bit_ % 8)) & 1u;
            ++bit_;
        } else {
            failed_ = true;
        }
        v = v << 1 | bit;
    }
    return v;
}

int32_t SwfBitReader::readSignedBits(unsigned count) noexcept {
    count = std::min(count, 32u);
    const uint32_t v = readBits(count);
    if (count == 0 || count == 32) return int32_t(v);
    const uint32_t sign = uint32_t(1) << (count - 1);
    return int32_t((v ^ sign) - sign);
}

void SwfBitReader::skipBits(uint64_t count) noexcept {
    const uint64_t end = uint64_t(size_) * 8;
    if (count > end - bit_) {
        failed_ = true;
        bit_ = end;
        return;
    }
    bit_ += count;
}

void SwfBitReader::align() noexcept { bit_ = (bit_ + 7) / 8 * 8; }

uint8_t SwfBitReader::readU8() noexcept {
    align();
    return uint8_t(readBits(8));
}

uint16_t SwfBitReader::readU16() noexcept {
    const uint32_t low = readU8();
    return uint16_t(low | uint32_t(readU8()) << 8);
}

uint32_t SwfBitReader::readU32() noexcept {
    const uint32_t low = readU16();
    return low | uint32_t(readU16()) << 16;
}

void SwfBitReader::skipBytes(uint32_t n) noexcept {
    align();
    skipBits(uint64_t(n) * 8);
}

void SwfBitReader::skipString() noexcept {
    align();
    for (uint32_t p = position(); p < size_; ++p) {
        if (data_[p] == 0) {
            bit_ = uint64_t(p + 1) * 8;
            return;
        }
    }
    failed_ = true;
    bit_ = uint64_t(size_) * 8;
}

SwfRect SwfBitReader::readRect() noexcept {
    align();
    SwfRect r;
    const unsigned nbits = readBits(5);
    r.xmin = readSignedBits(nbits);
    r.xmax = readSignedBits(nbits);
    r.ymin = readSignedBits(nbits);
    r.ymax = readSignedBits(nbits);
    align();
    return r;
}

SwfMatrix SwfBitReader::readMatrix() noexcept {
    align();
    SwfMatrix m;
    if (readFlag()) {
        const unsigned nbits = readBits(5);
        m.scaleX = readSignedBits(nbits);
        m.scaleY = readSignedBits(nbits);
    }
    if (readFlag()) {
        const unsigned nbits = readBits(5);
        m.skew0 = readSignedBits(nbits);
        m.skew1 = readSignedBits(nbits);
    }
    const unsigned nbits = readBits(5);
    m.translateX = readSignedBits(nbits);
    m.translateY = readSignedBits(nbits);
    align();
    return m;
}

SwfCxform SwfBitReader::readCxform(bool withAlpha) noexcept {
    align();
    SwfCxform c;
    const bool hasAdd = readFlag();
    const bool hasMultiply = readFlag();
    const unsigned nbits = readBits(4);
    const int channels = withAlpha ? 4 : 3;
    if (hasMultiply) {
        for (int i = 0; i < channels; ++i) c.multiply[i] = int16_t(readSignedBits(nbits));
    }
    if (hasAdd) {
        for (int i = 0; i < channels; ++i) c.add[i] = int16_t(readSignedBits(nbits));
    }
    c.flags = (hasMultiply ? SwfCxform::kHasMultiply : 0) | (hasAdd ? SwfCxform::kHasAdd : 0) |
              (withAlpha ? SwfCxform::kHasAlpha : 0);
    align();
    return c;
}

void SwfBitReader::seek(uint32_t p) noexcept { bit_ = uint64_t(std::min(p, size_)) * 8; }

}  // namespace tessaly
