// The device context: drawing state, paths, clipping, document events and
// the recording of a banding page.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "context_internal.h"
#include "context_state.h"
#include "deferral.h"
#include "platform/gdi_engine_control.h"

namespace tessaly::gdi {

DeviceContext::DeviceContext(PrinterDevice& device) : impl_(std::make_unique<Impl>(device.impl())) {}

DeviceContext::~DeviceContext() {
    if (impl_->inDoc) (void)endDoc(true);
    // What the surface keeps of our pages is rendered while we are here to
    // render it.
    if (impl_->device.surface) stopDeferring(impl_->device.surface);
}

namespace {

// An operation of a deferred page, rendered again without the driver when
// the surface's pixels are needed.
class KeptOperation : public DeferredPiece {
public:
    KeptOperation(Player& player, DrawOp&& op, std::vector<bool>&& answers)
        : player_(player), op_(std::move(op)), answers_(std::move(answers)) {}
    void render() override {
        std::string why;
        (void)player_.replay(op_, answers_, &why);
    }

private:
    Player& player_;
    DrawOp op_;
    std::vector<bool> answers_;
};

}  // namespace

const std::string& DeviceContext::errorText() const { return impl_->error; }
void DeviceContext::clearError() { impl_->error.clear(); }

DeviceContext::Impl::Impl(PrinterDevice::Impl& d) : device(d), player(d) {
    state.font.lfHeight = -static_cast<LONG>(std::max<ULONG>(d.gdiInfo().ulLogPixelsY, 72) / 6);  // 12 points
    state.font.lfWeight = FW_NORMAL;
    state.font.lfCharSet = DEFAULT_CHARSET;
    const char16_t face[] = u"Arial";
    std::memcpy(state.font.lfFaceName, face, sizeof face);
}

bool DeviceContext::Impl::fail(const std::string& what) {
    if (error.empty()) error = what;
    return false;
}

DeviceRect DeviceContext::Impl::pageRect() const { return {0, 0, device.pageWidth(), device.pageHeight()}; }

Region DeviceContext::Impl::effectiveClip() const {
    Region all(pageRect());
    if (state.clipped) all.intersect(state.clip);
    return all;
}

bool DeviceContext::Impl::submit(DrawOp&& op) {
    if (!inPage) return fail("drawing outside a page");
    if (!device.surface) return fail("the printer device is closed");
    op.clip = effectiveClip();
    if (op.clipped) op.clip.intersect(Region(op.clipRect));
    op.clipPath = state.clipPath;
    // Nothing to draw when the drawing lies wholly outside the clip.
    if (emptyRect(intersect(op.bounds, op.clip.bounds()))) return true;
    if (device.banding) {
        page.push_back(std::move(op));
        return true;
    }
    std::string why;
    if (deferring(device.surface)) {
        // The driver gets its calls now; the engine keeps their rendering
        // until the pixels are needed, and we keep the operation for it.
        std::vector<bool> answers;
        beginDeferredPiece(device.surface);
        const bool ok = player.record(op, &answers, &why);
        if (!endDeferredPiece(device.surface))
            keepDeferred(device.surface, std::make_unique<KeptOperation>(player, std::move(op), std::move(answers)));
        if (ok) return true;
    } else if (player.play(op, POINTL{0, 0}, &why)) {
        return true;
    }
    pageFailed = true;
    return fail(why.empty() ? "the driver failed a drawing call" : why);
}

// ---- document events ----

bool DeviceContext::startDoc(std::u16string_view name, DWORD jobId) {
    Impl& d = *impl_;
    if (d.inDoc) return d.fail("startDoc: a document is already open");
    if (!d.device.surface) return d.fail("startDoc: the printer device is closed");
    const auto fn = functionAs<PFN_DrvStartDoc>(d.device.find(INDEX_DrvStartDoc));
    if (!fn) return d.fail("startDoc: the driver has no DrvStartDoc");
    std::u16string copy(name);
    if (!fn(d.device.surface, copy.data(), jobId)) return d.fail("startDoc: DrvStartDoc failed");
    d.inDoc = true;
    return true;
}

bool DeviceContext::startPage() {
    Impl& d = *impl_;
    if (!d.inDoc) return d.fail("startPage: no document is open");
    if (!d.device.surface) return d.fail("startPage: the printer device is closed");
    if (d.inPage) return d.fail("startPage: a page is already open");
    const auto fn = functionAs<PFN_DrvStartPage>(d.device.find(INDEX_DrvStartPage));
    if (!fn) return d.fail("startPage: the driver has no DrvStartPage");
    d.page.clear();
    d.pageFailed = false;
    if (deferredDrawing() && !d.device.banding)
        startDeferring(d.device.surface);
    else
        stopDeferring(d.device.surface);
    if (!fn(d.device.surface)) return d.fail("startPage: DrvStartPage failed");
    d.inPage = true;
    return true;
}

bool DeviceContext::endPage() {
    Impl& d = *impl_;
    if (!d.inPage) return d.fail("endPage: no page is open");
    d.inPage = false;
    bool ok = true;
    if (d.device.banding) ok = d.playBands();
    std::vector<DrawOp>().swap(d.page);
    const auto send = functionAs<PFN_DrvSendPage>(d.device.find(INDEX_DrvSendPage));
    if (!send) return d.fail("endPage: the driver has no DrvSendPage");
    if (!send(d.device.surface)) return d.fail("endPage: DrvSendPage failed");
    // A drawing call that failed on the page fails the page, banding or not.
    return ok && !d.pageFailed;
}

bool DeviceContext::Impl::playBands() {
    const auto start = functionAs<PFN_DrvStartBanding>(device.find(INDEX_DrvStartBanding));
    const auto next = functionAs<PFN_DrvNextBand>(device.find(INDEX_DrvNextBand));
    if (!start || !next) return fail("endPage: the banding driver has no DrvStartBanding or DrvNextBand");
    POINTL origin{0, 0};
    if (!start(device.surface, &origin)) return fail("endPage: DrvStartBanding failed");
    bool ok = true;
    // A page cannot have more bands than rows; a driver that keeps going is
    // stopped there.
    const int64_t limit = static_cast<int64_t>(std::max(device.pageHeight(), 1)) + 2;
    for (int64_t bands = 0;; ++bands) {
        if (origin.x == -1 && origin.y == -1) break;
        if (bands >= limit) return fail("endPage: the driver's bands never ended");
        for (const DrawOp& op : page) {
            std::string why;
            if (!player.play(op, origin, &why)) {
                ok = false;
                fail(why.empty() ? "endPage: the driver failed a drawing call" : why);
            }
        }
        if (!next(device.surface, &origin)) return fail("endPage: DrvNextBand failed");
    }
    return ok;
}

bool DeviceContext::endDoc(bool abort) {
    Impl& d = *impl_;
    if (!d.inDoc) return d.fail("endDoc: no document is open");
    bool ok = true;
    if (d.inPage) {
        if (abort) {
            // An aborted page is dropped: nothing more reaches the driver.
            d.inPage = false;
            std::vector<DrawOp>().swap(d.page);
        } else {
            ok = endPage();
        }
    }
    d.inDoc = false;
    const auto fn = functionAs<PFN_DrvEndDoc>(d.device.find(INDEX_DrvEndDoc));
    if (!fn) return d.fail("endDoc: the driver has no DrvEndDoc");
    if (!fn(d.device.surface, abort ? ED_ABORTDOC : 0)) return d.fail("endDoc: DrvEndDoc failed");
    return ok;
}

bool DeviceContext::inPage() const { return impl_->inPage; }

bool DeviceContext::resetDevice(DEVMODEW* devmode) {
    Impl& d = *impl_;
    if (d.inPage) return d.fail("resetDevice: inside a page");
    std::string why;
    if (!d.device.reset(devmode, &why)) return d.fail("resetDevice: " + why);
    return true;
}

// ---- state ----

int DeviceContext::save() {
    impl_->saved.push_back(impl_->state);
    return static_cast<int>(impl_->saved.size());
}

bool DeviceContext::restore(int level) {
    Impl& d = *impl_;
    const int depth = static_cast<int>(d.saved.size());
    const int target = level < 0 ? depth + level + 1 : level;
    if (level == 0 || target < 1 || target > depth) return d.fail("restore: no such saved state");
    d.state = d.saved[static_cast<size_t>(target - 1)];
    d.saved.resize(static_cast<size_t>(target - 1));
    return true;
}

bool DeviceContext::setTransform(const Transform& t, TransformMode mode) {
    Impl& d = *impl_;
    Transform next;
    switch (mode) {
        case TransformMode::Identity:
            next = Transform{};
            break;
        case TransformMode::LeftMultiply:
            next = t.then(d.state.world);
            break;
        case TransformMode::RightMultiply:
            next = d.state.world.then(t);
            break;
        case TransformMode::Set:
            next = t;
            break;
    }
    if (!next.invertible() || !std::isfinite(next.m11) || !std::isfinite(next.m12) || !std::isfinite(next.m21) ||
        !std::isfinite(next.m22))
        return d.fail("setTransform: the transform cannot be inverted");
    d.state.world = next;
    return true;
}

const Transform& DeviceContext::transform() const { return impl_->state.world; }

bool DeviceContext::setPen(const Pen& pen) {
    Impl& d = *impl_;
    if (!(pen.width >= 0) || !std::isfinite(pen.width)) return d.fail("setPen: bad width");
    if (pen.style == PenStyle::User) {
        if (pen.dashes.empty() || pen.dashes.size() > 16) return d.fail("setPen: a dash array needs 1 to 16 lengths");
        double sum = 0;
        for (double v : pen.dashes) {
            if (!(v >= 0) || !std::isfinite(v)) return d.fail("setPen: bad dash length");
            sum += v;
        }
        if (sum <= 0) return d.fail("setPen: the dash lengths are all zero");
    }
    d.state.pen = pen;
    if (!(d.state.pen.miterLimit >= 1)) d.state.pen.miterLimit = 1;
    return true;
}

bool DeviceContext::setBrush(const Brush& brush) {
    Impl& d = *impl_;
    std::shared_ptr<const Pixels> tile;
    if (brush.style == BrushStyle::Pattern) {
        auto px = copyPixels(brush.pattern, &d.error);
        if (!px) return false;
        tile = std::move(px);
    }
    d.state.brush = brush;
    d.state.brush.pattern = BitmapView{};
    d.state.pattern = std::move(tile);
    return true;
}

void DeviceContext::setFillMode(FillMode mode) { impl_->state.fillMode = mode; }
void DeviceContext::setMix(int rop2) { impl_->state.mix = rop2 >= R2_BLACK && rop2 <= R2_WHITE ? rop2 : R2_COPYPEN; }
void DeviceContext::setTextColor(Color color) { impl_->state.textColor = color & 0xFFFFFF; }
void DeviceContext::setBackgroundColor(Color color) { impl_->state.background = color & 0xFFFFFF; }
void DeviceContext::setBackgroundMode(BackgroundMode mode) { impl_->state.backgroundMode = mode; }

bool DeviceContext::setFont(const LOGFONTW& font) {
    if (font.lfHeight == 0 && font.lfWidth == 0) {
        LOGFONTW f = font;
        f.lfHeight = impl_->state.font.lfHeight;
        impl_->state.font = f;
        return true;
    }
    impl_->state.font = font;
    return true;
}

void DeviceContext::setTextAlign(TextAlignX x, TextAlignY y) {
    impl_->state.alignX = x;
    impl_->state.alignY = y;
}

// ---- clipping ----

namespace {

bool axisAlignedTransform(const Transform& t) {
    return (t.m12 == 0 && t.m21 == 0) || (t.m11 == 0 && t.m22 == 0);
}

}  // namespace

bool DeviceContext::Impl::combineClip(const Region& region, std::shared_ptr<const ClipPath> clipPath,
                                      ClipCombine combine) {
    const Region whole(pageRect());
    Region current = state.clipped ? state.clip : whole;
    const bool hadClip = state.clipped;
    switch (combine) {
        case ClipCombine::Copy:
            current = region;
            break;
        case ClipCombine::And:
            current.intersect(region);
            break;
        case ClipCombine::Or:
            current.unite(region);
            break;
        case ClipCombine::Diff:
            current.subtract(region);
            break;
        case ClipCombine::Xor:
            current.exclusiveOr(region);
            break;
    }
    current.intersect(whole);
    state.clip = current;
    state.clipped = true;
    // The path form is kept only while the clip is exactly that path.
    const bool pathOnly = combine == ClipCombine::Copy || (combine == ClipCombine::And && !hadClip);
    state.clipPath = pathOnly ? std::move(clipPath) : nullptr;
    return true;
}

bool DeviceContext::clipRect(const RectD& rect, ClipCombine combine) {
    Impl& d = *impl_;
    DevicePath p;
    addRectangle(p, rect, d.state.world);
    if (axisAlignedTransform(d.state.world)) {
        RectD b;
        if (!p.bounds(&b)) return d.fail("clipRect: bad rectangle");
        // Edges at pixel boundaries: a pixel is in when its centre is.
        const DeviceRect r{static_cast<int32_t>(std::clamp(std::ceil(b.left - 0.5), -1e9, 1e9)),
                           static_cast<int32_t>(std::clamp(std::ceil(b.top - 0.5), -1e9, 1e9)),
                           static_cast<int32_t>(std::clamp(std::ceil(b.right - 0.5), -1e9, 1e9)),
                           static_cast<int32_t>(std::clamp(std::ceil(b.bottom - 0.5), -1e9, 1e9))};
        return d.combineClip(Region(r), nullptr, combine);
    }
    auto path = std::make_shared<ClipPath>();
    path->path = p;
    Region r = Region::fromPolygons({polylines(p)[0].points}, false, d.pageRect());
    return d.combineClip(r, path, combine);
}

bool DeviceContext::clipRegion(std::span<const DeviceRect> rects, ClipCombine combine) {
    return impl_->combineClip(Region::fromRects(rects), nullptr, combine);
}

bool DeviceContext::clipPath(ClipCombine combine) {
    Impl& d = *impl_;
    if (d.pathState != Impl::PathState::Closed) return d.fail("clipPath: no finished path");
    auto clip = std::make_shared<ClipPath>();
    clip->path = std::move(d.path);
    clip->winding = d.state.fillMode == FillMode::Winding;
    d.path = DevicePath{};
    d.pathState = Impl::PathState::None;
    std::vector<std::vector<PointD>> polys;
    for (const Polyline& l : polylines(clip->path.flattened())) polys.push_back(l.points);
    const Region r = Region::fromPolygons(polys, clip->winding, d.pageRect());
    return d.combineClip(r, clip, combine);
}

void DeviceContext::resetClip() {
    impl_->state.clipped = false;
    impl_->state.clip = Region();
    impl_->state.clipPath = nullptr;
}

// ---- paths ----

bool DeviceContext::beginPath() {
    Impl& d = *impl_;
    d.path = DevicePath{};
    d.pathState = Impl::PathState::Open;
    d.figureOpen = false;
    return true;
}

bool DeviceContext::endPath() {
    Impl& d = *impl_;
    if (d.pathState != Impl::PathState::Open) return d.fail("endPath: no open path");
    d.pathState = Impl::PathState::Closed;
    d.figureOpen = false;
    return true;
}

void DeviceContext::abortPath() {
    impl_->path = DevicePath{};
    impl_->pathState = Impl::PathState::None;
    impl_->figureOpen = false;
}

Figure& DeviceContext::Impl::figure() {
    if (!figureOpen) {
        Figure f;
        f.start = state.world.apply(state.position);
        path.figures.push_back(f);
        figureOpen = true;
    }
    return path.figures.back();
}

bool DeviceContext::moveTo(PointD p) {
    Impl& d = *impl_;
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return d.fail("moveTo: bad point");
    d.state.position = p;
    d.figureOpen = false;
    return true;
}

bool DeviceContext::lineTo(PointD p) {
    Impl& d = *impl_;
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return d.fail("lineTo: bad point");
    if (d.pathState == Impl::PathState::Open) {
        Segment s;
        s.end = d.state.world.apply(p);
        d.figure().segments.push_back(s);
        d.state.position = p;
        return true;
    }
    DevicePath line;
    Figure f;
    f.start = d.state.world.apply(d.state.position);
    Segment s;
    s.end = d.state.world.apply(p);
    f.segments.push_back(s);
    line.figures.push_back(f);
    d.state.position = p;
    return d.draw(std::move(line), false, true);
}

bool DeviceContext::bezierTo(PointD c1, PointD c2, PointD end) {
    Impl& d = *impl_;
    for (PointD p : {c1, c2, end})
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return d.fail("bezierTo: bad point");
    Segment s;
    s.curve = true;
    s.c1 = d.state.world.apply(c1);
    s.c2 = d.state.world.apply(c2);
    s.end = d.state.world.apply(end);
    if (d.pathState == Impl::PathState::Open) {
        d.figure().segments.push_back(s);
        d.state.position = end;
        return true;
    }
    DevicePath curve;
    Figure f;
    f.start = d.state.world.apply(d.state.position);
    f.segments.push_back(s);
    curve.figures.push_back(f);
    d.state.position = end;
    return d.draw(std::move(curve), false, true);
}

bool DeviceContext::closeFigure() {
    Impl& d = *impl_;
    if (d.pathState != Impl::PathState::Open) return d.fail("closeFigure: no open path");
    if (!d.figureOpen) return true;
    Figure& f = d.path.figures.back();
    f.closed = true;
    // The next segment starts a new figure at the start of this one.
    d.figureOpen = false;
    const Transform& t = d.state.world;
    const double det = t.m11 * t.m22 - t.m12 * t.m21;
    const double x = f.start.x - t.dx, y = f.start.y - t.dy;
    d.state.position = {(x * t.m22 - y * t.m21) / det, (y * t.m11 - x * t.m12) / det};
    return true;
}

bool DeviceContext::Impl::usePath(DevicePath* out) {
    if (pathState != PathState::Closed) return fail("no finished path");
    *out = std::move(path);
    path = DevicePath{};
    pathState = PathState::None;
    return true;
}

bool DeviceContext::fillPath() {
    DevicePath p;
    if (!impl_->usePath(&p)) return false;
    return impl_->draw(std::move(p), true, false);
}

bool DeviceContext::strokePath() {
    DevicePath p;
    if (!impl_->usePath(&p)) return false;
    return impl_->draw(std::move(p), false, true);
}

bool DeviceContext::strokeAndFillPath() {
    DevicePath p;
    if (!impl_->usePath(&p)) return false;
    return impl_->draw(std::move(p), true, true);
}

bool DeviceContext::widenPath() {
    Impl& d = *impl_;
    if (d.pathState != Impl::PathState::Closed) return d.fail("widenPath: no finished path");
    d.path = strokeOutline(d.path, d.state.pen, d.state.world, d.device.gdiInfo());
    return true;
}

// A shape: added to an open path, else filled and outlined.
bool DeviceContext::Impl::shape(DevicePath&& shapePath, bool fillIt) {
    if (pathState == PathState::Open) {
        for (Figure& f : shapePath.figures) path.figures.push_back(std::move(f));
        figureOpen = false;
        return true;
    }
    return draw(std::move(shapePath), fillIt, true);
}

bool DeviceContext::Impl::draw(DevicePath&& p, bool fillIt, bool strokeIt) {
    if (p.empty()) return true;
    if (!inPage) return fail("drawing outside a page");
    const bool fills = fillIt && state.brush.style != BrushStyle::Null;
    const bool strokes = strokeIt && state.pen.style != PenStyle::Null;
    if (!fills && !strokes) return true;
    DrawOp op;
    op.kind = fills && strokes ? DrawOp::Kind::StrokeFill : fills ? DrawOp::Kind::Fill : DrawOp::Kind::Stroke;
    RectD b;
    if (!p.bounds(&b)) return true;
    double grow = 0;
    if (strokes) {
        const Transform& t = state.world;
        const double scale = std::sqrt(std::fabs(t.m11 * t.m22 - t.m12 * t.m21));
        const double w = state.pen.geometric ? state.pen.width * scale : 1;
        // Miter joins can reach miterLimit half-widths out.
        grow += w / 2 * std::max(state.pen.miterLimit, 1.5) + 1;
    }
    op.bounds = pixelBounds({b.left - grow, b.top - grow, b.right + grow, b.bottom + grow});
    op.path = std::move(p);
    op.winding = state.fillMode == FillMode::Winding;
    op.pen = state.pen;
    op.world = state.world;
    op.brush = state.brush;
    op.pattern = state.pattern;
    op.mix = state.mix;
    op.background = state.background;
    op.transparentBackground = state.backgroundMode == BackgroundMode::Transparent;
    return submit(std::move(op));
}

bool DeviceContext::rectangle(const RectD& rect) {
    DevicePath p;
    addRectangle(p, rect, impl_->state.world);
    return impl_->shape(std::move(p), true);
}

bool DeviceContext::roundRect(const RectD& rect, double cornerWidth, double cornerHeight) {
    DevicePath p;
    addRoundRect(p, rect, cornerWidth, cornerHeight, impl_->state.world);
    return impl_->shape(std::move(p), true);
}

bool DeviceContext::ellipse(const RectD& bounds) {
    DevicePath p;
    addEllipse(p, bounds, impl_->state.world);
    return impl_->shape(std::move(p), true);
}

bool DeviceContext::polygon(std::span<const PointD> points) {
    const int count = static_cast<int>(points.size());
    return polyPolygon(points, std::span<const int>(&count, 1));
}

bool DeviceContext::polyPolygon(std::span<const PointD> points, std::span<const int> counts) {
    Impl& d = *impl_;
    DevicePath p;
    size_t at = 0;
    for (int n : counts) {
        if (n < 0 || static_cast<size_t>(n) > points.size() - at)
            return d.fail("polyPolygon: counts exceed the points");
        if (n >= 2) {
            Figure f;
            f.start = d.state.world.apply(points[at]);
            for (int i = 1; i < n; ++i) {
                Segment s;
                s.end = d.state.world.apply(points[at + static_cast<size_t>(i)]);
                f.segments.push_back(s);
            }
            f.closed = true;
            p.figures.push_back(std::move(f));
        }
        at += static_cast<size_t>(n);
    }
    for (const PointD& q : points)
        if (!std::isfinite(q.x) || !std::isfinite(q.y)) return d.fail("polygon: bad point");
    return d.shape(std::move(p), true);
}

bool DeviceContext::polyline(std::span<const PointD> points) {
    Impl& d = *impl_;
    if (points.size() < 2) return true;
    for (const PointD& q : points)
        if (!std::isfinite(q.x) || !std::isfinite(q.y)) return d.fail("polyline: bad point");
    DevicePath p;
    Figure f;
    f.start = d.state.world.apply(points[0]);
    for (size_t i = 1; i < points.size(); ++i) {
        Segment s;
        s.end = d.state.world.apply(points[i]);
        f.segments.push_back(s);
    }
    p.figures.push_back(std::move(f));
    if (d.pathState == Impl::PathState::Open) return d.shape(std::move(p), false);
    return d.draw(std::move(p), false, true);
}

}  // namespace tessaly::gdi
