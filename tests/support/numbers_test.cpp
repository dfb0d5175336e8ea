#include "support/numbers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace tessaly {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

TEST(SaturatingNumbers, ConversionsClampAtTheLimitsAndTakeNaNAsZero) {
    struct Case {
        double value;
        int32_t truncated, rounded;
        uint32_t unsignedValue;
    };
    const Case cases[] = {
        {kNaN, 0, 0, 0},
        {kInf, kMax, kMax, UINT32_MAX},
        {-kInf, kMin, kMin, 0},
        {1e12, kMax, kMax, UINT32_MAX},
        {-1e308, kMin, kMin, 0},
        {2147483647.0, kMax, kMax, 2147483647u},
        {2147483646.6, 2147483646, kMax, 2147483646u},  // rounding up to the limit
        {-2147483648.0, kMin, kMin, 0},
        {-2147483648.9, kMin, kMin, 0},
        {4294967295.5, kMax, kMax, UINT32_MAX},
        {2.5, 2, 3, 2u},
        {-2.5, -2, -2, 0},  // half up, towards +infinity
        {-0.7, 0, -1, 0},
        {-3.0, -3, -3, 0},
        {-2147483647.6, -2147483647, kMin, 0},  // rounding down to the limit
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(clampToInt32(c.value), c.truncated);
        EXPECT_EQ(roundToInt32(c.value), c.rounded);
        EXPECT_EQ(clampToUint32(c.value), c.unsignedValue);
    }
}

}  // namespace
}  // namespace tessaly
