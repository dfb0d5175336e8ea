// Clip lines: a path's lines (curves cut into lines) with the runs of their
// pixels that a clip lets through, for drivers that draw cosmetic lines
// themselves. Pixels are the ones the engine's own cosmetic lines light: one
// per step along the major axis, the end point's pixel left out.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <new>

#include "clip_lines.h"

namespace tessaly::gdi {

namespace {

// Steps of a line between two FIX points in whole pixels.
struct Stepper {
    int64_t x0, y0, dx, dy, steps;
    bool xMajor;
    explicit Stepper(const POINTFIX& a, const POINTFIX& b)
        : x0((int64_t{a.x} + 8) >> 4), y0((int64_t{a.y} + 8) >> 4), dx(((int64_t{b.x} + 8) >> 4) - x0),
          dy(((int64_t{b.y} + 8) >> 4) - y0), steps(std::max(std::llabs(dx), std::llabs(dy))),
          xMajor(std::llabs(dx) >= std::llabs(dy)) {}
    void pixel(int64_t i, int64_t* x, int64_t* y) const {
        // The same rounding as the engine's own cosmetic lines.
        if (xMajor) {
            *x = x0 + (dx > 0 ? i : -i);
            *y = y0 + std::llround(static_cast<double>(i) * static_cast<double>(dy) / static_cast<double>(steps));
        } else {
            *y = y0 + (dy > 0 ? i : -i);
            *x = x0 + std::llround(static_cast<double>(i) * static_cast<double>(dx) / static_cast<double>(steps));
        }
    }
};

// The style of cosmetic lines in pixels, with its position.
struct Style {
    std::vector<LONG> pattern;
    size_t index = 0;
    LONG position = 0;
    int64_t period = 0;

    LONG state() const { return static_cast<LONG>((static_cast<ULONG>(index) << 16) | (position & 0xFFFF)); }
    void reset() {
        index = 0;
        position = 0;
    }
    void advance(int64_t n) {
        if (pattern.empty() || period <= 0) return;
        for (n %= period; n > 0; --n) {
            if (++position >= pattern[index]) {
                position = 0;
                index = (index + 1) % pattern.size();
            }
        }
    }
};

LONG styleUnitOf(SURFOBJ* pso) {
    const Surface* surface = Surface::fromSurfobj(pso);
    const Device* device = surface ? surface->device() : nullptr;
    if (device && device->gdiInfo.xStyleStep > 0 && device->gdiInfo.denStyleStep > 0) {
        return std::max<LONG>(1, device->gdiInfo.denStyleStep / device->gdiInfo.xStyleStep);
    }
    return 3;
}

void makeRuns(PathObject::ClipLines& state) {
    state.runs.clear();
    state.run = 0;
    state.runsMade = true;
    const PathObject::ClipLines::Line& line = state.lines[state.line];
    const Stepper step(line.a, line.b);
    if (state.clip.empty() || step.steps == 0) return;
    // Only steps whose major coordinate can be inside the clip.
    const RECTL e = state.clip.extents();
    const int64_t major0 = step.xMajor ? step.x0 : step.y0;
    const int64_t sign = (step.xMajor ? step.dx : step.dy) > 0 ? 1 : -1;
    const int64_t low = step.xMajor ? e.left : e.top, high = (step.xMajor ? e.right : e.bottom) - 1;
    const int64_t first = std::max<int64_t>(0, sign > 0 ? low - major0 : major0 - high);
    const int64_t last = std::min<int64_t>(step.steps - 1, sign > 0 ? high - major0 : major0 - low);
    int64_t start = -1;
    for (int64_t i = first; i <= last; ++i) {
        int64_t x, y;
        step.pixel(i, &x, &y);
        const bool inside = x >= e.left && x < e.right && y >= e.top && y < e.bottom &&
                            pixman_region32_contains_point(&state.clip.r, static_cast<int>(x), static_cast<int>(y),
                                                           nullptr);
        if (inside && start < 0) start = i;
        if (!inside && start >= 0) {
            state.runs.push_back(RUN{static_cast<LONG>(start), static_cast<LONG>(i - 1)});
            start = -1;
        }
    }
    if (start >= 0) state.runs.push_back(RUN{static_cast<LONG>(start), static_cast<LONG>(last)});
}

}  // namespace

}  // namespace tessaly::gdi

