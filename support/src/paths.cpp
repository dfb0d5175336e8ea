#include "support/paths.h"

#include <algorithm>

namespace tessaly {

namespace {

template <typename Char>
constexpr bool isSeparator(Char c) {
    return c == Char('/') || c == Char('\\');
}

template <typename Char>
constexpr bool isAsciiLetter(Char c) {
    return (c >= Char('a') && c <= Char('z')) || (c >= Char('A') && c <= Char('Z'));
}

template <typename Char>
bool isAbsoluteImpl(std::basic_string_view<Char> path) {
    if (path.empty()) return false;
    if (isSeparator(path[0])) return true;
    return path.size() >= 4 && isAsciiLetter(path[0]) && path[1] == Char(':') &&
           isSeparator(path[2]);
}

template <typename Char>
size_t lastSeparator(std::basic_string_view<Char> path) {
    for (size_t i = path.size(); i > 0; --i) {
        if (isSeparator(path[i - 1])) return i - 1;
    }
    return std::basic_string_view<Char>::npos;
}

template <typename Char>
std::optional<std::basic_string<Char>> directoryPartImpl(std::basic_string_view<Char> path) {
    const size_t at = lastSeparator(path);
    if (at == std::basic_string_view<Char>::npos) return std::nullopt;
    return std::basic_string<Char>(path.substr(0, at + 1));
}

template <typename Char>
std::basic_string_view<Char> fileNamePartImpl(std::basic_string_view<Char> path) {
    const size_t at = lastSeparator(path);
    return at == std::basic_string_view<Char>::npos ? path : path.substr(at + 1);
}

template <typename Char>
void appendSeparatorImpl(std::basic_string<Char>& path, Char separator) {
    if (path.empty() || path.back() != separator) path.push_back(separator);
}

}  // namespace

void backslashesToSlashes(std::string& path) { std::replace(path.begin(), path.end(), '\\', '/'); }

void backslashesToSlashes(std::u16string& path) {
    std::replace(path.begin(), path.end(), u'\\', u'/');
}

void normaliseSeparators(std::string& path) {
    size_t out = 0;
    bool afterSeparator = false;
    for (const char c : path) {
        if (isSeparator(c)) {
            if (!afterSeparator) path[out++] = '/';
            afterSeparator = true;
        } else {
            path[out++] = c;
            afterSeparator = false;
        }
    }
    path.resize(out);
}

bool isAbsolutePath(std::string_view path) { return isAbsoluteImpl(path); }
bool isAbsolutePath(std::u16string_view path) { return isAbsoluteImpl(path); }

std::optional<std::string> directoryPart(std::string_view path) { return directoryPartImpl(path); }
std::optional<std::u16string> directoryPart(std::u16string_view path) {
    return directoryPartImpl(path);
}

std::string_view fileNamePart(std::string_view path) { return fileNamePartImpl(path); }
std::u16string_view fileNamePart(std::u16string_view path) { return fileNamePartImpl(path); }

void appendSeparator(std::string& path, char separator) { appendSeparatorImpl(path, separator); }
void appendSeparator(std::u16string& path, char16_t separator) {
    appendSeparatorImpl(path, separator);
}

std::optional<std::string> pathToUtf8(std::u16string_view path) {
    std::string out;
    out.reserve(path.size());
    for (size_t i = 0; i < path.size(); ++i) {
        char32_t c = path[i];
        if (c >= 0xD800 && c <= 0xDFFF) {
            // A high surrogate must be followed by a low one.
            if (c >= 0xDC00 || i + 1 >= path.size()) return std::nullopt;
            const char32_t low = path[i + 1];
            if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            out.push_back(char(c));
        } else if (c < 0x800) {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(char(0xE0 | (c >> 12)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (c >> 18)));
            out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::u16string pathFromUtf8(std::string_view path) {
    std::u16string out;
    out.reserve(path.size());
    size_t i = 0;
    while (i < path.size()) {
        const auto lead = uint8_t(path[i]);
        size_t extra = 0;
        char32_t c = 0;
        char32_t minimum = 0;
        if (lead < 0x80) {
            out.push_back(char16_t(lead));
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1, c = lead & 0x1F, minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2, c = lead & 0x0F, minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3, c = lead & 0x07, minimum = 0x10000;
        } else {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        size_t k = 1;
        for (; k <= extra && i + k < path.size(); ++k) {
            const auto b = uint8_t(path[i + k]);
            if ((b & 0xC0) != 0x80) break;
            c = (c << 6) | (b & 0x3F);
        }
        if (k <= extra || c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            // Malformed: replace the lead byte and resynchronise after it.
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(char16_t(0xD800 + (c >> 10)));
            out.push_back(char16_t(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(char16_t(c));
        }
        i += extra + 1;
    }
    return out;
}

}  // namespace tessaly
