#pragma once
// Internal to the POSIX font layer: a realized font (a fontconfig match loaded
// into FreeType at the requested em) and the helpers the GDI entry points and
// the enumeration share.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "platform/gdi_fonts.h"

namespace tessaly::fonts {

// One character set of the Windows font mapper: the OS/2 code-page bit that
// declares it, its script name and characters that a font must hold for it.
struct CharsetInfo {
    BYTE charset;
    int codePageBit;
    const char* script;
    char32_t samples[3];
};
const CharsetInfo* findCharset(BYTE charset);
// Script name for the enumeration ("Western", "Cyrillic", ...).
const char* charsetScript(BYTE charset);
// The character sets a face supports, the font's preferred one first.
std::vector<BYTE> faceCharsets(FT_Face face);

// Owns one FreeType library instance and one face; FreeType objects are not
// shared between threads, so every realized font has its own library.
class FreeTypeFace {
public:
    FreeTypeFace() = default;
    ~FreeTypeFace();
    FreeTypeFace(const FreeTypeFace&) = delete;
    FreeTypeFace& operator=(const FreeTypeFace&) = delete;

    bool open(const char* path, int index);
    FT_Face face() const { return face_; }

private:
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
};

// Design metrics of a face in font units, the way Windows reads them.
struct DesignMetrics {
    double ascent = 0;   // usWinAscent
    double descent = 0;  // usWinDescent
    double lineGap = 0;  // external leading
};
DesignMetrics designMetrics(FT_Face face);

// Fills a TEXTMETRICW for the face at an em of `em` units (scale em/upem).
void faceTextMetrics(FT_Face face, int em, TEXTMETRICW* out);

// Initialises fontconfig once per process.
void initFontconfig();

// True for a live information context handle.
bool validDc(HDC dc);

// UTF-8 to narrow (Latin-1) text; other characters become '?'.
std::string utf8ToNarrow(const char* utf8);

class RealizedFont {
public:
    // Finds and loads the face for a logical font; null when no face loads.
    static std::unique_ptr<RealizedFont> realize(const LOGFONTW& logFont);

    void textMetrics(TEXTMETRICW* out) const;
    // GetGlyphOutlineW for GGO_METRICS and GGO_NATIVE.
    DWORD glyphOutline(UINT character, UINT format, GLYPHMETRICS* metrics, DWORD bufferSize,
                       void* buffer, const MAT2& matrix);
    const std::vector<KERNINGPAIR>& kerningPairs();

    // For the graphics engine's realized fonts: the face, the em in pixels
    // and the glyph a character maps to (0 when the face lacks it).
    FT_Face ftFace() const { return face_.face(); }
    int em() const { return em_; }
    const std::string& filePath() const { return filePath_; }
    FT_UInt glyphIndex(UINT character) const;

private:
    RealizedFont() = default;

    LOGFONTW logFont_{};
    FreeTypeFace face_;
    std::string filePath_;
    int em_ = 0;
    double scale_ = 0;  // em / units per em
    // Synthetic slant and weight that fontconfig asks for when the family
    // lacks the requested style.
    double slant_[4] = {1, 0, 0, 1};  // xx, xy, yx, yy
    bool embolden_ = false;
    bool symbolMap_ = false;
    bool kerningRead_ = false;
    std::vector<KERNINGPAIR> kerning_;
};

}  // namespace tessaly::fonts
