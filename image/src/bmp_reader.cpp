// Windows BMP files: uncompressed, bottom-up, 1, 4, 8 or 24 bits per pixel.

#include <cstring>

#include "image_source.h"
#include "support/memory.h"

namespace tessaly::image_detail {

namespace {

constexpr uint32_t kHeaderBytes = 54;  // 14-byte file header + 40-byte information header

uint32_t u32le(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t u16le(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

struct BmpHeader {
    uint32_t pixelOffset;
    uint32_t width;
    uint32_t height;
    uint32_t bitCount;
    uint32_t colorsUsed;
};

int readHeader(ImageSource& source, BmpHeader& h) {
    uint8_t b[kHeaderBytes];
    if (!source.readExact(b, sizeof b)) return kImageBadData;
    const uint32_t infoSize = u32le(b + 14);
    const uint32_t compression = u32le(b + 30);
    h.bitCount = u16le(b + 28);
    // The 12-byte OS/2 header lays its fields out differently.
    if (infoSize < 40) return kImageUnsupported;
    if (compression != 0) return kImageUnsupported;
    if (h.bitCount != 1 && h.bitCount != 4 && h.bitCount != 8 && h.bitCount != 24) {
        return kImageUnsupported;
    }
    const int32_t width = int32_t(u32le(b + 18));
    const int32_t height = int32_t(u32le(b + 22));  // negative: top-down, refused
    if (width < 1 || width > int32_t(kImageMaxSide)) return kImageBadData;
    if (height < 1 || height > int32_t(kImageMaxSide)) return kImageBadData;
    h.width = uint32_t(width);
    h.height = uint32_t(height);
    h.pixelOffset = u32le(b + 10);
    h.colorsUsed = u32le(b + 46);
    return kImageOk;
}

}  // namespace

int probeBmp(ImageSource& source, ImageInfo& info) {
    BmpHeader h;
    const int result = readHeader(source, h);
    if (result != kImageOk) return result;
    info.width = h.width;
    info.height = h.height;
    info.bitDepth = h.bitCount;
    return kImageOk;
}

int readBmp(ImageSource& source, Image& image) {
    BmpHeader h;
    int result = readHeader(source, h);
    if (result != kImageOk) return result;

    const uint64_t fileRow = ((uint64_t(h.width) * h.bitCount + 7) / 8 + 3) & ~3ull;
    // The pixel rows must be in the file before anything is allocated for them.
    if (uint64_t(h.pixelOffset) + fileRow * h.height > source.size()) return kImageBadData;

    if (h.bitCount == 24) {
        if (!image.createRgb(h.width, h.height)) return kImageOutOfMemory;
    } else {
        const uint32_t count = h.colorsUsed ? h.colorsUsed : 256;
        if (count > 65535 || uint64_t(count) * 4 > source.remaining()) return kImageBadData;
        if (!image.createIndexed(h.width, h.height, count, false)) return kImageOutOfMemory;
        HeapBlock raw(static_cast<uint8_t*>(allocateMemory(size_t(count) * 4)));
        if (!raw) return kImageOutOfMemory;
        if (!source.readExact(raw.get(), size_t(count) * 4)) return kImageBadData;
        PaletteEntry* pal = image.palette();
        for (uint32_t i = 0; i < count; ++i) {
            pal[i].red = raw[i * 4 + 2];
            pal[i].green = raw[i * 4 + 1];
            pal[i].blue = raw[i * 4];
            pal[i].alpha = 255;
        }
    }
    if (!source.seek(h.pixelOffset)) return kImageBadData;

    const size_t stride = size_t(image.stride());
    uint8_t* plane = image.isIndexed() ? image.indices() : image.rgb();
    HeapBlock packed;
    if (h.bitCount < 8) {
        packed.reset(static_cast<uint8_t*>(allocateMemory(size_t(fileRow))));
        if (!packed) return kImageOutOfMemory;
    }
    const size_t used = h.bitCount == 24 ? size_t(h.width) * 3 : h.width;
    for (uint32_t r = 0; r < h.height; ++r) {
        uint8_t* row = plane + size_t(h.height - 1 - r) * stride;
        if (h.bitCount >= 8) {
            // The file row and the plane row have the same padded length.
            if (!source.readExact(row, stride)) return kImageBadData;
            if (h.bitCount == 24) {
                for (size_t x = 0; x < used; x += 3) std::swap(row[x], row[x + 2]);
            }
        } else {
            if (!source.readExact(packed.get(), size_t(fileRow))) return kImageBadData;
            const uint8_t* in = packed.get();
            if (h.bitCount == 4) {
                for (uint32_t x = 0; x < h.width; ++x) {
                    row[x] = (x & 1) ? in[x >> 1] & 0x0F : in[x >> 1] >> 4;
                }
            } else {
                for (uint32_t x = 0; x < h.width; ++x) row[x] = (in[x >> 3] >> (7 - (x & 7))) & 1;
            }
        }
        std::memset(row + used, 0, stride - used);  // padding is always zero
    }
    return kImageOk;
}

}  // namespace tessaly::image_detail