using namespace tessaly::gdi;

extern "C" {

WIN32KAPI VOID APIENTRY PATHOBJ_vEnumStartClipLines(PATHOBJ* ppo, CLIPOBJ* pco, SURFOBJ* pso, LINEATTRS* pla) {
    PathObject* path = PathObject::fromPathobj(ppo);
    if (!path) return;
    std::unique_ptr<PathObject::ClipLines> state(new (std::nothrow) PathObject::ClipLines);
    auto flat = path->flattened();
    if (!state || !flat) {
        path->setClipLines(nullptr);
        return;
    }
    // The clip inside the surface.
    const RECTL surface = pso && pso->sizlBitmap.cx > 0 && pso->sizlBitmap.cy > 0
                              ? RECTL{0, 0, pso->sizlBitmap.cx, pso->sizlBitmap.cy}
                              : RECTL{-0x3FFFFFF, -0x3FFFFFF, 0x3FFFFFF, 0x3FFFFFF};
    state->clip.unite(surface);
    if (pco && pco->iDComplexity != DC_TRIVIAL) {
        if (const ClipObject* clip = ClipObject::fromClipobj(pco)) {
            state->clip.intersect(clip->region());
        } else {
            state->clip.intersect(pco->rclBounds);
        }
    }
    Style style;
    if (pla && (pla->fl & LA_ALTERNATE)) {
        style.pattern = {1, 1};
    } else if (pla && pla->pstyle && pla->cstyle > 0 && !(pla->fl & LA_GEOMETRIC)) {
        const LONG unit = styleUnitOf(pso);
        for (ULONG i = 0; i < pla->cstyle; ++i) style.pattern.push_back(std::max<LONG>(1, pla->pstyle[i].l * unit));
    }
    for (LONG v : style.pattern) style.period += v;
    if (!style.pattern.empty()) {
        const auto start = static_cast<ULONG>(pla->elStyleState.l);
        style.index = (start >> 16) % style.pattern.size();
        style.position = static_cast<LONG>(start & 0xFFFF) % style.pattern[style.index];
    }
    POINTFIX begin{0, 0}, current{0, 0};
    auto addLine = [&](POINTFIX a, POINTFIX b) {
        state->lines.push_back(PathObject::ClipLines::Line{a, b, style.state()});
        style.advance(Stepper(a, b).steps);
    };
    for (const PathObject::Record& record : flat->records()) {
        size_t i = 0;
        if (record.flags & PD_BEGINSUBPATH) {
            begin = current = record.points[0];
            if (record.flags & PD_RESETSTYLE) style.reset();
            i = 1;
        }
        for (; i < record.points.size(); ++i) {
            addLine(current, record.points[i]);
            current = record.points[i];
        }
        if (record.flags & PD_CLOSEFIGURE) {
            addLine(current, begin);
            current = begin;
        }
    }
    path->setClipLines(std::move(state));
}

WIN32KAPI WINBOOL APIENTRY PATHOBJ_bEnumClipLines(PATHOBJ* ppo, ULONG cb, CLIPLINE* pcl) {
    PathObject* path = PathObject::fromPathobj(ppo);
    PathObject::ClipLines* state = path ? path->clipLines() : nullptr;
    if (!pcl || cb < offsetof(CLIPLINE, arun)) return FALSE;
    pcl->c = 0;
    if (!state || state->line >= state->lines.size()) return FALSE;
    const size_t capacity = (cb - offsetof(CLIPLINE, arun)) / sizeof(RUN);
    if (!state->runsMade) makeRuns(*state);
    const PathObject::ClipLines::Line& line = state->lines[state->line];
    pcl->ptfxA = line.a;
    pcl->ptfxB = line.b;
    pcl->lStyleState = line.styleState;
    const size_t n = std::min(capacity, state->runs.size() - state->run);
    for (size_t i = 0; i < n; ++i) pcl->arun[i] = state->runs[state->run + i];
    pcl->c = static_cast<ULONG>(n);
    state->run += n;
    // A line continues in the next call while runs remain and there is room
    // for at least one.
    if (state->run >= state->runs.size() || capacity == 0) {
        ++state->line;
        state->runsMade = false;
    }
    return state->line < state->lines.size() ? TRUE : FALSE;
}

}  // extern "C"
