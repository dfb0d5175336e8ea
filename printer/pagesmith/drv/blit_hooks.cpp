// The block-transfer hooks and the hooks that always render. Every call is
// rendered into the driver's surface with its engine function, inside a
// nesting frame. When the device translates, a blit first becomes markup
// (blit_ops) or, when it cannot, the rectangle it painted is captured as an
// image after rendering.

#include <algorithm>

#include "blit_ops.h"
#include "capture.h"
#include "clip_mask.h"
#include "device.h"
#include "job_writer.h"
#include "pixel_rows.h"
#include "shape_markup.h"

using namespace tessaly::pagesmith;

namespace {

// The device a hook translates for: the target's, when it translates now.
DriverDevice* translatingDevice(SURFOBJ* target) {
    DriverDevice* device = deviceOf(target);
    return device && device->translating() ? device : nullptr;
}

RECTL normalised(const RECTL& r) {
    return {std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
            std::max(r.top, r.bottom)};
}

// Markup of a translated call goes out before the call is rendered.
void emit(DriverDevice& device, const std::string& markupText) {
    if (!markupText.empty()) (void)writeMarkup(device, markupText);
}

}  // namespace

extern "C" {

WINBOOL APIENTRY DrvBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                           RECTL* prclTrg, POINTL* pptlSrc, POINTL* pptlMask, BRUSHOBJ* pbo,
                           POINTL* pptlBrush, ROP4 rop4) {
    DriverDevice* device = translatingDevice(psoTrg);
    const auto render = [&] {
        NestingFrame frame(deviceOf(psoTrg));
        return EngBitBlt(psoTrg, psoSrc, psoMask, pco, pxlo, prclTrg, pptlSrc, pptlMask, pbo, pptlBrush, rop4);
    };
    if (!device) return render();

    const ClipView clip = clipViewOf(pco);
    BitBltCall call;
    call.source = psoSrc;
    call.hasMask = psoMask != nullptr;
    call.clip = &clip;
    call.colours = colourTable(pxlo);
    call.target = prclTrg;
    if (pptlSrc) call.sourcePoint = *pptlSrc;
    call.brushColour = solidColour(pbo);
    call.rop = uint8_t(rop4 & 0xFF);
    std::string out;
    if (translateBitBlt(*device, call, out) == BlitResult::kTranslated) {
        emit(*device, out);
        (void)render();
        return TRUE;
    }
    if (!render() || !prclTrg) return FALSE;
    return captureRect(*device, psoTrg, *prclTrg, &clip);
}

WINBOOL APIENTRY DrvStretchBlt(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                               XLATEOBJ* pxlo, COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDest,
                               RECTL* prclSrc, POINTL* pptlMask, ULONG iMode) {
    DriverDevice* device = translatingDevice(psoDest);
    const auto render = [&] {
        NestingFrame frame(deviceOf(psoDest));
        return EngStretchBlt(psoDest, psoSrc, psoMask, pco, pxlo, pca, pptlHTOrg, prclDest, prclSrc, pptlMask,
                             iMode);
    };
    if (!device || !prclDest) return render();

    const ClipView clip = clipViewOf(pco);
    std::string out;
    if (prclSrc) {
        StretchBltCall call;
        call.source = psoSrc;
        call.hasMask = psoMask != nullptr;
        call.clip = &clip;
        call.colours = colourTable(pxlo);
        call.target = *prclDest;
        call.sourceRect = *prclSrc;
        if (translateStretchBlt(*device, call, out) == BlitResult::kTranslated) {
            emit(*device, out);
            (void)render();
            return TRUE;
        }
    }
    if (!render()) return FALSE;
    return captureRect(*device, psoDest, normalised(*prclDest), &clip);
}

WINBOOL APIENTRY DrvPlgBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMsk, CLIPOBJ* pco, XLATEOBJ* pxlo,
                           COLORADJUSTMENT* pca, POINTL* pptlBrushOrg, POINTFIX* pptfx, RECTL* prcl,
                           POINTL* pptl, ULONG iMode) {
    DriverDevice* device = translatingDevice(psoTrg);
    const auto render = [&] {
        NestingFrame frame(deviceOf(psoTrg));
        return EngPlgBlt(psoTrg, psoSrc, psoMsk, pco, pxlo, pca, pptlBrushOrg, pptfx, prcl, pptl, iMode);
    };
    if (!device || !pptfx) return render();

    const ClipView clip = clipViewOf(pco);
    PlgBltCall call;
    call.source = psoSrc;
    call.hasMask = psoMsk != nullptr;
    call.clip = &clip;
    call.colours = colourTable(pxlo);
    std::copy(pptfx, pptfx + 3, call.points);
    call.sourceRect = prcl;
    std::string out;
    // An image's own mask rectangles lie in the image's space, before its
    // matrix; a clip of the page cannot be said there once the image is
    // turned or scaled, so such an image is drawn through a page mask.
    bool masked = false;
    if (pco && clip.complexity != DC_TRIVIAL && plgTurnsOrScales(call)) {
        masked = writeClipMask(*device, out, pco, 0, bandYOffset(*device));
        call.clip = nullptr;
    }
    if (translatePlgBlt(*device, call, out) == BlitResult::kTranslated) {
        if (masked) writeMaskEnd(out);
        emit(*device, out);
        return render();
    }
    if (!render()) return FALSE;
    return captureRect(*device, psoTrg, plgBounds(call.points), &clip);
}

