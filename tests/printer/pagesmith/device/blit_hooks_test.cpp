// Blits through the device context, the real engine and the driver's hooks:
// the markup and image files a vector page gets from them.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "../driver_test_util.h"
#include "device.h"
#include "hooks.h"
#include "platform/device_context.h"

namespace tessaly::pagesmith {
namespace {

using gdi::DeviceContext;
using gdi::PrinterDevice;

class BlitHooks : public testing::DriverFixture {
protected:
    // Draws one page on a vector device; the job directory and its markup.
    template <typename Draw>
    std::string printPage(Draw draw) {
        DRVENABLEDATA data{};
        EXPECT_TRUE(DrvEnableDriver(DDI_DRIVER_VERSION_NT5, sizeof data, &data));
        testing::DevmodeBytes devmode;
        std::string error;
        auto device = PrinterDevice::open(data, &devmode.devmode(), u"Tessaly", &error);
        EXPECT_TRUE(device) << error;
        if (!device) return {};
        DeviceContext dc(*device);
        EXPECT_TRUE(dc.startDoc(u"Blits", 5));
        EXPECT_TRUE(dc.startPage());
        draw(dc);
        EXPECT_TRUE(dc.endPage());
        directory_ = reinterpret_cast<DriverDevice*>(device->pdev())->jobDirectory;
        EXPECT_TRUE(dc.endDoc());
        return descrambled(directory_ + "media.mml");
    }
    std::string directory_;
};

// A picture of w x h with every pixel different, 24 or 16 bits.
struct Picture {
    int width, height, bpp;
    std::vector<uint8_t> bits;
    Picture(int w, int h, int b) : width(w), height(h), bpp(b) {
        bits.resize(size_t(stride()) * h);
        for (size_t i = 0; i < bits.size(); ++i) bits[i] = uint8_t(i * 13 + i / 7);
    }
    int stride() const { return (width * bpp / 8 + 3) & ~3; }
    gdi::BitmapView view() const {
        gdi::BitmapView v;
        v.width = width;
        v.height = height;
        v.bitsPerPixel = bpp;
        v.stride = stride();
        v.bits = bits.data();
        return v;
    }
};

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST_F(BlitHooks, FlatBlitsAndBitmapsReachTheMarkup) {
    const Picture picture(100, 50, 24);
    const std::string mml = printPage([&](DeviceContext& dc) {
        gdi::Brush brush;
        brush.color = 0xFF0000;
        EXPECT_TRUE(dc.setBrush(brush));
        EXPECT_TRUE(dc.patBlt({10, 20, 40, 60}));
        EXPECT_TRUE(dc.stretchBlt({300, 300, 500, 400}, picture.view(), {0, 0, 100, 50}));
        EXPECT_TRUE(dc.stretchBlt({600, 300, 800, 400}, picture.view(), {0, 0, 100, 50}));
    });
    EXPECT_NE(mml.find("<Shape>\n  <FillColor side=\"right\" color=\"#FF0000\"/>\n  <Rect pos=\"10,20\" "
                       "size=\"30,40\"/>\n</Shape>\n"),
              std::string::npos)
        << mml;
    EXPECT_NE(mml.find("<Image src=\"i1.bag\" pos=\"300,300\" size=\"200,100\"/>"), std::string::npos) << mml;
    EXPECT_NE(mml.find("<Image src=\"i1.bag\" pos=\"600,300\" size=\"200,100\"/>"), std::string::npos) << mml;
    const auto records = testing::readBag(directory_ + "i1.bag");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].width, 100u);
    EXPECT_EQ(records[0].rows, 50u);
    EXPECT_FALSE(std::filesystem::exists(directory_ + "i2.bag"));
}

TEST_F(BlitHooks, BlendsAreCapturedFromThePageAsFarAsItReaches) {
    const Picture picture(40, 30, 24);
    const std::string mml = printPage([&](DeviceContext& dc) {
        EXPECT_TRUE(dc.alphaBlend({100, 100, 140, 130}, picture.view(), {0, 0, 40, 30}, 128, false));
        // Partly off the page: only what is on it is captured.
        EXPECT_TRUE(dc.alphaBlend({-20, -10, 20, 20}, picture.view(), {0, 0, 40, 30}, 128, false));
        // Wholly off the page: nothing.
        EXPECT_TRUE(dc.alphaBlend({-100, -100, -60, -70}, picture.view(), {0, 0, 40, 30}, 128, false));
    });
    EXPECT_EQ(count(mml, "<Image "), 2u) << mml;
    EXPECT_NE(mml.find("<Image src=\"i1.bag\" pos=\"100,100\" size=\"40,30\"/>"), std::string::npos) << mml;
    EXPECT_NE(mml.find("<Image src=\"i2.bag\" pos=\"0,0\" size=\"20,20\"/>"), std::string::npos) << mml;
    const auto records = testing::readBag(directory_ + "i1.bag");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].width, 40u);
    EXPECT_EQ(records[0].rows, 30u);
}

