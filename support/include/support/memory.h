#pragma once
// The thin heap layer: every allocation of the library's C-style blocks goes
// through here, and failure is reported as null, never thrown.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace tessaly {

[[nodiscard]] void* allocateMemory(size_t n) noexcept;
// Zero-filled block of n bytes.
[[nodiscard]] void* allocateZeroed(size_t n) noexcept;
// Resizes a block; on failure the old block is left as it was and null is returned.
[[nodiscard]] void* reallocateMemory(void* block, size_t n) noexcept;
void freeMemory(void* block) noexcept;
// Copies n bytes; the ranges may overlap.
void copyMemory(void* dest, const void* source, size_t n) noexcept;
void fillMemory(void* dest, uint8_t value, size_t n) noexcept;

// Allocation failures on demand, so that tests can reach the out-of-memory
// paths of everything that allocates through this layer (byte buffers, image
// planes, compressed blocks). Disarmed unless a test arms it; while disarmed an
// allocation pays one relaxed atomic load. The settings are process-wide: arm
// them only from single-threaded tests, preferably through
// ScopedAllocationFailure.
namespace allocation_failure {
// The allocation `count` allocations from now fails (0: the very next one);
// with `persist` every allocation after it fails too.
void failAfter(uint64_t count, bool persist = false) noexcept;
// Every allocation or reallocation asking for more than `bytes` fails.
void failAbove(size_t bytes) noexcept;
// Back to normal allocation.
void disarm() noexcept;
// Allocations refused since the last arming.
uint64_t failuresInjected() noexcept;
// Allocations asked for (refused or not) since the last arming.
uint64_t allocationsSeen() noexcept;
}  // namespace allocation_failure

// Disarms the failure injector when it leaves scope.
class ScopedAllocationFailure {
public:
    ScopedAllocationFailure() noexcept = default;
    ~ScopedAllocationFailure() { allocation_failure::disarm(); }
    ScopedAllocationFailure(const ScopedAllocationFailure&) = delete;
    ScopedAllocationFailure& operator=(const ScopedAllocationFailure&) = delete;
    void failAfter(uint64_t count, bool persist = false) noexcept {
        allocation_failure::failAfter(count, persist);
    }
    void failAbove(size_t bytes) noexcept { allocation_failure::failAbove(bytes); }
};

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
