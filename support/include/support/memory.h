#pragma once
// The thin heap layer: every allocation of the library's C-style blocks goes
// through here, and failure is reported as null, never thrown.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace tessaly {

void* allocateMemory(size_t n) noexcept;
// Zero-filled block of n bytes.
void* allocateZeroed(size_t n) noexcept;
// Resizes a block; on failure the old block is left as it was and null is returned.
void* reallocateMemory(void* block, size_t n) noexcept;
void freeMemory(void* block) noexcept;
// Copies n bytes; the ranges may overlap.
void copyMemory(void* dest, const void* source, size_t n) noexcept;
void fillMemory(void* dest, uint8_t value, size_t n) noexcept;

struct FreeDeleter {
    void operator()(void* block) const noexcept { freeMemory(block); }
};

// An owned block from allocateMemory.
using HeapBlock = std::unique_ptr<uint8_t[], FreeDeleter>;

// A block together with the count of valid bytes in it.
struct SizedBlock {
    HeapBlock data;
    size_t length = 0;

    explicit operator bool() const noexcept { return data != nullptr; }
};

}  // namespace tessaly