WINBOOL APIENTRY DrvCopyBits(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                             RECTL* prclDest, POINTL* pptlSrc) {
    // Either side may be the driver's surface.
    DriverDevice* owner = deviceOf(psoDest) ? deviceOf(psoDest) : deviceOf(psoSrc);
    const auto render = [&] {
        NestingFrame frame(owner);
        return EngCopyBits(psoDest, psoSrc, pco, pxlo, prclDest, pptlSrc);
    };
    DriverDevice* device = psoSrc ? translatingDevice(psoDest) : nullptr;
    if (!device || !prclDest) return render();

    const ClipView clip = clipViewOf(pco);
    const POINTL from = pptlSrc ? *pptlSrc : POINTL{prclDest->left, prclDest->top};
    std::string out;
    if (writeBitmapImage(*device, psoSrc, colourTable(pxlo), from, *prclDest, &clip, out)) {
        emit(*device, out);
        return render();
    }
    // A source the driver cannot read is taken back from its own surface
    // once the engine has copied it there.
    if (!render()) return FALSE;
    if (writeBitmapImage(*device, psoDest, std::nullopt, {prclDest->left, prclDest->top}, *prclDest, &clip, out)) {
        emit(*device, out);
    }
    return TRUE;
}

WINBOOL APIENTRY DrvPaint(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg, MIX mix) {
    NestingFrame frame(deviceOf(pso));
    return EngPaint(pso, pco, pbo, pptlBrushOrg, mix);
}

WINBOOL APIENTRY DrvAlphaBlend(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                               RECTL* prclDest, RECTL* prclSrc, BLENDOBJ* pBlendObj) {
    DriverDevice* device = translatingDevice(psoDest);
    WINBOOL rendered;
    {
        NestingFrame frame(deviceOf(psoDest));
        rendered = EngAlphaBlend(psoDest, psoSrc, pco, pxlo, prclDest, prclSrc, pBlendObj);
    }
    if (!device || !rendered) return rendered;
    if (!prclDest) return FALSE;
    const ClipView clip = clipViewOf(pco);
    return captureRect(*device, psoDest, normalised(*prclDest), &clip);
}

WINBOOL APIENTRY DrvGradientFill(SURFOBJ* psoDest, CLIPOBJ* pco, XLATEOBJ* pxlo, TRIVERTEX* pVertex,
                                 ULONG nVertex, PVOID pMesh, ULONG nMesh, RECTL* prclExtents,
                                 POINTL* pptlDitherOrg, ULONG ulMode) {
    DriverDevice* device = translatingDevice(psoDest);
    WINBOOL rendered;
    {
        NestingFrame frame(deviceOf(psoDest));
        rendered = EngGradientFill(psoDest, pco, pxlo, pVertex, nVertex, pMesh, nMesh, prclExtents, pptlDitherOrg,
                                   ulMode);
    }
    if (!device || !rendered) return rendered;
    if (!prclExtents) return FALSE;
    const ClipView clip = clipViewOf(pco);
    return captureRect(*device, psoDest, normalised(*prclExtents), &clip);
}

WINBOOL APIENTRY DrvTransparentBlt(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                                   RECTL* prclDst, RECTL* prclSrc, ULONG iTransColor, ULONG ulReserved) {
    DriverDevice* device = translatingDevice(psoDst);
    WINBOOL rendered;
    {
        NestingFrame frame(deviceOf(psoDst));
        rendered = EngTransparentBlt(psoDst, psoSrc, pco, pxlo, prclDst, prclSrc, iTransColor, ulReserved);
    }
    if (!device || !rendered) return rendered;
    if (!prclDst) return FALSE;
    const ClipView clip = clipViewOf(pco);
    return captureRect(*device, psoDst, normalised(*prclDst), &clip);
}

}  // extern "C"
