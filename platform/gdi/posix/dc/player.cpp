// Playing one drawing operation into the driver: the hooked Drv... call
// with its objects, and what GDI does when the hook declines.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "context_internal.h"

namespace tessaly::gdi {

int rop3FromMix(int mix) {
    // R2_BLACK (1) .. R2_WHITE (16) as the ternary code of the pen alone.
    static constexpr int table[16] = {0x00, 0x05, 0x0A, 0x0F, 0x50, 0x55, 0x5A, 0x5F,
                                      0xA0, 0xA5, 0xAA, 0xAF, 0xF0, 0xF5, 0xFA, 0xFF};
    return mix >= 1 && mix <= 16 ? table[mix - 1] : 0xF0;
}

DeviceRect pixelBounds(const RectD& r) {
    auto clampD = [](double v) { return std::clamp(v, -1073741824.0, 1073741824.0); };
    const double l = clampD(std::floor(r.left)), t = clampD(std::floor(r.top));
    const double rr = clampD(std::ceil(r.right)), b = clampD(std::ceil(r.bottom));
    if (!(l <= rr) || !(t <= b)) return {};
    return {static_cast<int32_t>(l), static_cast<int32_t>(t), static_cast<int32_t>(rr), static_cast<int32_t>(b)};
}

DeviceRect intersect(const DeviceRect& a, const DeviceRect& b) {
    DeviceRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                 std::min(a.bottom, b.bottom)};
    if (emptyRect(r)) return {};
    return r;
}

bool emptyRect(const DeviceRect& r) { return r.right <= r.left || r.bottom <= r.top; }

namespace {

DeviceRect moved(DeviceRect r, POINTL o) { return {r.left - o.x, r.top - o.y, r.right - o.x, r.bottom - o.y}; }

RECTL toRectl(const DeviceRect& r) { return {r.left, r.top, r.right, r.bottom}; }

MIX mixOf(int rop2) {
    const ULONG m = rop2 >= 1 && rop2 <= 16 ? static_cast<ULONG>(rop2) : R2_COPYPEN;
    return m | (m << 8);
}

void fail(std::string* error, const char* what) {
    if (error && error->empty()) *error = what;
}

std::vector<std::vector<PointD>> polygonsOf(const DevicePath& flat) {
    std::vector<std::vector<PointD>> out;
    for (const Polyline& l : polylines(flat)) out.push_back(l.points);
    return out;
}

// The style array of a pen in the units LINEATTRS carries: style units
// (integers) for a cosmetic pen, world units (reals) for a geometric one.
std::vector<double> penPattern(const Pen& pen) {
    const double w = pen.geometric ? std::max(pen.width, 1e-6) : 1;
    switch (pen.style) {
        case PenStyle::Dash:
            return pen.geometric ? std::vector<double>{3 * w, w} : std::vector<double>{6, 2};
        case PenStyle::Dot:
            return {w, w};
        case PenStyle::DashDot:
            return pen.geometric ? std::vector<double>{3 * w, w, w, w} : std::vector<double>{3, 2, 1, 2};
        case PenStyle::DashDotDot:
            return pen.geometric ? std::vector<double>{3 * w, w, w, w, w, w}
                                 : std::vector<double>{3, 1, 1, 1, 1, 1};
        case PenStyle::User:
            return pen.dashes;
        default:
            return {};
    }
}

double scaleOf(const Transform& t) { return std::sqrt(std::fabs(t.m11 * t.m22 - t.m12 * t.m21)); }

struct LineAttrs {
    LINEATTRS attrs{};
    std::vector<FLOAT_LONG> style;

    LineAttrs(const Pen& pen) {
        attrs.fl = pen.geometric ? LA_GEOMETRIC : 0;
        attrs.iJoin = pen.join == LineJoin::Round ? JOIN_ROUND : pen.join == LineJoin::Bevel ? JOIN_BEVEL : JOIN_MITER;
        attrs.iEndCap = pen.cap == LineCap::Round ? ENDCAP_ROUND : pen.cap == LineCap::Square ? ENDCAP_SQUARE
                                                                                            : ENDCAP_BUTT;
        if (pen.geometric)
            attrs.elWidth.e = static_cast<FLOATL>(pen.width);
        else
            attrs.elWidth.l = 1;
        attrs.eMiterLimit = static_cast<FLOATL>(pen.miterLimit);
        if (pen.style == PenStyle::Alternate && !pen.geometric) {
            attrs.fl |= LA_ALTERNATE;
            return;
        }
        for (double d : penPattern(pen)) {
            FLOAT_LONG v{};
            if (pen.geometric)
                v.e = static_cast<FLOATL>(d);
            else
                v.l = static_cast<LONG>(std::lround(std::clamp(d, 0.0, 1e6)));
            style.push_back(v);
        }
        if (!style.empty()) {
            attrs.fl |= LA_STYLED;
            attrs.cstyle = static_cast<ULONG>(style.size());
            attrs.pstyle = style.data();
        }
    }
};

}  // namespace

