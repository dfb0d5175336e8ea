// The driver's scrambler against a hand-worked byte and the state rule.

#include "support/scrambler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessaly {
namespace {

TEST(Scrambler, FollowsTheTransformByteForByte) {
    std::vector<uint8_t> bytes = {'<', 'M', 0x00, 0xFF, 0x80};
    const uint32_t key = 0x04030201;
    const uint32_t end = scramble(bytes.data(), bytes.size(), key);
    // p = '<' (0x3C): ((0x3C ^ 0x01) + 0x02) ^ 0x03 = 0x3C, + 0x04 = 0x40.
    EXPECT_EQ(bytes[0], 0x40);
    // The state shifted in the low bit of each output byte.
    uint32_t s = key;
    for (uint8_t c : bytes) s = (s << 1) | (c & 1u);
    EXPECT_EQ(end, s);
}

TEST(Scrambler, StateCarriesAcrossCalls) {
    std::string text = "<Media><Frame></Frame></Media>";
    std::vector<uint8_t> whole(text.begin(), text.end()), parts = whole;
    scramble(whole.data(), whole.size(), jobKey());
    uint32_t s = scramble(parts.data(), 7, jobKey());
    scramble(parts.data() + 7, parts.size() - 7, s);
    EXPECT_EQ(whole, parts);
    EXPECT_NE(whole[0], '<');
}

}  // namespace
}  // namespace tessaly
