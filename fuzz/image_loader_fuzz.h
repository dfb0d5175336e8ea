#pragma once
// The body shared by the image loader fuzz targets; each target differs only in
// its seed corpus (BMP, PNG or bag files), which steers the type sniff.

#include <cstddef>
#include <cstdint>

#include "image/image.h"

// Probe and load must agree, a failed load leaves nothing behind, and a
// loaded image survives the operations on its way to a bitmap.
inline int fuzzImageLoader(const uint8_t* data, size_t size) {
    using namespace tessaly;
    ImageInfo info;
    const int probed = Image::probeMemory(data, size, info);
    Image image;
    const int loaded = image.loadFromMemory(data, size);
    if (loaded != kImageOk) {
        if (!image.empty()) __builtin_trap();  // a failed load leaves nothing behind
        return 0;
    }
    if (probed != kImageOk || info.width != image.width() || info.height != image.height()) {
        __builtin_trap();  // probe and load must agree on a good file
    }
    if (uint64_t(image.width()) * image.height() > (1u << 20)) return 0;
    // Results are not checked: the target only asks that every input is handled safely.
    (void)image.setRegion(1, 1, 3, 3);
    (void)image.toGray();
    ByteBuffer sink;
    (void)image.encodeLossless(sink, 1);
    (void)image.resize(3, 2, kResizeBSpline);
    return 0;
}