struct Player::Band {
    POINTL origin{};
    Region clip;  // band-relative
    DeviceRect limit;  // the band, band-relative
    std::unique_ptr<DevicePath> clipPath;
    bool clipWinding = false;
    DeviceRect bounds;  // the operation's bounds, band-relative

    void setClip(ClipObject& target) const { tessaly::gdi::setClip(target, clip, bounds, clipPath.get()); }

    [[nodiscard]] DevicePath local(const DevicePath& page) const {
        DevicePath p = page;
        p.translate(-origin.x, -origin.y);
        return p;
    }
};

bool Player::play(const DrawOp& op, POINTL origin, std::string* error) {
    Band band;
    band.origin = origin;
    band.limit = {0, 0, device_.width(), device_.bandRows()};
    const DeviceRect bandPage{origin.x, origin.y, origin.x + device_.width(), origin.y + device_.bandRows()};
    if (emptyRect(intersect(op.bounds, bandPage))) return true;
    band.clip = op.clip;
    band.clip.intersect(Region(bandPage));
    if (band.clip.empty()) return true;
    band.clip.translate(-origin.x, -origin.y);
    band.bounds = moved(op.bounds, origin);
    if (op.clipPath) {
        band.clipPath = std::make_unique<DevicePath>(band.local(op.clipPath->path));
        band.clipWinding = op.clipPath->winding;
    }
    switch (op.kind) {
        case DrawOp::Kind::Fill: {
            BrushObject brush;
            setBrush(brush, op.brush, op.pattern.get(), op.background, op.transparentBackground);
            return fill(op, band, band.local(op.path), op.winding, brush, error);
        }
        case DrawOp::Kind::Stroke:
            return stroke(op, band, band.local(op.path), error);
        case DrawOp::Kind::StrokeFill:
            return strokeAndFill(op, band, error);
        case DrawOp::Kind::Blit:
            return blit(op, band, error);
        case DrawOp::Kind::AlphaBlend:
        case DrawOp::Kind::TransparentBlt:
            return blend(op, band, error);
        case DrawOp::Kind::Gradient:
            return gradient(op, band, error);
        case DrawOp::Kind::Text:
            return text(op, band, error);
    }
    return false;
}

bool Player::record(const DrawOp& op, std::vector<bool>* answers, std::string* error) {
    const Mode mode = mode_;
    std::vector<bool>* recorded = recorded_;
    mode_ = Mode::Record;
    recorded_ = answers;
    const bool ok = play(op, POINTL{0, 0}, error);
    mode_ = mode;
    recorded_ = recorded;
    return ok;
}

bool Player::replay(const DrawOp& op, const std::vector<bool>& answers, std::string* error) {
    // A replay may come in the middle of recording another operation (the
    // driver reads its surface): the recording goes on afterwards.
    const Mode mode = mode_;
    const std::vector<bool>* replayed = replayed_;
    const size_t next = next_;
    mode_ = Mode::Replay;
    replayed_ = &answers;
    next_ = 0;
    const bool ok = play(op, POINTL{0, 0}, error);
    mode_ = mode;
    replayed_ = replayed;
    next_ = next;
    return ok;
}

