#pragma once
// The keyed byte scrambler of job files. The state S starts at the job key
// and runs from byte to byte: each output byte is
// c = ((((p ^ s0) + s1) ^ s2) + s3) mod 256 (s0 the lowest byte of S), after
// which S = (S << 1) | (c & 1). The driver scrambles, the application
// unscrambles; both pass the state on from call to call.

#include <cstddef>
#include <cstdint>

namespace tessaly {

// The job key both sides build at run time.
uint32_t jobKey();

// Scrambles n bytes in place; returns the state to continue with. The
// driver writes job files with it (and the tools that make sample jobs).
uint32_t scramble(uint8_t* bytes, size_t n, uint32_t state);
// Restores n scrambled bytes in place; returns the state to continue with.
uint32_t unscramble(uint8_t* bytes, size_t n, uint32_t state);

}  // namespace tessaly
