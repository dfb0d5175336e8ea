// Paths: building, flattening and record-by-record enumeration, and the
// PATHOBJ_ services over them.

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <new>

#include "clip_lines.h"
#include "engine_objects.h"
#include "registry.h"

namespace tessaly::gdi {

PathObject::PathObject() : PATHOBJ{PO_ALL_INTEGERS, 0} { liveSet<PathObject>().add(static_cast<PATHOBJ*>(this)); }

PathObject::~PathObject() { liveSet<PathObject>().remove(static_cast<PATHOBJ*>(this)); }

void PathObject::setClipLines(std::unique_ptr<ClipLines> lines) { clipLines_ = std::move(lines); }

PathObject* PathObject::fromPathobj(const PATHOBJ* ppo) {
    if (!liveSet<PathObject>().contains(ppo)) return nullptr;
    return static_cast<PathObject*>(const_cast<PATHOBJ*>(ppo));
}

void PathObject::update() {
    FLONG flags = PO_ALL_INTEGERS;
    ULONG curves = 0;
    for (const Record& record : records_) {
        const bool bezier = (record.flags & PD_BEZIERS) != 0;
        if (bezier) flags |= PO_BEZIERS;
        const size_t segmentPoints = record.points.size() - ((record.flags & PD_BEGINSUBPATH) ? 1 : 0);
        curves += static_cast<ULONG>(bezier ? segmentPoints / 3 : segmentPoints);
        if (record.flags & PD_CLOSEFIGURE) ++curves;
        for (const POINTFIX& p : record.points) {
            if ((p.x | p.y) & 0xF) flags &= ~static_cast<FLONG>(PO_ALL_INTEGERS);
        }
    }
    fl = flags;
    cCurves = curves;
}

namespace {
bool integral(const POINTFIX* points, ULONG count) {
    LONG bits = 0;
    for (ULONG i = 0; i < count; ++i) bits |= points[i].x | points[i].y;
    return (bits & 0xF) == 0;
}
}  // namespace

bool PathObject::moveTo(POINTFIX point) {
    if (open_ && records_.size() == subpathFirst_ + 1 && records_.back().points.size() == 1) {
        // A move right after a move replaces it.
        records_.back().points[0] = point;
        current_ = point;
        update();
        return true;
    } else {
        try {
            records_.push_back(Record{PD_BEGINSUBPATH | PD_ENDSUBPATH, {point}});
        } catch (const std::bad_alloc&) {
            return false;
        }
        if (records_.size() > 1 && !(records_[records_.size() - 2].flags & PD_ENDSUBPATH)) {
            records_[records_.size() - 2].flags |= PD_ENDSUBPATH;
        }
        subpathFirst_ = records_.size() - 1;
    }
    open_ = true;
    current_ = point;
    if (!integral(&point, 1)) fl &= ~static_cast<FLONG>(PO_ALL_INTEGERS);
    return true;
}

PathObject::Record& PathObject::openRun(bool bezier) {
    if (!open_) moveTo(current_);
    Record& last = records_.back();
    const bool lastBezier = (last.flags & PD_BEZIERS) != 0;
    const bool lone = (last.flags & PD_BEGINSUBPATH) && last.points.size() == 1;
    if (lone) {
        if (bezier) last.flags |= PD_BEZIERS;
        return last;
    }
    if (lastBezier == bezier) return last;
    last.flags &= ~static_cast<FLONG>(PD_ENDSUBPATH);
    records_.push_back(Record{PD_ENDSUBPATH | (bezier ? static_cast<FLONG>(PD_BEZIERS) : 0), {}});
    return records_.back();
}

bool PathObject::lineTo(const POINTFIX* points, ULONG count) {
    if (!points && count) return false;
    if (count == 0) return true;
    try {
        Record& run = openRun(false);
        run.points.insert(run.points.end(), points, points + count);
    } catch (const std::bad_alloc&) {
        return false;
    }
    current_ = points[count - 1];
    cCurves += count;
    if (!integral(points, count)) fl &= ~static_cast<FLONG>(PO_ALL_INTEGERS);
    return true;
}

bool PathObject::bezierTo(const POINTFIX* points, ULONG count) {
    if ((!points && count) || count % 3 != 0) return false;
    if (count == 0) return true;
    try {
        Record& run = openRun(true);
        run.points.insert(run.points.end(), points, points + count);
    } catch (const std::bad_alloc&) {
        return false;
    }
    current_ = points[count - 1];
    cCurves += count / 3;
    fl |= PO_BEZIERS;
    if (!integral(points, count)) fl &= ~static_cast<FLONG>(PO_ALL_INTEGERS);
    return true;
}

bool PathObject::bezierTo(POINTFIX c1, POINTFIX c2, POINTFIX end) {
    const POINTFIX points[3] = {c1, c2, end};
    return bezierTo(points, 3);
}

bool PathObject::closeFigure() {
    if (!open_ || records_.empty()) return false;
    records_.back().flags |= PD_CLOSEFIGURE | PD_ENDSUBPATH;
    // The current point goes back to the figure's start; the next segment
    // begins a new figure there.
    current_ = records_[subpathFirst_].points.front();
    open_ = false;
    ++cCurves;
    return true;
}

void PathObject::resetStyle() {
    if (subpathFirst_ < records_.size()) records_[subpathFirst_].flags |= PD_RESETSTYLE;
}

void PathObject::clear() {
    records_.clear();
    subpathFirst_ = 0;
    open_ = false;
    current_ = POINTFIX{0, 0};
    cursor_ = 0;
    update();
}

void PathObject::offset(FIX dx, FIX dy) {
    // Saturating, so that points near the ends of the range cannot wrap.
    auto add = [](FIX v, FIX d) { return static_cast<FIX>(std::clamp<int64_t>(int64_t{v} + d, INT32_MIN, INT32_MAX)); };
    for (Record& record : records_) {
        for (POINTFIX& p : record.points) {
            p.x = add(p.x, dx);
            p.y = add(p.y, dy);
        }
    }
    current_.x = add(current_.x, dx);
    current_.y = add(current_.y, dy);
    update();
}

std::unique_ptr<PathObject> PathObject::clone() const {
    std::unique_ptr<PathObject> copy(new (std::nothrow) PathObject);
    if (!copy) return nullptr;
    try {
        copy->records_ = records_;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    copy->subpathFirst_ = subpathFirst_;
    copy->open_ = open_;
    copy->current_ = current_;
    copy->update();
    return copy;
}

namespace {

// Cuts a cubic into lines with a flatness of about a quarter pixel.
void flattenCubic(const POINTFIX& p0, const POINTFIX& p1, const POINTFIX& p2, const POINTFIX& p3,
                  std::vector<POINTFIX>* out) {
    const double dd1 = std::hypot(p0.x - 2.0 * p1.x + p2.x, p0.y - 2.0 * p1.y + p2.y);
    const double dd2 = std::hypot(p1.x - 2.0 * p2.x + p3.x, p1.y - 2.0 * p2.y + p3.y);
    const double dd = std::max(dd1, dd2);  // in FIX units
    // Error of n pieces is about 3/4 * dd / n^2; aim for 4 FIX units.
    int n = static_cast<int>(std::ceil(std::sqrt(0.75 * dd / 4.0)));
    n = std::clamp(n, 1, 1000);
    for (int i = 1; i <= n; ++i) {
        const double t = static_cast<double>(i) / n, u = 1 - t;
        const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
        out->push_back(POINTFIX{static_cast<FIX>(std::lround(a * p0.x + b * p1.x + c * p2.x + d * p3.x)),
                                static_cast<FIX>(std::lround(a * p0.y + b * p1.y + c * p2.y + d * p3.y))});
    }
}

}  // namespace

std::unique_ptr<PathObject> PathObject::flattened() const {
    std::unique_ptr<PathObject> flat(new (std::nothrow) PathObject);
    if (!flat) return nullptr;
    try {
        POINTFIX current{0, 0};
        std::vector<POINTFIX> points;
        for (const Record& record : records_) {
            size_t i = 0;
            if (record.flags & PD_BEGINSUBPATH) {
                current = record.points[0];
                flat->moveTo(current);
                if (record.flags & PD_RESETSTYLE) flat->resetStyle();
                i = 1;
            }
            if (record.flags & PD_BEZIERS) {
                points.clear();
                for (; i + 2 < record.points.size(); i += 3) {
                    flattenCubic(current, record.points[i], record.points[i + 1], record.points[i + 2], &points);
                    current = record.points[i + 2];
                }
                if (!flat->lineTo(points.data(), static_cast<ULONG>(points.size()))) return nullptr;
            } else if (i < record.points.size()) {
                if (!flat->lineTo(record.points.data() + i, static_cast<ULONG>(record.points.size() - i))) {
                    return nullptr;
                }
                current = record.points.back();
            }
            if (record.flags & PD_CLOSEFIGURE) flat->closeFigure();
        }
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return flat;
}

RECTFX PathObject::bounds() const {
    bool any = false;
    RECTFX box{0, 0, 0, 0};
    for (const Record& record : records_) {
        for (const POINTFIX& p : record.points) {
            if (!any) {
                box = RECTFX{p.x, p.y, p.x, p.y};
                any = true;
            } else {
                box.xLeft = std::min(box.xLeft, p.x);
                box.yTop = std::min(box.yTop, p.y);
                box.xRight = std::max(box.xRight, p.x);
                box.yBottom = std::max(box.yBottom, p.y);
            }
        }
    }
    return box;
}

bool PathObject::enumerate(PATHDATA* data) {
    if (!data) return false;
    if (cursor_ >= records_.size()) {
        data->flags = 0;
        data->count = 0;
        data->pptfx = nullptr;
        return false;
    }
    Record& record = records_[cursor_++];
    data->flags = record.flags;
    data->count = static_cast<ULONG>(record.points.size());
    data->pptfx = record.points.data();
    return cursor_ < records_.size();
}

}  // namespace tessaly::gdi

namespace tessaly::gdi {

struct HandedOutPath {};

PATHOBJ* handOutPath(std::unique_ptr<PathObject> path) {
    if (!path) return nullptr;
    PATHOBJ* ppo = path.release();
    liveSet<HandedOutPath>().add(ppo);
    return ppo;
}

}  // namespace tessaly::gdi

using tessaly::gdi::PathObject;

extern "C" {

WIN32KAPI PATHOBJ* APIENTRY EngCreatePath(VOID) {
    std::unique_ptr<PathObject> path(new (std::nothrow) PathObject);
    if (!path) EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return tessaly::gdi::handOutPath(std::move(path));
}

WIN32KAPI VOID APIENTRY EngDeletePath(PATHOBJ* ppo) {
    // Only paths the engine handed out (EngCreatePath, CLIPOBJ_ppoGetPath)
    // are the caller's to delete; anything else is left alone.
    auto& handedOut = tessaly::gdi::liveSet<tessaly::gdi::HandedOutPath>();
    if (!handedOut.contains(ppo)) return;
    handedOut.remove(ppo);
    delete PathObject::fromPathobj(ppo);
}

WIN32KAPI WINBOOL APIENTRY PATHOBJ_bMoveTo(PATHOBJ* ppo, POINTFIX ptfx) {
    PathObject* path = PathObject::fromPathobj(ppo);
    return path && path->moveTo(ptfx) ? TRUE : FALSE;
}

WIN32KAPI WINBOOL APIENTRY PATHOBJ_bPolyLineTo(PATHOBJ* ppo, POINTFIX* pptfx, ULONG cptfx) {
    PathObject* path = PathObject::fromPathobj(ppo);
    return path && path->lineTo(pptfx, cptfx) ? TRUE : FALSE;
}

WIN32KAPI WINBOOL APIENTRY PATHOBJ_bPolyBezierTo(PATHOBJ* ppo, POINTFIX* pptfx, ULONG cptfx) {
    PathObject* path = PathObject::fromPathobj(ppo);
    return path && path->bezierTo(pptfx, cptfx) ? TRUE : FALSE;
}

WIN32KAPI WINBOOL APIENTRY PATHOBJ_bCloseFigure(PATHOBJ* ppo) {
    PathObject* path = PathObject::fromPathobj(ppo);
    return path && path->closeFigure() ? TRUE : FALSE;
}

WIN32KAPI VOID APIENTRY PATHOBJ_vEnumStart(PATHOBJ* ppo) {
    if (PathObject* path = PathObject::fromPathobj(ppo)) path->enumStart();
}

WIN32KAPI WINBOOL APIENTRY PATHOBJ_bEnum(PATHOBJ* ppo, PATHDATA* ppd) {
    PathObject* path = PathObject::fromPathobj(ppo);
    if (!path) {
        if (ppd) *ppd = PATHDATA{0, 0, nullptr};
        return FALSE;
    }
    return path->enumerate(ppd) ? TRUE : FALSE;
}

WIN32KAPI VOID APIENTRY PATHOBJ_vGetBounds(PATHOBJ* ppo, PRECTFX prectfx) {
    if (!prectfx) return;
    const PathObject* path = PathObject::fromPathobj(ppo);
    *prectfx = path ? path->bounds() : RECTFX{0, 0, 0, 0};
}

}  // extern "C"
