#include "support/entities.h"

#include <cstdio>
#include <cstring>

#include "support/numbers.h"

namespace tessaly {

namespace {
struct NamedEntity {
    const char* text;
    size_t length;
    char value;
};
constexpr NamedEntity kNamed[] = {
    {"&lt;", 4, '<'}, {"&gt;", 4, '>'}, {"&quot;", 6, '"'}, {"&amp;", 5, '&'}, {"&apos;", 6, '\''},
};

// Matches a named entity at p (n bytes available); returns its length or 0.
size_t matchNamed(const char* p, size_t n, char* value) {
    for (const auto& e : kNamed) {
        if (n >= e.length && std::memcmp(p, e.text, e.length) == 0) {
            *value = e.value;
            return e.length;
        }
    }
    return 0;
}

// Matches "&#x" + minDigits..maxDigits hex digits + ";" at p; returns its length or 0.
size_t matchNumeric(const char* p, size_t n, size_t minDigits, size_t maxDigits, unsigned* value) {
    if (n < 4 || p[1] != '#' || p[2] != 'x') return 0;
    unsigned v = 0;
    size_t digits = 0;
    while (digits < maxDigits && 3 + digits < n) {
        const int d = hexDigitValue(p[3 + digits]);
        if (d < 0) break;
        v = v * 16 + unsigned(d);
        ++digits;
    }
    if (digits < minDigits || 3 + digits >= n || p[3 + digits] != ';') return 0;
    *value = v;
    return 4 + digits;
}
}  // namespace

size_t unescapeNarrow(char* text, size_t length) {
    size_t in = 0, out = 0;
    while (in < length) {
        if (text[in] == '&') {
            char named;
            unsigned numeric;
            if (size_t used = matchNamed(text + in, length - in, &named)) {
                text[out++] = named;
                in += used;
                continue;
            }
            if (size_t used = matchNumeric(text + in, length - in, 2, 2, &numeric)) {
                text[out++] = char(numeric);
                in += used;
                continue;
            }
        }
        text[out++] = text[in++];
    }
    text[out] = 0;
    return out;
}

// The driver reads settings and interface markup with the same reader, so
// both builds decode wide attribute values.
size_t unescapeToWide(const char* source, size_t n, char16_t* dest) {
    size_t in = 0, out = 0;
    while (in < n) {
        if (source[in] == '&') {
            char named;
            unsigned numeric;
            if (size_t used = matchNamed(source + in, n - in, &named)) {
                dest[out++] = char16_t(static_cast<unsigned char>(named));
                in += used;
                continue;
            }
            if (size_t used = matchNumeric(source + in, n - in, 2, 4, &numeric)) {
                dest[out++] = char16_t(numeric);
                in += used;
                continue;
            }
        }
        dest[out++] = char16_t(static_cast<unsigned char>(source[in++]));
    }
    dest[out] = 0;
    return out;
}

std::u16string unescapeToWide(std::string_view source) {
    std::u16string out(source.size() + 1, u'\0');
    out.resize(unescapeToWide(source.data(), source.size(), out.data()));
    return out;
}

#ifdef TESSALY_SUPPORT_DRIVER
namespace {
bool appendNamed(unsigned c, std::string& out) {
    switch (c) {
        case '"': out += "&quot;"; return true;
        case '&': out += "&amp;"; return true;
        case '\'': out += "&apos;"; return true;
        case '<': out += "&lt;"; return true;
        case '>': out += "&gt;"; return true;
        default: return false;
    }
}
}  // namespace

void escapeNarrow(std::string_view text, std::string& out) {
    char buf[16];
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 32) {
            std::snprintf(buf, sizeof buf, "&#x%02x;", c);
            out += buf;
        } else if (!appendNamed(c, out)) {
            out += ch;
        }
    }
}

void escapeWideToNarrow(std::u16string_view text, std::string& out) {
    char buf[16];
    for (char16_t c : text) {
        if (c < 32) {
            std::snprintf(buf, sizeof buf, "&#x%02x;", unsigned(c));
            out += buf;
        } else if (c >= 256) {
            std::snprintf(buf, sizeof buf, "&#x%04x;", unsigned(c));
            out += buf;
        } else if (!appendNamed(c, out)) {
            out += char(c);
        }
    }
}
#endif

}  // namespace tessaly
