// Readers against pictures written and decoded by other tools (Pillow,
// ImageMagick; see fixtures/make_fixtures.py), the refused variants, and
// headers that claim more than the data holds.

#include <zlib.h>

#include <cstring>

#include "image/bag_writer.h"
#include "image/image.h"
#include "image_test_util.h"
#include "support/file_type.h"

namespace tessaly {
namespace {

using test::Bytes;

void putU32BE(Bytes& b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}

void expectMatchesReference(const std::string& file, const std::string& reference) {
    SCOPED_TRACE(file);
    Image image;
    ASSERT_EQ(image.load(test::fixturePath(file)), kImageOk);
    const test::Reference ref = test::readReference(reference);
    ASSERT_EQ(image.width(), ref.width);
    ASSERT_EQ(image.height(), ref.height);
    // Row padding of the planes is zero.
    for (uint32_t y = 0; y < image.height(); ++y) {
        const uint8_t* row = image.isIndexed() ? image.indices() + size_t(y) * image.indexStride()
                                               : image.rgbRow(y);
        const size_t used = size_t(image.width()) * image.bytesPerPixel();
        for (size_t i = used; i < size_t(image.stride()); ++i) ASSERT_EQ(row[i], 0) << y;
    }
    EXPECT_EQ(test::rgbaOf(image), ref.rgba);
}

TEST(BmpReader, MatchesOtherDecodersForEveryDepth) {
    for (const char* name : {"bmp1", "bmp4", "bmp8", "bmp24", "bmp24_5x3"}) {
        expectMatchesReference(std::string(name) + ".bmp", name);
    }
    Image image;
    ASSERT_EQ(image.load(test::fixturePath("bmp8.bmp")), kImageOk);
    EXPECT_TRUE(image.isIndexed());  // stays indexed until true colour is needed
    EXPECT_EQ(image.rgb(), nullptr);
    EXPECT_FALSE(image.hasAlpha());
}

TEST(BmpReader, RefusesVariantsWithTheirCodes) {
    const Bytes good = test::readBytes(test::fixturePath("bmp24_5x3.bmp"));
    ASSERT_GT(good.size(), 54u);
    auto patched = [&](size_t at, std::initializer_list<uint8_t> bytes) {
        Bytes b = good;
        std::copy(bytes.begin(), bytes.end(), b.begin() + ptrdiff_t(at));
        Image image;
        return image.loadFromMemory(b.data(), b.size());
    };
    EXPECT_EQ(patched(30, {1, 0, 0, 0}), kImageUnsupported);  // RLE8
    EXPECT_EQ(patched(28, {16, 0}), kImageUnsupported);        // 16 bits
    EXPECT_EQ(patched(28, {32, 0}), kImageUnsupported);
    EXPECT_EQ(patched(22, {0, 0, 0, 0}), kImageBadData);
    EXPECT_EQ(patched(18, {0, 0, 1, 0}), kImageBadData);  // width 65536
    // Claims 65535 x 65535 (about 12.9 GB of pixels) in a 102-byte file:
    // refused by the decoded-size limit, nothing that large is allocated.
    EXPECT_EQ(patched(18, {0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0}), kImageOutOfMemory);
    // Pixel offset past the end, and every truncation.
    EXPECT_EQ(patched(10, {0xFF, 0xFF, 0, 0}), kImageBadData);
    for (size_t n : {size_t(2), size_t(20), size_t(54), good.size() - 1}) {
        Image image;
        EXPECT_EQ(image.loadFromMemory(good.data(), n), kImageBadData) << n;
        EXPECT_TRUE(image.empty());
    }
    // A colour count that cannot be in the file: the palette ends where the
    // pixels start, and the picture is the same.
    const Bytes pal = test::readBytes(test::fixturePath("bmp8.bmp"));
    Bytes b = pal;
    b[46] = 0xFF;
    b[47] = 0xFF;
    b[48] = 0x0F;
    Image image, original;
    ASSERT_EQ(image.loadFromMemory(b.data(), b.size()), kImageOk);
    ASSERT_EQ(original.loadFromMemory(pal.data(), pal.size()), kImageOk);
    EXPECT_EQ(test::rgbaOf(image), test::rgbaOf(original));
}

TEST(PngReader, MatchesOtherDecoders) {
    // Pillow's own RGB and palette files, forced filters of every type,
    // data split into IDAT chunks of 64, 7 and 5 bytes.
    for (const char* name : {"rgb", "pal", "pal_trns", "filter0", "filter1", "filter2", "filter3",
                             "filter4", "filter_mixed", "pal_filters"}) {
        expectMatchesReference(std::string(name) + ".png", name);
    }
}

TEST(PngReader, PaletteTransparency) {
    Image image;
    ASSERT_EQ(image.load(test::fixturePath("pal_trns.png")), kImageOk);
    ASSERT_TRUE(image.isIndexed());
    EXPECT_TRUE(image.hasAlpha());
    ASSERT_EQ(image.paletteCount(), 40u);
    const uint8_t expected[] = {0, 64, 128, 200, 255, 10};
    for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(image.palette()[i].alpha, expected[i]);
    for (uint32_t i = 6; i < 40; ++i) EXPECT_EQ(image.palette()[i].alpha, 255) << i;

    Image plain;
    ASSERT_EQ(plain.load(test::fixturePath("pal.png")), kImageOk);
    EXPECT_FALSE(plain.hasAlpha());
    ASSERT_TRUE(plain.expandToRgb());
    EXPECT_EQ(plain.alpha(), nullptr);
}

TEST(PngReader, RefusesDamage) {
    const Bytes good = test::readBytes(test::fixturePath("rgb.png"));
    auto patched = [&](size_t at, std::initializer_list<uint8_t> bytes) {
        Bytes b = good;
        std::copy(bytes.begin(), bytes.end(), b.begin() + ptrdiff_t(at));
        Image image;
        return image.loadFromMemory(b.data(), b.size());
    };
    // IHDR fields start at 16: width, height, depth, colour type, methods.
    EXPECT_EQ(patched(28, {2}), kImageBadData);  // no such interlace method
    EXPECT_EQ(patched(24, {16, 3}), kImageBadData);  // no 16-bit palettes
    EXPECT_EQ(patched(25, {5}), kImageBadData);      // no colour type 5
    EXPECT_EQ(patched(16, {0, 1, 0, 0}), kImageBadData);  // width 65536
    // 65535 x 65535 is past the decoded-size limit.
    EXPECT_EQ(patched(16, {0, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF}), kImageOutOfMemory);
    // 65535 x 500 with a kilobyte of data cannot be genuine.
    EXPECT_EQ(patched(16, {0, 0, 0xFF, 0xFF, 0, 0, 0x01, 0xF4}), kImageBadData);
    for (size_t n : {size_t(9), size_t(30), size_t(60), good.size() / 2}) {
        Image image;
        EXPECT_EQ(image.loadFromMemory(good.data(), n), kImageBadData) << n;
    }
    // A palette image without PLTE.
    Bytes noPlte = test::readBytes(test::fixturePath("pal_filters.png"));
    ASSERT_EQ(std::memcmp(noPlte.data() + 37, "PLTE", 4), 0);
    noPlte[37] = 'X';
    Image image;
    EXPECT_EQ(image.loadFromMemory(noPlte.data(), noPlte.size()), kImageBadData);
}

TEST(PngReader, WidestRows) {
    // 65535 x 2, rows of 196605 bytes (Up filter on the second row).
    const uint32_t w = 65535;
    Bytes raw;
    for (int y = 0; y < 2; ++y) {
        raw.push_back(y == 0 ? 0 : 2);
        for (uint32_t x = 0; x < w * 3; ++x) raw.push_back(uint8_t(y == 0 ? x * 7 : 1));
    }
    uLongf n = compressBound(uLong(raw.size()));
    Bytes z(n);
    ASSERT_EQ(compress2(z.data(), &n, raw.data(), uLong(raw.size()), 6), Z_OK);
    z.resize(n);
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    putU32BE(png, 13);
    png.insert(png.end(), {'I', 'H', 'D', 'R'});
    putU32BE(png, w);
    putU32BE(png, 2);
    png.insert(png.end(), {8, 2, 0, 0, 0, 0, 0, 0, 0});
    putU32BE(png, uint32_t(z.size()));
    png.insert(png.end(), {'I', 'D', 'A', 'T'});
    png.insert(png.end(), z.begin(), z.end());
    png.insert(png.end(), {0, 0, 0, 0});
    Image image;
    ASSERT_EQ(image.loadFromMemory(png.data(), png.size()), kImageOk);
    EXPECT_EQ(image.rgbStride(), 196608);
    EXPECT_EQ(image.rgbRow(0)[196604], uint8_t(196604 * 7));
    EXPECT_EQ(image.rgbRow(1)[196604], uint8_t(196604 * 7 + 1));
}

Bytes bagRecord(uint32_t width, uint32_t rows, const Bytes& pixels, size_t keep = SIZE_MAX) {
    uLongf n = compressBound(uLong(pixels.size()));
    Bytes z(n);
    compress2(z.data(), &n, pixels.data(), uLong(pixels.size()), 6);
    z.resize(std::min<size_t>(n, keep));
    Bytes r;
    putU32BE(r, 1);
    putU32BE(r, uint32_t(z.size() + 8));
    putU32BE(r, width);
    putU32BE(r, rows);
    r.insert(r.end(), z.begin(), z.end());
    return r;
}

TEST(BagFiles, WriterAndReaderAgreeOverBands) {
    // Band 1: 3 top-down RGB rows; band 2: 5 rows of a bottom-up BGR surface.
    const uint32_t w = 7;
    Bytes top(size_t(w) * 3 * 3), bottomUp(size_t(w) * 3 * 5 + 5);  // odd source stride
    for (size_t i = 0; i < top.size(); ++i) top[i] = uint8_t(i * 5);
    for (size_t i = 0; i < bottomUp.size(); ++i) bottomUp[i] = uint8_t(i * 3 + 1);
    const ptrdiff_t surfaceStride = ptrdiff_t(w) * 3 + 1;
    test::TempFile file("bands.bag");
    BagWriter writer;
    ASSERT_EQ(writer.open(file.path()), 1);
    ASSERT_EQ(writer.appendBand(top.data(), ptrdiff_t(w) * 3, w, 3), 1);
    ASSERT_EQ(writer.appendBand(bottomUp.data() + 4 * surfaceStride, -surfaceStride, w, 5,
                                BagPixelOrder::kBgr),
              1);
    EXPECT_EQ(writer.appendBand(top.data(), 9, 3, 1), 0);  // another width
    ASSERT_EQ(writer.close(), 1);

    ImageInfo info;
    ASSERT_EQ(Image::probe(file.path(), info), kImageOk);
    EXPECT_EQ(info.width, w);
    EXPECT_EQ(info.height, 8u);
    EXPECT_EQ(info.bitDepth, 24u);
    EXPECT_EQ(info.type, kFileTypeBag);

    Image image;
    ASSERT_EQ(image.load(file.path()), kImageOk);
    ASSERT_EQ(image.height(), 8u);
    for (uint32_t y = 0; y < 3; ++y) {
        EXPECT_EQ(0, std::memcmp(image.rgbRow(y), top.data() + y * w * 3, w * 3)) << y;
    }
    for (uint32_t y = 0; y < 5; ++y) {
        const uint8_t* src = bottomUp.data() + (4 - y) * surfaceStride;
        const uint8_t* row = image.rgbRow(3 + y);
        for (uint32_t x = 0; x < w; ++x) {
            EXPECT_EQ(row[x * 3], src[x * 3 + 2]);
            EXPECT_EQ(row[x * 3 + 2], src[x * 3]);
        }
    }

    // writeBagFile round trip of an indexed image.
    Image indexed;
    ASSERT_EQ(indexed.load(test::fixturePath("bmp4.bmp")), kImageOk);
    test::TempFile again("indexed.bag");
    ASSERT_EQ(writeBagFile(again.path(), indexed), 1);
    Image back;
    ASSERT_EQ(back.load(again.path()), kImageOk);
    EXPECT_EQ(test::rgbaOf(back), test::rgbaOf(indexed));
}

TEST(BagFiles, ReaderRefusesDamage) {
    const uint32_t w = 5;
    Bytes pixels(size_t(16) * 2);  // 2 rows of stride 16
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i * 97 + (i >> 2) * 31);
    auto bag = [](std::initializer_list<Bytes> records, const char* sig = "\0BAG") {
        Bytes b(sig, sig + 4);
        putU32BE(b, 1);
        for (const Bytes& r : records) b.insert(b.end(), r.begin(), r.end());
        return b;
    };
    auto load = [](const Bytes& b) {
        Image image;
        return image.loadFromMemory(b.data(), b.size());
    };
    EXPECT_EQ(load(bag({bagRecord(w, 2, pixels)}, "\0bAg")), kImageOk);
    EXPECT_EQ(load(bag({bagRecord(w, 2, pixels), bagRecord(w + 1, 2, Bytes(40, 1))})),
              kImageBadData);
    EXPECT_EQ(load(bag({})), kImageBadData);  // no band: zero height
    EXPECT_EQ(load(bag({bagRecord(w, 0, pixels)})), kImageBadData);
    // A band whose data ends before its rows do.
    EXPECT_EQ(load(bag({bagRecord(w, 3, pixels)})), kImageBadData);
    EXPECT_EQ(load(bag({bagRecord(w, 2, pixels, 10)})), kImageBadData);
    // Header truncated after a complete band.
    Bytes cut = bag({bagRecord(w, 2, pixels)});
    cut.insert(cut.end(), {0, 0, 0, 1, 0, 0});
    EXPECT_EQ(load(cut), kImageBadData);
    // 65535 rows of 65535 pixels claimed by a few bytes; heights adding past 65535.
    EXPECT_EQ(load(bag({bagRecord(65535, 65535, pixels)})), kImageBadData);
    Bytes many = bag({});
    for (int i = 0; i < 3; ++i) {
        const Bytes r = bagRecord(1, 30000, Bytes(size_t(30000) * 4, 0));
        many.insert(many.end(), r.begin(), r.end());
    }
    EXPECT_EQ(load(many), kImageBadData);
    Bytes version = bag({bagRecord(w, 2, pixels)});
    version[7] = 2;
    EXPECT_EQ(load(version), kImageBadData);
}

TEST(ImageLoad, TypeSniffAndProbe) {
    Image image;
    EXPECT_EQ(image.load(test::fixturePath("does-not-exist.png")), kImageCannotOpen);
    const Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0};
    EXPECT_EQ(image.loadFromMemory(gif.data(), gif.size()), kImageUnsupported);
    const Bytes text = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!'};
    EXPECT_EQ(image.loadFromMemory(text.data(), text.size()), kImageUnsupported);

