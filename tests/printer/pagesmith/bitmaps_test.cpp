// Bitmaps on their way into a job: pixel rows from every source format, the
// job's bitmap table and its image files, the Image element and the raster
// capture of what cannot be translated.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bitmap_table.h"
#include "capture.h"
#include "device.h"
#include "driver_test_util.h"
#include "image_element.h"
#include "job_writer.h"
#include "pixel_rows.h"

namespace tessaly::pagesmith {
namespace {

// A bitmap surface over caller-owned bits; a negative delta makes it bottom-up.
SURFOBJ surfaceOver(std::vector<uint8_t>& bits, ULONG format, LONG width, LONG height, LONG delta,
                    bool bottomUp = false) {
    SURFOBJ s{};
    s.sizlBitmap = {width, height};
    s.iBitmapFormat = format;
    s.iType = STYPE_BITMAP;
    s.pvBits = bits.data();
    s.cjBits = ULONG(bits.size());
    s.lDelta = bottomUp ? -delta : delta;
    s.pvScan0 = bottomUp ? bits.data() + size_t(delta) * (height - 1) : bits.data();
    if (!bottomUp) s.fjBitmap = BMF_TOPDOWN;
    return s;
}

std::vector<uint8_t> pixelAt(const PixelRows& rows, int x, int y) {
    const uint8_t* p = rows.bytes.data() + size_t(y) * rows.stride + size_t(x) * 3;
    return {p[0], p[1], p[2]};
}

using Bgr = std::vector<uint8_t>;

TEST(PixelRows, PaletteFormatsGoThroughTheColourTable) {
    const std::vector<uint32_t> table = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};  // 0x00RRGGBB
    {
        // 1 bit: the most significant bit is the leftmost pixel.
        std::vector<uint8_t> bits = {0b10100000, 0, 0, 0, 0b01000000, 0, 0, 0};
        SURFOBJ s = surfaceOver(bits, BMF_1BPP, 3, 2, 4);
        auto rows = readRows(&s, table, 0, 0, 3, 2);
        ASSERT_TRUE(rows);
        EXPECT_EQ(rows->stride, 12u);
        EXPECT_EQ(pixelAt(*rows, 0, 0), (Bgr{0, 0, 0xFF}));  // red written blue, green, red
        EXPECT_EQ(pixelAt(*rows, 1, 0), (Bgr{0, 0, 0}));
        EXPECT_EQ(pixelAt(*rows, 1, 1), (Bgr{0, 0, 0xFF}));
        EXPECT_EQ(rows->bytes[9], 0);  // padding is zero
    }
    {
        // 4 bits: high nibble first; an index beyond the table is black.
        std::vector<uint8_t> bits = {0x23, 0xF0, 0, 0};
        SURFOBJ s = surfaceOver(bits, BMF_4BPP, 3, 1, 4);
        auto rows = readRows(&s, table, 0, 0, 3, 1);
        ASSERT_TRUE(rows);
        EXPECT_EQ(pixelAt(*rows, 0, 0), (Bgr{0, 0xFF, 0}));
        EXPECT_EQ(pixelAt(*rows, 1, 0), (Bgr{0xFF, 0, 0}));
        EXPECT_EQ(pixelAt(*rows, 2, 0), (Bgr{0, 0, 0}));
    }
    {
        // 8 bits, a sub-rectangle.
        std::vector<uint8_t> bits = {0, 1, 2, 3, 3, 2, 1, 0};
        SURFOBJ s = surfaceOver(bits, BMF_8BPP, 4, 2, 4);
        auto rows = readRows(&s, table, 1, 1, 2, 1);
        ASSERT_TRUE(rows);
        EXPECT_EQ(rows->width, 2);
        EXPECT_EQ(pixelAt(*rows, 0, 0), (Bgr{0, 0xFF, 0}));
        EXPECT_EQ(pixelAt(*rows, 1, 0), (Bgr{0, 0, 0xFF}));
        EXPECT_FALSE(readRows(&s, std::nullopt, 0, 0, 4, 2)) << "a palette format needs a table";
    }
}

TEST(PixelRows, TrueColourBytesAreTakenAsTheyAreTopDownAndBottomUp) {
    // Two rows of one pixel, stored bottom-up: the top row is last in memory.
    std::vector<uint8_t> bits24 = {1, 2, 3, 0, 4, 5, 6, 0};
    SURFOBJ up = surfaceOver(bits24, BMF_24BPP, 1, 2, 4, true);
    auto rows = readRows(&up, std::nullopt, 0, 0, 1, 2);
    ASSERT_TRUE(rows);
    EXPECT_EQ(pixelAt(*rows, 0, 0), (Bgr{4, 5, 6}));
    EXPECT_EQ(pixelAt(*rows, 0, 1), (Bgr{1, 2, 3}));

    std::vector<uint8_t> bits32 = {1, 2, 3, 0xAA, 4, 5, 6, 0xBB};
    SURFOBJ down = surfaceOver(bits32, BMF_32BPP, 2, 1, 8);
    rows = readRows(&down, std::nullopt, 0, 0, 2, 1);
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->bytes, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 0, 0}));
}

