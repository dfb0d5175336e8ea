#include "support/byte_buffer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

#include "support/memory.h"

namespace tessaly {

namespace {
constexpr uint64_t kMaxCapacity = std::numeric_limits<uint32_t>::max();
}

ByteBuffer::ByteBuffer() noexcept : ByteBuffer(kDefaultSize, kDefaultSize, 1.0f) {}

ByteBuffer::ByteBuffer(uint32_t size) noexcept : ByteBuffer(size, size, 1.0f) {}

ByteBuffer::ByteBuffer(uint32_t initialSize, uint32_t increment, float factor) noexcept
    : initialSize_(initialSize), increment_(increment ? increment : 1), factor_(factor) {}

ByteBuffer::~ByteBuffer() { freeMemory(data_); }

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      position_(std::exchange(other.position_, 0)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)),
      initialSize_(other.initialSize_),
      increment_(other.increment_),
      factor_(other.factor_),
      shortRead_(other.shortRead_),
      failed_(std::exchange(other.failed_, false)),
      external_(std::exchange(other.external_, nullptr)) {
    syncExternal();
}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
    if (this != &other) {
        freeMemory(data_);
        if (external_) *external_ = nullptr;
        data_ = std::exchange(other.data_, nullptr);
        position_ = std::exchange(other.position_, 0);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
        initialSize_ = other.initialSize_;
        increment_ = other.increment_;
        factor_ = other.factor_;
        shortRead_ = other.shortRead_;
        failed_ = std::exchange(other.failed_, false);
        external_ = std::exchange(other.external_, nullptr);
        syncExternal();
    }
    return *this;
}

uint8_t* ByteBuffer::allocate() { return allocate(initialSize_, increment_, factor_); }

uint8_t* ByteBuffer::allocate(uint32_t initialSize) {
    return allocate(initialSize, initialSize, 1.0f);
}

uint8_t* ByteBuffer::allocate(uint32_t initialSize, uint32_t increment, float factor) {
    release();
    initialSize_ = initialSize;
    increment_ = increment ? increment : 1;
    factor_ = factor;
    // malloc(0) may return null; a zero-sized buffer still gets a block.
    data_ = static_cast<uint8_t*>(allocateMemory(initialSize ? initialSize : 1));
    capacity_ = data_ ? initialSize : 0;
    failed_ = data_ == nullptr;
    syncExternal();
    return data_;
}

void ByteBuffer::release() noexcept {
    freeMemory(data_);
    data_ = nullptr;
    position_ = size_ = capacity_ = 0;
    shortRead_ = false;
    failed_ = false;
    syncExternal();
}

void ByteBuffer::setExternalPointer(uint8_t** external) noexcept {
    external_ = external;
    syncExternal();
}

void ByteBuffer::syncExternal() noexcept {
    if (external_) *external_ = data_;
}

bool ByteBuffer::grow(uint32_t n) {
    // Whole increments, always at least one more than the request needs.
    const uint64_t wanted =
        uint64_t(capacity_) + uint64_t(increment_) * (uint64_t(n / increment_) + 1);
    if (wanted > kMaxCapacity) {
        failed_ = true;
        return false;
    }
    auto* block = static_cast<uint8_t*>(reallocateMemory(data_, size_t(wanted)));
    if (!block) {
        failed_ = true;
        return false;
    }
    data_ = block;
    capacity_ = uint32_t(wanted);
    syncExternal();
    if (factor_ != 1.0f) {
        const double next = double(increment_) * double(factor_);
        increment_ = next >= double(kMaxCapacity) ? uint32_t(kMaxCapacity)
                                                  : std::max<uint32_t>(1, uint32_t(next));
    }
    return true;
}

bool ByteBuffer::ensureRoom(uint32_t n) {
    if (uint64_t(position_) + n > capacity_ || !data_) {
        if (!grow(n)) return false;
    }
    return data_ != nullptr;
}

bool ByteBuffer::writeGrowing(const void* bytes, uint32_t n) {
    if (!ensureRoom(n)) return false;
    if (n) std::memcpy(data_ + position_, bytes, n);
    position_ += n;
    raiseSize();
    return true;
}

