// Effects, resampling and copies against values worked out by hand.

#include <array>
#include <vector>

#include "image/image.h"
#include "image_test_util.h"

namespace tessaly {
namespace {

// A true-colour image of gray levels, one per pixel, row by row.
Image grayImage(uint32_t w, uint32_t h, std::vector<uint8_t> levels) {
    Image image;
    EXPECT_TRUE(image.createRgb(w, h));
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t* p = image.rgbRow(y) + x * 3;
            p[0] = p[1] = p[2] = levels[y * w + x];
        }
    }
    return image;
}

std::vector<uint8_t> redChannel(const Image& image) {
    std::vector<uint8_t> out;
    for (uint32_t y = 0; y < image.height(); ++y) {
        for (uint32_t x = 0; x < image.width(); ++x) out.push_back(image.rgbRow(y)[x * 3]);
    }
    return out;
}

void setPixel(Image& image, uint32_t x, uint32_t y, uint8_t r, uint8_t g, uint8_t b) {
    uint8_t* p = image.rgbRow(y) + x * 3;
    p[0] = r;
    p[1] = g;
    p[2] = b;
}

TEST(ImageEffects, GrayAndThresholdTruncateAndKeepToTheRegion) {
    Image image;
    ASSERT_TRUE(image.createRgb(3, 1));
    setPixel(image, 0, 0, 255, 255, 255);
    setPixel(image, 1, 0, 10, 20, 30);  // y = 18.15
    setPixel(image, 2, 0, 100, 0, 0);   // y = 29.9, outside the region below
    ASSERT_TRUE(image.setRegion(-1, 0, 3, 5));  // clipped to columns 0..1
    EXPECT_EQ(image.region().w, 2u);
    EXPECT_EQ(image.region().h, 1u);
    ASSERT_TRUE(image.toGray());
    EXPECT_EQ(redChannel(image), (std::vector<uint8_t>{255, 18, 100}));
    EXPECT_EQ(image.rgbRow(0)[4], 18);
    EXPECT_EQ(image.rgbRow(0)[7], 0);  // untouched outside

    image.setRegionToImage();
    Image bw = grayImage(3, 1, {0, 0, 0});
    setPixel(bw, 0, 0, 100, 0, 0);  // y = 29
    setPixel(bw, 1, 0, 100, 0, 0);
    setPixel(bw, 2, 0, 255, 255, 255);
    ASSERT_TRUE(bw.setRegion(0, 0, 1, 1));
    ASSERT_TRUE(bw.toBlackWhite(29));  // y >= threshold: white
    ASSERT_TRUE(bw.setRegion(1, 0, 2, 1));
    ASSERT_TRUE(bw.toBlackWhite(30));
    EXPECT_EQ(redChannel(bw), (std::vector<uint8_t>{255, 0, 255}));

    EXPECT_FALSE(bw.setRegion(3, 0, 1, 1));   // starts outside
    EXPECT_FALSE(bw.setRegion(-2, 0, 2, 1));  // nothing left
    EXPECT_EQ(bw.region().x, 1u);             // unchanged by the failures
}

TEST(ImageEffects, SmoothPassesAndDirections) {
    // Amount 5: one backward pass at strength 0.05; only (1, 1) changes:
    // floor((0.05 / 3 * (30 + 60 + 90) + 100) / 1.05) = floor(98.095) = 98.
    Image one = grayImage(2, 2, {30, 60, 90, 100});
    ASSERT_TRUE(one.smooth(5));
    EXPECT_EQ(redChannel(one), (std::vector<uint8_t>{30, 60, 90, 98}));

    // Amount 25: four passes at strength 0.25, forward first. On 2 x 2 a
    // forward pass changes (0, 0) and a backward pass (1, 1):
    // F: (0,0) = floor((423/12 + 0) / 1.25)   = 28
    // B: (1,1) = floor((208/12 + 243) / 1.25) = 208
    // F: (0,0) = floor((388/12 + 28) / 1.25)  = 48
    // B: (1,1) = floor((228/12 + 208) / 1.25) = 181
    // (Backward first would give 43 and 178.)
    Image four = grayImage(2, 2, {0, 90, 90, 243});
    ASSERT_TRUE(four.smooth(25));
    EXPECT_EQ(redChannel(four), (std::vector<uint8_t>{48, 90, 90, 181}));

    // Amount 250: fifty passes at full strength; a flat picture stays flat.
    Image flat = grayImage(4, 3, std::vector<uint8_t>(12, 77));
    ASSERT_TRUE(flat.smooth(250));
    EXPECT_EQ(redChannel(flat), std::vector<uint8_t>(12, 77));

    // Nothing for amounts <= 0; a single row is never changed.
    Image row = grayImage(3, 1, {0, 200, 0});
    ASSERT_TRUE(row.smooth(0));
    ASSERT_TRUE(row.smooth(-4));
    ASSERT_TRUE(row.smooth(25));
    EXPECT_EQ(redChannel(row), (std::vector<uint8_t>{0, 200, 0}));
}

