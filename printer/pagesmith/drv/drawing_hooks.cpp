// The drawing hooks that render only: each renders its call into the
// driver's surface through the engine's own renderer, inside a nesting
// frame, so that what the engine calls back into the driver is known as the
// driver's own. The path hooks live in path_hooks.cpp and translate their
// calls into shapes through the hook frame (hook_frame.h).

#include "device.h"

using namespace tessaly::pagesmith;

extern "C" {

WINBOOL APIENTRY DrvBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                           RECTL* prclTrg, POINTL* pptlSrc, POINTL* pptlMask, BRUSHOBJ* pbo,
                           POINTL* pptlBrush, ROP4 rop4) {
    NestingFrame frame(deviceOf(psoTrg));
    return EngBitBlt(psoTrg, psoSrc, psoMask, pco, pxlo, prclTrg, pptlSrc, pptlMask, pbo, pptlBrush, rop4);
}

WINBOOL APIENTRY DrvStretchBlt(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                               XLATEOBJ* pxlo, COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDest,
                               RECTL* prclSrc, POINTL* pptlMask, ULONG iMode) {
    NestingFrame frame(deviceOf(psoDest));
    return EngStretchBlt(psoDest, psoSrc, psoMask, pco, pxlo, pca, pptlHTOrg, prclDest, prclSrc, pptlMask,
                         iMode);
}

WINBOOL APIENTRY DrvPlgBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMsk, CLIPOBJ* pco, XLATEOBJ* pxlo,
                           COLORADJUSTMENT* pca, POINTL* pptlBrushOrg, POINTFIX* pptfx, RECTL* prcl,
                           POINTL* pptl, ULONG iMode) {
    NestingFrame frame(deviceOf(psoTrg));
    return EngPlgBlt(psoTrg, psoSrc, psoMsk, pco, pxlo, pca, pptlBrushOrg, pptfx, prcl, pptl, iMode);
}

WINBOOL APIENTRY DrvCopyBits(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                             RECTL* prclDest, POINTL* pptlSrc) {
    // Either side may be the driver's surface.
    NestingFrame frame(deviceOf(psoDest) ? deviceOf(psoDest) : deviceOf(psoSrc));
    return EngCopyBits(psoDest, psoSrc, pco, pxlo, prclDest, pptlSrc);
}

WINBOOL APIENTRY DrvPaint(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg, MIX mix) {
    NestingFrame frame(deviceOf(pso));
    return EngPaint(pso, pco, pbo, pptlBrushOrg, mix);
}

WINBOOL APIENTRY DrvAlphaBlend(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                               RECTL* prclDest, RECTL* prclSrc, BLENDOBJ* pBlendObj) {
    NestingFrame frame(deviceOf(psoDest));
    return EngAlphaBlend(psoDest, psoSrc, pco, pxlo, prclDest, prclSrc, pBlendObj);
}

WINBOOL APIENTRY DrvGradientFill(SURFOBJ* psoDest, CLIPOBJ* pco, XLATEOBJ* pxlo, TRIVERTEX* pVertex,
                                 ULONG nVertex, PVOID pMesh, ULONG nMesh, RECTL* prclExtents,
                                 POINTL* pptlDitherOrg, ULONG ulMode) {
    NestingFrame frame(deviceOf(psoDest));
    return EngGradientFill(psoDest, pco, pxlo, pVertex, nVertex, pMesh, nMesh, prclExtents, pptlDitherOrg,
                           ulMode);
}

WINBOOL APIENTRY DrvTransparentBlt(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                                   RECTL* prclDst, RECTL* prclSrc, ULONG iTransColor, ULONG ulReserved) {
    NestingFrame frame(deviceOf(psoDst));
    return EngTransparentBlt(psoDst, psoSrc, pco, pxlo, prclDst, prclSrc, iTransColor, ulReserved);
}

WINBOOL APIENTRY DrvTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                            RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg,
                            MIX mix) {
    NestingFrame frame(deviceOf(pso));
    return EngTextOut(pso, pstro, pfo, pco, prclExtra, prclOpaque, pboFore, pboOpaque, pptlOrg, mix);
}

}  // extern "C"
