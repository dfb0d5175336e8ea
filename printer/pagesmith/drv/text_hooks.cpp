// The text hook: a run of text becomes one Text element with its characters,
// font, size, colour, positions and direction, and the fonts it uses are
// declared and captured for the job's font files.

#include "text_hooks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <optional>
#include <vector>

#include "blit_ops.h"
#include "clip_mask.h"
#include "device.h"
#include "font_table.h"
#include "glyph_map.h"
#include "hook_frame.h"
#include "markup.h"
#include "shape_markup.h"
#include "support/text.h"

namespace tessaly::pagesmith {

namespace {

// Offsets across the baseline below this are rounding of rotated positions.
constexpr double kBaselineSnap = 1.4142;
// Direction components this close to 0 are the float rounding of a turn by a
// multiple of 90 degrees; they are written as 0.
constexpr double kDirectionNoise = 1e-6;

double withoutNoise(double v) { return std::fabs(v) < kDirectionNoise ? 0.0 : v; }

// A name of the metrics (an offset from their start), NUL-terminated and
// inside the metrics; empty when the offset leads elsewhere.
std::u16string metricsName(const IFIMETRICS& ifi, PTRDIFF offset) {
    if (offset <= 0 || (ifi.cjThis != 0 && ULONG(offset) >= ifi.cjThis)) return {};
    const auto* base = reinterpret_cast<const uint8_t*>(&ifi);
    const auto* name = reinterpret_cast<const char16_t*>(base + offset);
    const size_t room = ifi.cjThis != 0 ? (ifi.cjThis - ULONG(offset)) / sizeof(char16_t) : 256;
    size_t length = 0;
    while (length < room && name[length] != 0) ++length;
    return std::u16string(name, length);
}

std::string pointPairText(LONG x, LONG y) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%ld,%ld", long(x), long(y));
    return buffer;
}

}  // namespace

TextTransform textTransform(const XFORML* xform, int32_t unitsPerEm) {
    TextTransform t;
    if (!xform) return t;
    const double m11 = xform->eM11, m12 = xform->eM12, m21 = xform->eM21, m22 = xform->eM22;
    const double h = std::sqrt(m11 * m11 + m12 * m12);
    const double v = std::sqrt(m21 * m21 + m22 * m22);
    // A transform that is not a number has no size to write.
    if (!std::isfinite(h) || !std::isfinite(v)) return t;
    t.known = true;
    t.size = h * unitsPerEm;
    if (!(h != 0 && v != 0)) return t;
    t.a = withoutNoise(m11 / h);
    t.b = withoutNoise(m12 / h);
    t.c = withoutNoise(m21 / v);
    t.d = withoutNoise(m22 / v);
    const double det = t.a * t.d - t.b * t.c;
    if (det != 0) {
        t.i11 = t.d / det;
        t.i12 = -t.b / det;
        t.i21 = -t.c / det;
        t.i22 = t.a / det;
        t.identityInverse = t.i11 == 1 && t.i12 == 0 && t.i21 == 0 && t.i22 == 1;
    }
    // A font stretched across its baseline keeps that stretch in the matrix.
    if (h != v) {
        t.c *= v / h;
        t.d *= v / h;
    }
    return t;
}

std::string positionText(const TextTransform& t, std::span<const POINTL> positions) {
    std::string out;
    if (positions.empty()) return out;
    const double x0 = positions[0].x, y0 = positions[0].y;
    for (const POINTL& p : positions) {
        const double dx = p.x - x0, dy = p.y - y0;
        double x = dx, y = dy;
        if (!t.identityInverse) {
            x = t.i11 * dx + t.i21 * dy;
            y = t.i12 * dx + t.i22 * dy;
            if (y > -kBaselineSnap && y < kBaselineSnap) y = 0;
        }
        // No "-0" in the markup.
        out += markup::realText(x + 0.0);
        out += ',';
        out += markup::realText(y + 0.0);
        out += ';';
    }
    return out;
}

size_t trimBlanks(std::u16string& text) {
    const size_t last = text.find_last_not_of(u' ');
    if (last == std::u16string::npos) {
        text.clear();
        return 0;
    }
    text.erase(last + 1);
    const size_t first = text.find_first_not_of(u' ');
    text.erase(0, first);
    return first;
}

