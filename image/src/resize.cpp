// Resampling: nearest, plain mean, bilinear / quadratic-window mean and
// cubic B-spline / cubic-window mean.

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "image/image.h"

namespace tessaly {

namespace {

// Keeps results that are whole numbers in exact arithmetic (a flat area
// resampled) from truncating one below through rounding.
constexpr double kBias = 1e-6;

inline uint8_t toChannel(double v) {
    v += kBias;
    if (!(v > 0)) return 0;
    if (v >= 255) return 255;
    return uint8_t(v);
}

// The source span of every destination column (or row): it starts at
// floor(x), x being the step w / W added up in single precision, and covers
// floor(x + step) - floor(x) pixels (at least 1), clipped to the source.
struct Span {
    uint32_t start;
    uint32_t count;
    uint32_t weights;  // first normalised weight in Axis::weights
};

struct Axis {
    std::vector<Span> spans;
    std::vector<double> weights;
};

double quadraticWindow(double t) {
    t = std::fabs(t);
    if (t < 0.5) return 0.75 - t * t;
    if (t < 1.5) return 0.5 * (t - 1.5) * (t - 1.5);
    return 0;
}

double cubicWindow(double t) {
    t = std::fabs(t);
    if (t < 1) return (3 * t * t * t - 6 * t * t + 4) / 6;
    if (t < 2) return (2 - t) * (2 - t) * (2 - t) / 6;
    return 0;
}

// window: 0 none (plain weights), 2 quadratic, 3 cubic.
Axis buildAxis(uint32_t source, uint32_t dest, int window) {
    Axis axis;
    axis.spans.resize(dest);
    const float step = float(source) / float(dest);
    float x = 0;
    for (uint32_t j = 0; j < dest; ++j) {
        const float next = x + step;
        const auto first = int64_t(std::floor(x));
        int64_t count = int64_t(std::floor(next)) - first;
        if (count <= 0) count = 1;
        const int64_t start = std::clamp<int64_t>(first, 0, int64_t(source) - 1);
        count = std::min<int64_t>(count, int64_t(source) - start);
        Span& span = axis.spans[j];
        span.start = uint32_t(start);
        span.count = uint32_t(count);
        span.weights = uint32_t(axis.weights.size());
        if (window) {
            const double r = window == 2 ? 1.5 : 2.0;
            const double n = double(count);
            double sum = 0;
            const size_t at = axis.weights.size();
            for (int64_t k = 0; k < count; ++k) {
                const double t = r / n - r + 2 * r * double(k) / n;
                const double w = window == 2 ? quadraticWindow(t) : cubicWindow(t);
                axis.weights.push_back(w);
                sum += w;
            }
            for (size_t k = at; k < axis.weights.size(); ++k) axis.weights[k] /= sum;
        }
        x = next;
    }
    return axis;
}

// Interpolation taps at position j * source / dest: the floor index and the
// fractional part.
void interpolationPosition(uint32_t j, uint32_t source, uint32_t dest, int64_t& base,
                           double& frac) {
    const double p = double(j) * double(source) / double(dest);
    base = int64_t(std::floor(p));
    frac = p - double(base);
}

// The cubic B-spline kernel (P(x+2)^3 - 4 P(x+1)^3 + 6 P(x)^3 - 4 P(x-1)^3) / 6.
double bspline(double x) {
    auto cube = [](double u) { return u > 0 ? u * u * u : 0.0; };
    return (cube(x + 2) - 4 * cube(x + 1) + 6 * cube(x) - 4 * cube(x - 1)) / 6;
}

inline const uint8_t* pixel(const Image& image, int64_t x, int64_t y) {
    x = std::clamp<int64_t>(x, 0, int64_t(image.width()) - 1);
    y = std::clamp<int64_t>(y, 0, int64_t(image.height()) - 1);
    return image.rgbRow(uint32_t(y)) + size_t(x) * 3;
}

void resampleNearest(const Image& src, Image& dst, const Axis& ax, const Axis& ay) {
    for (uint32_t i = 0; i < dst.height(); ++i) {
        const uint8_t* in = src.rgbRow(ay.spans[i].start);
        uint8_t* out = dst.rgbRow(i);
        for (uint32_t j = 0; j < dst.width(); ++j, out += 3) {
            const uint8_t* p = in + size_t(ax.spans[j].start) * 3;
            out[0] = p[0];
            out[1] = p[1];
            out[2] = p[2];
        }
    }
}

void resampleMean(const Image& src, Image& dst, const Axis& ax, const Axis& ay) {
    for (uint32_t i = 0; i < dst.height(); ++i) {
        const Span& sy = ay.spans[i];
        uint8_t* out = dst.rgbRow(i);
        for (uint32_t j = 0; j < dst.width(); ++j, out += 3) {
            const Span& sx = ax.spans[j];
            uint64_t sum[3] = {0, 0, 0};
            for (uint32_t r = 0; r < sy.count; ++r) {
                const uint8_t* p = src.rgbRow(sy.start + r) + size_t(sx.start) * 3;
                for (uint32_t k = 0; k < sx.count; ++k, p += 3) {
                    sum[0] += p[0];
                    sum[1] += p[1];
                    sum[2] += p[2];
                }
            }
            const uint64_t n = uint64_t(sx.count) * sy.count;
            for (int c = 0; c < 3; ++c) out[c] = uint8_t(sum[c] / n);
        }
    }
}

void resampleWindowed(const Image& src, Image& dst, const Axis& ax, const Axis& ay) {
    for (uint32_t i = 0; i < dst.height(); ++i) {
        const Span& sy = ay.spans[i];
        uint8_t* out = dst.rgbRow(i);
        for (uint32_t j = 0; j < dst.width(); ++j, out += 3) {
            const Span& sx = ax.spans[j];
            const double* wx = ax.weights.data() + sx.weights;
            double acc[3] = {0, 0, 0};
            for (uint32_t r = 0; r < sy.count; ++r) {
                const uint8_t* p = src.rgbRow(sy.start + r) + size_t(sx.start) * 3;
                double row[3] = {0, 0, 0};
                for (uint32_t k = 0; k < sx.count; ++k, p += 3) {
                    row[0] += wx[k] * p[0];
                    row[1] += wx[k] * p[1];
                    row[2] += wx[k] * p[2];
                }
                const double wy = ay.weights[sy.weights + r];
                for (int c = 0; c < 3; ++c) acc[c] += wy * row[c];
            }
            for (int c = 0; c < 3; ++c) out[c] = toChannel(acc[c]);
        }
    }
}

void resampleBilinear(const Image& src, Image& dst) {
    const uint32_t w = src.width(), h = src.height();
    for (uint32_t i = 0; i < dst.height(); ++i) {
        int64_t y0;
        double fy;
        interpolationPosition(i, h, dst.height(), y0, fy);
        uint8_t* out = dst.rgbRow(i);
        for (uint32_t j = 0; j < dst.width(); ++j, out += 3) {
            int64_t x0;
            double fx;
            interpolationPosition(j, w, dst.width(), x0, fx);
            const uint8_t* p00 = pixel(src, x0, y0);
            const uint8_t* p10 = pixel(src, x0 + 1, y0);
            const uint8_t* p01 = pixel(src, x0, y0 + 1);
            const uint8_t* p11 = pixel(src, x0 + 1, y0 + 1);
            for (int c = 0; c < 3; ++c) {
                const double top = (1 - fx) * p00[c] + fx * p10[c];
                const double bottom = (1 - fx) * p01[c] + fx * p11[c];
                out[c] = toChannel((1 - fy) * top + fy * bottom);
            }
        }
    }
}

void resampleBSpline(const Image& src, Image& dst) {
    const uint32_t w = src.width(), h = src.height();
    std::vector<double> colWeights(size_t(dst.width()) * 4);
    std::vector<int64_t> colBase(dst.width());
    for (uint32_t j = 0; j < dst.width(); ++j) {
        double f;
        interpolationPosition(j, w, dst.width(), colBase[j], f);
        for (int k = -1; k <= 2; ++k) colWeights[size_t(j) * 4 + size_t(k + 1)] = bspline(k - f);
    }
    for (uint32_t i = 0; i < dst.height(); ++i) {
        int64_t y0;
        double fy;
        interpolationPosition(i, h, dst.height(), y0, fy);
        double wy[4];
        for (int l = -1; l <= 2; ++l) wy[l + 1] = bspline(l - fy);
        uint8_t* out = dst.rgbRow(i);
        for (uint32_t j = 0; j < dst.width(); ++j, out += 3) {
            const double* wx = &colWeights[size_t(j) * 4];
            double acc[3] = {0, 0, 0};
            for (int l = 0; l < 4; ++l) {
                for (int k = 0; k < 4; ++k) {
                    const uint8_t* p = pixel(src, colBase[j] + k - 1, y0 + l - 1);
                    const double weight = wx[k] * wy[l];
                    acc[0] += weight * p[0];
                    acc[1] += weight * p[1];
                    acc[2] += weight * p[2];
                }
            }
            for (int c = 0; c < 3; ++c) out[c] = toChannel(acc[c]);
        }
    }
}

}  // namespace

bool Image::resize(uint32_t width, uint32_t height, int mode) {
    if (empty() || width < 1 || height < 1 || width > kImageMaxSide || height > kImageMaxSide) {
        return false;
    }
    if (width == width_ && height == height_) return true;
    if (!expandToRgb()) return false;
    Image result;
    if (!result.createRgb(width, height)) return false;
    const bool enlarging = width >= width_ && height >= height_;
    try {
        switch (mode) {
            case kResizeMean:
                resampleMean(*this, result, buildAxis(width_, width, 0), buildAxis(height_, height, 0));
                break;
            case kResizeBilinear:
            case kResizeBSpline:
                if (enlarging) {
                    if (mode == kResizeBilinear) {
                        resampleBilinear(*this, result);
                    } else {
                        resampleBSpline(*this, result);
                    }
                } else {
                    resampleWindowed(*this, result, buildAxis(width_, width, mode),
                                     buildAxis(height_, height, mode));
                }
                break;
            default:
                resampleNearest(*this, result, buildAxis(width_, width, 0),
                                buildAxis(height_, height, 0));
                break;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    *this = std::move(result);
    return true;
}

}  // namespace tessaly
