// Encodings for SWF bitmaps: JPEG tables + abbreviated image decoded by
// libjpeg, and the 32-bit lossless pixel blocks.

#include <zlib.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

#include "image/image.h"
#include "image_test_util.h"

namespace tessaly {
namespace {

using test::Bytes;

Bytes bytesOf(const ByteBuffer& b) { return Bytes(b.data(), b.data() + b.size()); }

Image gradient(uint32_t w, uint32_t h, int seed) {
    Image image;
    EXPECT_TRUE(image.createRgb(w, h));
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t* p = image.rgbRow(y) + x * 3;
            p[0] = uint8_t(x * 8 + seed);
            p[1] = uint8_t(y * 8);
            p[2] = uint8_t(128 + seed);
        }
    }
    return image;
}

struct DecodeError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

// Decodes tables followed by an abbreviated image, as one buffer, the way a
// JPEG reader sees the two SWF parts joined. Empty on any libjpeg error.
Bytes decodeJoined(const Bytes& joined, uint32_t& w, uint32_t& h) {
    jpeg_decompress_struct cinfo{};
    DecodeError err{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = [](j_common_ptr c) {
        std::longjmp(reinterpret_cast<DecodeError*>(c->err)->jump, 1);
    };
    err.pub.output_message = [](j_common_ptr) {};
    static Bytes out;  // outside the jump's reach
    out.clear();
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        out.clear();
        return out;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, joined.data(), static_cast<unsigned long>(joined.size()));
    if (jpeg_read_header(&cinfo, FALSE) != JPEG_HEADER_TABLES_ONLY) {
        jpeg_destroy_decompress(&cinfo);
        return out;
    }
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&cinfo);
        return out;
    }
    jpeg_start_decompress(&cinfo);
    w = cinfo.output_width;
    h = cinfo.output_height;
    out.resize(size_t(w) * h * 3);
    while (cinfo.output_scanline < h) {
        JSAMPROW row = out.data() + size_t(cinfo.output_scanline) * w * 3;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return out;
}

bool hasMarker(const Bytes& b, uint8_t marker) {
    for (size_t i = 0; i + 1 < b.size(); ++i) {
        if (b[i] == 0xFF && b[i + 1] == marker) return true;
    }
    return false;
}

TEST(JpegEncoding, TablesAndAbbreviatedImageDecodeTogether) {
    Image image = gradient(21, 13, 0);
    ByteBuffer tables, stream;
    ASSERT_TRUE(image.encodeJpeg(&tables, stream, 95));
    const Bytes t = bytesOf(tables), s = bytesOf(stream);
    // Tables: SOI, DQT and DHT, EOI. Image: SOI .. EOI without any table.
    ASSERT_GE(t.size(), 4u);
    EXPECT_EQ(t[0], 0xFF);
    EXPECT_EQ(t[1], 0xD8);
    EXPECT_EQ(t[t.size() - 1], 0xD9);
    EXPECT_TRUE(hasMarker(t, 0xDB));
    EXPECT_TRUE(hasMarker(t, 0xC4));
    EXPECT_FALSE(hasMarker(s, 0xDB));
    EXPECT_FALSE(hasMarker(s, 0xC4));

    Bytes joined = t;
    joined.insert(joined.end(), s.begin(), s.end());
    uint32_t w = 0, h = 0;
    const Bytes pixels = decodeJoined(joined, w, h);
    ASSERT_EQ(w, 21u);
    ASSERT_EQ(h, 13u);
    ASSERT_EQ(pixels.size(), size_t(21 * 13 * 3));
    long total = 0;
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w * 3; ++x) {
            const int d = std::abs(int(pixels[y * w * 3 + x]) - int(image.rgbRow(y)[x]));
            EXPECT_LE(d, 12) << x << "," << y;
            total += d;
        }
    }
    EXPECT_LT(double(total) / double(pixels.size()), 2.0);
    // The image stream alone lacks its tables.
    uint32_t w2 = 0, h2 = 0;
    EXPECT_TRUE(decodeJoined(Bytes(s.begin(), s.end()), w2, h2).empty());
}

