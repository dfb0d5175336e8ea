#pragma once
// Shared helpers of the image tests: fixture files and reference pixels.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/image.h"

namespace tessaly::test {

using Bytes = std::vector<uint8_t>;

inline std::string fixturePath(const std::string& name) {
    return std::string(TESSALY_SOURCE_DIR) + "/tests/image/fixtures/" + name;
}

inline Bytes readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Pixels as another decoder saw them: width, height, then RGBA bytes.
struct Reference {
    uint32_t width = 0, height = 0;
    Bytes rgba;
};

inline Reference readReference(const std::string& name) {
    const Bytes b = readBytes(fixturePath(name + ".rgba"));
    Reference r;
    if (b.size() < 8) return r;
    r.width = b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24;
    r.height = b[4] | b[5] << 8 | b[6] << 16 | uint32_t(b[7]) << 24;
    r.rgba.assign(b.begin() + 8, b.end());
    return r;
}

// The image's pixels (expanded) as RGBA, alpha 255 where it has none.
inline Bytes rgbaOf(Image& image) {
    Bytes out;
    if (!image.expandToRgb()) return out;
    for (uint32_t y = 0; y < image.height(); ++y) {
        const uint8_t* p = image.rgbRow(y);
        for (uint32_t x = 0; x < image.width(); ++x, p += 3) {
            out.insert(out.end(), p, p + 3);
            out.push_back(image.alpha() ? image.alpha()[size_t(y) * image.width() + x] : 255);
        }
    }
    return out;
}

// A temporary file removed at the end of the scope.
class TempFile {
public:
    explicit TempFile(const std::string& name)
        : path_(std::string(::testing::TempDir()) + "/" + name) {}
    ~TempFile() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace tessaly::test
