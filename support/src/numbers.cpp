#include "support/numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace tessaly {

std::string uintToText(uint64_t value, int base) {
    if (base < 2 || base > 36) return {};
    char buf[72];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, base);
    return std::string(buf, r.ptr);
}

std::string intToText(int64_t value, int base) {
    if (base < 2 || base > 36) return {};
    char buf[72];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, base);
    return std::string(buf, r.ptr);
}

namespace {
bool allDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

template <typename T>
int parseSigned(std::string_view text, T* out) {
    const bool negative = !text.empty() && text.front() == '-';
    if (!allDigits(negative ? text.substr(1) : text)) return 0;
    T value{};
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return 0;
    *out = value;
    return 1;
}

// Optional '-', digits, at most one '.', at least one digit.
bool strictRealSyntax(std::string_view text) {
    if (!text.empty() && text.front() == '-') text.remove_prefix(1);
    bool digit = false, dot = false;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            digit = true;
        } else if (c == '.' && !dot) {
            dot = true;
        } else {
            return false;
        }
    }
    return digit;
}
}  // namespace

int parseInt(std::string_view text, int32_t* out) { return parseSigned(text, out); }
int parseInt64(std::string_view text, int64_t* out) { return parseSigned(text, out); }

int parseUnsigned(std::string_view text, uint32_t* out) {
    if (!allDigits(text)) return 0;
    uint32_t value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (r.ec != std::errc()) return 0;
    *out = value;
    return 1;
}

uint32_t leadingDigitsValue(std::string_view text) {
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + uint64_t(c - '0');
        if (value > std::numeric_limits<uint32_t>::max()) return std::numeric_limits<uint32_t>::max();
    }
    return uint32_t(value);
}

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

int hexByte(char high, char low) {
    const int h = hexDigitValue(high), l = hexDigitValue(low);
    return h < 0 || l < 0 ? -1 : h * 16 + l;
}

int parseHex(std::string_view text, uint32_t* out) {
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    if (text.empty() || text.size() > 8) return 0;
    uint32_t value = 0;
    for (char c : text) {
        const int d = hexDigitValue(c);
        if (d < 0) return 0;
        value = value << 4 | uint32_t(d);
    }
    *out = value;
    return 1;
}

int parseHexSkipHash(std::string_view text, uint32_t* out) {
    if (!text.empty() && text.front() == '#') text.remove_prefix(1);
    return parseHex(text, out);
}

int parseDouble(std::string_view text, double* out) {
    if (!strictRealSyntax(text)) return 0;
    double value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return 0;
    *out = value;
    return 1;
}

int parseFloat(std::string_view text, float* out) {
    double value = 0;
    if (!parseDouble(text, &value)) return 0;
    *out = float(value);
    return 1;
}

size_t parseLeadingReal(std::string_view text, double* out) {
    *out = 0;
    size_t i = 0;
    const bool plus = !text.empty() && text[0] == '+';
    if (plus) i = 1;
    // from_chars takes no '+', and a leading '-' only directly before the digits.
    if (plus && i < text.size() && text[i] == '-') return 0;
    double value = 0;
    const auto r = std::from_chars(text.data() + i, text.data() + text.size(), value,
                                   std::chars_format::general);
    if (r.ec == std::errc::invalid_argument) return 0;
    const size_t used = size_t(r.ptr - text.data());
    if (r.ec == std::errc::result_out_of_range) {
        // Beyond the range of a double: infinity or zero, as strtod gives.
        value = std::strtod(std::string(text.substr(i, used - i)).c_str(), nullptr);
    }
    *out = value;
    return used;
}

#ifdef TESSALY_SUPPORT_DRIVER
namespace {
std::string withDots(const char* text) {
    std::string out(text);
    for (char& c : out) {
        if (c == ',') c = '.';
    }
    return out;
}
}  // namespace

std::string floatToText(float value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", double(value));
    return withDots(buf);
}

std::string doubleToText(double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", value);
    return withDots(buf);
}
#endif

}  // namespace tessaly
