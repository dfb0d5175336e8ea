#include "geometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tessaly::gdi {

Transform Transform::then(const Transform& n) const {
    Transform r;
    r.m11 = m11 * n.m11 + m12 * n.m21;
    r.m12 = m11 * n.m12 + m12 * n.m22;
    r.m21 = m21 * n.m11 + m22 * n.m21;
    r.m22 = m21 * n.m12 + m22 * n.m22;
    r.dx = dx * n.m11 + dy * n.m21 + n.dx;
    r.dy = dx * n.m12 + dy * n.m22 + n.dy;
    return r;
}

PointD Transform::apply(PointD p) const { return {p.x * m11 + p.y * m21 + dx, p.x * m12 + p.y * m22 + dy}; }

bool Transform::invertible() const {
    const double det = m11 * m22 - m12 * m21;
    return std::isfinite(det) && std::fabs(det) > 1e-12 && std::isfinite(dx) && std::isfinite(dy);
}

FIX toFix(double v) {
    const double f = std::nearbyint(v * 16.0);
    if (!(f > -2147483647.0)) return -2147483647;  // also NaN
    if (f > 2147483647.0) return 2147483647;
    return static_cast<FIX>(f);
}

bool DevicePath::empty() const {
    return std::all_of(figures.begin(), figures.end(), [](const Figure& f) { return f.segments.empty(); });
}

bool DevicePath::hasCurves() const { return curveCount() > 0; }

int DevicePath::curveCount() const {
    int n = 0;
    for (const Figure& f : figures)
        for (const Segment& s : f.segments) n += s.curve ? 1 : 0;
    return n;
}

bool DevicePath::bounds(RectD* out) const {
    bool any = false;
    RectD r;
    auto add = [&](PointD p) {
        if (!any) {
            r = {p.x, p.y, p.x, p.y};
            any = true;
            return;
        }
        r.left = std::min(r.left, p.x);
        r.top = std::min(r.top, p.y);
        r.right = std::max(r.right, p.x);
        r.bottom = std::max(r.bottom, p.y);
    };
    for (const Figure& f : figures) {
        add(f.start);
        for (const Segment& s : f.segments) {
            if (s.curve) {
                add(s.c1);
                add(s.c2);
            }
            add(s.end);
        }
    }
    if (any) *out = r;
    return any;
}

namespace {

// Number of line pieces for a cubic so that the chords stay within
// `tolerance` of the curve (second-difference bound).
int pieces(PointD p0, PointD p1, PointD p2, PointD p3, double tolerance) {
    const double ax = p0.x - 2 * p1.x + p2.x, ay = p0.y - 2 * p1.y + p2.y;
    const double bx = p1.x - 2 * p2.x + p3.x, by = p1.y - 2 * p2.y + p3.y;
    const double d = std::sqrt(std::max(ax * ax + ay * ay, bx * bx + by * by));
    const double n = std::ceil(std::sqrt(0.75 * d / tolerance));
    if (!(n >= 1)) return 1;
    return static_cast<int>(std::min(n, 1024.0));
}

}  // namespace

DevicePath DevicePath::flattened(double tolerance) const {
    DevicePath out;
    out.figures.reserve(figures.size());
    for (const Figure& f : figures) {
        Figure g;
        g.start = f.start;
        g.closed = f.closed;
        PointD cur = f.start;
        for (const Segment& s : f.segments) {
            if (!s.curve) {
                g.segments.push_back(s);
                cur = s.end;
                continue;
            }
            const int n = pieces(cur, s.c1, s.c2, s.end, tolerance);
            for (int i = 1; i <= n; ++i) {
                const double t = static_cast<double>(i) / n, u = 1 - t;
                const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
                Segment line;
                line.end = i == n ? s.end
                                  : PointD{a * cur.x + b * s.c1.x + c * s.c2.x + d * s.end.x,
                                           a * cur.y + b * s.c1.y + c * s.c2.y + d * s.end.y};
                g.segments.push_back(line);
            }
            cur = s.end;
        }
        out.figures.push_back(std::move(g));
    }
    return out;
}

