#pragma once
// Forced collisions of CRC-32 based hashes, for tests that must show equal
// hashes do not make equal characters.
//
// A CRC is affine in the bits of an input of fixed length: when each of n
// positions of an input may take one of two values (bit i of `choice`), the
// hash of choice x is hash(0) ^ M x over GF(2). With n > 32 the columns of M
// are dependent, and a dependency x != 0 gives hash(x) == hash(0).

#include <cstdint>
#include <functional>

namespace tessaly::testing_support {

// A non-zero choice of at most 63 positions whose hash equals that of choice 0.
inline uint64_t collidingChoice(int positions, const std::function<uint32_t(uint64_t)>& hash) {
    const uint32_t zero = hash(0);
    uint32_t pivotVector[32] = {};
    uint64_t pivotChoice[32] = {};
    for (int i = 0; i < positions && i < 63; ++i) {
        uint32_t v = hash(uint64_t(1) << i) ^ zero;
        uint64_t choice = uint64_t(1) << i;
        for (int bit = 31; bit >= 0 && v; --bit) {
            if (!(v >> bit & 1)) continue;
            if (!pivotVector[bit]) {
                pivotVector[bit] = v;
                pivotChoice[bit] = choice;
                v = 0;
                choice = 0;
                break;
            }
            v ^= pivotVector[bit];
            choice ^= pivotChoice[bit];
        }
        if (choice) return choice;  // v reduced to 0: a dependency
    }
    return 0;
}

}  // namespace tessaly::testing_support
