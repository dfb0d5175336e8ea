// Bitmaps on their way into a job: pixel rows from every source format, the
// job's bitmap table and its image files, the Image element, the raster
// capture of what cannot be translated and the blits that become markup.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bitmap_table.h"
#include "blit_ops.h"
#include "shape_markup.h"
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
        // A position at the end of the FIX range (a clamped far-away corner)
        // still gives the region an offset that points back to it.
        {{{true, true, false}, "i6.bag", INT32_MIN, 0, 160, 160, &region, "", 0}, 0,
         "<Image src=\"i6.bag\" pos=\"-1.34218e+08,0\" size=\"10,10\" maskRectex=\"2147483647/0\"/>\n"},
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


// Flat-colour blits become rectangles in the colour their ROP gives.
TEST_F(BitmapJobTest, FlatBlitsBecomeRectangles) {
    const RECTL target{10, 20, 40, 60};
    const auto blit = [&](uint8_t rop, std::optional<uint32_t> brush, const ClipView* clip, std::string& out) {
        BitBltCall call;
        call.target = &target;
        call.brushColour = brush;
        call.rop = rop;
        call.clip = clip;
        return translateBitBlt(device_, call, out);
    };
    std::string out;
    ASSERT_EQ(blit(0xF0, 0xFF0000, nullptr, out), BlitResult::kTranslated);
    EXPECT_EQ(out,
              "<Shape>\n  <FillColor side=\"right\" color=\"#FF0000\"/>\n  <Rect pos=\"10,20\" size=\"30,40\"/>\n"
              "</Shape>\n");
    const struct {
        uint8_t rop;
        const char* colour;
    } colours[] = {{0x00, "#000000"}, {0xFF, "#FFFFFF"}, {0x0F, "#00FFFF"}};
    for (const auto& c : colours) {
        out.clear();
        ASSERT_EQ(blit(c.rop, 0xFF0000, nullptr, out), BlitResult::kTranslated);
        EXPECT_NE(out.find(std::string("color=\"") + c.colour), std::string::npos) << out;
    }
    out.clear();
    EXPECT_EQ(blit(0xAA, 0xFF0000, nullptr, out), BlitResult::kTranslated);
    EXPECT_EQ(out, "");
    EXPECT_EQ(blit(0x5A, 0xFF0000, nullptr, out), BlitResult::kFallBack) << "an unusual ROP";
    EXPECT_EQ(blit(0xF0, std::nullopt, nullptr, out), BlitResult::kFallBack) << "a pattern brush";
    EXPECT_EQ(out, "");

    // A clip rectangle cuts the rectangle; one that leaves nothing writes nothing.
    const ClipView rect{DC_RECT, {0, 30, 20, 100}, {}};
    device_.bandY = 100;
    ASSERT_EQ(blit(0xF0, 0x00FF00, &rect, out), BlitResult::kTranslated);
    EXPECT_NE(out.find("<Rect pos=\"10,130\" size=\"10,30\"/>"), std::string::npos) << out;
    out.clear();
    const ClipView apart{DC_RECT, {50, 0, 60, 10}, {}};
    EXPECT_EQ(blit(0xF0, 0x00FF00, &apart, out), BlitResult::kTranslated);
    EXPECT_EQ(out, "");
    const ClipView region{DC_COMPLEX, {0, 0, 20, 10}, [](std::string& o, FIX dx, FIX dy) {
                              o += std::to_string(dx) + "," + std::to_string(dy) + ";";
                          }};
    ASSERT_EQ(blit(0x00, 0, &region, out), BlitResult::kTranslated);
    EXPECT_EQ(out, "<Shape>\n  <FillColor side=\"right\" color=\"#000000\"/>\n<Rectex pos=\"0,1600;\"/>\n</Shape>\n");

    // A masked blit falls back whatever its ROP.
    BitBltCall masked;
    masked.target = &target;
    masked.rop = 0xF0;
    masked.hasMask = true;
    EXPECT_EQ(translateBitBlt(device_, masked, out), BlitResult::kFallBack);
}

