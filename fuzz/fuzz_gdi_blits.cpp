// The graphics engine's block transfers on arbitrary rectangles, points,
// raster operations, formats and modes: blits with masks and patterns,
// stretches, parallelograms, blends, colour keys, gradients and paints.
// Nothing may crash or touch memory outside the surfaces.

#include <cstddef>
#include <cstdint>

#include "engine_objects.h"
#include "fuzz_bytes.h"

using namespace tessaly::gdi;

namespace {

struct Reader : FuzzBytes {
    // Mostly near the surfaces, sometimes anything at all.
    LONG coordinate() {
        const uint8_t kind = byte();
        return kind < 0xF0 ? static_cast<LONG>(byte()) - 32 : word();
    }
    // The same as FIX 28.4 values.
    FIX fix() {
        const uint8_t kind = byte();
        return kind < 0xF0 ? (static_cast<FIX>(byte()) - 32) * 16 + (kind & 15) : word();
    }
    RECTL rect() { return RECTL{coordinate(), coordinate(), coordinate(), coordinate()}; }
    POINTL point() { return POINTL{coordinate(), coordinate()}; }
};

const ULONG kFormats[] = {BMF_1BPP, BMF_4BPP, BMF_8BPP, BMF_16BPP, BMF_24BPP, BMF_32BPP};

struct Bitmap {
    HSURF handle = nullptr;
    SURFOBJ* so = nullptr;
    Bitmap(Reader& in, ULONG format) {
        const LONG width = 1 + in.byte() % 48, height = 1 + in.byte() % 48;
        handle = reinterpret_cast<HSURF>(
            EngCreateBitmap(SIZEL{width, height}, 0, format, (in.byte() & 1) ? BMF_TOPDOWN : 0, nullptr));
        so = EngLockSurface(handle);
        if (so) {
            auto* bits = static_cast<uint8_t*>(so->pvBits);
            for (ULONG i = 0; i < so->cjBits; ++i) bits[i] = static_cast<uint8_t>(i * 131 + in.byte());
        }
    }
    ~Bitmap() {
        if (handle) EngDeleteSurface(handle);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{{data, size}};
    Bitmap target(in, (in.byte() & 1) ? BMF_32BPP : BMF_24BPP);
    Bitmap source(in, kFormats[in.byte() % 6]);
    Bitmap mask(in, BMF_1BPP);
    if (!target.so || !source.so || !mask.so) return 0;

    ClipObject clip;
    if (in.byte() & 1) {
        RECTL rects[3] = {in.rect(), in.rect(), in.rect()};
        clip.setRects(rects, 3);
    }
    XlateObject xlate;
    ULONG colors[16];
    for (ULONG& c : colors) c = static_cast<ULONG>(in.word()) & 0xFFFFFF;
    xlate.setSourceColors(colors, 1 + in.byte() % 16);
    XLATEOBJ* translation = (in.byte() & 1) ? &xlate : nullptr;
    BrushObject brush(static_cast<ULONG>(in.word()) & 0xFFFFFF);
    if (in.byte() & 1) brush.setHatch(in.byte() % 8, 0x123456, 0xABCDEF, in.byte() & 1);

    for (int op = 0; op < 8; ++op) {
        RECTL to = in.rect(), from = in.rect();
        POINTL at = in.point(), maskAt = in.point(), origin = in.point();
        switch (in.byte() % 8) {
            case 0: {
                const ULONG rop4 = (static_cast<ULONG>(in.byte()) << 8) | in.byte();
                EngBitBlt(target.so, source.so, mask.so, &clip, translation, &to, &at, &maskAt, &brush, &origin,
                          rop4);
                break;
            }
            case 1:
                EngStretchBlt(target.so, source.so, (in.byte() & 1) ? mask.so : nullptr, &clip, translation, nullptr,
                              nullptr, &to, &from, &maskAt, (in.byte() & 1) ? HALFTONE : COLORONCOLOR);
                break;
            case 2: {
                POINTFIX corners[3];
                for (POINTFIX& p : corners) p = POINTFIX{in.fix(), in.fix()};
                EngPlgBlt(target.so, source.so, nullptr, &clip, translation, nullptr, nullptr, corners, &from, nullptr,
                          (in.byte() & 1) ? HALFTONE : COLORONCOLOR);
                break;
            }
            case 3: {
                BLENDOBJ blend{{AC_SRC_OVER, 0, in.byte(), static_cast<BYTE>(in.byte() & 1)}};
                EngAlphaBlend(target.so, source.so, &clip, translation, &to, &from, &blend);
                break;
            }
            case 4:
                EngTransparentBlt(target.so, source.so, &clip, translation, &to, &from,
                                  static_cast<ULONG>(in.word()) & 0xFFFFFF, 0);
                break;
            case 5: {
                TRIVERTEX vertices[3];
                for (TRIVERTEX& v : vertices) {
                    v = TRIVERTEX{in.coordinate(), in.coordinate(), static_cast<COLOR16>(in.word()),
                                  static_cast<COLOR16>(in.word()), static_cast<COLOR16>(in.word()), 0};
                }
                GRADIENT_TRIANGLE triangle{in.byte() % 4u, in.byte() % 3u, in.byte() % 3u};
                GRADIENT_RECT rect{in.byte() % 3u, in.byte() % 4u};
                const ULONG mode = in.byte() % 4;
                EngGradientFill(target.so, &clip, nullptr, vertices, 3,
                                mode == GRADIENT_FILL_TRIANGLE ? static_cast<PVOID>(&triangle) : &rect, 1, &to,
                                nullptr, mode);
                break;
            }
            case 6: EngPaint(target.so, &clip, &brush, &origin, in.byte()); break;
            default: EngCopyBits(target.so, target.so, &clip, nullptr, &to, &at); break;
        }
    }
    return 0;
}
