#pragma once
// Reading a fuzz input as a stream of decisions: bytes and big-endian words,
// zero once the input is used up.

#include <cstddef>
#include <cstdint>

struct FuzzBytes {
    const uint8_t* data;
    size_t size;
    size_t at = 0;

    bool more() const { return at < size; }
    uint8_t byte() { return at < size ? data[at++] : 0; }
    int32_t word() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | byte();
        return static_cast<int32_t>(v);
    }
};