TEST(JpegEncoding, SameQualitySameTablesAndRegions) {
    Image a = gradient(16, 16, 0), b = gradient(9, 30, 77);
    ByteBuffer ta, sa, tb, sb, shared;
    ASSERT_TRUE(a.encodeJpeg(&ta, sa, 60));
    ASSERT_TRUE(b.encodeJpeg(&tb, sb, 60));
    ASSERT_TRUE(Image::encodeJpegTables(shared, 60));
    EXPECT_EQ(bytesOf(ta), bytesOf(tb));
    EXPECT_EQ(bytesOf(ta), bytesOf(shared));
    ASSERT_TRUE(b.encodeJpeg(&tb, sb, 61));
    EXPECT_NE(bytesOf(ta), bytesOf(tb));

    // A region: only its pixels are encoded; the sink is reset first.
    ASSERT_TRUE(a.encodeJpeg(&tb, sa, {-2, 4, 7, 3}, 90));
    Bytes joined = bytesOf(tb);
    const Bytes s = bytesOf(sa);
    joined.insert(joined.end(), s.begin(), s.end());
    uint32_t w = 0, h = 0;
    EXPECT_FALSE(decodeJoined(joined, w, h).empty());
    EXPECT_EQ(w, 5u);
    EXPECT_EQ(h, 3u);
    EXPECT_FALSE(a.encodeJpeg(&ta, sa, {16, 0, 4, 4}, 90));  // outside
    Image empty;
    EXPECT_FALSE(empty.encodeJpeg(&ta, sa, 90));
}

Bytes inflateAll(const ByteBuffer& sink, size_t expected) {
    Bytes out(expected + 16);
    uLongf n = uLongf(out.size());
    if (uncompress(out.data(), &n, sink.data(), sink.size()) != Z_OK) return {};
    out.resize(n);
    return out;
}

TEST(LosslessEncoding, PixelFormats) {
    Image image;
    ASSERT_TRUE(image.createRgb(3, 2, 0xC86432));  // 200, 100, 50
    ByteBuffer sink;
    ASSERT_TRUE(image.encodeLossless(sink, 9));
    Bytes px = inflateAll(sink, 24);
    ASSERT_EQ(px.size(), 24u);
    for (size_t i = 0; i < 24; i += 4) EXPECT_EQ((Bytes{px[i], px[i + 1], px[i + 2], px[i + 3]}),
                                                 (Bytes{255, 200, 100, 50}));
    EXPECT_FALSE(image.encodeLosslessAlpha(sink, 9));  // no alpha plane
    EXPECT_EQ(sink.size(), 0u);

    ASSERT_TRUE(image.applyAlphaColor(255, {}));
    const uint8_t alphas[] = {0, 1, 128, 254, 255, 255};
    for (int i = 0; i < 6; ++i) image.alpha()[i] = alphas[i];
    ASSERT_TRUE(image.encodeLosslessAlpha(sink, 9));
    px = inflateAll(sink, 24);
    ASSERT_EQ(px.size(), 24u);
    EXPECT_EQ(Bytes(px.begin(), px.begin() + 4), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(Bytes(px.begin() + 4, px.begin() + 8), (Bytes{2, 0, 0, 0}));
    EXPECT_EQ(Bytes(px.begin() + 8, px.begin() + 12), (Bytes{129, 100, 50, 25}));
    EXPECT_EQ(Bytes(px.begin() + 12, px.begin() + 16), (Bytes{255, 198, 99, 49}));  // 200 * 254 >> 8
    EXPECT_EQ(Bytes(px.begin() + 16, px.begin() + 20), (Bytes{255, 200, 100, 50}));

    // A region, and a palette image with transparency encodes its alpha.
    ASSERT_TRUE(image.encodeLossless(sink, {1, 1, 5, 5}, 9));
    EXPECT_EQ(inflateAll(sink, 8).size(), 8u);
    Image indexed;
    ASSERT_TRUE(indexed.createIndexed(2, 1, 1, true));
    indexed.palette()[0] = {10, 20, 30, 0};
    ASSERT_TRUE(indexed.encodeLosslessAlpha(sink, 9));
    EXPECT_EQ(inflateAll(sink, 8), (Bytes{0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(indexed.encodeLossless(sink, 42));  // bad zlib level
}

}  // namespace
}  // namespace tessaly
