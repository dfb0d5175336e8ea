// Path drawing through the device context into the driver on the real
// engine, checked on the markup the driver writes into media.mml.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "../driver_test_util.h"
#include "device.h"
#include "platform/device_context.h"
#include "platform/gdi_engine_control.h"

namespace tessaly::pagesmith {
namespace {

using gdi::DeviceContext;
using gdi::PointD;
using gdi::PrinterDevice;

class PathMarkup : public testing::DriverFixture {
protected:
    void SetUp() override {
        DriverFixture::SetUp();
        ASSERT_TRUE(DrvEnableDriver(DDI_DRIVER_VERSION_NT5, sizeof driver_, &driver_));
        std::string error;
        device_ = PrinterDevice::open(driver_, &devmode_.devmode(), u"Tessaly", &error);
        ASSERT_TRUE(device_) << error;
        dc_ = std::make_unique<DeviceContext>(*device_);
        ASSERT_TRUE(dc_->startDoc(u"Paths", 3));
        ASSERT_TRUE(dc_->startPage());
    }
    void TearDown() override {
        dc_.reset();
        device_.reset();
        DriverFixture::TearDown();
    }
    DriverDevice& record() { return *reinterpret_cast<DriverDevice*>(device_->pdev()); }

    // Ends the page and the document; the page's markup between the Frame tags.
    std::string pageMarkup() {
        EXPECT_TRUE(dc_->endPage()) << dc_->errorText();
        // A banded page opens its job with its first band.
        const std::string directory = record().jobDirectory;
        EXPECT_TRUE(dc_->endDoc());
        const std::string media = descrambled(directory + "media.mml");
        const size_t frame = media.find("<Frame");
        const size_t begin = media.find('\n', frame) + 1;
        const size_t end = media.find("</Frame>");
        if (frame == std::string::npos || end == std::string::npos) return {};
        return media.substr(begin, end - begin);
    }

    void pen(uint32_t colour, gdi::PenStyle style = gdi::PenStyle::Solid, std::vector<double> dashes = {}) {
        gdi::Pen p;
        p.color = colour;
        p.style = style;
        p.dashes = std::move(dashes);
        ASSERT_TRUE(dc_->setPen(p));
    }
    void brush(uint32_t colour) {
        gdi::Brush b;
        b.color = colour;
        ASSERT_TRUE(dc_->setBrush(b));
    }
    // A closed polygon as the current path.
    void polygonPath(std::initializer_list<PointD> points) {
        ASSERT_TRUE(dc_->beginPath());
        bool first = true;
        for (const PointD& p : points) {
            ASSERT_TRUE(first ? dc_->moveTo(p) : dc_->lineTo(p));
            first = false;
        }
        ASSERT_TRUE(dc_->closeFigure());
        ASSERT_TRUE(dc_->endPath());
    }
    // A closed figure of `curves` cubic curves around a centre.
    void curvePath(int curves) {
        ASSERT_TRUE(dc_->beginPath());
        ASSERT_TRUE(dc_->moveTo({300, 200}));
        for (int i = 0; i < curves; ++i) {
            const double x = 300 + 100 * (i + 1), y = 200 + 50 * ((i % 2) ? -1 : 1);
            ASSERT_TRUE(dc_->bezierTo({x - 60, y + 80}, {x - 30, y + 80}, {x, y}));
        }
        ASSERT_TRUE(dc_->closeFigure());
        ASSERT_TRUE(dc_->endPath());
    }

