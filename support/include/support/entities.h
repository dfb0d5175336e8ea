#pragma once
// Markup entities: the five named ones (&lt; &gt; &quot; &amp; &apos;) and
// numeric "&#x..;" forms. Narrow text takes exactly two hex digits (one byte);
// wide text takes two to four (one UTF-16 unit). Any other '&' is kept.

#include <cstddef>
#include <string>
#include <string_view>

namespace tessaly {

// Decodes in place, left to right, resuming after each produced character
// (so "&amp;lt;" gives "&lt;"). Returns the new length; the text stays terminated.
size_t unescapeNarrow(char* text, size_t length);
inline size_t unescapeNarrow(std::string& text) {
    text.resize(unescapeNarrow(text.data(), text.size()));
    return text.size();
}

// Decodes n bytes into UTF-16 at dest (room for n units + terminator; the
// output is never longer than the input). Bytes 0x80-0xFF become U+0080-U+00FF.
// Returns the number of units written, not counting the terminator.
size_t unescapeToWide(const char* source, size_t n, char16_t* dest);
std::u16string unescapeToWide(std::string_view source);

#ifdef TESSALY_SUPPORT_DRIVER
// Characters 0-31 become "&#x%02x;" and the five special characters their
// named entities; all other bytes are copied.
void escapeNarrow(std::string_view text, std::string& out);
// As above, and characters of 256 and above become "&#x%04x;".
void escapeWideToNarrow(std::u16string_view text, std::string& out);
#endif

}  // namespace tessaly