std::u16string styleString(FLONG fontType, std::u16string_view metricsStyle) {
    const bool bold = fontType & FO_SIM_BOLD, italic = fontType & FO_SIM_ITALIC;
    if (!bold && !italic) return std::u16string(metricsStyle);
    std::u16string style;
    if (bold) style = u"bold ";
    if (italic) style += u"italic";
    return style;
}

namespace {

struct GlyphRun {
    std::vector<HGLYPH> handles;
    std::vector<POINTL> positions;
};

GlyphRun enumerateGlyphs(STROBJ* string) {
    GlyphRun run;
    run.handles.reserve(string->cGlyphs);
    run.positions.reserve(string->cGlyphs);
    STROBJ_vEnumStart(string);
    bool more = true;
    while (more) {
        ULONG count = 0;
        GLYPHPOS* glyphs = nullptr;
        more = STROBJ_bEnum(string, &count, &glyphs) != FALSE;
        if (!glyphs || count == 0) break;
        for (ULONG i = 0; i < count; ++i) {
            run.handles.push_back(glyphs[i].hg);
            run.positions.push_back(glyphs[i].ptl);
        }
    }
    return run;
}

// The translation of one text call into `out`; false writes nothing.
// Invisible text (drawn with a mix that leaves the page as it is) is written
// fully transparent, so that it can still be found and selected.
bool translateText(DriverDevice& device, std::string& out, STROBJ* string, FONTOBJ* font, CLIPOBJ* clip,
                   const RECTL* opaqueRect, uint32_t foreColour, uint32_t opaqueColour, bool invisible) {
    IFIMETRICS* ifi = font ? FONTOBJ_pifi(font) : nullptr;
    if (!ifi) return false;
    const std::u16string family = metricsName(*ifi, ifi->dpwszFamilyName);
    const std::u16string metricsStyle = metricsName(*ifi, ifi->dpwszStyleName);
    const bool glyphIndices = (string->flAccel & SO_GLYPHINDEX_TEXTOUT) != 0;
    if (string->cGlyphs == 0 || (!string->pwszOrg && !glyphIndices)) return false;

    const std::u16string style = styleString(font->flFontType, metricsStyle);
    const int32_t code = styleCode(ansiName(style));

    GlyphRun glyphs = enumerateGlyphs(string);
    std::u16string text;
    if (glyphIndices) {
        // The indices stand in the text as Windows passes them; without it
        // the glyph handles are the indices.
        std::vector<HGLYPH> indices;
        if (string->pwszOrg) indices.assign(string->pwszOrg, string->pwszOrg + string->cGlyphs);
        else indices = glyphs.handles;
        const GlyphSet* set = device.glyphSets.find(code, family, nullptr);
        if (!set) set = device.glyphSets.find(code, family, FONTOBJ_pfdg(font));
        if (!set) return false;
        text = charactersOfGlyphs(*set, indices);
    } else {
        text.assign(reinterpret_cast<const char16_t*>(string->pwszOrg), string->cGlyphs);
        const bool wide = std::any_of(text.begin(), text.end(), [](char16_t c) { return c >= 127; });
        if ((font->flFontType & FO_DBCS_FONT) && wide) {
            const GlyphSet* set = device.glyphSets.find(code, family, nullptr);
            if (!set) set = device.glyphSets.find(code, family, FONTOBJ_pfdg(font));
            if (!set) return false;
            repairDbcsText(*set, glyphs.handles, text);
        }
    }

    const size_t first = trimBlanks(text);
    if (text.empty() || glyphs.positions.size() <= first) return false;
    // Characters beyond the glyphs have no position to stand at.
    const size_t kept = std::min(text.size(), glyphs.positions.size() - first);
    text.resize(kept);
    const std::span<const POINTL> positions(glyphs.positions.data() + first, kept);

    XFORML xform{};
    XFORMOBJ* fontTransform = FONTOBJ_pxoGetXform(font);
    const bool transformRead = fontTransform && XFORMOBJ_iGetXform(fontTransform, &xform) != DDI_ERROR;
    const TextTransform transform = textTransform(transformRead ? &xform : nullptr, ifi->fwdUnitsPerEm);

    const int32_t charSet = ifi->jWinCharSet == DEFAULT_CHARSET ? -1 : int32_t(ifi->jWinCharSet);
    const int64_t fontId = declareFont(device, family, style, charSet, out);
    if (fontId >= 0) addFontGlyphs(device, uint32_t(fontId), text);

    const bool masked = writeClipMask(device, out, clip, maskXOffset(device), maskYOffset(device));
    markup::startTagOpen(out, "Text");
    markup::textAttribute(out, "pos", pointPairText(positions[0].x, positions[0].y + device.bandY));
    nameAttribute(out, "font", ansiName(family));
    if (transform.known) markup::realAttribute(out, "size", transform.size);
    if (!equalNoCase(ansiName(style), "regular")) nameAttribute(out, "style", ansiName(style));
    if (ifi->jWinCharSet != DEFAULT_CHARSET) markup::integerAttribute(out, "charSet", ifi->jWinCharSet);
    if (foreColour != 0) markup::colourAttribute(out, "color", foreColour);
    if (invisible) markup::textAttribute(out, "alpha", "0");
    if (opaqueRect) {
        char rect[64];
        std::snprintf(rect, sizeof rect, "%ld,%ld,%ld,%ld", long(opaqueRect->left),
                      long(opaqueRect->top) + device.bandY, long(opaqueRect->right),
                      long(opaqueRect->bottom) + device.bandY);
        markup::textAttribute(out, "backgroundRect", rect);
        markup::colourAttribute(out, "backgroundColor", opaqueColour);
    }
    if (transform.known) {
        if (kept > 1) markup::textAttribute(out, "charPos", positionText(transform, positions));
        if (!transform.identityMatrix()) {
            const std::string matrix = markup::realText(transform.a + 0.0) + "," + markup::realText(transform.b + 0.0) +
                                       "," + markup::realText(transform.c + 0.0) + "," +
                                       markup::realText(transform.d + 0.0);
            markup::textAttribute(out, "matrix", matrix);
        }
    }
    markup::startTagClose(out, false, false);
    markup::escapedText(out, text);
    markup::endTag(out, "Text");
    if (masked) writeMaskEnd(out);
    return true;
}

}  // namespace

}  // namespace tessaly::pagesmith

