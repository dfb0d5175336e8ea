// The text hook, which renders only for now: it renders its call into the
// driver's surface through the engine's own renderer, inside a nesting
// frame, so that what the engine calls back into the driver is known as the
// driver's own. The path hooks live in path_hooks.cpp and the blits in
// blit_hooks.cpp.

#include "device.h"

using namespace tessaly::pagesmith;

extern "C" {

WINBOOL APIENTRY DrvTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                            RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg,
                            MIX mix) {
    NestingFrame frame(deviceOf(pso));
    return EngTextOut(pso, pstro, pfo, pco, prclExtra, prclOpaque, pboFore, pboOpaque, pptlOrg, mix);
}

}  // extern "C"
