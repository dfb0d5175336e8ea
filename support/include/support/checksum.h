#pragma once
// CRC-32 (the standard one of zlib and PNG) and the string hashes built on it.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tessaly {

// Feeds n bytes into the raw register (start with 0xFFFFFFFF) and returns the
// complemented register, i.e. the CRC-32 of the bytes when started fresh.
uint32_t crc32Update(uint32_t reg, const void* bytes, size_t n);
// Feeds the four bytes of v, lowest first.
uint32_t crc32UpdateU32(uint32_t reg, uint32_t v);
// CRC-32 of the text lower-cased character by character: names that differ
// only in case hash alike.
uint32_t nameHash(std::string_view name);
// h = length * 11; for each byte c (sign-extended): h = c ^ (h >> 27) ^ (h << 5);
// then h mod buckets.
uint32_t bucketHash(std::string_view text, uint32_t buckets);

}  // namespace tessaly
