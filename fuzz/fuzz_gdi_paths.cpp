// The graphics engine's path renderers on arbitrary paths, clips, pens and
// transforms: fills with both rules, cosmetic and wide strokes, and the
// enumerations of the objects involved. Nothing may crash or read outside
// the surface, whatever the coordinates.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine_objects.h"
#include "fuzz_bytes.h"

using namespace tessaly::gdi;

namespace {

struct Reader : FuzzBytes {
    // Mostly coordinates near the surface, sometimes anything at all.
    FIX coordinate() {
        const uint8_t kind = byte();
        if (kind < 0xF0) return static_cast<FIX>((static_cast<int32_t>(byte()) - 64) * 16 + (kind & 0xF));
        return word();
    }
    float real() {
        const int16_t v = static_cast<int16_t>((byte() << 8) | byte());
        return static_cast<float>(v) / 64.0f;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{{data, size}};
    const LONG width = 1 + in.byte() % 96, height = 1 + in.byte() % 96;
    HSURF handle = reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{width, height}, 0, BMF_24BPP, BMF_TOPDOWN, nullptr));
    SURFOBJ* surface = EngLockSurface(handle);
    if (!surface) return 0;

    ClipObject clip;
    const uint8_t clipKind = in.byte() % 3;
    if (clipKind == 1) {
        clip.setRect(RECTL{in.byte() - 16, in.byte() - 16, in.byte(), in.byte()});
    } else if (clipKind == 2) {
        RECTL rects[4];
        for (RECTL& r : rects) r = RECTL{in.byte() - 16, in.byte() - 16, in.byte(), in.byte()};
        clip.setRects(rects, 4);
    }

    PathObject path;
    const int ops = in.byte() % 64;
    for (int i = 0; i < ops && in.more(); ++i) {
        switch (in.byte() % 5) {
            case 0: path.moveTo(POINTFIX{in.coordinate(), in.coordinate()}); break;
            case 1: path.lineTo(POINTFIX{in.coordinate(), in.coordinate()}); break;
            case 2: {
                POINTFIX c[3];
                for (POINTFIX& p : c) p = POINTFIX{in.coordinate(), in.coordinate()};
                path.bezierTo(c, 3);
                break;
            }
            case 3: path.closeFigure(); break;
            default: path.resetStyle(); break;
        }
    }

    PATHOBJ_vEnumStart(&path);
    PATHDATA record;
    while (PATHOBJ_bEnum(&path, &record)) {
    }
    RECTFX bounds;
    PATHOBJ_vGetBounds(&path, &bounds);

    BrushObject brush(in.byte() * 0x10101u);
    const MIX mix = 1 + in.byte() % 16;
    EngFillPath(surface, &path, &clip, &brush, nullptr, mix, (in.byte() & 1) ? FP_WINDINGMODE : FP_ALTERNATEMODE);

    FLOAT_LONG style[3];
    LINEATTRS attrs{};
    const uint8_t pen = in.byte();
    attrs.fl = (pen & 1 ? LA_GEOMETRIC : 0) | (pen & 2 ? LA_ALTERNATE : 0) | (pen & 4 ? LA_STARTGAP : 0);
    attrs.iJoin = (pen >> 3) % 3;
    attrs.iEndCap = (pen >> 5) % 3;
    attrs.elWidth.e = in.real();
    attrs.eMiterLimit = in.real();
    attrs.cstyle = in.byte() % 4;
    for (FLOAT_LONG& s : style) {
        if (attrs.fl & LA_GEOMETRIC) {
            s.e = in.real();
        } else {
            s.l = static_cast<LONG>(in.byte() % 8);
        }
    }
    attrs.pstyle = attrs.cstyle ? style : nullptr;
    attrs.elStyleState.l = in.word();
    XformObject xform(XFORML{in.real(), in.real(), in.real(), in.real(), 0, 0});
    EngStrokePath(surface, &path, &clip, &xform, &brush, nullptr, &attrs, mix);

    PATHOBJ_vEnumStartClipLines(&path, &clip, surface, &attrs);
    struct {
        CLIPLINE line;
        RUN more[2];
    } lines;
    const ULONG room = static_cast<ULONG>(offsetof(CLIPLINE, arun) + sizeof(RUN) * (1 + in.byte() % 3));
    for (int guard = 0; guard < 100000 && PATHOBJ_bEnumClipLines(&path, room, &lines.line); ++guard) {
    }

    CLIPOBJ_cEnumStart(&clip, in.byte() & 1, CT_RECTANGLES, in.byte() % 5, in.byte());
    struct {
        ULONG c;
        RECTL r[3];
    } rects;
    while (CLIPOBJ_bEnum(&clip, sizeof rects, &rects.c)) {
    }
    if (PATHOBJ* outline = CLIPOBJ_ppoGetPath(&clip)) EngDeletePath(outline);

    EngDeleteSurface(handle);
    return 0;
}