bool Player::fill(const DrawOp& op, const Band& band, const DevicePath& path, bool winding, BrushObject& brush,
                  std::string* error) {
    ClipObject clip;
    band.setClip(clip);
    POINTL org{-band.origin.x, -band.origin.y};
    const FLONG options = winding ? FP_WINDINGMODE : FP_ALTERNATEMODE;
    const auto hook = driver<PFN_DrvFillPath>(INDEX_DrvFillPath);
    if (!hooked(HOOK_FILLPATH) || !hook) {
        const auto po = makePath(path);
        if (EngFillPath(device_.surface, po.get(), &clip, &brush, &org, mixOf(op.mix), options))
            return true;
        fail(error, "the engine could not fill a path");
        return false;
    }
    const auto po = makePath(path);
    if (ask(hook, EngFillPath, device_.surface, po.get(), &clip, &brush, &org, mixOf(op.mix), options)) return true;
    const DevicePath flat = path.flattened();
    if (path.hasCurves()) {
        const auto lines = makePath(flat);
        if (ask(hook, EngFillPath, device_.surface, lines.get(), &clip, &brush, &org, mixOf(op.mix), options))
            return true;
    }
    // Still declined: paint the pixels the path covers.
    Region covered = Region::fromPolygons(polygonsOf(flat), winding, band.limit);
    covered.intersect(band.clip);
    return paintRegion(op, band, covered, brush, error);
}

bool Player::paintRegion(const DrawOp& op, const Band& band, const Region& region, BrushObject& brush,
                         std::string* error) {
    if (region.empty()) return true;
    // A region is never handed over as trivial: the clip is the shape.
    ClipObject clip;
    setShapeClip(clip, region);
    POINTL org{-band.origin.x, -band.origin.y};
    const MIX mix = mixOf(op.mix);
    // As GDI has done since Windows 2000, the region goes to the driver as a
    // pattern blit, never to DrvPaint: a driver that only renders its paint
    // hook would otherwise lose the shape from whatever it records.
    RECTL target = toRectl(region.bounds());
    const ULONG rop3 = static_cast<ULONG>(rop3FromMix(op.mix));
    const ROP4 rop4 = rop3 | (rop3 << 8);
    if (hooked(HOOK_BITBLT)) {
        if (const auto bitblt = driver<PFN_DrvBitBlt>(INDEX_DrvBitBlt)) {
            if (ask(bitblt, EngBitBlt, device_.surface, nullptr, nullptr, &clip, nullptr, &target, nullptr, nullptr,
                    &brush, &org, rop4))
                return true;
        }
        if (EngBitBlt(device_.surface, nullptr, nullptr, &clip, nullptr, &target, nullptr, nullptr, &brush,
                      &org, rop4))
            return true;
        fail(error, "the engine could not paint a region");
        return false;
    }
    if (EngPaint(device_.surface, &clip, &brush, &org, mix)) return true;
    fail(error, "the engine could not paint a region");
    return false;
}

bool Player::stroke(const DrawOp& op, const Band& band, const DevicePath& path, std::string* error) {
    ClipObject clip;
    band.setClip(clip);
    BrushObject brush;
    setSolid(brush, op.pen.color);
    XformObject xform(toXforml(op.world));
    LineAttrs la(op.pen);
    POINTL org{-band.origin.x, -band.origin.y};
    const auto hook = driver<PFN_DrvStrokePath>(INDEX_DrvStrokePath);
    if (!hooked(HOOK_STROKEPATH) || !hook) {
        const auto po = makePath(path);
        if (EngStrokePath(device_.surface, po.get(), &clip, &xform, &brush, &org, &la.attrs,
                          mixOf(op.mix)))
            return true;
        fail(error, "the engine could not stroke a path");
        return false;
    }
    {
        const auto po = makePath(path);
        if (ask(hook, EngStrokePath, device_.surface, po.get(), &clip, &xform, &brush, &org, &la.attrs, mixOf(op.mix)))
            return true;
    }
    if (path.hasCurves()) {
        const auto po = makePath(path.flattened());
        if (ask(hook, EngStrokePath, device_.surface, po.get(), &clip, &xform, &brush, &org, &la.attrs, mixOf(op.mix)))
            return true;
    }
    return strokeAsFill(op, band, path, error);
}

