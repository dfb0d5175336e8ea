// Realizing a logical font: fontconfig chooses the face, FreeType reads its
// outlines, metrics and kerning in font units, and everything is scaled here
// to the requested em so that the values match what GDI reports.

#include "font_face.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

#include <fontconfig/fontconfig.h>
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H

#include "support/text.h"

namespace tessaly::fonts {

namespace {

constexpr CharsetInfo kCharsets[] = {
    {ANSI_CHARSET, 0, "Western", {0x41, 0xE9, 0xDF}},
    {EASTEUROPE_CHARSET, 1, "Central European", {0x0150, 0x0171, 0x010C}},
    {RUSSIAN_CHARSET, 2, "Cyrillic", {0x0416, 0x0436, 0x0401}},
    {GREEK_CHARSET, 3, "Greek", {0x03A9, 0x03B1, 0x0386}},
    {TURKISH_CHARSET, 4, "Turkish", {0x011E, 0x0130, 0x015F}},
    {HEBREW_CHARSET, 5, "Hebrew", {0x05D0, 0x05E9, 0x05EA}},
    {ARABIC_CHARSET, 6, "Arabic", {0x0627, 0x0628, 0x0644}},
    {BALTIC_CHARSET, 7, "Baltic", {0x0100, 0x0116, 0x0172}},
    {VIETNAMESE_CHARSET, 8, "Vietnamese", {0x01A0, 0x01AF, 0x20AB}},
    {THAI_CHARSET, 16, "Thai", {0x0E01, 0x0E02, 0x0E03}},
    {SHIFTJIS_CHARSET, 17, "Japanese", {0x3042, 0x30A2, 0x65E5}},
    {GB2312_CHARSET, 18, "CHINESE_GB2312", {0x4E2D, 0x6587, 0x56FD}},
    {HANGUL_CHARSET, 19, "Hangul", {0xAC00, 0xD55C, 0xAE00}},
    {CHINESEBIG5_CHARSET, 20, "CHINESE_BIG5", {0x4E2D, 0x6587, 0x570B}},
    {JOHAB_CHARSET, 21, "Johab", {0xAC00, 0xD55C, 0xAE00}},
    {SYMBOL_CHARSET, 31, "Symbol", {0, 0, 0}},
};

bool hasSymbolMap(FT_Face face) {
    return face->charmap && face->charmap->encoding == FT_ENCODING_MS_SYMBOL;
}

// Unicode charmap when there is one, else the symbol map, else what FreeType chose.
void selectCharmap(FT_Face face) {
    if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0)
        FT_Select_Charmap(face, FT_ENCODING_MS_SYMBOL);
}

int32_t clampToInt32(double v) {
    if (!(v > -2147483648.0)) return INT32_MIN;  // also NaN
    if (v > 2147483647.0) return INT32_MAX;
    return static_cast<int32_t>(std::llround(v));
}

int16_t clampToShort(double v) {
    const long long r = std::llround(std::clamp(v, -32768.0, 32767.0));
    return static_cast<int16_t>(r);
}

double fixedToDouble(FIXED f) {
    return f.value + f.fract / 65536.0;
}

FIXED toFixed(int32_t v) {
    FIXED f;
    f.fract = static_cast<WORD>(static_cast<uint32_t>(v) & 0xFFFFu);
    f.value = static_cast<SHORT>(static_cast<int32_t>(static_cast<uint32_t>(v) >> 16));
    return f;
}

struct FixedPoint {
    int32_t x = 0;
    int32_t y = 0;
};

FixedPoint midpoint(FixedPoint a, FixedPoint b) {
    return {static_cast<int32_t>((int64_t(a.x) + b.x) / 2), static_cast<int32_t>((int64_t(a.y) + b.y) / 2)};
}

// Writes the native polygon records of one outline.
class NativeWriter {
public:
    std::vector<uint8_t> bytes;

