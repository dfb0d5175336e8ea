// Text: each string of the PDF becomes text calls in the document's own
// font (its embedded file registered as a private font, each glyph drawn by
// the character the font's map gives it), its glyphs placed at the PDF's
// own positions through explicit advances. A font without a usable embedded
// file is drawn with an installed face of its style (fixed, serif or sans;
// bold; italic) and the PDF's Unicode values. Invisible text (render mode 3,
// or paint of opacity 0) is still handed over, to be found and selected.
// Type 3 glyphs are drawn by poppler through their procedures (paths and
// images); their Unicode values become invisible text. Clipping render modes
// collect the glyph outlines and clip by them when the text object ends.
#include <GfxFont.h>
#include <GfxState.h>
#include <SplashOutputDev.h>

#include <cmath>
#include <cstring>
#include <string>

#include "page_player.h"
#include "player_util.h"

namespace tessaly::pdf {

namespace {

// The em of the face in world units: the text call's font is this tall.
constexpr double kEm = 1000;
// A gap between glyphs wider than this (em units) separates words: it is
// written as a blank, so that the text reads as words.
constexpr double kWordGap = 0.15 * kEm;

bool nameHas(const std::string& name, const char* word) { return name.find(word) != std::string::npos; }

LOGFONTW substituteFace(const GfxFont& font) {
    const std::string name = font.getName() ? *font.getName() : std::string();
    LOGFONTW lf{};
    lf.lfHeight = -static_cast<LONG>(kEm);
    lf.lfWeight = font.isBold() || nameHas(name, "Bold") || nameHas(name, "Black") || nameHas(name, "Heavy") ||
                                 nameHas(name, "+CMBX")
                     ? 700 : 400;
    lf.lfItalic = font.isItalic() || nameHas(name, "Italic") || nameHas(name, "Oblique") ? 1 : 0;
    // TeX's Computer Modern and Latin Modern faces are named by their style.
    const bool fixed = font.isFixedWidth() || nameHas(name, "Courier") || nameHas(name, "Mono") ||
                       nameHas(name, "CMTT") || nameHas(name, "SFTT");
    // A font dictionary without a descriptor claims to be serif; a sans
    // name says otherwise.
    const bool sansName = nameHas(name, "Helvetica") || nameHas(name, "Arial") || nameHas(name, "Sans") ||
                          nameHas(name, "+CMSS");
    const bool serif = (!sansName && font.isSerif()) || nameHas(name, "Times") || nameHas(name, "Serif") || nameHas(name, "Roman") ||
                       nameHas(name, "+CMR") || nameHas(name, "+CMBX") || nameHas(name, "+CMTI") ||
                       nameHas(name, "+CMSL") || nameHas(name, "+SFRM") || nameHas(name, "+SFBX");
    const char* face = fixed ? "Liberation Mono" : serif ? "Liberation Serif" : "Liberation Sans";
    for (size_t i = 0; face[i] && i + 1 < LF_FACESIZE; ++i) lf.lfFaceName[i] = static_cast<WCHAR>(face[i]);
    return lf;
}

LOGFONTW registeredFace(const std::u16string& face) {
    LOGFONTW lf{};
    lf.lfHeight = -static_cast<LONG>(kEm);
    // The face's own weight and slant: nothing is simulated.
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    for (size_t i = 0; i < face.size() && i + 1 < LF_FACESIZE; ++i) lf.lfFaceName[i] = static_cast<WCHAR>(face[i]);
    return lf;
}

// A font of the layer selected into an information context, for glyph
// outlines.
class OutlineFont {
public:
    explicit OutlineFont(const LOGFONTW& lf) {
        dc_ = CreateICW(u"DISPLAY", nullptr, nullptr, nullptr);
        font_ = dc_ ? CreateFontIndirectW(&lf) : nullptr;
        previous_ = font_ ? SelectObject(dc_, font_) : nullptr;
    }
    ~OutlineFont() {
        if (previous_) SelectObject(dc_, previous_);
        if (font_) DeleteObject(font_);
        if (dc_) DeleteDC(dc_);
    }
    OutlineFont(const OutlineFont&) = delete;
    OutlineFont& operator=(const OutlineFont&) = delete;