DevicePath strokeOutline(const DevicePath& path, const Pen& pen, const Transform& world, const GDIINFO& gi) {
    const DevicePath flat = path.flattened();
    std::vector<Polyline> lines = polylines(flat);
    const double scale = pen.geometric ? scaleOf(world) : 1;
    std::vector<double> pattern = penPattern(pen);
    if (pen.style == PenStyle::Alternate && !pen.geometric) pattern = {1, 1};
    if (!pattern.empty()) {
        // Cosmetic style units are the device's style step in pixels.
        const double unit = pen.geometric ? scale
                            : pen.style == PenStyle::Alternate
                                ? 1
                                : (gi.xStyleStep > 0 && gi.denStyleStep > 0
                                       ? static_cast<double>(gi.denStyleStep) / gi.xStyleStep
                                       : 1);
        for (double& d : pattern) d *= unit;
        lines = dash(lines, pattern);
    }
    StrokeShape shape;
    shape.width = pen.geometric ? pen.width * scale : 1;
    shape.cap = pen.geometric ? pen.cap : LineCap::Flat;
    shape.join = pen.geometric ? pen.join : LineJoin::Miter;
    shape.miterLimit = pen.miterLimit;
    DevicePath outline;
    for (auto& poly : widen(lines, shape)) {
        Figure f;
        f.start = poly[0];
        for (size_t i = 1; i < poly.size(); ++i) {
            Segment s;
            s.end = poly[i];
            f.segments.push_back(s);
        }
        f.closed = true;
        outline.figures.push_back(std::move(f));
    }
    return outline;
}

// A declined stroke becomes the fill of its widened outline.
bool Player::strokeAsFill(const DrawOp& op, const Band& band, const DevicePath& path, std::string* error) {
    const DevicePath outline = strokeOutline(path, op.pen, op.world, device_.gdiInfo());
    if (outline.figures.empty()) return true;
    BrushObject brush;
    setSolid(brush, op.pen.color);
    return fill(op, band, outline, true, brush, error);
}

bool Player::strokeAndFill(const DrawOp& op, const Band& band, std::string* error) {
    const DevicePath path = band.local(op.path);
    ClipObject clip;
    band.setClip(clip);
    BrushObject stroke;
    setSolid(stroke, op.pen.color);
    BrushObject fillBrush;
    setBrush(fillBrush, op.brush, op.pattern.get(), op.background, op.transparentBackground);
    XformObject xform(toXforml(op.world));
    LineAttrs la(op.pen);
    POINTL org{-band.origin.x, -band.origin.y};
    const FLONG options = op.winding ? FP_WINDINGMODE : FP_ALTERNATEMODE;
    const auto hook = driver<PFN_DrvStrokeAndFillPath>(INDEX_DrvStrokeAndFillPath);
    if (!hooked(HOOK_STROKEANDFILLPATH) || !hook) {
        const auto po = makePath(path);
        if (EngStrokeAndFillPath(device_.surface, po.get(), &clip, &xform, &stroke, &la.attrs,
                                 &fillBrush, &org, mixOf(op.mix), options))
            return true;
        fail(error, "the engine could not fill and stroke a path");
        return false;
    }
    {
        const auto po = makePath(path);
        if (ask(hook, EngStrokeAndFillPath, device_.surface, po.get(), &clip, &xform, &stroke, &la.attrs, &fillBrush,
                &org, mixOf(op.mix), options))
            return true;
    }
    if (path.hasCurves()) {
        const auto po = makePath(path.flattened());
        if (ask(hook, EngStrokeAndFillPath, device_.surface, po.get(), &clip, &xform, &stroke, &la.attrs, &fillBrush,
                &org, mixOf(op.mix), options))
            return true;
    }
    // Still declined: the fill and the stroke as separate calls, with the
    // curves already flattened (the driver has turned them down once).
    const DevicePath lines = path.hasCurves() ? path.flattened() : path;
    const bool filled = fill(op, band, lines, op.winding, fillBrush, error);
    const bool stroked = this->stroke(op, band, lines, error);
    return filled && stroked;
}

