#pragma once
// A growable byte buffer with a read/write position: the container of the SWF
// writer and reader, the dictionary and the object lists.
//
// Growth is predictable: when a write needs room the capacity grows by whole
// increments, and the increment itself can grow by a factor after each step.
// A failed growth never changes the buffer; the write that needed the room is
// skipped and the buffer remembers it: failed() stays true from then on, so a
// writer can go on and still learn at the end that its output is incomplete.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tessaly {

class ByteBuffer {
public:
    static constexpr uint32_t kDefaultSize = 32768;

    ByteBuffer() noexcept;
    explicit ByteBuffer(uint32_t size) noexcept;
    ByteBuffer(uint32_t initialSize, uint32_t increment, float factor) noexcept;
    ~ByteBuffer();
    ByteBuffer(ByteBuffer&& other) noexcept;
    ByteBuffer& operator=(ByteBuffer&& other) noexcept;
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;

    // Frees any old block and allocates the initial size; position and size
    // become 0 and any earlier failure is forgotten. Returns the block, or null
    // when it cannot be allocated (which counts as a failure).
    [[nodiscard]] uint8_t* allocate();
    [[nodiscard]] uint8_t* allocate(uint32_t initialSize);
    [[nodiscard]] uint8_t* allocate(uint32_t initialSize, uint32_t increment, float factor);
    // Frees the block; the buffer is empty, unallocated and unfailed afterwards.
    void release() noexcept;

    // True once any write, growth or allocation could not be done. Sticky:
    // only allocate() and release() clear it.
    bool failed() const noexcept { return failed_; }

    // Makes room for n bytes at the position; false when no block exists afterwards
    // or the growth failed.
    [[nodiscard]] bool ensureRoom(uint32_t n);
    // Writes n bytes at the position; skipped (and failed() set) when the
    // buffer cannot grow. Returns whether the bytes were written; callers that
    // check failed() once at the end may ignore it.
    bool write(const void* bytes, uint32_t n) {
        if (data_ && uint64_t(position_) + n <= capacity_) {
            if (n) std::memcpy(data_ + position_, bytes, n);
            position_ += n;
            raiseSize();
            return true;
        }
        return writeGrowing(bytes, n);
    }
    bool writeU8(uint8_t v) { return write(&v, 1); }
    bool writeU16(uint16_t v);  // little-endian
    bool writeU32(uint32_t v);  // little-endian
    // Copies up to n bytes from the position; sets the short-read flag when
    // fewer than n remained. Returns the count copied.
    uint32_t read(void* dest, uint32_t n);

    uint32_t seek(uint32_t p);
    uint32_t seekRelative(int64_t d);
    uint32_t seekToEnd() { return position_ = size_; }
    uint32_t truncate(uint32_t p);

    // Copies n bytes from sourceOffset of this buffer to p (overlap allowed).
    // False when the source range lies outside the valid bytes or room cannot be made.
    [[nodiscard]] bool writeAt(uint32_t p, uint32_t sourceOffset, uint32_t n);
    // Opens a gap of length bytes at `at`, moving the bytes after it up.
    [[nodiscard]] bool insertGap(uint32_t at, uint32_t length);
    // Removes bytes [from, to), moving the rest down.
    [[nodiscard]] bool removeRange(uint32_t from, uint32_t to);
    // Moves bytes [from, to) to dest, shifting the bytes in between; the size
    // is unchanged. Done as: insert a gap at dest, copy, remove the old range,
    // so a block moved towards the end lands just before the byte that stood at dest.
    [[nodiscard]] bool moveBlock(uint32_t from, uint32_t to, uint32_t dest);

    // The buffer as an array of 32-bit values (count = position / 4).
    // Appends v unless present: 1 appended, 0 present (or the write failed).
    int pushU32Unique(uint32_t v);
    // Removes the first value equal to v; 1 when found.
    int removeU32(uint32_t v);
    uint32_t countU32() const { return position_ / 4; }
    uint32_t u32At(uint32_t index) const;

    // Kept equal to the data pointer whenever the block moves.
    void setExternalPointer(uint8_t** external) noexcept;

    uint8_t* data() noexcept { return data_; }
    const uint8_t* data() const noexcept { return data_; }
    uint8_t* atPosition() noexcept { return data_ ? data_ + position_ : nullptr; }
    uint32_t position() const noexcept { return position_; }
    uint32_t size() const noexcept { return size_; }
    uint32_t capacity() const noexcept { return capacity_; }
    uint32_t increment() const noexcept { return increment_; }
    float factor() const noexcept { return factor_; }
    bool shortRead() const noexcept { return shortRead_; }

private:
    bool grow(uint32_t n);
    bool writeGrowing(const void* bytes, uint32_t n);
    void syncExternal() noexcept;
    void raiseSize() noexcept {
        if (position_ > size_) size_ = position_;
    }

    uint8_t* data_ = nullptr;
    uint32_t position_ = 0;
    uint32_t size_ = 0;
    uint32_t capacity_ = 0;
    uint32_t initialSize_;
    uint32_t increment_;
    float factor_;
    bool shortRead_ = false;
    bool failed_ = false;
    uint8_t** external_ = nullptr;
};

}  // namespace tessaly