    // The native outline of a character (em units, y up); empty for none.
    std::vector<uint8_t> outline(char16_t c) const {
        if (!previous_) return {};
        MAT2 identity{};
        identity.eM11.value = 1;
        identity.eM22.value = 1;
        GLYPHMETRICS metrics{};
        const DWORD size = GetGlyphOutlineW(dc_, c, GGO_NATIVE | GGO_UNHINTED, &metrics, 0, nullptr, &identity);
        if (size == GDI_ERROR || size == 0 || size > (1u << 24)) return {};
        std::vector<uint8_t> data(size);
        if (GetGlyphOutlineW(dc_, c, GGO_NATIVE | GGO_UNHINTED, &metrics, size, data.data(), &identity) != size)
            return {};
        return data;
    }

private:
    HDC dc_ = nullptr;
    HFONT font_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

double fixedValue(const FIXED& f) { return f.value + f.fract / 65536.0; }

// Adds a native outline placed at x on the baseline (y down) to the
// context's open path, through `map` when given.
void addOutline(gdi::DeviceContext& dc, const std::vector<uint8_t>& data, double x, bool& ok,
                const gdi::Transform* map = nullptr) {
    auto point = [&](const POINTFX& p) {
        const gdi::PointD q{x + fixedValue(p.x), -fixedValue(p.y)};
        return map ? map->apply(q) : q;
    };
    size_t at = 0;
    while (at + sizeof(TTPOLYGONHEADER) <= data.size()) {
        TTPOLYGONHEADER header;
        std::memcpy(&header, data.data() + at, sizeof header);
        if (header.cb < sizeof header || header.cb > data.size() - at) return;
        gdi::PointD current = point(header.pfxStart);
        ok = dc.moveTo(current) && ok;
        size_t r = at + sizeof header;
        const size_t end = at + header.cb;
        while (r + 4 <= end) {
            WORD head[2];
            std::memcpy(head, data.data() + r, sizeof head);
            const size_t count = head[1];
            if (count == 0 || count > (end - r - 4) / sizeof(POINTFX)) break;
            std::vector<gdi::PointD> p(count);
            for (size_t i = 0; i < count; ++i) {
                POINTFX fx;
                std::memcpy(&fx, data.data() + r + 4 + i * sizeof(POINTFX), sizeof fx);
                p[i] = point(fx);
            }
            if (head[0] == TT_PRIM_LINE) {
                for (const gdi::PointD& q : p) ok = dc.lineTo(q) && ok;
            } else if (head[0] == TT_PRIM_CSPLINE) {
                for (size_t i = 0; i + 2 < count; i += 3) ok = dc.bezierTo(p[i], p[i + 1], p[i + 2]) && ok;
            } else if (head[0] == TT_PRIM_QSPLINE) {
                // Quadratic pieces between the implied midpoints, as cubics.
                for (size_t i = 0; i + 1 < count; ++i) {
                    const gdi::PointD q = p[i];
                    const gdi::PointD e = i + 2 < count ? gdi::PointD{(p[i].x + p[i + 1].x) / 2, (p[i].y + p[i + 1].y) / 2}
                                                        : p[i + 1];
                    ok = dc.bezierTo({current.x + 2.0 / 3 * (q.x - current.x), current.y + 2.0 / 3 * (q.y - current.y)},
                                     {e.x + 2.0 / 3 * (q.x - e.x), e.y + 2.0 / 3 * (q.y - e.y)}, e) &&
                         ok;
                    current = e;
                }
            }
            if (head[0] != TT_PRIM_QSPLINE) current = p.back();
            r += 4 + count * sizeof(POINTFX);
        }
        ok = dc.closeFigure() && ok;
        at = end;
    }
}

void appendUtf16(std::u16string& out, Unicode u) {
    if (u == 0 || u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF)) return;
    if (u < 0x10000) {
        out.push_back(static_cast<char16_t>(u));
    } else {
        u -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (u >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (u & 0x3FF)));
    }
}

}  // namespace

void PagePlayer::beginString(GfxState* state, const GooString* /*s*/) {
    // The page's CTM, which Type 3 glyphs replace by their own.
    const double* m = state->getCTM();
    std::copy(m, m + 6, stringCtm_);
}

void PagePlayer::endString(GfxState* /*state*/) {}

void PagePlayer::beginTextObject(GfxState* state) {
    if (raster_) raster_->beginTextObject(state);
}

