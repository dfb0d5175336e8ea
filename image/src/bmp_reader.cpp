// Windows BMP files: uncompressed, 1, 4, 8 or 24 bits per pixel, bottom-up or
// top-down, with any of the information headers (the 12-byte OS/2 1.x one,
// the 40-byte Windows one and the longer V4, V5 and OS/2 2.x ones).

#include <cstring>
#include <string>

#include "image_source.h"
#include "support/memory.h"

namespace tessaly::image_detail {

namespace {

constexpr uint32_t kFileHeaderBytes = 14;
constexpr uint32_t kCoreHeaderBytes = 12;  // OS/2 1.x: 16-bit sizes, 3-byte palette entries
constexpr uint32_t kInfoHeaderBytes = 40;  // the fields every longer header starts with

uint32_t u32le(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t u16le(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

struct BmpHeader {
    uint32_t pixelOffset = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    bool topDown = false;
    uint32_t bitCount = 0;
    uint32_t colorsUsed = 0;
    uint64_t paletteStart = 0;  // right after the information header, whatever its length
    uint32_t paletteEntryBytes = 4;
};

int readHeader(ImageSource& source, BmpHeader& h) {
    uint8_t b[kFileHeaderBytes + kInfoHeaderBytes] = {};
    if (!source.readExact(b, kFileHeaderBytes + 4)) return source.fail(kImageBadData, "BMP header truncated");
    const uint32_t infoSize = u32le(b + 14);
    if (infoSize != kCoreHeaderBytes && infoSize < 16) {
        return source.fail(kImageUnsupported,
                           "BMP information header of " + std::to_string(infoSize) + " bytes");
    }
    // Headers shorter than 40 bytes (OS/2 2.x may stop after any field) leave
    // the fields they omit zero.
    const uint32_t rest = std::min(infoSize, kInfoHeaderBytes) - 4;
    if (!source.readExact(b + kFileHeaderBytes + 4, rest)) {
        return source.fail(kImageBadData, "BMP header truncated");
    }
    h.pixelOffset = u32le(b + 10);
    h.paletteStart = uint64_t(kFileHeaderBytes) + infoSize;
    int64_t width = 0, height = 0;
    uint32_t compression = 0;
    if (infoSize == kCoreHeaderBytes) {
        width = u16le(b + 18);
        height = u16le(b + 20);
        h.bitCount = u16le(b + 24);
        h.paletteEntryBytes = 3;
    } else {
        width = int32_t(u32le(b + 18));
        height = int32_t(u32le(b + 22));
        h.bitCount = u16le(b + 28);
        compression = u32le(b + 30);
        h.colorsUsed = u32le(b + 46);
    }
    if (compression != 0) {
        return source.fail(kImageUnsupported, "BMP compression " + std::to_string(compression));
    }
    if (h.bitCount != 1 && h.bitCount != 4 && h.bitCount != 8 && h.bitCount != 24) {
        return source.fail(kImageUnsupported, "BMP of " + std::to_string(h.bitCount) + " bits per pixel");
    }
    // A negative height marks rows stored top-down.
    h.topDown = height < 0;
    if (height < 0) height = -height;
    if (width < 0) return source.fail(kImageBadData, "BMP width " + std::to_string(width));
    const int sized = checkPictureSize(source, "BMP", uint64_t(width), uint64_t(height));
    if (sized != kImageOk) return sized;
    h.width = uint32_t(width);
    h.height = uint32_t(height);
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

    if (h.pixelOffset < h.paletteStart) {
        return source.fail(kImageBadData, "BMP pixel data offset " + std::to_string(h.pixelOffset) +
                                              " inside the header");
    }
    const uint64_t fileRow = ((uint64_t(h.width) * h.bitCount + 7) / 8 + 3) & ~3ull;
    // The pixel rows must be in the file before anything is allocated for them.
    if (uint64_t(h.pixelOffset) + fileRow * h.height > source.size()) {
        return source.fail(kImageBadData, "BMP pixel data truncated");
    }

    if (h.bitCount == 24) {
        if (!image.createRgb(h.width, h.height)) return source.fail(kImageOutOfMemory, "BMP pixels");
    } else {
        // A palette has at most one entry per value a pixel can hold, and it
        // ends where the pixel data starts.
        const uint32_t most = 1u << h.bitCount;
        uint32_t count = h.colorsUsed && h.colorsUsed < most ? h.colorsUsed : most;
        const uint64_t room = (h.pixelOffset - h.paletteStart) / h.paletteEntryBytes;
        if (room < count) count = uint32_t(room);
        if (count == 0) return source.fail(kImageBadData, "BMP without room for its palette");
        if (!source.seek(h.paletteStart)) return source.fail(kImageBadData, "BMP palette truncated");
        if (!image.createIndexed(h.width, h.height, count, false)) {
            return source.fail(kImageOutOfMemory, "BMP pixels");
        }
        uint8_t raw[256 * 4];
        if (!source.readExact(raw, size_t(count) * h.paletteEntryBytes)) {
            return source.fail(kImageBadData, "BMP palette truncated");
        }
        PaletteEntry* pal = image.palette();
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* e = raw + size_t(i) * h.paletteEntryBytes;  // blue, green, red
            pal[i] = {e[2], e[1], e[0], 255};
        }
    }
    if (!source.seek(h.pixelOffset)) return source.fail(kImageBadData, "BMP pixel data truncated");

    const size_t stride = size_t(image.stride());
    uint8_t* plane = image.isIndexed() ? image.indices() : image.rgb();
    HeapBlock packed;
    if (h.bitCount < 8) {
        packed.reset(static_cast<uint8_t*>(allocateMemory(size_t(fileRow))));
        if (!packed) return source.fail(kImageOutOfMemory, "BMP row buffer");
    }
    const size_t used = h.bitCount == 24 ? size_t(h.width) * 3 : h.width;
    for (uint32_t r = 0; r < h.height; ++r) {
        uint8_t* row = plane + size_t(h.topDown ? r : h.height - 1 - r) * stride;
        if (h.bitCount >= 8) {
            // The file row and the plane row have the same padded length.
            if (!source.readExact(row, stride)) return source.fail(kImageBadData, "BMP pixel data truncated");
            if (h.bitCount == 24) {
                for (size_t x = 0; x < used; x += 3) std::swap(row[x], row[x + 2]);
            }
        } else {
            if (!source.readExact(packed.get(), size_t(fileRow))) {
                return source.fail(kImageBadData, "BMP pixel data truncated");
            }
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
