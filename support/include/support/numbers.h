#pragma once
// Number parsing and formatting shared by the markup reader, the settings and
// the driver. The parsers are strict: they return 1 on success and 0 for empty
// text, any stray character, or a value that does not fit.

#include <cstdint>
#include <string>
#include <string_view>

namespace tessaly {

// Integer to text in base 2..36; digits above 9 are lower-case letters.
std::string intToText(int64_t value, int base = 10);
std::string uintToText(uint64_t value, int base = 10);

// Optional leading '-', then decimal digits.
[[nodiscard]] int parseInt(std::string_view text, int32_t* out);
[[nodiscard]] int parseInt64(std::string_view text, int64_t* out);
// Decimal digits only.
[[nodiscard]] int parseUnsigned(std::string_view text, uint32_t* out);
// The value of the decimal digits at the start of the text (0 when none;
// saturates at UINT32_MAX).
uint32_t leadingDigitsValue(std::string_view text);
// Hexadecimal digits of either case, with an optional "0x"; the colour variant
// also skips a leading '#'. At most 8 digits.
[[nodiscard]] int parseHex(std::string_view text, uint32_t* out);
[[nodiscard]] int parseHexSkipHash(std::string_view text, uint32_t* out);
// Strict reals: optional leading '-', digits and at most one '.'.
[[nodiscard]] int parseFloat(std::string_view text, float* out);
[[nodiscard]] int parseDouble(std::string_view text, double* out);
// The longest valid leading decimal number (optional sign, fraction and
// exponent), like strtod in the C locale. Returns the number of bytes used;
// 0 when the text does not start with a number (*out is then 0).
size_t parseLeadingReal(std::string_view text, double* out);

// Saturating conversions for values that come from outside (markup, settings,
// files): NaN becomes 0 and a value beyond the target range its nearest
// limit, so no conversion or sum is ever undefined.
// They sit on every glyph's and every point's path, so they are inline.
// Truncates towards zero, like a cast.
[[nodiscard]] inline int32_t clampToInt32(double value) noexcept {
    if (value != value) return 0;  // NaN
    if (value >= 2147483647.0) return INT32_MAX;
    if (value <= -2147483648.0) return INT32_MIN;
    return int32_t(value);
}
// round(value) half up: floor(value + 0.5), without a call into the maths
// library (truncation, one step down for negative fractions).
[[nodiscard]] inline int32_t roundToInt32(double value) noexcept {
    const double r = value + 0.5;
    if (!(r > -2147483648.0)) return r != r ? 0 : INT32_MIN;  // NaN or below the range
    if (r >= 2147483647.0) return INT32_MAX;
    const int32_t truncated = int32_t(r);
    return double(truncated) > r ? truncated - 1 : truncated;
}
[[nodiscard]] inline uint32_t clampToUint32(double value) noexcept {
    if (value != value || value <= 0) return 0;  // NaN or not positive
    if (value >= 4294967295.0) return UINT32_MAX;
    return uint32_t(value);
}
[[nodiscard]] inline int32_t saturatingAdd(int32_t a, int32_t b) noexcept {
    const int64_t sum = int64_t(a) + b;
    return sum > INT32_MAX ? INT32_MAX : sum < INT32_MIN ? INT32_MIN : int32_t(sum);
}
[[nodiscard]] inline int32_t saturatingSub(int32_t a, int32_t b) noexcept {
    const int64_t difference = int64_t(a) - b;
    return difference > INT32_MAX ? INT32_MAX : difference < INT32_MIN ? INT32_MIN : int32_t(difference);
}

// The value of one hex digit, or -1.
[[nodiscard]] int hexDigitValue(char c);
// Two hex digits to a byte; -1 when either is not a hex digit.
[[nodiscard]] int hexByte(char high, char low);

inline uint32_t pack4(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    return uint32_t(b0) | uint32_t(b1) << 8 | uint32_t(b2) << 16 | uint32_t(b3) << 24;
}
inline uint32_t readBigEndian32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

#ifdef TESSALY_SUPPORT_DRIVER
inline void writeBigEndian32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}
// "%g", with any ',' replaced by '.', so the text never depends on the locale.
std::string floatToText(float value);
std::string doubleToText(double value);
#endif

}  // namespace tessaly
