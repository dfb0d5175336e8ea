// The whole printing road on random drawings: calls made through the device
// context (paths, pens, brushes, clips, mixes, raster operations, bitmaps,
// blends, gradients, transforms) into the real printer driver loaded by the
// spool host, in vector mode, sometimes with the surface split into bands,
// and the job directory it writes converted into a movie. Bitmaps in the
// formats the context does not take (1, 4 and 16 bits per pixel) go to the
// driver's blit hooks directly, as the engine would hand them over.
//
// Nothing may crash, and every job must finish and convert: a page or a
// document the driver fails, or a job the converter refuses, stops the run.

#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "engine_objects.h"
#include "fuzz_bytes.h"
#include "platform/device_context.h"
#include "platform/gdi_engine_control.h"
#include "platform/spool_host.h"
#include "print_road.h"

using namespace tessaly;
using namespace tessaly::gdi;

namespace {

using print_road::stop;

struct Reader : FuzzBytes {
    int pick(int n) { return byte() % n; }
    double small(double scale) { return (static_cast<int8_t>(byte())) * scale / 128.0; }
    // Mostly on or near the page, sometimes huge, far away or negative.
    double coordinate(double extent) {
        const uint8_t kind = byte();
        if (kind < 0xE8) return (static_cast<double>(byte()) - 16.0) * extent / 224.0 + (kind & 7) / 8.0;
        switch (kind & 7) {
            case 0: return 1e9;
            case 1: return -1e9;
            case 2: return 3e5 * ((kind & 8) ? 1 : -1);
            case 3: return static_cast<double>(word()) / 16.0;
            case 4: return -0.5;
            case 5: return extent - 0.5;
            case 6: return 2147483647.0;
            default: return static_cast<double>(word());
        }
    }
    Color color() {
        // A few named colours repeat, so that fills and bitmaps meet again.
        const uint8_t k = byte();
        if (k < 64) {
            static const Color kColors[] = {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0x808080, 0xFFFF00, 0x123456};
            return kColors[k & 7];
        }
        return (static_cast<Color>(byte()) << 16) | (static_cast<Color>(byte()) << 8) | byte();
    }
};

struct Page {
    double width = 0, height = 0;
};

// A bitmap in one of the formats the context takes.
struct Picture {
    std::vector<uint8_t> bits;
    std::vector<Color> palette;
    BitmapView view;

