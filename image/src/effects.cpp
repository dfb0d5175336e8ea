// Colour effects: gray, black and white (both over the region) and smoothing.

#include <algorithm>
#include <cmath>

#include "image/image.h"

namespace tessaly {

namespace {

// Luminance 0.299 r + 0.587 g + 0.114 b, truncated; in integers so that
// white stays 255 exactly.
inline uint32_t luminance(const uint8_t* p) {
    return (299u * p[0] + 587u * p[1] + 114u * p[2]) / 1000u;
}

template <typename Fn>
void forEachRegionPixel(Image& image, Fn fn) {
    const ImageRegion& r = image.region();
    for (uint32_t y = r.y; y < r.y + r.h; ++y) {
        uint8_t* p = image.rgbRow(y) + size_t(r.x) * 3;
        for (uint32_t x = 0; x < r.w; ++x, p += 3) fn(p);
    }
}

}  // namespace

bool Image::toGray() {
    if (empty() || !expandToRgb()) return false;
    forEachRegionPixel(*this, [](uint8_t* p) { p[0] = p[1] = p[2] = uint8_t(luminance(p)); });
    return true;
}

bool Image::toBlackWhite(uint8_t threshold) {
    if (empty() || !expandToRgb()) return false;
    forEachRegionPixel(*this, [threshold](uint8_t* p) {
        p[0] = p[1] = p[2] = luminance(p) >= threshold ? 255 : 0;
    });
    return true;
}

bool Image::smooth(float amount) {
    if (!(amount > 0)) return true;
    if (empty() || !expandToRgb()) return false;
    amount = std::min(amount, kImageMaxSmoothing);
    const int passes = std::max(1, 2 * int(std::floor(double(amount) * 0.1)));
    const double s = std::min(double(amount), 100.0) / 100.0;
    const double neighbourWeight = s / 3.0;
    const double divisor = 1.0 + s;
    const size_t stride = size_t(rgbStride());
    const uint32_t w = width_, h = height_;
    // The tiny bias keeps results that are whole numbers in exact arithmetic
    // from dropping one below through rounding (a flat area stays flat).
    auto blend = [&](uint8_t* p, const uint8_t* n1, const uint8_t* n2, const uint8_t* n3) {
        for (int c = 0; c < 3; ++c) {
            const double v =
                (neighbourWeight * double(n1[c] + n2[c] + n3[c]) + p[c]) / divisor + 1e-9;
            p[c] = uint8_t(std::clamp(std::floor(v), 0.0, 255.0));
        }
    };
    for (int i = 0; i < passes; ++i) {
        const bool backward = (passes - i) % 2 == 1;
        if (!backward) {
            for (uint32_t y = 0; y + 1 < h; ++y) {
                uint8_t* row = rgbRow(y);
                for (uint32_t x = 0; x + 1 < w; ++x) {
                    uint8_t* p = row + size_t(x) * 3;
                    blend(p, p + 3, p + stride, p + stride + 3);
                }
            }
        } else {
            for (uint32_t y = h - 1; y >= 1; --y) {
                uint8_t* row = rgbRow(y);
                for (uint32_t x = w - 1; x >= 1; --x) {
                    uint8_t* p = row + size_t(x) * 3;
                    blend(p, p - 3, p - stride - 3, p - stride);
                }
            }
        }
    }
    return true;
}

}  // namespace tessaly
