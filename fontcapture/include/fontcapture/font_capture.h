#pragma once
// Glyph capture: a system font taken glyph by glyph through the GDI font
// services at an em of 1024 units, with its metrics and kerning pairs, and
// written out as a font file in MML. Shared by the application (system fonts
// named in markup) and the printer driver (fonts of printed text).
//
// Coordinates are integers in units of the 1024-unit em, y downward. Every
// stored point lies in -32767 ... 32766.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gdi_fonts.h"

namespace tessaly {

struct OutlinePoint {
    int32_t x = 0;
    int32_t y = 0;
    friend bool operator==(const OutlinePoint&, const OutlinePoint&) = default;
};

enum class OutlineCommandKind : uint8_t { Move, Line, Quadratic, Cubic, LineStyle, FillStyle };

// Points used per kind: Move and Line the end point in [0]; Quadratic the
// control in [0] and the end in [1]; Cubic two controls in [0] and [1] and
// the end in [2]. LineStyle and FillStyle carry a style index instead.
struct OutlineCommand {
    OutlineCommandKind kind = OutlineCommandKind::Move;
    std::array<OutlinePoint, 3> points{};
    int32_t style = 0;
};

// A list of drawing commands that clamps every point into -32767 ... 32766
// and drops what draws nothing: a line to the current point, and a curve
// whose control and end points all equal the current point.
class GlyphOutline {
public:
    static constexpr int32_t kMinCoordinate = -32767;
    static constexpr int32_t kMaxCoordinate = 32766;

    void moveTo(OutlinePoint p);
    void lineTo(OutlinePoint p);
    void quadraticTo(OutlinePoint control, OutlinePoint end);
    void cubicTo(OutlinePoint control1, OutlinePoint control2, OutlinePoint end);
    void setLineStyle(int32_t index);
    void setFillStyle(int32_t index);

    const std::vector<OutlineCommand>& commands() const { return commands_; }
    size_t size() const { return commands_.size(); }
    // Drops the commands from index n on (undoing a glyph that failed).
    void truncate(size_t n);
    OutlinePoint current() const { return current_; }

private:
    std::vector<OutlineCommand> commands_;
    OutlinePoint current_;
};

struct GlyphRecord {
    int32_t advance = 0;
    int32_t used = 0;  // always 0 when captured
    uint16_t code = 0;
    uint32_t firstCommand = 0;
    uint32_t commandCount = 0;
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

struct KerningRecord {
    uint16_t first = 0;
    uint16_t second = 0;
    int32_t amount = 0;
};

// Appends the commands of one glyph's native outline (TTPOLYGONHEADER and
// TTPOLYCURVE records, 16.16 values, y up) to `outline`: per contour a move
// to its start, lines, quadratic curves (a QSPLINE of p points gives p - 1
// curves whose ends are the midpoints of consecutive controls, the last
// ending on the final point), cubic curves (a CSPLINE of 3k points gives k
// curves), then a line back to the start. Values are rounded to integers
// and y is negated. Returns 1, or 0 for a malformed buffer (a record running
// past its contour, an unknown record or contour type, a CSPLINE whose point
// count is not a multiple of 3); on 0 the outline keeps what was appended,
// so callers truncate.
[[nodiscard]] int appendNativeOutline(const void* data, size_t size, GlyphOutline& outline);

// Style bits of a captured font.
constexpr int32_t kFontStyleBold = 1;
constexpr int32_t kFontStyleItalic = 2;

class CapturedFont {
public:
    static constexpr size_t kFaceNameSize = 65;  // 64 bytes and the NUL
    static constexpr int kEm = 1024;

    // Takes the font `faceName` (ANSI, cut to 64 bytes) with the style bits
    // and GDI character set (-1: the set that the face's enumeration offers
    // first for that style) from the system, with the glyph of the space,
    // the metrics and all kerning pairs. Null when the font cannot be made
    // or its metrics or kerning pairs cannot be read.
    static std::unique_ptr<CapturedFont> capture(std::string_view faceName, int32_t style, int32_t charSet);

    ~CapturedFont();
    CapturedFont(const CapturedFont&) = delete;
    CapturedFont& operator=(const CapturedFont&) = delete;

    // Makes sure the font has a glyph for the character; 1 when it has one
    // afterwards, 0 when the glyph could not be outlined (it is left out).
    [[nodiscard]] int addGlyph(uint16_t code);
    // addGlyph for every character; the number of characters without a glyph.
    size_t addGlyphs(std::u16string_view text);
    const GlyphRecord* findGlyph(uint16_t code) const;

    uint32_t id() const { return id_; }
    void setId(uint32_t id) { id_ = id; }
    const char* faceName() const { return faceName_; }
    int32_t style() const { return style_; }
    int32_t charSet() const { return charSet_; }
    int32_t ascent() const { return ascent_; }
    int32_t descent() const { return descent_; }
    int32_t leading() const { return leading_; }
    const std::vector<GlyphRecord>& glyphs() const { return glyphs_; }
    const GlyphOutline& outline() const { return outline_; }
    const std::vector<KerningRecord>& kerning() const { return kerning_; }

private:
    CapturedFont() = default;

    uint32_t id_ = 0;
    char faceName_[kFaceNameSize] = {};
    int32_t style_ = 0;
    int32_t charSet_ = -1;
    HDC dc_ = nullptr;
    HFONT font_ = nullptr;
    HGDIOBJ previousFont_ = nullptr;
    int32_t ascent_ = 0;
    int32_t descent_ = 0;
    int32_t leading_ = 0;
    std::vector<GlyphRecord> glyphs_;
    GlyphOutline outline_;
    std::vector<KerningRecord> kerning_;
};

// The font file: a <Font> element with the metrics, one <Glyph> per glyph in
// table order with its outline commands, and the kerning pairs.
std::string fontFileMml(const CapturedFont& font);

// The `char` attribute form of a character: codes of 256 and above as
// "&#x" and at least four lowercase hex digits; below 256 the byte itself,
// with codes 0-31 as "&#x%02x;" and the five markup characters as entities.
void appendEscapedCharacter(uint16_t code, std::string& out);

}  // namespace tessaly
