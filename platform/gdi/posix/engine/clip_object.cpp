// Clip objects: a pixman region with its complexity and bounds, rectangle
// enumeration in the four directions, and the clip as a path.

#include <algorithm>
#include <climits>
#include <new>

#include "engine_objects.h"
#include "raster.h"
#include "registry.h"

namespace tessaly::gdi {

namespace {
constexpr LONG kFar = 0x3FFFFFF;  // bounds of an unbounded trivial clip
}

ClipObject::ClipObject() : CLIPOBJ{} {
    pixman_region32_init_rect(&region_, -kFar, -kFar, 2u * kFar, 2u * kFar);
    iDComplexity = DC_TRIVIAL;
    iFComplexity = FC_RECT;
    iMode = TC_RECTANGLES;
    rclBounds = RECTL{-kFar, -kFar, kFar, kFar};
    liveSet<ClipObject>().add(static_cast<CLIPOBJ*>(this));
}

ClipObject::~ClipObject() {
    liveSet<ClipObject>().remove(static_cast<CLIPOBJ*>(this));
    pixman_region32_fini(&region_);
}

ClipObject* ClipObject::fromClipobj(const CLIPOBJ* pco) {
    if (!liveSet<ClipObject>().contains(pco)) return nullptr;
    return static_cast<ClipObject*>(const_cast<CLIPOBJ*>(pco));
}

void ClipObject::setTrivial(const RECTL& bounds) {
    const RECTL b = normalizeRect(bounds);
    pixman_region32_fini(&region_);
    pixman_region32_init_rect(&region_, b.left, b.top, static_cast<unsigned>(b.right - b.left),
                              static_cast<unsigned>(b.bottom - b.top));
    iDComplexity = DC_TRIVIAL;
    iFComplexity = FC_RECT;
    rclBounds = b;
    started_ = false;
}

void ClipObject::refresh() {
    const int count = pixman_region32_n_rects(&region_);
    const pixman_box32_t* e = pixman_region32_extents(&region_);
    if (count == 0) {
        rclBounds = RECTL{0, 0, 0, 0};
        iDComplexity = DC_RECT;
        iFComplexity = FC_RECT;
    } else {
        rclBounds = RECTL{e->x1, e->y1, e->x2, e->y2};
        iDComplexity = count == 1 ? DC_RECT : DC_COMPLEX;
        iFComplexity = count == 1 ? FC_RECT : count <= 4 ? FC_RECT4 : FC_COMPLEX;
    }
    started_ = false;
}

void ClipObject::setRect(const RECTL& rect) {
    const RECTL r = normalizeRect(rect);
    pixman_region32_fini(&region_);
    pixman_region32_init_rect(&region_, r.left, r.top, static_cast<unsigned>(r.right - r.left),
                              static_cast<unsigned>(r.bottom - r.top));
    refresh();
}

void ClipObject::setRegion(const pixman_region32_t* region) {
    if (!region) {
        setRect(RECTL{0, 0, 0, 0});
        return;
    }
    pixman_region32_copy(&region_, const_cast<pixman_region32_t*>(region));
    refresh();
}

void ClipObject::setRects(const RECTL* rects, ULONG count) {
    pixman_region32_fini(&region_);
    pixman_region32_init(&region_);
    for (ULONG i = 0; rects && i < count; ++i) {
        const RECTL r = normalizeRect(rects[i]);
        if (emptyRect(r)) continue;
        pixman_region32_union_rect(&region_, &region_, r.left, r.top, static_cast<unsigned>(r.right - r.left),
                                   static_cast<unsigned>(r.bottom - r.top));
    }
    refresh();
}

void ClipObject::setPath(std::unique_ptr<PathObject> path) {
    path_ = std::move(path);
    iMode = path_ ? TC_PATHOBJ : TC_RECTANGLES;
}

void ClipObject::intersect(const RECTL& rect) {
    const RECTL r = normalizeRect(rect);
    pixman_region32_intersect_rect(&region_, &region_, r.left, r.top, static_cast<unsigned>(r.right - r.left),
                                   static_cast<unsigned>(r.bottom - r.top));
    refresh();
}

void ClipObject::offset(LONG dx, LONG dy) {
    pixman_region32_translate(&region_, dx, dy);
    if (iDComplexity == DC_TRIVIAL) {
        rclBounds.left += dx;
        rclBounds.right += dx;
        rclBounds.top += dy;
        rclBounds.bottom += dy;
    } else {
        const BYTE complexity = iDComplexity;
        refresh();
        iDComplexity = complexity;
    }
    if (path_) path_->offset(dx * 16, dy * 16);
    started_ = false;
}

bool ClipObject::isEmpty() const { return !pixman_region32_not_empty(const_cast<pixman_region32_t*>(&region_)); }

ULONG ClipObject::enumStart(bool all, ULONG /*type*/, ULONG direction, ULONG limit) {
    order_.clear();
    cursor_ = 0;
    started_ = true;
    if (iDComplexity == DC_TRIVIAL) {
        order_.push_back(rclBounds);
    } else {
        int count = 0;
        const pixman_box32_t* boxes = pixman_region32_rectangles(&region_, &count);
        order_.reserve(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            RECTL r{boxes[i].x1, boxes[i].y1, boxes[i].x2, boxes[i].y2};
            if (!all) r = intersectRect(r, rclBounds);
            if (!emptyRect(r)) order_.push_back(r);
        }
        // The region's rectangles come in bands from top to bottom, left to
        // right inside a band; the other directions reverse one or both.
        const bool leftwards = direction == CD_LEFTDOWN || direction == CD_LEFTUP;
        const bool upwards = direction == CD_RIGHTUP || direction == CD_LEFTUP;
        if (leftwards || upwards) {
            std::stable_sort(order_.begin(), order_.end(), [&](const RECTL& a, const RECTL& b) {
                if (a.top != b.top) return upwards ? a.top > b.top : a.top < b.top;
                return leftwards ? a.left > b.left : a.left < b.left;
            });
        }
    }
    const auto count = static_cast<ULONG>(order_.size());
    if (limit == 0 || count > limit) return 0xFFFFFFFF;
    return count;
}

bool ClipObject::enumerate(ULONG bytes, ENUMRECTS* out) {
    if (!out || bytes < sizeof(ULONG)) return false;
    if (!started_) enumStart(false, CT_RECTANGLES, CD_RIGHTDOWN, 0);
    const size_t capacity = (bytes - offsetof(ENUMRECTS, arcl)) / sizeof(RECTL);
    size_t n = std::min(capacity, order_.size() - cursor_);
    for (size_t i = 0; i < n; ++i) out->arcl[i] = order_[cursor_ + i];
    out->c = static_cast<ULONG>(n);
    cursor_ += n;
    // A buffer too small for one rectangle ends the enumeration rather than
    // asking forever for more.
    return capacity > 0 && cursor_ < order_.size();
}

}  // namespace tessaly::gdi