TEST_F(BitmapJobTest, MonochromeMasksBecomeTransparentImages) {
    // 1 0 / 0 1 with entry 0 black and entry 1 white.
    std::vector<uint8_t> bits = {0b01000000, 0, 0, 0, 0b10000000, 0, 0, 0};
    SURFOBJ mono = surfaceOver(bits, BMF_1BPP, 2, 2, 4);
    const RECTL target{5, 6, 7, 8};
    BitBltCall call;
    call.source = &mono;
    call.target = &target;
    call.rop = 0x88;
    call.brushColour = solidColour(nullptr);
    call.colours = std::vector<uint32_t>{0x000000, 0xFFFFFF};
    std::string out;
    ASSERT_EQ(translateBitBlt(device_, call, out), BlitResult::kTranslated);
    EXPECT_EQ(out, "<Image src=\"i1.bag\" pos=\"5,6\" size=\"2,2\" fx=\"alphaColor(0,#FFFFFF)\" flags=\"nativesize\"/>\n");
    EXPECT_EQ(testing::bagPixels(device_.jobDirectory + "i1.bag"),
              (std::vector<uint8_t>{0, 0, 0, 255, 255, 255, 0, 0, 255, 255, 255, 0, 0, 0, 0, 0}));

    // A white brush over a table that lists white first: black pixels turn
    // white and the key becomes black, which gives the same pixels again.
    out.clear();
    call.rop = 0xB8;
    call.colours = std::vector<uint32_t>{0xFFFFFF, 0x000000};
    call.brushColour = 0xFFFFFF;
    ASSERT_EQ(translateBitBlt(device_, call, out), BlitResult::kTranslated);
    EXPECT_EQ(out, "<Image src=\"i1.bag\" pos=\"5,6\" size=\"2,2\" fx=\"alphaColor(0,#000000)\" flags=\"nativesize\"/>\n");
    EXPECT_EQ(device_.bitmaps.size(), 1u);

    // A coloured table is no mask: the ROP is not one the driver writes.
    call.colours = std::vector<uint32_t>{0x000000, 0xFF0000};
    EXPECT_EQ(translateBitBlt(device_, call, out), BlitResult::kFallBack);
}

TEST_F(BitmapJobTest, OpaqueBitmapsAreStoredOnceAndUnconvertibleOnesFallBack) {
    std::vector<uint8_t> bits(16 * 4);
    for (size_t i = 0; i < bits.size(); ++i) bits[i] = uint8_t(i * 7);
    SURFOBJ source = surfaceOver(bits, BMF_32BPP, 4, 4, 16);
    const RECTL first{0, 0, 2, 2}, second{100, 50, 102, 52};
    const ClipView clip{DC_RECT, {100, 50, 101, 52}, {}};
    BitBltCall call;
    call.source = &source;
    call.sourcePoint = {1, 1};
    call.rop = 0xCC;
    call.target = &first;
    std::string out;
    ASSERT_EQ(translateBitBlt(device_, call, out), BlitResult::kTranslated);
    call.target = &second;
    call.clip = &clip;
    ASSERT_EQ(translateBitBlt(device_, call, out), BlitResult::kTranslated);
    EXPECT_EQ(out,
              "<Image src=\"i1.bag\" pos=\"0,0\" size=\"2,2\"/>\n"
              "<Image src=\"i1.bag\" pos=\"100,50\" size=\"2,2\" maskRectex=\"0,0,1,2\"/>\n");
    EXPECT_EQ(device_.bitmaps.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(device_.jobDirectory + "i2.bag"));

    source.iBitmapFormat = BMF_16BPP;
    EXPECT_EQ(translateBitBlt(device_, call, out), BlitResult::kFallBack);
    source.iBitmapFormat = BMF_32BPP;
    call.sourcePoint = {3, 3};  // the source rectangle leaves the bitmap
    EXPECT_EQ(translateBitBlt(device_, call, out), BlitResult::kFallBack);

    // Without a source the brush fills the target.
    out.clear();
    call.source = nullptr;
    call.clip = nullptr;
    call.brushColour = 0x123456;
    ASSERT_EQ(translateBitBlt(device_, call, out), BlitResult::kTranslated);
    EXPECT_NE(out.find("color=\"#123456\""), std::string::npos) << out;
}