void DevicePath::transform(const Transform& t) {
    for (Figure& f : figures) {
        f.start = t.apply(f.start);
        for (Segment& s : f.segments) {
            s.c1 = t.apply(s.c1);
            s.c2 = t.apply(s.c2);
            s.end = t.apply(s.end);
        }
    }
}

void DevicePath::translate(double dx, double dy) { transform(Transform{1, 0, 0, 1, dx, dy}); }

void addRectangle(DevicePath& path, const RectD& r, const Transform& t) {
    Figure f;
    f.start = t.apply({r.left, r.top});
    for (PointD p : {PointD{r.right, r.top}, PointD{r.right, r.bottom}, PointD{r.left, r.bottom}}) {
        Segment s;
        s.end = t.apply(p);
        f.segments.push_back(s);
    }
    f.closed = true;
    path.figures.push_back(std::move(f));
}

namespace {

// Quarter arcs of an ellipse with centre c and radii rx, ry as cubics,
// starting at angle index `from` (0 = right, 1 = bottom, 2 = left, 3 = top;
// clockwise on a y-down page).
constexpr double kKappa = 0.5522847498307936;

void quarter(Figure& f, PointD c, double rx, double ry, int q, const Transform& t) {
    static constexpr double dirs[4][2] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
    const double* a = dirs[q % 4];
    const double* b = dirs[(q + 1) % 4];
    const PointD p0{c.x + a[0] * rx, c.y + a[1] * ry};
    const PointD p3{c.x + b[0] * rx, c.y + b[1] * ry};
    Segment s;
    s.curve = true;
    s.c1 = t.apply({p0.x + b[0] * rx * kKappa, p0.y + b[1] * ry * kKappa});
    s.c2 = t.apply({p3.x + a[0] * rx * kKappa, p3.y + a[1] * ry * kKappa});
    s.end = t.apply(p3);
    f.segments.push_back(s);
}

}  // namespace

