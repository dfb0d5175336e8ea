// Paths and text: EngStrokePath, EngFillPath, EngStrokeAndFillPath and
// EngTextOut. Paths become regions of covered pixels, which the raster
// operation then paints with the brush.

#include <algorithm>

#include "deferral.h"
#include "raster.h"

namespace tessaly::gdi {

namespace {

bool openTarget(SURFOBJ* pso, PixelView* view) {
    if (!view->open(pso) || !view->drawable()) {
        EngSetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return true;
}

// Cosmetic style units in pixels: the device's style step, or three pixels.
LONG styleUnit(const PixelView& target) {
    const Device* device = target.surface ? target.surface->device() : nullptr;
    if (device && device->gdiInfo.xStyleStep > 0 && device->gdiInfo.denStyleStep > 0) {
        return std::max<LONG>(1, device->gdiInfo.denStyleStep / device->gdiInfo.xStyleStep);
    }
    return 3;
}

void paintRegion(PixelView& target, PixelRegion& covered, const PixelRegion& clip, const BRUSHOBJ* pbo, POINTL* origin,
                 MIX mix) {
    covered.intersect(&clip.r);
    if (covered.empty()) return;
    const ULONG rop = mixToRop3(mix);
    const Operand pattern = brushOperand(pbo, origin, target);
    applyRop(target, &covered.r, Operand{}, pattern, rop | (rop << 8), nullptr);
}

}  // namespace

}  // namespace tessaly::gdi

using namespace tessaly::gdi;

extern "C" {

WIN32KAPI WINBOOL APIENTRY EngStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo,
                                         POINTL* pptlBrushOrg, LINEATTRS* plineattrs, MIX mix) {
    PixelView target;
    if (!openTarget(pso, &target)) return FALSE;
    const PathObject* path = PathObject::fromPathobj(ppo);
    if (!path || !plineattrs) {
        EngSetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (deferCall(pso, [=] { return EngStrokePath(pso, ppo, pco, pxo, pbo, pptlBrushOrg, plineattrs, mix); }))
        return TRUE;
    PixelRegion clip;
    clipRegion(pco, target.bounds(), target, &clip);
    if (clip.empty()) return TRUE;
    PixelRegion covered;
    bool ok;
    if (plineattrs->fl & LA_GEOMETRIC) {
        XFORML matrix{1, 0, 0, 1, 0, 0};
        if (pxo && XFORMOBJ_iGetXform(pxo, &matrix) == DDI_ERROR) matrix = XFORML{1, 0, 0, 1, 0, 0};
        ok = strokePathRegion(*path, matrix, *plineattrs, clip.extents(), &covered);
    } else {
        ok = cosmeticPathRegion(*path, plineattrs, styleUnit(target), clip.extents(), &covered);
    }
    if (!ok) {
        EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    paintRegion(target, covered, clip, pbo, pptlBrushOrg, mix);
    return TRUE;
}

WIN32KAPI WINBOOL APIENTRY EngFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg,
                                       MIX mix, FLONG flOptions) {
    PixelView target;
    if (!openTarget(pso, &target)) return FALSE;
    const PathObject* path = PathObject::fromPathobj(ppo);
    if (!path) {
        EngSetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (deferCall(pso, [=] { return EngFillPath(pso, ppo, pco, pbo, pptlBrushOrg, mix, flOptions); })) return TRUE;
    PixelRegion clip;
    clipRegion(pco, target.bounds(), target, &clip);
    if (clip.empty()) return TRUE;
    PixelRegion covered;
    if (!fillPathRegion(*path, (flOptions & FP_WINDINGMODE) != 0, clip.extents(), &covered)) {
        EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    paintRegion(target, covered, clip, pbo, pptlBrushOrg, mix);
    return TRUE;
}

WIN32KAPI WINBOOL APIENTRY EngStrokeAndFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo,
                                                BRUSHOBJ* pboStroke, LINEATTRS* plineattrs, BRUSHOBJ* pboFill,
                                                POINTL* pptlBrushOrg, MIX mixFill, FLONG flOptions) {
    // The fill, then the outline over it; each goes to the driver when the
    // surface hooks it, as the engine does.
    if (deferCall(pso, [=] {
            return EngStrokeAndFillPath(pso, ppo, pco, pxo, pboStroke, plineattrs, pboFill, pptlBrushOrg, mixFill,
                                        flOptions);
        }))
        return TRUE;
    BOOL ok = FALSE;
    if (auto fill = hookedFunction<PFN_DrvFillPath>(pso, HOOK_FILLPATH, INDEX_DrvFillPath)) {
        ok = fill(pso, ppo, pco, pboFill, pptlBrushOrg, mixFill, flOptions);
    }
    if (!ok) ok = EngFillPath(pso, ppo, pco, pboFill, pptlBrushOrg, mixFill, flOptions);
    if (!ok) return FALSE;
    ok = FALSE;
    if (auto stroke = hookedFunction<PFN_DrvStrokePath>(pso, HOOK_STROKEPATH, INDEX_DrvStrokePath)) {
        ok = stroke(pso, ppo, pco, pxo, pboStroke, pptlBrushOrg, plineattrs, mixFill);
    }
    if (!ok) ok = EngStrokePath(pso, ppo, pco, pxo, pboStroke, pptlBrushOrg, plineattrs, mixFill);
    return ok ? TRUE : FALSE;
}

WIN32KAPI WINBOOL APIENTRY EngTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                                      RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg,
                                      MIX mix) {
    PixelView target;
    if (!openTarget(pso, &target)) return FALSE;
    StringObject* string = StringObject::fromStrobj(pstro);
    FontObject* font = FontObject::fromFontobj(pfo);
    if (!string || !font) {
        EngSetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (deferCall(pso, [=] {
            return EngTextOut(pso, pstro, pfo, pco, prclExtra, prclOpaque, pboFore, pboOpaque, pptlOrg, mix);
        }))
        return TRUE;
    // Rectangles are painted as pattern blits, through the driver when the
    // surface hooks blits.
    auto blit = hookedFunction<PFN_DrvBitBlt>(pso, HOOK_BITBLT, INDEX_DrvBitBlt);
    auto fillRect = [&](RECTL rect, BRUSHOBJ* brush, ROP4 rop4) {
        if (blit && blit(pso, nullptr, nullptr, pco, nullptr, &rect, nullptr, nullptr, brush, pptlOrg, rop4)) {
            return true;
        }
        return EngBitBlt(pso, nullptr, nullptr, pco, nullptr, &rect, nullptr, nullptr, brush, pptlOrg, rop4) != FALSE;
    };
    if (prclOpaque && !emptyRect(normalizeRect(*prclOpaque))) {
        if (!fillRect(normalizeRect(*prclOpaque), pboOpaque, 0xF0F0)) return FALSE;
    }

    PixelRegion clip;
    clipRegion(pco, target.bounds(), target, &clip);
    if (!clip.empty() && string->cGlyphs > 0) {
        // The union of the glyphs' pixels: each glyph's pixels are kept by
        // the font, and text sits at whole pixels.
        std::vector<pixman_box32_t> boxes;
        const RECTL limit = clip.extents();
        for (const GLYPHPOS& position : string->positions()) {
            const LONG dx = position.ptl.x, dy = position.ptl.y;
            // Glyphs this far away (2^27 pixels) reach no surface, and their
            // outlines would not fit FIX coordinates.
            constexpr LONG kFar = 0x7000000;
            if (dx < -kFar || dx > kFar || dy < -kFar || dy > kFar) continue;
            const pixman_region32_t* glyph = font->glyphRegion(position.hg);
            if (!glyph) {
                // A huge glyph: its outline filled inside the clip only.
                const GLYPHDATA* data = font->glyphData(position.hg);
                const PathObject* outline = data ? PathObject::fromPathobj(data->gdf.ppo) : nullptr;
                if (!outline) continue;  // not a glyph of this font
                PixelRegion pixels;
                if (!glyphPixels(*outline, POINTL{dx, dy}, limit, &pixels)) {
                    EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
                    return FALSE;
                }
                int count = 0;
                const pixman_box32_t* list = pixman_region32_rectangles(&pixels.r, &count);
                boxes.insert(boxes.end(), list, list + count);
                continue;
            }
            const pixman_box32_t* e = pixman_region32_extents(const_cast<pixman_region32_t*>(glyph));
            if (e->x2 + dx <= limit.left || e->x1 + dx >= limit.right || e->y2 + dy <= limit.top ||
                e->y1 + dy >= limit.bottom) {
                continue;
            }
            int count = 0;
            const pixman_box32_t* list = pixman_region32_rectangles(const_cast<pixman_region32_t*>(glyph), &count);
            for (int i = 0; i < count; ++i) {
                boxes.push_back(pixman_box32_t{list[i].x1 + dx, list[i].y1 + dy, list[i].x2 + dx, list[i].y2 + dy});
            }
        }
        PixelRegion covered;
        pixman_region32_fini(&covered.r);
        pixman_region32_init_rects(&covered.r, boxes.data(), static_cast<int>(boxes.size()));
        paintRegion(target, covered, clip, pboFore, pptlOrg, mix);
    }
    if (prclExtra) {
        // Underlines and strike-outs, up to an all-zero rectangle.
        const ULONG rop = mixToRop3(mix);
        for (const RECTL* r = prclExtra; r->left || r->top || r->right || r->bottom; ++r) {
            if (!fillRect(normalizeRect(*r), pboFore, rop | (rop << 8))) return FALSE;
        }
    }
    return TRUE;
}

}  // extern "C"
