#pragma once
// The raster image every bitmap of a movie passes through: loading (BMP, PNG
// and the driver's bag files), colour effects, resampling and the encodings
// the SWF bitmap tags carry (JPEG tables + abbreviated image, zlib-compressed
// 32-bit pixels with or without alpha).
//
// Planes:
//   rgb      24-bit pixels, rows top-down, bytes red, green, blue, each row
//            zero-padded to a multiple of 4 bytes (rgbStride()).
//   alpha    optional, one byte per pixel (0 transparent .. 255 opaque),
//            width x height bytes, rows unpadded.
//   indices  8-bit palette indices of an indexed image, rows padded to 4
//            bytes (indexStride()), with a palette of up to 65535 entries.
//
// An indexed image (BMP of 1, 4 or 8 bits, palette PNG) keeps rgb empty until
// an operation needs true colour; that operation expands it first (an index
// past the last entry takes the last entry, and a palette with alpha also
// builds the alpha plane). Every operation that needs true colour may
// therefore fail for want of memory.
//
// Results: loaders return kImageOk (1) or one of the negative codes below;
// every other operation returns true on success. Nothing throws. Sizes are
// computed in 64 bits, so even 65535 x 65535 images are sized right (and
// refused with kImageOutOfMemory when they cannot be allocated). A failed
// load or probe also says why in words (the first fault the reader met).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "support/byte_buffer.h"
#include "support/memory.h"

namespace tessaly {

enum ImageResult : int {
    kImageOk = 1,
    kImageCannotOpen = -1,   // the file could not be opened
    kImageBadData = -2,      // bad or truncated data
    kImageUnsupported = -3,  // not a BMP/PNG/bag file, or a BMP variant not read
    kImageOutOfMemory = -4,  // memory short, or a picture beyond kImageMaxPixels
};

// Largest width and height the loaders accept.
inline constexpr uint32_t kImageMaxSide = 65535;
// Largest picture the loaders decode, in pixels (width x height). The largest
// page the driver prints is A3 or Tabloid; at 600 dpi A3 is 7015 x 9921, about
// 69.6 million pixels. 80 million leaves a margin above that while keeping a
// decoded picture under 240 MB of 24-bit pixels (plus 80 MB of alpha), so a
// small file that claims a huge picture is refused before anything is
// allocated. Beyond it the loaders return kImageOutOfMemory.
inline constexpr uint64_t kImageMaxPixels = 80'000'000;
// Largest smoothing amount (200 passes): every 10 more would add two passes
// over the picture, so an unbounded value could keep one image busy for hours.
inline constexpr float kImageMaxSmoothing = 1000;

// The result code in words: "cannot open", "bad data", "unsupported type",
// "out of memory" ("failed" for anything else).
const char* imageResultText(int result);
// "bad data (PNG filter type 7 in row 12)": the code in words, then the
// reader's detail in parentheses when there is one.
std::string describeImageFailure(int result, std::string_view detail);

// What probe reports from the headers alone.
struct ImageInfo {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bitDepth = 0;    // BMP 1, 4, 8 or 24; PNG 8 (palette, grey) or 24; bag 24
    uint32_t depthClass = 0;  // 8 when bitDepth <= 8, else 24
    int type = 0;             // the support library's file type (kFileTypeBmp, ...)
};

struct PaletteEntry {
    uint8_t red, green, blue, alpha;
};

// One colour of applyAlphaColor: pixels of exactly `color` (0xRRGGBB) get `alpha`.
struct AlphaColor {
    uint32_t color;
    uint8_t alpha;
};

// A rectangle in pixels. Operations that take one clip it to the image.
struct ImageRect {
    int64_t x = 0, y = 0;
    int64_t w = 0, h = 0;
};

// The working rectangle of the region effects, already clipped.
struct ImageRegion {
    uint32_t x = 0, y = 0, w = 0, h = 0;
    uint32_t rowSkip = 0;     // rgb bytes from the end of one region row to the next
    uint64_t pixelCount = 0;  // w * h
};

enum ResizeMode : int {
    kResizeNearest = 0,
    kResizeMean = 1,
    kResizeBilinear = 2,  // quadratic window when shrinking
    kResizeBSpline = 3,   // cubic window when shrinking
};

class Image {
public:
    Image() = default;
    Image(Image&& other) noexcept = default;
    Image& operator=(Image&& other) noexcept = default;
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    // --- Loading -------------------------------------------------------------