bool ByteBuffer::writeU16(uint16_t v) {
    const uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    return write(b, 2);
}

bool ByteBuffer::writeU32(uint32_t v) {
    const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    return write(b, 4);
}

uint32_t ByteBuffer::read(void* dest, uint32_t n) {
    const uint32_t available = size_ > position_ ? size_ - position_ : 0;
    const uint32_t count = std::min(n, available);
    if (count) std::memcpy(dest, data_ + position_, count);
    position_ += count;
    shortRead_ = count < n;
    return count;
}

uint32_t ByteBuffer::seek(uint32_t p) {
    position_ = std::min(p, capacity_);
    raiseSize();
    return position_;
}

uint32_t ByteBuffer::seekRelative(int64_t d) {
    const int64_t target = std::max<int64_t>(0, int64_t(position_) + d);
    return seek(uint32_t(std::min<int64_t>(target, int64_t(kMaxCapacity))));
}

uint32_t ByteBuffer::truncate(uint32_t p) {
    seek(p);
    size_ = position_;
    return position_;
}

bool ByteBuffer::writeAt(uint32_t p, uint32_t sourceOffset, uint32_t n) {
    if (uint64_t(sourceOffset) + n > size_) {
        failed_ = true;  // a skipped write, like a failed growth
        return false;
    }
    const uint32_t savedPosition = position_;
    position_ = std::min(p, capacity_);
    if (!ensureRoom(n)) {
        position_ = savedPosition;
        return false;
    }
    if (n) std::memmove(data_ + position_, data_ + sourceOffset, n);
    position_ += n;
    raiseSize();
    return true;
}

bool ByteBuffer::insertGap(uint32_t at, uint32_t length) {
    if (at > size_) return false;
    const uint32_t oldSize = size_;
    const uint32_t savedPosition = position_;
    position_ = oldSize;
    if (!ensureRoom(length)) {
        position_ = savedPosition;
        return false;
    }
    std::memmove(data_ + at + length, data_ + at, oldSize - at);
    position_ = size_ = oldSize + length;
    return true;
}

bool ByteBuffer::removeRange(uint32_t from, uint32_t to) {
    if (from > to || to > size_) return false;
    if (from == to) return true;
    std::memmove(data_ + from, data_ + to, size_ - to);
    size_ -= to - from;
    if (position_ > size_) position_ = size_;
    return true;
}

bool ByteBuffer::moveBlock(uint32_t from, uint32_t to, uint32_t dest) {
    if (from > to || to > size_ || dest > size_) return false;
    if (dest >= from && dest <= to) return true;  // already in place
    const uint32_t length = to - from;
    const uint32_t savedPosition = position_;
    if (!insertGap(dest, length)) {
        position_ = savedPosition;
        return false;
    }
    // The block itself moved up by the gap when it stood after dest.
    const uint32_t source = dest < from ? from + length : from;
    std::memcpy(data_ + dest, data_ + source, length);
    // Cannot fail: the range lies inside the valid bytes.
    (void)removeRange(source, source + length);
    position_ = std::min(savedPosition, size_);
    return true;
}

int ByteBuffer::pushU32Unique(uint32_t v) {
    const uint32_t count = countU32();
    for (uint32_t i = 0; i < count; ++i) {
        if (u32At(i) == v) return 0;
    }
    position_ = count * 4;
    return write(&v, 4) ? 1 : 0;
}

int ByteBuffer::removeU32(uint32_t v) {
    const uint32_t count = countU32();
    for (uint32_t i = 0; i < count; ++i) {
        if (u32At(i) == v) {
            std::memmove(data_ + i * 4, data_ + (i + 1) * 4, (count - i - 1) * 4);
            position_ -= 4;
            if (size_ > position_) size_ = position_;
            return 1;
        }
    }
    return 0;
}

uint32_t ByteBuffer::u32At(uint32_t index) const {
    uint32_t v;
    std::memcpy(&v, data_ + index * 4, 4);
    return v;
}

}  // namespace tessaly
