// Block transfers and area fills: EngBitBlt, EngCopyBits, EngStretchBlt,
// EngPlgBlt, EngPaint, EngAlphaBlend, EngTransparentBlt, EngGradientFill.

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "deferral.h"
#include "raster.h"

namespace tessaly::gdi {

namespace {

// Pixels of a rectangle copied out of a view, in the view's own format, so
// that a blit from a surface onto itself reads what was there before.
struct PixelCopy {
    std::vector<uint8_t> bytes;
    PixelView view;

    bool take(const PixelView& from, const RECTL& area) {
        const LONG w = area.right - area.left, h = area.bottom - area.top;
        const size_t stride = ((static_cast<size_t>(w) * from.bpp + 31) / 32) * 4;
        try {
            bytes.assign(stride * static_cast<size_t>(h), 0);
        } catch (const std::bad_alloc&) {
            return false;
        }
        view.width = w;
        view.height = h;
        view.scan0 = bytes.data();
        view.delta = static_cast<LONG>(stride);
        view.format = from.format;
        view.bpp = from.bpp;
        std::vector<uint32_t> row(static_cast<size_t>(w));
        for (LONG y = 0; y < h; ++y) {
            from.readRow(area.left, area.top + y, w, row.data());
            view.writeRow(0, y, w, row.data());
        }
        return true;
    }
};

// A 32-bit premultiplied image of a source rectangle, colours already in
// the target's format (0x00RRGGBB for 24 and 32-bit targets).
struct SourceImage {
    std::vector<uint32_t> bits;
    pixman_image_t* image = nullptr;
    LONG width = 0, height = 0;