    // Reads a BMP, PNG or bag file, chosen by its first bytes (any other type
    // gives kImageUnsupported). On failure the image is left empty and
    // loadError() says what the reader found wrong.
    [[nodiscard]] int load(std::string_view path);
    // The same from bytes in memory.
    [[nodiscard]] int loadFromMemory(const uint8_t* data, size_t n);
    // Why the last load failed ("PNG filter type 7 in row 12"); empty after a
    // successful one.
    const std::string& loadError() const { return loadError_; }
    // Reads only the headers (a bag file: every record header); refuses what
    // load would refuse from them, the size limits included. `why`, when
    // given, receives the detail of a failure.
    [[nodiscard]] static int probe(std::string_view path, ImageInfo& info,
                                   std::string* why = nullptr);
    [[nodiscard]] static int probeMemory(const uint8_t* data, size_t n, ImageInfo& info,
                                         std::string* why = nullptr);

    // --- Creating ------------------------------------------------------------
    // A create allocates all new planes first and only then drops the old
    // content (alpha, indices and palette included); on failure the image is
    // unchanged. Sides must be 1..65535. The region becomes the whole image.

    // True colour; pixels zero unless a fill colour (0xRRGGBB) is given.
    [[nodiscard]] bool createRgb(uint32_t width, uint32_t height);
    [[nodiscard]] bool createRgb(uint32_t width, uint32_t height, uint32_t fillColor);
    [[nodiscard]] bool createRgbWithAlpha(uint32_t width, uint32_t height, uint32_t fillColor, uint8_t alphaFill);
    // Indexed, with a palette of `paletteCount` entries (1..65535) set to
    // opaque black and indices 0.
    [[nodiscard]] bool createIndexed(uint32_t width, uint32_t height, uint32_t paletteCount, bool paletteHasAlpha);
    // Frees every plane; the image is empty.
    void clear() noexcept;

    // Turns an indexed image into true colour (a no-op for a true-colour one).
    [[nodiscard]] bool expandToRgb();

    // --- Regions -------------------------------------------------------------

    // Clips the rectangle to the image (negative x or y shrink the width or
    // height); false, leaving the region as it was, when nothing is left.
    [[nodiscard]] bool setRegion(int64_t x, int64_t y, int64_t w, int64_t h);
    void setRegionToImage();
    const ImageRegion& region() const { return region_; }
    // Plain integer mean of the region's pixels (0 for an empty image or
    // when an indexed image cannot be expanded).
    void averageRegion(uint8_t& red, uint8_t& green, uint8_t& blue);

    // --- Effects ---------------------------------------------------------------

    // New alpha plane over the whole image: a pixel whose colour equals a
    // listed colour takes that entry's alpha (the first match), any other
    // pixel `defaultAlpha`.
    [[nodiscard]] bool applyAlphaColor(uint8_t defaultAlpha, std::span<const AlphaColor> colors);
    // y = 0.299 r + 0.587 g + 0.114 b (truncated) in all three channels; region only.
    [[nodiscard]] bool toGray();
    // 255 where y >= threshold, else 0, in all three channels; region only.
    [[nodiscard]] bool toBlackWhite(uint8_t threshold);
    // In-place neighbour averaging over the whole image; nothing for amount <= 0.
    // Passes: 2 * floor(amount / 10), at least 1, alternating direction and
    // ending with a backward pass; strength min(amount, 100) / 100. Amounts
    // above kImageMaxSmoothing are taken as that one.
    [[nodiscard]] bool smooth(float amount);
    // Resamples to width x height (1..65535) in a ResizeMode; any other mode
    // is nearest. The result is true colour without alpha. Unchanged (and
    // true) when the size is the same; unchanged and false when memory is short.
    [[nodiscard]] bool resize(uint32_t width, uint32_t height, int mode);
    // Copies source's rectangle at (sx, sy) of size w x h to (dx, dy),
    // clipped on both sides. When this image has alpha, the source's alpha
    // comes along (255 where the source has none). false when nothing is
    // left after clipping or memory is short. The source must not be *this.
    [[nodiscard]] bool copyFrom(int64_t dx, int64_t dy, int64_t w, int64_t h, const Image& source, int64_t sx,
                  int64_t sy);

    // --- Encodings for SWF bitmaps --------------------------------------------
    // Each encoder resets its sink(s) to length 0 first; on failure the sinks
    // may hold partial output. The rectangle is clipped to the image.