    // A failed load leaves the image empty.
    ASSERT_EQ(image.load(test::fixturePath("rgb.png")), kImageOk);
    const Bytes cut = test::readBytes(test::fixturePath("rgb.png"));
    EXPECT_EQ(image.loadFromMemory(cut.data(), cut.size() / 2), kImageBadData);
    EXPECT_TRUE(image.empty());
    EXPECT_FALSE(image.loadError().empty());

    struct Case {
        const char* file;
        uint32_t w, h, depth, depthClass;
        int type;
    } cases[] = {{"bmp1.bmp", 13, 5, 1, 8, kFileTypeBmp},   {"bmp4.bmp", 11, 6, 4, 8, kFileTypeBmp},
                 {"bmp24.bmp", 31, 9, 24, 24, kFileTypeBmp}, {"pal.png", 17, 9, 8, 8, kFileTypePng},
                 {"rgb.png", 37, 19, 24, 24, kFileTypePng}};
    for (const Case& c : cases) {
        ImageInfo info;
        ASSERT_EQ(Image::probe(test::fixturePath(c.file), info), kImageOk) << c.file;
        EXPECT_EQ(info.width, c.w) << c.file;
        EXPECT_EQ(info.height, c.h) << c.file;
        EXPECT_EQ(info.bitDepth, c.depth) << c.file;
        EXPECT_EQ(info.depthClass, c.depthClass) << c.file;
        EXPECT_EQ(info.type, c.type) << c.file;
    }
    ImageInfo info;
    EXPECT_EQ(Image::probe(test::fixturePath("rgba.png"), info), kImageOk);
    EXPECT_EQ(Image::probe(test::fixturePath("missing.bmp"), info), kImageCannotOpen);
}

}  // namespace
}  // namespace tessaly
