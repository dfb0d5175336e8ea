#include "support/compression.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace tessaly {
namespace {

std::vector<uint8_t> noise(size_t n, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t(random());
    return v;
}

TEST(Compression, RoundTripsAtEveryLevel) {
    std::vector<uint8_t> text(100000);
    for (size_t i = 0; i < text.size(); ++i) text[i] = uint8_t("page frame shape "[i % 17]);
    for (int level : {0, 1, 6, 9}) {
        SizedBlock packed = compressData(text.data(), text.size(), level);
        ASSERT_TRUE(packed) << level;
        EXPECT_LE(packed.length, text.size() + text.size() / 100 + 12);
        std::vector<uint8_t> out(text.size());
        size_t length = out.size();
        EXPECT_EQ(inflateData(packed.data.get(), packed.length, out.data(), length), 1);
        EXPECT_EQ(length, text.size());
        EXPECT_EQ(out, text);
    }
}

TEST(Compression, TinyAndIncompressibleInputs) {
    // zlib's own bound exceeds n + n/100 + 12 for small inputs; that must not fail.
    for (size_t n : {size_t(0), size_t(1), size_t(7), size_t(100), size_t(70000)}) {
        const auto data = noise(n, uint32_t(n));
        SizedBlock packed = compressData(data.data(), data.size(), 9);
        ASSERT_TRUE(packed) << n;
        std::vector<uint8_t> out(n + 1);
        size_t length = out.size();
        EXPECT_EQ(inflateData(packed.data.get(), packed.length, out.data(), length), 1) << n;
        EXPECT_EQ(length, n);
        EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin()));
    }
    EXPECT_FALSE(compressData(nullptr, 10, 9));
    const uint8_t byte = 1;
    EXPECT_FALSE(compressData(&byte, 1, 42)) << "no such level";
}

TEST(Compression, InflateRefusesBadOrTruncatedData) {
    const auto data = noise(5000, 7);
    SizedBlock packed = compressData(data.data(), data.size(), 6);
    ASSERT_TRUE(packed);
    std::vector<uint8_t> out(data.size());

    size_t length = out.size();
    EXPECT_EQ(inflateData(packed.data.get(), packed.length - 10, out.data(), length), 0);
    EXPECT_LE(length, data.size());

    length = out.size() - 1;  // one byte short
    EXPECT_EQ(inflateData(packed.data.get(), packed.length, out.data(), length), 0);
    EXPECT_EQ(length, data.size() - 1);

    std::vector<uint8_t> corrupt(packed.data.get(), packed.data.get() + packed.length);
    corrupt[0] ^= 0xFF;
    length = out.size();
    EXPECT_EQ(inflateData(corrupt.data(), corrupt.size(), out.data(), length), 0);

    length = out.size();
    EXPECT_EQ(inflateData(nullptr, 0, out.data(), length), 0);
    EXPECT_EQ(length, 0u);
}

}  // namespace
}  // namespace tessaly