TEST(ImageEffects, AlphaColorBuildsANewPlane) {
    Image image = grayImage(3, 1, {255, 10, 0});
    const AlphaColor colors[] = {{0xFFFFFF, 0}, {0x0A0A0A, 100}, {0x0A0A0A, 7}};
    ASSERT_TRUE(image.applyAlphaColor(255, colors));
    ASSERT_NE(image.alpha(), nullptr);
    EXPECT_EQ(image.alpha()[0], 0);
    EXPECT_EQ(image.alpha()[1], 100);  // the first listed match wins
    EXPECT_EQ(image.alpha()[2], 255);
    EXPECT_TRUE(image.hasAlpha());
}

TEST(ImageResize, NearestAndMean) {
    Image same = grayImage(2, 1, {1, 2});
    ASSERT_TRUE(same.applyAlphaColor(9, {}));
    ASSERT_TRUE(same.resize(2, 1, kResizeBSpline));
    EXPECT_NE(same.alpha(), nullptr);  // same size: nothing happens at all

    Image nearest = grayImage(4, 2, {10, 20, 30, 40, 50, 61, 70, 83});
    ASSERT_TRUE(nearest.applyAlphaColor(9, {}));
    ASSERT_TRUE(nearest.resize(2, 1, 7));  // unknown modes are nearest
    EXPECT_EQ(redChannel(nearest), (std::vector<uint8_t>{10, 30}));
    EXPECT_EQ(nearest.alpha(), nullptr);  // the result has no alpha
    EXPECT_EQ(nearest.width(), 2u);

    Image mean = grayImage(4, 2, {10, 20, 30, 40, 50, 61, 70, 83});
    ASSERT_TRUE(mean.resize(2, 1, kResizeMean));
    EXPECT_EQ(redChannel(mean), (std::vector<uint8_t>{35, 55}));  // 35.25, 55.75

    // Enlarging by 3 (step 1/3 added up): each source pixel three times.
    Image big = grayImage(2, 1, {5, 9});
    ASSERT_TRUE(big.resize(6, 1, kResizeNearest));
    EXPECT_EQ(redChannel(big), (std::vector<uint8_t>{5, 5, 5, 9, 9, 9}));

    EXPECT_FALSE(big.resize(0, 1, kResizeMean));
    EXPECT_EQ(big.width(), 6u);
}

TEST(ImageResize, WindowsWhenShrinking) {
    // Three columns to one: t = -1, 0, 1.
    // Quadratic: weights 0.125, 0.75, 0.125 -> 2 + 75.75 + 5 = 82.75.
    Image quad = grayImage(3, 1, {16, 101, 40});
    ASSERT_TRUE(quad.resize(1, 1, kResizeBilinear));
    EXPECT_EQ(redChannel(quad), (std::vector<uint8_t>{82}));
    // Cubic at t = -4/3, 0, 4/3: weights 1/162 * (8, 108, 8) / (124/162)
    // -> (16 * 8 + 101 * 108 + 40 * 8) / 124 = 91.58.
    Image cubic = grayImage(3, 1, {16, 101, 40});
    ASSERT_TRUE(cubic.resize(1, 1, kResizeBSpline));
    EXPECT_EQ(redChannel(cubic), (std::vector<uint8_t>{91}));
    // Rows are combined with their own weights: 1 x 3 to 1 x 1.
    Image column = grayImage(1, 3, {16, 101, 40});
    ASSERT_TRUE(column.resize(1, 1, kResizeBilinear));
    EXPECT_EQ(redChannel(column), (std::vector<uint8_t>{82}));
}

TEST(ImageResize, InterpolationWhenEnlarging) {
    // Positions j * 2 / 4 = 0, 0.5, 1, 1.5; the right neighbour clamps.
    Image bilinear = grayImage(2, 1, {10, 21});
    ASSERT_TRUE(bilinear.resize(4, 1, kResizeBilinear));
    EXPECT_EQ(redChannel(bilinear), (std::vector<uint8_t>{10, 15, 21, 21}));
    // B-spline taps at f = 0: 1/6, 4/6, 1/6, 0; at f = 0.5: 1/48, 23/48, 23/48, 1/48.
    // (5 * 10 + 21) / 6 = 11.8; 15.5; (10 + 5 * 21) / 6 = 19.2; (10 + 47 * 21) / 48 = 20.8.
    Image bspline = grayImage(2, 1, {10, 21});
    ASSERT_TRUE(bspline.resize(4, 1, kResizeBSpline));
    EXPECT_EQ(redChannel(bspline), (std::vector<uint8_t>{11, 15, 19, 20}));
    // Both directions at once: a 2 x 2 checker enlarged to 4 x 4 bilinear,
    // centre-left pixel (1, 1) at (0.5, 0.5) is the mean of all four.
    Image square = grayImage(2, 2, {0, 100, 100, 201});
    ASSERT_TRUE(square.resize(4, 4, kResizeBilinear));
    EXPECT_EQ(square.rgbRow(1)[3], 100);  // 100.25
    EXPECT_EQ(square.rgbRow(3)[9], 201);
}