void PagePlayer::endTextObject(GfxState* state) {
    flushText();
    flushRun(type3Run_, type3Style_);
    if (raster_) {
        // The clip changes: what waits was drawn under the one before.
        if (textClipping_) flushRaster();
        raster_->endTextObject(state);
    }
    if (!textClipping_) return;
    textClipping_ = false;
    if (rasterGroups_ > 0) {
        // Only the rasteriser draws in the group; it clips by itself.
        textClip_.clear();
        return;
    }
    // The outlines of the text object's clipping glyphs, in device pixels.
    bool ok = true, any = false;
    check(dc_.setTransform({}, gdi::TransformMode::Identity));
    ok = dc_.beginPath() && ok;
    for (const TextClipPiece& piece : textClip_) {
        const OutlineFont font(piece.font);
        double x = 0;
        for (size_t i = 0; i < piece.text.size(); ++i) {
            const char16_t c = piece.text[i];
            if (c < 0xD800 || c > 0xDFFF) {
                const std::vector<uint8_t> outline = font.outline(c);
                if (!outline.empty()) {
                    addOutline(dc_, outline, x, ok, &piece.world);
                    any = true;
                }
            }
            x += piece.advances[i];
        }
    }
    ok = dc_.endPath() && ok;
    check(ok);
    textClip_.clear();
    dc_.setFillMode(gdi::FillMode::Winding);
    // Clipping glyphs without outlines leave nothing to paint.
    check(any ? dc_.clipPath(gdi::ClipCombine::And) : dc_.clipRegion({}, gdi::ClipCombine::And));
}

PagePlayer::RunStyle PagePlayer::styleOf(GfxState* state) const {
    RunStyle style;
    style.font = state->getFont();
    style.size = state->getFontSize();
    style.horizScaling = state->getHorizScaling();
    const double* tm = state->getTextMat();
    std::copy(tm, tm + 4, style.textMat);
    const double* ctm = state->getCTM();
    std::copy(ctm, ctm + 6, style.ctm);
    // Inside a rasterised group the CTM is the group bitmap's.
    style.ctm[4] += groupShiftX_;
    style.ctm[5] += groupShiftY_;
    style.render = state->getRender() & 3;
    style.clip = (state->getRender() & 4) != 0;
    // Text that shows nothing is kept as text to be found.
    // Stroked text (mode 1) is found as text and seen as its stroked
    // outlines.
    style.invisible = style.render == 3 || style.render == 1 || !(state->getFillOpacity() > 0);
    GfxRGB rgb;
    if (style.render == 1)
        state->getStrokeRGB(&rgb);
    else
        state->getFillRGB(&rgb);
    style.color = colorOf(rgb);
    if (style.render == 1 || style.render == 2) {
        const gdi::Transform ctmToDevice = gdi::Transform{ctm[0], ctm[1], ctm[2], ctm[3], ctm[4], ctm[5]}.then(pageToDevice_);
        style.pen = strokePen(state, ctmToDevice.invertible() ? scaleOf(ctmToDevice) : 0.0);
        // A stroke of no opacity shows nothing.
        if (!(state->getStrokeOpacity() > 0)) style.pen.style = gdi::PenStyle::Null;
    }
    return style;
}

bool PagePlayer::RunStyle::operator==(const RunStyle& o) const {
    return font == o.font && size == o.size && horizScaling == o.horizScaling &&
           std::equal(textMat, textMat + 4, o.textMat) && std::equal(ctm, ctm + 6, o.ctm) && render == o.render &&
           invisible == o.invisible && clip == o.clip && color == o.color &&
           ((render != 1 && render != 2) ||
            (pen.color == o.pen.color && pen.width == o.pen.width && pen.style == o.pen.style &&
             pen.cap == o.pen.cap && pen.join == o.pen.join && pen.miterLimit == o.pen.miterLimit &&
             pen.dashes == o.pen.dashes));
}

