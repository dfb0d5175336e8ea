// The page player's drawing state, transforms, paths and clips.
#include "page_player.h"

#include <GfxState.h>
#include <SplashOutputDev.h>
#include <splash/Splash.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>

#include "player_util.h"

namespace tessaly::pdf {

namespace {

// poppler's matrix [a b c d e f] (x' = a x + c y + e, y' = b x + d y + f)
// as a world transform.
gdi::Transform transformOf(const double* m) { return {m[0], m[1], m[2], m[3], m[4], m[5]}; }

bool sameTransform(const gdi::Transform& a, const gdi::Transform& b) {
    return a.m11 == b.m11 && a.m12 == b.m12 && a.m21 == b.m21 && a.m22 == b.m22 && a.dx == b.dx && a.dy == b.dy;
}

bool isIdentity(const gdi::Transform& t) { return sameTransform(t, gdi::Transform{}); }

// True when the even-odd rule paints exactly what the nonzero rule paints
// for this path: each subpath's points (control points included) go once
// around a convex polygon, so that the subpath (a curve stays inside its
// control polygon and is convex with it) winds once around what it holds,
// and the subpaths' bounding boxes do not overlap. Rectangles, circles and
// rows of them are such paths; the driver expresses even-odd fills as
// shapes where it may give up on nonzero ones.
bool evenOddPaintsTheSame(const GfxPath* path) {
    constexpr int kMaxSubpaths = 32, kMaxPoints = 4096;
    const int subpaths = path->getNumSubpaths();
    if (subpaths > kMaxSubpaths) return false;
    std::vector<gdi::RectD> boxes;
    int total = 0;
    for (int s = 0; s < subpaths; ++s) {
        const GfxSubpath* sub = path->getSubpath(s);
        int n = sub->getNumPoints();
        total += n;
        if (total > kMaxPoints) return false;
        if (n < 2) continue;
        if (n > 2 && sub->getX(n - 1) == sub->getX(0) && sub->getY(n - 1) == sub->getY(0)) --n;
        gdi::RectD box{sub->getX(0), sub->getY(0), sub->getX(0), sub->getY(0)};
        std::vector<double> angles;
        for (int i = 0; i < n; ++i) {
            const int j = (i + 1) % n;
            box.left = std::min(box.left, sub->getX(i));
            box.right = std::max(box.right, sub->getX(i));
            box.top = std::min(box.top, sub->getY(i));
            box.bottom = std::max(box.bottom, sub->getY(i));
            const double ex = sub->getX(j) - sub->getX(i), ey = sub->getY(j) - sub->getY(i);
            if (ex != 0 || ey != 0) angles.push_back(std::atan2(ey, ex));
        }
        double turning = 0;
        int sign = 0;
        for (size_t k = 0; k < angles.size(); ++k) {
            double turn = angles[(k + 1) % angles.size()] - angles[k];
            while (turn > std::numbers::pi) turn -= 2 * std::numbers::pi;
            while (turn < -std::numbers::pi) turn += 2 * std::numbers::pi;
            if (std::fabs(turn) < 1e-9) continue;
            if (std::fabs(turn) > std::numbers::pi - 1e-9) return false;  // a spike back along itself
            const int t = turn > 0 ? 1 : -1;
            if (sign != 0 && t != sign) return false;
            sign = t;
            turning += turn;
        }
        // Once around, not twice (a pentagram turns one way too).
        if (sign != 0 && std::fabs(std::fabs(turning) - 2 * std::numbers::pi) > 1e-6) return false;
        for (const gdi::RectD& other : boxes)
            if (box.left < other.right && other.left < box.right && box.top < other.bottom && other.top < box.bottom)
                return false;
        boxes.push_back(box);
    }
    return true;
}

}  // namespace

gdi::Color colorOf(const GfxRGB& rgb) {
    return static_cast<gdi::Color>(colToByte(rgb.r)) << 16 | static_cast<gdi::Color>(colToByte(rgb.g)) << 8 |
           static_cast<gdi::Color>(colToByte(rgb.b));
}

double scaleOf(const gdi::Transform& t) { return std::sqrt(std::fabs(t.m11 * t.m22 - t.m12 * t.m21)); }

std::vector<double> dashPattern(const std::vector<double>& dash, double phase) {
    if (dash.empty()) return {};
    for (double v : dash)
        if (!(v >= 0) || !std::isfinite(v)) return {};
    // An odd array repeats with on and off swapped: one period is two rounds.
    std::vector<double> d = dash;
    if (d.size() % 2) d.insert(d.end(), dash.begin(), dash.end());
    const double sum = std::accumulate(d.begin(), d.end(), 0.0);
    if (!(sum > 0) || !std::isfinite(sum)) return {};
    double p = std::isfinite(phase) ? std::fmod(phase, sum) : 0;
    if (p < 0) p += sum;
    if (p == 0) return d.size() <= kMaxDashes ? d : std::vector<double>{};
    // The pen's pattern has no phase: the array is rotated to start at the
    // phase. The element cut in two reappears at the end, split from its
    // first part by a zero-length piece of the other kind, so that the
    // array keeps an even length and repeats with the right parity.
    const size_t n = d.size();
    size_t i = 0;
    for (size_t steps = 0; p >= d[i] && steps < n; ++steps) {
        p -= d[i];
        i = (i + 1) % n;
    }
    if (p >= d[i]) return d.size() <= kMaxDashes ? d : std::vector<double>{};
    std::vector<double> out;
    if (i % 2) out.push_back(0);
    out.push_back(d[i] - p);
    for (size_t k = 1; k < n; ++k) out.push_back(d[(i + k) % n]);
    out.push_back(p);
    if (i % 2 == 0) out.push_back(0);
    return out.size() <= kMaxDashes ? out : std::vector<double>{};
}

PagePlayer::PagePlayer(gdi::DeviceContext& dc, FontRegistry& fonts, const gdi::Transform& pageToDevice,
                       const gdi::RectD* pageClip, PDFDoc* doc)
    : dc_(dc), fonts_(fonts), doc_(doc), pageToDevice_(pageToDevice) {
    if (pageClip) {
        hasPageClip_ = true;
        pageClip_ = *pageClip;
    }
}

void PagePlayer::check(bool ok) {
    if (ok) return;
    if (failure_.empty()) failure_ = dc_.errorText().empty() ? "a drawing call failed" : dc_.errorText();
    dc_.clearError();
}

void PagePlayer::startPage(int /*pageNum*/, GfxState* state, XRef* xref) {
    xref_ = xref;
    if (state) pageState_.reset(state->copy(true));
    raster_.reset();
    levels_.assign(1, Level{});
    groups_.clear();
    discarding_ = 0;
    groupSizes_.clear();
    groupPixels_ = 0;
    shadingDepth_ = -1;
    groupShifts_.clear();
    rasterGroups_ = 0;
    groupShiftX_ = groupShiftY_ = 0;
    dc_.resetClip();
    dc_.setBackgroundMode(gdi::BackgroundMode::Transparent);
    dc_.setTextAlign(gdi::TextAlignX::Left, gdi::TextAlignY::Baseline);
    check(dc_.setTransform({}, gdi::TransformMode::Identity));
    if (hasPageClip_) check(dc_.clipRect(pageClip_, gdi::ClipCombine::Copy));
    // Everything the page sets is undone at its end.
    depthAtStart_ = depth_ = dc_.save();
    run_.clear();
    type3Run_.clear();
    textClip_.clear();
    textClipping_ = false;
}

void PagePlayer::endPage() {
    flushText();
    flushRun(type3Run_, type3Style_);
    // Groups left open are painted no more.
    rasterGroups_ = 0;
    flushRaster();
    raster_.reset();
    if (depthAtStart_ > 0 && depth_ >= depthAtStart_) check(dc_.restore(depthAtStart_));
    depth_ = depthAtStart_ = 0;
}

void PagePlayer::saveState(GfxState* state) {
    depth_ = dc_.save();
    Level level;
    level.masked = softMasked();
    level.fillOpacity = state->getFillOpacity();
    level.blendNormal = state->getBlendMode() == gfxBlendNormal;
    levels_.push_back(level);
    if (raster_) {
        raster_->saveState(state);
        ++rasterSaves_;
    }
}

void PagePlayer::restoreState(GfxState* state) {
    // The run and the rasterised paint were drawn under the clip being left.
    flushText();
    flushRaster();
    // Never below the page's own state.
    if (depth_ <= depthAtStart_) return;
    if (raster_) {
        if (rasterSaves_ > 0) {
            raster_->restoreState(state);
            --rasterSaves_;
        } else {
            // Below the level the rasteriser started at: its clip and mask
            // become the state's (the context's clip stays the authority).
            double x0, y0, x1, y1;
            state->getClipBBox(&x0, &y0, &x1, &y1);
            raster_->getSplash()->clipResetToRect(x0, y0, x1, y1);
            raster_->clearSoftMask(state);
        }
    }
    check(dc_.restore(-1));
    --depth_;
    if (levels_.size() > 1) levels_.pop_back();
    if (depth_ < shadingDepth_) shadingDepth_ = -1;
}

bool PagePlayer::useCtm(const double* ctm) {
    const gdi::Transform t = transformOf(ctm).then(pageToDevice_);
    if (t.invertible() && std::isfinite(t.m11) && std::isfinite(t.m12) && std::isfinite(t.m21) &&
        std::isfinite(t.m22)) {
        singular_ = false;
        if (!sameTransform(dc_.transform(), t)) check(dc_.setTransform(t, gdi::TransformMode::Set));
        return true;
    }
    singular_ = true;
    pointMap_ = t;
    if (!isIdentity(dc_.transform())) check(dc_.setTransform({}, gdi::TransformMode::Identity));
    return false;
}

gdi::PointD PagePlayer::map(double x, double y) const { return singular_ ? pointMap_.apply({x, y}) : gdi::PointD{x, y}; }

bool PagePlayer::buildPath(GfxState* state) {
    const GfxPath* path = state->getPath();
    if (!path || path->getNumSubpaths() == 0) return false;
    auto finite = [](double v) { return std::isfinite(v) && std::fabs(v) < 1e12; };
    check(dc_.beginPath());
    for (int s = 0; s < path->getNumSubpaths(); ++s) {
        const GfxSubpath* sub = path->getSubpath(s);
        const int n = sub->getNumPoints();
        bool usable = n > 1;
        for (int j = 0; usable && j < n; ++j) usable = finite(sub->getX(j)) && finite(sub->getY(j));
        if (!usable) continue;
        check(dc_.moveTo(map(sub->getX(0), sub->getY(0))));
        for (int j = 1; j < n;) {
            if (sub->getCurve(j) && j + 2 < n) {
                check(dc_.bezierTo(map(sub->getX(j), sub->getY(j)), map(sub->getX(j + 1), sub->getY(j + 1)),
                                   map(sub->getX(j + 2), sub->getY(j + 2))));
                j += 3;
            } else {
                check(dc_.lineTo(map(sub->getX(j), sub->getY(j))));
                ++j;
            }
        }
        if (sub->isClosed()) check(dc_.closeFigure());
    }
    check(dc_.endPath());
    return true;
}

void PagePlayer::fillWith(GfxState* state, gdi::FillMode mode) {
    flushText();
    double box[4];
    switch (routeFor(state, state->getFillOpacity())) {
        case Route::Skip: return;
        case Route::Raster:
            if (mode == gdi::FillMode::Alternate)
                raster_->eoFill(state);
            else
                raster_->fill(state);
            markRaster(state, pathBox(state, false, box) ? box : nullptr);
            return;
        case Route::Device: break;
    }
    (void)useCtm(state->getCTM());
    GfxRGB rgb;
    state->getFillRGB(&rgb);
    gdi::Brush brush;
    brush.style = gdi::BrushStyle::Solid;
    brush.color = colorOf(rgb);
    gdi::Pen none;
    none.style = gdi::PenStyle::Null;
    check(dc_.setBrush(brush));
    check(dc_.setPen(none));
    dc_.setFillMode(mode);
    if (!buildPath(state)) return;
    check(dc_.fillPath());
}

void PagePlayer::fill(GfxState* state) {
    const GfxPath* path = state->getPath();
    // Evenodd stands in for nonzero where both paint the same (the
    // rasteriser gets the same path either way).
    fillWith(state, path && evenOddPaintsTheSame(path) ? gdi::FillMode::Alternate : gdi::FillMode::Winding);
}
void PagePlayer::eoFill(GfxState* state) { fillWith(state, gdi::FillMode::Alternate); }

gdi::Pen PagePlayer::strokePen(GfxState* state, bool worldIsCtm) const {
    return strokePen(state, worldIsCtm ? scaleOf(dc_.transform()) : 0.0);
}

gdi::Pen PagePlayer::strokePen(GfxState* state, double scale) const {
    gdi::Pen pen;
    pen.geometric = true;
    GfxRGB rgb;
    state->getStrokeRGB(&rgb);
    pen.color = colorOf(rgb);
    switch (state->getLineCap()) {
        case 1: pen.cap = gdi::LineCap::Round; break;
        case 2: pen.cap = gdi::LineCap::Square; break;
        default: pen.cap = gdi::LineCap::Flat; break;
    }
    switch (state->getLineJoin()) {
        case 1: pen.join = gdi::LineJoin::Round; break;
        case 2: pen.join = gdi::LineJoin::Bevel; break;
        default: pen.join = gdi::LineJoin::Miter; break;
    }
    const double miter = state->getMiterLimit();
    pen.miterLimit = std::isfinite(miter) ? std::clamp(miter, 1.0, 1e4) : 10;
    if (!(scale > 0)) {
        // A singular CTM: the thinnest line, in device pixels.
        pen.width = 1;
        return pen;
    }
    double width = state->getLineWidth();
    // Lines thinner than a device pixel (width 0 among them) are one pixel
    // wide, as PDF renderers draw them.
    if (!(width * scale >= 1) || !std::isfinite(width)) width = 1 / scale;
    pen.width = width;
    double phase = 0;
    const std::vector<double>& dash = state->getLineDash(&phase);
    std::vector<double> pattern = dashPattern(dash, phase);
    if (!pattern.empty()) {
        pen.style = gdi::PenStyle::User;
        pen.dashes = std::move(pattern);
    }
    return pen;
}

void PagePlayer::stroke(GfxState* state) {
    flushText();
    double box[4];
    switch (routeFor(state, state->getStrokeOpacity())) {
        case Route::Skip: return;
        case Route::Raster:
            raster_->stroke(state);
            markRaster(state, pathBox(state, true, box) ? box : nullptr);
            return;
        case Route::Device: break;
    }
    const bool world = useCtm(state->getCTM());
    gdi::Brush none;
    none.style = gdi::BrushStyle::Null;
    check(dc_.setBrush(none));
    check(dc_.setPen(strokePen(state, world)));
    if (!buildPath(state)) return;
    check(dc_.strokePath());
}

void PagePlayer::clipWith(GfxState* state, gdi::FillMode mode) {
    flushText();
    flushRaster();
    if (raster_) {
        if (mode == gdi::FillMode::Alternate)
            raster_->eoClip(state);
        else
            raster_->clip(state);
    }
    // Inside a rasterised group only the rasteriser draws (under a CTM it
    // moved); the context's clip is left as it is.
    if (rasterGroups_ > 0) return;
    (void)useCtm(state->getCTM());
    dc_.setFillMode(mode);
    if (!buildPath(state)) {
        // An empty clip path leaves nothing to paint.
        check(dc_.clipRegion({}, gdi::ClipCombine::And));
        return;
    }
    check(dc_.clipPath(gdi::ClipCombine::And));
}

void PagePlayer::clip(GfxState* state) { clipWith(state, gdi::FillMode::Winding); }
void PagePlayer::eoClip(GfxState* state) { clipWith(state, gdi::FillMode::Alternate); }

void PagePlayer::clipToStrokePath(GfxState* state) {
    flushText();
    flushRaster();
    if (raster_) raster_->clipToStrokePath(state);
    if (rasterGroups_ > 0) return;
    const bool world = useCtm(state->getCTM());
    check(dc_.setPen(strokePen(state, world)));
    dc_.setFillMode(gdi::FillMode::Winding);
    if (!buildPath(state)) {
        check(dc_.clipRegion({}, gdi::ClipCombine::And));
        return;
    }
    check(dc_.widenPath());
    check(dc_.clipPath(gdi::ClipCombine::And));
}

}  // namespace tessaly::pdf