namespace {

bool axisAligned(const DrawOp& op) {
    return std::fabs(op.corner[0].y - op.corner[1].y) < 1e-6 && std::fabs(op.corner[0].x - op.corner[2].x) < 1e-6;
}

LONG roundL(double v) { return static_cast<LONG>(std::clamp(std::lround(v), -1073741824L, 1073741824L)); }

// The destination rectangle of an axis-aligned blit, in band coordinates;
// mirrored when the transform mirrors.
RECTL destRect(const DrawOp& op, POINTL origin) {
    return {roundL(op.corner[0].x) - origin.x, roundL(op.corner[0].y) - origin.y, roundL(op.corner[1].x) - origin.x,
            roundL(op.corner[2].y) - origin.y};
}

RECTL normalized(RECTL r) {
    if (r.left > r.right) std::swap(r.left, r.right);
    if (r.top > r.bottom) std::swap(r.top, r.bottom);
    return r;
}

// Nearest-neighbour resampling of the source rectangle stretched to w x h
// pixels (mirrored when asked), for raster operations that only come
// unstretched. Only the window `part` of that stretch is made (its corner
// (0, 0) is the stretch's top left), so a huge target costs what is seen.
std::shared_ptr<Pixels> resample(const Pixels& src, const DeviceRect& sr, int64_t w, int64_t h, bool mirrorX,
                                 bool mirrorY, const DeviceRect& part) {
    auto out = std::make_shared<Pixels>();
    const int pw = part.right - part.left, ph = part.bottom - part.top;
    out->width = pw;
    out->height = ph;
    out->bitsPerPixel = src.bitsPerPixel;
    out->stride = static_cast<int>((out->rowBytes() + 3) & ~size_t{3});
    out->palette = src.palette;
    out->rows.assign(static_cast<size_t>(out->stride) * static_cast<size_t>(ph), 0);
    const int64_t sw = sr.right - sr.left, sh = sr.bottom - sr.top;
    const int bpp = src.bitsPerPixel / 8;  // 0 for formats of several pixels a byte
    for (int y = 0; y < ph; ++y) {
        int sy = sr.top + static_cast<int>(((part.top + y) * sh) / h);
        if (mirrorY) sy = sr.top + sr.bottom - 1 - sy;
        sy = std::clamp(sy, 0, src.height - 1);
        for (int x = 0; x < pw; ++x) {
            int sx = sr.left + static_cast<int>(((part.left + x) * sw) / w);
            if (mirrorX) sx = sr.left + sr.right - 1 - sx;
            sx = std::clamp(sx, 0, src.width - 1);
            if (bpp == 0) {
                out->setValue(x, y, src.value(sx, sy));
                continue;
            }
            std::memcpy(&out->rows[static_cast<size_t>(y) * out->stride + static_cast<size_t>(x) * bpp],
                        &src.rows[static_cast<size_t>(sy) * src.stride + static_cast<size_t>(sx) * bpp],
                        static_cast<size_t>(bpp));
        }
    }
    return out;
}

std::shared_ptr<Pixels> resample(const Pixels& src, const DeviceRect& sr, int w, int h, bool mirrorX, bool mirrorY) {
    return resample(src, sr, w, h, mirrorX, mirrorY, DeviceRect{0, 0, w, h});
}

}  // namespace

