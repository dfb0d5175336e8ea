// Pixels, regions and the raster operation; path rasterisation through cairo
// (no anti-aliasing) and cosmetic lines stepped pixel by pixel.

#include "raster.h"

#include <cairo.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>

namespace tessaly::gdi {

int formatBits(ULONG format) {
    switch (format) {
        case BMF_1BPP: return 1;
        case BMF_4BPP: return 4;
        case BMF_8BPP: return 8;
        case BMF_16BPP: return 16;
        case BMF_24BPP: return 24;
        case BMF_32BPP: return 32;
        default: return 0;
    }
}

ULONG nearestIndex(const std::vector<ULONG>& colorrefs, ULONG colorref) {
    ULONG best = 0;
    long bestDistance = LONG_MAX;
    const long r = colorref & 0xFF, g = (colorref >> 8) & 0xFF, b = (colorref >> 16) & 0xFF;
    for (size_t i = 0; i < colorrefs.size(); ++i) {
        const ULONG c = colorrefs[i];
        const long dr = static_cast<long>(c & 0xFF) - r, dg = static_cast<long>((c >> 8) & 0xFF) - g,
                   db = static_cast<long>((c >> 16) & 0xFF) - b;
        const long distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<ULONG>(i);
            if (distance == 0) break;
        }
    }
    return best;
}

RECTL normalizeRect(const RECTL& r) {
    // Kept within half the coordinate range, so that widths and heights
    // cannot overflow.
    auto bound = [](LONG v) { return std::clamp<LONG>(v, -0x3FFFFFFF, 0x3FFFFFFF); };
    return RECTL{bound(std::min(r.left, r.right)), bound(std::min(r.top, r.bottom)), bound(std::max(r.left, r.right)),
                 bound(std::max(r.top, r.bottom))};
}

RECTL intersectRect(const RECTL& a, const RECTL& b) {
    RECTL r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    if (r.left >= r.right || r.top >= r.bottom) r = RECTL{0, 0, 0, 0};
    return r;
}

ULONG mixToRop3(MIX mix) {
    static const uint8_t kRops[16] = {0x00, 0x05, 0x0A, 0x0F, 0x50, 0x55, 0x5A, 0x5F,
                                      0xA0, 0xA5, 0xAA, 0xAF, 0xF0, 0xF5, 0xFA, 0xFF};
    const ULONG code = mix & 0xFF;
    return code >= 1 && code <= 16 ? kRops[code - 1] : 0xF0;
}

uint32_t rop3(uint32_t rop, uint32_t p, uint32_t s, uint32_t d) {
    switch (rop & 0xFF) {
        case 0x00: return 0;
        case 0xFF: return 0xFFFFFFFF;
        case 0xCC: return s;
        case 0xF0: return p;
        case 0xAA: return d;
        case 0x55: return ~d;
        case 0x33: return ~s;
        case 0x0F: return ~p;
        case 0x66: return s ^ d;
        case 0x5A: return p ^ d;
        case 0x88: return s & d;
        case 0xEE: return s | d;
        case 0xC0: return p & s;
        case 0xBB: return ~s | d;
        case 0x44: return s & ~d;
        case 0x11: return ~(s | d);
        case 0xFB: return p | ~s | d;
        case 0xA0: return p & d;
        case 0xFA: return p | d;
        default: break;
    }
    // Every other code by its truth table: bit (P<<2 | S<<1 | D) of the code.
    uint32_t r = 0;
    for (int i = 0; i < 8; ++i) {
        if (rop & (1u << i)) r |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
    }
    return r;
}

// ---------------------------------------------------------------------------
PixelView::~PixelView() {
    if (image_ && ownImage_) pixman_image_unref(image_);
}

bool PixelView::open(SURFOBJ* pso) {
    if (!pso || !pso->pvScan0 || pso->sizlBitmap.cx <= 0 || pso->sizlBitmap.cy <= 0) return false;
    if (pso->iType != STYPE_BITMAP) return false;
    const int bits = formatBits(pso->iBitmapFormat);
    if (bits == 0) return false;
    so = pso;
    surface = Surface::fromSurfobj(pso);
    width = pso->sizlBitmap.cx;
    height = pso->sizlBitmap.cy;
    scan0 = static_cast<uint8_t*>(pso->pvScan0);
    delta = pso->lDelta;
    format = pso->iBitmapFormat;
    bpp = bits;
    return true;
}