    void beginContour(FixedPoint start) {
        contourStart_ = bytes.size();
        TTPOLYGONHEADER header{};
        header.dwType = TT_POLYGON_TYPE;
        header.pfxStart.x = toFixed(start.x);
        header.pfxStart.y = toFixed(start.y);
        append(&header, sizeof header);
        lastType_ = 0;
    }
    void endContour() {
        const auto cb = static_cast<DWORD>(bytes.size() - contourStart_);
        std::memcpy(bytes.data() + contourStart_, &cb, sizeof cb);
    }
    // Appends points to a record of the given type; `merge` continues the
    // previous record when it has the same type.
    void points(WORD type, const FixedPoint* p, size_t n, bool merge) {
        if (n == 0) return;
        if (!merge || lastType_ != type) {
            recordStart_ = bytes.size();
            const WORD head[2] = {type, 0};
            append(head, sizeof head);
            lastType_ = type;
        }
        for (size_t i = 0; i < n; ++i) {
            POINTFX fx;
            fx.x = toFixed(p[i].x);
            fx.y = toFixed(p[i].y);
            append(&fx, sizeof fx);
        }
        WORD count;
        std::memcpy(&count, bytes.data() + recordStart_ + 2, sizeof count);
        count = static_cast<WORD>(count + n);
        std::memcpy(bytes.data() + recordStart_ + 2, &count, sizeof count);
    }
    void line(FixedPoint p) { points(TT_PRIM_LINE, &p, 1, true); }

private:
    void append(const void* data, size_t n) {
        const auto* b = static_cast<const uint8_t*>(data);
        bytes.insert(bytes.end(), b, b + n);
    }
    size_t contourStart_ = 0;
    size_t recordStart_ = 0;
    WORD lastType_ = 0;
};

// One contour of FreeType points (tags: on, conic, cubic) as native records.
void writeContour(NativeWriter& out, const std::vector<FixedPoint>& pts, const std::vector<int>& tags) {
    const size_t n = pts.size();
    if (n < 2) return;
    size_t first = n;
    for (size_t i = 0; i < n; ++i) {
        if (tags[i] == FT_CURVE_TAG_ON) {
            first = i;
            break;
        }
    }
    // The walk: every point after the start, then the start again to close.
    std::vector<std::pair<FixedPoint, int>> walk;
    FixedPoint start;
    if (first == n) {
        // Only conic control points: the contour starts at an implied midpoint.
        start = midpoint(pts[n - 1], pts[0]);
        for (size_t i = 0; i < n; ++i) walk.emplace_back(pts[i], tags[i]);
    } else {
        start = pts[first];
        for (size_t k = 1; k < n; ++k) {
            const size_t i = (first + k) % n;
            walk.emplace_back(pts[i], tags[i]);
        }
    }
    walk.emplace_back(start, FT_CURVE_TAG_ON);

    out.beginContour(start);
    std::vector<FixedPoint> controls;
    int controlKind = FT_CURVE_TAG_ON;  // kind of the pending controls
    auto controlsAsLines = [&] {
        for (const auto& c : controls) out.line(c);
        controls.clear();
    };
    for (size_t k = 0; k < walk.size(); ++k) {
        const auto [p, tag] = walk[k];
        const bool closing = k + 1 == walk.size();
        if (tag == FT_CURVE_TAG_ON) {
            if (!controls.empty() && controlKind == FT_CURVE_TAG_CONIC) {
                controls.push_back(p);
                out.points(TT_PRIM_QSPLINE, controls.data(), controls.size(), false);
                controls.clear();
            } else if (controls.size() == 2 && controlKind == FT_CURVE_TAG_CUBIC) {
                controls.push_back(p);
                out.points(TT_PRIM_CSPLINE, controls.data(), controls.size(), true);
                controls.clear();
            } else {
                controlsAsLines();  // a malformed cubic run
                if (!closing) out.line(p);  // the closing line is implied
            }
        } else {
            if (!controls.empty() && controlKind != tag) controlsAsLines();
            if (tag == FT_CURVE_TAG_CUBIC && controls.size() == 2) {
                out.line(controls.front());
                controls.erase(controls.begin());
            }
            controlKind = tag;
            controls.push_back(p);
        }
    }
    out.endContour();
}

}  // namespace

void initFontconfig() {
    static std::once_flag once;
    std::call_once(once, [] {
        // FcInit keeps a few blocks that only FcFini gives back; release
        // them at exit so leak checkers see a clean process.
        if (FcInit()) std::atexit(FcFini);
    });
}

const CharsetInfo* findCharset(BYTE charset) {
    for (const auto& c : kCharsets)
        if (c.charset == charset) return &c;
    return nullptr;
}

