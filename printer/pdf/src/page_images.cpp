// Images: decoded through poppler's colour maps into rows the device context
// takes, drawn into the unit square of the CTM (which maps the image's
// corners, rotation and flips included). Masks of every kind become
// per-pixel alpha.
#include <GfxState.h>
#include <SplashOutputDev.h>
#include <Stream.h>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "page_player.h"
#include "player_util.h"

namespace tessaly::pdf {

namespace {

// Larger images are read with every n-th row and column, so that no image
// holds more than this many pixels or is wider or taller than this.
constexpr int64_t kMaxImagePixels = int64_t(1) << 24;
constexpr int kMaxImageSide = 8192;
// Rows are decoded whole before sampling: an image with wider rows than this
// is left out (its row buffers alone would take gigabytes).
constexpr int kMaxImageRow = 1 << 22;

struct Sampling {
    int width = 0, height = 0;  // the source's
    int stepX = 1, stepY = 1;
    int outWidth = 0, outHeight = 0;
};

Sampling samplingFor(int width, int height) {
    Sampling s;
    s.width = width;
    s.height = height;
    auto fits = [&] {
        s.outWidth = (width + s.stepX - 1) / s.stepX;
        s.outHeight = (height + s.stepY - 1) / s.stepY;
        return s.outWidth <= kMaxImageSide && s.outHeight <= kMaxImageSide &&
               int64_t(s.outWidth) * s.outHeight <= kMaxImagePixels;
    };
    while (!fits()) {
        if (s.outWidth >= s.outHeight)
            ++s.stepX;
        else
            ++s.stepY;
    }
    return s;
}

// An image read at the sampled size: red, green, blue bytes, and alpha (one
// byte a pixel) when it has a mask.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    std::vector<uint8_t> alpha;
};

// Owns a reset ImageStream and closes it.
class Rows {
public:
    Rows(Stream* str, int width, int comps, int bits) : source_(str), stream_(str, width, comps, bits) {
        stream_.reset();
    }
    ~Rows() { stream_.close(); }
    Rows(const Rows&) = delete;
    Rows& operator=(const Rows&) = delete;
    // The next row (one byte a component), or null past the data. The image
    // stream pads a missing row, so the end of the data is watched here: an
    // image that claims a million rows of a few bytes of data ends there.
    unsigned char* next() {
        if (ended_) return nullptr;
        unsigned char* row = stream_.getLine();
        if (source_->lookChar() == EOF) ended_ = true;
        return row;
    }

private:
    Stream* source_;
    ImageStream stream_;
    bool ended_ = false;
};

// The colour rows of an image; with maskColors, pixels whose every component
// lies in its range are transparent.
void readColors(Stream* str, const Sampling& s, GfxImageColorMap* map, const int* maskColors, Picture& out) {
    const int comps = map->getNumPixelComps();
    if (s.width > kMaxImageRow) return;
    out.width = s.outWidth;
    out.height = s.outHeight;
    out.rgb.assign(size_t(out.width) * size_t(out.height) * 3, 0);
    if (maskColors) out.alpha.assign(size_t(out.width) * size_t(out.height), 0xFF);
    Rows rows(str, s.width, comps, map->getBits());
    std::vector<uint8_t> line(size_t(s.width) * 3);
    for (int y = 0; y < s.height; ++y) {
        unsigned char* in = rows.next();
        if (!in) break;
        if (y % s.stepY) continue;
        const int oy = y / s.stepY;
        // The colour key is matched on the raw samples first: the colour map
        // may rewrite the row in place.
        if (maskColors) {
            for (int ox = 0; ox < out.width; ++ox) {
                const size_t x = size_t(ox) * size_t(s.stepX);
                bool keyed = true;
                for (int c = 0; c < comps && keyed; ++c) {
                    const int v = in[x * size_t(comps) + size_t(c)];
                    keyed = v >= maskColors[2 * c] && v <= maskColors[2 * c + 1];
                }
                if (keyed) out.alpha[size_t(oy) * size_t(out.width) + size_t(ox)] = 0;
            }
        }
        map->getRGBLine(in, line.data(), s.width);
        uint8_t* dst = &out.rgb[size_t(oy) * size_t(out.width) * 3];
        for (int ox = 0; ox < out.width; ++ox)
            std::copy_n(&line[size_t(ox) * size_t(s.stepX) * 3], 3, dst + size_t(ox) * 3);
    }
}

// Alpha of a mask, resampled (nearest) onto the picture's grid: a 1-bit
// stencil (painted where the sample is 0, or 1 when inverted) or a soft
// mask's gray values.
std::vector<uint8_t> readMask(Stream* str, int width, int height, bool invert, GfxImageColorMap* softMap,
                              int outWidth, int outHeight) {
    std::vector<uint8_t> alpha(size_t(outWidth) * size_t(outHeight), 0);
    if (width <= 0 || height <= 0 || width > kMaxImageRow) return alpha;
    const Sampling s = samplingFor(width, height);
    std::vector<uint8_t> mask(size_t(s.outWidth) * size_t(s.outHeight), 0);
    {
        Rows rows(str, width, softMap ? softMap->getNumPixelComps() : 1, softMap ? softMap->getBits() : 1);
        std::vector<uint8_t> gray(static_cast<size_t>(width));
        for (int y = 0; y < height; ++y) {
            unsigned char* in = rows.next();
            if (!in) break;
            if (y % s.stepY) continue;
            uint8_t* dst = &mask[size_t(y / s.stepY) * size_t(s.outWidth)];
            if (softMap) {
                softMap->getGrayLine(in, gray.data(), width);
                for (int ox = 0; ox < s.outWidth; ++ox) dst[ox] = gray[size_t(ox) * size_t(s.stepX)];
            } else {
                for (int ox = 0; ox < s.outWidth; ++ox)
                    dst[ox] = ((in[size_t(ox) * size_t(s.stepX)] != 0) != invert) ? 0 : 0xFF;
            }
        }
    }
    for (int y = 0; y < outHeight; ++y) {
        const size_t my = size_t(int64_t(y) * s.outHeight / outHeight);
        for (int x = 0; x < outWidth; ++x) {
            const size_t mx = size_t(int64_t(x) * s.outWidth / outWidth);
            alpha[size_t(y) * size_t(outWidth) + size_t(x)] = mask[my * size_t(s.outWidth) + mx];
        }
    }
    return alpha;
}

// Bottom-up-free rows for the context: 24-bit blue, green, red, or 32-bit
// premultiplied blue, green, red, alpha when the picture has alpha.
std::vector<uint8_t> deviceRows(const Picture& p, int* stride) {
    const bool alpha = !p.alpha.empty();
    *stride = alpha ? p.width * 4 : (p.width * 3 + 3) & ~3;
    std::vector<uint8_t> bits(size_t(*stride) * size_t(p.height), 0);
    for (int y = 0; y < p.height; ++y) {
        uint8_t* dst = &bits[size_t(y) * size_t(*stride)];
        const uint8_t* src = &p.rgb[size_t(y) * size_t(p.width) * 3];
        for (int x = 0; x < p.width; ++x) {
            const uint8_t r = src[3 * x], g = src[3 * x + 1], b = src[3 * x + 2];
            if (alpha) {
                const unsigned a = p.alpha[size_t(y) * size_t(p.width) + size_t(x)];
                dst[4 * x] = uint8_t(b * a / 255);
                dst[4 * x + 1] = uint8_t(g * a / 255);
                dst[4 * x + 2] = uint8_t(r * a / 255);
                dst[4 * x + 3] = uint8_t(a);
            } else {
                dst[3 * x] = b;
                dst[3 * x + 1] = g;
                dst[3 * x + 2] = r;
            }
        }
    }
    return bits;
}

}  // namespace