using namespace tessaly::pagesmith;

extern "C" {

WINBOOL APIENTRY DrvTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                            RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg,
                            MIX mix) {
    DriverDevice* device = deviceOf(pso);
    auto render = [&] {
        return EngTextOut(pso, pstro, pfo, pco, prclExtra, prclOpaque, pboFore, pboOpaque, pptlOrg, mix);
    };
    auto translate = [&](std::string& out) {
        const std::optional<uint32_t> fore = solidColour(pboFore);
        if (!fore) return HookDecision::defer();
        std::optional<uint32_t> opaque;
        if (prclOpaque) {
            opaque = solidColour(pboOpaque);
            if (!opaque) return HookDecision::defer();
        }
        const uint32_t rop = mixToRop3(mix);
        const bool invisible = rop == kRopNothing;
        const std::optional<uint32_t> colour = invisible ? fore : flatRopColour(rop, *fore);
        if (!colour) return HookDecision::defer();
        const size_t fonts = device->fonts.size();
        try {
            // The boxes the engine paints flat go into the markup as those
            // blits, in the call's clip, since the movie draws a Text element
            // without them: the opaque box under the text, and underline and
            // strike-out (the extra rectangles, a list ended by an empty one)
            // in the text's colour.
            const ClipView clip = clipViewOf(pco);
            auto flatBox = [&](const RECTL& r, uint32_t boxColour) {
                const RECTL box{std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
                                std::max(r.top, r.bottom)};
                BitBltCall fill;
                fill.clip = &clip;
                fill.target = &box;
                fill.brushColour = boxColour;
                fill.rop = 0xF0;
                return translateBitBlt(*device, fill, out) == BlitResult::kTranslated;
            };
            if (prclOpaque && !flatBox(*prclOpaque, *opaque)) return HookDecision::defer();
            // Lines of invisible text are as invisible as its glyphs.
            for (const RECTL* r = invisible ? nullptr : prclExtra; r && (r->left | r->top | r->right | r->bottom) != 0;
                 ++r) {
                if (!flatBox(*r, *colour)) return HookDecision::defer();
            }
            const size_t written = out.size();
            if (!translateText(*device, out, pstro, pfo, pco, prclOpaque, *colour, opaque.value_or(0), invisible)) {
                out.resize(written);
            }
        } catch (const std::bad_alloc&) {
            // Without memory for the markup the text is only rendered; a font
            // captured for it goes too, as its declaration is not written.
            out.clear();
            device->fonts.resize(fonts);
        }
        return HookDecision::translate();
    };
    if (!pstro) return renderNested(device, render);
    return runHook(device, translate, render);
}

}  // extern "C"
