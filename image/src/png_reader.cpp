// PNG files of every colour type and bit depth, interlaced or not. Our own
// reader: zlib inflates the data row by row (two rows of filtered bytes are
// all it keeps), the five row filters are undone here, and each row goes
// straight into the image's planes.
//
// What the picture becomes:
//   palette (1, 2, 4, 8 bits)        indexed, tRNS as palette alpha
//   grey (1, 2, 4, 8 bits)           indexed with a grey palette, tRNS as palette alpha
//   grey 16 bits                     indexed with a grey palette (high byte), or
//                                    true colour with alpha when tRNS keys a grey
//   RGB 8/16, grey + alpha, RGBA     true colour, alpha plane for alpha or tRNS
// 16-bit samples keep their high byte; tRNS keys compare the full samples.

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "image_source.h"
#include "support/memory.h"

namespace tessaly::image_detail {

namespace {

constexpr size_t kPieceSize = 4096;

enum ColorType : uint8_t { kGrey = 0, kRgb = 2, kPalette = 3, kGreyAlpha = 4, kRgba = 6 };

struct Chunk {
    uint32_t length = 0;
    uint8_t type[4] = {};
};

bool readChunkHeader(ImageSource& source, Chunk& chunk) {
    return source.readU32BE(chunk.length) && source.readExact(chunk.type, 4);
}

// Chunk types compare exactly: the case of each letter is part of the name
// (an ancillary "tRNs" is another chunk than "tRNS").
bool isType(const Chunk& chunk, const char* name) { return std::memcmp(chunk.type, name, 4) == 0; }

std::string typeName(const Chunk& chunk) {
    std::string s;
    for (uint8_t c : chunk.type) s += c >= 0x20 && c < 0x7F ? char(c) : '?';
    return s;
}

// Skips the chunk's data and CRC.
bool skipChunk(ImageSource& source, const Chunk& chunk) {
    return source.skip(uint64_t(chunk.length) + 4);
}

int chunkTruncated(ImageSource& source, const Chunk& chunk) {
    return source.fail(kImageBadData, "PNG chunk " + typeName(chunk) + " truncated");
}

struct Header {
    uint32_t width = 0, height = 0;
    uint8_t bitDepth = 0, colorType = 0;
    bool interlaced = false;