bool Player::blit(const DrawOp& op, const Band& band, std::string* error) {
    POINTL org{-band.origin.x, -band.origin.y};
    BrushObject brush;
    setBrush(brush, op.brush, op.pattern.get(), op.background, op.transparentBackground);
    const ULONG rop3 = op.rop3 & 0xFF;
    const ROP4 rop4 = rop3 | (rop3 << 8);
    // As GDI does, a raster operation that does not read the pattern goes
    // without a brush: a driver would otherwise take the selected brush's
    // colour for the black of a monochrome mask drawn with SRCAND.
    BRUSHOBJ* pbo = ((rop3 >> 4) & 0x0F) != (rop3 & 0x0F) ? &brush : nullptr;
    const auto bitblt = hooked(HOOK_BITBLT) ? driver<PFN_DrvBitBlt>(INDEX_DrvBitBlt) : nullptr;
    auto runBitBlt = [&](SURFOBJ* src, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* target, POINTL* srcPoint) {
        if (bitblt && ask(bitblt, EngBitBlt, device_.surface, src, nullptr, clip, xlate, target, srcPoint, nullptr, pbo,
                          &org, rop4))
            return true;
        if (EngBitBlt(device_.surface, src, nullptr, clip, xlate, target, srcPoint, nullptr, pbo, &org, rop4))
            return true;
        fail(error, "the engine could not draw a bitmap");
        return false;
    };
    if (!axisAligned(op)) {
        if (!op.source) {
            // A turned rectangle: the blit covers its pixels as a complex clip.
            std::vector<std::vector<PointD>> poly{
                {op.corner[0], op.corner[1],
                 {op.corner[1].x + op.corner[2].x - op.corner[0].x, op.corner[1].y + op.corner[2].y - op.corner[0].y},
                 op.corner[2]}};
            for (PointD& p : poly[0]) p = {p.x - band.origin.x, p.y - band.origin.y};
            Region covered = Region::fromPolygons(poly, false, band.limit);
            covered.intersect(band.clip);
            if (covered.empty()) return true;
            ClipObject clip;
            setShapeClip(clip, covered);
            RECTL target = toRectl(covered.bounds());
            return runBitBlt(nullptr, &clip, nullptr, &target, nullptr);
        }
        SourceSurface src(*op.source);
        if (!src.get()) {
            fail(error, "no memory for a copy of the bitmap");
            return false;
        }
        XlateObject xlate;
        setSource(xlate, *op.source);
        ClipObject clip;
        band.setClip(clip);
        POINTFIX pts[3];
        for (int i = 0; i < 3; ++i)
            pts[i] = {toFix(op.corner[i].x - band.origin.x), toFix(op.corner[i].y - band.origin.y)};
        RECTL srcRect = toRectl(op.sourceRect);
        if (hooked(HOOK_PLGBLT))
            if (const auto plg = driver<PFN_DrvPlgBlt>(INDEX_DrvPlgBlt))
                if (ask(plg, EngPlgBlt, device_.surface, src.get(), nullptr, &clip, &xlate, nullptr, &org, pts,
                        &srcRect, nullptr, COLORONCOLOR))
                    return true;
        if (EngPlgBlt(device_.surface, src.get(), nullptr, &clip, &xlate, nullptr, &org, pts, &srcRect,
                      nullptr, COLORONCOLOR))
            return true;
        fail(error, "the engine could not draw a turned bitmap");
        return false;
    }
    ClipObject clip;
    band.setClip(clip);
    RECTL dest = destRect(op, band.origin);
    if (!op.source) {
        RECTL target = normalized(dest);
        if (target.left == target.right || target.top == target.bottom) return true;
        return runBitBlt(nullptr, &clip, nullptr, &target, nullptr);
    }
    const Pixels& px = *op.source;
    const int sw = op.sourceRect.right - op.sourceRect.left, sh = op.sourceRect.bottom - op.sourceRect.top;
    const RECTL target = normalized(dest);
    const int64_t dw = int64_t(target.right) - target.left, dh = int64_t(target.bottom) - target.top;
    if (dw == 0 || dh == 0 || sw <= 0 || sh <= 0) return true;
    const bool mirrorX = dest.left > dest.right, mirrorY = dest.top > dest.bottom;
    XlateObject xlate;
    setSource(xlate, px);
    if (dw == sw && dh == sh && !mirrorX && !mirrorY) {
        SourceSurface src(px);
        if (!src.get()) {
            fail(error, "no memory for a copy of the bitmap");
            return false;
        }
        RECTL t = target;
        POINTL sp{op.sourceRect.left, op.sourceRect.top};
        if (rop3 == 0xCC && hooked(HOOK_COPYBITS)) {
            // A plain copy goes to the copy hook, as GDI sends SRCCOPY.
            if (const auto copy = driver<PFN_DrvCopyBits>(INDEX_DrvCopyBits))
                if (ask(copy, EngCopyBits, device_.surface, src.get(), &clip, &xlate, &t, &sp)) return true;
            if (EngCopyBits(device_.surface, src.get(), &clip, &xlate, &t, &sp)) return true;
            fail(error, "the engine could not copy a bitmap");
            return false;
        }
        return runBitBlt(src.get(), &clip, &xlate, &t, &sp);
    }
    if (rop3 == 0xCC) {
        SourceSurface src(px);
        if (!src.get()) {
            fail(error, "no memory for a copy of the bitmap");
            return false;
        }
        RECTL srcRect = toRectl(op.sourceRect);
        if (hooked(HOOK_STRETCHBLT))
            if (const auto stretch = driver<PFN_DrvStretchBlt>(INDEX_DrvStretchBlt))
                if (ask(stretch, EngStretchBlt, device_.surface, src.get(), nullptr, &clip, &xlate, nullptr, &org,
                        &dest, &srcRect, nullptr, COLORONCOLOR))
                    return true;
        if (EngStretchBlt(device_.surface, src.get(), nullptr, &clip, &xlate, nullptr, &org, &dest, &srcRect,
                          nullptr, COLORONCOLOR))
            return true;
        fail(error, "the engine could not stretch a bitmap");
        return false;
    }
    // A raster operation other than a copy: stretch first, then blit. Only
    // what the band and the clip let through is stretched.
    DeviceRect visible = intersect({target.left, target.top, target.right, target.bottom}, band.limit);
    visible = intersect(visible, band.clip.bounds());
    if (emptyRect(visible)) return true;
    const DeviceRect part{visible.left - target.left, visible.top - target.top, visible.right - target.left,
                          visible.bottom - target.top};
    const auto stretched = resample(px, op.sourceRect, dw, dh, mirrorX, mirrorY, part);
    SourceSurface src(*stretched);
    if (!src.get()) {
        fail(error, "no memory for a copy of the bitmap");
        return false;
    }
    RECTL t = toRectl(visible);
    POINTL sp{0, 0};
    return runBitBlt(src.get(), &clip, &xlate, &t, &sp);
}

