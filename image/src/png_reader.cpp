// PNG files: 8-bit RGB (colour type 2) and 8-bit palette (colour type 3,
// with tRNS), not interlaced. Our own reader: zlib for the data, the five
// row filters undone here.

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "image_source.h"
#include "support/memory.h"

namespace tessaly::image_detail {

namespace {

constexpr size_t kPieceSize = 4096;

struct Chunk {
    uint32_t length = 0;
    uint8_t type[4] = {};
};

bool readChunkHeader(ImageSource& source, Chunk& chunk) {
    return source.readU32BE(chunk.length) && source.readExact(chunk.type, 4);
}

// Chunk types are compared ignoring the case bit of each letter.
bool isType(const Chunk& chunk, const char* name) {
    for (int i = 0; i < 4; ++i) {
        if ((chunk.type[i] | 0x20) != (uint8_t(name[i]) | 0x20)) return false;
    }
    return true;
}

// Skips the chunk's data and CRC.
bool skipChunk(ImageSource& source, const Chunk& chunk) {
    return source.skip(uint64_t(chunk.length) + 4);
}

struct Header {
    uint32_t width = 0, height = 0;
    uint8_t bitDepth = 0, colorType = 0;
};

int readHeader(ImageSource& source, Header& h) {
    if (!source.skip(8)) return kImageBadData;  // the signature, seen by the type sniff
    Chunk chunk;
    if (!readChunkHeader(source, chunk) || !isType(chunk, "IHDR") || chunk.length < 13) {
        return kImageBadData;
    }
    uint8_t b[13];
    if (!source.readExact(b, sizeof b) || !source.skip(uint64_t(chunk.length - 13) + 4)) {
        return kImageBadData;
    }
    auto u32 = [](const uint8_t* p) {
        return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
    };
    h.width = u32(b);
    h.height = u32(b + 4);
    h.bitDepth = b[8];
    h.colorType = b[9];
    if (h.width < 1 || h.width > kImageMaxSide || h.height < 1 || h.height > kImageMaxSide) {
        return kImageBadData;
    }
    if (b[10] != 0 || b[11] != 0 || b[12] != 0) return kImageBadData;  // methods, interlace
    if (h.bitDepth != 8 || (h.colorType != 2 && h.colorType != 3)) return kImageBadData;
    return kImageOk;
}

inline uint8_t paeth(int a, int b, int c) {
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    return uint8_t(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Undoes one row's filter: raw bytes in, pixels out; prev is the row above
// (null on the first row).
void unfilterRow(uint8_t filter, const uint8_t* raw, const uint8_t* prev, uint8_t* out, size_t n,
                 size_t bpp) {
    const size_t lead = std::min(bpp, n);
    switch (filter) {
        case 1:  // Sub
            std::memcpy(out, raw, lead);
            for (size_t i = bpp; i < n; ++i) out[i] = uint8_t(raw[i] + out[i - bpp]);
            return;
        case 2:  // Up
            if (!prev) break;
            for (size_t i = 0; i < n; ++i) out[i] = uint8_t(raw[i] + prev[i]);
            return;
        case 3:  // Average
            if (!prev) {
                std::memcpy(out, raw, lead);
                for (size_t i = bpp; i < n; ++i) out[i] = uint8_t(raw[i] + (out[i - bpp] >> 1));
                return;
            }
            for (size_t i = 0; i < lead; ++i) out[i] = uint8_t(raw[i] + (prev[i] >> 1));
            for (size_t i = bpp; i < n; ++i) {
                out[i] = uint8_t(raw[i] + ((out[i - bpp] + prev[i]) >> 1));
            }
            return;
        case 4:  // Paeth; with no row above the predictor is the left byte
            if (!prev) {
                std::memcpy(out, raw, lead);
                for (size_t i = bpp; i < n; ++i) out[i] = uint8_t(raw[i] + out[i - bpp]);
                return;
            }
            for (size_t i = 0; i < lead; ++i) out[i] = uint8_t(raw[i] + prev[i]);
            if (bpp == 3) {
                // Three independent channel chains, kept in registers.
                int a0 = out[0], a1 = out[1], a2 = out[2];
                int c0 = prev[0], c1 = prev[1], c2 = prev[2];
                for (size_t i = 3; i + 2 < n; i += 3) {
                    const int b0 = prev[i], b1 = prev[i + 1], b2 = prev[i + 2];
                    a0 = uint8_t(raw[i] + paeth(a0, b0, c0));
                    a1 = uint8_t(raw[i + 1] + paeth(a1, b1, c1));
                    a2 = uint8_t(raw[i + 2] + paeth(a2, b2, c2));
                    out[i] = uint8_t(a0);
                    out[i + 1] = uint8_t(a1);
                    out[i + 2] = uint8_t(a2);
                    c0 = b0;
                    c1 = b1;
                    c2 = b2;
                }
                return;
            }
            for (size_t i = bpp; i < n; ++i) {
                out[i] = uint8_t(raw[i] + paeth(out[i - bpp], prev[i], prev[i - bpp]));
            }
            return;
        default:
            break;
    }
    std::memcpy(out, raw, n);  // None, Up on the first row, unknown filters
}

// Inflates the IDAT chunks from the source's position into `rows` rows of
// rowBytes at dest (stride apart), undoing the filters.
int readPixelData(ImageSource& source, uint8_t* dest, uint32_t rows, size_t rowBytes,
                  size_t stride, size_t bpp) {
    HeapBlock buffers(static_cast<uint8_t*>(allocateMemory(rowBytes + 1 + kPieceSize)));
    if (!buffers) return kImageOutOfMemory;
    uint8_t* rowBuffer = buffers.get();
    uint8_t* piece = rowBuffer + rowBytes + 1;

    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) return kImageOutOfMemory;
    struct End {
        z_stream* s;
        ~End() { inflateEnd(s); }
    } end{&zs};

    const size_t rowTotal = rowBytes + 1;
    size_t filled = 0;
    uint32_t row = 0;
    bool streamEnded = false;
    while (row < rows) {
        Chunk chunk;
        if (!readChunkHeader(source, chunk)) return kImageBadData;
        if (!isType(chunk, "IDAT")) {
            if (!skipChunk(source, chunk)) return kImageBadData;
            continue;
        }
        uint32_t left = chunk.length;
        while (left > 0) {
            const uint32_t n = std::min<uint32_t>(left, kPieceSize);
            if (!source.readExact(piece, n)) return kImageBadData;
            left -= n;
            if (streamEnded) continue;
            zs.next_in = piece;
            zs.avail_in = n;
            for (;;) {
                zs.next_out = rowBuffer + filled;
                zs.avail_out = uInt(rowTotal - filled);
                const uInt inBefore = zs.avail_in;
                const int status = inflate(&zs, Z_SYNC_FLUSH);
                const size_t produced = rowTotal - filled - zs.avail_out;
                filled += produced;
                if (filled == rowTotal) {
                    uint8_t* out = dest + size_t(row) * stride;
                    unfilterRow(rowBuffer[0], rowBuffer + 1, row ? out - stride : nullptr, out,
                                rowBytes, bpp);
                    filled = 0;
                    if (++row == rows) return kImageOk;  // anything after is ignored
                }
                if (status == Z_STREAM_END) {
                    streamEnded = true;
                    break;
                }
                if (status != Z_OK && status != Z_BUF_ERROR) return kImageBadData;
                if (produced == 0 && zs.avail_in == inBefore) break;  // no progress
                if (zs.avail_in == 0 && zs.avail_out != 0) break;      // needs more input
            }
        }
        if (!source.skip(4)) return kImageBadData;  // CRC, not checked
    }
    return kImageOk;
}

}  // namespace

int probePng(ImageSource& source, ImageInfo& info) {
    Header h;
    const int result = readHeader(source, h);
    if (result != kImageOk) return result;
    info.width = h.width;
    info.height = h.height;
    info.bitDepth = h.colorType == 3 ? 8 : 24;
    return kImageOk;
}

int readPng(ImageSource& source, Image& image) {
    Header h;
    int result = readHeader(source, h);
    if (result != kImageOk) return result;
    const size_t bpp = h.colorType == 3 ? 1 : 3;
    const size_t rowBytes = size_t(h.width) * bpp;
    // However the data is split, it cannot inflate further than deflate allows.
    if (!inflateCanYield(source.remaining(), uint64_t(rowBytes + 1) * h.height)) {
        return kImageBadData;
    }

    if (h.colorType == 2) {
        if (!image.createRgb(h.width, h.height)) return kImageOutOfMemory;
        return readPixelData(source, image.rgb(), h.height, rowBytes, size_t(image.rgbStride()), 3);
    }

    // Palette: is there a tRNS before the first IDAT?
    const uint64_t afterHeader = source.tell();
    bool hasTrns = false;
    Chunk chunk;
    for (;;) {
        if (!readChunkHeader(source, chunk)) return kImageBadData;
        if (isType(chunk, "tRNS")) {
            hasTrns = true;
            break;
        }
        if (isType(chunk, "IDAT")) break;
        if (!skipChunk(source, chunk)) return kImageBadData;
    }
    if (!source.seek(afterHeader)) return kImageBadData;
    for (;;) {
        if (!readChunkHeader(source, chunk)) return kImageBadData;
        if (isType(chunk, "PLTE")) break;
        if (!skipChunk(source, chunk)) return kImageBadData;
    }
    const uint32_t count = chunk.length / 3;
    if (count == 0 || count > 65535 || chunk.length > source.remaining()) return kImageBadData;
    if (!image.createIndexed(h.width, h.height, count, hasTrns)) return kImageOutOfMemory;
    {
        HeapBlock raw(static_cast<uint8_t*>(allocateMemory(chunk.length)));
        if (!raw) return kImageOutOfMemory;
        if (!source.readExact(raw.get(), chunk.length) || !source.skip(4)) return kImageBadData;
        PaletteEntry* pal = image.palette();
        for (uint32_t i = 0; i < count; ++i) {
            pal[i] = {raw[i * 3], raw[i * 3 + 1], raw[i * 3 + 2], 255};
        }
    }
    if (hasTrns) {
        for (;;) {
            if (!readChunkHeader(source, chunk)) return kImageBadData;
            if (isType(chunk, "tRNS")) break;
            if (!skipChunk(source, chunk)) return kImageBadData;
        }
        const uint32_t n = std::min(chunk.length, count);
        uint8_t alpha[4096];
        PaletteEntry* pal = image.palette();
        for (uint32_t done = 0; done < n;) {
            const uint32_t part = std::min<uint32_t>(n - done, sizeof alpha);
            if (!source.readExact(alpha, part)) return kImageBadData;
            for (uint32_t i = 0; i < part; ++i) pal[done + i].alpha = alpha[i];
            done += part;
        }
        if (!source.skip(uint64_t(chunk.length - n) + 4)) return kImageBadData;
    }
    return readPixelData(source, image.indices(), h.height, rowBytes, size_t(image.indexStride()),
                         1);
}

}  // namespace tessaly::image_detail