TEST(PixelRows, UnconvertibleSourcesAndRectanglesOutsideTheBitsGiveNothing) {
    std::vector<uint8_t> bits(64, 0);
    for (ULONG format : {ULONG(BMF_16BPP), ULONG(BMF_8RLE), ULONG(BMF_JPEG), ULONG(BMF_PNG)}) {
        SURFOBJ s = surfaceOver(bits, format, 4, 4, 16);
        EXPECT_FALSE(readRows(&s, std::vector<uint32_t>{0}, 0, 0, 2, 2)) << format;
    }
    SURFOBJ s = surfaceOver(bits, BMF_24BPP, 4, 4, 16);
    EXPECT_FALSE(readRows(&s, std::nullopt, 3, 0, 2, 1));
    EXPECT_FALSE(readRows(&s, std::nullopt, 0, -1, 1, 1));
    EXPECT_FALSE(readRows(&s, std::nullopt, 0, 0, 0, 1));
    EXPECT_FALSE(readRows(&s, std::nullopt, 0x7FFFFFFF, 0, 2, 1));
    s.lDelta = 4;  // shorter than a row of the surface
    EXPECT_FALSE(readRows(&s, std::nullopt, 0, 0, 1, 1));
}

// Image elements exactly as written.
TEST(ImageElementText, AttributesInTheirOrder) {
    ClipView same{DC_RECT, {10, 20, 110, 70}, {}};
    ClipView narrower{DC_RECT, {12, 20, 100, 70}, {}};
    ClipView region{DC_COMPLEX, {0, 0, 20, 10}, [](std::string& out, FIX dx, FIX dy) {
                        out += std::to_string(dx) + "/" + std::to_string(dy);
                    }};
    struct Case {
        ImageElement image;
        int32_t bandY;
        const char* text;
    } cases[] = {
        {{{true, true, false}, "i1.bag", 160, 320, 1600, 800, &same, "", 0}, 0,
         "<Image src=\"i1.bag\" pos=\"10,20\" size=\"100,50\"/>\n"},
        {{{true, true, false}, "i1.bag", 160, 320, 1600, 800, nullptr, "", 0}, 100,
         "<Image src=\"i1.bag\" pos=\"10,120\" size=\"100,50\"/>\n"},
        {{{true, false, false}, "i2.bag", 8, 0, 40, 0, nullptr, "", 0}, 0,
         "<Image src=\"i2.bag\" pos=\"0.5,0\" size=\"2.5,\"/>\n"},
        {{{false, true, false}, "i2.bag", 0, 0, 0, 24, nullptr, "", 0}, 0,
         "<Image src=\"i2.bag\" pos=\"0,0\" size=\",1.5\"/>\n"},
        {{{true, true, true}, "i3.bag", 0, 0, 32, 32, nullptr, "", 0x00FFFFFF}, 0,
         "<Image src=\"i3.bag\" pos=\"0,0\" size=\"2,2\" fx=\"alphaColor(0,#FFFFFF)\" flags=\"nativesize\"/>\n"},
        {{{false, false, true}, "i3.bag", 0, 0, 0, 0, nullptr, "0,1,-1,0", 0x80000A0B}, 0,
         "<Image src=\"i3.bag\" pos=\"0,0\" fx=\"alphaColor(128,#000A0B)\" flags=\"nativesize\" "
         "matrix=\"0,1,-1,0\"/>\n"},
        {{{true, true, false}, "i4.bag", 160, 320, 1600, 800, &narrower, "", 0}, 0,
         "<Image src=\"i4.bag\" pos=\"10,20\" size=\"100,50\" maskRectex=\"2,0,90,50\"/>\n"},
        // Without both sizes even a matching rectangle is written as a mask.
        {{{false, false, false}, "i4.bag", 160, 320, 1600, 800, &same, "", 0}, 0,
         "<Image src=\"i4.bag\" pos=\"10,20\" maskRectex=\"0,0,100,50\"/>\n"},
        {{{true, true, false}, "i5.bag", 16, 32, 160, 160, &region, "", 0}, 0,
         "<Image src=\"i5.bag\" pos=\"1,2\" size=\"10,10\" maskRectex=\"-16/-32\"/>\n"},
    };
    for (const Case& c : cases) {
        std::string out;
        writeImageElement(out, c.image, c.bandY);
        EXPECT_EQ(out, c.text);
    }
}