void PagePlayer::drawChar(GfxState* state, double x, double y, double dx, double dy, double originX,
                          double originY, CharCode code, int nBytes, const Unicode* u, int uLen) {
    const std::shared_ptr<GfxFont>& font = state->getFont();
    if (!font || discarding_ > 0) return;
    // Text with transparency is drawn by the rasteriser and kept as text
    // to be found.
    bool rasterised = false;
    const int render = state->getRender() & 3;
    if (render != 3) {
        const double fill = state->getFillOpacity(), stroke = state->getStrokeOpacity();
        const double opacity = render == 0 ? fill : render == 1 ? stroke : std::min(fill, stroke);
        // (Text of no opacity is invisible text, nothing to rasterise.)
        const bool transparent =
            rasterGroups_ > 0 || softMasked() || shadingDepth_ >= 0 || (opacity < 1 && opacity > 0);
        if (transparent && ensureRaster()) {
            syncRaster(state);
            raster_->drawChar(state, x, y, dx, dy, originX, originY, code, nBytes, u, uLen);
            markRaster(state);
            rasterised = true;
        }
    }
    const PdfFont& pdfFont = fonts_.font(*font, xref_);
    RunGlyph g;
    g.x = x - originX;
    g.y = y - originY;
    g.dx = dx;
    g.dy = dy;
    if (pdfFont.registered()) {
        const char16_t key = pdfFont.key(code);
        if (!key) return;  // .notdef, or a glyph the font does not have
        g.text.push_back(key);
    } else {
        if (!u || uLen <= 0) return;  // nothing to draw with an installed face
        for (int i = 0; i < uLen && i < 8; ++i) appendUtf16(g.text, u[i]);
        if (g.text.empty()) return;
    }
    // A run holds glyphs of one look; the strings of a text object join
    // into it (a word kerned apart by its spacing stays one call).
    RunStyle style = styleOf(state);
    if (rasterised) {
        style.render = 3;
        style.invisible = true;
    }
    if (!run_.empty() && !(style == runStyle_)) flushText();
    if (run_.empty()) runStyle_ = std::move(style);
    if (runStyle_.clip) textClipping_ = true;
    run_.push_back(std::move(g));
}

bool PagePlayer::beginType3Char(GfxState* state, double x, double y, double /*dx*/, double /*dy*/, CharCode code,
                                const Unicode* u, int uLen) {
    // Gfx draws the glyph's procedure as paths; its Unicode value is kept
    // as invisible text in an installed face, so that the text can be found.
    if (discarding_ > 0 || !u || uLen <= 0 || !state->getFont()) return false;
    // The CTM is the glyph's here: the page's comes from the string's
    // start, the advance from the font's width.
    const double* m = stringCtm_;
    RunGlyph g;
    g.x = x;
    g.y = y;
    const auto* simple = dynamic_cast<const Gfx8BitFont*>(state->getFont().get());
    const double width = simple && code < 256 ? simple->getWidth(static_cast<unsigned char>(code)) : 0;
    const double advance = (width * state->getFontSize() + state->getCharSpace()) * state->getHorizScaling();
    g.dx = state->getTextMat()[0] * advance;
    g.dy = state->getTextMat()[1] * advance;
    for (int i = 0; i < uLen && i < 8; ++i) appendUtf16(g.text, u[i]);
    if (g.text.empty()) return false;
    RunStyle style = styleOf(state);
    std::copy(m, m + 6, style.ctm);
    style.ctm[4] += groupShiftX_;
    style.ctm[5] += groupShiftY_;
    style.render = 3;
    style.invisible = true;
    style.clip = false;
    style.color = 0;
    if (!type3Run_.empty() && !(style == type3Style_)) flushRun(type3Run_, type3Style_);
    if (type3Run_.empty()) type3Style_ = std::move(style);
    type3Run_.push_back(std::move(g));
    return false;
}

void PagePlayer::flushText() { flushRun(run_, runStyle_); }