    Picture(Reader& in, int maxSide) {
        static const int kDepths[] = {8, 24, 32};
        view.bitsPerPixel = kDepths[in.pick(3)];
        view.width = 1 + in.pick(maxSide);
        view.height = 1 + in.pick(maxSide);
        view.stride = view.width * view.bitsPerPixel / 8 + in.pick(3);
        bits.resize(static_cast<size_t>(view.stride) * view.height);
        const uint8_t seed = in.byte(), kind = in.byte();
        for (size_t i = 0; i < bits.size(); ++i)
            bits[i] = (kind & 1) ? seed : static_cast<uint8_t>(i * 131 + seed + (i % 7 == 0 ? in.byte() : 0));
        if (view.bitsPerPixel == 8) {
            const int colours = (kind & 2) ? 256 : 1 + in.pick(16);
            for (int i = 0; i < colours; ++i) palette.push_back(static_cast<Color>(i * 0x10305 + seed) & 0xFFFFFF);
            if (colours > 1 && (kind & 4)) palette[1] = 0xFFFFFF, palette[0] = 0;
        }
        view.bits = bits.data();
        view.palette = palette;
    }
    DeviceRect sourceRect(Reader& in) const {
        if (in.byte() < 200) return {0, 0, view.width, view.height};
        const int l = in.pick(view.width), t = in.pick(view.height);
        return {l, t, l + 1 + in.pick(view.width - l), t + 1 + in.pick(view.height - t)};
    }
};

DWORD rop3(Reader& in) {
    static const DWORD kCommon[] = {0xCC, 0xF0, 0x5A, 0x55, 0x00, 0xFF, 0x66, 0x88, 0xB8, 0xEE, 0x33, 0xC0, 0xBB, 0x99};
    const uint8_t k = in.byte();
    return k < 160 ? kCommon[k % 14] : in.byte();
}

Pen pen(Reader& in) {
    Pen p;
    p.style = static_cast<PenStyle>(in.pick(8));
    p.geometric = in.byte() & 1;
    const uint8_t w = in.byte();
    p.width = w < 200 ? w / 10.0 : w < 250 ? w * 4.0 : 1e7;
    p.color = in.color();
    p.cap = static_cast<LineCap>(in.pick(3));
    p.join = static_cast<LineJoin>(in.pick(3));
    p.miterLimit = 1 + in.pick(20);
    if (p.style == PenStyle::User) {
        const int n = in.pick(7);
        for (int i = 0; i < n; ++i) p.dashes.push_back(in.pick(4) == 0 ? 0.0 : in.byte() / 8.0);
    }
    return p;
}

Transform transform(Reader& in) {
    Transform t;
    switch (in.pick(6)) {
        case 0: break;
        case 1: t.m11 = 0.25 + in.pick(16) / 4.0, t.m22 = 0.25 + in.pick(16) / 4.0; break;
        case 2: t.m11 = -1, t.dx = in.pick(400); break;  // mirrored
        case 3: t.m22 = -1, t.dy = in.pick(400); break;
        case 4: {
            const double angle = in.byte() * 3.14159265358979 / 64.0;
            t.m11 = std::cos(angle), t.m12 = std::sin(angle), t.m21 = -std::sin(angle), t.m22 = std::cos(angle);
            t.dx = in.pick(300), t.dy = in.pick(300);
            break;
        }
        default: t.m11 = in.small(4), t.m12 = in.small(2), t.m21 = in.small(2), t.m22 = in.small(4); break;
    }
    return t;
}

RectD rect(Reader& in, const Page& page) {
    return RectD{in.coordinate(page.width), in.coordinate(page.height), in.coordinate(page.width),
                 in.coordinate(page.height)};
}

PointD point(Reader& in, const Page& page) { return {in.coordinate(page.width), in.coordinate(page.height)}; }

// Figures into the current path (or drawn directly outside a path bracket).
void figures(Reader& in, DeviceContext& dc, const Page& page, int budget) {
    const int steps = 1 + in.pick(budget);
    for (int i = 0; i < steps && in.more(); ++i) {
        switch (in.pick(8)) {
            case 0: (void)dc.moveTo(point(in, page)); break;
            case 1:
            case 2: (void)dc.lineTo(point(in, page)); break;
            case 3: (void)dc.bezierTo(point(in, page), point(in, page), point(in, page)); break;
            case 4: (void)dc.closeFigure(); break;
            case 5: (void)dc.rectangle(rect(in, page)); break;
            case 6: (void)dc.ellipse(rect(in, page)); break;
            default: {
                std::vector<PointD> points(1 + in.pick(8));
                for (PointD& p : points) p = point(in, page);
                (void)dc.polygon(points);
                break;
            }
        }
    }
}

void clip(Reader& in, DeviceContext& dc, const Page& page) {
    const auto combine = static_cast<ClipCombine>(in.pick(5));
    switch (in.pick(4)) {
        case 0: (void)dc.clipRect(rect(in, page), combine); break;
        case 1: {
            std::vector<DeviceRect> rects(1 + in.pick(5));
            for (DeviceRect& r : rects) {
                const auto x = static_cast<int32_t>(in.coordinate(page.width) / 4), y = static_cast<int32_t>(in.coordinate(page.height) / 4);
                r = {x, y, x + in.pick(200) - 8, y + in.pick(200) - 8};
            }
            (void)dc.clipRegion(rects, combine);
            break;
        }
        case 2:
            if (!dc.beginPath()) break;
            figures(in, dc, page, 6);
            if (dc.endPath()) (void)dc.clipPath(combine);
            else dc.abortPath();
            break;
        default: dc.resetClip(); break;
    }
}

// Bitmaps of the formats the context does not take, handed to the driver's
// blit hooks as the engine would; what a hook declines the engine draws.
struct DirectBlits {
    PrinterDevice& device;