ULONG PixelView::pixel(LONG x, LONG y) const {
    const uint8_t* r = row(y);
    switch (bpp) {
        case 1: return (r[x >> 3] >> (7 - (x & 7))) & 1;
        case 4: return (r[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF;
        case 8: return r[x];
        case 16: return r[2 * x] | (r[2 * x + 1] << 8);
        case 24: return r[3 * x] | (r[3 * x + 1] << 8) | (static_cast<ULONG>(r[3 * x + 2]) << 16);
        case 32: {
            uint32_t v;
            std::memcpy(&v, r + 4 * x, 4);
            return v;
        }
        default: return 0;
    }
}

void PixelView::setPixel(LONG x, LONG y, ULONG value) {
    uint8_t* r = row(y);
    switch (bpp) {
        case 1: {
            const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
            r[x >> 3] = static_cast<uint8_t>((value & 1) ? (r[x >> 3] | bit) : (r[x >> 3] & ~bit));
            break;
        }
        case 4: {
            uint8_t& b = r[x >> 1];
            b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | (value & 0xF))
                        : static_cast<uint8_t>((b & 0x0F) | ((value & 0xF) << 4));
            break;
        }
        case 8: r[x] = static_cast<uint8_t>(value); break;
        case 16:
            r[2 * x] = static_cast<uint8_t>(value);
            r[2 * x + 1] = static_cast<uint8_t>(value >> 8);
            break;
        case 24:
            r[3 * x] = static_cast<uint8_t>(value);
            r[3 * x + 1] = static_cast<uint8_t>(value >> 8);
            r[3 * x + 2] = static_cast<uint8_t>(value >> 16);
            break;
        case 32: std::memcpy(r + 4 * x, &value, 4); break;
        default: break;
    }
}

void PixelView::readRow(LONG x, LONG y, LONG n, uint32_t* out) const {
    const uint8_t* r = row(y);
    if (bpp == 24) {
        const uint8_t* p = r + 3 * x;
        for (LONG i = 0; i < n; ++i, p += 3) out[i] = p[0] | (p[1] << 8) | (static_cast<uint32_t>(p[2]) << 16);
    } else if (bpp == 32) {
        std::memcpy(out, r + 4 * x, static_cast<size_t>(n) * 4);
    } else {
        for (LONG i = 0; i < n; ++i) out[i] = pixel(x + i, y);
    }
}

void PixelView::writeRow(LONG x, LONG y, LONG n, const uint32_t* in) {
    uint8_t* r = row(y);
    if (bpp == 24) {
        uint8_t* p = r + 3 * x;
        for (LONG i = 0; i < n; ++i, p += 3) {
            p[0] = static_cast<uint8_t>(in[i]);
            p[1] = static_cast<uint8_t>(in[i] >> 8);
            p[2] = static_cast<uint8_t>(in[i] >> 16);
        }
    } else if (bpp == 32) {
        std::memcpy(r + 4 * x, in, static_cast<size_t>(n) * 4);
    } else {
        for (LONG i = 0; i < n; ++i) setPixel(x + i, y, in[i]);
    }
}

void PixelView::fillSpan(LONG x, LONG y, LONG n, ULONG value) {
    if (n <= 0) return;
    uint8_t* r = row(y);
    if (bpp == 24) {
        const uint8_t b0 = static_cast<uint8_t>(value), b1 = static_cast<uint8_t>(value >> 8),
                      b2 = static_cast<uint8_t>(value >> 16);
        uint8_t* p = r + 3 * x;
        if (b0 == b1 && b1 == b2) {
            std::memset(p, b0, static_cast<size_t>(n) * 3);
            return;
        }
        if (n <= 32) {
            // Short spans (most of a stroke's rows): copy calls would cost
            // more than the bytes.
            for (LONG i = 0; i < n; ++i, p += 3) {
                p[0] = b0;
                p[1] = b1;
                p[2] = b2;
            }
            return;
        }
        p[0] = b0;
        p[1] = b1;
        p[2] = b2;
        // Doubling copies of the first pixel.
        size_t done = 3;
        const size_t total = static_cast<size_t>(n) * 3;
        while (done < total) {
            const size_t chunk = std::min(done, total - done);
            std::memcpy(p + done, p, chunk);
            done += chunk;
        }
    } else if (bpp == 32) {
        auto* p = reinterpret_cast<uint32_t*>(r + 4 * x);
        std::fill(p, p + n, value);
    } else {
        for (LONG i = 0; i < n; ++i) setPixel(x + i, y, value);
    }
}

void PixelView::fillRect(const RECTL& rect, ULONG value) {
    const RECTL r = intersectRect(normalizeRect(rect), bounds());
    if (emptyRect(r)) return;
    const LONG n = r.right - r.left;
    const int bytesPerPixel = bpp / 8;
    // A colour of equal bytes (white, black, greys) is a memset: one over
    // the whole block when the rectangle spans whole rows.
    bool sameBytes = bpp >= 8;
    for (int i = 1; i < bytesPerPixel; ++i) sameBytes = sameBytes && ((value >> (8 * i)) & 0xFF) == (value & 0xFF);
    if (sameBytes) {
        const auto byte = static_cast<uint8_t>(value);
        const size_t rowBytes = static_cast<size_t>(n) * static_cast<size_t>(bytesPerPixel);
        if (r.left == 0 && r.right == width && delta > 0) {
            std::memset(row(r.top), byte, static_cast<size_t>(delta) * static_cast<size_t>(r.bottom - r.top - 1) + rowBytes);
        } else {
            for (LONG y = r.top; y < r.bottom; ++y) {
                std::memset(row(y) + static_cast<size_t>(r.left) * bytesPerPixel, byte, rowBytes);
            }
        }
        return;
    }
    fillSpan(r.left, r.top, n, value);
    if (bpp < 8) {
        for (LONG y = r.top + 1; y < r.bottom; ++y) fillSpan(r.left, y, n, value);
        return;
    }
    const size_t bytes = static_cast<size_t>(n) * static_cast<size_t>(bpp / 8);
    const uint8_t* first = row(r.top) + static_cast<size_t>(r.left) * (bpp / 8);
    for (LONG y = r.top + 1; y < r.bottom; ++y) std::memcpy(row(y) + static_cast<size_t>(r.left) * (bpp / 8), first, bytes);
}

pixman_image_t* PixelView::image() {
    if (image_) return image_;
    if (surface && surface->image()) {
        image_ = surface->image();
        ownImage_ = false;
        return image_;
    }
    pixman_format_code_t pf;
    switch (bpp) {
        case 16: pf = PIXMAN_x1r5g5b5; break;
        case 24: pf = PIXMAN_r8g8b8; break;
        case 32: pf = PIXMAN_x8r8g8b8; break;
        default: return nullptr;
    }
    if (delta % 4 != 0) return nullptr;
    image_ = pixman_image_create_bits(pf, width, height, reinterpret_cast<uint32_t*>(scan0), delta);
    ownImage_ = image_ != nullptr;
    return image_;
}

// ---------------------------------------------------------------------------
PixelRegion::PixelRegion(const RECTL& rect) {
    const RECTL n = normalizeRect(rect);
    pixman_region32_init_rect(&r, n.left, n.top, static_cast<unsigned>(n.right - n.left),
                              static_cast<unsigned>(n.bottom - n.top));
}

void PixelRegion::intersect(const RECTL& rect) {
    const RECTL n = normalizeRect(rect);
    pixman_region32_intersect_rect(&r, &r, n.left, n.top, static_cast<unsigned>(n.right - n.left),
                                   static_cast<unsigned>(n.bottom - n.top));
}

void PixelRegion::unite(const RECTL& rect) {
    const RECTL n = normalizeRect(rect);
    if (emptyRect(n)) return;
    pixman_region32_union_rect(&r, &r, n.left, n.top, static_cast<unsigned>(n.right - n.left),
                               static_cast<unsigned>(n.bottom - n.top));
}

RECTL PixelRegion::extents() const {
    const pixman_box32_t* e = pixman_region32_extents(const_cast<pixman_region32_t*>(&r));
    return RECTL{e->x1, e->y1, e->x2, e->y2};
}

void clipRegion(const CLIPOBJ* pco, const RECTL& area, const PixelView& target, PixelRegion* out) {
    const RECTL bounded = intersectRect(normalizeRect(area), target.bounds());
    pixman_region32_fini(&out->r);
    pixman_region32_init_rect(&out->r, bounded.left, bounded.top, static_cast<unsigned>(bounded.right - bounded.left),
                              static_cast<unsigned>(bounded.bottom - bounded.top));
    if (!pco || pco->iDComplexity == DC_TRIVIAL) return;
    if (const ClipObject* clip = ClipObject::fromClipobj(pco)) {
        out->intersect(clip->region());
    } else {
        out->intersect(pco->rclBounds);
    }
}

// ---------------------------------------------------------------------------
namespace {

uint32_t pack555(uint32_t rgb) {
    return (((rgb >> 19) & 0x1F) << 10) | (((rgb >> 11) & 0x1F) << 5) | ((rgb >> 3) & 0x1F);
}
uint32_t expand555(uint32_t v) {
    const uint32_t r = (v >> 10) & 0x1F, g = (v >> 5) & 0x1F, b = v & 0x1F;
    return (((r << 3) | (r >> 2)) << 16) | (((g << 3) | (g >> 2)) << 8) | ((b << 3) | (b >> 2));
}

}  // namespace

void Operand::fetch(LONG x, LONG y, LONG n, uint32_t* out, uint8_t* transparent) const {
    switch (kind) {
        case None: std::fill(out, out + n, 0u); break;
        case Solid: std::fill(out, out + n, color); break;
        case Bitmap: {
            bitmap->readRow(x + dx, y + dy, n, out);
            const bool trivial = !xlate || (xlate->flXlate & XO_TRIVIAL);
            if (!trivial) {
                for (LONG i = 0; i < n; ++i) out[i] = XLATEOBJ_iXlate(const_cast<XLATEOBJ*>(xlate), out[i]);
            } else if (targetView) {
                const int from = bitmap->bpp, to = targetView->bpp;
                if (from == 16 && to >= 24) {
                    for (LONG i = 0; i < n; ++i) out[i] = expand555(out[i]);
                } else if (from >= 24 && to == 16) {
                    for (LONG i = 0; i < n; ++i) out[i] = pack555(out[i]);
                } else if (from == 32 && to == 24) {
                    for (LONG i = 0; i < n; ++i) out[i] &= 0xFFFFFF;
                }
            }
            break;
        }
        case Tile: {
            const LONG w = brush->patternWidth(), h = brush->patternHeight();
            const auto* bits = reinterpret_cast<const uint32_t*>(pixman_image_get_data(brush->pattern()));
            LONG ty = (y - originY) % h;
            if (ty < 0) ty += h;
            const uint32_t* tileRow = bits + static_cast<size_t>(ty) * w;
            LONG tx = (x - originX) % w;
            if (tx < 0) tx += w;
            const bool to16 = targetView && targetView->bpp == 16;
            for (LONG i = 0; i < n; ++i) {
                const uint32_t v = tileRow[tx];
                out[i] = to16 ? pack555(v) : (v & 0xFFFFFF);
                if (transparent) transparent[i] = (v >> 24) == 0;
                if (++tx == w) tx = 0;
            }
            break;
        }
    }
}

Operand brushOperand(const BRUSHOBJ* pbo, const POINTL* origin, const PixelView& target) {
    Operand op;
    op.targetView = &target;
    if (!pbo) {
        op.kind = Operand::Solid;
        op.color = 0;
        return op;
    }
    if (pbo->iSolidColor != 0xFFFFFFFF) {
        op.kind = Operand::Solid;
        op.color = pbo->iSolidColor;
        return op;
    }
    const BrushObject* brush = BrushObject::fromBrushobj(pbo);
    if (!brush || !brush->pattern()) {
        op.kind = Operand::Solid;
        op.color = 0;
        return op;
    }
    op.kind = Operand::Tile;
    op.brush = brush;
    op.originX = origin ? origin->x : 0;
    op.originY = origin ? origin->y : 0;
    return op;
}

bool MaskOperand::bit(LONG x, LONG y) const {
    const LONG mx = x + dx, my = y + dy;
    if (!bitmap || mx < 0 || my < 0 || mx >= bitmap->width || my >= bitmap->height) return false;
    return bitmap->pixel(mx, my) != 0;
}

void applyRop(PixelView& target, const pixman_region32_t* region, const Operand& source, const Operand& pattern,
              ULONG rop4, const MaskOperand* mask) {
    const ULONG fore = rop4 & 0xFF;
    const ULONG back = mask ? (rop4 >> 8) & 0xFF : fore;
    const bool needSource = ropUsesSource(fore) || ropUsesSource(back);
    const bool needPattern = ropUsesPattern(fore) || ropUsesPattern(back);
    const bool needDest = ropUsesDest(fore) || ropUsesDest(back) || mask || pattern.kind == Operand::Tile;
    const uint32_t valueMask = target.bpp == 16 ? 0x7FFF : target.bpp == 32 ? 0xFFFFFFFF : 0xFFFFFF;
    int count = 0;
    const pixman_box32_t* boxes = pixman_region32_rectangles(const_cast<pixman_region32_t*>(region), &count);
    if (count == 0) return;

    // Solid results need no per-pixel work.
    if (!mask && !needSource && (!needPattern || pattern.kind == Operand::Solid) && !ropUsesDest(fore)) {
        const uint32_t value = rop3(fore, pattern.color, 0, 0) & valueMask;
        for (int i = 0; i < count; ++i) {
            target.fillRect(RECTL{boxes[i].x1, boxes[i].y1, boxes[i].x2, boxes[i].y2}, value);
        }
        return;
    }
    LONG widest = 0;
    for (int i = 0; i < count; ++i) widest = std::max<LONG>(widest, boxes[i].x2 - boxes[i].x1);
    std::vector<uint32_t> s(needSource ? widest : 0), p(static_cast<size_t>(widest)), d(static_cast<size_t>(widest));
    std::vector<uint8_t> clear(pattern.kind == Operand::Tile ? widest : 0);
    for (int i = 0; i < count; ++i) {
        const pixman_box32_t& b = boxes[i];
        const LONG n = b.x2 - b.x1;
        for (LONG y = b.y1; y < b.y2; ++y) {
            if (needSource) source.fetch(b.x1, y, n, s.data(), nullptr);
            if (needPattern || pattern.kind == Operand::Tile) {
                pattern.fetch(b.x1, y, n, p.data(), clear.empty() ? nullptr : clear.data());
            }
            if (needDest) target.readRow(b.x1, y, n, d.data());
            for (LONG k = 0; k < n; ++k) {
                if (!clear.empty() && clear[k]) continue;  // a transparent hatch pixel
                const ULONG rop = mask && !mask->bit(b.x1 + k, y) ? back : fore;
                d[k] = rop3(rop, p[k], needSource ? s[k] : 0, d[k]) & valueMask;
            }
            target.writeRow(b.x1, y, n, d.data());
        }
    }
}

// ---------------------------------------------------------------------------
void regionFromA1(const uint8_t* data, int stride, int width, int height, LONG x0, LONG y0, PixelRegion* out) {
    std::vector<pixman_box32_t> boxes;
    std::vector<std::pair<int, int>> runs, previous;
    size_t previousFirst = 0;  // index in boxes of the previous row's runs
    for (int y = 0; y < height; ++y) {
        const auto* words = reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
        runs.clear();
        int x = 0;
        int start = -1;
        const int wordCount = (width + 31) / 32;
        for (int w = 0; w < wordCount; ++w) {
            uint32_t word = words[w];
            if (w == wordCount - 1 && (width & 31)) word &= (1u << (width & 31)) - 1;
            if (start < 0 ? word == 0 : word == 0xFFFFFFFFu) continue;
            x = w * 32;
            // Alternately find the next set bit (a run starts) and the next
            // clear bit (it ends).
            int b = 0;
            while (b < 32) {
                const uint32_t look = (start < 0 ? word : ~word) >> b;
                if (look == 0) break;
                b += __builtin_ctz(look);
                if (start < 0) {
                    start = x + b;
                } else {
                    runs.emplace_back(start, x + b);
                    start = -1;
                }
            }
        }
        if (start >= 0) runs.emplace_back(start, width);
        if (!runs.empty() && runs == previous) {
            // Same spans as the row above: grow those boxes downwards.
            for (size_t i = 0; i < runs.size(); ++i) boxes[previousFirst + i].y2 += 1;
            continue;
        }
        previousFirst = boxes.size();
        for (const auto& [a, b] : runs) {
            boxes.push_back(pixman_box32_t{x0 + a, y0 + y, x0 + b, y0 + y + 1});
        }
        previous = runs;
    }
    pixman_region32_fini(&out->r);
    pixman_region32_init_rects(&out->r, boxes.data(), static_cast<int>(boxes.size()));
}

namespace {

// A cairo A1 surface and context over a box of device pixels, with
// device integer coordinates at pixel centres.
struct MaskCanvas {
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;
    RECTL box{};

    bool open(const RECTL& area) {
        box = area;
        surface = cairo_image_surface_create(CAIRO_FORMAT_A1, box.right - box.left, box.bottom - box.top);
        if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return false;
        cr = cairo_create(surface);
        if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) return false;
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_rgba(cr, 0, 0, 0, 1);
        cairo_translate(cr, 0.5 - box.left, 0.5 - box.top);
        return true;
    }
    ~MaskCanvas() {
        if (cr) cairo_destroy(cr);
        if (surface) cairo_surface_destroy(surface);
    }
    void toRegion(PixelRegion* out) {
        cairo_surface_flush(surface);
        regionFromA1(cairo_image_surface_get_data(surface), cairo_image_surface_get_stride(surface),
                     box.right - box.left, box.bottom - box.top, box.left, box.top, out);
    }
};

// Adds the path to a cairo context, each point mapped by `map`.
template <class Map>
void addPath(cairo_t* cr, const PathObject& path, Map map) {
    double cx = 0, cy = 0;
    for (const PathObject::Record& record : path.records()) {
        size_t i = 0;
        if (record.flags & PD_BEGINSUBPATH) {
            map(record.points[0], &cx, &cy);
            cairo_move_to(cr, cx, cy);
            i = 1;
        }
        if (record.flags & PD_BEZIERS) {
            for (; i + 2 < record.points.size(); i += 3) {
                double x1, y1, x2, y2, x3, y3;
                map(record.points[i], &x1, &y1);
                map(record.points[i + 1], &x2, &y2);
                map(record.points[i + 2], &x3, &y3);
                cairo_curve_to(cr, x1, y1, x2, y2, x3, y3);
            }
        } else {
            for (; i < record.points.size(); ++i) {
                map(record.points[i], &cx, &cy);
                cairo_line_to(cr, cx, cy);
            }
        }
        if (record.flags & PD_CLOSEFIGURE) cairo_close_path(cr);
    }
}

RECTL pixelBounds(const RECTFX& b, LONG margin) {
    auto clamp = [](int64_t v) { return static_cast<LONG>(std::clamp<int64_t>(v, -0x3FFFFFFF, 0x3FFFFFFF)); };
    return RECTL{clamp((int64_t{b.xLeft} >> 4) - margin), clamp((int64_t{b.yTop} >> 4) - margin),
                 clamp(((int64_t{b.xRight} + 15) >> 4) + margin + 1),
                 clamp(((int64_t{b.yBottom} + 15) >> 4) + margin + 1)};
}

// Cairo keeps coordinates in 24.8 fixed point; points far outside any
// surface are pulled in so that they cannot wrap around.
double cairoSafe(double v) { return std::clamp(v, -4.0e6, 4.0e6); }

// An axis-aligned rectangle path (one closed figure of four corners).
bool rectanglePath(const PathObject& path, RECTFX* rect) {
    const auto& records = path.records();
    if (records.size() != 1 || (records[0].flags & PD_BEZIERS)) return false;
    std::vector<POINTFIX> pts = records[0].points;
    if (pts.size() == 5 && pts[4].x == pts[0].x && pts[4].y == pts[0].y) pts.pop_back();
    if (pts.size() != 4) return false;
    for (int i = 0; i < 4; ++i) {
        const POINTFIX& a = pts[i];
        const POINTFIX& b = pts[(i + 1) % 4];
        if (a.x != b.x && a.y != b.y) return false;
    }
    if (pts[0].x == pts[1].x && pts[1].x == pts[2].x) return false;
    if (pts[0].y == pts[1].y && pts[1].y == pts[2].y) return false;
    *rect = path.bounds();
    return true;
}

// In 64 bits: the largest FIX values are in use for far-away corners.
LONG ceilFix(FIX v) { return static_cast<LONG>((int64_t{v} + 15) >> 4); }

}  // namespace

