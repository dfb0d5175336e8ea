#pragma once
// Glyph handles back to characters. Text may reach the driver as glyph
// indices only, or, for DBCS fonts, with characters that the font does not
// hold; the font's glyph set (its runs of characters with their handles)
// turns the handles back into characters. The device keeps one glyph set
// per (style code, face name without case) for the length of a job.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/winddi.h"

namespace tessaly::pagesmith {

class GlyphSet {
public:
    struct Run {
        uint16_t first = 0;
        uint32_t count = 0;
        std::vector<HGLYPH> handles;  // empty when the handles are the characters
    };

    // The runs of an engine glyph set; a set whose handles are the Unicode
    // values (GS_UNICODE_HANDLES) keeps no handle arrays. Throws bad_alloc.
    static GlyphSet fromEngine(const FD_GLYPHSET& set);

    // The character of a handle: the first character of the first run that
    // holds it, or 0 when no run does.
    char16_t character(HGLYPH handle) const;
    // Whether a run holds the character.
    bool covers(char16_t c) const;
    const std::vector<Run>& runs() const { return runs_; }

private:
    std::vector<Run> runs_;
    bool unicodeHandles_ = false;
    std::unordered_map<HGLYPH, char16_t> characters_;  // explicit handles only
    std::vector<std::pair<uint32_t, uint32_t>> ranges_;  // [first, end) sorted, for covers
};

// Glyph-index text as characters: each index maps through the set, an index
// seen earlier in the string takes the character it got the first time, and
// an index that maps to nothing (or to 0) becomes a blank.
std::u16string charactersOfGlyphs(const GlyphSet& set, std::span<const HGLYPH> glyphs);

// DBCS text whose characters the font does not hold: each such character is
// replaced by the character at an earlier position with the same handle, else
// by the handle's own character, else a blank. `handles` has one entry per
// character.
void repairDbcsText(const GlyphSet& set, std::span<const HGLYPH> handles, std::u16string& text);

// The device's glyph sets of the job, keyed by style code and face name
// (without case).
class GlyphSetCache {
public:
    // The entry for the font, made from its glyph set on first use; null
    // when there is none and `engineSet` is null. Throws bad_alloc.
    const GlyphSet* find(int32_t style, std::u16string_view face, const FD_GLYPHSET* engineSet);
    void clear() { entries_.clear(); }
    size_t size() const { return entries_.size(); }

private:
    struct Entry {
        int32_t style = 0;
        std::u16string face;  // case folded
        std::unique_ptr<GlyphSet> set;
    };
    std::vector<Entry> entries_;
};

}  // namespace tessaly::pagesmith
