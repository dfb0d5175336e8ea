#include "support/scrambler.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace tessaly {
namespace {

// The driver's transform, restated here so that the inverse can be checked
// against it without the driver's build of the library.
uint32_t scrambleForTest(uint8_t* bytes, size_t n, uint32_t s) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t c = uint8_t(((((bytes[i] ^ (s & 0xFF)) + ((s >> 8) & 0xFF)) & 0xFF) ^
                                   ((s >> 16) & 0xFF)) +
                                  ((s >> 24) & 0xFF));
        bytes[i] = c;
        s = (s << 1) | (c & 1u);
    }
    return s;
}

TEST(Unscrambler, RestoresEveryByteAcrossCalls) {
    std::mt19937 rng(7);
    std::vector<uint8_t> plain(4096);
    for (auto& b : plain) b = uint8_t(rng());
    std::vector<uint8_t> data = plain;
    const uint32_t end = scrambleForTest(data.data(), data.size(), jobKey());
    EXPECT_NE(data, plain);
    uint32_t s = unscramble(data.data(), 1000, jobKey());
    s = unscramble(data.data() + 1000, data.size() - 1000, s);
    EXPECT_EQ(data, plain);
    EXPECT_EQ(s, end);
}

}  // namespace
}  // namespace tessaly