const char* charsetScript(BYTE charset) {
    const CharsetInfo* info = findCharset(charset);
    return info ? info->script : "";
}

std::vector<BYTE> faceCharsets(FT_Face face) {
    std::vector<BYTE> sets;
    if (hasSymbolMap(face)) {
        sets.push_back(SYMBOL_CHARSET);
        return sets;
    }
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF && os2->version >= 1 && os2->ulCodePageRange1 != 0) {
        for (const auto& c : kCharsets)
            if (os2->ulCodePageRange1 & (1u << c.codePageBit)) sets.push_back(c.charset);
        if (!sets.empty()) return sets;
    }
    // No code-page declaration: judge by the characters the face maps.
    for (const auto& c : kCharsets) {
        if (c.charset == SYMBOL_CHARSET) continue;
        bool all = true;
        for (char32_t ch : c.samples) all = all && FT_Get_Char_Index(face, ch) != 0;
        if (all) sets.push_back(c.charset);
    }
    if (sets.empty()) sets.push_back(ANSI_CHARSET);
    return sets;
}

FreeTypeFace::~FreeTypeFace() {
    if (face_) FT_Done_Face(face_);
    if (library_) FT_Done_FreeType(library_);
}

bool FreeTypeFace::init() {
    if (face_ || library_) return false;  // opened once
    if (FT_Init_FreeType(&library_) != 0) {
        library_ = nullptr;
        return false;
    }
    return true;
}

bool FreeTypeFace::open(FontBytes bytes, int index) {
    if (!bytes || bytes->empty() || !init()) return false;
    bytes_ = std::move(bytes);
    if (FT_New_Memory_Face(library_, bytes_->data(), static_cast<FT_Long>(bytes_->size()), index, &face_) != 0) {
        face_ = nullptr;
        return false;
    }
    selectCharmap(face_);
    return true;
}

bool FreeTypeFace::open(const char* path, int index) {
    if (!init()) return false;
    if (FT_New_Face(library_, path, index, &face_) != 0) {
        face_ = nullptr;
        return false;
    }
    selectCharmap(face_);
    return true;
}

DesignMetrics designMetrics(FT_Face face) {
    DesignMetrics m;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
    if (os2 && os2->version != 0xFFFF && (os2->usWinAscent || os2->usWinDescent)) {
        m.ascent = os2->usWinAscent;
        m.descent = os2->usWinDescent;
    } else {
        m.ascent = face->ascender;
        m.descent = -face->descender;
    }
    if (hhea) {
        const double gap = hhea->Line_Gap - ((m.ascent + m.descent) - (hhea->Ascender - hhea->Descender));
        m.lineGap = std::max(0.0, gap);
    }
    return m;
}

void faceTextMetrics(FT_Face face, int em, TEXTMETRICW* out) {
    *out = TEXTMETRICW{};
    const double upem = face->units_per_EM ? face->units_per_EM : 1000;
    const double scale = em / upem;
    const DesignMetrics d = designMetrics(face);
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    const bool os2Valid = os2 && os2->version != 0xFFFF;

    out->tmAscent = clampToInt32(d.ascent * scale);
    out->tmDescent = clampToInt32(d.descent * scale);
    out->tmHeight = out->tmAscent + out->tmDescent;
    out->tmInternalLeading = out->tmHeight - em;
    out->tmExternalLeading = clampToInt32(d.lineGap * scale);
    out->tmAveCharWidth = clampToInt32((os2Valid ? os2->xAvgCharWidth : face->max_advance_width / 2) * scale);
    out->tmMaxCharWidth = clampToInt32(face->max_advance_width * scale);
    out->tmWeight = os2Valid && os2->usWeightClass ? os2->usWeightClass
                                                   : ((face->style_flags & FT_STYLE_FLAG_BOLD) ? FW_BOLD : FW_NORMAL);
    out->tmDigitizedAspectX = 96;
    out->tmDigitizedAspectY = 96;

    FT_UInt gid = 0;
    FT_ULong code = FT_Get_First_Char(face, &gid);
    FT_ULong low = 0xFFFF, high = 0;
    while (gid != 0) {
        if (code <= 0xFFFF) {
            low = std::min(low, code);
            high = std::max(high, code);
        }
        code = FT_Get_Next_Char(face, code, &gid);
    }
    if (low > high) low = high = 0;
    out->tmFirstChar = static_cast<WCHAR>(low);
    out->tmLastChar = static_cast<WCHAR>(high);
    out->tmDefaultChar = static_cast<WCHAR>(os2Valid && os2->version >= 2 ? os2->usDefaultChar : 0);
    out->tmBreakChar = static_cast<WCHAR>(os2Valid && os2->version >= 2 && os2->usBreakChar ? os2->usBreakChar : 0x20);
    out->tmItalic = (face->style_flags & FT_STYLE_FLAG_ITALIC) ? 1 : 0;

    BYTE pitch = TMPF_VECTOR;
    if (!FT_IS_FIXED_WIDTH(face)) pitch |= TMPF_FIXED_PITCH;  // set means variable pitch
    if (FT_IS_SFNT(face)) pitch |= TMPF_TRUETYPE;
    BYTE family = FF_DONTCARE;
    if (FT_IS_FIXED_WIDTH(face)) {
        family = FF_MODERN;
    } else if (os2Valid) {
        const BYTE familyType = os2->panose[0];
        const BYTE serifStyle = os2->panose[1];
        if (familyType == 3) family = FF_SCRIPT;
        else if (familyType == 4) family = FF_DECORATIVE;
        else if (familyType == 2) family = (serifStyle >= 11 && serifStyle <= 13) ? FF_SWISS : FF_ROMAN;
    }
    out->tmPitchAndFamily = static_cast<BYTE>(pitch | family);
    out->tmCharSet = faceCharsets(face).front();
}

