#include "composer/mml_values.h"

#include <cmath>

#include "support/numbers.h"
#include "support/text.h"

namespace tessaly {

int parseStrictReal(std::string_view text, double* out) { return parseDouble(text, out); }

int parseStrictInteger(std::string_view text, int32_t* out) { return parseInt(text, out); }

int parseUnsignedInteger(std::string_view text, uint32_t* out) { return parseUnsigned(text, out); }

int parseLenientReal(std::string_view text, double* out) {
    *out = 0;
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    // Only decimal numbers: "inf", "nan" and the like are not values here.
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (i >= text.size()) return 0;
    const bool digit = text[i] >= '0' && text[i] <= '9';
    const bool dotDigit = text[i] == '.' && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9';
    if (!digit && !dotDigit) return 0;
    double value = 0;
    if (parseLeadingReal(text, &value) == 0 || !std::isfinite(value)) return 0;
    *out = value;
    return 1;
}

int parseColor(std::string_view text, MmlColor* out) {
    uint32_t value = 0;
    if (!parseHexSkipHash(text, &value)) return 0;
    out->value = value;
    out->hasAlpha = value > 0xFFFFFF;
    return 1;
}

namespace {
// Splits off the text up to the next separator; the separator is consumed.
std::string_view nextPart(std::string_view& text, char separator, bool* found) {
    const size_t at = text.find(separator);
    *found = at != std::string_view::npos;
    const std::string_view part = text.substr(0, at);
    text.remove_prefix(*found ? at + 1 : text.size());
    return part;
}

// Splits a segment into exactly n comma-separated lenient reals (the last one
// takes the rest of the segment). False when there are fewer than n parts.
bool readCoordinates(std::string_view segment, double* values, int n) {
    for (int i = 0; i < n; ++i) {
        bool comma = false;
        const std::string_view part = i + 1 < n ? nextPart(segment, ',', &comma) : segment;
        if (i + 1 < n && !comma) return false;
        parseLenientReal(part, &values[i]);
    }
    return true;
}
}  // namespace

std::vector<MmlPoint> parsePointList(std::string_view text) {
    std::vector<MmlPoint> points;
    bool more = true;
    while (more) {
        const std::string_view segment = nextPart(text, ';', &more);
        double v[2];
        if (!readCoordinates(segment, v, 2)) break;
        points.push_back({v[0], v[1]});
    }
    return points;
}

std::vector<MmlRect> parseRectList(std::string_view text) {
    std::vector<MmlRect> rects;
    bool more = true;
    while (more) {
        const std::string_view segment = nextPart(text, ';', &more);
        double v[4];
        if (!readCoordinates(segment, v, 4)) break;
        rects.push_back({v[0], v[1], v[2], v[3]});
    }
    return rects;
}

int parseMatrix(std::string_view text, MmlMatrix* out) {
    MmlMatrix m;
    double* entries[6] = {&m.a, &m.b, &m.c, &m.d, &m.tx, &m.ty};
    bool more = true;
    for (int i = 0; i < 6 && more; ++i) {
        const std::string_view entry = trim(nextPart(text, ',', &more));
        double value = 0;
        if (!parseStrictReal(entry, &value)) {
            if (i == 0) return 0;
            break;
        }
        *entries[i] = value;
    }
    *out = m;
    return 1;
}

bool hasKeyword(std::string_view list, std::string_view keyword) { return containsNoCase(list, keyword); }

uint32_t keywordFlags(std::string_view list, std::initializer_list<MmlKeyword> keywords) {
    uint32_t flags = 0;
    for (const MmlKeyword& k : keywords) {
        if (containsNoCase(list, k.word)) flags |= k.flag;
    }
    return flags;
}

}  // namespace tessaly