TEST_F(BlitHooks, ATurnedPictureUnderAClipIsDrawnThroughAPageMask) {
    // The image's own mask rectangles would be taken in its turned space:
    // the clip goes around it as a mask of the page instead.
    const Picture picture(40, 30, 24);
    const std::string mml = printPage([&](DeviceContext& dc) {
        EXPECT_TRUE(dc.clipRect({150, 100, 190, 200}));
        EXPECT_TRUE(dc.setTransform({0, 1, -1, 0, 200, 100}));
        EXPECT_TRUE(dc.stretchBlt({0, 0, 40, 30}, picture.view(), {0, 0, 40, 30}));
        // Moved only, the picture keeps its own mask rectangles.
        EXPECT_TRUE(dc.setTransform({1, 0, 0, 1, 0, 0}));
        EXPECT_TRUE(dc.stretchBlt({160, 150, 200, 180}, picture.view(), {0, 0, 40, 30}));
    });
    const size_t mask = mml.find("<Mask");
    const size_t turned = mml.find("matrix=\"0,1,-1,0\"");
    const size_t end = mml.find("</Mask>");
    ASSERT_NE(turned, std::string::npos) << mml;
    EXPECT_TRUE(mask < turned && turned < end) << mml;
    EXPECT_EQ(mml.find("maskRectex", mask), mml.find("maskRectex", end)) << mml;
    EXPECT_NE(mml.find("pos=\"160,150\" size=\"40,30\" maskRectex=\"-10,-50,30,50\"/>", end),
              std::string::npos)
        << mml;
}

TEST_F(BlitHooks, PaletteBitmapsKeepTheirColours) {
    // Two pixels of an 8-bit bitmap: red and blue through its palette.
    const std::vector<uint8_t> bits = {0, 1, 0, 0};
    const gdi::Color palette[2] = {0xFF0000, 0x0000FF};
    gdi::BitmapView view;
    view.width = 2;
    view.height = 1;
    view.bitsPerPixel = 8;
    view.stride = 4;
    view.bits = bits.data();
    view.palette = palette;
    const std::string mml = printPage([&](DeviceContext& dc) {
        EXPECT_TRUE(dc.stretchBlt({50, 50, 54, 52}, view, {0, 0, 2, 1}));
    });
    EXPECT_NE(mml.find("<Image src=\"i1.bag\" pos=\"50,50\" size=\"4,2\"/>"), std::string::npos) << mml;
    // The file holds red, green, blue bytes.
    EXPECT_EQ(testing::bagPixels(directory_ + "i1.bag"), (std::vector<uint8_t>{255, 0, 0, 0, 0, 255, 0, 0}));
}

TEST_F(BlitHooks, MonochromeMasksBecomeTransparentImagesAndSixteenBitsAreCaptured) {
    // A mask of 8 x 2: black pixels at the ends of each row.
    const std::vector<uint8_t> mask = {0b01111110, 0, 0, 0, 0b00111100, 0, 0, 0};
    const gdi::Color bw[2] = {0x000000, 0xFFFFFF};
    gdi::BitmapView view;
    view.width = 8;
    view.height = 2;
    view.bitsPerPixel = 1;
    view.stride = 4;
    view.bits = mask.data();
    view.palette = bw;
    const Picture sixteen(20, 10, 16);
    const std::string mml = printPage([&](DeviceContext& dc) {
        // The selected brush is white: SRCAND does not read it, the mask's
        // black stays black.
        gdi::Brush white;
        white.color = 0xFFFFFF;
        EXPECT_TRUE(dc.setBrush(white));
        EXPECT_TRUE(dc.stretchBlt({100, 100, 108, 102}, view, {0, 0, 8, 2}, SRCAND));
        // 0xB8 paints the brush through the mask's black.
        gdi::Brush red;
        red.color = 0xFF0000;
        EXPECT_TRUE(dc.setBrush(red));
        EXPECT_TRUE(dc.stretchBlt({200, 100, 208, 102}, view, {0, 0, 8, 2}, 0xB8074A));
        EXPECT_TRUE(dc.stretchBlt({300, 100, 340, 120}, sixteen.view(), {0, 0, 20, 10}, SRCINVERT));
    });
    EXPECT_NE(mml.find("<Image src=\"i1.bag\" pos=\"100,100\" size=\"8,2\" fx=\"alphaColor(0,#FFFFFF)\" "
                       "flags=\"nativesize\"/>"),
              std::string::npos)
        << mml;
    EXPECT_NE(mml.find("pos=\"200,100\" size=\"8,2\" fx=\"alphaColor(0,#FFFFFF)\" flags=\"nativesize\"/>"),
              std::string::npos)
        << mml;
    const std::vector<uint8_t> black = {0, 0, 0}, white = {255, 255, 255}, red = {255, 0, 0};
    auto rowOf = [](const std::vector<uint8_t>& pixels, size_t y, size_t x) {
        return std::vector<uint8_t>(pixels.begin() + long((y * 8 + x) * 3), pixels.begin() + long((y * 8 + x) * 3 + 3));
    };
    const auto first = testing::bagPixels(directory_ + "i1.bag");
    ASSERT_GE(first.size(), 8u * 2 * 3);
    EXPECT_EQ(rowOf(first, 0, 0), black);
    EXPECT_EQ(rowOf(first, 0, 3), white);
    EXPECT_EQ(rowOf(first, 1, 1), black);
    const auto second = testing::bagPixels(directory_ + "i2.bag");
    ASSERT_GE(second.size(), 8u * 2 * 3);
    EXPECT_EQ(rowOf(second, 1, 6), red);
    EXPECT_EQ(rowOf(second, 1, 4), white);
    // The 16-bit picture is read back from the page: an image of the
    // target's size, no bitmap of the source's.
    EXPECT_NE(mml.find("<Image src=\"i3.bag\" pos=\"300,100\""), std::string::npos) << mml;
    const auto records = testing::readBag(directory_ + "i3.bag");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].width, 40u);
    EXPECT_EQ(records[0].rows, 20u);
}

}  // namespace
}  // namespace tessaly::pagesmith