bool fillPathRegion(const PathObject& path, bool winding, const RECTL& limit, PixelRegion* out) {
    pixman_region32_fini(&out->r);
    pixman_region32_init(&out->r);
    if (path.empty()) return true;
    RECTFX rect;
    if (rectanglePath(path, &rect)) {
        // Pixels whose centres lie inside, left and top edges included.
        const RECTL pixels{ceilFix(rect.xLeft), ceilFix(rect.yTop), ceilFix(rect.xRight), ceilFix(rect.yBottom)};
        const RECTL r = intersectRect(pixels, limit);
        if (!emptyRect(r)) out->unite(r);
        return true;
    }
    const RECTL box = intersectRect(pixelBounds(path.bounds(), 1), normalizeRect(limit));
    if (emptyRect(box)) return true;
    MaskCanvas canvas;
    if (!canvas.open(box)) return false;
    cairo_set_fill_rule(canvas.cr, winding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
    addPath(canvas.cr, path, [](const POINTFIX& p, double* x, double* y) {
        *x = cairoSafe(p.x / 16.0);
        *y = cairoSafe(p.y / 16.0);
    });
    cairo_fill(canvas.cr);
    canvas.toRegion(out);
    return true;
}

bool strokePathRegion(const PathObject& path, const XFORML& xform, const LINEATTRS& attrs, const RECTL& limit,
                      PixelRegion* out) {
    pixman_region32_fini(&out->r);
    pixman_region32_init(&out->r);
    if (path.empty()) return true;
    double m11 = xform.eM11, m12 = xform.eM12, m21 = xform.eM21, m22 = xform.eM22;
    double det = m11 * m22 - m12 * m21;
    if (!(std::fabs(det) > 1e-12) || !std::isfinite(det)) {
        m11 = m22 = 1;
        m12 = m21 = 0;
        det = 1;
    }
    const double width = std::max(0.0, static_cast<double>(attrs.elWidth.e));
    const double scale = std::sqrt(std::max(m11 * m11 + m12 * m12, m21 * m21 + m22 * m22));
    double reach = width * scale / 2 + 1;
    if (attrs.iJoin == JOIN_MITER) reach *= std::max(1.0, static_cast<double>(attrs.eMiterLimit));
    if (attrs.iEndCap == ENDCAP_SQUARE) reach *= 1.5;
    const LONG margin = static_cast<LONG>(std::min(1e6, std::ceil(reach))) + 1;
    const RECTL box = intersectRect(pixelBounds(path.bounds(), margin), normalizeRect(limit));
    if (emptyRect(box)) return true;
    MaskCanvas canvas;
    if (!canvas.open(box)) return false;
    cairo_t* cr = canvas.cr;
    // The pen lives in world space: the path goes back through the inverse
    // of the transform's linear part and cairo applies the transform.
    cairo_matrix_t linear;
    cairo_matrix_init(&linear, m11, m12, m21, m22, 0, 0);
    cairo_transform(cr, &linear);
    addPath(cr, path, [&](const POINTFIX& p, double* x, double* y) {
        const double dx = p.x / 16.0, dy = p.y / 16.0;
        *x = (cairoSafe(dx) * m22 - cairoSafe(dy) * m21) / det;
        *y = (cairoSafe(dy) * m11 - cairoSafe(dx) * m12) / det;
    });
    cairo_set_line_width(cr, width > 0 ? width : 1.0 / scale);
    switch (attrs.iEndCap) {
        case ENDCAP_SQUARE: cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE); break;
        case ENDCAP_BUTT: cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT); break;
        default: cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND); break;
    }
    switch (attrs.iJoin) {
        case JOIN_BEVEL: cairo_set_line_join(cr, CAIRO_LINE_JOIN_BEVEL); break;
        case JOIN_MITER:
            cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
            cairo_set_miter_limit(cr, std::max(1.0, static_cast<double>(attrs.eMiterLimit)));
            break;
        default: cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND); break;
    }
    if (attrs.pstyle && attrs.cstyle > 0) {
        // Dashes in world units; a leading gap is the pattern turned by one
        // entry and started at that entry.
        std::vector<double> dashes;
        double total = 0;
        for (ULONG i = 0; i < attrs.cstyle; ++i) {
            const double v = std::max(0.0, static_cast<double>(attrs.pstyle[i].e));
            dashes.push_back(v);
            total += v;
        }
        // Dashes far finer than the path is long (more than a million of
        // them, or shorter than a pixel apart) cannot show at this
        // resolution: the line is drawn solid rather than walked dash by dash.
        const double frobenius = std::sqrt(m11 * m11 + m12 * m12 + m21 * m21 + m22 * m22);
        const double devicePeriod = total * std::fabs(det) / frobenius;
        double length = 0;
        POINTFIX last{0, 0};
        bool first = true;
        for (const PathObject::Record& record : path.records()) {
            for (const POINTFIX& p : record.points) {
                if (!first) {
                    length += std::hypot(cairoSafe(p.x / 16.0) - cairoSafe(last.x / 16.0),
                                         cairoSafe(p.y / 16.0) - cairoSafe(last.y / 16.0));
                }
                last = p;
                first = false;
            }
        }
        if (total > 0 && devicePeriod >= 1 && length / devicePeriod <= 1e6) {
            double offset = std::max(0.0, static_cast<double>(attrs.elStyleState.e));
            if (attrs.fl & LA_STARTGAP) {
                std::rotate(dashes.begin(), dashes.begin() + 1, dashes.end());
                offset += total - dashes.back();
            }
            cairo_set_dash(cr, dashes.data(), static_cast<int>(dashes.size()), offset);
        }
    }
    cairo_stroke(cr);
    canvas.toRegion(out);
    return true;
}