TEST(ImageCopy, ClipsBothSidesAndCarriesAlpha) {
    Image source = grayImage(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    Image dest;
    ASSERT_TRUE(dest.createRgbWithAlpha(2, 2, 0x000000, 0));
    // From (-1, -1): the destination starts at source (1, 1) after clipping.
    ASSERT_TRUE(dest.copyFrom(-1, -1, 3, 3, source, 0, 0));
    EXPECT_EQ(redChannel(dest), (std::vector<uint8_t>{5, 6, 8, 9}));
    EXPECT_EQ(dest.alpha()[0], 255);  // the source has no alpha
    EXPECT_FALSE(dest.copyFrom(2, 0, 1, 1, source, 0, 0));
    EXPECT_FALSE(dest.copyFrom(0, 0, 1, 1, source, 3, 0));
    EXPECT_FALSE(dest.copyFrom(0, 0, 1, 1, dest, 0, 0));

    // An indexed source is looked up in its palette, alpha included.
    Image indexed;
    ASSERT_TRUE(indexed.createIndexed(2, 1, 2, true));
    indexed.palette()[1] = {10, 20, 30, 40};
    indexed.indices()[0] = 1;
    indexed.indices()[1] = 9;  // past the palette: the last entry
    ASSERT_TRUE(dest.copyFrom(0, 1, 2, 1, indexed, 0, 0));
    EXPECT_EQ(dest.rgbRow(1)[0], 10);
    EXPECT_EQ(dest.rgbRow(1)[5], 30);
    EXPECT_EQ(dest.alpha()[2], 40);
    EXPECT_EQ(dest.alpha()[3], 40);
}

TEST(ImageCopy, MinimumSizeForBitmaps) {
    Image column = grayImage(1, 5, {1, 2, 3, 4, 5});
    ASSERT_TRUE(column.needsMinimumSize());
    Image padded;
    ASSERT_TRUE(column.minimumSizeCopy(padded));
    EXPECT_EQ(padded.width(), 2u);
    EXPECT_EQ(padded.height(), 5u);
    EXPECT_EQ(redChannel(padded), (std::vector<uint8_t>{1, 1, 2, 2, 3, 3, 4, 4, 5, 5}));
    EXPECT_EQ(padded.alpha(), nullptr);

    Image dot = grayImage(1, 1, {42});
    ASSERT_TRUE(dot.applyAlphaColor(0, {}));
    dot.alpha()[0] = 77;
    ASSERT_TRUE(dot.minimumSizeCopy(padded));
    EXPECT_EQ(redChannel(padded), (std::vector<uint8_t>{42, 42, 42, 42}));
    ASSERT_NE(padded.alpha(), nullptr);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(padded.alpha()[i], 77);

    Image row = grayImage(3, 1, {7, 8, 9});
    ASSERT_TRUE(row.minimumSizeCopy(padded));
    EXPECT_EQ(redChannel(padded), (std::vector<uint8_t>{7, 8, 9, 7, 8, 9}));
    EXPECT_FALSE(grayImage(2, 2, {0, 0, 0, 0}).needsMinimumSize());
}

TEST(ImageCreate, SizesAndFailures) {
    Image image;
    ASSERT_TRUE(image.createRgb(5, 2, 0x102030));
    EXPECT_EQ(image.rgbStride(), 16);
    EXPECT_EQ(image.rgbRow(1)[14], 0x30);
    EXPECT_EQ(image.rgbRow(1)[15], 0);  // padding
    // Refused sizes leave the content as it was.
    EXPECT_FALSE(image.createRgb(0, 3));
    EXPECT_FALSE(image.createRgb(65536, 1));
    EXPECT_FALSE(image.createIndexed(2, 2, 0, false));
    EXPECT_EQ(image.width(), 5u);
    // The widest stride.
    EXPECT_EQ(Image::rgbStrideFor(65535), 196608);
    uint8_t r, g, b;
    image.averageRegion(r, g, b);
    EXPECT_EQ(r, 0x10);
    EXPECT_EQ(b, 0x30);
}

}  // namespace
}  // namespace tessaly
