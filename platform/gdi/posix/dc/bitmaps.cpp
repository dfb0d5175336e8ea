// Bitmaps, pattern blits and gradients of the device context.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "context_state.h"

namespace tessaly::gdi {

namespace {

constexpr int kMaxSide = 65536;
constexpr uint64_t kMaxBytes = 512ull << 20;

DWORD rop3Of(DWORD rop) { return rop > 0xFF ? (rop >> 16) & 0xFF : rop & 0xFF; }

COLOR16 channel(Color c, int shift) { return static_cast<COLOR16>(((c >> shift) & 0xFF) << 8); }

TRIVERTEX vertex(PointD p, Color c, uint8_t alpha) {
    TRIVERTEX v{};
    v.x = static_cast<LONG>(std::clamp(std::lround(p.x), -1073741824L, 1073741824L));
    v.y = static_cast<LONG>(std::clamp(std::lround(p.y), -1073741824L, 1073741824L));
    v.Red = channel(c, 16);
    v.Green = channel(c, 8);
    v.Blue = channel(c, 0);
    v.Alpha = static_cast<COLOR16>(alpha << 8);
    return v;
}

}  // namespace

uint32_t pack555(Color c) {
    return (((c >> 19) & 0x1F) << 10) | (((c >> 11) & 0x1F) << 5) | ((c >> 3) & 0x1F);
}

Color expand555(uint32_t v) {
    const uint32_t r = (v >> 10) & 0x1F, g = (v >> 5) & 0x1F, b = v & 0x1F;
    return (((r << 3) | (r >> 2)) << 16) | (((g << 3) | (g >> 2)) << 8) | ((b << 3) | (b >> 2));
}

size_t Pixels::rowBytes() const {
    return (static_cast<size_t>(width) * static_cast<size_t>(bitsPerPixel) + 7) / 8;
}

uint32_t Pixels::value(int x, int y) const {
    const uint8_t* r = &rows[static_cast<size_t>(y) * static_cast<size_t>(stride)];
    const auto ux = static_cast<size_t>(x);
    switch (bitsPerPixel) {
        case 1: return (r[ux >> 3] >> (7 - (ux & 7))) & 1;
        case 4: return (r[ux >> 1] >> ((ux & 1) ? 0 : 4)) & 0xF;
        case 8: return r[ux];
        case 16: return r[2 * ux] | (r[2 * ux + 1] << 8);
        case 24: return r[3 * ux] | (r[3 * ux + 1] << 8) | (static_cast<uint32_t>(r[3 * ux + 2]) << 16);
        default: {
            uint32_t v;
            std::memcpy(&v, r + 4 * ux, 4);
            return v;
        }
    }
}

void Pixels::setValue(int x, int y, uint32_t v) {
    uint8_t* r = &rows[static_cast<size_t>(y) * static_cast<size_t>(stride)];
    const auto ux = static_cast<size_t>(x);
    switch (bitsPerPixel) {
        case 1: {
            const auto bit = static_cast<uint8_t>(0x80 >> (ux & 7));
            r[ux >> 3] = static_cast<uint8_t>((v & 1) ? (r[ux >> 3] | bit) : (r[ux >> 3] & ~bit));
            break;
        }
        case 4: {
            uint8_t& b = r[ux >> 1];
            b = (ux & 1) ? static_cast<uint8_t>((b & 0xF0) | (v & 0xF))
                         : static_cast<uint8_t>((b & 0x0F) | ((v & 0xF) << 4));
            break;
        }
        case 8: r[ux] = static_cast<uint8_t>(v); break;
        case 16:
            r[2 * ux] = static_cast<uint8_t>(v);
            r[2 * ux + 1] = static_cast<uint8_t>(v >> 8);
            break;
        case 24:
            r[3 * ux] = static_cast<uint8_t>(v);
            r[3 * ux + 1] = static_cast<uint8_t>(v >> 8);
            r[3 * ux + 2] = static_cast<uint8_t>(v >> 16);
            break;
        default: std::memcpy(r + 4 * ux, &v, 4); break;
    }
}

Color Pixels::color(int x, int y) const {
    const uint32_t v = value(x, y);
    if (bitsPerPixel <= 8) return v < palette.size() ? palette[v] & 0xFFFFFF : 0;
    if (bitsPerPixel == 16) return expand555(v);
    return v & 0xFFFFFF;
}

namespace {

bool paletted(int bitsPerPixel) { return bitsPerPixel == 1 || bitsPerPixel == 4 || bitsPerPixel == 8; }

bool knownFormat(int bitsPerPixel) {
    return paletted(bitsPerPixel) || bitsPerPixel == 16 || bitsPerPixel == 24 || bitsPerPixel == 32;
}

constexpr const char* kFormats = "bitmap: only 1, 4, 8, 16, 24 and 32 bits per pixel are supported";

// `firstPixel` is where the copy starts inside the view's first byte of each
// row (only sub-byte formats start inside a byte).
std::shared_ptr<Pixels> copyRows(const BitmapView& view, std::string* error, int firstPixel) {
    auto bad = [&](const char* why) -> std::shared_ptr<Pixels> {
        if (error && error->empty()) *error = why;
        return nullptr;
    };
    if (!knownFormat(view.bitsPerPixel)) return bad(kFormats);
    if (view.width <= 0 || view.height <= 0 || view.width > kMaxSide || view.height > kMaxSide)
        return bad("bitmap: bad size");
    const uint64_t bits = static_cast<uint64_t>(view.bitsPerPixel);
    const uint64_t rowBytes = (static_cast<uint64_t>(view.width) * bits + 7) / 8;
    const uint64_t readBytes = (static_cast<uint64_t>(firstPixel + view.width) * bits + 7) / 8;
    if (!view.bits || view.stride < 0 || static_cast<uint64_t>(view.stride) < readBytes)
        return bad("bitmap: no pixels, or rows shorter than the width");
    if (paletted(view.bitsPerPixel) && (view.palette.empty() || view.palette.size() > 256))
        return bad("bitmap: a palette bitmap needs a palette of 1 to 256 colours");
    const uint64_t stride = (rowBytes + 3) & ~uint64_t{3};
    if (stride * static_cast<uint64_t>(view.height) > kMaxBytes) return bad("bitmap: too large");
    auto px = std::make_shared<Pixels>();
    px->width = view.width;
    px->height = view.height;
    px->bitsPerPixel = view.bitsPerPixel;
    px->stride = static_cast<int>(stride);
    px->rows.assign(stride * static_cast<uint64_t>(view.height), 0);
    const int shift = firstPixel * view.bitsPerPixel;  // bits, below 8
    for (int y = 0; y < view.height; ++y) {
        const uint8_t* from = view.bits + static_cast<size_t>(y) * static_cast<size_t>(view.stride);
        uint8_t* to = &px->rows[static_cast<size_t>(y) * stride];
        if (shift == 0) {
            std::memcpy(to, from, rowBytes);
        } else {
            // The row moved left by `shift` bits, the next byte filling in.
            for (uint64_t i = 0; i < rowBytes; ++i) {
                const unsigned next = i + 1 < readBytes ? from[i + 1] : 0u;
                to[i] = static_cast<uint8_t>((from[i] << shift) | (next >> (8 - shift)));
            }
        }
        // Bits past the width stay clear.
        if (const uint64_t tail = (static_cast<uint64_t>(view.width) * bits) % 8; tail != 0)
            to[rowBytes - 1] = static_cast<uint8_t>(to[rowBytes - 1] & (0xFF00u >> tail));
    }
    if (paletted(view.bitsPerPixel)) {
        // Indices past the caller's palette read black, never past the table;
        // a longer palette than the format can index keeps its first entries.
        const size_t entries = size_t{1} << view.bitsPerPixel;
        px->palette.assign(view.palette.begin(),
                           view.palette.begin() + static_cast<long>(std::min(entries, view.palette.size())));
        px->palette.resize(entries, 0);
    }
    return px;
}

}  // namespace

std::shared_ptr<Pixels> copyPixels(const BitmapView& view, std::string* error) { return copyRows(view, error, 0); }

bool DeviceContext::Impl::corners(const RectD& dest, DrawOp* op) {
    for (double v : {dest.left, dest.top, dest.right, dest.bottom})
        if (!std::isfinite(v)) return fail("bitmap: bad destination rectangle");
    op->corner[0] = state.world.apply({dest.left, dest.top});
    op->corner[1] = state.world.apply({dest.right, dest.top});
    op->corner[2] = state.world.apply({dest.left, dest.bottom});
    const PointD d{op->corner[1].x + op->corner[2].x - op->corner[0].x,
                   op->corner[1].y + op->corner[2].y - op->corner[0].y};
    RectD b{std::min({op->corner[0].x, op->corner[1].x, op->corner[2].x, d.x}),
            std::min({op->corner[0].y, op->corner[1].y, op->corner[2].y, d.y}),
            std::max({op->corner[0].x, op->corner[1].x, op->corner[2].x, d.x}),
            std::max({op->corner[0].y, op->corner[1].y, op->corner[2].y, d.y})};
    op->bounds = pixelBounds({b.left - 1, b.top - 1, b.right + 1, b.bottom + 1});
    return true;
}

namespace {

// The part of the source that is used, copied; sourceRect becomes relative
// to the copy.
bool takeSource(const BitmapView& view, const DeviceRect& rect, DrawOp* op, std::string* error) {
    if (rect.left < 0 || rect.top < 0 || rect.right > view.width || rect.bottom > view.height ||
        rect.right <= rect.left || rect.bottom <= rect.top) {
        if (error && error->empty()) *error = "bitmap: the source rectangle is not inside the bitmap";
        return false;
    }
    if (!knownFormat(view.bitsPerPixel)) {
        if (error && error->empty()) *error = kFormats;
        return false;
    }
    BitmapView part = view;
    // Sub-byte formats may start inside a byte: the copy shifts the rows.
    const int64_t firstBit = static_cast<int64_t>(rect.left) * view.bitsPerPixel;
    if (view.bits && view.stride > 0) {
        part.bits = view.bits + static_cast<size_t>(rect.top) * static_cast<size_t>(view.stride) +
                    static_cast<size_t>(firstBit / 8);
    }
    part.width = rect.right - rect.left;
    part.height = rect.bottom - rect.top;
    // Rows must hold the whole width, whichever part is read.
    const uint64_t fullRow =
        (static_cast<uint64_t>(view.width) * static_cast<uint64_t>(view.bitsPerPixel) + 7) / 8;
    if (view.stride < 0 || static_cast<uint64_t>(view.stride) < fullRow) {
        if (error && error->empty()) *error = "bitmap: no pixels, or rows shorter than the width";
        return false;
    }
    auto px = copyRows(part, error, static_cast<int>((firstBit % 8) / view.bitsPerPixel));
    if (!px) return false;
    op->source = std::move(px);
    op->sourceRect = {0, 0, part.width, part.height};
    return true;
}

}  // namespace

bool DeviceContext::stretchBlt(const RectD& dest, const BitmapView& source, const DeviceRect& sourceRect,
                               DWORD rop3) {
    Impl& d = *impl_;
    if (!d.inPage) return d.fail("drawing outside a page");
    DrawOp op;
    op.kind = DrawOp::Kind::Blit;
    if (!d.corners(dest, &op)) return false;
    if (!takeSource(source, sourceRect, &op, &d.error)) return false;
    op.rop3 = rop3Of(rop3);
    op.brush = d.state.brush;
    op.pattern = d.state.pattern;
    op.background = d.state.background;
    op.transparentBackground = d.state.backgroundMode == BackgroundMode::Transparent;
    return d.submit(std::move(op));
}

bool DeviceContext::alphaBlend(const RectD& dest, const BitmapView& source, const DeviceRect& sourceRect,
                               uint8_t constantAlpha, bool perPixelAlpha) {
    Impl& d = *impl_;
    if (!d.inPage) return d.fail("drawing outside a page");
    if (perPixelAlpha && source.bitsPerPixel != 32) return d.fail("alphaBlend: per-pixel alpha needs 32 bits");
    DrawOp op;
    op.kind = DrawOp::Kind::AlphaBlend;
    if (!d.corners(dest, &op)) return false;
    if (!takeSource(source, sourceRect, &op, &d.error)) return false;
    op.constantAlpha = constantAlpha;
    op.perPixelAlpha = perPixelAlpha;
    return d.submit(std::move(op));
}

bool DeviceContext::transparentBlt(const RectD& dest, const BitmapView& source, const DeviceRect& sourceRect,
                                   Color keyColor) {
    Impl& d = *impl_;
    if (!d.inPage) return d.fail("drawing outside a page");
    DrawOp op;
    op.kind = DrawOp::Kind::TransparentBlt;
    if (!d.corners(dest, &op)) return false;
    if (!takeSource(source, sourceRect, &op, &d.error)) return false;
    op.key = keyColor & 0xFFFFFF;
    if (paletted(source.bitsPerPixel)) {
        // The key of a palette bitmap is the index of that colour.
        const auto& pal = op.source->palette;
        const auto used = pal.begin() + static_cast<long>(std::min(pal.size(), source.palette.size()));
        const auto it = std::find(pal.begin(), used, op.key);
        op.key = it == used ? 0xFFFFFFFFu : static_cast<Color>(it - pal.begin());
    } else if (source.bitsPerPixel == 16) {
        // A 5-5-5 bitmap's key is the word of that colour.
        op.key = pack555(op.key);
    }
    return d.submit(std::move(op));
}

bool DeviceContext::patBlt(const RectD& rect, DWORD rop3) {
    Impl& d = *impl_;
    if (!d.inPage) return d.fail("drawing outside a page");
    // A pattern blit has no source: an operation that reads one is refused
    // here, as GDI does, instead of failing the page when it is played.
    const DWORD rop = rop3Of(rop3);
    if (((rop >> 2) ^ rop) & 0x33) return d.fail("patBlt: the raster operation needs a source bitmap");
    DrawOp op;
    op.kind = DrawOp::Kind::Blit;
    if (!d.corners(rect, &op)) return false;
    op.rop3 = rop;
    op.brush = d.state.brush;
    if (op.brush.style == BrushStyle::Null) {
        // A null brush paints nothing through a pattern operation.
        const DWORD r = op.rop3;
        if (((r >> 4) & 0x0F) != (r & 0x0F)) return true;
    }
    op.pattern = d.state.pattern;
    op.background = d.state.background;
    op.transparentBackground = d.state.backgroundMode == BackgroundMode::Transparent;
    return d.submit(std::move(op));
}

bool DeviceContext::gradientRect(const RectD& rect, Color from, Color to, bool vertical) {
    Impl& d = *impl_;
    if (!d.inPage) return d.fail("drawing outside a page");
    DrawOp op;
    op.kind = DrawOp::Kind::Gradient;
    if (!d.corners(rect, &op)) return false;
    const Transform& t = d.state.world;
    const bool aligned = t.m12 == 0 && t.m21 == 0;
    if (aligned) {
        // Corners ordered top-left to bottom-right, colours following any mirror.
        PointD a = op.corner[0];
        PointD b{op.corner[1].x, op.corner[2].y};
        Color ca = from, cb = to;
        const bool swapX = a.x > b.x, swapY = a.y > b.y;
        if (swapX) std::swap(a.x, b.x);
        if (swapY) std::swap(a.y, b.y);
        if ((vertical && swapY) || (!vertical && swapX)) std::swap(ca, cb);
        op.vertices = {vertex(a, ca, 0xFF), vertex(b, cb, 0xFF)};
        op.mesh = {0, 1};
        op.gradientMode = vertical ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_RECT_H;
    } else {
        // A turned rectangle: two shaded triangles.
        const PointD c3{op.corner[1].x + op.corner[2].x - op.corner[0].x,
                        op.corner[1].y + op.corner[2].y - op.corner[0].y};
        const Color c0 = from, c1 = vertical ? from : to, c2 = vertical ? to : from, cc = to;
        op.vertices = {vertex(op.corner[0], c0, 0xFF), vertex(op.corner[1], c1, 0xFF), vertex(op.corner[2], c2, 0xFF),
                       vertex(c3, cc, 0xFF)};
        op.mesh = {0, 1, 2, 1, 3, 2};
        op.gradientMode = GRADIENT_FILL_TRIANGLE;
    }
    return d.submit(std::move(op));
}

bool DeviceContext::gradientTriangles(std::span<const GradientVertex> vertices,
                                      std::span<const GradientTriangle> triangles) {
    Impl& d = *impl_;
    if (!d.inPage) return d.fail("drawing outside a page");
    if (vertices.empty() || triangles.empty()) return true;
    DrawOp op;
    op.kind = DrawOp::Kind::Gradient;
    op.gradientMode = GRADIENT_FILL_TRIANGLE;
    RectD b{INFINITY, INFINITY, -INFINITY, -INFINITY};
    for (const GradientVertex& v : vertices) {
        if (!std::isfinite(v.x) || !std::isfinite(v.y)) return d.fail("gradientTriangles: bad vertex");
        const PointD p = d.state.world.apply({v.x, v.y});
        op.vertices.push_back(vertex(p, v.color, v.alpha));
        b = {std::min(b.left, p.x), std::min(b.top, p.y), std::max(b.right, p.x), std::max(b.bottom, p.y)};
    }
    for (const GradientTriangle& t : triangles) {
        if (t.a >= vertices.size() || t.b >= vertices.size() || t.c >= vertices.size())
            return d.fail("gradientTriangles: a triangle names a vertex that does not exist");
        op.mesh.insert(op.mesh.end(), {t.a, t.b, t.c});
    }
    op.bounds = pixelBounds({b.left - 1, b.top - 1, b.right + 1, b.bottom + 1});
    return d.submit(std::move(op));
}

}  // namespace tessaly::gdi