void addEllipse(DevicePath& path, const RectD& r, const Transform& t) {
    const PointD c{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    const double rx = std::fabs(r.right - r.left) / 2, ry = std::fabs(r.bottom - r.top) / 2;
    Figure f;
    f.start = t.apply({c.x + rx, c.y});
    for (int q = 0; q < 4; ++q) quarter(f, c, rx, ry, q, t);
    f.closed = true;
    path.figures.push_back(std::move(f));
}

void addRoundRect(DevicePath& path, const RectD& rect, double cornerWidth, double cornerHeight,
                  const Transform& t) {
    RectD r{std::min(rect.left, rect.right), std::min(rect.top, rect.bottom), std::max(rect.left, rect.right),
            std::max(rect.top, rect.bottom)};
    const double rx = std::min(std::fabs(cornerWidth) / 2, (r.right - r.left) / 2);
    const double ry = std::min(std::fabs(cornerHeight) / 2, (r.bottom - r.top) / 2);
    if (rx <= 0 || ry <= 0) {
        addRectangle(path, r, t);
        return;
    }
    Figure f;
    auto line = [&](PointD p) {
        Segment s;
        s.end = t.apply(p);
        f.segments.push_back(s);
    };
    f.start = t.apply({r.right, r.top + ry});
    line({r.right, r.bottom - ry});
    quarter(f, {r.right - rx, r.bottom - ry}, rx, ry, 0, t);
    line({r.left + rx, r.bottom});
    quarter(f, {r.left + rx, r.bottom - ry}, rx, ry, 1, t);
    line({r.left, r.top + ry});
    quarter(f, {r.left + rx, r.top + ry}, rx, ry, 2, t);
    line({r.right - rx, r.top});
    quarter(f, {r.right - rx, r.top + ry}, rx, ry, 3, t);
    f.closed = true;
    path.figures.push_back(std::move(f));
}

std::vector<Polyline> polylines(const DevicePath& flat) {
    std::vector<Polyline> out;
    for (const Figure& f : flat.figures) {
        Polyline l;
        l.closed = f.closed;
        l.points.push_back(f.start);
        for (const Segment& s : f.segments) l.points.push_back(s.end);
        if (l.closed && l.points.size() > 1 && l.points.back().x == l.points.front().x &&
            l.points.back().y == l.points.front().y)
            l.points.pop_back();
        out.push_back(std::move(l));
    }
    return out;
}

std::vector<Polyline> dash(const std::vector<Polyline>& lines, std::span<const double> pattern) {
    double period = 0;
    for (double d : pattern) period += std::max(d, 0.0);
    if (pattern.empty() || !(period > 0) || !std::isfinite(period)) return lines;
    // Dashes finer than the pixels they would cover draw the line solid
    // (and a pattern of near-zero lengths cannot run the walk forever).
    double length = 0;
    for (const Polyline& l : lines)
        for (size_t i = 1; i <= l.points.size(); ++i) {
            if (i == l.points.size() && !l.closed) break;
            const PointD a = l.points[i - 1], b = l.points[i % l.points.size()];
            length += std::hypot(b.x - a.x, b.y - a.y);
        }
    if (!std::isfinite(length) || length / period * static_cast<double>(pattern.size()) > 4e6) return lines;
    std::vector<Polyline> out;
    size_t index = 0;
    double left = std::max(pattern[0], 0.0);  // what remains of the current entry
    bool on = true;
    for (const Polyline& l : lines) {
        std::vector<PointD> pts = l.points;
        if (l.closed && !pts.empty()) pts.push_back(pts.front());
        Polyline piece;
        if (on && !pts.empty()) piece.points.push_back(pts[0]);
        for (size_t i = 1; i < pts.size(); ++i) {
            PointD a = pts[i - 1];
            const PointD b = pts[i];
            double len = std::hypot(b.x - a.x, b.y - a.y);
            while (len > 0) {
                const double step = std::min(left, len);
                const double k = step / len;
                const PointD m{a.x + (b.x - a.x) * k, a.y + (b.y - a.y) * k};
                if (on) piece.points.push_back(m);
                a = m;
                len -= step;
                left -= step;
                if (left <= 1e-9) {
                    if (on && piece.points.size() > 1) out.push_back(std::move(piece));
                    piece = Polyline{};
                    on = !on;
                    index = (index + 1) % pattern.size();
                    left = std::max(pattern[index], 0.0);
                    if (on) piece.points.push_back(a);
                }
            }
        }
        if (on && piece.points.size() > 1) out.push_back(std::move(piece));
    }
    return out;
}

namespace {

double cross(PointD a, PointD b) { return a.x * b.y - a.y * b.x; }

double signedArea(const std::vector<PointD>& p) {
    double a = 0;
    for (size_t i = 0; i < p.size(); ++i) a += cross(p[i], p[(i + 1) % p.size()]);
    return a / 2;
}

void emit(std::vector<std::vector<PointD>>& out, std::vector<PointD> poly) {
    if (poly.size() < 3) return;
    if (signedArea(poly) < 0) std::reverse(poly.begin(), poly.end());
    out.push_back(std::move(poly));
}

void disc(std::vector<std::vector<PointD>>& out, PointD c, double r) {
    const int n = std::clamp(static_cast<int>(std::ceil(r * 2)), 8, 64);
    std::vector<PointD> poly;
    for (int i = 0; i < n; ++i) {
        const double a = 2 * std::numbers::pi * i / n;
        poly.push_back({c.x + r * std::cos(a), c.y + r * std::sin(a)});
    }
    emit(out, std::move(poly));
}

}  // namespace

std::vector<std::vector<PointD>> widen(const std::vector<Polyline>& lines, const StrokeShape& shape) {
    std::vector<std::vector<PointD>> out;
    const double h = std::max(shape.width, 1.0) / 2;
    for (const Polyline& l : lines) {
        // Drop repeated points; a figure of one point draws nothing but a
        // round or square dot.
        std::vector<PointD> p;
        for (PointD q : l.points)
            if (p.empty() || q.x != p.back().x || q.y != p.back().y) p.push_back(q);
        if (p.empty()) continue;
        const bool closed = l.closed && p.size() > 2;
        if (p.size() == 1) {
            if (shape.cap == LineCap::Round) disc(out, p[0], h);
            if (shape.cap == LineCap::Square)
                emit(out, {{p[0].x - h, p[0].y - h}, {p[0].x + h, p[0].y - h}, {p[0].x + h, p[0].y + h},
                           {p[0].x - h, p[0].y + h}});
            continue;
        }
        const size_t n = p.size();
        const size_t segs = closed ? n : n - 1;
        auto normal = [&](size_t i) {
            const PointD a = p[i], b = p[(i + 1) % n];
            const double len = std::hypot(b.x - a.x, b.y - a.y);
            if (!(len > 0)) return PointD{0, 0};
            return PointD{-(b.y - a.y) / len * h, (b.x - a.x) / len * h};
        };
        for (size_t i = 0; i < segs; ++i) {
            PointD a = p[i], b = p[(i + 1) % n];
            if (!closed && shape.cap == LineCap::Square) {
                const double len = std::hypot(b.x - a.x, b.y - a.y);
                const PointD d{(b.x - a.x) / len * h, (b.y - a.y) / len * h};
                if (i == 0) a = {a.x - d.x, a.y - d.y};
                if (i + 1 == segs) b = {b.x + d.x, b.y + d.y};
            }
            const PointD nm = normal(i);
            emit(out, {{a.x + nm.x, a.y + nm.y}, {b.x + nm.x, b.y + nm.y}, {b.x - nm.x, b.y - nm.y},
                       {a.x - nm.x, a.y - nm.y}});
        }
        // Joins at inner vertices (and all vertices of a closed figure).
        for (size_t i = closed ? 0 : 1; i < (closed ? n : n - 1); ++i) {
            const size_t prev = (i + n - 1) % n;
            const PointD v = p[i];
            const PointD n0 = normal(prev), n1 = normal(i);
            if (shape.join == LineJoin::Round) {
                disc(out, v, h);
                continue;
            }
            const PointD d0{p[i].x - p[prev].x, p[i].y - p[prev].y};
            const PointD d1{p[(i + 1) % n].x - p[i].x, p[(i + 1) % n].y - p[i].y};
            const double turn = cross(d0, d1);
            if (turn == 0) continue;
            // The outer side of the turn.
            const double s = turn > 0 ? -1 : 1;
            const PointD o0{v.x + s * n0.x, v.y + s * n0.y}, o1{v.x + s * n1.x, v.y + s * n1.y};
            std::vector<PointD> poly{v, o0, o1};
            if (shape.join == LineJoin::Miter) {
                // Miter point: where the two offset edges meet.
                const double cosTheta = (n0.x * n1.x + n0.y * n1.y) / (h * h);
                const double miterLen = 1 / std::sqrt(std::max((1 + cosTheta) / 2, 1e-12));  // in half-widths
                if (miterLen <= std::max(shape.miterLimit, 1.0)) {
                    const PointD mid{(n0.x + n1.x) / 2, (n0.y + n1.y) / 2};
                    const double ml = std::hypot(mid.x, mid.y);
                    if (ml > 0) {
                        const double k = h * miterLen / ml;
                        poly = {v, o0, {v.x + s * mid.x * k, v.y + s * mid.y * k}, o1};
                    }
                }
            }
            emit(out, std::move(poly));
        }
        if (!closed && shape.cap == LineCap::Round) {
            disc(out, p.front(), h);
            disc(out, p.back(), h);
        }
    }
    return out;
}

}  // namespace tessaly::gdi
