#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "composer/mml_interpreter.h"
#include "hash_collision.h"
#include "support/checksum.h"
#include "swf/bitmap_encoder.h"
#include "swf/bitmap_object.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

// A 24-bit bottom-up BMP whose pixel (x, y) is colour(x, y).
template <typename F>
void writeBmp(const fs::path& path, uint32_t w, uint32_t h, F colour) {
    const uint32_t stride = (w * 3 + 3) & ~3u, size = 54 + stride * h;
    std::vector<uint8_t> f(size, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) f[at + i] = uint8_t(v >> (8 * i));
    };
    f[0] = 'B';
    f[1] = 'M';
    put32(2, size);
    put32(10, 54);
    put32(14, 40);
    put32(18, w);
    put32(22, h);
    f[26] = 1;
    f[28] = 24;
    for (uint32_t y = 0; y < h; ++y) {
        uint8_t* row = &f[54 + (h - 1 - y) * stride];
        for (uint32_t x = 0; x < w; ++x) {
            const uint32_t c = colour(x, y);
            row[3 * x] = uint8_t(c);
            row[3 * x + 1] = uint8_t(c >> 8);
            row[3 * x + 2] = uint8_t(c >> 16);
        }
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(f.data()), size);
}

class ImageElements : public testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("tessaly_images_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        writeBmp(dir / "photo.bmp", 40, 30, [](uint32_t x, uint32_t y) { return (x * 6) << 16 | (y * 8) << 8 | 0x40; });
        writeBmp(dir / "logo.bmp", 10, 10, [](uint32_t x, uint32_t) { return x < 5 ? 0xFFFFFF : 0xC02020; });
    }
    void TearDown() override { fs::remove_all(dir); }

    int run(const std::string& body) {
        interpreter.dictionary = &dictionary;
        interpreter.setJobDirectory(dir.string());
        EXPECT_EQ(interpreter.InputOpen(), 1);
        const int ok = interpreter.SetSource("<Media><Frame>" + body + "</Frame></Media>");
        if (ok) {
            while (interpreter.InputFrame() == 1) {
            }
        }
        return ok;
    }
    std::vector<DictionaryEntry*> bitmaps() const {
        std::vector<DictionaryEntry*> out;
        for (size_t i = 0; i < dictionary.count(); ++i) {
            if (dictionary.entryAt(i).type == kTypeBitmap) out.push_back(&dictionary.entryAt(i));
        }
        return out;
    }
    static const Image& pixels(const DictionaryEntry* e) {
        return static_cast<const BitmapObject&>(*e->object).image;
    }

    fs::path dir;
    CharacterDictionary dictionary;
    MmlInterpreter interpreter;
};

TEST_F(ImageElements, AnImageUsedTwiceIsDecodedOnceAtTheLargerSize) {
    interpreter.imageSizeFactor = 0.05;  // twips to pixels
    ASSERT_EQ(run("<Image src=\"photo.bmp\" size=\"200,200\"/>"
                  "<Image src=\"photo.bmp\" size=\"600,400\" pos=\"0,1000\"/>"
                  "<Image src=\"photo.bmp\" size=\"9000,9000\" flags=\"noplace\"/>"),
              1);
    // The oversized request falls back to the own size, 40 x 30.
    ASSERT_EQ(bitmaps().size(), 1u);
    const DictionaryEntry* e = bitmaps()[0];
    EXPECT_EQ(e->imageWidth, 40u);
    EXPECT_EQ(e->requestedWidth, 40u);
    EXPECT_EQ(e->requestedHeight, 30u);
    EXPECT_EQ(pixels(e).width(), 40u);
}

TEST_F(ImageElements, SizesFollowResizeAndNativeSize) {
    ASSERT_EQ(run("<Image src=\"photo.bmp\" resize=\"20.7,10\"/>"
                  "<Image src=\"photo.bmp\" fx=\"gray\" resize=\"20,10\" flags=\"nativeSize\"/>"
                  "<Image src=\"photo.bmp\" fx=\"smooth(30)\" scale=\"0.5,0.25\"/>"),
              1);
    ASSERT_EQ(bitmaps().size(), 3u);  // other effects, other bitmaps
    EXPECT_EQ(pixels(bitmaps()[0]).width(), 20u);
    EXPECT_EQ(pixels(bitmaps()[0]).height(), 10u);
    EXPECT_EQ(pixels(bitmaps()[1]).width(), 40u);
    EXPECT_EQ(pixels(bitmaps()[2]).width(), 20u);
    EXPECT_EQ(pixels(bitmaps()[2]).height(), 7u);
    // Gray: all three channels equal.
    const uint8_t* p = pixels(bitmaps()[1]).rgbRow(5) + 3 * 7;
    EXPECT_EQ(p[0], p[1]);
    EXPECT_EQ(p[1], p[2]);
}