class BitmapJobTest : public testing::DriverFixture {
protected:
    void SetUp() override {
        DriverFixture::SetUp();
        seedDevice(device_);
        device_.spoolDirectory = spool_;
        device_.basePath = base_;
        device_.pageWidth = 8;
        device_.pageHeight = 6;
        device_.settings.mechanics = kMechVector | kMechFrame;
        device_.settings.sourceId = -1;
        applyCaptureModes(device_);
        ASSERT_EQ(beginJob(device_), 1);
    }
    void TearDown() override {
        releaseJob(device_);
        DriverFixture::TearDown();
    }
    std::string finishedMarkup() {
        const std::string path = device_.jobDirectory + "media.mml";
        endDocument(device_);
        return descrambled(path);
    }
    DriverDevice device_;
};

TEST_F(BitmapJobTest, TheSameBitmapIsStoredOnceAndNamedByEveryUse) {
    std::vector<uint8_t> bits = {0x10, 0x20, 0x30, 0, 0x40, 0x50, 0x60, 0};
    SURFOBJ s = surfaceOver(bits, BMF_24BPP, 1, 2, 4);
    auto rows = readRows(&s, std::nullopt, 0, 0, 1, 2);
    ASSERT_TRUE(rows);
    EXPECT_EQ(newId(device_), 1u);  // another object of the job took an id first
    EXPECT_EQ(imageForRows(device_, *rows), "i2.bag");
    EXPECT_EQ(imageForRows(device_, *rows), "i2.bag");
    ASSERT_EQ(device_.bitmaps.size(), 1u);

    // Same bytes in another shape are another bitmap.
    auto wide = readRows(&s, std::nullopt, 0, 0, 1, 1);
    ASSERT_TRUE(wide);
    EXPECT_EQ(imageForRows(device_, *wide), "i3.bag");

    // The file holds one record of red, green, blue rows.
    const auto records = testing::readBag(device_.jobDirectory + "i2.bag");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].width, 1u);
    EXPECT_EQ(records[0].rows, 2u);
    EXPECT_EQ(records[0].pixels, (std::vector<uint8_t>{0x30, 0x20, 0x10, 0, 0x60, 0x50, 0x40, 0}));
    std::filesystem::remove(device_.jobDirectory + "i2.bag");
    EXPECT_EQ(imageForRows(device_, *rows), "i2.bag");
    EXPECT_FALSE(std::filesystem::exists(device_.jobDirectory + "i2.bag")) << "a known bitmap is not rewritten";
}