bool Player::blend(const DrawOp& op, const Band& band, std::string* error) {
    // Blends do not mirror: a mirrored destination gets a mirrored copy of
    // the source instead.
    const RECTL placed = destRect(op, band.origin);
    const bool mirrorX = placed.left > placed.right, mirrorY = placed.top > placed.bottom;
    std::shared_ptr<const Pixels> source = op.source;
    DeviceRect sourceRect = op.sourceRect;
    if ((mirrorX || mirrorY) && axisAligned(op)) {
        const int w = sourceRect.right - sourceRect.left, h = sourceRect.bottom - sourceRect.top;
        source = resample(*op.source, sourceRect, w, h, mirrorX, mirrorY);
        sourceRect = {0, 0, w, h};
    }
    const Pixels& px = *source;
    SourceSurface src(px);
    if (!src.get()) {
        fail(error, "no memory for a copy of the bitmap");
        return false;
    }
    XlateObject xlate;
    setSource(xlate, px);
    ClipObject clip;
    band.setClip(clip);
    RECTL dest = normalized(placed);
    if (!axisAligned(op)) dest = toRectl(band.bounds);
    if (dest.left == dest.right || dest.top == dest.bottom) return true;
    RECTL srcRect = toRectl(sourceRect);
    if (op.kind == DrawOp::Kind::AlphaBlend) {
        BLENDOBJ blend{};
        blend.BlendFunction = {AC_SRC_OVER, 0, op.constantAlpha,
                               static_cast<BYTE>(op.perPixelAlpha ? AC_SRC_ALPHA : 0)};
        if (hooked(HOOK_ALPHABLEND))
            if (const auto hook = driver<PFN_DrvAlphaBlend>(INDEX_DrvAlphaBlend))
                if (ask(hook, EngAlphaBlend, device_.surface, src.get(), &clip, &xlate, &dest, &srcRect, &blend))
                    return true;
        if (EngAlphaBlend(device_.surface, src.get(), &clip, &xlate, &dest, &srcRect, &blend)) return true;
        fail(error, "the engine could not blend a bitmap");
        return false;
    }
    if (hooked(HOOK_TRANSPARENTBLT))
        if (const auto hook = driver<PFN_DrvTransparentBlt>(INDEX_DrvTransparentBlt))
            if (ask(hook, EngTransparentBlt, device_.surface, src.get(), &clip, &xlate, &dest, &srcRect, op.key, 0))
                return true;
    if (EngTransparentBlt(device_.surface, src.get(), &clip, &xlate, &dest, &srcRect, op.key, 0)) return true;
    fail(error, "the engine could not draw a bitmap with a transparent colour");
    return false;
}

bool Player::gradient(const DrawOp& op, const Band& band, std::string* error) {
    std::vector<TRIVERTEX> vertices = op.vertices;
    for (TRIVERTEX& v : vertices) {
        v.x -= band.origin.x;
        v.y -= band.origin.y;
    }
    std::vector<ULONG> mesh = op.mesh;
    const ULONG meshCount = static_cast<ULONG>(op.gradientMode == GRADIENT_FILL_TRIANGLE ? mesh.size() / 3
                                                                                         : mesh.size() / 2);
    ClipObject clip;
    band.setClip(clip);
    XlateObject xlate;
    RECTL extents = toRectl(band.bounds);
    POINTL dither{0, 0};
    if (hooked(HOOK_GRADIENTFILL))
        if (const auto hook = driver<PFN_DrvGradientFill>(INDEX_DrvGradientFill))
            if (ask(hook, EngGradientFill, device_.surface, &clip, &xlate, vertices.data(),
                    static_cast<ULONG>(vertices.size()), mesh.data(), meshCount, &extents, &dither, op.gradientMode))
                return true;
    if (EngGradientFill(device_.surface, &clip, &xlate, vertices.data(), static_cast<ULONG>(vertices.size()),
                        mesh.data(), meshCount, &extents, &dither, op.gradientMode))
        return true;
    fail(error, "the engine could not fill a gradient");
    return false;
}