    void run(Reader& in) {
        static const ULONG kFormats[] = {BMF_1BPP, BMF_4BPP, BMF_16BPP, BMF_8BPP, BMF_24BPP, BMF_32BPP};
        const ULONG format = kFormats[in.pick(6)];
        const LONG w = 1 + in.pick(24), h = 1 + in.pick(24);
        const HSURF handle =
            reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{w, h}, 0, format, (in.byte() & 1) ? BMF_TOPDOWN : 0, nullptr));
        SURFOBJ* source = EngLockSurface(handle);
        if (!source) stop("cannot make a source bitmap");
        auto* bits = static_cast<uint8_t*>(source->pvBits);
        const uint8_t seed = in.byte();
        for (ULONG i = 0; i < source->cjBits; ++i) bits[i] = static_cast<uint8_t>(i * 37 + seed);

        ULONG colours[16];
        for (ULONG i = 0; i < 16; ++i) colours[i] = (i * 0x0F0F0Fu + seed) & 0xFFFFFF;
        colours[0] = 0;
        colours[1] = (in.byte() & 1) ? 0xFFFFFF : colours[1];
        Palette bitfields(PAL_BITFIELDS, nullptr, 0, 0xF800, 0x07E0, 0x001F);
        XlateObject table;
        XlateObject fields(&bitfields, nullptr);
        XLATEOBJ* xlate = nullptr;
        if (format == BMF_1BPP || format == BMF_4BPP || format == BMF_8BPP) {
            table.setSourceColors(colours, format == BMF_1BPP ? 2 : 16);
            xlate = &table;
        } else if (format == BMF_16BPP) {
            xlate = &fields;
        }

        SURFOBJ* target = device.surface();
        const LONG pw = device.pageWidth(), ph = device.pageHeight();
        auto coord = [&](LONG extent) -> LONG {
            const uint8_t k = in.byte();
            return k < 240 ? static_cast<LONG>(k) * (extent + 64) / 240 - 32 : static_cast<LONG>(in.word() >> 4);
        };
        ClipObject clipping;
        if (in.byte() & 1) {
            RECTL rects[2] = {{coord(pw), coord(ph), coord(pw), coord(ph)}, {coord(pw), coord(ph), coord(pw), coord(ph)}};
            for (RECTL& r : rects) {
                if (r.left > r.right) std::swap(r.left, r.right);
                if (r.top > r.bottom) std::swap(r.top, r.bottom);
            }
            clipping.setRects(rects, 2);
        } else {
            clipping.setTrivial(RECTL{0, 0, pw, ph});
        }
        BrushObject brush(in.color());
        POINTL origin{0, 0}, at{in.pick(w), in.pick(h)};
        const LONG x = coord(pw), y = coord(ph);
        RECTL to{x, y, x + 1 + in.pick(64), y + 1 + in.pick(64)};
        RECTL whole{0, 0, w, h};
        switch (in.pick(4)) {
            case 0: {
                const ULONG rop = rop3(in);
                const ULONG rop4 = (rop << 8) | rop;
                if (rop == 0xCC || rop == 0x33) to = {x, y, x + w - at.x, y + h - at.y};
                auto fn = reinterpret_cast<PFN_DrvBitBlt>(device.function(INDEX_DrvBitBlt));
                if (!fn || !fn(target, source, nullptr, &clipping, xlate, &to, &at, nullptr, &brush, &origin, rop4))
                    (void)EngBitBlt(target, source, nullptr, &clipping, xlate, &to, &at, nullptr, &brush, &origin, rop4);
                break;
            }
            case 1: {
                if (in.byte() & 1) std::swap(to.left, to.right);
                if (in.byte() & 1) std::swap(to.top, to.bottom);
                auto fn = reinterpret_cast<PFN_DrvStretchBlt>(device.function(INDEX_DrvStretchBlt));
                if (!fn || !fn(target, source, nullptr, &clipping, xlate, nullptr, nullptr, &to, &whole, nullptr,
                               COLORONCOLOR))
                    (void)EngStretchBlt(target, source, nullptr, &clipping, xlate, nullptr, nullptr, &to, &whole,
                                        nullptr, COLORONCOLOR);
                break;
            }
            case 2: {
                POINTFIX corners[3];
                for (POINTFIX& p : corners) p = POINTFIX{coord(pw) * 16 + in.pick(16), coord(ph) * 16 + in.pick(16)};
                auto fn = reinterpret_cast<PFN_DrvPlgBlt>(device.function(INDEX_DrvPlgBlt));
                if (!fn || !fn(target, source, nullptr, &clipping, xlate, nullptr, nullptr, corners, &whole, nullptr,
                               COLORONCOLOR))
                    (void)EngPlgBlt(target, source, nullptr, &clipping, xlate, nullptr, nullptr, corners, &whole,
                                    nullptr, COLORONCOLOR);
                break;
            }
            default: {
                to = {x, y, x + w - at.x, y + h - at.y};
                auto fn = reinterpret_cast<PFN_DrvCopyBits>(device.function(INDEX_DrvCopyBits));
                if (!fn || !fn(target, source, &clipping, xlate, &to, &at))
                    (void)EngCopyBits(target, source, &clipping, xlate, &to, &at);
                break;
            }
        }
        EngUnlockSurface(source);
        EngDeleteSurface(handle);
    }
};

