// Realized fonts: a logical font of the font layer at a device size, with
// its IFIMETRICS, its Unicode glyph set, its notional-to-device transform
// and glyph outlines as paths; and the FONTOBJ_ services.

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_FONT_FORMATS_H
#include FT_TRUETYPE_TABLES_H

#include "engine_objects.h"
#include "font_face.h"
#include "raster.h"
#include "registry.h"
#include "support/text.h"

namespace tessaly::gdi {

namespace {

std::atomic<ULONG> nextFontUniq{1};
constexpr int64_t kLargestKeptGlyph = 2048 * 2048;

struct GlyphEntry {
    GLYPHDATA data{};
    std::unique_ptr<PathObject> path;
    double advanceX = 0, advanceY = 0;
    bool bitsMade = false;
    std::vector<uint64_t> bits;  // GLYPHBITS storage, 8-byte aligned
    std::unique_ptr<PixelRegion> region;
};

double fixedValue(const FIXED& f) { return f.value + f.fract / 65536.0; }

std::u16string utf8To16(const char* s) {
    std::u16string out;
    if (!s) return out;
    while (*s) {
        uint32_t c = static_cast<unsigned char>(*s++);
        int extra = 0;
        if (c >= 0xF0) {
            c &= 0x07;
            extra = 3;
        } else if (c >= 0xE0) {
            c &= 0x0F;
            extra = 2;
        } else if (c >= 0xC0) {
            c &= 0x1F;
            extra = 1;
        }
        for (; extra > 0 && (*s & 0xC0) == 0x80; --extra) c = (c << 6) | (*s++ & 0x3F);
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

// Whether fontconfig binds `family` strongly to `requested`: a
// metric-compatible substitute (Liberation Sans for Arial), which the font
// layer presents under the requested name. Weak bindings are mere fallbacks.
bool strongAlias(const std::string& requested, const char* family) {
    if (!family) return false;
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return false;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(requested.c_str()));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    bool found = false;
    FcValue value;
    FcValueBinding binding;
    for (int i = 0; !found && FcPatternGetWithBinding(pattern, FC_FAMILY, i, &value, &binding) == FcResultMatch;
         ++i) {
        found = binding != FcValueBindingWeak && value.type == FcTypeString &&
                FcStrCmpIgnoreCase(value.u.s, reinterpret_cast<const FcChar8*>(family)) == 0;
    }
    FcPatternDestroy(pattern);
    return found;
}

}  // namespace

struct FontObject::Impl {
    std::unique_ptr<fonts::RealizedFont> realized;
    double c11 = 1, c12 = 0, c21 = 0, c22 = 1;  // em pixels (y down) to device
    std::unordered_map<HGLYPH, GlyphEntry> glyphs;
    std::vector<uint64_t> ifi;
    std::vector<uint64_t> glyphSet;
    std::vector<uint8_t> outline;
    std::vector<uint8_t> fileCopy;
    std::u16string filePaths;
    std::unordered_map<ULONG, std::vector<uint8_t>> tables;

