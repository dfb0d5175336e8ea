#include "support/memory.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace tessaly {

namespace {

// The failure injector. `armed` is the only thing an ordinary allocation reads.
std::atomic<bool> armed{false};
std::atomic<int64_t> countdown{-1};  // allocations left before one fails; -1 none
std::atomic<bool> persistent{false};
std::atomic<size_t> sizeLimit{std::numeric_limits<size_t>::max()};
std::atomic<uint64_t> injected{0};
std::atomic<uint64_t> seen{0};

bool injectFailure(size_t n) noexcept {
    if (!armed.load(std::memory_order_relaxed)) return false;
    seen.fetch_add(1, std::memory_order_relaxed);
    bool fail = n > sizeLimit.load(std::memory_order_relaxed);
    int64_t left = countdown.load(std::memory_order_relaxed);
    while (!fail && left >= 0) {
        // A persistent failure stays at 0, a one-shot one turns itself off.
        const int64_t next = left > 0 ? left - 1 : (persistent.load() ? 0 : -1);
        if (countdown.compare_exchange_weak(left, next, std::memory_order_relaxed)) {
            fail = left == 0;
            break;
        }
    }
    if (fail) injected.fetch_add(1, std::memory_order_relaxed);
    return fail;
}

}  // namespace

namespace allocation_failure {

void failAfter(uint64_t count, bool persist) noexcept {
    persistent.store(persist);
    countdown.store(int64_t(std::min<uint64_t>(count, uint64_t(std::numeric_limits<int64_t>::max()))));
    injected.store(0);
    seen.store(0);
    armed.store(true);
}

void failAbove(size_t bytes) noexcept {
    sizeLimit.store(bytes);
    injected.store(0);
    seen.store(0);
    armed.store(true);
}

void disarm() noexcept {
    armed.store(false);
    countdown.store(-1);
    persistent.store(false);
    sizeLimit.store(std::numeric_limits<size_t>::max());
}

uint64_t failuresInjected() noexcept { return injected.load(); }

uint64_t allocationsSeen() noexcept { return seen.load(); }

}  // namespace allocation_failure

// malloc(0) may return null, which callers would take for failure; every
// request gets at least one byte.
void* allocateMemory(size_t n) noexcept {
    if (injectFailure(n)) return nullptr;
    return std::malloc(n ? n : 1);
}

void* allocateZeroed(size_t n) noexcept {
    if (injectFailure(n)) return nullptr;
    return std::calloc(n ? n : 1, 1);
}

void* reallocateMemory(void* block, size_t n) noexcept {
    if (injectFailure(n)) return nullptr;
    return std::realloc(block, n ? n : 1);
}

void freeMemory(void* block) noexcept { std::free(block); }

void copyMemory(void* dest, const void* source, size_t n) noexcept {
    if (n) std::memmove(dest, source, n);
}

void fillMemory(void* dest, uint8_t value, size_t n) noexcept {
    if (n) std::memset(dest, value, n);
}

}  // namespace tessaly