namespace {

// Cosmetic line stepping: pixels along the major axis, the last pixel of a
// figure left out, with the line style advanced per pixel.
struct CosmeticWalker {
    std::vector<pixman_box32_t> boxes;
    RECTL limit;
    // Style.
    bool styled = false;
    std::vector<LONG> pattern;  // in pixels
    size_t index = 0;
    LONG position = 0;
    bool startGap = false;

    bool on() const {
        if (!styled) return true;
        const bool even = (index % 2) == 0;
        return startGap ? !even : even;
    }
    void advance() {
        if (!styled) return;
        if (++position >= pattern[index]) {
            position = 0;
            index = (index + 1) % pattern.size();
        }
    }
    void plot(LONG x, LONG y) {
        if (on() && x >= limit.left && x < limit.right && y >= limit.top && y < limit.bottom) {
            if (!boxes.empty()) {
                pixman_box32_t& last = boxes.back();
                if (last.y1 == y && last.x2 == x) {
                    last.x2 = x + 1;
                    advance();
                    return;
                }
            }
            boxes.push_back(pixman_box32_t{x, y, x + 1, y + 1});
        }
        advance();
    }
    // Moves the style on by n pixels without drawing.
    void skip(int64_t n) {
        if (!styled || n <= 0) return;
        int64_t period = 0;
        for (LONG v : pattern) period += v;
        n %= period;
        for (; n > 0; --n) advance();
    }
    // From a to b, b's pixel not drawn. Only the steps that can land inside
    // the limit are walked; the style moves on over the others.
    void segment(POINTFIX a, POINTFIX b) {
        const int64_t x0 = (int64_t{a.x} + 8) >> 4, y0 = (int64_t{a.y} + 8) >> 4;
        const int64_t x1 = (int64_t{b.x} + 8) >> 4, y1 = (int64_t{b.y} + 8) >> 4;
        const int64_t dx = x1 - x0, dy = y1 - y0;
        const int64_t steps = std::max(std::llabs(dx), std::llabs(dy));
        if (steps == 0) return;
        const bool xMajor = std::llabs(dx) >= std::llabs(dy);
        // Steps whose major coordinate lies inside the limit.
        const int64_t major0 = xMajor ? x0 : y0;
        const int64_t sign = (xMajor ? dx : dy) > 0 ? 1 : -1;
        const int64_t low = xMajor ? limit.left : limit.top, high = (xMajor ? limit.right : limit.bottom) - 1;
        int64_t first = sign > 0 ? low - major0 : major0 - high;
        int64_t last = sign > 0 ? high - major0 : major0 - low;
        first = std::max<int64_t>(first, 0);
        last = std::min<int64_t>(last, steps - 1);
        if (first > last) {
            skip(steps);
            return;
        }
        skip(first);
        for (int64_t i = first; i <= last; ++i) {
            // The minor coordinate rounded to the nearest pixel.
            int64_t x, y;
            if (xMajor) {
                x = x0 + sign * i;
                y = y0 + std::llround(static_cast<double>(i) * static_cast<double>(dy) / static_cast<double>(steps));
            } else {
                y = y0 + sign * i;
                x = x0 + std::llround(static_cast<double>(i) * static_cast<double>(dx) / static_cast<double>(steps));
            }
            plot(static_cast<LONG>(x), static_cast<LONG>(y));
        }
        skip(steps - 1 - last);
    }
};

}  // namespace