// One drawing call (or state change) from the input.
void draw(Reader& in, DeviceContext& dc, PrinterDevice& device, bool banding, const Page& page) {
    const int kind = in.pick(20);
    // FUZZ_PRINT_TRACE=1 names each call, for reading a failing input.
    static const bool trace = std::getenv("FUZZ_PRINT_TRACE") != nullptr;
    if (trace) std::fprintf(stderr, "call %d at byte %zu, %ld ms\n", kind, in.at, static_cast<long>(std::clock() / (CLOCKS_PER_SEC / 1000)));
    switch (kind) {
        case 0: (void)dc.setPen(pen(in)); break;
        case 1: {
            Brush b;
            b.style = static_cast<BrushStyle>(in.pick(4));
            b.color = in.color();
            b.hatch = static_cast<HatchStyle>(in.pick(6));
            if (b.style == BrushStyle::Pattern) {
                Picture tile(in, 12);
                b.pattern = tile.view;
                (void)dc.setBrush(b);  // the tile is copied
            } else {
                (void)dc.setBrush(b);
            }
            break;
        }
        case 2: dc.setFillMode(in.byte() & 1 ? FillMode::Winding : FillMode::Alternate); break;
        case 3: dc.setMix(1 + in.pick(16)); break;
        case 4: (void)dc.setTransform(transform(in), static_cast<TransformMode>(in.pick(4))); break;
        case 5: clip(in, dc, page); break;
        case 6:
        case 7: {
            if (!dc.beginPath()) break;
            figures(in, dc, page, 12);
            if (!dc.endPath()) {
                dc.abortPath();
                break;
            }
            switch (in.pick(3)) {
                case 0: (void)dc.fillPath(); break;
                case 1: (void)dc.strokePath(); break;
                default: (void)dc.strokeAndFillPath(); break;
            }
            break;
        }
        case 8: {
            std::vector<PointD> points(1 + in.pick(12));
            for (PointD& p : points) p = point(in, page);
            if (in.byte() & 1) {
                (void)dc.polyline(points);
            } else {
                std::vector<int> counts;
                for (size_t left = points.size(); left > 0;) {
                    const int n = std::min<int>(static_cast<int>(left), 1 + in.pick(6));
                    counts.push_back(n);
                    left -= static_cast<size_t>(n);
                }
                (void)dc.polyPolygon(points, counts);
            }
            break;
        }
        case 9: figures(in, dc, page, 6); break;
        case 10: (void)dc.roundRect(rect(in, page), in.pick(60), in.pick(60)); break;
        case 11:
        case 12: {
            Picture picture(in, 32);
            const DeviceRect from = picture.sourceRect(in);
            const DWORD rop = rop3(in);
            (void)dc.stretchBlt(rect(in, page), picture.view, from, rop);
            break;
        }
        case 13: {
            Picture picture(in, 24);
            (void)dc.alphaBlend(rect(in, page), picture.view, picture.sourceRect(in), in.byte(),
                                picture.view.bitsPerPixel == 32 && (in.byte() & 1));
            break;
        }
        case 14: {
            Picture picture(in, 24);
            const Color key = picture.view.bitsPerPixel == 8 ? picture.palette[0] : in.color();
            (void)dc.transparentBlt(rect(in, page), picture.view, picture.sourceRect(in), key);
            break;
        }
        case 15: (void)dc.patBlt(rect(in, page), rop3(in)); break;
        case 16:
            if (in.byte() & 1) {
                (void)dc.gradientRect(rect(in, page), in.color(), in.color(), in.byte() & 1);
            } else {
                std::vector<GradientVertex> vertices(3 + in.pick(3));
                for (GradientVertex& v : vertices) {
                    const PointD p = point(in, page);
                    v = GradientVertex{p.x, p.y, in.color(), in.byte()};
                }
                std::vector<GradientTriangle> triangles(1 + in.pick(3));
                for (GradientTriangle& t : triangles) {
                    const auto n = static_cast<int>(vertices.size());
                    t = GradientTriangle{static_cast<uint32_t>(in.pick(n)), static_cast<uint32_t>(in.pick(n)),
                                         static_cast<uint32_t>(in.pick(n))};
                }
                (void)dc.gradientTriangles(vertices, triangles);
            }
            break;
        case 17:
            if (in.byte() & 1) (void)dc.save();
            else (void)dc.restore(-1 - in.pick(2));
            break;
        case 18:
            dc.setBackgroundMode(in.byte() & 1 ? BackgroundMode::Opaque : BackgroundMode::Transparent);
            dc.setBackgroundColor(in.color());
            break;
        default:
            // The context records a banding page; the direct calls belong to
            // an unbanded one.
            if (!banding) DirectBlits{device}.run(in);
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& driver = print_road::driverPath();
    Reader in{{data, size}};
    print_road::Scratch scratch;

    SpoolOptions options;
    options.driverPath = driver;
    options.request.imagePages = false;
    options.request.dpi = 72 + in.pick(79);
    options.request.paperWidthTenths = 200 + in.pick(100) * 10;
    options.request.paperLengthTenths = 200 + in.pick(100) * 10;
    if (in.byte() & 1) options.request.orientation = DMORIENT_LANDSCAPE;
    const uint8_t bandKind = in.byte();
    // Sometimes a surface of a few rows, so that the page is played in bands.
    if (bandKind & 1) setSurfaceByteLimit(uint64_t{4096} * (1 + bandKind / 2));
    else setSurfaceByteLimit(0);

    std::string error;
    int pages = 0;
    {
        SpoolHost host;
        if (!host.open(options, &error)) stop("the spool host failed: " + error);
        PrinterDevice& device = host.device();
        const bool banding = device.banding();
        const Page page{static_cast<double>(device.pageWidth()), static_cast<double>(device.pageHeight())};
        DeviceContext& dc = host.context();
        if (!dc.startDoc(u"fuzz", 1)) stop(dc.errorText());
        // Work per input stays bounded: at most 3 pages and 48 calls.
        int calls = 0;
        while (pages < 3 && (pages == 0 || in.more())) {
            if (!dc.startPage()) stop(dc.errorText());
            ++pages;
            const int count = 1 + in.pick(24);
            // A call the context refuses (bad arguments) says why; a call the
            // driver fails also fails the page, and the first reason is kept.
            std::string refused;
            for (int i = 0; i < count && calls < 48 && in.more(); ++i, ++calls) {
                draw(in, dc, device, banding, page);
                if (std::getenv("FUZZ_PRINT_TRACE") && !dc.errorText().empty())
                    std::fprintf(stderr, "  refused: %s\n", dc.errorText().c_str());
                if (refused.empty()) refused = dc.errorText();
                dc.clearError();
            }
            if (!dc.endPage()) stop("endPage failed: " + dc.errorText() + " (first call refused: " + refused + ")");
            if (calls >= 48) break;
        }
        if (!dc.endDoc()) stop("endDoc failed: " + dc.errorText());
        host.close();
    }
    setSurfaceByteLimit(0);

    scratch.checkJob(pages);
    return 0;
}
