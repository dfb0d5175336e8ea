#include "ddi_objects.h"

#include <cstring>

#include "context_internal.h"

namespace tessaly::gdi {

std::unique_ptr<PathObject> makePath(const DevicePath& path) {
    auto po = std::make_unique<PathObject>();
    std::vector<POINTFIX> run;
    for (const Figure& f : path.figures) {
        po->moveTo({toFix(f.start.x), toFix(f.start.y)});
        size_t i = 0;
        while (i < f.segments.size()) {
            const bool curve = f.segments[i].curve;
            run.clear();
            for (; i < f.segments.size() && f.segments[i].curve == curve; ++i) {
                const Segment& s = f.segments[i];
                if (curve) {
                    run.push_back({toFix(s.c1.x), toFix(s.c1.y)});
                    run.push_back({toFix(s.c2.x), toFix(s.c2.y)});
                }
                run.push_back({toFix(s.end.x), toFix(s.end.y)});
            }
            const ULONG n = static_cast<ULONG>(run.size());
            if (curve)
                po->bezierTo(run.data(), n);
            else
                po->lineTo(run.data(), n);
        }
        if (f.closed) po->closeFigure();
    }
    return po;
}

DevicePath fromPathObject(const PathObject& path, FIX dx, FIX dy) {
    DevicePath out;
    auto pt = [&](POINTFIX p) { return PointD{(p.x + dx) / 16.0, (p.y + dy) / 16.0}; };
    for (const PathObject::Record& r : path.records()) {
        size_t i = 0;
        if (r.flags & PD_BEGINSUBPATH) {
            if (r.points.empty()) continue;
            Figure f;
            f.start = pt(r.points[0]);
            out.figures.push_back(f);
            i = 1;
        }
        if (out.figures.empty()) continue;
        Figure& f = out.figures.back();
        if (r.flags & PD_BEZIERS) {
            for (; i + 2 < r.points.size(); i += 3) {
                Segment s;
                s.curve = true;
                s.c1 = pt(r.points[i]);
                s.c2 = pt(r.points[i + 1]);
                s.end = pt(r.points[i + 2]);
                f.segments.push_back(s);
            }
        } else {
            for (; i < r.points.size(); ++i) {
                Segment s;
                s.end = pt(r.points[i]);
                f.segments.push_back(s);
            }
        }
        if (r.flags & PD_CLOSEFIGURE) f.closed = true;
    }
    return out;
}

namespace {

RECTL toRectl(const DeviceRect& r) { return {r.left, r.top, r.right, r.bottom}; }

ULONG colorref(Color c) { return ((c >> 16) & 0xFF) | (c & 0xFF00) | ((c & 0xFF) << 16); }

}  // namespace

void setClip(ClipObject& clip, const Region& region, const DeviceRect& drawBounds, const DevicePath* clipPath) {
    if (region.contains(drawBounds) && !emptyRect(drawBounds))
        clip.setTrivial(toRectl(region.bounds()));
    else
        clip.setRegion(region.native());
    if (clipPath) clip.setPath(makePath(*clipPath));
}

void setShapeClip(ClipObject& clip, const Region& region) { clip.setRegion(region.native()); }

void setSolid(BrushObject& brush, Color color) {
    color &= 0xFFFFFF;
    brush.setSolid(color, colorref(color));
}

void setBrush(BrushObject& brush, const Brush& selected, const Pixels* pattern, Color background,
              bool transparentBackground) {
    switch (selected.style) {
        case BrushStyle::Hatch:
            brush.setHatch(static_cast<ULONG>(selected.hatch), selected.color & 0xFFFFFF, background & 0xFFFFFF,
                           transparentBackground);
            return;
        case BrushStyle::Pattern:
            if (pattern && pattern->bitsPerPixel == 24) {
                brush.setPattern(pattern->rows.data(), pattern->width, pattern->height, pattern->stride);
                return;
            }
            if (pattern) {
                // Other tiles are turned into B,G,R rows.
                const size_t w = static_cast<size_t>(pattern->width), h = static_cast<size_t>(pattern->height);
                std::vector<uint8_t> bgr(w * 3 * h);
                for (size_t y = 0; y < h; ++y)
                    for (size_t x = 0; x < w; ++x) {
                        uint8_t* dst = &bgr[(y * w + x) * 3];
                        const Color c = pattern->color(static_cast<int>(x), static_cast<int>(y));
                        dst[0] = static_cast<uint8_t>(c);
                        dst[1] = static_cast<uint8_t>(c >> 8);
                        dst[2] = static_cast<uint8_t>(c >> 16);
                    }
                brush.setPattern(bgr.data(), pattern->width, pattern->height, pattern->width * 3);
                return;
            }
            setSolid(brush, selected.color);
            return;
        default:
            setSolid(brush, selected.color);
            return;
    }
}

void setSource(XlateObject& xlate, const Pixels& source) {
    if (source.bitsPerPixel > 8) return;  // 16-bit words are 5-5-5, read without a table
    std::vector<ULONG> refs;
    refs.reserve(source.palette.size());
    for (Color c : source.palette) refs.push_back(colorref(c));
    xlate.setSourceColors(refs.data(), static_cast<ULONG>(refs.size()));
}

XFORML toXforml(const Transform& t) {
    return {static_cast<FLOATL>(t.m11), static_cast<FLOATL>(t.m12), static_cast<FLOATL>(t.m21),
            static_cast<FLOATL>(t.m22), static_cast<FLOATL>(t.dx),  static_cast<FLOATL>(t.dy)};
}

SourceSurface::SourceSurface(const Pixels& px) {
    ULONG format = BMF_24BPP;
    switch (px.bitsPerPixel) {
        case 1: format = BMF_1BPP; break;
        case 4: format = BMF_4BPP; break;
        case 8: format = BMF_8BPP; break;
        case 16: format = BMF_16BPP; break;
        case 32: format = BMF_32BPP; break;
        default: break;
    }
    auto surface = Surface::createBitmap(SIZEL{px.width, px.height}, px.stride, format, BMF_TOPDOWN, nullptr);
    if (!surface) return;
    handle_ = Surface::adopt(std::move(surface));
    if (!handle_) return;
    surface_ = EngLockSurface(handle_);
    if (!surface_ || !surface_->pvScan0) return;
    Surface* s = Surface::fromSurfobj(surface_);
    const size_t row = px.rowBytes();
    for (int y = 0; y < px.height; ++y)
        std::memcpy(s->row(y), &px.rows[static_cast<size_t>(y) * static_cast<size_t>(px.stride)], row);
}

SourceSurface::~SourceSurface() {
    if (surface_) EngUnlockSurface(surface_);
    if (handle_) EngDeleteSurface(handle_);
}

}  // namespace tessaly::gdi
