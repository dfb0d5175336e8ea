#include "image/image.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "image_source.h"
#include "support/file_type.h"

namespace tessaly {

namespace {

// A zero-filled block of rows x rowBytes, sized in 64 bits; null when the
// size does not fit the address space or the allocation fails.
HeapBlock allocatePlane(uint64_t rows, uint64_t rowBytes) {
    if (rows == 0 || rowBytes == 0) return nullptr;
    if (rowBytes > std::numeric_limits<size_t>::max() / rows) return nullptr;
    return HeapBlock(static_cast<uint8_t*>(allocateZeroed(size_t(rows * rowBytes))));
}

bool validSide(uint32_t v) { return v >= 1 && v <= kImageMaxSide; }

}  // namespace

// --- Creating ----------------------------------------------------------------

bool Image::createRgb(uint32_t width, uint32_t height) {
    if (!validSide(width) || !validSide(height)) return false;
    HeapBlock rgb = allocatePlane(height, uint64_t(rgbStrideFor(width)));
    if (!rgb) return false;
    clear();
    rgb_ = std::move(rgb);
    width_ = width;
    height_ = height;
    bytesPerPixel_ = 3;
    setRegionToImage();
    return true;
}

bool Image::createRgb(uint32_t width, uint32_t height, uint32_t fillColor) {
    if (!createRgb(width, height)) return false;
    const uint8_t px[3] = {uint8_t(fillColor >> 16), uint8_t(fillColor >> 8), uint8_t(fillColor)};
    if (px[0] == 0 && px[1] == 0 && px[2] == 0) return true;
    uint8_t* row = rgbRow(0);
    for (uint32_t x = 0; x < width; ++x) std::memcpy(row + size_t(x) * 3, px, 3);
    for (uint32_t y = 1; y < height; ++y) std::memcpy(rgbRow(y), row, size_t(width) * 3);
    return true;
}

bool Image::createRgbWithAlpha(uint32_t width, uint32_t height, uint32_t fillColor,
                               uint8_t alphaFill) {
    if (!validSide(width) || !validSide(height)) return false;
    HeapBlock alpha = allocatePlane(height, width);
    if (!alpha) return false;
    if (!createRgb(width, height, fillColor)) return false;
    std::memset(alpha.get(), alphaFill, size_t(width) * height);
    alpha_ = std::move(alpha);
    return true;
}

bool Image::createIndexed(uint32_t width, uint32_t height, uint32_t paletteCount,
                          bool paletteHasAlpha) {
    if (!validSide(width) || !validSide(height)) return false;
    if (paletteCount < 1 || paletteCount > 65535) return false;
    HeapBlock indices = allocatePlane(height, (uint64_t(width) + 3) & ~3ull);
    HeapBlock palette = allocatePlane(paletteCount, sizeof(PaletteEntry));
    if (!indices || !palette) return false;
    clear();
    indices_ = std::move(indices);
    palette_ = std::move(palette);
    paletteCount_ = paletteCount;
    paletteHasAlpha_ = paletteHasAlpha;
    for (uint32_t i = 0; i < paletteCount; ++i) this->palette()[i].alpha = 255;
    width_ = width;
    height_ = height;
    bytesPerPixel_ = 1;
    setRegionToImage();
    return true;
}

void Image::clear() noexcept {
    rgb_.reset();
    alpha_.reset();
    indices_.reset();
    palette_.reset();
    width_ = height_ = 0;
    bytesPerPixel_ = 3;
    paletteCount_ = 0;
    paletteHasAlpha_ = false;
    region_ = {};
}

bool Image::expandToRgb() {
    if (!isIndexed()) return !empty();
    HeapBlock rgb = allocatePlane(height_, uint64_t(rgbStrideFor(width_)));
    if (!rgb) return false;
    HeapBlock alpha;
    if (paletteHasAlpha_) {
        alpha = allocatePlane(height_, width_);
        if (!alpha) return false;
    }
    const PaletteEntry* pal = palette();
    const uint32_t last = paletteCount_ - 1;
    const size_t rgbStride = size_t(rgbStrideFor(width_));
    for (uint32_t y = 0; y < height_; ++y) {
        const uint8_t* in = indices_.get() + size_t(y) * size_t(indexStride());
        uint8_t* out = rgb.get() + size_t(y) * rgbStride;
        uint8_t* a = alpha ? alpha.get() + size_t(y) * width_ : nullptr;
        for (uint32_t x = 0; x < width_; ++x) {
            const PaletteEntry& e = pal[std::min<uint32_t>(in[x], last)];
            out[0] = e.red;
            out[1] = e.green;
            out[2] = e.blue;
            out += 3;
            if (a) a[x] = e.alpha;
        }
    }
    rgb_ = std::move(rgb);
    if (alpha) alpha_ = std::move(alpha);
    bytesPerPixel_ = 3;
    // The size did not change, so the region that was valid still is.
    (void)setRegion(region_.x, region_.y, region_.w, region_.h);
    return true;
}

void Image::pixelAt(uint32_t x, uint32_t y, uint8_t* rgbOut, uint8_t& alphaOut) const {
    if (!isIndexed()) {
        std::memcpy(rgbOut, rgbRow(y) + size_t(x) * 3, 3);
        alphaOut = alpha_ ? alpha_[size_t(y) * width_ + x] : 255;
        return;
    }
    const uint8_t index = indices_[size_t(y) * size_t(indexStride()) + x];
    const PaletteEntry& e = palette()[std::min<uint32_t>(index, paletteCount_ - 1)];
    rgbOut[0] = e.red;
    rgbOut[1] = e.green;
    rgbOut[2] = e.blue;
    alphaOut = alpha_ ? alpha_[size_t(y) * width_ + x] : paletteHasAlpha_ ? e.alpha : 255;
}

// --- Regions -----------------------------------------------------------------

bool Image::clipRect(const ImageRect& rect, ImageRegion& out) const {
    int64_t x = rect.x, y = rect.y, w = rect.w, h = rect.h;
    if (x < 0) {
        w += x;
        x = 0;
    }
    if (y < 0) {
        h += y;
        y = 0;
    }
    if (w <= 0 || h <= 0 || x >= int64_t(width_) || y >= int64_t(height_)) return false;
    w = std::min<int64_t>(w, int64_t(width_) - x);
    h = std::min<int64_t>(h, int64_t(height_) - y);
    out.x = uint32_t(x);
    out.y = uint32_t(y);
    out.w = uint32_t(w);
    out.h = uint32_t(h);
    out.rowSkip = uint32_t(rgbStride() - int32_t(out.w * 3));
    out.pixelCount = uint64_t(out.w) * out.h;
    return true;
}

bool Image::setRegion(int64_t x, int64_t y, int64_t w, int64_t h) {
    ImageRegion r;
    if (!clipRect({x, y, w, h}, r)) return false;
    region_ = r;
    return true;
}

void Image::setRegionToImage() {
    if (!setRegion(0, 0, width_, height_)) region_ = {};
}

void Image::averageRegion(uint8_t& red, uint8_t& green, uint8_t& blue) {
    red = green = blue = 0;
    if (empty() || !expandToRgb() || region_.pixelCount == 0) return;
    uint64_t sum[3] = {0, 0, 0};
    for (uint32_t y = region_.y; y < region_.y + region_.h; ++y) {
        const uint8_t* p = rgbRow(y) + size_t(region_.x) * 3;
        for (uint32_t x = 0; x < region_.w; ++x, p += 3) {
            sum[0] += p[0];
            sum[1] += p[1];
            sum[2] += p[2];
        }
    }
    red = uint8_t(sum[0] / region_.pixelCount);
    green = uint8_t(sum[1] / region_.pixelCount);
    blue = uint8_t(sum[2] / region_.pixelCount);
}

// --- Alpha colour and copies -------------------------------------------------

bool Image::applyAlphaColor(uint8_t defaultAlpha, std::span<const AlphaColor> colors) {
    if (empty() || !expandToRgb()) return false;
    HeapBlock alpha = allocatePlane(height_, width_);
    if (!alpha) return false;
    uint8_t* a = alpha.get();
    for (uint32_t y = 0; y < height_; ++y) {
        const uint8_t* p = rgbRow(y);
        for (uint32_t x = 0; x < width_; ++x, p += 3) {
            const uint32_t c = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
            uint8_t value = defaultAlpha;
            for (const AlphaColor& entry : colors) {
                if ((entry.color & 0xFFFFFF) == c) {
                    value = entry.alpha;
                    break;
                }
            }
            *a++ = value;
        }
    }
    alpha_ = std::move(alpha);
    return true;
}

bool Image::copyFrom(int64_t dx, int64_t dy, int64_t w, int64_t h, const Image& source,
                     int64_t sx, int64_t sy) {
    if (&source == this || empty() || source.empty()) return false;
    // Clip against the source, then the destination, moving both origins alike.
    auto clipAxis = [](int64_t& d, int64_t& s, int64_t& n, int64_t dLimit, int64_t sLimit) {
        if (s < 0) {
            n += s;
            d -= s;
            s = 0;
        }
        if (d < 0) {
            n += d;
            s -= d;
            d = 0;
        }
        n = std::min({n, sLimit - s, dLimit - d});
        return n > 0;
    };
    if (!clipAxis(dx, sx, w, width_, source.width_) ||
        !clipAxis(dy, sy, h, height_, source.height_)) {
        return false;
    }
    if (!expandToRgb()) return false;
    uint8_t* alpha = alpha_.get();
    for (int64_t row = 0; row < h; ++row) {
        uint8_t* out = rgbRow(uint32_t(dy + row)) + size_t(dx) * 3;
        uint8_t* a = alpha ? alpha + size_t(dy + row) * width_ + size_t(dx) : nullptr;
        if (!source.isIndexed()) {
            std::memcpy(out, source.rgbRow(uint32_t(sy + row)) + size_t(sx) * 3, size_t(w) * 3);
            if (a) {
                if (source.alpha_) {
                    std::memcpy(a, source.alpha_.get() + size_t(sy + row) * source.width_ + size_t(sx),
                                size_t(w));
                } else {
                    std::memset(a, 255, size_t(w));
                }
            }
            continue;
        }
        for (int64_t col = 0; col < w; ++col) {
            uint8_t value;
            source.pixelAt(uint32_t(sx + col), uint32_t(sy + row), out + col * 3, value);
            if (a) a[col] = value;
        }
    }
    return true;
}

bool Image::minimumSizeCopy(Image& padded) const {
    if (empty() || &padded == this) return false;
    const uint32_t w = std::max<uint32_t>(width_, 2);
    const uint32_t h = std::max<uint32_t>(height_, 2);
    Image out;
    const bool ok = hasAlpha() ? out.createRgbWithAlpha(w, h, 0, 255) : out.createRgb(w, h);
    if (!ok || !out.copyFrom(0, 0, width_, height_, *this, 0, 0)) return false;
    // Repeat the single column, then the single row (which covers a 1 x 1 image).
    // These copies lie inside both images and cannot fail.
    if (width_ == 1) (void)out.copyFrom(1, 0, 1, height_, *this, 0, 0);
    if (height_ == 1) (void)out.copyFrom(0, 1, width_, 1, *this, 0, 0);
    if (width_ == 1 && height_ == 1) (void)out.copyFrom(1, 1, 1, 1, *this, 0, 0);
    padded = std::move(out);
    return true;
}

// --- Loading -----------------------------------------------------------------

namespace {

using namespace image_detail;

// Reads the first bytes and picks the reader; -3 for any type without one.
int sniff(ImageSource& source, int& type) {
    uint8_t head[kFileTypeHeadSize] = {};
    const size_t n = source.read(head, sizeof head);
    if (!source.seek(0)) return kImageBadData;
    type = detectFileTypeFromHead(head, n, kFileClassImage);
    if (type == kFileTypeUnreadable) {
        // Too short for the detector; the shortest file of a known kind is
        // still refused as truncated rather than as another type.
        const bool known = (n >= 2 && (head[0] == 'B' || head[0] == 'b') && (head[1] == 'M' || head[1] == 'm')) ||
                           (n >= 1 && (head[0] == 0x89 || head[0] == 0));
        if (known) return source.fail(kImageBadData, "file of " + std::to_string(n) + " bytes, too short");
        return kImageUnsupported;
    }
    if (type == kFileTypeBmp || type == kFileTypePng || type == kFileTypeBag) return kImageOk;
    return kImageUnsupported;
}

// The reader's reason, or a generic one for a code that came without any.
std::string failureOf(const ImageSource& source, int result) {
    if (!source.failure().empty()) return source.failure();
    if (result == kImageUnsupported) return "not a BMP, PNG or bag file";
    if (result == kImageBadData) return "truncated file";
    return {};
}

int loadFrom(ImageSource& source, Image& image, std::string& why) {
    image.clear();
    int type = 0;
    int result = sniff(source, type);
    if (result == kImageOk) {
        Image loaded;
        switch (type) {
            case kFileTypeBmp: result = readBmp(source, loaded); break;
            case kFileTypePng: result = readPng(source, loaded); break;
            default: result = readBag(source, loaded); break;
        }
        if (result == kImageOk) image = std::move(loaded);
    }
    why = result == kImageOk ? std::string() : failureOf(source, result);
    return result;
}

int probeFrom(ImageSource& source, ImageInfo& info, std::string* why) {
    info = {};
    int type = 0;
    int result = sniff(source, type);
    if (result == kImageOk) {
        switch (type) {
            case kFileTypeBmp: result = probeBmp(source, info); break;
            case kFileTypePng: result = probePng(source, info); break;
            default: result = probeBag(source, info); break;
        }
    }
    if (result != kImageOk) {
        info = {};
        if (why) *why = failureOf(source, result);
        return result;
    }
    if (why) why->clear();
    info.type = type;
    info.depthClass = info.bitDepth <= 8 ? 8 : 24;
    return kImageOk;
}

}  // namespace

const char* imageResultText(int result) {
    switch (result) {
        case kImageCannotOpen: return "cannot open";
        case kImageBadData: return "bad data";
        case kImageUnsupported: return "unsupported type";
        case kImageOutOfMemory: return "out of memory";
        default: return "failed";
    }
}

std::string describeImageFailure(int result, std::string_view detail) {
    std::string text = imageResultText(result);
    if (!detail.empty()) {
        text += " (";
        text += detail;
        text += ')';
    }
    return text;
}

int Image::load(std::string_view path) {
    FileSource source(path);
    if (!source.ok()) {
        clear();
        loadError_.clear();
        return kImageCannotOpen;
    }
    std::string why;
    const int result = loadFrom(source, *this, why);
    loadError_ = std::move(why);
    return result;
}

int Image::loadFromMemory(const uint8_t* data, size_t n) {
    MemorySource source(data, n);
    std::string why;
    const int result = loadFrom(source, *this, why);
    loadError_ = std::move(why);
    return result;
}

int Image::probe(std::string_view path, ImageInfo& info, std::string* why) {
    FileSource source(path);
    if (!source.ok()) {
        info = {};
        if (why) why->clear();
        return kImageCannotOpen;
    }
    return probeFrom(source, info, why);
}

int Image::probeMemory(const uint8_t* data, size_t n, ImageInfo& info, std::string* why) {
    MemorySource source(data, n);
    return probeFrom(source, info, why);
}

}  // namespace tessaly
