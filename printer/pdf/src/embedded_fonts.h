#pragma once
// The document's embedded fonts as private fonts of the graphics layer. Each
// font of the PDF (one font dictionary, known by its object reference) is
// read once per document and registered under a face name of its own, with
// a character map that leads from a character to the glyph the PDF draws:
// the character is the glyph's Unicode value where the PDF gives one, so
// that the text stays text, else a Private Use value. The registrations go
// when the document closes.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>


#include "platform/gdi_fonts.h"

class GfxFont;
class XRef;

namespace tessaly::pdf {

// One font of the document as the page player draws it.
struct PdfFont {
    // The registered face name (UTF-16); empty when the font has no
    // usable embedded file and is drawn with an installed face instead.
    std::u16string face;
    // Character of each character code (the CID for CID fonts) that draws
    // a glyph of the registered face.
    std::unordered_map<uint32_t, char16_t> keys;
    // Whether a blank (U+0020) draws nothing in the face, so that word gaps
    // can be written as blanks.
    bool spaces = false;

    [[nodiscard]] bool registered() const { return !face.empty(); }
    // The character drawing the code's glyph, 0 when there is none.
    [[nodiscard]] char16_t key(uint32_t code) const {
        const auto found = keys.find(code);
        return found == keys.end() ? 0 : found->second;
    }
};

// The private-use value of the n-th glyph that has no Unicode value of its
// own (or one already taken by another glyph); 0 past the area.
char16_t privateUseKey(size_t n);

// The character one glyph is known by, from the Unicode values the PDF maps
// its code to: a single value of the basic plane as it is; the common Latin
// ligatures (ff, fi, fl, ffi, ffl, st) as their presentation forms; 0 for
// anything else (no value, a value beyond the basic plane, another
// sequence), which then takes a private-use value.
char16_t glyphCharacter(const uint32_t* unicode, int length);

// Assigns characters to glyphs. Codes are offered in order with their glyph
// and Unicode value; a code keeps its Unicode character when that character
// is free or already stands for the same glyph, else the glyph's own
// private-use value (one per glyph) stands for it.
class GlyphKeys {
public:
    // The character for the code, 0 when the private-use area is full.
    char16_t add(uint32_t gid, char16_t unicode);
    [[nodiscard]] bool has(char16_t c) const { return glyphOf_.count(c) != 0; }
    // Gives a character to a glyph without taking it from a code.
    void addCharacter(char16_t c, uint32_t gid) { glyphOf_.emplace(c, gid); }
    // The character -> glyph pairs for the registration, in character order.
    [[nodiscard]] std::vector<std::pair<char32_t, uint32_t>> glyphMap() const;

private:
    std::map<char16_t, uint32_t> glyphOf_;          // character -> glyph
    std::unordered_map<uint32_t, char16_t> privateOf_;  // glyph -> its private-use value
    size_t nextPrivate_ = 0;
};

class FontRegistry {
public:
    FontRegistry();
    ~FontRegistry();
    FontRegistry(const FontRegistry&) = delete;
    FontRegistry& operator=(const FontRegistry&) = delete;

    // The font of a text call: read and registered on first use. Never null.
    const PdfFont& font(GfxFont& font, XRef* xref);
    // The number of faces registered now.
    [[nodiscard]] size_t registeredCount() const { return handles_.size(); }

private:
    PdfFont load(GfxFont& font, XRef* xref);

    std::map<std::pair<int, int>, std::unique_ptr<PdfFont>> fonts_;
    std::vector<HANDLE> handles_;
};

}  // namespace tessaly::pdf
