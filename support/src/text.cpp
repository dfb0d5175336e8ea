#include "support/text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace tessaly {

size_t textLength(const char16_t* text) {
    size_t n = 0;
    while (text[n]) ++n;
    return n;
}

size_t boundedCopy(char* dest, const char* source, size_t n) {
    if (n == 0) return 0;
    size_t i = 0;
    for (; i + 1 < n && source[i]; ++i) dest[i] = source[i];
    dest[i] = 0;
    return i;
}

size_t boundedCopy(char16_t* dest, const char16_t* source, size_t nBytes) {
    const size_t n = nBytes / 2;
    if (n == 0) return 0;
    size_t i = 0;
    for (; i + 1 < n && source[i]; ++i) dest[i] = source[i];
    dest[i] = 0;
    return i;
}

size_t toNarrow(char* dest, const char16_t* wide, size_t n) {
    if (n == 0) return 0;
    size_t i = 0;
    for (; i + 1 < n && wide[i]; ++i) dest[i] = wide[i] <= 0xFF ? char(wide[i]) : '?';
    dest[i] = 0;
    return i;
}

size_t toWide(char16_t* dest, const char* narrow, size_t nBytes) {
    if (nBytes < 2) return 0;
    const size_t n = nBytes / 2;
    size_t i = 0;
    for (; i + 1 < n && narrow[i]; ++i) dest[i] = char16_t(static_cast<unsigned char>(narrow[i]));
    dest[i] = 0;
    return i * 2;
}

std::u16string toWide(std::string_view narrow) {
    std::u16string out(narrow.size(), u'\0');
    for (size_t i = 0; i < narrow.size(); ++i) out[i] = char16_t(static_cast<unsigned char>(narrow[i]));
    return out;
}

std::string toNarrow(std::u16string_view wide) {
    std::string out(wide.size(), '\0');
    for (size_t i = 0; i < wide.size(); ++i) out[i] = wide[i] <= 0xFF ? char(wide[i]) : '?';
    return out;
}

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

std::string toUtf8(std::u16string_view wide, bool* ok) {
    std::string out;
    out.reserve(wide.size());
    bool good = true;
    for (size_t i = 0; i < wide.size(); ++i) {
        uint32_t c = wide[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            good = false;
            c = 0xFFFD;
        }
        appendUtf8(out, c);
    }
    if (ok) *ok = good;
    return out;
}

std::string latin1ToUtf8(std::string_view narrow) {
    std::string out;
    out.reserve(narrow.size());
    for (char c : narrow) appendUtf8(out, static_cast<unsigned char>(c));
    return out;
}

namespace {
TESSALY_PRINTF_FORMAT(1, 0) std::string vformat(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0) return {};
    std::string out(size_t(n), '\0');
    std::vsnprintf(out.data(), out.size() + 1, format, args);
    return out;
}
}  // namespace

std::string formatNarrow(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string out = vformat(format, args);
    va_end(args);
    return out;
}

std::u16string formatWide(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string out = vformat(format, args);
    va_end(args);
    return toWide(out);
}

char* trim(char* text) {
    size_t n = std::strlen(text);
    while (n > 0 && isBlank(text[n - 1])) --n;
    size_t start = 0;
    while (start < n && isBlank(text[start])) ++start;
    if (start) std::memmove(text, text + start, n - start);
    text[n - start] = 0;
    return text;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

const char* skipBlanks(const char* text) {
    while (isBlank(*text)) ++text;
    return text;
}

namespace {
template <typename C>
bool matchesAt(const C* text, const C* needle) {
    for (; *needle; ++text, ++needle) {
        if (!*text || foldCase(*text) != foldCase(*needle)) return false;
    }
    return true;
}
}  // namespace

const char* findNoCase(const char* haystack, const char* needle) {
    if (!*needle) return haystack;
    const char first = foldCase(*needle);
    for (; *haystack; ++haystack) {
        if (foldCase(*haystack) == first && matchesAt(haystack, needle)) return haystack;
    }
    return nullptr;
}

const char16_t* findNoCase(const char16_t* haystack, const char16_t* needle) {
    if (!*needle) return haystack;
    for (; *haystack; ++haystack) {
        if (matchesAt(haystack, needle)) return haystack;
    }
    return nullptr;
}

const char16_t* findLastNoCase(const char16_t* haystack, const char16_t* needle) {
    const size_t n = textLength(haystack), m = textLength(needle);
    if (m > n) return nullptr;
    for (size_t i = n - m + 1; i-- > 0;) {
        if (matchesAt(haystack + i, needle)) return haystack + i;
    }
    return nullptr;
}

const char* findChar(const char* text, char c) { return std::strchr(text, c); }
const char* findLastChar(const char* text, char c) { return std::strrchr(text, c); }

const char16_t* findChar(const char16_t* text, char16_t c) {
    for (; *text; ++text) {
        if (*text == c) return text;
    }
    return c == 0 ? text : nullptr;
}

const char16_t* findLastChar(const char16_t* text, char16_t c) {
    const char16_t* found = nullptr;
    for (; *text; ++text) {
        if (*text == c) found = text;
    }
    return c == 0 ? text : found;
}

const char* findCharNotEscaped(const char* text, char c) {
    for (const char* p = text; *p; ++p) {
        if (*p == c && (p == text || p[-1] != '\\')) return p;
    }
    return nullptr;
}

void replaceChar(char* text, char from, char to) {
    for (; *text; ++text) {
        if (*text == from) *text = to;
    }
}

void replaceChar(char16_t* text, char16_t from, char16_t to) {
    for (; *text; ++text) {
        if (*text == from) *text = to;
    }
}

bool equal(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

bool equal(const char16_t* a, const char16_t* b) {
    for (; *a && *a == *b; ++a, ++b) {
    }
    return *a == *b;
}

bool equalNoCase(const char* a, const char* b) {
    for (; *a && foldCase(*a) == foldCase(*b); ++a, ++b) {
    }
    return *a == 0 && *b == 0;
}

bool equalNoCase(const char16_t* a, const char16_t* b) {
    for (; *a && foldCase(*a) == foldCase(*b); ++a, ++b) {
    }
    return *a == 0 && *b == 0;
}

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (foldCase(a[i]) != foldCase(b[i])) return false;
    }
    return true;
}

bool startsWithNoCase(const char* text, const char* prefix) { return matchesAt(text, prefix); }

bool containsNoCase(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) return true;
    if (needle.size() > haystack.size()) return false;
    for (size_t i = 0; i + needle.size() <= haystack.size(); ++i) {
        if (equalNoCase(haystack.substr(i, needle.size()), needle)) return true;
    }
    return false;
}

}  // namespace tessaly