    testing::DevmodeBytes devmode_;
    DRVENABLEDATA driver_{};
    std::unique_ptr<PrinterDevice> device_;
    std::unique_ptr<DeviceContext> dc_;
};

// The pixel of the driver's surface at (x, y), as 0xRRGGBB.
uint32_t pixelAt(SURFOBJ* surface, int x, int y) {
    // Read through a lock, as the engine may still hold drawing back.
    if (SURFOBJ* locked = EngLockSurface(surface->hsurf)) EngUnlockSurface(locked);
    const auto* row = static_cast<const uint8_t*>(surface->pvScan0) + ptrdiff_t(y) * surface->lDelta;
    return uint32_t(row[x * 3 + 2]) << 16 | uint32_t(row[x * 3 + 1]) << 8 | row[x * 3];
}

TEST_F(PathMarkup, StrokesByMix) {
    pen(0xFF0000);
    polygonPath({{10, 20}, {110, 20}, {110, 70}, {10, 70}});
    ASSERT_TRUE(dc_->strokePath());
    // R2_NOT depends on what lies beneath: rendered, and kept as a captured
    // image of the stroke's box (the path's bounds grown by the half width
    // and a pixel), not as a shape.
    dc_->setMix(6);
    polygonPath({{200, 300}, {300, 300}, {300, 400}});
    ASSERT_TRUE(dc_->strokePath());
    EXPECT_EQ(pixelAt(device_->surface(), 250, 300), 0x000000u);
    // R2_NOP writes nothing and draws nothing, and succeeds.
    dc_->setMix(11);
    polygonPath({{400, 300}, {500, 300}, {500, 400}});
    EXPECT_TRUE(dc_->strokePath());
    EXPECT_EQ(pixelAt(device_->surface(), 450, 300), 0xFFFFFFu);
    // R2_NOTCOPYPEN paints the inverse of the pen's colour.
    dc_->setMix(4);
    polygonPath({{10, 600}, {60, 600}, {60, 650}});
    ASSERT_TRUE(dc_->strokePath());
    EXPECT_EQ(pageMarkup(),
              "<Shape>\n"
              "  <LineStyle width=\"1\" color=\"#FF0000\"/>\n"
              "<Linex path=\"10,20;110,20;110,70;10,70;\"/>\n"
              "<LinexTo path=\"10,20\"/>\n"
              "</Shape>\n"
              "<Image src=\"i1.bag\" pos=\"198,298\" size=\"104,104\"/>\n"
              "<Shape>\n"
              "  <LineStyle width=\"1\" color=\"#00FFFF\"/>\n"
              "<Linex path=\"10,600;60,600;60,650;\"/>\n"
              "<LinexTo path=\"10,600\"/>\n"
              "</Shape>\n");
}

TEST_F(PathMarkup, GeometricWidthFollowsTheTransform) {
    gdi::Pen p;
    p.geometric = true;
    p.width = 3;
    p.color = 0x102030;
    ASSERT_TRUE(dc_->setPen(p));
    ASSERT_TRUE(dc_->setTransform({2, 0, 0, 2, 0, 0}));
    polygonPath({{10, 10}, {50, 10}, {50, 40}});
    ASSERT_TRUE(dc_->strokePath());
    const std::string markup = pageMarkup();
    EXPECT_NE(markup.find("<LineStyle width=\"6\" color=\"#102030\"/>"), std::string::npos) << markup;
}

TEST_F(PathMarkup, WindingFillsOfFourCurvesAreWrittenAndOfFiveComeBackAsTheirRegion) {
    brush(0x0000FF);
    dc_->setFillMode(gdi::FillMode::Winding);
    // Three curves and the closing line: four.
    curvePath(3);
    ASSERT_TRUE(dc_->fillPath());
    // Four curves and the closing line: the driver declines, and so it does
    // the flattened lines; GDI then blits the covered pixels, which the
    // driver keeps as a shape of the region's rectangles.
    curvePath(4);
    ASSERT_TRUE(dc_->fillPath());
    const std::string markup = pageMarkup();
    const std::string curves =
        "<Shape>\n"
        "  <FillColor side=\"left\" color=\"#0000FF\"/>\n"
        "<Curvex path=\"300,200;340,330;370,330;400,250;440,230;470,230;500,150;540,330;570,330;"
        "600,250;\" type=\"bezier3\"/>\n"
        "<LinexTo path=\"300,200\"/>\n"
        "</Shape>\n";
    const std::string region = "<Shape>\n  <FillColor side=\"right\" color=\"#0000FF\"/>\n<Rectex pos=\"";
    ASSERT_EQ(markup.substr(0, curves.size() + region.size()), curves + region) << markup;
    EXPECT_TRUE(markup.ends_with("\"/>\n</Shape>\n")) << markup;
    // Rows of the region from its top (y 150) to its bottom (y 305).
    EXPECT_NE(markup.find("696,150,700,151;"), std::string::npos);
    EXPECT_NE(markup.find("357,304,362,305;"), std::string::npos) << markup;
}

TEST_F(PathMarkup, FillUnderARectangleClipIsClippedToThePixelEdges) {
    brush(0x00FF00);
    ASSERT_TRUE(dc_->clipRect({0, 0, 100, 100}));
    polygonPath({{50, -40}, {150, 50}, {50, 50}});
    ASSERT_TRUE(dc_->fillPath());
    // Nothing of it inside: an empty but applied result.
    polygonPath({{200, 200}, {300, 200}, {300, 300}});
    ASSERT_TRUE(dc_->fillPath());
    EXPECT_EQ(pageMarkup(),
              "<Shape>\n"
              "  <FillColor side=\"right\" color=\"#00FF00\"/>\n"
              "<Linex path=\"50,-0.5;93.8889,-0.5;99.5,4.55;99.5,50;50,50;50,-0.5\"/>\n"
              "</Shape>\n");
}

TEST_F(PathMarkup, FillSideOfAFullPageDoesNotOverflow) {
    brush(0x000000);
    // 2550 x 3300 pixels: x times the height difference passes 2^31 in FIX.
    polygonPath({{0, 0}, {2550, 0}, {2550, 3300}, {0, 3300}});
    ASSERT_TRUE(dc_->fillPath());
    polygonPath({{0, 0}, {0, 3300}, {2550, 3300}, {2550, 0}});
    ASSERT_TRUE(dc_->fillPath());
    const std::string markup = pageMarkup();
    const size_t right = markup.find("side=\"right\"");
    const size_t left = markup.find("side=\"left\"");
    ASSERT_NE(right, std::string::npos) << markup;
    ASSERT_NE(left, std::string::npos) << markup;
    EXPECT_LT(right, left);
}

TEST_F(PathMarkup, DashedCosmeticLineIsCutIntoPieces) {
    pen(0x000000, gdi::PenStyle::User, {2, 1});
    ASSERT_TRUE(dc_->beginPath());
    ASSERT_TRUE(dc_->moveTo({0, 500}));
    ASSERT_TRUE(dc_->lineTo({18, 500}));
    ASSERT_TRUE(dc_->endPath());
    ASSERT_TRUE(dc_->strokePath());
    const std::string markup = pageMarkup();
    EXPECT_NE(markup.find("<Shape>\n"
                          "  <LineStyle width=\"1\" color=\"#000000\"/>\n"
                          "<Linex path=\"0,500;6,500\"/>\n"
                          "<Linex path=\"9,500;15,500\"/>\n"
                          "</Shape>\n"),
              std::string::npos)
        << markup;
}

TEST_F(PathMarkup, RegionClipBecomesAMaskOfMergedRectangles) {
    brush(0x0000FF);
    const gdi::DeviceRect region[] = {{0, 0, 10, 5}, {10, 0, 20, 5}, {0, 5, 5, 10}};
    ASSERT_TRUE(dc_->clipRegion(region));
    polygonPath({{0, 0}, {30, 0}, {30, 30}});
    ASSERT_TRUE(dc_->fillPath());
    EXPECT_EQ(pageMarkup(),
              "<Shape id=\"mask1\" flags=\"noPlace\">\n"
              "  <FillColor side=\"right\" color=\"#0000FF\"/>\n"
              "<RectEx pos=\"-0.5,-0.5,19.5,4.5;-0.5,4.5,4.5,9.5;\"/>\n"
              "</Shape>\n"
              "<Mask id=\"mask1\">\n"
              "<Shape>\n"
              "  <FillColor side=\"right\" color=\"#0000FF\"/>\n"
              "<Linex path=\"0,0;30,0;30,30;\"/>\n"
              "<LinexTo path=\"0,0\"/>\n"
              "</Shape>\n"
              "</Mask>\n");
}

TEST_F(PathMarkup, StrokeAndFillWritesBothStyles) {
    pen(0x112233);
    brush(0x445566);
    polygonPath({{10, 10}, {10, 40}, {40, 40}});
    ASSERT_TRUE(dc_->strokeAndFillPath());
    EXPECT_EQ(pageMarkup(),
              "<Shape>\n"
              "  <LineStyle width=\"1\" color=\"#112233\"/>\n"
              "  <FillColor side=\"left\" color=\"#445566\"/>\n"
              "<Linex path=\"10,10;10,40;40,40;\"/>\n"
              "<LinexTo path=\"10,10\"/>\n"
              "</Shape>\n");
}

// Bands of the page below the first: shapes and clip masks of either form
// land on their place in the page.
class BandedPathMarkup : public PathMarkup {
protected:
    void SetUp() override {
        gdi::setBitmapRequestObserver([](LONG, LONG height, ULONG) { return height <= 1650; });
        PathMarkup::SetUp();
    }
    void TearDown() override {
        PathMarkup::TearDown();
        gdi::setBitmapRequestObserver({});
    }
};

TEST_F(BandedPathMarkup, ShapesAndMasksKeepTheirPageCoordinates) {
    ASSERT_TRUE(device_->banding());
    brush(0xFF0000);
    ASSERT_TRUE(dc_->clipRect({100, 2000, 200, 2100}));
    polygonPath({{150, 1900}, {250, 2050}, {150, 2050}});
    ASSERT_TRUE(dc_->fillPath());
    dc_->resetClip();
    // A clip path: the mask's path form, on the second band.
    polygonPath({{300, 2000}, {400, 2000}, {400, 2100}});
    ASSERT_TRUE(dc_->clipPath());
    pen(0x00FF00);
    polygonPath({{300, 2010}, {400, 2010}, {400, 2050}});
    ASSERT_TRUE(dc_->strokePath());
    const std::string markup = pageMarkup();
    EXPECT_NE(markup.find("<Linex path=\"150,1999.5;199.5,1999.5;199.5,2050;150,2050;150,1999.5\"/>"),
              std::string::npos)
        << markup;
    EXPECT_NE(markup.find("<Linex path=\"300,2000;400,2000;400,2100;\"/>"), std::string::npos) << markup;
    EXPECT_NE(markup.find("<Linex path=\"300,2010;400,2010;400,2050;\"/>"), std::string::npos) << markup;
}

}  // namespace
}  // namespace tessaly::pagesmith
