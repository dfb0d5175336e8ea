#pragma once
// Writer of bag files: the driver's raster pages and page images.
//
// Layout (all integers unsigned 32-bit big-endian): the signature 00 'B' 'A'
// 'G', the version 1, then records one after another up to the end of the
// file. Each record: type 1 (image band), length L = 8 + compressed bytes,
// the image width (the same in every record), the band's row count (>= 1),
// then a zlib stream of rows x ((width * 3 + 3) & ~3) bytes: top-down rows of
// red, green, blue pixels, each zero-padded to a multiple of 4 bytes. The
// image height is the sum of the bands' rows.
//
// This file needs only zlib and the support library's file functions, so the
// driver can build it into its own library.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "support/files.h"

namespace tessaly {

class Image;

// Byte order of the source pixels handed to appendBand.
enum class BagPixelOrder { kRgb, kBgr };

class BagWriter {
public:
    static constexpr int kDefaultLevel = 6;

    BagWriter() = default;
    ~BagWriter();
    BagWriter(const BagWriter&) = delete;
    BagWriter& operator=(const BagWriter&) = delete;

    // Creates (or replaces) the file and writes the signature and version; 1 on success.
    [[nodiscard]] int open(std::string_view path);
    // Appends one band of `rows` rows of `width` pixels (1..65535), 3 bytes
    // per pixel. Row r starts at first + r * stride; a negative stride walks a
    // bottom-up surface. The first band fixes the width; a band of another
    // width, no open file or a failed write return 0 (the file then keeps the
    // bands written before).
    [[nodiscard]] int appendBand(const uint8_t* first, ptrdiff_t stride, uint32_t width, uint32_t rows,
                   BagPixelOrder order = BagPixelOrder::kRgb, int level = kDefaultLevel);
    // Closes the file; 1 when everything was written and the file closed cleanly.
    [[nodiscard]] int close();

    bool isOpen() const { return file_ != nullptr; }
    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }

private:
    FileHandle file_;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    bool failed_ = false;
};

// Writes a whole true-colour image (indexed images are looked up in their
// palette) as a bag file of one band; 1 on success.
[[nodiscard]] int writeBagFile(std::string_view path, const Image& image, int level = BagWriter::kDefaultLevel);

}  // namespace tessaly
