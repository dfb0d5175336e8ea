#pragma once
// Fonts and texts of the movie. A font holds the outlines of the glyphs its
// texts asked for (1024 units per em) in one glyph shape, with advances,
// bounds and kerning; a text is a list of records (moves, colours, fonts,
// heights and runs of characters) laid out with the font's advances.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "swf/movie_objects.h"

namespace tessaly {

class FontObject;

// Loads glyphs on demand (a system font captured glyph by glyph). Fonts read
// whole from markup have none.
class GlyphSource {
public:
    virtual ~GlyphSource() = default;
    // Adds the glyph of `code` to the font; false when the face has none.
    [[nodiscard]] virtual bool loadGlyph(FontObject& font, uint16_t code) = 0;
};

struct FontGlyph {
    int32_t advance = 0;
    uint32_t useCount = 0;
    uint16_t code = 0;
    uint32_t firstCommand = 0;  // in the font's glyph shape
    uint32_t commandCount = 0;
    int32_t xMin = 0, xMax = 0, yMin = 0, yMax = 0;
};

struct FontKerning {
    int32_t adjustment = 0;
    uint16_t first = 0, second = 0;
};

enum FontStyle : int32_t { kStyleRegular = 0, kStyleBold = 1, kStyleItalic = 2, kStyleBoldItalic = 3 };

class FontObject : public MovieObject {
public:
    static constexpr int32_t kNoKerning = int32_t(0x80000000u);
    static constexpr size_t kMaxName = 64;

    FontObject() : MovieObject(kTypeFont) { reset(); }

    void reset() override;
    void dump(FILE* out, int indent) const override;

    // Empties the font and sets its description.
    void setUp(const std::string& name, int32_t style, int32_t size, int32_t ascent,
               int32_t descent, int32_t leading);
    void setGlyphSource(std::unique_ptr<GlyphSource> source) { source_ = std::move(source); }

    // Appends a glyph whose outline is the glyph shape's commands from
    // firstCommand on (the caller has just added them). Returns its index,
    // or -1 when the code already has a glyph or memory runs out.
    [[nodiscard]] int32_t addGlyph(uint16_t code, int32_t advance, const Bounds& bounds, uint32_t firstCommand);
    // Adds a kerning pair (a later pair for the same codes replaces it).
    bool addKerning(uint16_t first, uint16_t second, int32_t adjustment);

    // The index of the glyph for the code, loading it on first request; with
    // fallback the first glyph when the code has none; -1 otherwise.
    [[nodiscard]] int32_t glyphIndex(uint16_t code, bool fallback);
    // The index without loading, or -1.
    int32_t findGlyph(uint16_t code) const;
    // The adjustment for the pair, or kNoKerning.
    int32_t kerning(uint16_t first, uint16_t second) const;
    void markUsed(uint32_t glyph);
    // Removes unused glyphs (when asked) and kerning pairs whose glyphs are
    // missing or unused; marks the font prepared.
    void prune(bool dropUnusedGlyphs, bool dropDanglingKerning);

    ShapeObject& glyphShape() { return shape_; }
    const ShapeObject& glyphShape() const { return shape_; }
    const std::vector<FontGlyph>& glyphs() const { return glyphs_; }
    const std::vector<FontKerning>& kerningPairs() const { return kerning_; }

    std::string name;
    int32_t style = kStyleRegular;
    int32_t size = 0;
    int32_t ascent = 0, descent = 0, leading = 0;
    bool wideCodes = false;
    bool prepared = false;

private:
    static uint32_t pairKey(uint16_t a, uint16_t b) { return uint32_t(a) << 16 | b; }

    std::vector<FontGlyph> glyphs_;
    std::unordered_map<uint16_t, uint32_t> byCode_;
    ShapeObject shape_;
    std::vector<FontKerning> kerning_;
    std::unordered_map<uint32_t, uint32_t> kerningIndex_;
    std::unique_ptr<GlyphSource> source_;
};

enum TextRecordCode : uint32_t {
    kTextMove = 0,
    kTextColor = 1,
    kTextFont = 2,
    kTextHeight = 3,
    kTextChars = 20,
};

struct TextRecord {
    uint32_t code = 0;
    int32_t x = 0, y = 0;        // MOVE
    uint32_t color = 0;          // COLOR, 0xAARRGGBB
    uint32_t fontId = 0;         // FONT
    FontObject* font = nullptr;  // FONT, not owned
    uint32_t height = 0;         // HEIGHT, twips
    std::u16string chars;        // TEXT
    std::vector<int32_t> advances;
    std::vector<uint32_t> glyphs;  // filled when the text is resolved
};

struct TextPosition {
    int32_t x, y;
};

class TextObject : public MovieObject {
public:
    static constexpr uint32_t kDefaultHeight = 320;

    TextObject() : MovieObject(kTypeText) { reset(); }

    void reset() override;
    int collectDependencies(ByteBuffer& list) const override;
    void dump(FILE* out, int indent) const override;
    // The same records (moves, colours, fonts, heights, characters and advances).
    bool sameContent(const MovieObject& other) const override;

    // Each returns 1, or 0 when memory runs out (the text is then unchanged).
    int moveTo(int32_t x, int32_t y);
    int color(uint32_t color, bool hasAlpha);
    int font(uint32_t fontId, FontObject* font);
    int height(uint32_t twips);
    // Lays the characters out from the pen with the font's advances (and
    // kerning), or with the caller's advances. 0 without a preceding FONT.
    [[nodiscard]] int addText(std::u16string_view text, const int32_t* advances, bool fallback);
    // Lays out characters at given positions: one TEXT record per run of
    // characters on one baseline.
    [[nodiscard]] int addPositionedText(std::u16string_view text, const TextPosition* positions, bool fallback);
    // Looks every character's glyph up; 0 when a TEXT record has no font or a
    // character has no glyph (with fallback, the first glyph stands in).
    [[nodiscard]] int resolve(bool fallback);
    // Appends the records of another resolved text, moved by (dx, dy), so
    // that one text shows both. 0 (and this text unchanged) when either is
    // not resolved, when a position would leave the range a text record can
    // hold, or when memory runs out.
    [[nodiscard]] int appendText(const TextObject& other, int32_t dx, int32_t dy);

    // CRC-32 over the records: equal texts hash alike.
    uint32_t contentHash() const;

    const std::vector<TextRecord>& records() const { return records_; }
    bool usesAlpha() const { return usesAlpha_; }
    bool resolved() const { return resolved_; }
    uint32_t largestGlyphIndex() const { return largestGlyph_; }
    uint32_t largestAdvance() const { return largestAdvance_; }
    int32_t penX() const { return penX_; }
    int32_t penY() const { return penY_; }
    uint32_t currentHeight() const { return height_; }

private:
    [[nodiscard]] bool append(TextRecord&& record);
    const TextRecord* currentFont() const;

    std::vector<TextRecord> records_;
    int32_t penX_ = 0, penY_ = 0;
    uint32_t color_ = 0;
    int32_t fontRecord_ = -1;
    uint32_t height_ = kDefaultHeight;
    bool usesAlpha_ = false;
    bool resolved_ = false;
    uint32_t largestGlyph_ = 0;
    uint32_t largestAdvance_ = 0;
};

}  // namespace tessaly