bool cosmeticPathRegion(const PathObject& path, LINEATTRS* attrs, LONG styleUnit, const RECTL& limit, PixelRegion* out) {
    pixman_region32_fini(&out->r);
    pixman_region32_init(&out->r);
    if (path.empty()) return true;
    CosmeticWalker walker;
    walker.limit = normalizeRect(limit);
    styleUnit = std::clamp<LONG>(styleUnit, 1, 0x7FFF);
    if (attrs && (attrs->fl & LA_ALTERNATE)) {
        walker.styled = true;
        walker.pattern = {1, 1};
    } else if (attrs && attrs->pstyle && attrs->cstyle > 0) {
        // An array of zeros draws the line solid; otherwise a zero entry
        // lasts one pixel. Entries are style units, kept below 2^15.
        for (ULONG i = 0; i < attrs->cstyle; ++i) {
            const LONG v = std::clamp<LONG>(attrs->pstyle[i].l, 0, 0x7FFF) * styleUnit;
            walker.styled = walker.styled || v > 0;
            walker.pattern.push_back(std::max<LONG>(v, 1));
        }
    }
    if (walker.styled) {
        const ULONG state = static_cast<ULONG>(attrs->elStyleState.l);
        walker.index = (state >> 16) % walker.pattern.size();
        walker.position = static_cast<LONG>(state & 0xFFFF) % walker.pattern[walker.index];
        walker.startGap = (attrs->fl & LA_STARTGAP) != 0;
    }

    auto flat = path.flattened();
    if (!flat) return false;
    POINTFIX start{0, 0}, current{0, 0};
    for (const PathObject::Record& record : flat->records()) {
        size_t i = 0;
        if (record.flags & PD_BEGINSUBPATH) {
            start = current = record.points[0];
            i = 1;
            if ((record.flags & PD_RESETSTYLE) && walker.styled) {
                walker.index = 0;
                walker.position = 0;
            }
        }
        for (; i < record.points.size(); ++i) {
            walker.segment(current, record.points[i]);
            current = record.points[i];
        }
        if (record.flags & PD_CLOSEFIGURE) {
            walker.segment(current, start);
            current = start;
        }
    }
    if (walker.styled && attrs) {
        attrs->elStyleState.l = static_cast<LONG>((static_cast<ULONG>(walker.index) << 16) |
                                                  (static_cast<ULONG>(walker.position) & 0xFFFF));
    }
    pixman_region32_fini(&out->r);
    pixman_region32_init_rects(&out->r, walker.boxes.data(), static_cast<int>(walker.boxes.size()));
    return true;
}

}  // namespace tessaly::gdi
