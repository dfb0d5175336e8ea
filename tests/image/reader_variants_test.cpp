// The reader variants pictures are found in: PNG of every colour type, bit
// depth and interlace written and decoded by libpng (our decode must match
// libpng's pixel for pixel), chunks whose names differ only in case, BMP
// header variants and top-down rows, and pictures that claim more pixels
// than the decoded-size limit allows.

#include <png.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "image/image.h"
#include "image_test_util.h"

namespace tessaly {
namespace {

using test::Bytes;

// A small deterministic generator.
struct Random {
    uint32_t state;
    uint32_t next() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
};

void putU32BE(Bytes& b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}
void putLE(Bytes& b, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

// --- PNG through libpng ---------------------------------------------------------

struct PngSpec {
    uint32_t width = 13, height = 11;
    int colorType = PNG_COLOR_TYPE_RGB;
    int depth = 8;
    bool interlaced = false;
    int paletteSize = 0;  // palette pictures
    int trnsEntries = 0;  // palette alphas in tRNS
    bool keyed = false;   // grey / RGB: a tRNS colour key that some pixels hit
};

int channelsOf(int colorType) {
    switch (colorType) {
        case PNG_COLOR_TYPE_RGB: return 3;
        case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
        case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
        default: return 1;
    }
}

void writeToVector(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}

// Encodes random samples (a third of the pixels equal to the key when keyed)
// with every filter libpng chooses from.
Bytes encodePng(const PngSpec& s, uint32_t seed) {
    Random rnd{seed};
    const int channels = channelsOf(s.colorType);
    const uint32_t maxSample = s.colorType == PNG_COLOR_TYPE_PALETTE ? uint32_t(s.paletteSize - 1)
                                                                     : (1u << s.depth) - 1;
    std::vector<uint16_t> key(static_cast<size_t>(channels));
    for (uint16_t& k : key) k = uint16_t(rnd.next() % (maxSample + 1));

    std::vector<Bytes> rows(s.height);
    for (Bytes& row : rows) {
        row.assign((size_t(s.width) * channels * s.depth + 7) / 8, 0);
        for (uint32_t x = 0; x < s.width; ++x) {
            const bool hitKey = s.keyed && rnd.next() % 3 == 0;
            for (int c = 0; c < channels; ++c) {
                const uint32_t v = hitKey ? key[size_t(c)] : rnd.next() % (maxSample + 1);
                const size_t bit = (size_t(x) * channels + size_t(c)) * size_t(s.depth);
                if (s.depth == 16) {
                    row[bit / 8] = uint8_t(v >> 8);
                    row[bit / 8 + 1] = uint8_t(v);
                } else {
                    row[bit / 8] |= uint8_t(v << (8 - s.depth - bit % 8));
                }
            }
        }
    }

    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<png_color> palette(size_t(s.paletteSize));
    for (png_color& c : palette) c = {png_byte(rnd.next()), png_byte(rnd.next()), png_byte(rnd.next())};
    std::vector<png_byte> alphas(size_t(s.trnsEntries));
    for (png_byte& a : alphas) a = png_byte(rnd.next());
    std::vector<png_bytep> pointers;
    for (Bytes& row : rows) pointers.push_back(row.data());
    png_color_16 colourKey{};
    colourKey.gray = key[0];
    if (channels >= 3) {
        colourKey.red = key[0];
        colourKey.green = key[1];
        colourKey.blue = key[2];
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        ADD_FAILURE() << "libpng could not write the picture";
        return {};
    }
    png_set_write_fn(png, &out, writeToVector, nullptr);
    png_set_IHDR(png, info, s.width, s.height, s.depth, s.colorType,
                 s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, 0, PNG_ALL_FILTERS);
    if (s.paletteSize) png_set_PLTE(png, info, palette.data(), s.paletteSize);
    if (s.trnsEntries) png_set_tRNS(png, info, alphas.data(), s.trnsEntries, nullptr);
    if (s.keyed) png_set_tRNS(png, info, nullptr, 0, &colourKey);
    png_write_info(png, info);
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

struct ReadState {
    const Bytes* data;
    size_t at;
};

void readFromVector(png_structp png, png_bytep dest, png_size_t n) {
    auto* st = static_cast<ReadState*>(png_get_io_ptr(png));
    if (st->at + n > st->data->size()) png_error(png, "read past the end");
    std::memcpy(dest, st->data->data() + st->at, n);
    st->at += n;
}

// libpng's pixels as RGBA: everything expanded to 8-bit RGB, tRNS to alpha,
// 16-bit samples stripped to their high byte.
test::Reference decodeWithLibpng(const Bytes& file) {
    test::Reference ref;
    ReadState state{&file, 0};
    std::vector<png_bytep> pointers;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        ADD_FAILURE() << "libpng could not read the picture";
        return {};
    }
    png_set_read_fn(png, &state, readFromVector);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    ref.width = png_get_image_width(png, info);
    ref.height = png_get_image_height(png, info);
    EXPECT_EQ(png_get_rowbytes(png, info), size_t(ref.width) * 4);
    ref.rgba.resize(size_t(ref.width) * ref.height * 4);
    for (uint32_t y = 0; y < ref.height; ++y) pointers.push_back(ref.rgba.data() + size_t(y) * ref.width * 4);
    png_read_image(png, pointers.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return ref;
}

void expectSameAsLibpng(const Bytes& file, const std::string& what) {
    SCOPED_TRACE(what);
    const test::Reference ref = decodeWithLibpng(file);
    Image image;
    ASSERT_EQ(image.loadFromMemory(file.data(), file.size()), kImageOk) << image.loadError();
    ASSERT_EQ(image.width(), ref.width);
    ASSERT_EQ(image.height(), ref.height);
    ImageInfo info;
    ASSERT_EQ(Image::probeMemory(file.data(), file.size(), info), kImageOk);
    EXPECT_EQ(info.width, ref.width);
    EXPECT_EQ(test::rgbaOf(image), ref.rgba);
}

TEST(PngVariants, EveryColourTypeAndDepthMatchesLibpng) {
    struct Kind {
        int colorType;
        std::vector<int> depths;
    };
    const Kind kinds[] = {{PNG_COLOR_TYPE_GRAY, {1, 2, 4, 8, 16}},
                          {PNG_COLOR_TYPE_RGB, {8, 16}},
                          {PNG_COLOR_TYPE_PALETTE, {1, 2, 4, 8}},
                          {PNG_COLOR_TYPE_GRAY_ALPHA, {8, 16}},
                          {PNG_COLOR_TYPE_RGB_ALPHA, {8, 16}}};
    uint32_t seed = 1;
    for (const Kind& k : kinds) {
        for (int depth : k.depths) {
            for (bool interlaced : {false, true}) {
                PngSpec s;
                s.colorType = k.colorType;
                s.depth = depth;
                s.interlaced = interlaced;
                if (k.colorType == PNG_COLOR_TYPE_PALETTE) s.paletteSize = std::min(1 << depth, 200);
                const std::string what = "type " + std::to_string(k.colorType) + " depth " +
                                         std::to_string(depth) + (interlaced ? " interlaced" : "");
                expectSameAsLibpng(encodePng(s, seed++), what);
            }
        }
    }
    // Interlaced pictures smaller than the 8 x 8 pattern leave passes empty.
    for (uint32_t side : {1u, 2u, 3u, 5u}) {
        PngSpec s;
        s.width = side;
        s.height = side + 1;
        s.interlaced = true;
        s.colorType = PNG_COLOR_TYPE_GRAY;
        s.depth = 2;
        expectSameAsLibpng(encodePng(s, seed++), "small interlaced grey " + std::to_string(side));
        s.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
        s.depth = 16;
        expectSameAsLibpng(encodePng(s, seed++), "small interlaced RGBA " + std::to_string(side));
    }
}

TEST(PngVariants, TransparencyBecomesAlpha) {
    uint32_t seed = 100;
    // Palette alphas for the first entries, grey and RGB colour keys.
    for (int depth : {1, 2, 4, 8}) {
        PngSpec s;
        s.colorType = PNG_COLOR_TYPE_PALETTE;
        s.depth = depth;
        s.paletteSize = 1 << depth;
        s.trnsEntries = std::max(1, s.paletteSize / 2);
        expectSameAsLibpng(encodePng(s, seed++), "palette tRNS depth " + std::to_string(depth));
    }
    for (int depth : {1, 2, 4, 8, 16}) {
        PngSpec s;
        s.colorType = PNG_COLOR_TYPE_GRAY;
        s.depth = depth;
        s.keyed = true;
        s.interlaced = depth == 4;
        expectSameAsLibpng(encodePng(s, seed++), "grey key depth " + std::to_string(depth));
    }
    for (int depth : {8, 16}) {
        PngSpec s;
        s.keyed = true;
        s.depth = depth;
        expectSameAsLibpng(encodePng(s, seed++), "RGB key depth " + std::to_string(depth));
    }
    // A key matches whole 16-bit samples, not their high bytes.
    PngSpec s;
    s.keyed = true;
    s.depth = 16;
    s.colorType = PNG_COLOR_TYPE_GRAY;
    const Bytes file = encodePng(s, 7);
    Image image;
    ASSERT_EQ(image.loadFromMemory(file.data(), file.size()), kImageOk);
    ASSERT_NE(image.alpha(), nullptr);
    size_t transparent = 0;
    for (size_t i = 0; i < size_t(image.width()) * image.height(); ++i) transparent += image.alpha()[i] == 0;
    EXPECT_GT(transparent, 0u);
    EXPECT_LT(transparent, size_t(image.width()) * image.height() * 2 / 3);
}

// --- PNG assembled chunk by chunk ---------------------------------------------------

void putChunk(Bytes& png, const char* type, const Bytes& data) {
    putU32BE(png, uint32_t(data.size()));
    const size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    putU32BE(png, uint32_t(crc32(0, png.data() + start, uInt(png.size() - start))));
}

Bytes ihdr(uint32_t w, uint32_t h, uint8_t depth, uint8_t colorType) {
    Bytes b;
    putU32BE(b, w);
    putU32BE(b, h);
    b.insert(b.end(), {depth, colorType, 0, 0, 0});
    return b;
}

Bytes deflated(const Bytes& raw) {
    uLongf n = compressBound(uLong(raw.size()));
    Bytes z(n);
    compress2(z.data(), &n, raw.data(), uLong(raw.size()), 6);
    z.resize(n);
    return z;
}

const Bytes kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

TEST(PngVariants, ChunkNamesCompareExactly) {
    // A 4 x 2 palette picture; before its chunks come ancillary look-alikes of
    // PLTE, tRNS and IDAT that a reader ignoring case would take.
    Bytes raw = {0, 0, 1, 2, 3, 0, 3, 2, 1, 0};
    Bytes png = kSignature;
    putChunk(png, "IHDR", ihdr(4, 2, 8, 3));
    putChunk(png, "pLTE", Bytes(12, 0x77));
    putChunk(png, "tRNs", Bytes(4, 0));
    putChunk(png, "iDAT", deflated(Bytes(10, 3)));
    putChunk(png, "PLTE", {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9});
    putChunk(png, "IDAT", deflated(raw));
    putChunk(png, "IEND", {});
    expectSameAsLibpng(png, "look-alike chunks");
    Image image;
    ASSERT_EQ(image.loadFromMemory(png.data(), png.size()), kImageOk);
    EXPECT_FALSE(image.hasAlpha());
    EXPECT_EQ(image.palette()[1].green, 255);
}

TEST(PngVariants, UndefinedFilterTypesAreDamage) {
    // Row 2 of 3 carries filter type 7.
    Bytes raw;
    for (uint8_t filter : {0, 7, 0}) {
        raw.push_back(filter);
        raw.insert(raw.end(), 6, 50);
    }
    Bytes png = kSignature;
    putChunk(png, "IHDR", ihdr(2, 3, 8, 2));
    putChunk(png, "IDAT", deflated(raw));
    putChunk(png, "IEND", {});
    Image image;
    EXPECT_EQ(image.loadFromMemory(png.data(), png.size()), kImageBadData);
    EXPECT_EQ(image.loadError(), "PNG filter type 7 in row 1");
    EXPECT_TRUE(image.empty());
    raw[7] = 4;  // Paeth is the last defined type
    png = kSignature;
    putChunk(png, "IHDR", ihdr(2, 3, 8, 2));
    putChunk(png, "IDAT", deflated(raw));
    putChunk(png, "IEND", {});
    EXPECT_EQ(image.loadFromMemory(png.data(), png.size()), kImageOk);
}

TEST(PngVariants, PillowFilesOfTheOtherKinds) {
    for (const char* name : {"gray.png", "rgba.png", "gray16.png"}) {
        expectSameAsLibpng(test::readBytes(test::fixturePath(name)), name);
    }
}

// --- BMP header variants ----------------------------------------------------------

struct BmpSpec {
    uint32_t infoSize = 40;
    uint16_t bits = 8;
    int32_t width = 5, height = 3;  // negative height: rows stored top-down
    uint32_t colorsUsed = 0;
    std::vector<uint32_t> palette;  // 0xRRGGBB
};

// The value of pixel (x, y) counted from the top: an index, or an RGB colour.
uint32_t pixelValue(const BmpSpec& s, uint32_t x, uint32_t y) {
    const uint32_t v = x * 7 + y * 3 + 1;
    return s.bits == 24 ? v * 0x010305u * 37 & 0xFFFFFF : v % uint32_t(s.palette.size());
}

Bytes makeBmp(const BmpSpec& s) {
    const uint32_t w = uint32_t(s.width), h = uint32_t(std::abs(s.height));
    const bool core = s.infoSize == 12;
    const uint32_t entry = core ? 3 : 4;
    const uint32_t fileRow = ((w * s.bits + 7) / 8 + 3) & ~3u;
    const uint32_t offset = 14 + s.infoSize + uint32_t(s.palette.size()) * entry;
    Bytes b = {'B', 'M'};
    putLE(b, offset + fileRow * h, 4);
    putLE(b, 0, 4);
    putLE(b, offset, 4);
    putLE(b, s.infoSize, 4);
    if (core) {
        putLE(b, w, 2);
        putLE(b, h, 2);
        putLE(b, 1, 2);
        putLE(b, s.bits, 2);
    } else {
        Bytes info;
        putLE(info, uint32_t(s.width), 4);
        putLE(info, uint32_t(s.height), 4);
        putLE(info, 1, 2);
        putLE(info, s.bits, 2);
        putLE(info, 0, 4);  // no compression
        putLE(info, fileRow * h, 4);
        putLE(info, 2835, 4);
        putLE(info, 2835, 4);
        putLE(info, s.colorsUsed, 4);
        putLE(info, 0, 4);
        info.resize(s.infoSize - 4, 0xEE);  // longer headers: fields we do not read
        b.insert(b.end(), info.begin(), info.end());
    }
    for (uint32_t c : s.palette) {
        b.insert(b.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
        if (!core) b.push_back(0);
    }
    for (uint32_t r = 0; r < h; ++r) {
        const uint32_t y = s.height < 0 ? r : h - 1 - r;
        Bytes row(fileRow, 0);
        for (uint32_t x = 0; x < w; ++x) {
            const uint32_t v = pixelValue(s, x, y);
            if (s.bits == 24) {
                row[x * 3] = uint8_t(v);
                row[x * 3 + 1] = uint8_t(v >> 8);
                row[x * 3 + 2] = uint8_t(v >> 16);
            } else if (s.bits == 8) {
                row[x] = uint8_t(v);
            } else {
                row[x * s.bits / 8] |= uint8_t(v << (8 - s.bits - x * s.bits % 8));
            }
        }
        b.insert(b.end(), row.begin(), row.end());
    }
    return b;
}

void expectBmpPixels(const BmpSpec& s, const std::string& what) {
    SCOPED_TRACE(what);
    const Bytes file = makeBmp(s);
    Image image;
    ASSERT_EQ(image.loadFromMemory(file.data(), file.size()), kImageOk) << image.loadError();
    ASSERT_EQ(image.width(), uint32_t(s.width));
    ASSERT_EQ(image.height(), uint32_t(std::abs(s.height)));
    const Bytes rgba = test::rgbaOf(image);
    for (uint32_t y = 0; y < image.height(); ++y) {
        for (uint32_t x = 0; x < image.width(); ++x) {
            const uint32_t v = pixelValue(s, x, y);
            const uint32_t want = s.bits == 24 ? v : s.palette[v];
            const uint8_t* p = rgba.data() + (size_t(y) * image.width() + x) * 4;
            ASSERT_EQ(uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2], want) << x << "," << y;
        }
    }
}

TEST(BmpVariants, PaletteFollowsHeadersOfEveryLength) {
    // OS/2 1.x, OS/2 2.x (short and full), Windows, V4 and V5 headers.
    for (uint32_t infoSize : {12u, 16u, 40u, 64u, 108u, 124u}) {
        BmpSpec s;
        s.infoSize = infoSize;
        s.palette = {0xFF0000, 0x00FF00, 0x0000FF, 0x123456, 0xABCDEF, 0x7F7F7F};
        s.colorsUsed = infoSize >= 40 ? 6 : 0;
        expectBmpPixels(s, "header of " + std::to_string(infoSize) + " bytes");
    }
}

TEST(BmpVariants, SmallPalettesWithoutAColourCount) {
    // 1- and 4-bit pictures with colour count 0 hold 2 and 16 entries: far
    // smaller files than 256 entries would need.
    for (uint16_t bits : {1, 4}) {
        BmpSpec s;
        s.bits = bits;
        s.width = 3;
        s.height = 2;
        for (uint32_t i = 0; i < (1u << bits); ++i) s.palette.push_back(0x102030 * (i + 1) & 0xFFFFFF);
        expectBmpPixels(s, std::to_string(bits) + " bits");
        ASSERT_LT(makeBmp(s).size(), 54u + 1024u);
    }
}

TEST(BmpVariants, TopDownRowsAreRead) {
    for (uint16_t bits : {1, 4, 8, 24}) {
        BmpSpec s;
        s.bits = bits;
        s.width = 7;
        s.height = -4;
        if (bits != 24) {
            for (uint32_t i = 0; i < std::min(1u << bits, 9u); ++i) s.palette.push_back(0x0A0B0C * (i + 3) & 0xFFFFFF);
            s.colorsUsed = uint32_t(s.palette.size());
        }
        expectBmpPixels(s, "top-down " + std::to_string(bits) + " bits");
    }
    // The most negative height has no positive counterpart.
    BmpSpec s;
    s.bits = 24;
    Bytes file = makeBmp(s);
    std::memcpy(file.data() + 22, "\x00\x00\x00\x80", 4);
    Image image;
    EXPECT_EQ(image.loadFromMemory(file.data(), file.size()), kImageBadData);
}

// --- The decoded-size limit ---------------------------------------------------------

TEST(DecodedSizeLimit, SmallFilesClaimingHugePicturesAreRefusedUpFront) {
    auto expectRefused = [](const Bytes& file, const char* what) {
        SCOPED_TRACE(what);
        Image image;
        EXPECT_EQ(image.loadFromMemory(file.data(), file.size()), kImageOutOfMemory);
        EXPECT_NE(image.loadError().find("exceeds the limit of 80000000 pixels"), std::string::npos)
            << image.loadError();
        ImageInfo info;
        std::string why;
        EXPECT_EQ(Image::probeMemory(file.data(), file.size(), info, &why), kImageOutOfMemory);
        EXPECT_EQ(why, image.loadError());
    };
    // A palette PNG of 65535 x 5400 with 400 kB of data: as much as deflate
    // could expand into its index rows.
    Bytes png = kSignature;
    putChunk(png, "IHDR", ihdr(65535, 5400, 8, 3));
    putChunk(png, "PLTE", {0, 0, 0});
    putChunk(png, "IDAT", Bytes(400000, 0));
    expectRefused(png, "PNG");
    // A bag file of one band of 65535 x 5400 with 1.1 MB of data.
    Bytes bag = {0, 'B', 'A', 'G'};
    putU32BE(bag, 1);
    putU32BE(bag, 1);
    putU32BE(bag, 8 + 1100000);
    putU32BE(bag, 65535);
    putU32BE(bag, 5400);
    bag.resize(bag.size() + 1100000);
    expectRefused(bag, "bag");
    // A BMP of 20000 x 4001 claimed in the header.
    BmpSpec s;
    s.bits = 24;
    Bytes bmp = makeBmp(s);
    std::memcpy(bmp.data() + 18, "\x20\x4E\x00\x00\xA1\x0F\x00\x00", 8);
    expectRefused(bmp, "BMP");

    // Just under the limit, a picture is only checked against its data.
    std::memcpy(bmp.data() + 18, "\x20\x4E\x00\x00\xA0\x0F\x00\x00", 8);  // 20000 x 4000
    Image image;
    EXPECT_EQ(image.loadFromMemory(bmp.data(), bmp.size()), kImageBadData);
    EXPECT_EQ(image.loadError(), "BMP pixel data truncated");
}

TEST(ImageFailures, DescribedInWords) {
    EXPECT_EQ(describeImageFailure(kImageBadData, "PNG IDAT truncated"), "bad data (PNG IDAT truncated)");
    EXPECT_EQ(describeImageFailure(kImageCannotOpen, ""), "cannot open");
    // A successful load clears the previous reason.
    Image image;
    const Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0};
    EXPECT_EQ(image.loadFromMemory(gif.data(), gif.size()), kImageUnsupported);
    EXPECT_EQ(image.loadError(), "not a BMP, PNG or bag file");
    BmpSpec s;
    s.bits = 24;
    const Bytes bmp = makeBmp(s);
    ASSERT_EQ(image.loadFromMemory(bmp.data(), bmp.size()), kImageOk);
    EXPECT_EQ(image.loadError(), "");
}

}  // namespace
}  // namespace tessaly