bool Player::text(const DrawOp& op, const Band& band, std::string* error) {
    if (!op.font) return true;
    StringObject str;
    if (!str.layout(*op.font, reinterpret_cast<const WCHAR*>(op.text.data()), static_cast<ULONG>(op.text.size()),
                    op.origin.x - band.origin.x, op.origin.y - band.origin.y,
                    op.advances.empty() ? nullptr : op.advances.data(), op.glyphIndices,
                    op.across.empty() ? nullptr : op.across.data())) {
        fail(error, "the text could not be laid out");
        return false;
    }
    ClipObject clip;
    band.setClip(clip);
    BrushObject fore;
    setSolid(fore, op.textColor);
    BrushObject back;
    setSolid(back, op.background);
    RECTL opaque{op.opaqueRect.left - band.origin.x, op.opaqueRect.top - band.origin.y,
                 op.opaqueRect.right - band.origin.x, op.opaqueRect.bottom - band.origin.y};
    POINTL org{-band.origin.x, -band.origin.y};
    const MIX mix = mixOf(op.invisible ? R2_NOP : R2_COPYPEN);
    FONTOBJ* font = op.font.get();
    // Underline and strike-out, ended by an all-zero rectangle.
    std::vector<RECTL> extra;
    for (const DeviceRect& r : op.extra)
        extra.push_back(RECTL{r.left - band.origin.x, r.top - band.origin.y, r.right - band.origin.x,
                              r.bottom - band.origin.y});
    RECTL* extraRects = nullptr;
    if (!extra.empty()) {
        extra.push_back(RECTL{0, 0, 0, 0});
        extraRects = extra.data();
    }
    if (!hooked(HOOK_TEXTOUT)) {
        if (op.invisible && !op.opaque) return true;
        if (EngTextOut(device_.surface, &str, font, &clip, extraRects, op.opaque ? &opaque : nullptr, &fore, &back,
                       &org, mix))
            return true;
        fail(error, "the engine could not draw text");
        return false;
    }
    if (const auto hook = driver<PFN_DrvTextOut>(INDEX_DrvTextOut)) {
        str.enumStart();
        if (ask(hook, EngTextOut, device_.surface, &str, font, &clip, extraRects, op.opaque ? &opaque : nullptr, &fore,
                &back, &org, mix))
            return true;
    }
    // Declined: the background box, then the glyph outlines as fills.
    bool ok = true;
    if (op.opaque) {
        Region box(DeviceRect{opaque.left, opaque.top, opaque.right, opaque.bottom});
        box.intersect(band.clip);
        DrawOp paint;
        paint.mix = R2_COPYPEN;
        ok = paintRegion(paint, band, box, back, error) && ok;
    }
    if (!op.invisible) ok = textAsFill(op, band, str, error) && ok;
    for (const DeviceRect& r : op.extra) {
        Region line(DeviceRect{r.left - band.origin.x, r.top - band.origin.y, r.right - band.origin.x,
                               r.bottom - band.origin.y});
        line.intersect(band.clip);
        DrawOp paint;
        paint.mix = R2_COPYPEN;
        ok = paintRegion(paint, band, line, fore, error) && ok;
    }
    return ok;
}

bool Player::textAsFill(const DrawOp& op, const Band& band, StringObject& str, std::string* error) {
    DevicePath outlines;
    const ULONG glyphCount = op.font->allGlyphHandles(nullptr);
    for (const GLYPHPOS& g : str.positions()) {
        // A glyph index the font does not have draws nothing.
        if (g.hg >= glyphCount) continue;
        const GLYPHDATA* data = op.font->glyphData(g.hg);
        if (!data) {
            fail(error, "a glyph outline could not be read");
            return false;
        }
        const PathObject* outline = data->gdf.ppo ? PathObject::fromPathobj(data->gdf.ppo) : nullptr;
        if (!outline) continue;
        DevicePath glyph = fromPathObject(*outline, g.ptl.x * 16, g.ptl.y * 16);
        for (Figure& f : glyph.figures) outlines.figures.push_back(std::move(f));
    }
    if (outlines.empty()) return true;
    DrawOp glyphs;
    glyphs.mix = R2_COPYPEN;
    BrushObject brush;
    setSolid(brush, op.textColor);
    return fill(glyphs, band, outlines, true, brush, error);
}

}  // namespace tessaly::gdi
