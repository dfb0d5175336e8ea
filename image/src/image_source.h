#pragma once
// Input of the image readers: an open file or bytes in memory, with a known
// total size so that no header field is trusted for how much can be read.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "image/image.h"
#include "support/files.h"

namespace tessaly::image_detail {

class ImageSource {
public:
    virtual ~ImageSource() = default;
    // Reads up to n bytes: the count read (short at the end or on an error).
    virtual size_t read(void* dest, size_t n) = 0;
    // Moves to an absolute position within the data; false beyond its end.
    virtual bool seek(uint64_t position) = 0;
    uint64_t tell() const { return position_; }
    uint64_t size() const { return size_; }
    uint64_t remaining() const { return size_ > position_ ? size_ - position_ : 0; }

    // Records why reading failed, keeping the first reason given, and
    // returns the code so that a reader can `return source.fail(...)`.
    [[nodiscard]] int fail(int code, std::string why) {
        if (failure_.empty()) failure_ = std::move(why);
        return code;
    }
    const std::string& failure() const { return failure_; }

    bool readExact(void* dest, size_t n) { return read(dest, n) == n; }
    bool skip(uint64_t n) { return n <= remaining() && seek(position_ + n); }
    bool readU32BE(uint32_t& v) {
        uint8_t b[4];
        if (!readExact(b, 4)) return false;
        v = uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
        return true;
    }

protected:
    uint64_t position_ = 0;
    uint64_t size_ = 0;

private:
    std::string failure_;
};

class MemorySource final : public ImageSource {
public:
    MemorySource(const uint8_t* data, size_t n) : data_(data) { size_ = data ? n : 0; }
    size_t read(void* dest, size_t n) override {
        const size_t count = size_t(std::min<uint64_t>(n, remaining()));
        if (count) std::memcpy(dest, data_ + position_, count);
        position_ += count;
        return count;
    }
    bool seek(uint64_t position) override {
        if (position > size_) return false;
        position_ = position;
        return true;
    }

private:
    const uint8_t* data_;
};

class FileSource final : public ImageSource {
public:
    // Opens the file; ok() tells whether that worked.
    explicit FileSource(std::string_view path) : file_(openFile(path, "rb")) {
        if (!file_) return;
        if (seekFile(file_.get(), 0, 2) != 0) {
            file_.reset();
            return;
        }
        const int64_t end = tellFile(file_.get());
        if (end < 0 || seekFile(file_.get(), 0, 0) != 0) {
            file_.reset();
            return;
        }
        size_ = uint64_t(end);
    }
    bool ok() const { return file_ != nullptr; }
    size_t read(void* dest, size_t n) override {
        const size_t wanted = size_t(std::min<uint64_t>(n, remaining()));
        const int64_t got = wanted ? readUpTo(file_.get(), dest, wanted) : 0;
        if (got <= 0) return 0;
        position_ += uint64_t(got);
        return size_t(got);
    }
    bool seek(uint64_t position) override {
        if (position > size_) return false;
        if (position == position_) return true;
        if (seekFile(file_.get(), int64_t(position), 0) != 0) return false;
        position_ = position;
        return true;
    }

private:
    FileHandle file_;
};

// The readers; each fills `image` (already empty) and returns a result code.
[[nodiscard]] int readBmp(ImageSource& source, Image& image);
[[nodiscard]] int readPng(ImageSource& source, Image& image);
[[nodiscard]] int readBag(ImageSource& source, Image& image);
[[nodiscard]] int probeBmp(ImageSource& source, ImageInfo& info);
[[nodiscard]] int probePng(ImageSource& source, ImageInfo& info);
[[nodiscard]] int probeBag(ImageSource& source, ImageInfo& info);

// The decoded-size limits every reader applies before it allocates:
// kImageOk, or kImageBadData / kImageOutOfMemory with the reason recorded.
[[nodiscard]] inline int checkPictureSize(ImageSource& source, const char* format, uint64_t width,
                            uint64_t height) {
    if (width < 1 || height < 1 || width > kImageMaxSide || height > kImageMaxSide) {
        return source.fail(kImageBadData, std::string(format) + " size " + std::to_string(width) +
                                              " x " + std::to_string(height) +
                                              " outside 1..65535");
    }
    if (width * height > kImageMaxPixels) {
        return source.fail(kImageOutOfMemory,
                           std::string(format) + " picture of " + std::to_string(width) + " x " +
                               std::to_string(height) + " pixels exceeds the limit of " +
                               std::to_string(kImageMaxPixels) + " pixels");
    }
    return kImageOk;
}

// deflate expands at most about 1032 : 1; data that would need more than
// this many output bytes from `compressed` input bytes cannot be genuine.
inline bool inflateCanYield(uint64_t compressed, uint64_t needed) {
    return needed <= compressed * 1040 + 4096;
}

}  // namespace tessaly::image_detail