std::string utf8ToNarrow(const char* utf8) {
    std::string out;
    const auto* s = reinterpret_cast<const unsigned char*>(utf8);
    while (s && *s) {
        uint32_t c = *s++;
        int extra = 0;
        if (c >= 0xF0) { c &= 0x07; extra = 3; }
        else if (c >= 0xE0) { c &= 0x0F; extra = 2; }
        else if (c >= 0xC0) { c &= 0x1F; extra = 1; }
        for (; extra > 0 && (*s & 0xC0) == 0x80; --extra) c = (c << 6) | (*s++ & 0x3F);
        out.push_back(c <= 0xFF && extra == 0 ? static_cast<char>(c) : '?');
    }
    return out;
}

namespace {

// The registered face closest to the requested weight and slant.
const PrivateFace* closestPrivateFace(const std::vector<PrivateFace>& faces, const LOGFONTW& logFont) {
    const int weight = logFont.lfWeight > 0 ? logFont.lfWeight : FW_NORMAL;
    const PrivateFace* best = nullptr;
    int bestDistance = 0;
    for (const PrivateFace& face : faces) {
        const int distance = std::abs(face.weight - weight) + (face.italic != (logFont.lfItalic != 0) ? 1000 : 0);
        if (!best || distance < bestDistance) {
            best = &face;
            bestDistance = distance;
        }
    }
    return best;
}

}  // namespace

bool RealizedFont::realizeInstalled(const std::string& family) {
    const LOGFONTW& logFont = logFont_;
    RealizedFont* font = this;
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return false;
    if (!family.empty()) FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    const int weight = logFont.lfWeight > 0 ? std::min<int>(logFont.lfWeight, 1000) : FW_NORMAL;
    FcPatternAddDouble(pattern, FC_WEIGHT, FcWeightFromOpenTypeDouble(weight));
    FcPatternAddInteger(pattern, FC_SLANT, logFont.lfItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    if ((logFont.lfPitchAndFamily & 3) == FIXED_PITCH) FcPatternAddInteger(pattern, FC_SPACING, FC_MONO);
    const CharsetInfo* charset = findCharset(logFont.lfCharSet);
    if (charset && charset->charset != SYMBOL_CHARSET) {
        if (FcCharSet* required = FcCharSetCreate()) {
            for (char32_t c : charset->samples) FcCharSetAddChar(required, c);
            FcPatternAddCharSet(pattern, FC_CHARSET, required);
            FcCharSetDestroy(required);
        }
    }
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return false;

    FcChar8* file = nullptr;
    int index = 0;
    bool opened = false;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        opened = font->face_.open(reinterpret_cast<const char*>(file), index);
        if (opened) font->filePath_ = reinterpret_cast<const char*>(file);
    }
    FcMatrix* matrix = nullptr;
    if (FcPatternGetMatrix(match, FC_MATRIX, 0, &matrix) == FcResultMatch && matrix) {
        font->slant_[0] = matrix->xx;
        font->slant_[1] = matrix->xy;
        font->slant_[2] = matrix->yx;
        font->slant_[3] = matrix->yy;
    }
    FcBool embolden = FcFalse;
    if (FcPatternGetBool(match, FC_EMBOLDEN, 0, &embolden) == FcResultMatch) font->embolden_ = embolden == FcTrue;
    FcPatternDestroy(match);
    return opened;
}