TEST_F(BitmapJobTest, AnImageFileThatCannotBeWrittenKeepsItsNameAndTableEntry) {
    std::filesystem::create_directory(device_.jobDirectory + "i1.bag");  // in the way of the file
    std::vector<uint8_t> bits = {1, 2, 3, 0};
    SURFOBJ s = surfaceOver(bits, BMF_24BPP, 1, 1, 4);
    auto rows = readRows(&s, std::nullopt, 0, 0, 1, 1);
    ASSERT_TRUE(rows);
    EXPECT_EQ(imageForRows(device_, *rows), "i1.bag");
    EXPECT_EQ(device_.bitmaps.size(), 1u);
    EXPECT_EQ(imageForRows(device_, *rows), "i1.bag");
}

TEST_F(BitmapJobTest, CapturesAreClippedAndClampedToTheSurface) {
    std::vector<uint8_t> bits(size_t(24) * 6);
    for (size_t i = 0; i < bits.size(); ++i) bits[i] = uint8_t(i);
    SURFOBJ s = surfaceOver(bits, BMF_24BPP, 8, 6, 24);
    device_.bandY = 0;

    EXPECT_EQ(captureRect(device_, &s, {20, 0, 30, 4}, nullptr), 1) << "wholly outside the surface";
    EXPECT_EQ(captureRect(device_, &s, {-5, -5, 0, 3}, nullptr), 1);
    EXPECT_TRUE(device_.bitmaps.empty());

    EXPECT_EQ(captureRect(device_, &s, {-5, 4, 100, 100}, nullptr), 1);
    const ClipView rect{DC_RECT, {2, 1, 4, 3}, {}};
    EXPECT_EQ(captureRect(device_, &s, {0, 0, 8, 6}, &rect), 1);
    const ClipView region{DC_COMPLEX, {1, 1, 3, 2}, [](std::string& out, FIX dx, FIX dy) {
                              out += "0,0,2,1;" + std::to_string(dx) + "," + std::to_string(dy);
                          }};
    EXPECT_EQ(captureRect(device_, &s, {0, 0, 8, 6}, &region), 1);
    device_.bandY = 3;
    EXPECT_EQ(captureRect(device_, &s, {0, 0, 1, 1}, nullptr), 1);

    const std::string mml = finishedMarkup();
    EXPECT_NE(mml.find("<Image src=\"i1.bag\" pos=\"0,4\" size=\"8,2\"/>\n"), std::string::npos) << mml;
    EXPECT_NE(mml.find("<Image src=\"i2.bag\" pos=\"2,1\" size=\"2,2\"/>\n"), std::string::npos) << mml;
    EXPECT_NE(mml.find("<Image src=\"i3.bag\" pos=\"1,1\" size=\"2,1\" maskRectex=\"0,0,2,1;-16,-16\"/>\n"),
              std::string::npos)
        << mml;
    EXPECT_NE(mml.find("<Image src=\"i4.bag\" pos=\"0,3\" size=\"1,1\"/>\n"), std::string::npos) << mml;
    const auto pixels = testing::bagPixels(device_.jobDirectory + "i2.bag");
    // Surface row 1, pixel 2 (blue, green, red 30, 31, 32) comes out red first.
    ASSERT_GE(pixels.size(), 3u);
    EXPECT_EQ(pixels[0], 32);
    EXPECT_EQ(pixels[2], 30);

    // A surface whose rows cannot be read fails the capture.
    std::vector<uint8_t> wide(64);
    SURFOBJ s16 = surfaceOver(wide, BMF_16BPP, 4, 4, 16);
    EXPECT_EQ(captureRect(device_, &s16, {0, 0, 2, 2}, nullptr), 0);
}

}  // namespace
}  // namespace tessaly::pagesmith
