#include "region.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace tessaly::gdi {

Region::Region() { pixman_region32_init(&region_); }

Region::Region(const DeviceRect& r) {
    // A rectangle may be wider than the int range (from one far end of it
    // to the other): the sizes are measured in 64 bits.
    if (r.right > r.left && r.bottom > r.top)
        pixman_region32_init_rect(&region_, r.left, r.top, static_cast<unsigned>(int64_t{r.right} - r.left),
                                  static_cast<unsigned>(int64_t{r.bottom} - r.top));
    else
        pixman_region32_init(&region_);
}

Region::Region(const Region& other) {
    pixman_region32_init(&region_);
    pixman_region32_copy(&region_, const_cast<pixman_region32_t*>(&other.region_));
}

Region& Region::operator=(const Region& other) {
    if (this != &other) pixman_region32_copy(&region_, const_cast<pixman_region32_t*>(&other.region_));
    return *this;
}

Region::~Region() { pixman_region32_fini(&region_); }

Region Region::fromRects(std::span<const DeviceRect> rects) {
    Region out;
    for (const DeviceRect& r : rects) out.unite(Region(r));
    return out;
}

namespace {

struct Edge {
    double x0, y0, x1, y1;
    int dir;
};

struct Span {
    int x0, x1;
    bool operator==(const Span&) const = default;
};

}  // namespace

Region Region::fromPolygons(const std::vector<std::vector<PointD>>& polygons, bool winding,
                            const DeviceRect& limit) {
    std::vector<Edge> edges;
    double ymin = INFINITY, ymax = -INFINITY;
    for (const auto& poly : polygons) {
        for (size_t i = 0; i < poly.size(); ++i) {
            const PointD a = poly[i], b = poly[(i + 1) % poly.size()];
            if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) || !std::isfinite(b.y))
                return Region();
            if (a.y == b.y) continue;
            if (a.y < b.y)
                edges.push_back({a.x, a.y, b.x, b.y, 1});
            else
                edges.push_back({b.x, b.y, a.x, a.y, -1});
            ymin = std::min({ymin, a.y, b.y});
            ymax = std::max({ymax, a.y, b.y});
        }
    }
    Region out;
    if (edges.empty()) return out;
    // Rows whose centre lies in [ymin, ymax).
    const double first = std::max(std::ceil(ymin - 0.5), static_cast<double>(limit.top));
    const double last = std::min(std::ceil(ymax - 0.5), static_cast<double>(limit.bottom));
    if (!(first < last)) return out;
    std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.y0 < b.y0; });

    std::vector<pixman_box32_t> boxes;
    std::vector<Span> spans, previous;
    std::vector<size_t> open;  // boxes of the previous row's spans, in order
    std::vector<std::pair<double, int>> xs;
    std::vector<const Edge*> active;
    size_t next = 0;
    for (int y = static_cast<int>(first); y < static_cast<int>(last); ++y) {
        const double yc = y + 0.5;
        while (next < edges.size() && edges[next].y0 <= yc) active.push_back(&edges[next++]);
        std::erase_if(active, [yc](const Edge* e) { return e->y1 <= yc; });
        xs.clear();
        for (const Edge* e : active) {
            if (e->y0 > yc) continue;
            const double x = e->x0 + (e->x1 - e->x0) * (yc - e->y0) / (e->y1 - e->y0);
            xs.push_back({x, e->dir});
        }
        std::sort(xs.begin(), xs.end());
        spans.clear();
        int count = 0;
        for (size_t i = 0; i + 1 < xs.size(); ++i) {
            count += winding ? xs[i].second : 1;
            const bool inside = winding ? count != 0 : (count & 1) != 0;
            if (!inside) continue;
            const double a = std::max(std::ceil(xs[i].first - 0.5), static_cast<double>(limit.left));
            const double b = std::min(std::ceil(xs[i + 1].first - 0.5), static_cast<double>(limit.right));
            if (a >= b) continue;
            const int ia = static_cast<int>(a), ib = static_cast<int>(b);
            if (!spans.empty() && spans.back().x1 >= ia)
                spans.back().x1 = std::max(spans.back().x1, ib);
            else
                spans.push_back({ia, ib});
        }
        if (spans == previous && !open.empty()) {
            for (size_t b : open) boxes[b].y2 = y + 1;
            continue;
        }
        open.clear();
        for (const Span& s : spans) {
            open.push_back(boxes.size());
            boxes.push_back({s.x0, y, s.x1, y + 1});
        }
        previous = spans;
    }
    if (!boxes.empty()) {
        pixman_region32_fini(&out.region_);
        pixman_region32_init_rects(&out.region_, boxes.data(), static_cast<int>(boxes.size()));
    }
    return out;
}

bool Region::empty() const { return !pixman_region32_not_empty(const_cast<pixman_region32_t*>(&region_)); }

DeviceRect Region::bounds() const {
    if (empty()) return {};
    const pixman_box32_t* b = pixman_region32_extents(const_cast<pixman_region32_t*>(&region_));
    return {b->x1, b->y1, b->x2, b->y2};
}

size_t Region::rectCount() const {
    return static_cast<size_t>(pixman_region32_n_rects(const_cast<pixman_region32_t*>(&region_)));
}

std::vector<DeviceRect> Region::rects() const {
    int n = 0;
    const pixman_box32_t* b = pixman_region32_rectangles(const_cast<pixman_region32_t*>(&region_), &n);
    std::vector<DeviceRect> out;
    out.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) out.push_back({b[i].x1, b[i].y1, b[i].x2, b[i].y2});
    return out;
}

bool Region::contains(const DeviceRect& r) const {
    if (r.right <= r.left || r.bottom <= r.top) return true;
    pixman_box32_t box{r.left, r.top, r.right, r.bottom};
    return pixman_region32_contains_rectangle(const_cast<pixman_region32_t*>(&region_), &box) == PIXMAN_REGION_IN;
}

bool Region::operator==(const Region& other) const {
    return pixman_region32_equal(const_cast<pixman_region32_t*>(&region_),
                                 const_cast<pixman_region32_t*>(&other.region_));
}

void Region::intersect(const Region& o) {
    pixman_region32_intersect(&region_, &region_, const_cast<pixman_region32_t*>(&o.region_));
}
void Region::unite(const Region& o) {
    pixman_region32_union(&region_, &region_, const_cast<pixman_region32_t*>(&o.region_));
}
void Region::subtract(const Region& o) {
    pixman_region32_subtract(&region_, &region_, const_cast<pixman_region32_t*>(&o.region_));
}
void Region::exclusiveOr(const Region& o) {
    Region both(*this);
    both.intersect(o);
    unite(o);
    subtract(both);
}
void Region::translate(int dx, int dy) { pixman_region32_translate(&region_, dx, dy); }

}  // namespace tessaly::gdi
