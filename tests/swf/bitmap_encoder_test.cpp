#include "swf/bitmap_encoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "swf_test_util.h"

namespace tessaly {
namespace {

// A dictionary entry holding a smooth photo-like image (JPEG wins) or flat
// colour (lossless wins).
struct BitmapEntry {
    DictionaryEntry entry;
    explicit BitmapEntry(uint32_t flags, uint8_t quality, bool photo = true, uint32_t w = 64,
                         uint32_t h = 48) {
        auto bitmap = std::make_unique<BitmapObject>();
        Image& image = bitmap->image;
        EXPECT_TRUE(image.createRgb(w, h, 0x336699));
        if (photo) {
            for (uint32_t y = 0; y < h; ++y) {
                uint8_t* row = image.rgbRow(y);
                for (uint32_t x = 0; x < w; ++x) {
                    row[3 * x] = uint8_t(128 + 120 * std::sin(x * 0.3 + y * 0.1));
                    row[3 * x + 1] = uint8_t((x * 7 + y * 13) & 0xFF);
                    row[3 * x + 2] = uint8_t(128 + 120 * std::cos(y * 0.25));
                }
            }
        }
        entry.type = kTypeBitmap;
        entry.encodingFlags = flags;
        entry.jpegQuality = quality;
        entry.object = std::move(bitmap);
    }
    Image& image() { return static_cast<BitmapObject&>(*entry.object).image; }
};

TEST(DefineBitmap, ImagesOfOneQualityShareOneTablesTag) {
    SwfStream s;
    BitmapEntry a(kEncodeJpeg, 80), b(kEncodeJpeg, 80), c(kEncodeJpeg, 50);
    ASSERT_EQ(defineBitmap(s, 1, a.entry), 1);
    ASSERT_EQ(defineBitmap(s, 2, b.entry), 1);
    ASSERT_EQ(defineBitmap(s, 3, c.entry), 1);
    const auto tags = test::movieTagsOfStream(s);
    EXPECT_EQ(test::tagCodes(tags), (std::vector<SwfTag>{SwfTag::JpegTables, SwfTag::DefineBits,
                                                         SwfTag::DefineBits,
                                                         SwfTag::DefineBitsJpeg2}));
    for (const auto& t : tags) EXPECT_TRUE(t.longHeader);
    // DefineBits: the id, then an abbreviated stream starting with SOI.
    EXPECT_EQ(tags[1].body[0], 1);
    EXPECT_EQ(tags[1].body[2], 0xFF);
    EXPECT_EQ(tags[1].body[3], 0xD8);
    EXPECT_TRUE(s.jpegTablesWritten());
    EXPECT_EQ(s.jpegTablesQuality(), 80);
}

TEST(DefineBitmap, APresetQualitySendsOthersToJpeg2) {
    SwfStream s;
    s.setJpegTables(false, 90);
    BitmapEntry a(kEncodeJpeg, 80);
    ASSERT_EQ(defineBitmap(s, 1, a.entry), 1);
    EXPECT_EQ(test::tagCodes(test::movieTagsOfStream(s)), (std::vector<SwfTag>{SwfTag::DefineBitsJpeg2}));
}

TEST(DefineBitmap, TheSmallerEncodingWins) {
    SwfStream s;
    BitmapEntry flat(kEncodeJpeg | kEncodeLossless, 90, false), photo(kEncodeJpeg | kEncodeLossless, 60);
    ASSERT_EQ(defineBitmap(s, 1, flat.entry), 1);
    ASSERT_EQ(defineBitmap(s, 2, photo.entry), 1);
    const auto tags = test::movieTagsOfStream(s);
    ASSERT_EQ(test::tagCodes(tags), (std::vector<SwfTag>{SwfTag::DefineBitsLossless,
                                                         SwfTag::JpegTables, SwfTag::DefineBits}));
    // Lossless format 5 with the image's size.
    EXPECT_EQ(tags[0].body[2], 5);
    EXPECT_EQ(tags[0].body[3] | tags[0].body[4] << 8, 64);
    EXPECT_EQ(tags[0].body[5] | tags[0].body[6] << 8, 48);
}

TEST(DefineBitmap, AlphaAndTinyImages) {
    SwfStream s;
    BitmapEntry alpha(kEncodeJpeg, 80, false), tiny(kEncodeLossless, 80, false, 1, 1);
    const AlphaColor key{0x336699, 0};
    ASSERT_TRUE(alpha.image().applyAlphaColor(255, {&key, 1}));
    ASSERT_EQ(defineBitmap(s, 1, alpha.entry), 1);
    ASSERT_EQ(defineBitmap(s, 2, tiny.entry), 1);
    const auto tags = test::movieTagsOfStream(s);
    ASSERT_EQ(test::tagCodes(tags), (std::vector<SwfTag>{SwfTag::DefineBitsLossless2,
                                                         SwfTag::DefineBitsLossless}));
    // A 1 x 1 image is padded to 2 x 2.
    EXPECT_EQ(tags[1].body[3] | tags[1].body[4] << 8, 2);
    EXPECT_EQ(tags[1].body[5] | tags[1].body[6] << 8, 2);
    BitmapEntry empty(kEncodeJpeg, 80);
    empty.image().clear();
    EXPECT_EQ(defineBitmap(s, 3, empty.entry), 0);
}

}  // namespace
}  // namespace tessaly