    GlyphEntry* entry(HGLYPH glyph);
};

FontObject::FontObject() : FONTOBJ{} {}

FontObject::~FontObject() { liveSet<FontObject>().remove(static_cast<FONTOBJ*>(this)); }

FontObject* FontObject::fromFontobj(const FONTOBJ* pfo) {
    if (!liveSet<FontObject>().contains(pfo)) return nullptr;
    return static_cast<FontObject*>(const_cast<FONTOBJ*>(pfo));
}

std::unique_ptr<FontObject> FontObject::create(const FontRequest& request) {
    std::unique_ptr<FontObject> font(new (std::nothrow) FontObject);
    if (!font) return nullptr;
    font->impl_.reset(new (std::nothrow) Impl);
    if (!font->impl_) return nullptr;
    LOGFONTW logFont = request.logFont;
    logFont.lfEscapement = 0;
    logFont.lfOrientation = 0;
    logFont.lfWidth = 0;
    font->impl_->realized = fonts::RealizedFont::realize(logFont);
    if (!font->impl_->realized) return nullptr;
    font->request_ = request;
    fonts::RealizedFont& realized = *font->impl_->realized;
    FT_Face face = realized.ftFace();

    // Escapement (counter-clockwise, y down), then the caller's transform.
    const double angle = request.logFont.lfEscapement * (M_PI / 1800.0);
    const double r11 = std::cos(angle), r12 = -std::sin(angle), r21 = std::sin(angle), r22 = std::cos(angle);
    Impl& impl = *font->impl_;
    impl.c11 = r11 * request.m11 + r12 * request.m21;
    impl.c12 = r11 * request.m12 + r12 * request.m22;
    impl.c21 = r21 * request.m11 + r22 * request.m21;
    impl.c22 = r21 * request.m12 + r22 * request.m22;

    font->em_ = realized.em();
    realized.textMetrics(&font->metrics_);
    const double vscale = std::hypot(impl.c21, impl.c22);
    font->ascent_ = font->metrics_.tmAscent * vscale;
    font->descent_ = font->metrics_.tmDescent * vscale;
    const double s = static_cast<double>(font->em_) / face->units_per_EM;
    font->xform_.reset(new (std::nothrow) XformObject(XFORML{
        static_cast<FLOATL>(impl.c11 * s), static_cast<FLOATL>(impl.c12 * s), static_cast<FLOATL>(impl.c21 * s),
        static_cast<FLOATL>(impl.c22 * s), 0, 0}));
    if (!font->xform_) return nullptr;

    font->iUniq = nextFontUniq++;
    font->iFace = 0;
    font->cxMax = static_cast<ULONG>(std::max<LONG>(0, font->metrics_.tmMaxCharWidth));
    font->flFontType = FO_TYPE_TRUETYPE;
    if (realized.simulatedBold() ||
        (request.logFont.lfWeight >= FW_SEMIBOLD && !(face->style_flags & FT_STYLE_FLAG_BOLD))) {
        font->flFontType |= FO_SIM_BOLD;
    }
    if (realized.simulatedItalic() || (request.logFont.lfItalic && !(face->style_flags & FT_STYLE_FLAG_ITALIC))) {
        font->flFontType |= FO_SIM_ITALIC;
    }
    // PostScript outlines (OpenType CFF, Type 1) say so, as Windows does.
    if (const char* format = FT_Get_Font_Format(face);
        format && (std::strcmp(format, "CFF") == 0 || std::strcmp(format, "Type 1") == 0)) {
        font->flFontType |= FO_POSTSCRIPT | (std::strcmp(format, "CFF") == 0 ? FO_CFF : 0);
    }
    // Double-byte character sets, by the set the font was realized with.
    switch (font->metrics_.tmCharSet) {
        case SHIFTJIS_CHARSET:
        case HANGUL_CHARSET:
        case JOHAB_CHARSET:
        case GB2312_CHARSET:
        case CHINESEBIG5_CHARSET:
            font->flFontType |= FO_DBCS_FONT;
            break;
        default:
            break;
    }
    font->iTTUniq = font->iUniq;
    font->iFile = 0;
    font->sizLogResPpi = SIZE{request.dpiX, request.dpiY};
    font->ulStyleSize = static_cast<ULONG>(std::lround(font->em_ * 72.0 / std::max<LONG>(1, request.dpiY)));
    liveSet<FontObject>().add(static_cast<FONTOBJ*>(font.get()));
    return font;
}

HGLYPH FontObject::glyph(char32_t character) const { return impl_->realized->glyphIndex(character); }

GlyphEntry* FontObject::Impl::entry(HGLYPH glyph) {
    const auto found = glyphs.find(glyph);
    if (found != glyphs.end()) return &found->second;
    FT_Face face = realized->ftFace();
    if (glyph >= static_cast<HGLYPH>(face->num_glyphs)) return nullptr;

    GlyphEntry entry;
    entry.path.reset(new (std::nothrow) PathObject);
    if (!entry.path) return nullptr;
    const MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    GLYPHMETRICS metrics{};
    const UINT format = GGO_NATIVE | GGO_GLYPH_INDEX | GGO_UNHINTED;
    const DWORD size = realized->glyphOutline(glyph, format, &metrics, 0, nullptr, identity);
    if (size == GDI_ERROR) return nullptr;
    // The buffer is shared by all glyphs: an empty outline (a space) must not
    // leave the previous glyph's in it.
    outline.resize(size);
    if (size > 0) {
        if (realized->glyphOutline(glyph, format, &metrics, size, outline.data(), identity) == GDI_ERROR) {
            return nullptr;
        }
    }
    // Outline points are 16.16 em pixels, y up; the path is device FIX
    // relative to the glyph origin.
    auto toDevice = [&](double x, double y) {
        const double ey = -y;
        return POINTFIX{static_cast<FIX>(std::lround((x * c11 + ey * c21) * 16)),
                        static_cast<FIX>(std::lround((x * c12 + ey * c22) * 16))};
    };
    auto pointOf = [&](const POINTFX& p) { return std::pair<double, double>(fixedValue(p.x), fixedValue(p.y)); };
    size_t offset = 0;
    while (offset + sizeof(TTPOLYGONHEADER) <= outline.size()) {
        TTPOLYGONHEADER header;
        std::memcpy(&header, outline.data() + offset, sizeof header);
        if (header.cb < sizeof header || offset + header.cb > outline.size()) break;
        const size_t end = offset + header.cb;
        auto [sx, sy] = pointOf(header.pfxStart);
        entry.path->moveTo(toDevice(sx, sy));
        double cx = sx, cy = sy;
        size_t at = offset + sizeof header;
        while (at + 4 <= end) {
            WORD type = 0, count = 0;
            std::memcpy(&type, outline.data() + at, 2);
            std::memcpy(&count, outline.data() + at + 2, 2);
            const size_t pointsAt = at + 4;
            if (pointsAt + static_cast<size_t>(count) * sizeof(POINTFX) > end) break;
            std::vector<std::pair<double, double>> pts(count);
            for (WORD i = 0; i < count; ++i) {
                POINTFX p;
                std::memcpy(&p, outline.data() + pointsAt + i * sizeof(POINTFX), sizeof p);
                pts[i] = pointOf(p);
            }
            if (type == TT_PRIM_LINE) {
                for (const auto& [x, y] : pts) {
                    entry.path->lineTo(toDevice(x, y));
                    cx = x;
                    cy = y;
                }
            } else if (type == TT_PRIM_QSPLINE) {
                // Quadratic B-spline: implied on-curve points between
                // consecutive off-curve points; each piece becomes a cubic.
                for (WORD i = 0; i + 1 < count; ++i) {
                    const auto [qx, qy] = pts[i];
                    double ex = pts[i + 1].first, ey = pts[i + 1].second;
                    if (i + 2 < count) {
                        ex = (qx + ex) / 2;
                        ey = (qy + ey) / 2;
                    }
                    entry.path->bezierTo(toDevice(cx + 2.0 / 3 * (qx - cx), cy + 2.0 / 3 * (qy - cy)),
                                         toDevice(ex + 2.0 / 3 * (qx - ex), ey + 2.0 / 3 * (qy - ey)),
                                         toDevice(ex, ey));
                    cx = ex;
                    cy = ey;
                }
            } else if (type == TT_PRIM_CSPLINE) {
                for (WORD i = 0; i + 2 < count; i += 3) {
                    entry.path->bezierTo(toDevice(pts[i].first, pts[i].second),
                                         toDevice(pts[i + 1].first, pts[i + 1].second),
                                         toDevice(pts[i + 2].first, pts[i + 2].second));
                    cx = pts[i + 2].first;
                    cy = pts[i + 2].second;
                }
            }
            at = pointsAt + static_cast<size_t>(count) * sizeof(POINTFX);
        }
        entry.path->closeFigure();
        offset = end;
    }
    entry.advanceX = metrics.gmCellIncX * c11;
    entry.advanceY = metrics.gmCellIncX * c12;
    GLYPHDATA& data = entry.data;
    data.gdf.ppo = entry.path.get();
    data.hg = glyph;
    data.fxD = static_cast<FIX>(std::lround(std::hypot(entry.advanceX, entry.advanceY) * 16));
    data.fxA = 0;
    data.fxAB = data.fxD;
    const RECTFX box = entry.path->bounds();
    data.fxInkTop = -box.yTop;
    data.fxInkBottom = -box.yBottom;
    data.rclInk = RECTL{box.xLeft >> 4, box.yTop >> 4, (box.xRight + 15) >> 4, (box.yBottom + 15) >> 4};
    data.ptqD.x.QuadPart = static_cast<int64_t>(std::llround(entry.advanceX * 68719476736.0));
    data.ptqD.y.QuadPart = static_cast<int64_t>(std::llround(entry.advanceY * 68719476736.0));
    try {
        auto inserted = glyphs.emplace(glyph, std::move(entry));
        return &inserted.first->second;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

bool glyphPixels(const PathObject& outline, POINTL origin, const RECTL& limit, PixelRegion* out) {
    std::unique_ptr<PathObject> moved = outline.clone();
    if (!moved) return false;
    moved->offset(static_cast<FIX>(int64_t{origin.x} * 16 - 8), static_cast<FIX>(int64_t{origin.y} * 16 - 8));
    return fillPathRegion(*moved, true, limit, out);
}

bool FontObject::advance(HGLYPH glyph, double* dx, double* dy) {
    GlyphEntry* entry = impl_->entry(glyph);
    if (!entry) return false;
    if (dx) *dx = entry->advanceX;
    if (dy) *dy = entry->advanceY;
    return true;
}

const GLYPHDATA* FontObject::glyphData(HGLYPH glyph) {
    GlyphEntry* entry = impl_->entry(glyph);
    return entry ? &entry->data : nullptr;
}

GLYPHBITS* FontObject::glyphBits(HGLYPH glyph) {
    GlyphEntry* entry = impl_->entry(glyph);
    if (!entry) return nullptr;
    if (!entry->bitsMade) {
        entry->bitsMade = true;
        const RECTL ink = entry->data.rclInk;
        PixelRegion covered;
        if (!entry->path->empty() &&
            glyphPixels(*entry->path, POINTL{0, 0}, RECTL{ink.left - 1, ink.top - 1, ink.right + 1, ink.bottom + 1},
                        &covered) &&
            !covered.empty()) {
            const RECTL box = covered.extents();
            const LONG w = box.right - box.left, h = box.bottom - box.top;
            const size_t rowBytes = (static_cast<size_t>(w) + 7) / 8;
            const size_t bytes = offsetof(GLYPHBITS, aj) + rowBytes * static_cast<size_t>(h);
            entry->bits.assign((bytes + 7) / 8, 0);
            auto* bits = reinterpret_cast<GLYPHBITS*>(entry->bits.data());
            bits->ptlOrigin = POINTL{box.left, box.top};
            bits->sizlBitmap = SIZEL{w, h};
            int count = 0;
            const pixman_box32_t* boxes = pixman_region32_rectangles(&covered.r, &count);
            for (int i = 0; i < count; ++i) {
                for (LONG y = boxes[i].y1; y < boxes[i].y2; ++y) {
                    uint8_t* row = bits->aj + rowBytes * static_cast<size_t>(y - box.top);
                    for (LONG x = boxes[i].x1; x < boxes[i].x2; ++x) {
                        row[(x - box.left) >> 3] |= static_cast<uint8_t>(0x80 >> ((x - box.left) & 7));
                    }
                }
            }
        }
    }
    return entry->bits.empty() ? nullptr : reinterpret_cast<GLYPHBITS*>(entry->bits.data());
}

const pixman_region32_t* FontObject::glyphRegion(HGLYPH glyph) {
    GlyphEntry* entry = impl_->entry(glyph);
    if (!entry) return nullptr;
    if (!entry->region) {
        const RECTL ink = entry->data.rclInk;
        // Huge glyphs are not kept: their pixels are found per call, inside
        // the clip, from the outline.
        if (static_cast<int64_t>(ink.right - ink.left) * (ink.bottom - ink.top) > kLargestKeptGlyph) return nullptr;
        entry->region.reset(new (std::nothrow) PixelRegion);
        if (!entry->region) return nullptr;
        if (!glyphPixels(*entry->path, POINTL{0, 0}, RECTL{ink.left - 1, ink.top - 1, ink.right + 1, ink.bottom + 1},
                         entry->region.get())) {
            entry->region.reset();
            return nullptr;
        }
    }
    return &entry->region->r;
}

IFIMETRICS* FontObject::ifiMetrics() {
    if (!impl_->ifi.empty()) return reinterpret_cast<IFIMETRICS*>(impl_->ifi.data());
    FT_Face face = impl_->realized->ftFace();
    const std::string& registered = impl_->realized->privateFamily();
    std::string familyName = !registered.empty() ? registered : face->family_name ? face->family_name : "";
    // A metric-compatible substitute goes by the name asked for, as the font
    // layer's enumeration presents it.
    size_t asked = 0;
    while (asked < LF_FACESIZE && request_.logFont.lfFaceName[asked]) ++asked;
    const std::string requested = toUtf8(std::u16string_view(request_.logFont.lfFaceName, asked));
    if (registered.empty() && !requested.empty() &&
        FcStrCmpIgnoreCase(reinterpret_cast<const FcChar8*>(requested.c_str()),
                           reinterpret_cast<const FcChar8*>(familyName.c_str())) != 0 &&
        strongAlias(requested, familyName.c_str())) {
        familyName = requested;
    }
    const std::string styleName = face->style_name ? face->style_name : "Regular";
    const std::u16string family = utf8To16(familyName.c_str());
    const std::u16string style = utf8To16(styleName.c_str());
    std::u16string full = family;
    if (!style.empty() && styleName != "Regular") full += u" " + style;
    const char* postscript = FT_Get_Postscript_Name(face);
    const std::u16string unique = postscript && familyName == (face->family_name ? face->family_name : "")
                                      ? utf8To16(postscript)
                                      : full;

    const size_t strings = (family.size() + style.size() + full.size() + unique.size() + 4) * sizeof(WCHAR);
    const size_t total = sizeof(IFIMETRICS) + strings;
    try {
        impl_->ifi.assign((total + 7) / 8, 0);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    auto* base = reinterpret_cast<uint8_t*>(impl_->ifi.data());
    auto* ifi = reinterpret_cast<IFIMETRICS*>(base);
    size_t at = sizeof(IFIMETRICS);
    auto put = [&](const std::u16string& s) {
        const auto offset = static_cast<PTRDIFF>(at);
        std::memcpy(base + at, s.data(), s.size() * sizeof(WCHAR));
        at += (s.size() + 1) * sizeof(WCHAR);
        return offset;
    };
    ifi->cjThis = static_cast<ULONG>(total);
    ifi->dpwszFamilyName = put(family);
    ifi->dpwszStyleName = put(style);
    ifi->dpwszFaceName = put(full);
    ifi->dpwszUniqueName = put(unique);
    // The set the font was realized with: the one asked for, or for
    // DEFAULT_CHARSET the one the mapper chose (the face's first).
    ifi->jWinCharSet = metrics_.tmCharSet;
    ifi->jWinPitchAndFamily = metrics_.tmPitchAndFamily;
    const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    ifi->usWinWeight = os2 ? os2->usWeightClass : (face->style_flags & FT_STYLE_FLAG_BOLD) ? FW_BOLD : FW_NORMAL;
    ifi->flInfo = FM_INFO_TECH_TRUETYPE | FM_INFO_ARB_XFORMS | FM_INFO_RETURNS_OUTLINES | FM_INFO_RETURNS_BITMAPS |
                  FM_INFO_1BPP | FM_INFO_RIGHT_HANDED;
    if (FT_IS_FIXED_WIDTH(face)) ifi->flInfo |= FM_INFO_CONSTANT_WIDTH;
    USHORT selection = 0;
    if (face->style_flags & FT_STYLE_FLAG_ITALIC) selection |= FM_SEL_ITALIC;
    if (face->style_flags & FT_STYLE_FLAG_BOLD) selection |= FM_SEL_BOLD;
    if (!selection) selection = FM_SEL_REGULAR;
    ifi->fsSelection = selection;
    ifi->fsType = os2 ? os2->fsType : 0;
    auto fword = [](long v) { return static_cast<FWORD>(std::clamp<long>(v, -32768, 32767)); };
    ifi->fwdUnitsPerEm = fword(face->units_per_EM);
    ifi->fwdLowestPPEm = 1;
    ifi->fwdWinAscender = fword(os2 ? os2->usWinAscent : face->ascender);
    ifi->fwdWinDescender = fword(os2 ? os2->usWinDescent : -face->descender);
    ifi->fwdMacAscender = fword(face->ascender);
    ifi->fwdMacDescender = fword(face->descender);
    ifi->fwdMacLineGap = fword(face->height - face->ascender + face->descender);
    ifi->fwdTypoAscender = fword(os2 ? os2->sTypoAscender : face->ascender);
    ifi->fwdTypoDescender = fword(os2 ? os2->sTypoDescender : face->descender);
    ifi->fwdTypoLineGap = fword(os2 ? os2->sTypoLineGap : 0);
    ifi->fwdAveCharWidth = fword(os2 ? os2->xAvgCharWidth : face->max_advance_width / 2);
    ifi->fwdMaxCharInc = fword(face->max_advance_width);
    ifi->fwdCapHeight = fword(os2 && os2->version >= 2 ? os2->sCapHeight : 0);
    ifi->fwdXHeight = fword(os2 && os2->version >= 2 ? os2->sxHeight : 0);
    if (os2) {
        ifi->fwdSubscriptXSize = fword(os2->ySubscriptXSize);
        ifi->fwdSubscriptYSize = fword(os2->ySubscriptYSize);
        ifi->fwdSubscriptXOffset = fword(os2->ySubscriptXOffset);
        ifi->fwdSubscriptYOffset = fword(os2->ySubscriptYOffset);
        ifi->fwdSuperscriptXSize = fword(os2->ySuperscriptXSize);
        ifi->fwdSuperscriptYSize = fword(os2->ySuperscriptYSize);
        ifi->fwdSuperscriptXOffset = fword(os2->ySuperscriptXOffset);
        ifi->fwdSuperscriptYOffset = fword(os2->ySuperscriptYOffset);
        ifi->fwdStrikeoutSize = fword(os2->yStrikeoutSize);
        ifi->fwdStrikeoutPosition = fword(os2->yStrikeoutPosition);
        std::memcpy(ifi->achVendId, os2->achVendID, 4);
        std::memcpy(&ifi->panose, os2->panose, sizeof ifi->panose);
    }
    ifi->fwdUnderscoreSize = fword(face->underline_thickness);
    ifi->fwdUnderscorePosition = fword(face->underline_position);
    FT_UInt index = 0;
    const FT_ULong first = FT_Get_First_Char(face, &index);
    ifi->wcFirstChar = static_cast<WCHAR>(std::min<FT_ULong>(first, 0xFFFF));
    FT_ULong last = first;
    for (FT_ULong c = first; index != 0 && c <= 0xFFFF; c = FT_Get_Next_Char(face, c, &index)) last = c;
    ifi->wcLastChar = static_cast<WCHAR>(std::min<FT_ULong>(last, 0xFFFF));
    ifi->wcDefaultChar = 0x20;
    ifi->wcBreakChar = 0x20;
    ifi->chFirstChar = static_cast<BYTE>(std::min<FT_ULong>(first, 0xFF));
    ifi->chLastChar = 0xFF;
    ifi->chDefaultChar = 0x20;
    ifi->chBreakChar = 0x20;
    ifi->ptlBaseline = POINTL{1, 0};
    ifi->ptlAspect = POINTL{1, 1};
    ifi->ptlCaret = POINTL{0, 1};
    ifi->rclFontBox = RECTL{static_cast<LONG>(face->bbox.xMin), static_cast<LONG>(face->bbox.yMax),
                            static_cast<LONG>(face->bbox.xMax), static_cast<LONG>(face->bbox.yMin)};
    ifi->cKerningPairs = static_cast<ULONG>(impl_->realized->kerningPairs().size());
    return ifi;
}

FD_GLYPHSET* FontObject::glyphSet() {
    if (!impl_->glyphSet.empty()) return reinterpret_cast<FD_GLYPHSET*>(impl_->glyphSet.data());
    struct Run {
        WCHAR low;
        std::vector<HGLYPH> handles;
    };
    std::vector<Run> runs;
    ULONG supported = 0;
    for (const auto& [c, index] : impl_->realized->characters()) {
        if (runs.empty() || runs.back().low + runs.back().handles.size() != c || runs.back().handles.size() >= 0xFFFF) {
            runs.push_back(Run{static_cast<WCHAR>(c), {}});
        }
        runs.back().handles.push_back(index);
        ++supported;
    }
    const size_t header = offsetof(FD_GLYPHSET, awcrun) + std::max<size_t>(runs.size(), 1) * sizeof(WCRUN);
    const size_t total = header + supported * sizeof(HGLYPH);
    try {
        impl_->glyphSet.assign((total + 7) / 8, 0);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    auto* base = reinterpret_cast<uint8_t*>(impl_->glyphSet.data());
    auto* set = reinterpret_cast<FD_GLYPHSET*>(base);
    set->cjThis = static_cast<ULONG>(total);
    set->flAccel = GS_16BIT_HANDLES;
    set->cGlyphsSupported = supported;
    set->cRuns = static_cast<ULONG>(runs.size());
    auto* handles = reinterpret_cast<HGLYPH*>(base + header);
    for (size_t i = 0; i < runs.size(); ++i) {
        set->awcrun[i].wcLow = runs[i].low;
        set->awcrun[i].cGlyphs = static_cast<USHORT>(runs[i].handles.size());
        set->awcrun[i].phg = handles;
        std::memcpy(handles, runs[i].handles.data(), runs[i].handles.size() * sizeof(HGLYPH));
        handles += runs[i].handles.size();
    }
    return set;
}

ULONG FontObject::allGlyphHandles(HGLYPH* handles) {
    FT_Face face = impl_->realized->ftFace();
    const auto count = static_cast<ULONG>(face->num_glyphs);
    for (ULONG i = 0; handles && i < count; ++i) handles[i] = i;
    return count;
}

void FontObject::info(ULONG bytes, FONTINFO* out) {
    if (!out || bytes < sizeof(FONTINFO)) return;
    FT_Face face = impl_->realized->ftFace();
    FONTINFO fi{};
    fi.cjThis = sizeof(FONTINFO);
    fi.flCaps = 0;
    fi.cGlyphsSupported = static_cast<ULONG>(face->num_glyphs);
    const ULONG cell = static_cast<ULONG>(std::max<LONG>(1, metrics_.tmHeight)) *
                       static_cast<ULONG>(std::max<LONG>(1, metrics_.tmMaxCharWidth));
    fi.cjMaxGlyph1 = cell / 8 + static_cast<ULONG>(metrics_.tmHeight) + sizeof(GLYPHBITS);
    fi.cjMaxGlyph4 = cell / 2 + sizeof(GLYPHBITS);
    fi.cjMaxGlyph8 = cell + sizeof(GLYPHBITS);
    fi.cjMaxGlyph32 = cell * 4 + sizeof(GLYPHBITS);
    *out = fi;
}

const void* FontObject::fontFile(ULONG* bytes) {
    if (bytes) *bytes = 0;
    FT_Face face = impl_->realized->ftFace();
    FT_Stream stream = face->stream;
    if (!stream) return nullptr;
    if (stream->base) {
        if (bytes) *bytes = static_cast<ULONG>(stream->size);
        return stream->base;
    }
    if (impl_->fileCopy.empty()) {
        const std::string& path = impl_->realized->filePath();
        FILE* file = path.empty() ? nullptr : std::fopen(path.c_str(), "rb");
        if (!file) return nullptr;
        try {
            impl_->fileCopy.resize(stream->size);
        } catch (const std::bad_alloc&) {
            std::fclose(file);
            return nullptr;
        }
        const size_t got = std::fread(impl_->fileCopy.data(), 1, impl_->fileCopy.size(), file);
        std::fclose(file);
        if (got != impl_->fileCopy.size()) {
            impl_->fileCopy.clear();
            return nullptr;
        }
    }
    if (bytes) *bytes = static_cast<ULONG>(impl_->fileCopy.size());
    return impl_->fileCopy.data();
}

const char16_t* FontObject::fontFilePaths(ULONG* characters) {
    if (characters) *characters = 0;
    if (impl_->filePaths.empty()) {
        const std::string& path = impl_->realized->filePath();
        if (path.empty()) return nullptr;
        impl_->filePaths = utf8To16(path.c_str());
        impl_->filePaths.push_back(u'\0');  // the list ends with an empty name
    }
    if (characters) *characters = static_cast<ULONG>(impl_->filePaths.size() + 1);
    return impl_->filePaths.c_str();
}

const uint8_t* FontObject::openTypeTable(ULONG tag, ULONG* bytes) {
    if (bytes) *bytes = 0;
    const auto found = impl_->tables.find(tag);
    if (found == impl_->tables.end()) {
        // Windows tags keep the first letter in the low byte; FreeType's in
        // the high byte.
        const FT_ULong ftTag = ((tag & 0xFF) << 24) | ((tag & 0xFF00) << 8) | ((tag >> 8) & 0xFF00) | (tag >> 24);
        FT_Face face = impl_->realized->ftFace();
        FT_ULong length = 0;
        if (FT_Load_Sfnt_Table(face, ftTag, 0, nullptr, &length) != 0 || length == 0) return nullptr;
        std::vector<uint8_t> table;
        try {
            table.resize(length);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        if (FT_Load_Sfnt_Table(face, ftTag, 0, table.data(), &length) != 0) return nullptr;
        try {
            const auto inserted = impl_->tables.emplace(tag, std::move(table));
            if (bytes) *bytes = static_cast<ULONG>(inserted.first->second.size());
            return inserted.first->second.data();
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    if (bytes) *bytes = static_cast<ULONG>(found->second.size());
    return found->second.data();
}

}  // namespace tessaly::gdi

using tessaly::gdi::FontObject;

extern "C" {

WIN32KAPI IFIMETRICS* APIENTRY FONTOBJ_pifi(FONTOBJ* pfo) {
    FontObject* font = FontObject::fromFontobj(pfo);
    return font ? font->ifiMetrics() : nullptr;
}

WIN32KAPI FD_GLYPHSET* APIENTRY FONTOBJ_pfdg(FONTOBJ* pfo) {
    FontObject* font = FontObject::fromFontobj(pfo);
    return font ? font->glyphSet() : nullptr;
}

WIN32KAPI XFORMOBJ* APIENTRY FONTOBJ_pxoGetXform(FONTOBJ* pfo) {
    FontObject* font = FontObject::fromFontobj(pfo);
    return font ? font->transform() : nullptr;
}

WIN32KAPI VOID APIENTRY FONTOBJ_vGetInfo(FONTOBJ* pfo, ULONG cjSize, FONTINFO* pfi) {
    if (FontObject* font = FontObject::fromFontobj(pfo)) font->info(cjSize, pfi);
}

WIN32KAPI ULONG APIENTRY FONTOBJ_cGetAllGlyphHandles(FONTOBJ* pfo, HGLYPH* phg) {
    FontObject* font = FontObject::fromFontobj(pfo);
    return font ? font->allGlyphHandles(phg) : 0;
}

WIN32KAPI PVOID APIENTRY FONTOBJ_pvTrueTypeFontFile(FONTOBJ* pfo, ULONG* pcjFile) {
    FontObject* font = FontObject::fromFontobj(pfo);
    if (!font) {
        if (pcjFile) *pcjFile = 0;
        return nullptr;
    }
    return const_cast<void*>(font->fontFile(pcjFile));
}

WIN32KAPI LPWSTR APIENTRY FONTOBJ_pwszFontFilePaths(FONTOBJ* pfo, ULONG* pcwc) {
    FontObject* font = FontObject::fromFontobj(pfo);
    if (!font) {
        if (pcwc) *pcwc = 0;
        return nullptr;
    }
    return const_cast<LPWSTR>(font->fontFilePaths(pcwc));
}

WIN32KAPI PBYTE APIENTRY FONTOBJ_pjOpenTypeTablePointer(FONTOBJ* pfo, ULONG ulTag, ULONG* pcjTable) {
    FontObject* font = FontObject::fromFontobj(pfo);
    if (!font) {
        if (pcjTable) *pcjTable = 0;
        return nullptr;
    }
    return const_cast<PBYTE>(font->openTypeTable(ulTag, pcjTable));
}

WIN32KAPI ULONG APIENTRY FONTOBJ_cGetGlyphs(FONTOBJ* pfo, ULONG iMode, ULONG cGlyph, HGLYPH* phg,
                                            PVOID* ppvGlyph) {
    FontObject* font = FontObject::fromFontobj(pfo);
    // One glyph per call, as the engine hands them out.
    if (!font || !phg || !ppvGlyph || cGlyph == 0) return 0;
    const GLYPHDATA* data = font->glyphData(phg[0]);
    if (!data) return 0;
    static thread_local GLYPHDATA result;
    result = *data;
    if (iMode == FO_GLYPHBITS) {
        result.gdf.pgb = font->glyphBits(phg[0]);
    } else if (iMode != FO_PATHOBJ) {
        return 0;
    }
    *ppvGlyph = &result;
    return 1;
}

}  // extern "C"