void PagePlayer::markImage(GfxState* state) {
    double box[4];
    unitSquareBox(state, box);
    markRaster(state, box);
}

void PagePlayer::blitImage(GfxState* state, int width, int height, const std::vector<uint8_t>& bits, int stride,
                           bool alpha) {
    // A singular CTM covers no area; fully transparent paint shows nothing.
    if (width <= 0 || height <= 0 || !(state->getFillOpacity() > 0) || !useCtm(state->getCTM())) return;
    gdi::BitmapView view;
    view.width = width;
    view.height = height;
    view.bitsPerPixel = alpha ? 32 : 24;
    view.stride = stride;
    view.bits = bits.data();
    // The image's first row is at the top of the unit square (y = 1).
    const gdi::RectD dest{0, 1, 1, 0};
    const gdi::DeviceRect all{0, 0, width, height};
    if (alpha)
        check(dc_.alphaBlend(dest, view, all, 0xFF, true));
    else
        check(dc_.stretchBlt(dest, view, all));
}

void PagePlayer::drawImage(GfxState* state, Object* ref, Stream* str, int width, int height,
                           GfxImageColorMap* colorMap, bool interpolate, const int* maskColors, bool inlineImg) {
    flushText();
    if (width <= 0 || height <= 0 || !colorMap || !colorMap->isOk()) return;
    switch (routeFor(state, state->getFillOpacity())) {
        case Route::Skip: return;
        case Route::Raster:
            raster_->drawImage(state, ref, str, width, height, colorMap, interpolate, maskColors, inlineImg);
            markImage(state);
            return;
        case Route::Device: break;
    }
    Picture picture;
    readColors(str, samplingFor(width, height), colorMap, maskColors, picture);
    int stride = 0;
    const std::vector<uint8_t> bits = deviceRows(picture, &stride);
    blitImage(state, picture.width, picture.height, bits, stride, !picture.alpha.empty());
}

