#include "support/memory.h"

#include <cstdlib>
#include <cstring>

namespace tessaly {

// malloc(0) may return null, which callers would take for failure; every
// request gets at least one byte.
void* allocateMemory(size_t n) noexcept { return std::malloc(n ? n : 1); }

void* allocateZeroed(size_t n) noexcept { return std::calloc(n ? n : 1, 1); }

void* reallocateMemory(void* block, size_t n) noexcept { return std::realloc(block, n ? n : 1); }

void freeMemory(void* block) noexcept { std::free(block); }

void copyMemory(void* dest, const void* source, size_t n) noexcept {
    if (n) std::memmove(dest, source, n);
}

void fillMemory(void* dest, uint8_t value, size_t n) noexcept {
    if (n) std::memset(dest, value, n);
}

}  // namespace tessaly
