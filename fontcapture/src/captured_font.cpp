// Capturing a system font at a 1024-unit em through the GDI font services.

#include <algorithm>
#include <cstring>

#include "fontcapture/font_capture.h"
#include "support/text.h"

namespace tessaly {

namespace {

struct CharsetSearch {
    int32_t style = 0;
    bool anyStyle = false;
    bool found = false;
    int32_t charSet = 0;
};

bool styleFits(const char* styleName, int32_t style) {
    const bool bold = findNoCase(styleName, "bold") != nullptr;
    // An oblique face is its family's italic.
    const bool italic = findNoCase(styleName, "italic") != nullptr || findNoCase(styleName, "oblique") != nullptr;
    if (style & (kFontStyleBold | kFontStyleItalic)) {
        return (!(style & kFontStyleBold) || bold) && (!(style & kFontStyleItalic) || italic);
    }
    return styleName[0] == 0 || findNoCase(styleName, "regular") != nullptr;
}

int CALLBACK findCharset(const LOGFONTA* logFont, const TEXTMETRICA*, DWORD fontType, LPARAM param) {
    auto* search = reinterpret_cast<CharsetSearch*>(param);
    if (!(fontType & TRUETYPE_FONTTYPE)) return 1;
    const auto* full = reinterpret_cast<const ENUMLOGFONTEXA*>(logFont);
    char styleName[LF_FACESIZE + 1] = {};
    std::memcpy(styleName, full->elfStyle, LF_FACESIZE);
    if (!search->anyStyle && !styleFits(styleName, search->style)) return 1;
    search->found = true;
    search->charSet = logFont->lfCharSet;
    return 0;
}

// The character set of the first TrueType face of the family that fits the
// style, else of its first TrueType face, else 0.
int32_t resolveCharset(HDC dc, const char* faceName, int32_t style) {
    LOGFONTA query{};
    query.lfCharSet = DEFAULT_CHARSET;
    boundedCopy(query.lfFaceName, faceName, sizeof query.lfFaceName);
    CharsetSearch search;
    search.style = style;
    EnumFontFamiliesExA(dc, &query, findCharset, reinterpret_cast<LPARAM>(&search), 0);
    if (search.found) return search.charSet;
    search.anyStyle = true;
    EnumFontFamiliesExA(dc, &query, findCharset, reinterpret_cast<LPARAM>(&search), 0);
    return search.found ? search.charSet : 0;
}

MAT2 identityMatrix() {
    MAT2 m{};
    m.eM11.value = 1;
    m.eM22.value = 1;
    return m;
}

}  // namespace

std::unique_ptr<CapturedFont> CapturedFont::capture(std::string_view faceName, int32_t style, int32_t charSet) {
    std::unique_ptr<CapturedFont> font(new CapturedFont);
    const size_t nameLength = std::min(faceName.size(), kFaceNameSize - 1);
    std::memcpy(font->faceName_, faceName.data(), nameLength);
    font->faceName_[nameLength] = 0;
    font->style_ = style;

    // From here on the destructor releases whatever was made.
    font->dc_ = CreateICW(reinterpret_cast<LPCWSTR>(u"DISPLAY"), nullptr, nullptr, nullptr);
    if (!font->dc_) return nullptr;
    if (charSet == -1) charSet = resolveCharset(font->dc_, font->faceName_, style);

    const std::u16string wideName = toWide(std::string_view(font->faceName_, nameLength));
    font->font_ = CreateFontW(-kEm, 0, 0, 0, (style & kFontStyleBold) ? FW_BOLD : FW_NORMAL,
                              (style & kFontStyleItalic) ? TRUE : FALSE, FALSE, FALSE, static_cast<DWORD>(charSet),
                              OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                              reinterpret_cast<LPCWSTR>(wideName.c_str()));
    if (!font->font_) return nullptr;
    font->previousFont_ = SelectObject(font->dc_, font->font_);
    if (!font->previousFont_) return nullptr;

    // A face without a space glyph is still usable.
    (void)font->addGlyph(u' ');

    TEXTMETRICW metrics;
    if (!GetTextMetricsW(font->dc_, &metrics)) return nullptr;
    font->ascent_ = metrics.tmAscent;
    font->descent_ = metrics.tmDescent;
    font->leading_ = metrics.tmInternalLeading;
    font->charSet_ = charSet;

    const DWORD count = GetKerningPairsW(font->dc_, 0, nullptr);
    if (count > 0) {
        std::vector<KERNINGPAIR> pairs(count);
        if (GetKerningPairsW(font->dc_, count, pairs.data()) != count) return nullptr;
        font->kerning_.reserve(count);
        for (const KERNINGPAIR& p : pairs) font->kerning_.push_back({p.wFirst, p.wSecond, p.iKernAmount});
    }
    return font;
}

CapturedFont::~CapturedFont() {
    if (dc_ && previousFont_) SelectObject(dc_, previousFont_);
    if (font_) DeleteObject(font_);
    if (dc_) DeleteDC(dc_);
}

const GlyphRecord* CapturedFont::findGlyph(uint16_t code) const {
    for (const GlyphRecord& g : glyphs_)
        if (g.code == code) return &g;
    return nullptr;
}

int CapturedFont::addGlyph(uint16_t code) {
    if (findGlyph(code)) return 1;
    const MAT2 identity = identityMatrix();
    GLYPHMETRICS metrics{};
    const DWORD size = GetGlyphOutlineW(dc_, code, GGO_NATIVE, &metrics, 0, nullptr, &identity);
    if (size == GDI_ERROR) return 0;
    std::vector<uint8_t> data(size);
    if (size > 0 && GetGlyphOutlineW(dc_, code, GGO_NATIVE, &metrics, size, data.data(), &identity) != size) return 0;

    GlyphRecord glyph;
    glyph.advance = metrics.gmCellIncX;
    glyph.code = code;
    glyph.left = metrics.gmptGlyphOrigin.x;
    glyph.top = -metrics.gmptGlyphOrigin.y;
    glyph.right = metrics.gmptGlyphOrigin.x + static_cast<int32_t>(metrics.gmBlackBoxX);
    glyph.bottom = static_cast<int32_t>(metrics.gmBlackBoxY) - metrics.gmptGlyphOrigin.y;

    const size_t first = outline_.size();
    if (!appendNativeOutline(data.data(), data.size(), outline_)) {
        outline_.truncate(first);
        return 0;
    }
    glyph.firstCommand = static_cast<uint32_t>(first);
    glyph.commandCount = static_cast<uint32_t>(outline_.size() - first);
    glyphs_.push_back(glyph);
    return 1;
}

size_t CapturedFont::addGlyphs(std::u16string_view text) {
    size_t missing = 0;
    for (char16_t c : text)
        if (!addGlyph(c)) ++missing;
    return missing;
}

}  // namespace tessaly
