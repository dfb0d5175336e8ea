#include "support/checksum.h"

#include <array>

#include "support/text.h"

namespace tessaly {

namespace {
constexpr std::array<uint32_t, 256> makeTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}
constexpr auto kTable = makeTable();
}  // namespace

uint32_t crc32Update(uint32_t reg, const void* bytes, size_t n) {
    const auto* p = static_cast<const uint8_t*>(bytes);
    for (size_t i = 0; i < n; ++i) reg = kTable[(reg ^ p[i]) & 0xFF] ^ (reg >> 8);
    return ~reg;
}

uint32_t crc32UpdateU32(uint32_t reg, uint32_t v) {
    const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    return crc32Update(reg, b, 4);
}

uint32_t nameHash(std::string_view name) {
    uint32_t reg = 0xFFFFFFFFu;
    for (char c : name) {
        const auto b = static_cast<uint8_t>(foldCase(c));
        reg = kTable[(reg ^ b) & 0xFF] ^ (reg >> 8);
    }
    return ~reg;
}

uint32_t bucketHash(std::string_view text, uint32_t buckets) {
    uint32_t h = uint32_t(text.size()) * 11u;
    for (char c : text) {
        const auto v = static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
        h = v ^ (h >> 27) ^ (h << 5);
    }
    return buckets ? h % buckets : 0;
}

}  // namespace tessaly