    ~SourceImage() {
        if (image) pixman_image_unref(image);
    }
    // keepAlpha: a 32-bit source's alpha bytes are kept (premultiplied);
    // otherwise every pixel is opaque. transparentKey: raw source values
    // equal to it become fully transparent.
    bool make(const PixelView& source, const XLATEOBJ* xlate, const RECTL& rect, bool keepAlpha,
              const ULONG* transparentKey) {
        width = rect.right - rect.left;
        height = rect.bottom - rect.top;
        if (width <= 0 || height <= 0) return false;
        try {
            bits.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
        } catch (const std::bad_alloc&) {
            return false;
        }
        std::vector<uint32_t> raw(static_cast<size_t>(width));
        const bool trivial = !xlate || (xlate->flXlate & XO_TRIVIAL);
        for (LONG y = 0; y < height; ++y) {
            source.readRow(rect.left, rect.top + y, width, raw.data());
            uint32_t* out = bits.data() + static_cast<size_t>(y) * width;
            for (LONG x = 0; x < width; ++x) {
                const uint32_t v = raw[x];
                if (transparentKey && (v & (source.bpp == 32 ? 0xFFFFFF : 0xFFFFFFFF)) == *transparentKey) {
                    out[x] = 0;
                    continue;
                }
                uint32_t c;
                if (!trivial) {
                    c = XLATEOBJ_iXlate(const_cast<XLATEOBJ*>(xlate), v) & 0xFFFFFF;
                } else if (source.bpp == 16) {
                    const uint32_t r = (v >> 10) & 0x1F, g = (v >> 5) & 0x1F, b = v & 0x1F;
                    c = (((r << 3) | (r >> 2)) << 16) | (((g << 3) | (g >> 2)) << 8) | ((b << 3) | (b >> 2));
                } else {
                    c = v & 0xFFFFFF;
                }
                out[x] = keepAlpha && source.bpp == 32 ? (c | (v & 0xFF000000u)) : (c | 0xFF000000u);
            }
        }
        image = pixman_image_create_bits(PIXMAN_a8r8g8b8, width, height, bits.data(), width * 4);
        return image != nullptr;
    }
};

// Maps target pixels into a source image: target rectangle `to`
// (possibly mirrored) shows source rectangle of size w x h.
void setStretch(pixman_image_t* image, const RECTL& to, LONG w, LONG h, bool smooth) {
    const double sx = static_cast<double>(w) / (static_cast<double>(to.right) - to.left);
    const double sy = static_cast<double>(h) / (static_cast<double>(to.bottom) - to.top);
    pixman_f_transform f;
    pixman_f_transform_init_identity(&f);
    f.m[0][0] = sx;
    f.m[0][2] = -to.left * sx;
    f.m[1][1] = sy;
    f.m[1][2] = -to.top * sy;
    pixman_transform t;
    pixman_transform_from_pixman_f_transform(&t, &f);
    pixman_image_set_transform(image, &t);
    pixman_image_set_repeat(image, PIXMAN_REPEAT_PAD);
    const double ax = std::fabs(sx), ay = std::fabs(sy);
    if (smooth && (ax > 1 || ay > 1)) {
        // Shrinking smoothly averages the source pixels under each target
        // pixel (a box filter), rather than sampling two of them.
        int count = 0;
        pixman_fixed_t* params = pixman_filter_create_separable_convolution(
            &count, pixman_double_to_fixed(std::max(1.0, ax)), pixman_double_to_fixed(std::max(1.0, ay)),
            PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX, 2, 2);
        if (params && pixman_image_set_filter(image, PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params, count)) {
            free(params);
            return;
        }
        free(params);
    }
    pixman_image_set_filter(image, smooth ? PIXMAN_FILTER_BILINEAR : PIXMAN_FILTER_NEAREST, nullptr, 0);
}

// Composites an image over the target inside a region.
bool compositeInto(PixelView& target, const PixelRegion& region, pixman_op_t op, pixman_image_t* source,
                   pixman_image_t* mask) {
    pixman_image_t* dest = target.image();
    if (!dest) return false;
    pixman_image_set_clip_region32(dest, const_cast<pixman_region32_t*>(&region.r));
    const RECTL e = region.extents();
    pixman_image_composite32(op, source, mask, dest, e.left, e.top, e.left, e.top, e.left, e.top,
                             e.right - e.left, e.bottom - e.top);
    pixman_image_set_clip_region32(dest, nullptr);
    return true;
}

// Nearest-neighbour scaling between 24 and 32-bit pixels of the same
// colours, straight from the source rows: target pixel centres are mapped
// into the source rectangle (a mirrored target rectangle flips it).
void nearestStretch(PixelView& target, const PixelRegion& region, const PixelView& source, const RECTL& from,
                    const RECTL& to) {
    const double sx = static_cast<double>(from.right - from.left) / (static_cast<double>(to.right) - to.left);
    const double sy = static_cast<double>(from.bottom - from.top) / (static_cast<double>(to.bottom) - to.top);
    auto mapX = [&](LONG x) {
        const auto v = static_cast<LONG>(std::floor((x + 0.5 - to.left) * sx)) + from.left;
        return std::clamp(v, from.left, from.right - 1);
    };
    auto mapY = [&](LONG y) {
        const auto v = static_cast<LONG>(std::floor((y + 0.5 - to.top) * sy)) + from.top;
        return std::clamp(v, from.top, from.bottom - 1);
    };
    const RECTL e = region.extents();
    std::vector<LONG> columns(static_cast<size_t>(e.right - e.left));
    for (LONG x = e.left; x < e.right; ++x) columns[x - e.left] = mapX(x);
    const int inBytes = source.bpp / 8, outBytes = target.bpp / 8;
    int count = 0;
    const pixman_box32_t* boxes = pixman_region32_rectangles(const_cast<pixman_region32_t*>(&region.r), &count);
    for (int i = 0; i < count; ++i) {
        for (LONG y = boxes[i].y1; y < boxes[i].y2; ++y) {
            const uint8_t* in = source.row(mapY(y));
            uint8_t* out = target.row(y) + static_cast<size_t>(boxes[i].x1) * outBytes;
            const LONG* column = columns.data() + (boxes[i].x1 - e.left);
            const LONG n = boxes[i].x2 - boxes[i].x1;
            for (LONG k = 0; k < n; ++k, out += outBytes) {
                const uint8_t* p = in + static_cast<size_t>(column[k]) * inBytes;
                out[0] = p[0];
                out[1] = p[1];
                out[2] = p[2];
                if (outBytes == 4) out[3] = 0;
            }
        }
    }
}

// The offset from a target coordinate to a source one. Offsets beyond
// +-2^30 reach no pixel of any surface; kept there, they cannot overflow.
LONG offsetBetween(LONG to, LONG from) {
    return static_cast<LONG>(std::clamp<int64_t>(int64_t{to} - from, -0x3FFFFFFF, 0x3FFFFFFF));
}

bool openTarget(SURFOBJ* pso, PixelView* view) {
    if (!view->open(pso) || !view->drawable()) {
        EngSetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return true;
}

}  // namespace

}  // namespace tessaly::gdi

using namespace tessaly::gdi;

extern "C" {

WIN32KAPI WINBOOL APIENTRY EngBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                                     XLATEOBJ* pxlo, RECTL* prclTrg, POINTL* pptlSrc, POINTL* pptlMask,
                                     BRUSHOBJ* pbo, POINTL* pptlBrush, ROP4 rop4) {
    // A source whose drawing is kept shows it before it is read.
    renderDeferred(psoSrc);
    renderDeferred(psoMask);
    PixelView target;
    if (!prclTrg || !openTarget(psoTrg, &target)) return FALSE;
    const RECTL rect = normalizeRect(*prclTrg);
    const ULONG fore = rop4 & 0xFF, back = (rop4 >> 8) & 0xFF;
    const bool masked = fore != back;
    PixelRegion region;
    clipRegion(pco, rect, target, &region);

    Operand source;
    PixelView sourceView;
    PixelCopy copy;
    if (ropUsesSource(fore) || (masked && ropUsesSource(back))) {
        if (!psoSrc || !sourceView.open(psoSrc)) {
            EngSetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        const POINTL from = pptlSrc ? *pptlSrc : POINTL{0, 0};
        LONG dx = offsetBetween(from.x, rect.left), dy = offsetBetween(from.y, rect.top);
        // Only target pixels whose source pixel exists.
        region.intersect(RECTL{-dx, -dy, sourceView.width - dx, sourceView.height - dy});
        source.kind = Operand::Bitmap;
        source.bitmap = &sourceView;
        if (sourceView.scan0 == target.scan0 && !region.empty()) {
            // Source and target overlap: read the source first.
            const RECTL e = region.extents();
            const RECTL area{e.left + dx, e.top + dy, e.right + dx, e.bottom + dy};
            if (!copy.take(sourceView, area)) {
                EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return FALSE;
            }
            source.bitmap = &copy.view;
            dx = -e.left;
            dy = -e.top;
        }
        source.dx = dx;
        source.dy = dy;
        source.xlate = pxlo;
        source.targetView = &target;
    }
    Operand pattern;
    if (ropUsesPattern(fore) || (masked && ropUsesPattern(back))) pattern = brushOperand(pbo, pptlBrush, target);
    PixelView maskView;
    MaskOperand mask;
    if (masked) {
        if (!psoMask || !maskView.open(psoMask)) {
            EngSetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        const POINTL at = pptlMask ? *pptlMask : POINTL{0, 0};
        mask.bitmap = &maskView;
        mask.dx = offsetBetween(at.x, rect.left);
        mask.dy = offsetBetween(at.y, rect.top);
    }
    if (deferCall(psoTrg, [=] {
            return EngBitBlt(psoTrg, psoSrc, psoMask, pco, pxlo, prclTrg, pptlSrc, pptlMask, pbo, pptlBrush, rop4);
        }))
        return TRUE;
    if (region.empty()) return TRUE;
    applyRop(target, &region.r, source, pattern, rop4, masked ? &mask : nullptr);
    return TRUE;
}

WIN32KAPI WINBOOL APIENTRY EngCopyBits(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                                       RECTL* prclDest, POINTL* pptlSrc) {
    return EngBitBlt(psoDest, psoSrc, nullptr, pco, pxlo, prclDest, pptlSrc, nullptr, nullptr, nullptr, 0xCCCC);
}

WIN32KAPI WINBOOL APIENTRY EngPaint(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg, MIX mix) {
    PixelView target;
    if (!openTarget(pso, &target)) return FALSE;
    if (deferCall(pso, [=] { return EngPaint(pso, pco, pbo, pptlBrushOrg, mix); })) return TRUE;
    PixelRegion region;
    clipRegion(pco, target.bounds(), target, &region);
    if (region.empty()) return TRUE;
    const ULONG rop = mixToRop3(mix);
    const Operand pattern = brushOperand(pbo, pptlBrushOrg, target);
    applyRop(target, &region.r, Operand{}, pattern, rop | (rop << 8), nullptr);
    return TRUE;
}

WIN32KAPI WINBOOL APIENTRY EngStretchBlt(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                                         XLATEOBJ* pxlo, COLORADJUSTMENT* pca, POINTL* pptlHTOrg,
                                         RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask, ULONG iMode) {
    // A source whose drawing is kept shows it before it is read.
    renderDeferred(psoSrc);
    renderDeferred(psoMask);
    PixelView target, source;
    if (!prclDest || !prclSrc || !openTarget(psoDest, &target)) return FALSE;
    if (!psoSrc || !source.open(psoSrc)) {
        EngSetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const RECTL to = *prclDest;
    if (to.left == to.right || to.top == to.bottom) return TRUE;
    const RECTL from = intersectRect(normalizeRect(*prclSrc), source.bounds());
    if (deferCall(psoDest, [=] {
            return EngStretchBlt(psoDest, psoSrc, psoMask, pco, pxlo, pca, pptlHTOrg, prclDest, prclSrc, pptlMask,
                                 iMode);
        }))
        return TRUE;
    if (emptyRect(from)) return TRUE;
    // The source rectangle as asked, clipped to the source; the mapping
    // keeps the asked rectangle's scale.
    const RECTL asked = normalizeRect(*prclSrc);
    PixelRegion region;
    clipRegion(pco, to, target, &region);
    if (region.empty()) return TRUE;
    if (iMode != HALFTONE && !psoMask && (!pxlo || (pxlo->flXlate & XO_TRIVIAL)) && source.bpp >= 24 &&
        target.bpp >= 24 && asked.left == from.left && asked.right == from.right && asked.top == from.top &&
        asked.bottom == from.bottom) {
        nearestStretch(target, region, source, from, to);
        return TRUE;
    }
    SourceImage image;
    if (!image.make(source, pxlo, from, false, nullptr)) {
        EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    // A source rectangle reaching outside the source: only the part inside
    // is drawn, where the asked rectangle's scale puts it.
    RECTL map = to;
    if (from.left != asked.left || from.right != asked.right || from.top != asked.top ||
        from.bottom != asked.bottom) {
        const double sx = (static_cast<double>(to.right) - to.left) / (asked.right - asked.left);
        const double sy = (static_cast<double>(to.bottom) - to.top) / (asked.bottom - asked.top);
        auto at = [](double v) { return static_cast<LONG>(std::clamp(std::round(v), -1073741823.0, 1073741823.0)); };
        map.left = at(to.left + (from.left - asked.left) * sx);
        map.right = at(to.left + (from.right - asked.left) * sx);
        map.top = at(to.top + (from.top - asked.top) * sy);
        map.bottom = at(to.top + (from.bottom - asked.top) * sy);
        if (map.left == map.right || map.top == map.bottom) return TRUE;
        region.intersect(map);
        if (region.empty()) return TRUE;
    }
    setStretch(image.image, map, image.width, image.height, iMode == HALFTONE);

    pixman_image_t* maskImage = nullptr;
    std::vector<uint8_t> maskBits;
    if (psoMask) {
        // The mask has the source's size and position; set bits keep the
        // source pixel.
        PixelView maskView;
        if (!maskView.open(psoMask)) {
            EngSetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        const POINTL at = pptlMask ? *pptlMask : POINTL{0, 0};
        const LONG stride = (image.width + 3) & ~3;
        maskBits.assign(static_cast<size_t>(stride) * image.height, 0);
        for (LONG y = 0; y < image.height; ++y) {
            for (LONG x = 0; x < image.width; ++x) {
                const int64_t mx = int64_t{at.x} + x, my = int64_t{at.y} + y;
                if (mx < maskView.width && my < maskView.height && mx >= 0 && my >= 0 &&
                    maskView.pixel(static_cast<LONG>(mx), static_cast<LONG>(my))) {
                    maskBits[static_cast<size_t>(y) * stride + x] = 0xFF;
                }
            }
        }
        maskImage = pixman_image_create_bits(PIXMAN_a8, image.width, image.height,
                                             reinterpret_cast<uint32_t*>(maskBits.data()), stride);
        if (!maskImage) return FALSE;
        setStretch(maskImage, map, image.width, image.height, false);
    }
    const bool done = compositeInto(target, region, PIXMAN_OP_OVER, image.image, maskImage);
    if (maskImage) pixman_image_unref(maskImage);
    return done ? TRUE : FALSE;
}

WIN32KAPI WINBOOL APIENTRY EngPlgBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMsk, CLIPOBJ* pco,
                                     XLATEOBJ* pxlo, COLORADJUSTMENT* pca, POINTL* pptlBrushOrg,
                                     POINTFIX* pptfx, RECTL* prcl, POINTL* pptl, ULONG iMode) {
    // A source whose drawing is kept shows it before it is read.
    renderDeferred(psoSrc);
    renderDeferred(psoMsk);
    PixelView target, source;
    if (!pptfx || !prcl || !openTarget(psoTrg, &target)) return FALSE;
    if (!psoSrc || !source.open(psoSrc) || psoMsk) {
        // Masks on parallelograms are not supported.
        EngSetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (deferCall(psoTrg, [=] {
            return EngPlgBlt(psoTrg, psoSrc, psoMsk, pco, pxlo, pca, pptlBrushOrg, pptfx, prcl, pptl, iMode);
        }))
        return TRUE;
    const RECTL from = intersectRect(normalizeRect(*prcl), source.bounds());
    if (emptyRect(from)) return TRUE;
    const double ax = pptfx[0].x / 16.0, ay = pptfx[0].y / 16.0;
    const double bx = pptfx[1].x / 16.0, by = pptfx[1].y / 16.0;
    const double cx = pptfx[2].x / 16.0, cy = pptfx[2].y / 16.0;
    const double w = from.right - from.left, h = from.bottom - from.top;
    // Source (u, v) goes to A + u/w (B - A) + v/h (C - A).
    const double m00 = (bx - ax) / w, m01 = (cx - ax) / h, m10 = (by - ay) / w, m11 = (cy - ay) / h;
    const double det = m00 * m11 - m01 * m10;
    if (!(std::fabs(det) > 1e-12)) return TRUE;

    PathObject outline;
    auto fourth = [](FIX b, FIX c, FIX a) {
        return static_cast<FIX>(std::clamp<int64_t>(int64_t{b} + c - a, INT32_MIN, INT32_MAX));
    };
    const POINTFIX d{fourth(pptfx[1].x, pptfx[2].x, pptfx[0].x), fourth(pptfx[1].y, pptfx[2].y, pptfx[0].y)};
    const POINTFIX corners[3] = {pptfx[1], d, pptfx[2]};
    outline.moveTo(pptfx[0]);
    outline.lineTo(corners, 3);
    outline.closeFigure();
    PixelRegion clip;
    clipRegion(pco, target.bounds(), target, &clip);
    PixelRegion region;
    if (!fillPathRegion(outline, true, clip.extents(), &region)) return FALSE;
    region.intersect(&clip.r);
    if (region.empty()) return TRUE;

    SourceImage image;
    if (!image.make(source, pxlo, from, false, nullptr)) {
        EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    pixman_f_transform f;
    pixman_f_transform_init_identity(&f);
    // Inverse of the mapping, target to source.
    f.m[0][0] = m11 / det;
    f.m[0][1] = -m01 / det;
    f.m[1][0] = -m10 / det;
    f.m[1][1] = m00 / det;
    f.m[0][2] = -(f.m[0][0] * ax + f.m[0][1] * ay);
    f.m[1][2] = -(f.m[1][0] * ax + f.m[1][1] * ay);
    pixman_transform t;
    pixman_transform_from_pixman_f_transform(&t, &f);
    pixman_image_set_transform(image.image, &t);
    pixman_image_set_filter(image.image, iMode == HALFTONE ? PIXMAN_FILTER_BILINEAR : PIXMAN_FILTER_NEAREST,
                            nullptr, 0);
    pixman_image_set_repeat(image.image, PIXMAN_REPEAT_PAD);
    return compositeInto(target, region, PIXMAN_OP_OVER, image.image, nullptr) ? TRUE : FALSE;
}

WIN32KAPI WINBOOL APIENTRY EngAlphaBlend(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                                         RECTL* prclDest, RECTL* prclSrc, BLENDOBJ* pBlendObj) {
    // A source whose drawing is kept shows it before it is read.
    renderDeferred(psoSrc);
    PixelView target, source;
    if (!prclDest || !prclSrc || !pBlendObj || !openTarget(psoDest, &target)) return FALSE;
    if (!psoSrc || !source.open(psoSrc)) {
        EngSetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const BLENDFUNCTION& blend = pBlendObj->BlendFunction;
    if (blend.BlendOp != AC_SRC_OVER) {
        EngSetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const RECTL to = *prclDest;
    const RECTL from = normalizeRect(*prclSrc);
    // Alpha blending neither mirrors nor reads outside the source.
    if (to.left > to.right || to.top > to.bottom || emptyRect(from) || from.left < 0 || from.top < 0 ||
        from.right > source.width || from.bottom > source.height) {
        EngSetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (emptyRect(to) || blend.SourceConstantAlpha == 0) return TRUE;
    if (deferCall(psoDest, [=] { return EngAlphaBlend(psoDest, psoSrc, pco, pxlo, prclDest, prclSrc, pBlendObj); }))
        return TRUE;
    PixelRegion region;
    clipRegion(pco, to, target, &region);
    if (region.empty()) return TRUE;
    const bool perPixel = (blend.AlphaFormat & AC_SRC_ALPHA) && source.bpp == 32;
    SourceImage image;
    if (!image.make(source, pxlo, from, perPixel, nullptr)) {
        EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    setStretch(image.image, to, image.width, image.height, false);
    pixman_color_t alpha{0, 0, 0, static_cast<uint16_t>(blend.SourceConstantAlpha * 0x101)};
    pixman_image_t* constant = pixman_image_create_solid_fill(&alpha);
    const bool done = compositeInto(target, region, PIXMAN_OP_OVER, image.image, constant);
    pixman_image_unref(constant);
    return done ? TRUE : FALSE;
}

WIN32KAPI WINBOOL APIENTRY EngTransparentBlt(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                                             RECTL* prclDst, RECTL* prclSrc, ULONG iTransColor,
                                             ULONG ulReserved) {
    // A source whose drawing is kept shows it before it is read.
    renderDeferred(psoSrc);
    PixelView target, source;
    if (!prclDst || !prclSrc || !openTarget(psoDst, &target)) return FALSE;
    if (!psoSrc || !source.open(psoSrc)) {
        EngSetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const RECTL to = normalizeRect(*prclDst);
    const RECTL from = intersectRect(normalizeRect(*prclSrc), source.bounds());
    if (emptyRect(to) || emptyRect(from)) return TRUE;
    if (deferCall(psoDst, [=] {
            return EngTransparentBlt(psoDst, psoSrc, pco, pxlo, prclDst, prclSrc, iTransColor, ulReserved);
        }))
        return TRUE;
    PixelRegion region;
    clipRegion(pco, to, target, &region);
    if (region.empty()) return TRUE;
    SourceImage image;
    // The key is compared with the source's own pixel values.
    if (!image.make(source, pxlo, from, false, &iTransColor)) {
        EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    setStretch(image.image, to, image.width, image.height, false);
    return compositeInto(target, region, PIXMAN_OP_OVER, image.image, nullptr) ? TRUE : FALSE;
}

WIN32KAPI WINBOOL APIENTRY EngGradientFill(SURFOBJ* psoDest, CLIPOBJ* pco, XLATEOBJ* pxlo, TRIVERTEX* pVertex,
                                           ULONG nVertex, PVOID pMesh, ULONG nMesh, RECTL* prclExtents,
                                           POINTL* pptlDitherOrg, ULONG ulMode) {
    PixelView target;
    if (!pVertex || !pMesh || !openTarget(psoDest, &target)) return FALSE;
    const ULONG mode = ulMode & GRADIENT_FILL_OP_FLAG;
    if (mode != GRADIENT_FILL_RECT_H && mode != GRADIENT_FILL_RECT_V && mode != GRADIENT_FILL_TRIANGLE) {
        EngSetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (deferCall(psoDest, [=] {
            return EngGradientFill(psoDest, pco, pxlo, pVertex, nVertex, pMesh, nMesh, prclExtents, pptlDitherOrg,
                                   ulMode);
        }))
        return TRUE;
    PixelRegion clip;
    clipRegion(pco, prclExtents ? *prclExtents : target.bounds(), target, &clip);
    if (clip.empty()) return TRUE;
    auto pack = [&](double r, double g, double b) {
        // 16-bit channels to 8 bits, rounded; NaN and overflow clamp.
        auto c8 = [](double v) {
            const double q = v / 256.0 + 0.5;
            return q >= 1 ? (q < 255 ? static_cast<uint32_t>(q) : 255u) : 0u;
        };
        const uint32_t rgb = (c8(r) << 16) | (c8(g) << 8) | c8(b);
        if (target.bpp == 16) return ((rgb >> 9) & 0x7C00) | ((rgb >> 6) & 0x03E0) | ((rgb >> 3) & 0x001F);
        return rgb;
    };
    std::vector<uint32_t> row;
    if (mode == GRADIENT_FILL_TRIANGLE) {
        const auto* triangles = static_cast<const GRADIENT_TRIANGLE*>(pMesh);
        for (ULONG t = 0; t < nMesh; ++t) {
            const GRADIENT_TRIANGLE& tri = triangles[t];
            if (tri.Vertex1 >= nVertex || tri.Vertex2 >= nVertex || tri.Vertex3 >= nVertex) continue;
            const TRIVERTEX& a = pVertex[tri.Vertex1];
            const TRIVERTEX& b = pVertex[tri.Vertex2];
            const TRIVERTEX& c = pVertex[tri.Vertex3];
            // Vertex coordinates as reals: their differences may not fit a LONG.
            const double ax = a.x, ay = a.y, bx = b.x, by = b.y, cx = c.x, cy = c.y;
            const double det = (by - cy) * (ax - cx) + (cx - bx) * (ay - cy);
            if (det == 0) continue;
            // Vertex coordinates as FIX, kept where 28.4 can hold them.
            auto toFix = [](LONG v) { return std::clamp<LONG>(v, -0x7FFFFFF, 0x7FFFFFF) * 16; };
            PathObject outline;
            const POINTFIX rest[2] = {{toFix(b.x), toFix(b.y)}, {toFix(c.x), toFix(c.y)}};
            outline.moveTo(POINTFIX{toFix(a.x), toFix(a.y)});
            outline.lineTo(rest, 2);
            outline.closeFigure();
            PixelRegion area;
            if (!fillPathRegion(outline, false, clip.extents(), &area)) return FALSE;
            area.intersect(&clip.r);
            // The weights are linear in x: start each run and step along it.
            const double dwa = (by - cy) / det, dwb = (cy - ay) / det;
            int count = 0;
            const pixman_box32_t* boxes = pixman_region32_rectangles(&area.r, &count);
            for (int i = 0; i < count; ++i) {
                const LONG n = boxes[i].x2 - boxes[i].x1;
                row.resize(static_cast<size_t>(n));
                for (LONG y = boxes[i].y1; y < boxes[i].y2; ++y) {
                    const LONG x = boxes[i].x1;
                    double wa = ((by - cy) * (x - cx) + (cx - bx) * (y - cy)) / det;
                    double wb = ((cy - ay) * (x - cx) + (ax - cx) * (y - cy)) / det;
                    for (LONG k = 0; k < n; ++k, wa += dwa, wb += dwb) {
                        const double wc = 1 - wa - wb;
                        row[k] = pack(wa * a.Red + wb * b.Red + wc * c.Red, wa * a.Green + wb * b.Green + wc * c.Green,
                                      wa * a.Blue + wb * b.Blue + wc * c.Blue);
                    }
                    target.writeRow(x, y, n, row.data());
                }
            }
        }
    } else {
        const bool horizontal = mode == GRADIENT_FILL_RECT_H;
        const auto* rects = static_cast<const GRADIENT_RECT*>(pMesh);
        for (ULONG r = 0; r < nMesh; ++r) {
            if (rects[r].UpperLeft >= nVertex || rects[r].LowerRight >= nVertex) continue;
            const TRIVERTEX& v0 = pVertex[rects[r].UpperLeft];
            const TRIVERTEX& v1 = pVertex[rects[r].LowerRight];
            const RECTL box = normalizeRect(RECTL{v0.x, v0.y, v1.x, v1.y});
            if (emptyRect(box)) continue;
            // The colours run from the first vertex's edge to the second's.
            const TRIVERTEX& first = (horizontal ? v0.x <= v1.x : v0.y <= v1.y) ? v0 : v1;
            const TRIVERTEX& second = &first == &v0 ? v1 : v0;
            PixelRegion area(box);
            area.intersect(&clip.r);
            if (area.empty()) continue;
            // One colour per column (or row) of the visible part, computed once.
            const RECTL seen = area.extents();
            const double span = horizontal ? static_cast<double>(box.right) - box.left
                                           : static_cast<double>(box.bottom) - box.top;
            const LONG from = horizontal ? seen.left : seen.top, to = horizontal ? seen.right : seen.bottom;
            const LONG start = horizontal ? box.left : box.top;
            std::vector<uint32_t> colors(static_cast<size_t>(to - from));
            for (LONG i = from; i < to; ++i) {
                const double t = (static_cast<double>(i) - start) / span;
                colors[i - from] = pack(first.Red + (second.Red - first.Red) * t,
                                        first.Green + (second.Green - first.Green) * t,
                                        first.Blue + (second.Blue - first.Blue) * t);
            }
            int count = 0;
            const pixman_box32_t* boxes = pixman_region32_rectangles(&area.r, &count);
            for (int i = 0; i < count; ++i) {
                const LONG n = boxes[i].x2 - boxes[i].x1;
                for (LONG y = boxes[i].y1; y < boxes[i].y2; ++y) {
                    if (horizontal) {
                        target.writeRow(boxes[i].x1, y, n, colors.data() + (boxes[i].x1 - from));
                    } else {
                        target.fillSpan(boxes[i].x1, y, n, colors[y - from]);
                    }
                }
            }
        }
    }
    return TRUE;
}

}  // extern "C"