std::unique_ptr<RealizedFont> RealizedFont::realize(const LOGFONTW& logFont) {
    initFontconfig();
    std::unique_ptr<RealizedFont> font(new RealizedFont);
    font->logFont_ = logFont;
    size_t nameLength = 0;
    while (nameLength < LF_FACESIZE && logFont.lfFaceName[nameLength]) ++nameLength;
    const std::string family = toUtf8(std::u16string_view(logFont.lfFaceName, nameLength));
    const std::vector<PrivateFace> registered = family.empty() ? std::vector<PrivateFace>{} : privateFaces(family);
    if (const PrivateFace* chosen = closestPrivateFace(registered, logFont)) {
        // A registered face wins over any installed family; the style it
        // lacks is simulated, as fontconfig would for an installed one.
        if (!font->face_.open(chosen->bytes, chosen->index)) return nullptr;
        font->glyphMap_ = chosen->glyphMap;
        font->privateFamily_ = chosen->family;
        font->embolden_ = logFont.lfWeight >= FW_SEMIBOLD && chosen->weight < FW_SEMIBOLD;
        if (logFont.lfItalic && !chosen->italic) font->slant_[1] = 0.2;
    } else if (!font->realizeInstalled(family)) {
        return nullptr;
    }
    FT_Face face = font->face_.face();
    if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0) return nullptr;
    font->symbolMap_ = hasSymbolMap(face);

    // Negative heights ask for the em, positive ones for the cell height
    // (ascent + descent), zero for the default cell of 16.
    const DesignMetrics design = designMetrics(face);
    const double cell = std::max(1.0, design.ascent + design.descent);
    double em = 0;
    if (logFont.lfHeight < 0) em = -static_cast<double>(logFont.lfHeight);
    else em = std::round((logFont.lfHeight ? static_cast<double>(logFont.lfHeight) : 16.0) * face->units_per_EM / cell);
    font->em_ = static_cast<int>(std::clamp(em, 1.0, 32767.0));
    font->scale_ = static_cast<double>(font->em_) / face->units_per_EM;
    return font;
}

void RealizedFont::textMetrics(TEXTMETRICW* out) const {
    FT_Face face = face_.face();
    faceTextMetrics(face, em_, out);
    if (logFont_.lfItalic) out->tmItalic = 1;
    if (embolden_) out->tmWeight = FW_BOLD;
    out->tmUnderlined = logFont_.lfUnderline ? 1 : 0;
    out->tmStruckOut = logFont_.lfStrikeOut ? 1 : 0;
    if (logFont_.lfCharSet != DEFAULT_CHARSET) out->tmCharSet = logFont_.lfCharSet;
}

FT_UInt RealizedFont::glyphIndex(UINT character) const {
    if (glyphMap_) {
        const auto found = glyphMap_->find(character);
        return found == glyphMap_->end() ? 0 : found->second;
    }
    FT_Face face = face_.face();
    FT_UInt gid = FT_Get_Char_Index(face, character);
    if (gid == 0 && symbolMap_ && character < 0x100) gid = FT_Get_Char_Index(face, character | 0xF000u);
    return gid;  // 0, the default glyph, for characters the face lacks
}

std::vector<std::pair<char32_t, FT_UInt>> RealizedFont::characters() const {
    std::vector<std::pair<char32_t, FT_UInt>> list;
    if (glyphMap_) {
        for (const auto& [character, glyph] : *glyphMap_)
            if (character <= 0xFFFF) list.emplace_back(character, glyph);
        return list;
    }
    FT_Face face = face_.face();
    FT_UInt gid = 0;
    for (FT_ULong code = FT_Get_First_Char(face, &gid); gid != 0; code = FT_Get_Next_Char(face, code, &gid)) {
        if (code > 0xFFFF) break;
        list.emplace_back(static_cast<char32_t>(code), gid);
    }
    return list;
}