    // JPEG through libjpeg: the tables (quantisation and Huffman, between SOI
    // and EOI) into `tables` (discarded when null), then an abbreviated image
    // stream that relies on them into `image`. quality is 0..100 (clamped).
    // Two encodings at the same quality produce identical tables.
    [[nodiscard]] bool encodeJpeg(ByteBuffer* tables, ByteBuffer& image, const ImageRect& rect, int quality);
    [[nodiscard]] bool encodeJpeg(ByteBuffer* tables, ByteBuffer& image, int quality);
    // The tables of `quality` alone, as the shared JPEGTables of a movie (from
    // a blank 8 x 8 image).
    [[nodiscard]] static bool encodeJpegTables(ByteBuffer& tables, int quality);
    // zlib stream (compress2 at `level`) of w x h 4-byte pixels 255, r, g, b:
    // the data of DefineBitsLossless format 5.
    [[nodiscard]] bool encodeLossless(ByteBuffer& sink, const ImageRect& rect, int level);
    [[nodiscard]] bool encodeLossless(ByteBuffer& sink, int level);
    // The same with alpha, colours premultiplied: (a', r*a >> 8, g*a >> 8,
    // b*a >> 8) with a' = a + 1 for 0 < a < 255, colours unchanged at a = 255:
    // the data of DefineBitsLossless2. false without an alpha plane.
    [[nodiscard]] bool encodeLosslessAlpha(ByteBuffer& sink, const ImageRect& rect, int level);
    [[nodiscard]] bool encodeLosslessAlpha(ByteBuffer& sink, int level);

    // Bitmap tags need at least 2 x 2 pixels. True when this image is 1 pixel
    // wide or high; minimumSizeCopy then makes the padded copy (the single
    // row or column repeated beside itself, alpha kept) into `padded`.
    bool needsMinimumSize() const { return !empty() && (width_ == 1 || height_ == 1); }
    bool minimumSizeCopy(Image& padded) const;

    // --- Access ------------------------------------------------------------------

    bool empty() const { return width_ == 0 || height_ == 0; }
    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }
    // 1 for an indexed image not yet expanded, else 3.
    uint32_t bytesPerPixel() const { return bytesPerPixel_; }
    bool isIndexed() const { return bytesPerPixel_ == 1; }
    // Bytes per row of the current pixel plane (indices or rgb).
    int32_t stride() const { return bytesPerPixel_ == 1 ? indexStride() : rgbStride(); }
    int32_t rgbStride() const { return rgbStrideFor(width_); }
    int32_t indexStride() const { return int32_t((width_ + 3) & ~3u); }
    // True when the image has an alpha plane, or is indexed with a palette
    // that carries alpha (which becomes the alpha plane on expansion).
    bool hasAlpha() const { return alpha_ != nullptr || (isIndexed() && paletteHasAlpha_); }

    uint8_t* rgb() { return rgb_.get(); }
    const uint8_t* rgb() const { return rgb_.get(); }
    uint8_t* rgbRow(uint32_t y) { return rgb_.get() + size_t(y) * size_t(rgbStride()); }
    const uint8_t* rgbRow(uint32_t y) const {
        return rgb_.get() + size_t(y) * size_t(rgbStride());
    }
    uint8_t* alpha() { return alpha_.get(); }
    const uint8_t* alpha() const { return alpha_.get(); }
    uint8_t* indices() { return indices_.get(); }
    const uint8_t* indices() const { return indices_.get(); }
    PaletteEntry* palette() { return reinterpret_cast<PaletteEntry*>(palette_.get()); }
    const PaletteEntry* palette() const {
        return reinterpret_cast<const PaletteEntry*>(palette_.get());
    }
    uint32_t paletteCount() const { return paletteCount_; }
    bool paletteHasAlpha() const { return paletteHasAlpha_; }

    static int32_t rgbStrideFor(uint32_t width) { return int32_t((uint64_t(width) * 3 + 3) & ~3ull); }

private:
    // The true-colour pixel and alpha at (x, y), for a source that may be indexed.
    void pixelAt(uint32_t x, uint32_t y, uint8_t* rgbOut, uint8_t& alphaOut) const;
    bool clipRect(const ImageRect& rect, ImageRegion& out) const;

    uint32_t width_ = 0;
    uint32_t height_ = 0;
    uint32_t bytesPerPixel_ = 3;
    HeapBlock rgb_;
    HeapBlock alpha_;
    HeapBlock indices_;
    HeapBlock palette_;
    uint32_t paletteCount_ = 0;
    bool paletteHasAlpha_ = false;
    ImageRegion region_;
    std::string loadError_;
};

}  // namespace tessaly
