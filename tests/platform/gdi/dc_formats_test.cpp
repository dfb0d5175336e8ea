// Bitmaps of 1, 4 and 16 bits per pixel through the device context: each
// draws exactly what the same picture in 24 bits draws, and monochrome masks
// combine with the page as Windows combines them.
#include <gtest/gtest.h>

#include <vector>

#include "platform/device_context.h"
#include "recording_driver.h"

namespace tessaly::gdi {
namespace {

using testing::DriverConfig;
using testing::RecordingDriver;

constexpr int kW = 13, kH = 6;

struct Session {
    explicit Session(DriverConfig config = {}) : driver(std::move(config)) {
        std::string error;
        device = driver.open(&error);
        EXPECT_TRUE(device) << error;
        if (device) dc = std::make_unique<DeviceContext>(*device);
    }
    RecordingDriver driver;
    std::unique_ptr<PrinterDevice> device;
    std::unique_ptr<DeviceContext> dc;
};

// A picture in some format with the same picture in 24 bits beside it.
struct Picture {
    std::vector<uint8_t> bits;
    std::vector<Color> palette;
    BitmapView view;
    std::vector<uint8_t> rgb;
    BitmapView truecolor;
    Color key = 0;  // a colour the picture uses, for transparency
};

Color expand(uint32_t v) {
    const uint32_t r = (v >> 10) & 0x1F, g = (v >> 5) & 0x1F, b = v & 0x1F;
    return (((r << 3) | (r >> 2)) << 16) | (((g << 3) | (g >> 2)) << 8) | ((b << 3) | (b >> 2));
}

// Rows padded past the width with set bits, which must never show.
Picture makePicture(int bitsPerPixel) {
    Picture p;
    const int stride = ((kW * bitsPerPixel + 7) / 8 + 3) & ~3;
    p.bits.assign(static_cast<size_t>(stride) * kH, 0xFF);
    p.rgb.assign(static_cast<size_t>(kW) * 3 * kH, 0);
    const int colors = bitsPerPixel == 16 ? 0 : 1 << bitsPerPixel;
    for (int i = 0; i < colors; ++i)
        p.palette.push_back(static_cast<Color>((i * 0x3B1F7D + 0x102030) & 0xFFFFFF));
    for (int y = 0; y < kH; ++y) {
        uint8_t* row = &p.bits[static_cast<size_t>(y) * stride];
        for (int x = 0; x < kW; ++x) {
            const uint32_t v = static_cast<uint32_t>(x * 7 + y * 3 + (x * y) % 5);
            Color c = 0;
            switch (bitsPerPixel) {
                case 1: {
                    const uint32_t bit = v & 1;
                    const auto mask = static_cast<uint8_t>(0x80 >> (x % 8));
                    row[x / 8] = static_cast<uint8_t>(bit ? row[x / 8] | mask : row[x / 8] & ~mask);
                    c = p.palette[bit];
                    break;
                }
                case 4: {
                    const uint32_t n = v & 0xF;
                    uint8_t& b = row[x / 2];
                    b = x % 2 ? static_cast<uint8_t>((b & 0xF0) | n) : static_cast<uint8_t>((b & 0x0F) | (n << 4));
                    c = p.palette[n];
                    break;
                }
                default: {
                    const uint32_t word = (v * 0x9E5) & 0x7FFF;
                    row[2 * x] = static_cast<uint8_t>(word);
                    row[2 * x + 1] = static_cast<uint8_t>(word >> 8);
                    c = expand(word);
                    break;
                }
            }
            uint8_t* px = &p.rgb[(static_cast<size_t>(y) * kW + x) * 3];
            px[0] = static_cast<uint8_t>(c);
            px[1] = static_cast<uint8_t>(c >> 8);
            px[2] = static_cast<uint8_t>(c >> 16);
            if (x == 3 && y == 2) p.key = c;
        }
    }
    p.view = {kW, kH, bitsPerPixel, stride, p.bits.data(), p.palette};
    p.truecolor = {kW, kH, 24, kW * 3, p.rgb.data(), {}};
    return p;
}

// Every way of drawing a bitmap, at its own place of the page.
void drawAll(DeviceContext& dc, const BitmapView& v, Color key) {
    Brush brush;
    brush.color = 0x2040F0;
    ASSERT_TRUE(dc.setBrush(brush));
    ASSERT_TRUE(dc.patBlt({0, 0, 200, 150}, PATCOPY));
    ASSERT_TRUE(dc.stretchBlt({2, 2, 2 + kW, 2 + kH}, v, {0, 0, kW, kH}));
    // Source rectangles starting inside a byte.
    ASSERT_TRUE(dc.stretchBlt({20, 2, 29, 7}, v, {3, 1, 12, 6}));
    ASSERT_TRUE(dc.stretchBlt({35, 2, 40, 5}, v, {1, 0, 6, 3}, SRCINVERT));
    ASSERT_TRUE(dc.stretchBlt({2, 20, 2 + 3 * kW, 20 + 2 * kH}, v, {0, 0, kW, kH}));
    ASSERT_TRUE(dc.stretchBlt({60, 20, 60 + 2 * 9, 20 + 3 * 5}, v, {3, 1, 12, 6}, SRCAND));
    ASSERT_TRUE(dc.stretchBlt({120, 20, 100, 40}, v, {5, 0, 12, 6}, SRCPAINT));  // mirrored
    ASSERT_TRUE(dc.transparentBlt({2, 50, 2 + 2 * kW, 50 + 2 * kH}, v, {0, 0, kW, kH}, key));
    ASSERT_TRUE(dc.alphaBlend({40, 50, 40 + kW, 50 + kH}, v, {1, 0, kW, kH}, 100, false));
    ASSERT_TRUE(dc.alphaBlend({80, 50, 60, 60}, v, {0, 0, kW, kH}, 200, false));  // mirrored
    ASSERT_TRUE(dc.setTransform({0.6, 0.8, -0.8, 0.6, 150, 70}));
    ASSERT_TRUE(dc.stretchBlt({0, 0, 2 * kW, 2 * kH}, v, {1, 1, kW, kH}));
    ASSERT_TRUE(dc.transparentBlt({0, 20, 2 * kW, 20 + 2 * kH}, v, {0, 0, kW, kH}, key));
    ASSERT_TRUE(dc.setTransform({}, TransformMode::Identity));
    // A tile of the format as a pattern brush.
    Brush tile;
    tile.style = BrushStyle::Pattern;
    tile.pattern = v;
    ASSERT_TRUE(dc.setBrush(tile));
    ASSERT_TRUE(dc.patBlt({10, 110, 60, 140}, PATCOPY));
}

void expectSamePages(int bitsPerPixel, int bandRows) {
    SCOPED_TRACE(bitsPerPixel);
    const Picture p = makePicture(bitsPerPixel);
    DriverConfig config;
    config.bandRows = bandRows;
    Session a(config), b(config);
    ASSERT_TRUE(a.dc && b.dc);
    for (Session* s : {&a, &b}) ASSERT_TRUE(s->dc->startDoc(u"doc", 7) && s->dc->startPage());
    drawAll(*a.dc, p.view, p.key);
    drawAll(*b.dc, p.truecolor, p.key);
    for (Session* s : {&a, &b}) ASSERT_TRUE(s->dc->endPage() && s->dc->endDoc());
    ASSERT_EQ(a.driver.page.size(), b.driver.page.size());
    int differing = 0;
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 200; ++x)
            if (a.driver.pixel(x, y) != b.driver.pixel(x, y) && ++differing <= 5)
                ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << a.driver.pixel(x, y) << " against "
                              << b.driver.pixel(x, y);
    EXPECT_EQ(differing, 0);
    // The picture did land (a page of background alone would also match).
    EXPECT_EQ(a.driver.pixel(2, 2), p.palette.empty() ? expand(0) : p.palette[0]);
}

TEST(DcFormatsTest, EachFormatDrawsLikeItsTrueColourCopy) {
    for (int bits : {1, 4, 16}) {
        expectSamePages(bits, 0);
        expectSamePages(bits, 23);
    }
}

TEST(DcFormatsTest, MonochromeMasksCombineAsWindowsDoes) {
    // A 1-bit mask, black where the picture shows, white around it; the page
    // below is blue.
    const uint8_t mask[] = {0b00111100, 0, 0, 0,   //
                            0b01111110, 0, 0, 0,   //
                            0b00011000, 0, 0, 0};
    const Color bw[] = {0x000000, 0xFFFFFF};
    const BitmapView view{8, 3, 1, 4, mask, bw};
    Session s;
    ASSERT_TRUE(s.dc);
    ASSERT_TRUE(s.dc->startDoc(u"doc", 7) && s.dc->startPage());
    Brush blue;
    blue.color = 0x0000FF;
    ASSERT_TRUE(s.dc->setBrush(blue));
    ASSERT_TRUE(s.dc->patBlt({0, 0, 200, 150}, PATCOPY));
    // SRCAND: black where the mask is black, the page kept where white.
    ASSERT_TRUE(s.dc->stretchBlt({10, 10, 18, 13}, view, {0, 0, 8, 3}, SRCAND));
    ASSERT_TRUE(s.dc->stretchBlt({30, 10, 46, 16}, view, {0, 0, 8, 3}, SRCAND));
    // 0xB8 (PSDPxax): the brush where the mask is black, the page where white.
    Brush red;
    red.color = 0xFF0000;
    ASSERT_TRUE(s.dc->setBrush(red));
    ASSERT_TRUE(s.dc->stretchBlt({10, 30, 18, 33}, view, {0, 0, 8, 3}, 0xB8074A));
    ASSERT_TRUE(s.dc->stretchBlt({30, 30, 46, 36}, view, {0, 0, 8, 3}, 0xB8074A));
    // From the third pixel of the rows.
    ASSERT_TRUE(s.dc->stretchBlt({60, 30, 65, 33}, view, {2, 0, 7, 3}, 0xB8074A));
    ASSERT_TRUE(s.dc->endPage() && s.dc->endDoc());
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool black = !((mask[y * 4] >> (7 - x)) & 1);
            SCOPED_TRACE(::testing::Message() << x << "," << y);
            EXPECT_EQ(s.driver.pixel(10 + x, 10 + y), black ? 0x000000u : 0x0000FFu);
            EXPECT_EQ(s.driver.pixel(30 + 2 * x + 1, 10 + 2 * y + 1), black ? 0x000000u : 0x0000FFu);
            EXPECT_EQ(s.driver.pixel(10 + x, 30 + y), black ? 0xFF0000u : 0x0000FFu);
            EXPECT_EQ(s.driver.pixel(30 + 2 * x, 30 + 2 * y), black ? 0xFF0000u : 0x0000FFu);
            if (x >= 2 && x < 7) {
                EXPECT_EQ(s.driver.pixel(60 + x - 2, 30 + y), black ? 0xFF0000u : 0x0000FFu);
            }
        }
    EXPECT_EQ(s.driver.pixel(65, 30), 0x0000FFu);
}