TEST_F(BitmapJobTest, StretchedBitmapsKeepTheirPixelsAndTakeTheTargetSize) {
    std::vector<uint8_t> bits(size_t(rowStride(100)) * 50);
    for (size_t i = 0; i < bits.size(); ++i) bits[i] = uint8_t(i);
    SURFOBJ source = surfaceOver(bits, BMF_24BPP, 100, 50, LONG(rowStride(100)));
    StretchBltCall call;
    call.source = &source;
    call.sourceRect = {0, 0, 100, 50};
    call.target = {10, 10, 210, 110};
    std::string out;
    ASSERT_EQ(translateStretchBlt(device_, call, out), BlitResult::kTranslated);
    EXPECT_EQ(out, "<Image src=\"i1.bag\" pos=\"10,10\" size=\"200,100\"/>\n");
    const auto records = testing::readBag(device_.jobDirectory + "i1.bag");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].width, 100u);
    EXPECT_EQ(records[0].rows, 50u);

    // A target mirrored left to right covers the same pixels, the picture flipped.
    std::vector<uint8_t> small = {1, 2, 3, 4, 5, 6, 0, 0};
    SURFOBJ pair = surfaceOver(small, BMF_24BPP, 2, 1, 8);
    call.source = &pair;
    call.sourceRect = {0, 0, 2, 1};
    call.target = {30, 0, 10, 4};
    out.clear();
    ASSERT_EQ(translateStretchBlt(device_, call, out), BlitResult::kTranslated);
    EXPECT_EQ(out, "<Image src=\"i2.bag\" pos=\"10,0\" size=\"20,4\"/>\n");
    EXPECT_EQ(testing::bagPixels(device_.jobDirectory + "i2.bag"), (std::vector<uint8_t>{6, 5, 4, 3, 2, 1, 0, 0}));

    call.hasMask = true;
    EXPECT_EQ(translateStretchBlt(device_, call, out), BlitResult::kFallBack);
}

TEST_F(BitmapJobTest, ParallelogramBlitsWriteTheirMatrix) {
    std::vector<uint8_t> bits(size_t(rowStride(4)) * 2, 9);
    SURFOBJ source = surfaceOver(bits, BMF_24BPP, 4, 2, LONG(rowStride(4)));
    const RECTL sourceRect{0, 0, 4, 2};
    PlgBltCall call;
    call.source = &source;
    call.sourceRect = &sourceRect;
    // Translated only: A (10,20), B = A + (4,0), C = A + (0,2).
    call.points[0] = {160, 320};
    call.points[1] = {160 + 64, 320};
    call.points[2] = {160, 320 + 32};
    std::string out;
    ASSERT_EQ(translatePlgBlt(device_, call, out), BlitResult::kTranslated);
    EXPECT_EQ(out, "<Image src=\"i1.bag\" pos=\"10,20\"/>\n");

    // A quarter turn at twice the size: B below A, C left of A.
    call.points[1] = {160, 320 + 128};
    call.points[2] = {160 - 64, 320};
    out.clear();
    ASSERT_EQ(translatePlgBlt(device_, call, out), BlitResult::kTranslated);
    EXPECT_EQ(out, "<Image src=\"i1.bag\" pos=\"10,20\" matrix=\"0,2,-2,0\"/>\n");

    call.sourceRect = nullptr;
    EXPECT_EQ(translatePlgBlt(device_, call, out), BlitResult::kFallBack);

    // The fallback's box: corners rounded to pixels, the fourth corner included.
    const POINTFIX turned[3] = {{160, 320}, {160, 320 + 128}, {160 - 64 - 7, 320}};
    const RECTL box = plgBounds(turned);
    EXPECT_EQ(box.left, 6);  // (89 + 8) / 16 rounded down
    EXPECT_EQ(box.top, 20);
    EXPECT_EQ(box.right, 10);
    EXPECT_EQ(box.bottom, 28);
    const POINTFIX far[3] = {{-0x7FFFFFFF, 0}, {0x7FFFFFFF, 0}, {0, 0x7FFFFFFF}};
    const RECTL limited = plgBounds(far);
    EXPECT_EQ(limited.left, -999999);
    EXPECT_EQ(limited.right, 999999);
    EXPECT_EQ(limited.bottom, 999999);
}

}  // namespace
}  // namespace tessaly::pagesmith
