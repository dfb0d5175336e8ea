#pragma once
// zlib helpers: whole-buffer inflate and compress.

#include <cstddef>
#include <cstdint>

#include "support/memory.h"

namespace tessaly {

// Inflates a zlib stream into dest. destLength holds dest's capacity on entry
// and the count of bytes produced on return. 1 when the stream ended cleanly
// within dest; 0 for corrupt or truncated data or when dest is too small.
[[nodiscard]] int inflateData(const uint8_t* source, size_t sourceLength, uint8_t* dest, size_t& destLength);

// Compresses n bytes at the given zlib level (0-9) into a new block; the
// result is normally at most n + n/100 + 12 bytes. An empty block on failure.
[[nodiscard]] SizedBlock compressData(const uint8_t* source, size_t n, int level);

}  // namespace tessaly
