// Strings of glyphs: layout along the font's baseline, enumeration and the
// STROBJ_ services.

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <utility>

#include "engine_objects.h"
#include "registry.h"

namespace tessaly::gdi {

StringObject::StringObject() : STROBJ{} { liveSet<StringObject>().add(static_cast<STROBJ*>(this)); }

StringObject::~StringObject() { liveSet<StringObject>().remove(static_cast<STROBJ*>(this)); }

StringObject* StringObject::fromStrobj(const STROBJ* pstro) {
    if (!liveSet<StringObject>().contains(pstro)) return nullptr;
    return static_cast<StringObject*>(const_cast<STROBJ*>(pstro));
}

namespace {
LONG roundToLong(double v) {
    if (!(v > -1e9 && v < 1e9)) return v < 0 ? -1000000000 : 1000000000;
    return static_cast<LONG>(std::lround(v));
}
}  // namespace

bool StringObject::layout(FontObject& font, const WCHAR* text, ULONG count, double x, double y,
                          const double* advances, bool glyphIndices, const double* across) {
    font_ = &font;
    glyphs_.clear();
    advances_.clear();
    text_.assign(text ? text : u"", text ? count : 0);
    const XFORML& m = font.transform()->matrix();
    // The baseline's direction in the device.
    const double bx = m.eM11, by = m.eM12, blen = std::hypot(bx, by);
    const double ux = blen > 0 ? bx / blen : 1, uy = blen > 0 ? by / blen : 0;
    // Across the baseline, towards the descent.
    const double vx = m.eM21, vy = m.eM22, vlen = std::hypot(vx, vy);
    const double nx = vlen > 0 ? vx / vlen : -uy, ny = vlen > 0 ? vy / vlen : ux;
    bool oneLine = true;
    double penX = x, penY = y;
    flAccel = advances ? 0 : SO_FLAG_DEFAULT_PLACEMENT;
    for (size_t i = 0; i < text_.size(); ++i) {
        char32_t c = text_[i];
        // A surrogate pair is one glyph at the first unit's position.
        const bool pair = !glyphIndices && c >= 0xD800 && c < 0xDC00 && i + 1 < text_.size() && text_[i + 1] >= 0xDC00 &&
                          text_[i + 1] < 0xE000;
        if (pair) c = 0x10000 + ((c - 0xD800) << 10) + (text_[i + 1] - 0xDC00);
        const HGLYPH glyph = glyphIndices ? HGLYPH{c} : font.glyph(c);
        double ax = 0, ay = 0;
        font.advance(glyph, &ax, &ay);
        GLYPHPOS position{};
        position.hg = glyph;
        position.pgdf = nullptr;
        position.ptl = POINTL{roundToLong(penX), roundToLong(penY)};
        glyphs_.push_back(position);
        if (advances) {
            double distance = advances[i];
            if (pair) distance += advances[i + 1];
            ax = distance * ux;
            ay = distance * uy;
            if (across) {
                double off = across[i];
                if (pair) off += across[i + 1];
                if (off != 0 && i + 1 + (pair ? 1 : 0) < text_.size()) oneLine = false;
                ax += off * nx;
                ay += off * ny;
            }
        }
        POINTQF advance{};
        advance.x.QuadPart = static_cast<int64_t>(std::llround(ax * 68719476736.0));
        advance.y.QuadPart = static_cast<int64_t>(std::llround(ay * 68719476736.0));
        advances_.push_back(advance);
        penX += ax;
        penY += ay;
        if (pair) ++i;
    }
    if (glyphIndices) flAccel |= SO_GLYPHINDEX_TEXTOUT;
    finish(oneLine);
    return true;
}

bool StringObject::setGlyphs(FontObject& font, const HGLYPH* glyphs, const POINTL* positions, ULONG count) {
    font_ = &font;
    glyphs_.clear();
    advances_.clear();
    text_.clear();
    for (ULONG i = 0; glyphs && positions && i < count; ++i) {
        GLYPHPOS position{};
        position.hg = glyphs[i];
        position.ptl = positions[i];
        glyphs_.push_back(position);
        double ax = 0, ay = 0;
        font.advance(glyphs[i], &ax, &ay);
        POINTQF advance{};
        advance.x.QuadPart = static_cast<int64_t>(std::llround(ax * 68719476736.0));
        advance.y.QuadPart = static_cast<int64_t>(std::llround(ay * 68719476736.0));
        advances_.push_back(advance);
    }
    flAccel = SO_GLYPHINDEX_TEXTOUT;
    finish();
    return true;
}

void StringObject::finish(bool oneLine) {
    cGlyphs = static_cast<ULONG>(glyphs_.size());
    pgp = nullptr;  // glyphs are handed out through STROBJ_bEnum
    pwszOrg = text_.empty() ? nullptr : text_.data();
    cursor_ = 0;
    const XFORML& m = font_->transform()->matrix();
    // The baseline along an axis: left to right (or top to bottom, the way
    // a vertical baseline at 270 degrees runs), or reversed.
    // Turned fonts carry the rounding of their sines and cosines.
    auto tiny = [](FLOATL v, FLOATL against) { return std::fabs(v) <= 1e-6f * std::fabs(against); };
    if (!oneLine) {
        // Glyphs on several lines run along no single axis.
    } else if (tiny(m.eM12, m.eM11) && tiny(m.eM21, m.eM22)) {
        flAccel |= SO_HORIZONTAL;
        if (m.eM11 < 0) flAccel |= SO_REVERSED;
    } else if (tiny(m.eM11, m.eM12) && tiny(m.eM22, m.eM21)) {
        flAccel |= SO_VERTICAL;
        if (m.eM12 < 0) flAccel |= SO_REVERSED;
    }
    ulCharInc = 0;
    // The background box: every glyph's cell from ascent to descent.
    const double ascent = font_->ascent(), descent = font_->descent();
    const double vx = m.eM21, vy = m.eM22, vlen = std::hypot(vx, vy);
    const double nx = vlen > 0 ? vx / vlen : 0, ny = vlen > 0 ? vy / vlen : 1;
    double left = 0, top = 0, right = 0, bottom = 0;
    bool any = false;
    auto include = [&](double px, double py) {
        if (!any) {
            left = right = px;
            top = bottom = py;
            any = true;
        }
        left = std::min(left, px);
        right = std::max(right, px);
        top = std::min(top, py);
        bottom = std::max(bottom, py);
    };
    for (size_t i = 0; i < glyphs_.size(); ++i) {
        const double x0 = glyphs_[i].ptl.x, y0 = glyphs_[i].ptl.y;
        const double x1 = x0 + advances_[i].x.QuadPart / 68719476736.0;
        const double y1 = y0 + advances_[i].y.QuadPart / 68719476736.0;
        for (const auto& [px, py] : {std::pair(x0, y0), std::pair(x1, y1)}) {
            include(px - nx * ascent, py - ny * ascent);
            include(px + nx * descent, py + ny * descent);
        }
    }
    if (any) {
        auto toLong = [](double v) { return static_cast<LONG>(std::clamp(v, -2147483648.0, 2147483647.0)); };
        rclBkGround = RECTL{toLong(std::floor(left)), toLong(std::floor(top)), toLong(std::ceil(right)),
                            toLong(std::ceil(bottom))};
    } else {
        rclBkGround = RECTL{0, 0, 0, 0};
    }
}

void StringObject::offset(LONG dx, LONG dy) {
    // Saturating, so that a far-away string cannot wrap around.
    auto add = [](LONG v, LONG d) {
        return static_cast<LONG>(std::clamp<int64_t>(int64_t{v} + d, INT32_MIN, INT32_MAX));
    };
    for (GLYPHPOS& g : glyphs_) {
        g.ptl.x = add(g.ptl.x, dx);
        g.ptl.y = add(g.ptl.y, dy);
    }
    rclBkGround.left = add(rclBkGround.left, dx);
    rclBkGround.right = add(rclBkGround.right, dx);
    rclBkGround.top = add(rclBkGround.top, dy);
    rclBkGround.bottom = add(rclBkGround.bottom, dy);
}

bool StringObject::advanceWidths(ULONG first, ULONG count, POINTQF* out) {
    if (!out || first > advances_.size() || count > advances_.size() - first) return false;
    std::copy_n(advances_.begin() + first, count, out);
    return true;
}

bool StringObject::enumerate(ULONG* count, GLYPHPOS** glyphs, bool positionsOnly) {
    if (!count || !glyphs) return false;
    if (cursor_ >= glyphs_.size()) {
        *count = 0;
        *glyphs = nullptr;
        return false;
    }
    // All glyphs in one batch.
    if (!positionsOnly && font_) {
        for (size_t i = cursor_; i < glyphs_.size(); ++i) {
            const GLYPHDATA* data = font_->glyphData(glyphs_[i].hg);
            glyphs_[i].pgdf = data ? const_cast<GLYPHDEF*>(&data->gdf) : nullptr;
        }
    }
    *count = static_cast<ULONG>(glyphs_.size() - cursor_);
    *glyphs = glyphs_.data() + cursor_;
    cursor_ = glyphs_.size();
    return false;
}

}  // namespace tessaly::gdi