DWORD RealizedFont::glyphOutline(UINT character, UINT format, GLYPHMETRICS* metrics, DWORD bufferSize,
                                 void* buffer, const MAT2& matrix) {
    FT_Face face = face_.face();
    const UINT kind = format & ~static_cast<UINT>(GGO_GLYPH_INDEX | GGO_UNHINTED);
    if (kind != GGO_METRICS && kind != GGO_NATIVE) return GDI_ERROR;
    FT_UInt gid = 0;
    if (format & GGO_GLYPH_INDEX) {
        if (character >= static_cast<UINT>(face->num_glyphs)) return GDI_ERROR;
        gid = character;
    } else {
        gid = glyphIndex(character);
    }
    if (FT_Load_Glyph(face, gid, FT_LOAD_NO_SCALE | FT_LOAD_NO_BITMAP | FT_LOAD_NO_HINTING) != 0) return GDI_ERROR;
    FT_GlyphSlot slot = face->glyph;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return GDI_ERROR;
    FT_Outline& outline = slot->outline;
    double advance = static_cast<double>(slot->metrics.horiAdvance);
    if (embolden_) {
        const FT_Pos strength = face->units_per_EM / 24;
        FT_Outline_EmboldenXY(&outline, strength, strength);
        advance += static_cast<double>(strength);
    }

    const double m11 = fixedToDouble(matrix.eM11), m12 = fixedToDouble(matrix.eM12);
    const double m21 = fixedToDouble(matrix.eM21), m22 = fixedToDouble(matrix.eM22);
    auto transform = [&](const FT_Vector& v) {
        const double sx = slant_[0] * v.x + slant_[1] * v.y;
        const double sy = slant_[2] * v.x + slant_[3] * v.y;
        const double x = sx * scale_, y = sy * scale_;
        return FixedPoint{clampToInt32((m11 * x + m21 * y) * 65536.0), clampToInt32((m12 * x + m22 * y) * 65536.0)};
    };

    NativeWriter writer;
    int64_t minX = INT64_MAX, minY = INT64_MAX, maxX = INT64_MIN, maxY = INT64_MIN;
    int firstPoint = 0;
    for (int c = 0; c < outline.n_contours; ++c) {
        const int last = outline.contours[c];
        if (last < firstPoint || last >= outline.n_points) break;
        std::vector<FixedPoint> pts;
        std::vector<int> tags;
        for (int i = firstPoint; i <= last; ++i) {
            const FixedPoint p = transform(outline.points[i]);
            pts.push_back(p);
            tags.push_back(FT_CURVE_TAG(outline.tags[i]));
            minX = std::min<int64_t>(minX, p.x);
            maxX = std::max<int64_t>(maxX, p.x);
            minY = std::min<int64_t>(minY, p.y);
            maxY = std::max<int64_t>(maxY, p.y);
        }
        writeContour(writer, pts, tags);
        firstPoint = last + 1;
    }

    GLYPHMETRICS gm{};
    if (writer.bytes.empty()) {
        gm.gmBlackBoxX = gm.gmBlackBoxY = 1;
    } else {
        const auto floorPx = [](int64_t v) { return static_cast<LONG>(v >= 0 ? v / 65536 : -((-v + 65535) / 65536)); };
        const auto ceilPx = [&](int64_t v) { return -floorPx(-v); };
        gm.gmptGlyphOrigin.x = floorPx(minX);
        gm.gmptGlyphOrigin.y = ceilPx(maxY);
        gm.gmBlackBoxX = static_cast<UINT>(std::max<LONG>(1, ceilPx(maxX) - floorPx(minX)));
        gm.gmBlackBoxY = static_cast<UINT>(std::max<LONG>(1, ceilPx(maxY) - floorPx(minY)));
    }
    const double scaledAdvance = advance * scale_;
    gm.gmCellIncX = clampToShort(scaledAdvance * m11);
    gm.gmCellIncY = clampToShort(scaledAdvance * m12);
    *metrics = gm;

    if (kind == GGO_METRICS) return 1;
    const auto size = static_cast<DWORD>(writer.bytes.size());
    if (!buffer || bufferSize == 0) return size;
    if (bufferSize < size) return GDI_ERROR;
    std::memcpy(buffer, writer.bytes.data(), size);
    return size;
}

