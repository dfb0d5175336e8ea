// Embedded fonts: reading a font's file, the glyph each character code
// draws, the characters the glyphs are known by, and the registration.
#include "embedded_fonts.h"

#include <GfxFont.h>
#include <fofi/FoFiTrueType.h>
#include <fofi/FoFiType1C.h>
#include <goo/gmem.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_CID_H

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

namespace tessaly::pdf {

namespace {

constexpr char16_t kPrivateFirst = 0xE000, kPrivateLast = 0xF8FF;

// Face names of the process's registrations differ by this number, so that
// documents open side by side never share a name.
std::atomic<unsigned> gFontSerial{0};

// FreeType's face over bytes the caller keeps.
class FtFace {
public:
    FtFace(const std::vector<unsigned char>& bytes) {
        if (FT_Init_FreeType(&library_) != 0) {
            library_ = nullptr;
            return;
        }
        if (FT_New_Memory_Face(library_, bytes.data(), static_cast<FT_Long>(bytes.size()), 0, &face_) != 0)
            face_ = nullptr;
    }
    ~FtFace() {
        if (face_) FT_Done_Face(face_);
        if (library_) FT_Done_FreeType(library_);
    }
    FtFace(const FtFace&) = delete;
    FtFace& operator=(const FtFace&) = delete;
    FT_Face face() const { return face_; }

private:
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
};

// An array poppler allocated with gmalloc.
struct GFree {
    void operator()(int* p) const { gfree(p); }
};
using GIntArray = std::unique_ptr<int, GFree>;

// Code (CID for CID fonts) -> glyph index of the face as FreeType numbers
// it; empty with `identity` set when the code is the glyph index.
struct CodeMap {
    std::vector<int> gids;
    bool identity = false;
    bool usable = true;
};

CodeMap codeMapOf(GfxFont& font, const std::vector<unsigned char>& bytes, FT_Face face) {
    CodeMap map;
    const auto* data = bytes.data();
    const int length = static_cast<int>(bytes.size());
    switch (font.getType()) {
        case fontType1:
        case fontType1C:
        case fontType1COT: {
            // The encoding's glyph names, looked up in the font.
            char** encoding = static_cast<Gfx8BitFont&>(font).getEncoding();
            map.gids.assign(256, 0);
            for (int code = 0; code < 256; ++code) {
                const char* name = encoding ? encoding[code] : nullptr;
                if (!name) continue;
                FT_UInt gid = FT_Get_Name_Index(face, name);
                if (gid == 0)
                    if (const char* alternate = GfxFont::getAlternateName(name))
                        gid = FT_Get_Name_Index(face, alternate);
                map.gids[code] = static_cast<int>(gid);
            }
            break;
        }
        case fontTrueType:
        case fontTrueTypeOT: {
            std::unique_ptr<FoFiTrueType> ff = FoFiTrueType::make(data, length);
            if (!ff) {
                map.usable = false;
                break;
            }
            GIntArray gids(static_cast<Gfx8BitFont&>(font).getCodeToGIDMap(ff.get()));
            if (gids) map.gids.assign(gids.get(), gids.get() + 256);
            else map.usable = false;
            break;
        }
        case fontCIDType0C: {
            // A CID-keyed CFF is addressed by CID (FreeType maps it through
            // the font's charset); a plain CFF by glyph index.
            if (FT_IS_CID_KEYED(face)) {
                map.identity = true;
                break;
            }
            std::unique_ptr<FoFiType1C> ff(FoFiType1C::make(data, length));
            int n = 0;
            GIntArray gids(ff ? ff->getCIDToGIDMap(&n) : nullptr);
            if (gids && n > 0) map.gids.assign(gids.get(), gids.get() + n);
            else map.identity = true;
            break;
        }
        case fontCIDType0COT: {
            std::unique_ptr<FoFiTrueType> ff = FoFiTrueType::make(data, length);
            int n = 0;
            GIntArray gids(ff ? ff->getCIDToGIDMap(&n) : nullptr);
            if (gids && n > 0) map.gids.assign(gids.get(), gids.get() + n);
            else map.identity = true;
            break;
        }
        case fontCIDType2:
        case fontCIDType2OT: {
            auto& cid = static_cast<GfxCIDFont&>(font);
            if (cid.getCIDToGID() && cid.getCIDToGIDLen() > 0) {
                map.gids.assign(cid.getCIDToGID(), cid.getCIDToGID() + cid.getCIDToGIDLen());
                break;
            }
            std::unique_ptr<FoFiTrueType> ff = FoFiTrueType::make(data, length);
            int n = 0;
            GIntArray gids(ff ? cid.getCodeToGIDMap(ff.get(), &n) : nullptr);
            if (gids && n > 0) map.gids.assign(gids.get(), gids.get() + n);
            else map.identity = true;
            break;
        }
        default:
            // Type 3 (drawn by its procedures) and CID fonts of Type 1
            // outlines, which FreeType does not read.
            map.usable = false;
            break;
    }
    return map;
}

// The face name of a registration: a serial number, then the font's name
// without its subset tag, in at most 31 characters (a logical font's face
// name holds no more).
std::u16string faceNameOf(const GfxFont& font, unsigned serial) {
    std::string name = font.getName() ? *font.getName() : std::string();
    if (name.size() > 7 && name[6] == '+' &&
        std::all_of(name.begin(), name.begin() + 6, [](char c) { return c >= 'A' && c <= 'Z'; }))
        name.erase(0, 7);
    std::string text = "PDF" + std::to_string(serial) + (name.empty() ? std::string() : " " + name);
    std::u16string face;
    for (char c : text) {
        if (face.size() >= LF_FACESIZE - 1) break;
        const auto b = static_cast<unsigned char>(c);
        face.push_back(b >= 0x20 && b < 0x7F ? static_cast<char16_t>(b) : u'_');
    }
    return face;
}

}  // namespace

char16_t privateUseKey(size_t n) {
    if (n > static_cast<size_t>(kPrivateLast - kPrivateFirst)) return 0;
    return static_cast<char16_t>(kPrivateFirst + n);
}

char16_t glyphCharacter(const uint32_t* unicode, int length) {
    if (!unicode || length <= 0) return 0;
    if (length == 1) {
        const uint32_t u = unicode[0];
        // Controls, surrogates, private use (kept for glyphs without a
        // value) and the planes beyond the basic one take a private value.
        if (u < 0x20 || (u >= 0x7F && u < 0xA0) || (u >= 0xD800 && u <= 0xF8FF) || u > 0xFFFD) return 0;
        return static_cast<char16_t>(u);
    }
    struct Ligature {
        const char* letters;
        char16_t form;
    };
    static constexpr Ligature kLigatures[] = {{"ff", 0xFB00}, {"fi", 0xFB01}, {"fl", 0xFB02},
                                              {"ffi", 0xFB03}, {"ffl", 0xFB04}, {"st", 0xFB06}};
    for (const Ligature& l : kLigatures) {
        if (std::strlen(l.letters) != static_cast<size_t>(length)) continue;
        bool same = true;
        for (int i = 0; i < length && same; ++i) same = unicode[i] == static_cast<unsigned char>(l.letters[i]);
        if (same) return l.form;
    }
    return 0;
}

char16_t GlyphKeys::add(uint32_t gid, char16_t unicode) {
    if (unicode) {
        const auto [at, inserted] = glyphOf_.emplace(unicode, gid);
        if (inserted || at->second == gid) return unicode;
    }
    if (const auto found = privateOf_.find(gid); found != privateOf_.end()) return found->second;
    const char16_t key = privateUseKey(nextPrivate_);
    if (!key) return 0;
    ++nextPrivate_;
    privateOf_.emplace(gid, key);
    glyphOf_.emplace(key, gid);
    return key;
}

std::vector<std::pair<char32_t, uint32_t>> GlyphKeys::glyphMap() const {
    std::vector<std::pair<char32_t, uint32_t>> out;
    out.reserve(glyphOf_.size());
    for (const auto& [c, gid] : glyphOf_) out.emplace_back(c, gid);
    return out;
}

FontRegistry::FontRegistry() = default;

FontRegistry::~FontRegistry() {
    for (HANDLE handle : handles_) (void)tessaly::fonts::removePrivateFont(handle);
}

const PdfFont& FontRegistry::font(GfxFont& font, XRef* xref) {
    const Ref* id = font.getID();
    const std::pair<int, int> key{id->num, id->gen};
    auto found = fonts_.find(key);
    if (found == fonts_.end()) {
        auto loaded = std::make_unique<PdfFont>();
        try {
            *loaded = load(font, xref);
        } catch (const std::bad_alloc&) {
            *loaded = PdfFont{};  // drawn with an installed face
        }
        found = fonts_.emplace(key, std::move(loaded)).first;
    }
    return *found->second;
}

PdfFont FontRegistry::load(GfxFont& font, XRef* xref) {
    PdfFont out;
    if (font.getType() == fontType3) return out;
    const std::optional<std::vector<unsigned char>> bytes = font.readEmbFontFile(xref);
    if (!bytes || bytes->empty()) return out;
    const FtFace ft(*bytes);
    FT_Face face = ft.face();
    if (!face || !FT_IS_SCALABLE(face) || face->num_glyphs <= 0) return out;
    const CodeMap map = codeMapOf(font, *bytes, face);
    if (!map.usable) return out;
    // Glyph indices past the face's glyphs draw nothing (the layer refuses
    // a map naming them). A bare CID-keyed CFF is addressed by CID: its
    // glyphs are the CIDs of its charset.
    std::vector<bool> cids;
    if (FT_IS_CID_KEYED(face) && !FT_IS_SFNT(face)) {
        for (FT_Long gid = 0; gid < face->num_glyphs; ++gid) {
            FT_UInt cid = 0;
            if (FT_Get_CID_From_Glyph_Index(face, static_cast<FT_UInt>(gid), &cid) != 0 || cid >= 65536) continue;
            if (cid >= cids.size()) cids.resize(cid + 1);
            cids[cid] = true;
        }
    }
    auto glyphOf = [&](uint32_t code) -> int64_t {
        int64_t gid = code;
        if (!map.identity) gid = code < map.gids.size() ? map.gids[code] : 0;
        if (gid <= 0) return -1;  // .notdef draws nothing worth keeping
        if (!cids.empty()) return gid < static_cast<int64_t>(cids.size()) && cids[gid] ? gid : -1;
        return gid < face->num_glyphs ? gid : -1;
    };

    // The character codes and their Unicode values, as the text drawing
    // reads them: single bytes for simple fonts; one and two bytes through
    // the encoding of a CID font (giving the CID).
    GlyphKeys keys;
    auto offer = [&](const char* s, int length) {
        CharCode code = 0;
        const Unicode* unicode = nullptr;
        int unicodeLength = 0;
        double dx = 0, dy = 0, ox = 0, oy = 0;
        const int used = font.getNextChar(s, length, &code, &unicode, &unicodeLength, &dx, &dy, &ox, &oy);
        if (used != length || out.keys.count(code)) return;
        const int64_t gid = glyphOf(code);
        if (gid < 0) return;
        const char16_t c = keys.add(static_cast<uint32_t>(gid), glyphCharacter(unicode, unicodeLength));
        if (c) out.keys.emplace(code, c);
    };
    for (int b = 0; b < 256; ++b) {
        const char s[1] = {static_cast<char>(b)};
        offer(s, 1);
    }
    if (font.isCIDFont())
        for (int b = 0; b < 65536; ++b) {
            const char s[2] = {static_cast<char>(b >> 8), static_cast<char>(b & 0xFF)};
            offer(s, 2);
        }
    if (out.keys.empty()) return PdfFont{};
    // Word gaps become blanks: the font's own blank, else its .notdef when
    // that has no outline (TeX's fonts have no blank glyph).
    if (keys.has(u' ')) {
        out.spaces = true;
    } else if (FT_Load_Glyph(face, 0, FT_LOAD_NO_SCALE) == 0 && face->glyph->format == FT_GLYPH_FORMAT_OUTLINE &&
               face->glyph->outline.n_contours == 0) {
        keys.addCharacter(u' ', 0);
        out.spaces = true;
    }

    const std::vector<std::pair<char32_t, uint32_t>> glyphMap = keys.glyphMap();
    std::u16string faceName = faceNameOf(font, ++gFontSerial);
    DWORD faces = 0;
    HANDLE handle = tessaly::fonts::addPrivateFont(bytes->data(), bytes->size(), faceName.c_str(), glyphMap, &faces);
    if (!handle) return PdfFont{};
    handles_.push_back(handle);
    out.face = std::move(faceName);
    return out;
}

}  // namespace tessaly::pdf