TEST(DcFormatsTest, BadSubByteBitmapsAreRefused) {
    Session s;
    ASSERT_TRUE(s.dc);
    ASSERT_TRUE(s.dc->startDoc(u"doc", 7) && s.dc->startPage());
    const uint8_t bits[8] = {};
    const Color two[] = {0, 0xFFFFFF};
    // Rows shorter than 20 pixels of 4 bits.
    EXPECT_FALSE(s.dc->stretchBlt({0, 0, 5, 5}, BitmapView{20, 2, 4, 4, bits, two}, {16, 0, 20, 2}));
    // A palette format without a palette.
    EXPECT_FALSE(s.dc->stretchBlt({0, 0, 5, 5}, BitmapView{8, 2, 1, 4, bits, {}}, {0, 0, 8, 2}));
    EXPECT_FALSE(s.dc->stretchBlt({0, 0, 5, 5}, BitmapView{2, 2, 2, 4, bits, two}, {0, 0, 2, 2}));
    EXPECT_FALSE(s.dc->errorText().empty());
    // A 1-bit index past a one-colour palette reads black.
    const uint8_t ones[4] = {0xFF, 0, 0, 0};
    const Color white[] = {0xFFFFFF};
    ASSERT_TRUE(s.dc->stretchBlt({0, 0, 8, 1}, BitmapView{8, 1, 1, 4, ones, white}, {0, 0, 8, 1}));
    ASSERT_TRUE(s.dc->endPage() && s.dc->endDoc());
    EXPECT_EQ(s.driver.pixel(3, 0), 0x000000u);
}

}  // namespace
}  // namespace tessaly::gdi
