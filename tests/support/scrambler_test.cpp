#include "support/scrambler.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace tessaly {
namespace {


TEST(Unscrambler, RestoresEveryByteAcrossCalls) {
    std::mt19937 rng(7);
    std::vector<uint8_t> plain(4096);
    for (auto& b : plain) b = uint8_t(rng());
    std::vector<uint8_t> data = plain;
    const uint32_t end = scramble(data.data(), data.size(), jobKey());
    EXPECT_NE(data, plain);
    uint32_t s = unscramble(data.data(), 1000, jobKey());
    s = unscramble(data.data() + 1000, data.size() - 1000, s);
    EXPECT_EQ(data, plain);
    EXPECT_EQ(s, end);
}

}  // namespace
}  // namespace tessaly
