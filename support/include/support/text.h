#pragma once
// Narrow and wide strings. Narrow text is bytes of the ANSI code page, which
// here maps bytes 0x00-0xFF to U+0000-U+00FF; wide text is UTF-16 (char16_t).
// Case-insensitive comparison folds ASCII and Latin-1 letters.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "support/format_check.h"

namespace tessaly {

// Lower-case one narrow byte (ASCII and Latin-1 letters; 0xD7 and 0xDF stay).
inline char foldCase(char c) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7)) return char(u + 0x20);
    return c;
}
inline char16_t foldCase(char16_t c) {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return char16_t(c + 0x20);
    return c;
}

size_t textLength(const char16_t* text);

// Copies at most n - 1 characters and always terminates (nothing for n = 0).
// The wide form takes n in bytes. Both return the characters copied.
size_t boundedCopy(char* dest, const char* source, size_t n);
size_t boundedCopy(char16_t* dest, const char16_t* source, size_t nBytes);

// Wide to narrow: at most n - 1 bytes, always terminated; returns the byte
// count (0 for n = 0). Characters above U+00FF have no narrow form and become '?'.
size_t toNarrow(char* dest, const char16_t* wide, size_t n);
// Narrow to wide: at most n/2 - 1 characters, always terminated; returns the
// bytes written (2 per character); 0 for n < 2.
size_t toWide(char16_t* dest, const char* narrow, size_t nBytes);
std::u16string toWide(std::string_view narrow);
std::string toNarrow(std::u16string_view wide);
// UTF-8 for the file system and the terminal.
std::string toUtf8(std::u16string_view wide, bool* ok = nullptr);
// Appends one code point (at most U+10FFFF) in UTF-8.
void appendUtf8(std::string& out, uint32_t codePoint);
std::string latin1ToUtf8(std::string_view narrow);

// printf-style formatting into a new string; the wide form formats narrow
// text and widens it.
std::string formatNarrow(const char* format, ...) TESSALY_PRINTF_FORMAT(1, 2);
std::u16string formatWide(const char* format, ...) TESSALY_PRINTF_FORMAT(1, 2);

[[nodiscard]] inline bool isBlank(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}
// Removes characters with codes 1-32 at both ends, in place; returns text.
char* trim(char* text);
std::string_view trim(std::string_view text);
// Past leading characters with codes 1-32.
const char* skipBlanks(const char* text);

// Case-insensitive substring search; null when absent. findLastNoCase searches
// from the end.
const char* findNoCase(const char* haystack, const char* needle);
const char16_t* findNoCase(const char16_t* haystack, const char16_t* needle);
const char16_t* findLastNoCase(const char16_t* haystack, const char16_t* needle);
const char* findChar(const char* text, char c);
const char* findLastChar(const char* text, char c);
const char16_t* findChar(const char16_t* text, char16_t c);
const char16_t* findLastChar(const char16_t* text, char16_t c);
// The first c that is not directly preceded by a backslash.
const char* findCharNotEscaped(const char* text, char c);

void replaceChar(char* text, char from, char to);
void replaceChar(char16_t* text, char16_t from, char16_t to);

[[nodiscard]] bool equal(const char* a, const char* b);
[[nodiscard]] bool equal(const char16_t* a, const char16_t* b);
[[nodiscard]] bool equalNoCase(const char* a, const char* b);
[[nodiscard]] bool equalNoCase(const char16_t* a, const char16_t* b);
[[nodiscard]] bool equalNoCase(std::string_view a, std::string_view b);
[[nodiscard]] bool startsWithNoCase(const char* text, const char* prefix);
// Case-insensitive keyword test used by markup keyword lists.
[[nodiscard]] bool containsNoCase(std::string_view haystack, std::string_view needle);

}  // namespace tessaly