void PagePlayer::flushRun(std::vector<RunGlyph>& run, const RunStyle& style) {
    if (run.empty()) return;
    // Paint the rasteriser holds lies below this text.
    if (!style.invisible || style.clip) flushRaster();
    std::vector<RunGlyph> glyphs;
    glyphs.swap(run);
    const std::shared_ptr<GfxFont>& font = style.font;
    // Vertical text comes through too: each glyph stands at its horizontal
    // origin, below the one before, and so takes a text call of its own.
    if (!font) return;
    const PdfFont& pdfFont = fonts_.font(*font, xref_);
    const double size = style.size;
    const double th = style.horizScaling;
    const double* tm = style.textMat;
    // Em units (y down) to user space at the origin: the text matrix's
    // linear part after the font size.
    const gdi::Transform em{size * th / kEm, 0, 0, -size / kEm, 0, 0};
    const gdi::Transform linear = em.then({tm[0], tm[1], tm[2], tm[3], 0, 0});
    if (!linear.invertible()) return;
    const double det = linear.m11 * linear.m22 - linear.m12 * linear.m21;
    // User-space offsets to em units along (x) and across (y) the baseline.
    auto toEm = [&](double ux, double uy) {
        return gdi::PointD{(ux * linear.m22 - uy * linear.m21) / det, (uy * linear.m11 - ux * linear.m12) / det};
    };
    dc_.setTextColor(style.color);
    const bool spaces = !pdfFont.registered() || pdfFont.spaces;
    const LOGFONTW lf = pdfFont.registered() ? registeredFace(pdfFont.face) : substituteFace(*font);
    check(dc_.setFont(lf));
    const gdi::Transform ctm{style.ctm[0], style.ctm[1], style.ctm[2], style.ctm[3], style.ctm[4], style.ctm[5]};

    // Lines of filled or invisible horizontal text join into one call whose
    // advances also go across the baseline; vertical text and glyphs whose
    // outlines are stroked or clip keep one call per baseline.
    const bool joinLines = !font->getWMode() && !style.clip && (style.render == 0 || style.render == 3);
    size_t first = 0;
    while (first < glyphs.size()) {
        const RunGlyph& g0 = glyphs[first];
        gdi::Transform at = linear;
        at.dx = g0.x;
        at.dy = g0.y;
        const gdi::Transform world = at.then(ctm).then(pageToDevice_);
        size_t end = first + 1;
        while (end < glyphs.size()) {
            const gdi::PointD p = toEm(glyphs[end].x - g0.x, glyphs[end].y - g0.y);
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || (!joinLines && !(std::fabs(p.y) < 1))) break;
            ++end;
        }
        if (world.invertible()) {
            std::u16string text;
            // Along and across the baseline per character, or along only.
            std::vector<double> advances;
            const size_t step = joinLines ? 2 : 1;
            auto add = [&](double along, double across) {
                advances.push_back(along);
                if (joinLines) advances.push_back(across);
            };
            // The baseline of the line being written, across from the
            // first glyph's (em units); glyphs less than an em off it stand
            // on it.
            double lineY = 0;
            for (size_t i = first; i < end; ++i) {
                const RunGlyph& g = glyphs[i];
                gdi::PointD advance{0, 0};
                if (i + 1 < end) {
                    advance = toEm(glyphs[i + 1].x - g.x, glyphs[i + 1].y - g.y);
                    const double nextY = toEm(glyphs[i + 1].x - g0.x, glyphs[i + 1].y - g0.y).y;
                    advance.y = 0;
                    if (std::fabs(nextY - lineY) >= 1) {
                        advance.y = nextY - lineY;
                        lineY = nextY;
                    }
                } else {
                    advance.x = toEm(g.dx, g.dy).x;
                }
                if (!std::isfinite(advance.x)) advance.x = 0;
                text += g.text;
                // A word gap within a line: the glyph's own advance, then a
                // blank across the rest.
                const double own = toEm(g.dx, g.dy).x;
                const bool gap = spaces && i + 1 < end && advance.y == 0 && std::isfinite(own) &&
                                 advance.x - own > kWordGap && g.text != u" " && glyphs[i + 1].text != u" ";
                add(gap ? own : advance.x, gap ? 0 : advance.y);
                advances.resize(text.size() * step, 0.0);
                if (gap) {
                    text += u' ';
                    add(advance.x - own, 0);
                }
            }
            check(dc_.setTransform(world, gdi::TransformMode::Set));
            gdi::TextOptions options;
            options.advances = advances;
            options.pairs = joinLines;
            options.invisible = style.invisible;
            check(dc_.textOut({0, 0}, text, options));
            if ((style.render == 1 || style.render == 2) && style.pen.style != gdi::PenStyle::Null)
                strokeOutlines(lf, text, advances, style.pen, scaleOf(linear));
            // Clipping modes add the glyphs to the text object's clip.
            if (style.clip) textClip_.push_back({lf, text, advances, world});
        }
        first = end;
    }
}

void PagePlayer::strokeOutlines(const LOGFONTW& lf, std::u16string_view text, std::span<const double> advances,
                                gdi::Pen pen, double userPerEm) {
    if (!(userPerEm > 0) || !std::isfinite(userPerEm)) return;
    // The pen is in user units; the text's world is the em.
    pen.width /= userPerEm;
    for (double& d : pen.dashes) d /= userPerEm;
    const OutlineFont font(lf);
    gdi::Brush none;
    none.style = gdi::BrushStyle::Null;
    check(dc_.setBrush(none));
    check(dc_.setPen(pen));
    bool ok = dc_.beginPath();
    double x = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < 0xD800 || c > 0xDFFF) {
            const std::vector<uint8_t> outline = font.outline(c);
            if (!outline.empty()) addOutline(dc_, outline, x, ok);
        }
        x += i < advances.size() ? advances[i] : 0;
    }
    ok = dc_.endPath() && ok;
    check(ok);
    check(dc_.strokePath());
}

}  // namespace tessaly::pdf
