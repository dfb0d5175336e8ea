#pragma once
// Reads the fields of SWF data from a byte span: bit fields (most significant
// bit first), little-endian integers and the bit-packed records RECT, MATRIX
// and CXFORM. Nothing is ever read outside the span: a read past its end
// yields zero bits and sets a failure flag that stays set until cleared.

#include <cstdint>

#include "swf/swf_types.h"

namespace tessaly {

class SwfBitReader {
public:
    SwfBitReader() noexcept = default;
    // Reads data[0, size) starting at byte `position` (at most size).
    SwfBitReader(const uint8_t* data, uint32_t size, uint32_t position = 0) noexcept;

    // Unsigned field of `count` bits (at most 32).
    uint32_t readBits(unsigned count) noexcept;
    // Field of `count` bits sign-extended from its top bit.
    [[nodiscard]] int32_t readSignedBits(unsigned count) noexcept;
    [[nodiscard]] bool readFlag() noexcept { return readBits(1) != 0; }
    void skipBits(uint64_t count) noexcept;
    // Drops the rest of a partly read byte; the next read starts on a byte.
    void align() noexcept;

    // Byte reads start on the next whole byte.
    uint8_t readU8() noexcept;
    uint16_t readU16() noexcept;
    uint32_t readU32() noexcept;
    void skipBytes(uint32_t n) noexcept;
    // Skips a zero-terminated string, the zero included.
    void skipString() noexcept;

    // Records start and end on whole bytes.
    SwfRect readRect() noexcept;
    SwfMatrix readMatrix() noexcept;
    // CXFORM, or CXFORMWITHALPHA when withAlpha (kHasAlpha is then set).
    SwfCxform readCxform(bool withAlpha) noexcept;

    // The next whole byte: a partly read byte counts as read.
    uint32_t position() const noexcept { return uint32_t((bit_ + 7) / 8); }
    // Moves to byte p (at most the end of the span).
    void seek(uint32_t p) noexcept;
    uint32_t size() const noexcept { return size_; }
    const uint8_t* data() const noexcept { return data_; }

    // True once any read went past the end of the span.
    bool failed() const noexcept { return failed_; }
    void clearFailure() noexcept { failed_ = false; }

private:
    const uint8_t* data_ = nullptr;
    uint32_t size_ = 0;
    uint64_t bit_ = 0;  // position in bits, at most size_ * 8
    bool failed_ = false;
};

}  // namespace tessaly