TEST_F(ImageElements, AlphaColourSwitchesTheOtherEffectsOff) {
    ASSERT_EQ(run("<Image src=\"logo.bmp\" fx=\"alphacolor(#FFFFFF),gray\" resize=\"5,5\"/>"), 1);
    ASSERT_EQ(bitmaps().size(), 1u);
    const Image& image = pixels(bitmaps()[0]);
    ASSERT_TRUE(image.hasAlpha());
    ASSERT_EQ(image.width(), 5u);
    // The white half is transparent, the red half opaque and still red.
    EXPECT_EQ(image.alpha()[0], 0);
    EXPECT_EQ(image.alpha()[4], 255);
    const uint8_t* red = image.rgbRow(2) + 3 * 4;
    EXPECT_GT(red[0], 150);
    EXPECT_LT(red[1], 80);
}

TEST_F(ImageElements, EncodingAttributes) {
    interpreter.defaultImageEncoding = kEncodeLossless;
    ASSERT_EQ(run("<Image src=\"photo.bmp\" encoding=\"none\" encodingQuality=\"150\"/>"
                  "<Image src=\"photo.bmp\" encoding=\"ZLIB,jpeg\" pos=\"1,1\"/>"
                  "<Image src=\"photo.bmp\" pos=\"2,2\"/>"),
              1);
    ASSERT_EQ(bitmaps().size(), 3u);
    EXPECT_EQ(bitmaps()[0]->encodingFlags, 0u);  // neither word: JPEG
    EXPECT_EQ(bitmaps()[0]->jpegQuality, 100);
    EXPECT_EQ(bitmaps()[1]->encodingFlags, kEncodeJpeg | kEncodeLossless);
    EXPECT_EQ(bitmaps()[2]->encodingFlags, kEncodeLossless);
}

TEST_F(ImageElements, PositionIsBuiltIntoTheShapeForPureTranslations) {
    ASSERT_EQ(run("<Image src=\"photo.bmp\" size=\"800,600\" pos=\"100,50\"/>"
                  "<Image src=\"photo.bmp\" size=\"800,600\" pos=\"100,50\" angle=\"90\"/>"
                  "<Image src=\"photo.bmp\" maskrectex=\"0,0,10,10;20,20,30,30\" pos=\"5,5\"/>"
                  // A mask wider than the image (a band's clip) shows the image, no more.
                  "<Image src=\"photo.bmp\" size=\"40,30\" maskrectex=\"-83,-313,1191,10;-83,10,1191,513\" "
                  "pos=\"7,7\"/>"
                  "<Image src=\"photo.bmp\" size=\"40,30\" maskrectex=\"50,0,60,30\" pos=\"7,7\"/>"),
              1);
    const auto& c = interpreter.rootClip()->controls();
    ASSERT_GE(c.size(), 3u);
    const auto& first = static_cast<const ShapeObject&>(*c[0].object);
    EXPECT_EQ(c[0].matrix.translateX, 0);  // position applied in the shape
    EXPECT_EQ(first.bounds, (Bounds{100, 900, 50, 650}));
    EXPECT_EQ(first.fillStyles()[0].matrix.scaleX, 20 * 65536);
    EXPECT_EQ(first.fillStyles()[0].matrix.translateX, 100);
    const auto& rotated = static_cast<const ShapeObject&>(*c[1].object);
    EXPECT_EQ(c[1].matrix.translateX, 100);  // the placement carries it
    EXPECT_EQ(rotated.bounds, (Bounds{0, 800, 0, 600}));
    const auto& masked = static_cast<const ShapeObject&>(*c[2].object);
    EXPECT_EQ(masked.bounds, (Bounds{5, 35, 5, 35}));
    std::vector<const ControlRecord*> placed;
    for (const ControlRecord& r : c) {
        if (r.type == kCtlPlace) placed.push_back(&r);
    }
    ASSERT_EQ(placed.size(), 4u) << "a mask wholly beside its image leaves nothing to place";
    const auto& banded = static_cast<const ShapeObject&>(*placed[3]->object);
    EXPECT_EQ(banded.bounds, (Bounds{7, 47, 7, 37}));
}

TEST_F(ImageElements, AFirstPassFailureNamesTheImageAndTheReason) {
    // The first of two bad images is the one reported.
    std::ofstream(dir / "damaged.bmp", std::ios::binary) << "BM\x10\x00";
    EXPECT_EQ(run("<Image src=\"photo.bmp\"/><Image src=\"absent.png\"/><Image src=\"damaged.bmp\"/>"), 0);
    EXPECT_EQ(interpreter.errorText(), "Unable to open perform first pass\nImage \"absent.png\": cannot open (" +
                                           dir.string() + "/absent.png)");
    CharacterDictionary other;
    MmlInterpreter second;
    second.dictionary = &other;
    second.setJobDirectory(dir.string());
    ASSERT_EQ(second.InputOpen(), 1);
    EXPECT_EQ(second.SetSource("<Image src=\"damaged.bmp\"/>"), 0);
    EXPECT_EQ(second.errorText(), "Unable to open perform first pass\nImage \"damaged.bmp\": bad data (file of 3 bytes, too short)");
    EXPECT_EQ(second.SetSource("<Image/>"), 0);
    EXPECT_EQ(second.errorText(), "Unable to open perform first pass\nImage element without src");
}