namespace {

uint16_t readU16(const std::vector<uint8_t>& t, size_t at) {
    return static_cast<uint16_t>((t[at] << 8) | t[at + 1]);
}
uint32_t readU32(const std::vector<uint8_t>& t, size_t at) {
    return (uint32_t(readU16(t, at)) << 16) | readU16(t, at + 2);
}

// Pairs (left glyph, right glyph) → amount in font units from the horizontal
// format-0 subtables of a 'kern' table, in the Microsoft or the Apple layout.
std::map<std::pair<uint16_t, uint16_t>, int> readKernTable(const std::vector<uint8_t>& t) {
    std::map<std::pair<uint16_t, uint16_t>, int> pairs;
    if (t.size() < 4) return pairs;
    const bool apple = readU16(t, 0) == 1;
    size_t at = 0;
    uint32_t tables = 0;
    if (apple) {
        if (t.size() < 8) return pairs;
        tables = readU32(t, 4);
        at = 8;
    } else {
        tables = readU16(t, 2);
        at = 4;
    }
    for (uint32_t n = 0; n < tables && at + 8 <= t.size(); ++n) {
        size_t length = 0, body = 0;
        bool horizontalFormat0 = false, override = false;
        if (apple) {
            length = readU32(t, at);
            const uint16_t coverage = readU16(t, at + 4);
            horizontalFormat0 = (coverage & 0xE0FF) == 0;  // not vertical, cross-stream or variation
            body = at + 8;
        } else {
            length = readU16(t, at + 2);
            const uint16_t coverage = readU16(t, at + 4);
            horizontalFormat0 = (coverage & 0xFF07) == 0x0001;
            override = coverage & 0x0008;
            body = at + 6;
        }
        if (horizontalFormat0 && body + 8 <= t.size()) {
            const size_t count = readU16(t, body);
            size_t p = body + 8;
            for (size_t i = 0; i < count && p + 6 <= t.size(); ++i, p += 6) {
                const auto key = std::make_pair(readU16(t, p), readU16(t, p + 2));
                const int value = static_cast<int16_t>(readU16(t, p + 4));
                if (override) pairs[key] = value;
                else pairs[key] += value;
            }
        }
        // The 16-bit length of a large subtable can overflow; only one
        // subtable is then usable.
        if (length < 6) break;
        at += length;
    }
    return pairs;
}

}  // namespace

const std::vector<KERNINGPAIR>& RealizedFont::kerningPairs() {
    if (kerningRead_) return kerning_;
    kerningRead_ = true;
    FT_Face face = face_.face();
    if (!FT_IS_SFNT(face)) return kerning_;
    FT_ULong length = 0;
    if (FT_Load_Sfnt_Table(face, TTAG_kern, 0, nullptr, &length) != 0 || length == 0) return kerning_;
    std::vector<uint8_t> table(length);
    if (FT_Load_Sfnt_Table(face, TTAG_kern, 0, table.data(), &length) != 0) return kerning_;
    const auto pairs = readKernTable(table);
    if (pairs.empty()) return kerning_;

    // Glyphs back to the characters that map to them.
    std::multimap<FT_UInt, WORD> characters;
    for (const auto& [code, gid] : this->characters()) {
        const char32_t character = symbolMap_ && code >= 0xF000 && code <= 0xF0FF ? code - 0xF000 : code;
        characters.emplace(gid, static_cast<WORD>(character));
    }
    for (const auto& [key, value] : pairs) {
        const auto lefts = characters.equal_range(key.first);
        const auto rights = characters.equal_range(key.second);
        for (auto l = lefts.first; l != lefts.second; ++l) {
            for (auto r = rights.first; r != rights.second; ++r) {
                KERNINGPAIR pair;
                pair.wFirst = l->second;
                pair.wSecond = r->second;
                pair.iKernAmount = clampToInt32(value * scale_);
                kerning_.push_back(pair);
            }
        }
    }
    std::sort(kerning_.begin(), kerning_.end(), [](const KERNINGPAIR& a, const KERNINGPAIR& b) {
        return a.wFirst != b.wFirst ? a.wFirst < b.wFirst : a.wSecond < b.wSecond;
    });
    return kerning_;
}

}  // namespace tessaly::fonts