using tessaly::gdi::ClipObject;
using tessaly::gdi::PathObject;

extern "C" {

WIN32KAPI ULONG APIENTRY CLIPOBJ_cEnumStart(CLIPOBJ* pco, WINBOOL bAll, ULONG iType, ULONG iDirection, ULONG cLimit) {
    ClipObject* clip = ClipObject::fromClipobj(pco);
    if (!clip) return 0xFFFFFFFF;
    return clip->enumStart(bAll != FALSE, iType, iDirection, cLimit);
}

WIN32KAPI WINBOOL APIENTRY CLIPOBJ_bEnum(CLIPOBJ* pco, ULONG cj, ULONG* pv) {
    ClipObject* clip = ClipObject::fromClipobj(pco);
    auto* out = reinterpret_cast<ENUMRECTS*>(pv);
    if (!clip) {
        if (out && cj >= sizeof(ULONG)) out->c = 0;
        return FALSE;
    }
    return clip->enumerate(cj, out) ? TRUE : FALSE;
}

WIN32KAPI PATHOBJ* APIENTRY CLIPOBJ_ppoGetPath(CLIPOBJ* pco) {
    const ClipObject* clip = ClipObject::fromClipobj(pco);
    if (!clip) return nullptr;
    std::unique_ptr<PathObject> path;
    if (clip->path()) {
        path = clip->path()->clone();
    } else {
        // The region's outline: one closed rectangle per band piece.
        path.reset(new (std::nothrow) PathObject);
        if (path) {
            int count = 0;
            const pixman_box32_t* boxes = pixman_region32_rectangles(const_cast<pixman_region32_t*>(clip->region()),
                                                                     &count);
            for (int i = 0; i < count; ++i) {
                const pixman_box32_t& b = boxes[i];
                const POINTFIX corners[3] = {{b.x2 * 16, b.y1 * 16}, {b.x2 * 16, b.y2 * 16}, {b.x1 * 16, b.y2 * 16}};
                if (!path->moveTo(POINTFIX{b.x1 * 16, b.y1 * 16}) || !path->lineTo(corners, 3) ||
                    !path->closeFigure()) {
                    path.reset();
                    break;
                }
            }
        }
    }
    if (!path) EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return tessaly::gdi::handOutPath(std::move(path));
}

}  // extern "C"