    uint32_t channels() const {
        switch (colorType) {
            case kRgb: return 3;
            case kGreyAlpha: return 2;
            case kRgba: return 4;
            default: return 1;
        }
    }
    uint32_t bitsPerPixel() const { return channels() * bitDepth; }
    // Filtered bytes of a row of `pixels` pixels (without the filter byte).
    uint64_t rowBytes(uint64_t pixels) const { return (pixels * bitsPerPixel() + 7) / 8; }
    // The filters' byte distance to the pixel on the left: at least 1.
    size_t filterStep() const { return std::max<size_t>(1, bitsPerPixel() / 8); }
    // The image loads indexed (one byte per pixel) without a per-pixel alpha.
    bool indexed(bool keyed) const {
        return colorType == kPalette || (colorType == kGrey && (bitDepth <= 8 || !keyed));
    }
};

bool validDepth(uint8_t colorType, uint8_t depth) {
    switch (colorType) {
        case kGrey: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
        case kPalette: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
        case kRgb:
        case kGreyAlpha:
        case kRgba: return depth == 8 || depth == 16;
        default: return false;
    }
}

int readHeader(ImageSource& source, Header& h) {
    if (!source.skip(8)) return source.fail(kImageBadData, "PNG signature truncated");
    Chunk chunk;
    if (!readChunkHeader(source, chunk) || !isType(chunk, "IHDR") || chunk.length < 13) {
        return source.fail(kImageBadData, "PNG without IHDR first");
    }
    uint8_t b[13];
    if (!source.readExact(b, sizeof b) || !source.skip(uint64_t(chunk.length - 13) + 4)) {
        return source.fail(kImageBadData, "PNG IHDR truncated");
    }
    auto u32 = [](const uint8_t* p) {
        return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
    };
    h.width = u32(b);
    h.height = u32(b + 4);
    h.bitDepth = b[8];
    h.colorType = b[9];
    if (b[10] != 0 || b[11] != 0 || b[12] > 1) {
        return source.fail(kImageBadData, "PNG compression, filter or interlace method not 0");
    }
    h.interlaced = b[12] == 1;
    if (!validDepth(h.colorType, h.bitDepth)) {
        return source.fail(kImageBadData, "PNG colour type " + std::to_string(h.colorType) +
                                              " with bit depth " + std::to_string(h.bitDepth));
    }
    return checkPictureSize(source, "PNG", h.width, h.height);
}

// One pass of the Adam7 interlace (the whole picture when not interlaced).
struct Pass {
    uint32_t x0, y0, dx, dy;
};
constexpr Pass kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                            {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
constexpr Pass kWhole = {0, 0, 1, 1};

uint32_t passSpan(uint32_t size, uint32_t start, uint32_t step) {
    return size > start ? (size - start + step - 1) / step : 0;
}

inline uint8_t paeth(int a, int b, int c) {
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    return uint8_t(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Undoes one row's filter in place; prev is the row above, all zero on the
// first row of a pass. False for a filter type PNG does not define.
bool unfilterRow(uint8_t filter, uint8_t* row, const uint8_t* prev, size_t n, size_t bpp) {
    const size_t lead = std::min(bpp, n);
    switch (filter) {
        case 0:
            return true;
        case 1:  // Sub
            for (size_t i = bpp; i < n; ++i) row[i] = uint8_t(row[i] + row[i - bpp]);
            return true;
        case 2:  // Up
            for (size_t i = 0; i < n; ++i) row[i] = uint8_t(row[i] + prev[i]);
            return true;
        case 3:  // Average
            for (size_t i = 0; i < lead; ++i) row[i] = uint8_t(row[i] + (prev[i] >> 1));
            for (size_t i = bpp; i < n; ++i) row[i] = uint8_t(row[i] + ((row[i - bpp] + prev[i]) >> 1));
            return true;
        case 4:  // Paeth
            for (size_t i = 0; i < lead; ++i) row[i] = uint8_t(row[i] + prev[i]);
            if (bpp == 3) {
                // Three independent channel chains, kept in registers.
                int a0 = row[0], a1 = row[1], a2 = row[2];
                int c0 = prev[0], c1 = prev[1], c2 = prev[2];
                for (size_t i = 3; i + 2 < n; i += 3) {
                    const int b0 = prev[i], b1 = prev[i + 1], b2 = prev[i + 2];
                    a0 = uint8_t(row[i] + paeth(a0, b0, c0));
                    a1 = uint8_t(row[i + 1] + paeth(a1, b1, c1));
                    a2 = uint8_t(row[i + 2] + paeth(a2, b2, c2));
                    row[i] = uint8_t(a0);
                    row[i + 1] = uint8_t(a1);
                    row[i + 2] = uint8_t(a2);
                    c0 = b0;
                    c1 = b1;
                    c2 = b2;
                }
                return true;
            }
            for (size_t i = bpp; i < n; ++i) {
                row[i] = uint8_t(row[i] + paeth(row[i - bpp], prev[i], prev[i - bpp]));
            }
            return true;
        default:
            return false;
    }
}

// The transparency chunk of a grey or RGB picture: the one colour (full
// samples) that is transparent.
struct ColourKey {
    bool present = false;
    uint16_t grey = 0, red = 0, green = 0, blue = 0;
};

// Writes the unfiltered samples of one row of a pass into the planes.
class RowWriter {
public:
    RowWriter(const Header& h, Image& image, const ColourKey& key)
        : h_(h), image_(image), key_(key), indexed_(image.isIndexed()) {}

    void write(const uint8_t* in, uint32_t count, uint32_t y, const Pass& p) const {
        const uint32_t depth = h_.bitDepth;
        if (indexed_) {
            uint8_t* out = image_.indices() + size_t(y) * size_t(image_.indexStride()) + p.x0;
            if (depth == 16) {  // grey: the high byte indexes the grey palette
                for (uint32_t i = 0; i < count; ++i) out[size_t(i) * p.dx] = in[size_t(i) * 2];
            } else if (depth == 8) {
                for (uint32_t i = 0; i < count; ++i) out[size_t(i) * p.dx] = in[i];
            } else {
                const uint32_t mask = (1u << depth) - 1, perByte = 8 / depth;
                for (uint32_t i = 0; i < count; ++i) {
                    const uint32_t shift = 8 - depth * (i % perByte + 1);
                    out[size_t(i) * p.dx] = uint8_t((in[i / perByte] >> shift) & mask);
                }
            }
            return;
        }
        uint8_t* out = image_.rgbRow(y) + size_t(p.x0) * 3;
        if (h_.colorType == kRgb && depth == 8 && !key_.present && p.dx == 1) {
            std::memcpy(out, in, size_t(count) * 3);  // the common case: rows as they are
            return;
        }
        uint8_t* alpha = image_.alpha() ? image_.alpha() + size_t(y) * image_.width() + p.x0 : nullptr;
        const size_t sample = depth / 8;  // 1 or 2 bytes; the first is the high byte
        const size_t pixel = sample * h_.channels();
        auto full = [sample](const uint8_t* s) { return uint16_t(sample == 2 ? s[0] << 8 | s[1] : s[0]); };
        for (uint32_t i = 0; i < count; ++i, in += pixel) {
            uint8_t* o = out + size_t(i) * p.dx * 3;
            uint8_t a = 255;
            switch (h_.colorType) {
                case kGrey:
                    o[0] = o[1] = o[2] = in[0];
                    if (key_.present && full(in) == key_.grey) a = 0;
                    break;
                case kGreyAlpha:
                    o[0] = o[1] = o[2] = in[0];
                    a = in[sample];
                    break;
                case kRgb:
                    o[0] = in[0];
                    o[1] = in[sample];
                    o[2] = in[2 * sample];
                    if (key_.present && full(in) == key_.red && full(in + sample) == key_.green &&
                        full(in + 2 * sample) == key_.blue) {
                        a = 0;
                    }
                    break;
                default:  // RGBA
                    o[0] = in[0];
                    o[1] = in[sample];
                    o[2] = in[2 * sample];
                    a = in[3 * sample];
                    break;
            }
            if (alpha) alpha[size_t(i) * p.dx] = a;
        }
    }

private:
    const Header& h_;
    Image& image_;
    const ColourKey& key_;
    const bool indexed_;
};

// Inflates the IDAT chunks from the source's position, pass by pass and row
// by row, undoing the filters and handing each row to the writer.
int readPixelData(ImageSource& source, const Header& h, const RowWriter& writer) {
    const Pass* passes = h.interlaced ? kAdam7 : &kWhole;
    const int passCount = h.interlaced ? 7 : 1;
    const size_t maxRow = size_t(h.rowBytes(h.width));
    const size_t step = h.filterStep();

    // Filter byte + row, the row above, and one piece of compressed data.
    HeapBlock buffers(static_cast<uint8_t*>(allocateZeroed(2 * (maxRow + 1) + kPieceSize)));
    if (!buffers) return source.fail(kImageOutOfMemory, "PNG row buffers");
    uint8_t* current = buffers.get();
    uint8_t* previous = current + maxRow + 1;
    uint8_t* piece = previous + maxRow + 1;

    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) return source.fail(kImageOutOfMemory, "PNG inflate state");
    struct End {
        z_stream* s;
        ~End() { inflateEnd(s); }
    } end{&zs};

    // The next row to fill: its pass, its index within the pass, its length.
    int pass = -1;
    uint32_t passWidth = 0, passHeight = 0, rowInPass = 0;
    size_t rowTotal = 0;
    auto nextPass = [&]() {
        while (++pass < passCount) {
            const Pass& p = passes[pass];
            passWidth = passSpan(h.width, p.x0, p.dx);
            passHeight = passSpan(h.height, p.y0, p.dy);
            if (passWidth && passHeight) break;
        }
        rowInPass = 0;
        rowTotal = size_t(h.rowBytes(passWidth)) + 1;
        std::memset(previous, 0, maxRow + 1);
        return pass < passCount;
    };
    nextPass();

    size_t filled = 0;
    uint32_t rowsDone = 0;
    bool streamEnded = false;
    for (;;) {
        Chunk chunk;
        if (!readChunkHeader(source, chunk)) {
            return source.fail(kImageBadData, "PNG data ends after " + std::to_string(rowsDone) + " rows");
        }
        if (!isType(chunk, "IDAT")) {
            if (!skipChunk(source, chunk)) return chunkTruncated(source, chunk);
            continue;
        }
        uint32_t left = chunk.length;
        while (left > 0) {
            const uint32_t n = std::min<uint32_t>(left, kPieceSize);
            if (!source.readExact(piece, n)) return source.fail(kImageBadData, "PNG IDAT truncated");
            left -= n;
            if (streamEnded) continue;
            zs.next_in = piece;
            zs.avail_in = n;
            for (;;) {
                zs.next_out = current + filled;
                zs.avail_out = uInt(rowTotal - filled);
                const uInt inBefore = zs.avail_in;
                const int status = inflate(&zs, Z_SYNC_FLUSH);
                const size_t produced = rowTotal - filled - zs.avail_out;
                filled += produced;
                if (filled == rowTotal) {
                    const Pass& p = passes[pass];
                    const uint32_t y = p.y0 + rowInPass * p.dy;
                    if (!unfilterRow(current[0], current + 1, previous + 1, rowTotal - 1, step)) {
                        return source.fail(kImageBadData, "PNG filter type " + std::to_string(current[0]) +
                                                              " in row " + std::to_string(y));
                    }
                    writer.write(current + 1, passWidth, y, p);
                    std::swap(current, previous);
                    filled = 0;
                    ++rowsDone;
                    if (++rowInPass == passHeight && !nextPass()) return kImageOk;  // the rest is ignored
                }
                if (status == Z_STREAM_END) {
                    streamEnded = true;
                    break;
                }
                if (status != Z_OK && status != Z_BUF_ERROR) {
                    return source.fail(kImageBadData, std::string("PNG data does not inflate (") +
                                                          (zs.msg ? zs.msg : "zlib error") + ")");
                }
                if (produced == 0 && zs.avail_in == inBefore) break;  // no progress
                if (zs.avail_in == 0 && zs.avail_out != 0) break;      // needs more input
            }
        }
        if (!source.skip(4)) return source.fail(kImageBadData, "PNG IDAT truncated");  // CRC, not checked
    }
}

// Every filtered byte the picture needs, filter bytes included.
uint64_t dataBytes(const Header& h) {
    if (!h.interlaced) return (h.rowBytes(h.width) + 1) * h.height;
    uint64_t total = 0;
    for (const Pass& p : kAdam7) {
        const uint64_t w = passSpan(h.width, p.x0, p.dx), rows = passSpan(h.height, p.y0, p.dy);
        if (w && rows) total += (h.rowBytes(w) + 1) * rows;
    }
    return total;
}

// Where the chunks before the first IDAT put the palette and transparency.
struct Ancillary {
    uint64_t plte = 0, trns = 0;  // data positions; 0 when absent
    uint32_t plteLength = 0, trnsLength = 0;
    uint64_t firstIdat = 0;  // the first IDAT chunk's header
};

int scanToData(ImageSource& source, Ancillary& a) {
    for (;;) {
        const uint64_t at = source.tell();
        Chunk chunk;
        if (!readChunkHeader(source, chunk)) return source.fail(kImageBadData, "PNG without IDAT");
        if (isType(chunk, "IDAT")) {
            a.firstIdat = at;
            return kImageOk;
        }
        if (isType(chunk, "PLTE") && !a.plte) {
            a.plte = source.tell();
            a.plteLength = chunk.length;
        } else if (isType(chunk, "tRNS") && !a.trns) {
            a.trns = source.tell();
            a.trnsLength = chunk.length;
        }
        if (!skipChunk(source, chunk)) return chunkTruncated(source, chunk);
    }
}

}  // namespace

int probePng(ImageSource& source, ImageInfo& info) {
    Header h;
    const int result = readHeader(source, h);
    if (result != kImageOk) return result;
    info.width = h.width;
    info.height = h.height;
    info.bitDepth = h.colorType == kPalette || h.colorType == kGrey ? 8 : 24;
    return kImageOk;
}

int readPng(ImageSource& source, Image& image) {
    Header h;
    int result = readHeader(source, h);
    if (result != kImageOk) return result;
    // However the data is split, it cannot inflate further than deflate allows.
    if (!inflateCanYield(source.remaining(), dataBytes(h))) {
        return source.fail(kImageBadData, "PNG data too short for " + std::to_string(h.width) + " x " +
                                              std::to_string(h.height) + " pixels");
    }
    Ancillary a;
    result = scanToData(source, a);
    if (result != kImageOk) return result;

    // The transparency chunk: palette alphas, or a colour key.
    uint8_t trns[256] = {};
    const uint32_t trnsUsed = std::min<uint32_t>(a.trnsLength, sizeof trns);
    if (a.trns && (!source.seek(a.trns) || !source.readExact(trns, trnsUsed))) {
        return source.fail(kImageBadData, "PNG tRNS truncated");
    }
    ColourKey key;
    auto u16 = [&](int i) { return uint16_t(trns[2 * i] << 8 | trns[2 * i + 1]); };
    if (a.trns && h.colorType == kGrey && a.trnsLength >= 2) {
        key.present = true;
        key.grey = u16(0);
    } else if (a.trns && h.colorType == kRgb && a.trnsLength >= 6) {
        key = {true, 0, u16(0), u16(1), u16(2)};
    }

    if (h.colorType == kPalette) {
        if (!a.plte) return source.fail(kImageBadData, "PNG palette picture without PLTE");
        const uint32_t count = a.plteLength / 3;
        if (count == 0 || count > 65535) {
            return source.fail(kImageBadData, "PNG PLTE of " + std::to_string(a.plteLength) + " bytes");
        }
        if (!source.seek(a.plte) || a.plteLength > source.remaining()) {
            return source.fail(kImageBadData, "PNG PLTE truncated");
        }
        if (!image.createIndexed(h.width, h.height, count, a.trns != 0)) {
            return source.fail(kImageOutOfMemory, "PNG pixels");
        }
        uint8_t raw[3 * 1024];
        PaletteEntry* pal = image.palette();
        for (uint32_t done = 0; done < count;) {
            const uint32_t part = std::min<uint32_t>(count - done, 1024);
            if (!source.readExact(raw, size_t(part) * 3)) {
                return source.fail(kImageBadData, "PNG PLTE truncated");
            }
            for (uint32_t i = 0; i < part; ++i) {
                // Entries past the tRNS data stay opaque.
                const uint32_t e = done + i;
                pal[e] = {raw[i * 3], raw[i * 3 + 1], raw[i * 3 + 2], e < trnsUsed ? trns[e] : uint8_t(255)};
            }
            done += part;
        }
    } else if (h.indexed(key.present)) {
        // Grey: a palette of 2^depth evenly spaced greys (256 for 16 bits,
        // indexed by the high byte); a keyed grey becomes transparent.
        const uint32_t count = h.bitDepth >= 8 ? 256 : 1u << h.bitDepth;
        const uint32_t keyIndex = key.present && key.grey < count ? key.grey : count;
        if (!image.createIndexed(h.width, h.height, count, keyIndex < count)) {
            return source.fail(kImageOutOfMemory, "PNG pixels");
        }
        PaletteEntry* pal = image.palette();
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t v = uint8_t(i * 255 / (count - 1));
            pal[i] = {v, v, v, uint8_t(i == keyIndex ? 0 : 255)};
        }
    } else {
        const bool alpha = h.colorType == kGreyAlpha || h.colorType == kRgba || key.present;
        const bool created = alpha ? image.createRgbWithAlpha(h.width, h.height, 0, 255)
                                   : image.createRgb(h.width, h.height);
        if (!created) {
            return source.fail(kImageOutOfMemory, "PNG pixels");
        }
    }
    if (!source.seek(a.firstIdat)) return source.fail(kImageBadData, "PNG IDAT truncated");
    return readPixelData(source, h, RowWriter(h, image, key));
}

}  // namespace tessaly::image_detail
