#pragma once
// Value syntaxes shared by everything that reads MML attributes: strict
// numbers, colours, point and rectangle lists, matrices and keyword lists.
// They work on any text, so the interpreter and the settings reader can use
// them on values they took from the reader or built themselves.
//
// Parsers return 1 on success and 0 for empty or malformed text; their output
// is written only on success unless a function says otherwise.

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace tessaly {

// Optional leading '-', decimal digits and at most one '.'; nothing else.
[[nodiscard]] int parseStrictReal(std::string_view text, double* out);
// Optional leading '-' and decimal digits (32-bit range).
[[nodiscard]] int parseStrictInteger(std::string_view text, int32_t* out);
// Decimal digits only (32-bit range).
[[nodiscard]] int parseUnsignedInteger(std::string_view text, uint32_t* out);

// The lenient real of attribute values: skips leading bytes 1-32, then reads
// the longest leading decimal number (sign, fraction, exponent) and ignores
// the rest. Returns 0 and sets *out to 0 when the text holds no leading
// number or the number is not finite.
int parseLenientReal(std::string_view text, double* out);

// A colour as written: value 0xAARRGGBB, with alpha only when the value is
// above 0xFFFFFF (#00FF0000 therefore is opaque red, not transparent).
struct MmlColor {
    uint32_t value = 0;
    bool hasAlpha = false;

    uint32_t rgb() const { return value & 0xFFFFFF; }
    uint8_t alpha() const { return hasAlpha ? uint8_t(value >> 24) : 0xFF; }
    // 0xAARRGGBB with 0xFF as alpha when none was written.
    uint32_t argb() const { return hasAlpha ? value : (value | 0xFF000000u); }
};
// Optional '#', optional "0x"/"0X", 1 to 8 hexadecimal digits.
[[nodiscard]] int parseColor(std::string_view text, MmlColor* out);

struct MmlPoint {
    double x = 0;
    double y = 0;
};
// "x,y;x,y;..." with lenient reals; a segment without ',' ends the list, so a
// trailing ';' is harmless. Returns the points read (possibly none).
std::vector<MmlPoint> parsePointList(std::string_view text);

struct MmlRect {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};
// "x1,y1,x2,y2;..." with lenient reals; a segment with fewer than four
// coordinates ends the list.
std::vector<MmlRect> parseRectList(std::string_view text);

struct MmlMatrix {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
};
// "a,b,c,d,tx,ty": strict reals, each allowed blanks (bytes 1-32) around it.
// Entries not written keep the identity defaults; reading stops at the first
// entry that is not a strict real, which keeps its default as well. Returns 0
// (matrix absent, *out untouched) when the first entry does not parse.
[[nodiscard]] int parseMatrix(std::string_view text, MmlMatrix* out);

// Keyword lists ("style", "flags", "side", ...): a keyword is present when it
// occurs anywhere in the value, ignoring case, so any separator works.
[[nodiscard]] bool hasKeyword(std::string_view list, std::string_view keyword);

struct MmlKeyword {
    std::string_view word;
    uint32_t flag;
};
// The OR of the flags of every keyword present in the list.
uint32_t keywordFlags(std::string_view list, std::initializer_list<MmlKeyword> keywords);

}  // namespace tessaly
