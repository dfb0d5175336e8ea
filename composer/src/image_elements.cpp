// The Image element: bitmaps registered in a first pass at the largest size
// the document uses them in, decoded once, and shown through bitmap fills.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "composer/mml_interpreter.h"
#include "composer/mml_values.h"
#include "support/checksum.h"
#include "support/numbers.h"
#include "support/text.h"
#include "swf/bitmap_encoder.h"
#include "swf/bitmap_object.h"

namespace tessaly {

namespace {

struct ImageEffects {
    bool hasAlphaColor = false;
    uint32_t alphaColor = 0;  // 0xRRGGBB
    uint8_t alpha = 0;
    uint8_t threshold = 0;  // black and white; 0 = off
    bool gray = false;
    float smooth = 0;
};

// Where `word(` starts in the text, ignoring case; npos when absent.
size_t findWord(std::string_view text, std::string_view word) {
    for (size_t i = 0; i + word.size() <= text.size(); ++i) {
        if (equalNoCase(text.substr(i, word.size()), word)) return i;
    }
    return std::string_view::npos;
}

ImageEffects parseEffects(std::string_view fx, float defaultSmooth) {
    ImageEffects e;
    e.smooth = defaultSmooth;
    if (size_t at = findWord(fx, "smooth("); at != std::string_view::npos) {
        double amount = 0;
        parseLeadingReal(fx.substr(at + 7), &amount);
        // NaN and negative amounts mean no smoothing.
        e.smooth = amount > 0 ? float(std::min(amount, double(kImageMaxSmoothing))) : 0.0f;
    }
    e.gray = findWord(fx, "gray") != std::string_view::npos;
    if (size_t at = findWord(fx, "blackwhite"); at != std::string_view::npos) {
        const std::string_view rest = fx.substr(at + 10);
        e.threshold = !rest.empty() && rest.front() == '('
                          ? uint8_t(std::min<uint32_t>(leadingDigitsValue(rest.substr(1)), 255))
                          : uint8_t(128);
    }
    if (size_t at = findWord(fx, "alphacolor("); at != std::string_view::npos) {
        std::string_view inner = fx.substr(at + 11);
        inner = inner.substr(0, inner.find(')'));
        int32_t alpha = 0;
        std::string_view colourText = inner;
        bool ok = true;
        if (size_t comma = inner.find(','); comma != std::string_view::npos) {
            ok = parseInt(trim(inner.substr(0, comma)), &alpha) && alpha >= 0;
            colourText = inner.substr(comma + 1);
        }
        MmlColor colour;
        if (ok && parseColor(trim(colourText), &colour)) {
            e.hasAlphaColor = true;
            e.alphaColor = colour.rgb();
            e.alpha = uint8_t(std::min(alpha, 255));
            // A colour made transparent keeps its exact pixels: no other effect.
            e.gray = false;
            e.threshold = 0;
            e.smooth = 0;
        }
    }
    return e;
}

struct ImageRequest {
    std::string path;
    ImageEffects fx;
    uint32_t encoding = 0;
    uint8_t quality = 0;
    // What makes two bitmaps the same: the path as written (file names are
    // case-sensitive), then the effects and the encoding. The key is its hash.
    std::string description;
    uint32_t key = 0;
};

void describe(ImageRequest& r) {
    std::string options;
    auto add32 = [&options](uint32_t v) {
        for (int shift = 0; shift < 32; shift += 8) options.push_back(char(v >> shift));
    };
    add32(r.fx.hasAlphaColor);
    add32(r.fx.hasAlphaColor ? r.fx.alphaColor | uint32_t(r.fx.alpha) << 24 : 0);
    options.push_back(char(r.fx.threshold));
    add32(r.fx.gray);
    uint32_t smoothBits;
    std::memcpy(&smoothBits, &r.fx.smooth, 4);
    add32(smoothBits);
    add32(r.encoding);
    options.push_back(char(r.quality));

    r.key = crc32Update(crc32Update(0xFFFFFFFFu, r.path.data(), r.path.size()), options.data(),
                        options.size());
    r.description = r.path;
    r.description.push_back('\0');  // paths hold no NUL, so the parts cannot run together
    r.description += options;
}

// Resamples, carrying an alpha plane along (resampling itself makes true colour only).
bool resizeWithAlpha(Image& image, uint32_t width, uint32_t height, int mode) {
    if (image.width() == width && image.height() == height) return true;
    if (!image.hasAlpha()) return image.resize(width, height, mode);
    if (!image.expandToRgb()) return false;
    Image alpha;
    if (!alpha.createRgb(image.width(), image.height())) return false;
    for (uint32_t y = 0; y < image.height(); ++y) {
        uint8_t* row = alpha.rgbRow(y);
        const uint8_t* a = image.alpha() + size_t(y) * image.width();
        for (uint32_t x = 0; x < image.width(); ++x) row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = a[x];
    }
    if (!image.resize(width, height, mode) || !alpha.resize(width, height, mode)) return false;
    Image result;
    if (!result.createRgbWithAlpha(width, height, 0, 255)) return false;
    for (uint32_t y = 0; y < height; ++y) {
        std::memcpy(result.rgbRow(y), image.rgbRow(y), size_t(width) * 3);
        const uint8_t* a = alpha.rgbRow(y);
        uint8_t* out = result.alpha() + size_t(y) * width;
        for (uint32_t x = 0; x < width; ++x) out[x] = a[3 * x];
    }
    image = std::move(result);
    return true;
}

// Load, alpha colour, resample, gray, black and white, smooth.
bool loadImage(const ImageRequest& r, uint32_t width, uint32_t height, int mode, Image& image) {
    if (image.load(r.path) != kImageOk) return false;
    if (r.fx.hasAlphaColor) {
        const AlphaColor colour{r.fx.alphaColor, r.fx.alpha};
        if (!image.applyAlphaColor(255, {&colour, 1})) return false;
    }
    if (width && height && !resizeWithAlpha(image, width, height, mode)) return false;
    if (!image.expandToRgb()) return false;
    image.setRegionToImage();
    if (r.fx.gray && !image.toGray()) return false;
    if (r.fx.threshold && !image.toBlackWhite(r.fx.threshold)) return false;
    if (r.fx.smooth > 0 && !image.smooth(r.fx.smooth)) return false;
    return true;
}

}  // namespace

std::string MmlInterpreter::resolvePath(const char* src) const {
    const std::string path = latin1ToUtf8(src);
    if (path.front() == '/') return path;
    const std::string joined = jobDirectory_ + path;
    return joined.size() > 259 ? path : joined;
}

namespace {

bool readRequest(MmlReader& reader, const MmlInterpreter& in, const std::string& path,
                 ImageRequest* r) {
    r->path = path;
    const char* fx = reader.attributeTrimmed("fx");
    r->fx = parseEffects(fx ? fx : "", float(in.defaultSmoothing));
    if (const char* encoding = reader.attribute("encoding")) {
        r->encoding = (hasKeyword(encoding, "jpeg") ? kEncodeJpeg : 0) |
                      (hasKeyword(encoding, "zlib") ? kEncodeLossless : 0);
    } else {
        r->encoding = in.defaultImageEncoding;
    }
    r->quality = uint8_t(std::clamp(in.defaultJpegQuality, 0, 100));
    if (const char* quality = reader.attributeTrimmed("encodingQuality")) {
        uint32_t q = 0;
        if (parseUnsigned(quality, &q)) r->quality = uint8_t(std::min<uint32_t>(q, 100));
    }
    describe(*r);
    return true;
}

// A requested side in pixels: at least 1, at most the largest side an image may have.
uint32_t atLeastOne(double v) { return std::clamp<uint32_t>(clampToUint32(v), 1, kImageMaxSide); }

}  // namespace

int MmlInterpreter::firstPass() {
    firstPassFailure_.clear();
    while (reader_.nextElement("Image")) {
        const char* src = reader_.attributeTrimmed("src");
        if (!src || !*src) {
            firstPassFailure_ = "Image element without src";
            return 0;
        }
        ImageRequest r;
        readRequest(reader_, *this, resolvePath(src), &r);
        ImageInfo info;
        std::string why;
        if (const int probed = Image::probe(r.path, info, &why); probed != kImageOk) {
            // Which picture, and why; a file that cannot be opened names the
            // path it was looked for at.
            firstPassFailure_ = "Image \"" + latin1ToUtf8(src) + "\": " +
                                describeImageFailure(probed, probed == kImageCannotOpen ? r.path : why);
            return 0;
        }

        // The size the page needs.
        double w = info.width, h = info.height;
        double a = 0, b = 0;
        const MmlMatrix m = readMatrixValues();
        if (reader_.attributePair("resize", &a, &b) == 3) {
            w = std::floor(a);
            h = std::floor(b);
        } else if (reader_.attributePair("size", &a, &b) == 3) {
            if (imageSizeFactor > 0) {
                w = std::floor(a * imageSizeFactor);
                h = std::floor(b * imageSizeFactor);
            }
        } else if (m.a != 1 || m.d != 1) {
            w = std::floor(info.width * std::fabs(m.a));
            h = std::floor(info.height * std::fabs(m.d));
        }
        uint32_t rw = atLeastOne(w), rh = atLeastOne(h);
        const char* flags = reader_.attribute("flags");
        if (rw > info.width || rh > info.height || (flags && hasKeyword(flags, "nativesize"))) {
            rw = info.width;
            rh = info.height;
        }

        if (DictionaryEntry* e = dictionary->findDescribed(kTypeBitmap, r.key, r.description)) {
            e->requestedWidth = std::max(e->requestedWidth, rw);
            e->requestedHeight = std::max(e->requestedHeight, rh);
            continue;
        }
        std::unique_ptr<MovieObject> bitmap = std::make_unique<BitmapObject>();
        const AddResult added = dictionary->addDescribed(kTypeBitmap, r.key, r.description, nullptr, bitmap);
        if (added.result != 1) {
            firstPassFailure_ = "Image \"" + latin1ToUtf8(src) + "\": out of memory (no bitmap character)";
            return 0;
        }
        DictionaryEntry& e = *added.entry;
        e.imageWidth = info.width;
        e.imageHeight = info.height;
        e.requestedWidth = rw;
        e.requestedHeight = rh;
        e.encodingFlags = r.encoding;
        e.jpegQuality = r.quality;
        e.sourceFile = r.path;
    }
    return 1;
}

void MmlInterpreter::handleImage() {
    const char* src = reader_.attributeTrimmed("src");
    if (!src || !*src) return;
    ImageRequest r;
    readRequest(reader_, *this, resolvePath(src), &r);

    // The bitmap the first pass registered, decoded on first use.
    DictionaryEntry* entry = dictionary->findDescribed(kTypeBitmap, r.key, r.description);
    if (!entry) {
        std::unique_ptr<MovieObject> bitmap = std::make_unique<BitmapObject>();
        auto& image = static_cast<BitmapObject&>(*bitmap).image;
        if (!loadImage(r, 0, 0, resampleMode, image)) return;
        const uint32_t iw = image.width(), ih = image.height();
        const AddResult added = dictionary->addDescribed(kTypeBitmap, r.key, r.description, nullptr, bitmap);
        if (added.result != 1) return;
        entry = added.entry;
        entry->imageWidth = entry->requestedWidth = iw;
        entry->imageHeight = entry->requestedHeight = ih;
        entry->encodingFlags = r.encoding;
        entry->jpegQuality = r.quality;
        entry->sourceFile = r.path;
        entry->state |= DictionaryEntry::kHoldsPixels;
    } else if (!(entry->state & (DictionaryEntry::kHoldsPixels | DictionaryEntry::kWritten))) {
        auto& image = static_cast<BitmapObject&>(*entry->object).image;
        if (!loadImage(r, entry->requestedWidth, entry->requestedHeight, resampleMode, image)) return;
        entry->state |= DictionaryEntry::kHoldsPixels;
    }
    // The bitmap's pixel size; its pixels may already be written and released.
    const uint32_t bitmapWidth = entry->requestedWidth, bitmapHeight = entry->requestedHeight;
    if (!bitmapWidth || !bitmapHeight) return;

    // The size shown, in twips.
    double dw = 0, dh = 0;
    int32_t width, height;
    if (reader_.attributePair("size", &dw, &dh) == 3) {
        width = clampToInt32(std::floor(dw * scale));
        height = clampToInt32(std::floor(dh * scale));
    } else {
        width = clampToInt32(std::floor(bitmapWidth * scale));
        height = clampToInt32(std::floor(bitmapHeight * scale));
    }
    if (width <= 0 || height <= 0) return;

    SwfMatrix fill;
    fill.scaleX = int32_t(std::min<int64_t>(int64_t(width) * 65536 / bitmapWidth, INT32_MAX));
    fill.scaleY = int32_t(std::min<int64_t>(int64_t(height) * 65536 / bitmapHeight, INT32_MAX));

    const MmlMatrix m = readMatrixValues();
    const bool translation = m.a == 1 && m.d == 1 && m.b == 0 && m.c == 0 && (m.tx != 0 || m.ty != 0);
    const int32_t ox = translation ? toTwips(m.tx) : 0, oy = translation ? toTwips(m.ty) : 0;
    fill.translateX = ox;
    fill.translateY = oy;

    auto shape = std::make_unique<ShapeObject>();
    shape->matrixFill(kFillClippedBitmap, entry->id, fill, kSideRight);
    std::vector<MmlRect> outline;
    if (const char* mask = reader_.attribute("maskrectex")) outline = parseRectList(mask);
    if (outline.empty()) {
        shape->rectangle(ox, oy, saturatingAdd(ox, width), saturatingAdd(oy, height), 1);
    } else {
        // A mask only hides parts of the image: past the image's edges the
        // clipped bitmap fill would repeat the edge pixels, so each
        // rectangle is cut to the image (a band's clip, for one, is wider).
        const int32_t right = saturatingAdd(ox, width), bottom = saturatingAdd(oy, height);
        for (const MmlRect& rect : outline) {
            int32_t x1 = saturatingAdd(toTwips(rect.x1), ox), y1 = saturatingAdd(toTwips(rect.y1), oy);
            int32_t x2 = saturatingAdd(toTwips(rect.x2), ox), y2 = saturatingAdd(toTwips(rect.y2), oy);
            if (x1 > x2) std::swap(x1, x2);
            if (y1 > y2) std::swap(y1, y2);
            x1 = std::clamp(x1, ox, right);
            x2 = std::clamp(x2, ox, right);
            y1 = std::clamp(y1, oy, bottom);
            y2 = std::clamp(y2, oy, bottom);
            if (x1 != x2 && y1 != y2) shape->rectangle(x1, y1, x2, y2, 1);
        }
    }
    const Bounds& b = shape->bounds;
    if (b.empty() || b.xMin == b.xMax || b.yMin == b.yMax) return;

    const char* id = reader_.attributeTrimmed("id");
    const uint32_t key = shape->contentHash();
    std::unique_ptr<MovieObject> object = std::move(shape);
    const AddResult r2 = id && *id ? dictionary->addUnique(kTypeShape, nullptr, object)
                                   : dictionary->add(kTypeShape, key, nullptr, object);
    if (r2.result != 1 && r2.result != 2) return;
    PlacementInput in;
    in.character = r2.entry;
    in.positionApplied = translation;
    place(in);
}

}  // namespace tessaly