TEST_F(ImageElements, ExtremeNumbersAreClampedOrDropTheElement) {
    interpreter.imageSizeFactor = 0.05;
    ASSERT_EQ(run("<Image src=\"photo.bmp\" size=\"1e12,1e12\" pos=\"1e12,-1e12\"/>"  // off the page
                  "<Image src=\"photo.bmp\" size=\"-1e12,5\"/>"                      // no size
                  "<Image src=\"photo.bmp\" resize=\"1e308,-1e308\" angle=\"45\" "
                  "fx=\"smooth(1e308),blackwhite(99999999999)\" maskrectex=\"-1e308,-1e308,1e308,1e308\"/>"
                  "<Image src=\"logo.bmp\" matrix=\"99999999999,0,0,99999999999\"/>"
                  "<Image src=\"logo.bmp\" scale=\"1e308,1e308\" fx=\"alphacolor(99999999999,#FFFFFF)\"/>"),
              1);
    // Oversized requests keep the pictures' own sizes.
    ASSERT_EQ(bitmaps().size(), 3u);
    EXPECT_EQ(bitmaps()[0]->requestedWidth, 40u);
    EXPECT_EQ(bitmaps()[1]->requestedWidth, 40u);
    EXPECT_EQ(bitmaps()[2]->requestedWidth, 10u);
    // The largest threshold: every pixel black or white.
    const Image& bw = pixels(bitmaps()[1]);
    for (uint32_t y = 0; y < bw.height(); ++y) {
        for (uint32_t x = 0; x < bw.width(); ++x) {
            const uint8_t v = bw.rgbRow(y)[3 * x];
            ASSERT_TRUE(v == 0 || v == 255) << x << "," << y;
        }
    }
    const auto& c = interpreter.rootClip()->controls();
    std::vector<const ControlRecord*> placed;
    for (const ControlRecord& r : c) {
        if (r.type == kCtlPlace) placed.push_back(&r);
    }
    ASSERT_EQ(placed.size(), 3u);
    const auto& masked = static_cast<const ShapeObject&>(*placed[0]->object);
    // Cut to the image: a mask never shows more than the picture.
    EXPECT_EQ(masked.bounds, (Bounds{0, 40, 0, 30}));
    EXPECT_EQ(placed[1]->matrix.scaleX, INT32_MAX);
    EXPECT_EQ(placed[2]->matrix.scaleY, INT32_MAX);
}

TEST_F(ImageElements, BitmapsAreTheSameOnlyForTheSamePath) {
    // Two file names of one length whose full paths hash alike.
    const std::string base = dir.string() + "/";
    auto name = [](uint64_t choice) {
        std::string n = "p";
        for (int i = 0; i < 40; ++i) n += (choice >> i & 1) ? 'c' : 'a';
        return n + ".bmp";
    };
    const uint64_t choice = testing_support::collidingChoice(40, [&](uint64_t x) {
        const std::string path = base + name(x);
        return crc32Update(0xFFFFFFFFu, path.data(), path.size());
    });
    ASSERT_NE(choice, 0u);
    writeBmp(dir / name(0), 4, 4, [](uint32_t, uint32_t) { return 0xFF0000u; });
    writeBmp(dir / name(choice), 4, 4, [](uint32_t, uint32_t) { return 0x0000FFu; });
    // On a case-sensitive file system these are two files as well.
    writeBmp(dir / "Photo.bmp", 4, 4, [](uint32_t, uint32_t) { return 0x00FF00u; });

    ASSERT_EQ(run("<Image src=\"" + name(0) + "\"/><Image src=\"" + name(choice) + "\" pos=\"10,0\"/>"
                  "<Image src=\"photo.bmp\" pos=\"20,0\"/><Image src=\"Photo.bmp\" pos=\"30,0\"/>"
                  "<Image src=\"" + name(0) + "\" pos=\"40,0\"/>"),
              1);
    ASSERT_EQ(bitmaps().size(), 4u);
    EXPECT_EQ(bitmaps()[0]->key, bitmaps()[1]->key);  // the collision is real
    EXPECT_EQ(pixels(bitmaps()[0]).rgbRow(0)[0], 0xFF);  // red
    EXPECT_EQ(pixels(bitmaps()[1]).rgbRow(0)[2], 0xFF);  // blue
#ifdef _WIN32
    EXPECT_EQ(pixels(bitmaps()[2]).width(), 4u);  // names are found without case there
#else
    EXPECT_EQ(pixels(bitmaps()[2]).width(), 40u);        // photo.bmp
#endif
    EXPECT_EQ(pixels(bitmaps()[3]).width(), 4u);         // Photo.bmp
}

}  // namespace
}  // namespace tessaly