using tessaly::gdi::StringObject;

extern "C" {

WIN32KAPI VOID APIENTRY STROBJ_vEnumStart(STROBJ* pstro) {
    if (StringObject* string = StringObject::fromStrobj(pstro)) string->enumStart();
}

WIN32KAPI WINBOOL APIENTRY STROBJ_bEnum(STROBJ* pstro, ULONG* pc, PGLYPHPOS* ppgpos) {
    StringObject* string = StringObject::fromStrobj(pstro);
    if (!string) {
        if (pc) *pc = 0;
        return FALSE;
    }
    return string->enumerate(pc, ppgpos, false) ? TRUE : FALSE;
}

WIN32KAPI WINBOOL APIENTRY STROBJ_bEnumPositionsOnly(STROBJ* pstro, ULONG* pc, PGLYPHPOS* ppgpos) {
    StringObject* string = StringObject::fromStrobj(pstro);
    if (!string) {
        if (pc) *pc = 0;
        return FALSE;
    }
    return string->enumerate(pc, ppgpos, true) ? TRUE : FALSE;
}

WIN32KAPI WINBOOL APIENTRY STROBJ_bGetAdvanceWidths(STROBJ* pso, ULONG iFirst, ULONG c, POINTQF* pptqD) {
    StringObject* string = StringObject::fromStrobj(pso);
    return string && string->advanceWidths(iFirst, c, pptqD) ? TRUE : FALSE;
}

// The Windows code page of the character set the string's font was
// realized with; Windows-1252 when it has none.
WIN32KAPI DWORD APIENTRY STROBJ_dwGetCodePage(STROBJ* pstro) {
    const StringObject* string = StringObject::fromStrobj(pstro);
    const tessaly::gdi::FontObject* font = string ? string->font() : nullptr;
    if (!font) return 1252;
    switch (font->textMetrics().tmCharSet) {
        case SYMBOL_CHARSET: return 42;  // CP_SYMBOL
        case SHIFTJIS_CHARSET: return 932;
        case GB2312_CHARSET: return 936;
        case HANGUL_CHARSET: return 949;
        case CHINESEBIG5_CHARSET: return 950;
        case JOHAB_CHARSET: return 1361;
        case EASTEUROPE_CHARSET: return 1250;
        case RUSSIAN_CHARSET: return 1251;
        case GREEK_CHARSET: return 1253;
        case TURKISH_CHARSET: return 1254;
        case HEBREW_CHARSET: return 1255;
        case ARABIC_CHARSET: return 1256;
        case BALTIC_CHARSET: return 1257;
        case VIETNAMESE_CHARSET: return 1258;
        case THAI_CHARSET: return 874;
        case MAC_CHARSET: return 10000;
        default: return 1252;
    }
}

// Extra spacing is already in the glyph positions: strings carry none.
WIN32KAPI FIX APIENTRY STROBJ_fxBreakExtra(STROBJ* /*pstro*/) { return 0; }

WIN32KAPI FIX APIENTRY STROBJ_fxCharacterExtra(STROBJ* /*pstro*/) { return 0; }

}  // extern "C"
