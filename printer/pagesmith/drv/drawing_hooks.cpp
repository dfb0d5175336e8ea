// The path and text hooks (the blits are in blit_hooks.cpp). Each renders
// its call into the driver's surface through the engine's own renderer, inside a nesting frame, so that what
// the engine calls back into the driver is known as the driver's own.
//
// This is where drawing becomes markup: when device->translating() holds,
// a hook hands the call's plain values (paths, clip rectangles, colours,
// pixel rows) to the translator before rendering it. Until the translators
// arrive, every page reaches the job as its raster image.

#include "device.h"

using namespace tessaly::pagesmith;

extern "C" {

WINBOOL APIENTRY DrvStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo,
                               POINTL* pptlBrushOrg, LINEATTRS* plineattrs, MIX mix) {
    NestingFrame frame(deviceOf(pso));
    return EngStrokePath(pso, ppo, pco, pxo, pbo, pptlBrushOrg, plineattrs, mix);
}

WINBOOL APIENTRY DrvFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg,
                             MIX mix, FLONG flOptions) {
    NestingFrame frame(deviceOf(pso));
    return EngFillPath(pso, ppo, pco, pbo, pptlBrushOrg, mix, flOptions);
}

WINBOOL APIENTRY DrvStrokeAndFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo,
                                      BRUSHOBJ* pboStroke, LINEATTRS* plineattrs, BRUSHOBJ* pboFill,
                                      POINTL* pptlBrushOrg, MIX mixFill, FLONG flOptions) {
    NestingFrame frame(deviceOf(pso));
    return EngStrokeAndFillPath(pso, ppo, pco, pxo, pboStroke, plineattrs, pboFill, pptlBrushOrg, mixFill,
                                flOptions);
}

WINBOOL APIENTRY DrvTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                            RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg,
                            MIX mix) {
    NestingFrame frame(deviceOf(pso));
    return EngTextOut(pso, pstro, pfo, pco, prclExtra, prclOpaque, pboFore, pboOpaque, pptlOrg, mix);
}

}  // extern "C"
