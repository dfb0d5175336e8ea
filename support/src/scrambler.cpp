#include "support/scrambler.h"

#include "support/numbers.h"

namespace tessaly {

uint32_t jobKey() {
    // Built from four byte constants, the first in the lowest byte.
    constexpr uint8_t k0 = 0x5A, k1 = 0xC3, k2 = 0x17, k3 = 0x9E;
    return pack4(k0, k1, k2, k3);
}

uint32_t scramble(uint8_t* bytes, size_t n, uint32_t state) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t c = uint8_t((((bytes[i] ^ uint8_t(state)) + uint8_t(state >> 8)) ^
                                   uint8_t(state >> 16)) +
                                  uint8_t(state >> 24));
        bytes[i] = c;
        state = (state << 1) | (c & 1u);
    }
    return state;
}

uint32_t unscramble(uint8_t* bytes, size_t n, uint32_t state) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t c = bytes[i];
        bytes[i] = uint8_t((uint8_t((uint8_t(c - uint8_t(state >> 24)) ^ uint8_t(state >> 16)) -
                                    uint8_t(state >> 8))) ^
                           uint8_t(state));
        state = (state << 1) | (c & 1u);
    }
    return state;
}

}  // namespace tessaly
