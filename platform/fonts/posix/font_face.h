#pragma once
// Internal to the POSIX font layer: a realized font (a fontconfig match loaded
// into FreeType at the requested em) and the helpers the GDI entry points and
// the enumeration share.

#include <cstdint>
#include <map>
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

// The bytes of a registered font, shared by every face opened from them.
using FontBytes = std::shared_ptr<const std::vector<uint8_t>>;
// Unicode value to glyph index, replacing a face's own character map.
using GlyphMap = std::map<char32_t, uint32_t>;

// Owns one FreeType library instance and one face; FreeType objects are not
// shared between threads, so every realized font has its own library.
class FreeTypeFace {
public:
    FreeTypeFace() = default;
    ~FreeTypeFace();
    FreeTypeFace(const FreeTypeFace&) = delete;
    FreeTypeFace& operator=(const FreeTypeFace&) = delete;

    bool open(const char* path, int index);
    // A face of font bytes in memory, which the face keeps alive.
    bool open(FontBytes bytes, int index);
    FT_Face face() const { return face_; }

private:
    bool init();

    FontBytes bytes_;
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
};

// One face of a private font registration.
struct PrivateFace {
    FontBytes bytes;
    int index = 0;
    std::string family;  // UTF-8, the name it was registered under
    int weight = FW_NORMAL;
    bool italic = false;
    std::shared_ptr<const GlyphMap> glyphMap;  // null: the face's own map
};
// The registered faces of a family (compared without case), oldest first;
// every registered face when `family` is empty.
std::vector<PrivateFace> privateFaces(const std::string& family);

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
    // The characters (up to U+FFFF) the font maps and their glyphs, in
    // character order: the registered map of a private font, else the face's.
    std::vector<std::pair<char32_t, FT_UInt>> characters() const;
    // The family name of a private font as registered; empty for installed
    // faces.
    const std::string& privateFamily() const { return privateFamily_; }
    // Whether bold or italic is drawn by emboldening or slanting the outlines.
    bool simulatedBold() const { return embolden_; }
    bool simulatedItalic() const { return slant_[1] != 0 || slant_[2] != 0; }

private:
    RealizedFont() = default;
    // Finds the face through fontconfig.
    bool realizeInstalled(const std::string& family);

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
    std::shared_ptr<const GlyphMap> glyphMap_;
    std::string privateFamily_;
    bool kerningRead_ = false;
    std::vector<KERNINGPAIR> kerning_;
};

}  // namespace tessaly::fonts