void PagePlayer::drawImageMask(GfxState* state, Object* ref, Stream* str, int width, int height, bool invert,
                               bool interpolate, bool inlineImg) {
    flushText();
    if (width <= 0 || height <= 0) return;
    switch (routeFor(state, state->getFillOpacity())) {
        case Route::Skip: return;
        case Route::Raster:
            raster_->drawImageMask(state, ref, str, width, height, invert, interpolate, inlineImg);
            markImage(state);
            return;
        case Route::Device: break;
    }
    const Sampling s = samplingFor(width, height);
    Picture picture;
    picture.width = s.outWidth;
    picture.height = s.outHeight;
    picture.alpha = readMask(str, width, height, invert, nullptr, s.outWidth, s.outHeight);
    GfxRGB rgb;
    state->getFillRGB(&rgb);
    const gdi::Color c = colorOf(rgb);
    picture.rgb.resize(size_t(s.outWidth) * size_t(s.outHeight) * 3);
    for (size_t i = 0; i < picture.rgb.size(); i += 3) {
        picture.rgb[i] = uint8_t(c >> 16);
        picture.rgb[i + 1] = uint8_t(c >> 8);
        picture.rgb[i + 2] = uint8_t(c);
    }
    int stride = 0;
    const std::vector<uint8_t> bits = deviceRows(picture, &stride);
    blitImage(state, picture.width, picture.height, bits, stride, true);
}

void PagePlayer::drawMaskedImage(GfxState* state, Object* ref, Stream* str, int width, int height,
                                 GfxImageColorMap* colorMap, bool interpolate, Stream* maskStr, int maskWidth,
                                 int maskHeight, bool maskInvert, bool maskInterpolate) {
    flushText();
    if (width <= 0 || height <= 0 || !colorMap || !colorMap->isOk()) return;
    switch (routeFor(state, state->getFillOpacity())) {
        case Route::Skip: return;
        case Route::Raster:
            raster_->drawMaskedImage(state, ref, str, width, height, colorMap, interpolate, maskStr, maskWidth,
                                     maskHeight, maskInvert, maskInterpolate);
            markImage(state);
            return;
        case Route::Device: break;
    }
    Picture picture;
    readColors(str, samplingFor(width, height), colorMap, nullptr, picture);
    // The explicit mask paints where its sample is 0 (1 when inverted).
    picture.alpha = readMask(maskStr, maskWidth, maskHeight, maskInvert, nullptr, picture.width, picture.height);
    int stride = 0;
    const std::vector<uint8_t> bits = deviceRows(picture, &stride);
    blitImage(state, picture.width, picture.height, bits, stride, true);
}

void PagePlayer::drawSoftMaskedImage(GfxState* state, Object* ref, Stream* str, int width, int height,
                                     GfxImageColorMap* colorMap, bool interpolate, Stream* maskStr,
                                     int maskWidth, int maskHeight, GfxImageColorMap* maskColorMap,
                                     bool maskInterpolate) {
    flushText();
    if (width <= 0 || height <= 0 || !colorMap || !colorMap->isOk()) return;
    switch (routeFor(state, state->getFillOpacity())) {
        case Route::Skip: return;
        case Route::Raster:
            raster_->drawSoftMaskedImage(state, ref, str, width, height, colorMap, interpolate, maskStr, maskWidth,
                                         maskHeight, maskColorMap, maskInterpolate);
            markImage(state);
            return;
        case Route::Device: break;
    }
    Picture picture;
    readColors(str, samplingFor(width, height), colorMap, nullptr, picture);
    if (maskColorMap && maskColorMap->isOk())
        picture.alpha = readMask(maskStr, maskWidth, maskHeight, false, maskColorMap, picture.width, picture.height);
    int stride = 0;
    const std::vector<uint8_t> bits = deviceRows(picture, &stride);
    blitImage(state, picture.width, picture.height, bits, stride, !picture.alpha.empty());
}

}  // namespace tessaly::pdf
