// The device context against a recording driver: the calls a page makes,
// what the objects carry, what happens when hooks decline, and banding.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/device_context.h"
#include "recording_driver.h"

namespace tessaly::gdi {
namespace {

using testing::Call;
using testing::DriverConfig;
using testing::RecordingDriver;

constexpr Color kRed = 0xFF0000;
constexpr Color kBlue = 0x0000FF;

struct Session {
    explicit Session(DriverConfig config = {}) : driver(std::move(config)) {
        std::string error;
        device = driver.open(&error);
        EXPECT_TRUE(device) << error;
        if (device) dc = std::make_unique<DeviceContext>(*device);
    }
    bool begin() { return dc->startDoc(u"doc", 7) && dc->startPage(); }
    bool finish() { return dc->endPage() && dc->endDoc(); }
    // Calls other than the document and page events.
    std::vector<std::string> drawing() const {
        std::vector<std::string> out;
        for (const std::string& n : driver.names())
            if (n != "DrvStartDoc" && n != "DrvEndDoc" && n != "DrvStartPage" && n != "DrvSendPage" &&
                n != "DrvStartBanding" && n != "DrvNextBand")
                out.push_back(n);
        return out;
    }

    RecordingDriver driver;
    std::unique_ptr<PrinterDevice> device;
    std::unique_ptr<DeviceContext> dc;
};

void solidBrush(DeviceContext& dc, Color c) {
    Brush b;
    b.color = c;
    ASSERT_TRUE(dc.setBrush(b));
}

void nullPen(DeviceContext& dc) {
    Pen p;
    p.style = PenStyle::Null;
    ASSERT_TRUE(dc.setPen(p));
}

// Draws the same mixed page on any device.
void mixedPage(DeviceContext& dc) {
    solidBrush(dc, kRed);
    Pen pen;
    pen.geometric = true;
    pen.width = 5;
    pen.color = kBlue;
    pen.style = PenStyle::Dash;
    ASSERT_TRUE(dc.setPen(pen));
    ASSERT_TRUE(dc.ellipse({20, 10, 180, 140}));
    ASSERT_TRUE(dc.clipRect({30, 40, 170, 120}));
    ASSERT_TRUE(dc.gradientRect({0, 60, 200, 90}, 0x00FF00, 0xFFFF00, false));
    dc.resetClip();
    std::vector<uint8_t> bits(8 * 8 * 3);
    for (size_t i = 0; i < bits.size(); ++i) bits[i] = static_cast<uint8_t>(i * 7);
    BitmapView view;
    view.width = 8;
    view.height = 8;
    view.stride = 24;
    view.bits = bits.data();
    ASSERT_TRUE(dc.stretchBlt({100, 95, 140, 145}, view, {0, 0, 8, 8}));
    ASSERT_TRUE(dc.textOut({10, 100}, u"Band"));
}

TEST(DeviceContextTest, DocumentAndPageEventsReachTheDriverInOrder) {
    Session s;
    ASSERT_TRUE(s.dc);
    solidBrush(*s.dc, kRed);
    nullPen(*s.dc);
    ASSERT_TRUE(s.begin());
    ASSERT_TRUE(s.dc->rectangle({10, 10, 50, 40}));
    ASSERT_TRUE(s.finish());
    EXPECT_EQ(s.driver.names(), (std::vector<std::string>{"DrvStartDoc", "DrvStartPage", "DrvFillPath",
                                                          "DrvSendPage", "DrvEndDoc"}));
    EXPECT_EQ(s.driver.calls[0].text, u"doc");
    EXPECT_EQ(s.driver.calls[0].flags, 7u);
    EXPECT_EQ(s.driver.calls.back().flags, 0u);
    EXPECT_EQ(s.driver.pixel(10, 10), kRed);
    EXPECT_EQ(s.driver.pixel(49, 39), kRed);
    EXPECT_EQ(s.driver.pixel(50, 40), 0xFFFFFFu);

    // An aborted document drops its open page and says so to the driver.
    s.driver.calls.clear();
    ASSERT_TRUE(s.begin());
    ASSERT_TRUE(s.dc->rectangle({10, 10, 50, 40}));
    ASSERT_TRUE(s.dc->endDoc(true));
    EXPECT_EQ(s.driver.names().back(), "DrvEndDoc");
    EXPECT_EQ(s.driver.calls.back().flags, static_cast<FLONG>(ED_ABORTDOC));
    EXPECT_TRUE(s.driver.named("DrvSendPage").empty());

    // Drawing outside a page, or pages outside a document, are refused.
    EXPECT_FALSE(s.dc->rectangle({0, 0, 5, 5}));
    EXPECT_FALSE(s.dc->startPage());
    EXPECT_FALSE(s.dc->errorText().empty());

    // A context whose device was closed refuses everything, and never calls
    // the driver without its surface.
    s.device->close();
    const size_t calls = s.driver.calls.size();
    EXPECT_FALSE(s.dc->startDoc(u"late", 1));
    EXPECT_FALSE(s.dc->textOut({1, 1}, u"x"));
    EXPECT_EQ(s.driver.calls.size(), calls);
    DeviceContext late(*s.device);
    EXPECT_FALSE(late.startDoc(u"late", 1));
}

TEST(DeviceContextTest, FailedEnablingNamesTheStepAndTheLastError) {
    DriverConfig badPdev;
    badPdev.failEnablePdev = ERROR_INVALID_PARAMETER;
    RecordingDriver a(badPdev);
    std::string error;
    EXPECT_FALSE(a.open(&error));
    EXPECT_NE(error.find("DrvEnablePDEV"), std::string::npos) << error;
    EXPECT_NE(error.find("87"), std::string::npos) << error;
    EXPECT_EQ(a.pdevsDisabled, 0);

    // A surface that cannot be had takes the enabled PDEV down again.
    DriverConfig badSurface;
    badSurface.failEnableSurface = true;
    RecordingDriver b(badSurface);
    EXPECT_FALSE(b.open(&error));
    EXPECT_NE(error.find("DrvEnableSurface"), std::string::npos) << error;
    EXPECT_NE(error.find("8)"), std::string::npos) << error;
    EXPECT_EQ(b.pdevsDisabled, 1);
}

TEST(DeviceContextTest, TransformsAndClipsReachTheObjects) {
    Session s;
    ASSERT_TRUE(s.dc);
    solidBrush(*s.dc, kRed);
    nullPen(*s.dc);
    ASSERT_TRUE(s.begin());
    ASSERT_TRUE(s.dc->setTransform({2, 0, 0, 2, 5, 7}));
    ASSERT_TRUE(s.dc->rectangle({10, 10, 20, 15}));
    const Call& fill = *s.driver.named("DrvFillPath").back();
    ASSERT_FALSE(fill.points.empty());
    EXPECT_EQ(fill.points[0][0].x, (2 * 10 + 5) * 16);
    EXPECT_EQ(fill.points[0][0].y, (2 * 10 + 7) * 16);
    EXPECT_EQ(fill.clipComplexity, DC_TRIVIAL);
    EXPECT_EQ(fill.brushColor, kRed);
    EXPECT_EQ(fill.options, static_cast<FLONG>(FP_ALTERNATEMODE));

    // One rectangle that cuts the shape: DC_RECT with its bounds.
    ASSERT_TRUE(s.dc->setTransform({}, TransformMode::Identity));
    ASSERT_TRUE(s.dc->clipRect({0, 0, 30, 30}));
    ASSERT_TRUE(s.dc->rectangle({20, 20, 60, 60}));
    const Call& rect = *s.driver.named("DrvFillPath").back();
    EXPECT_EQ(rect.clipComplexity, DC_RECT);
    EXPECT_EQ(rect.clipBounds.right, 30);
    EXPECT_EQ(rect.clipBounds.bottom, 30);

    // Two rectangles: DC_COMPLEX, enumerated as they are.
    const DeviceRect two[] = {{0, 0, 10, 10}, {20, 20, 40, 40}};
    ASSERT_TRUE(s.dc->clipRegion(two));
    ASSERT_TRUE(s.dc->rectangle({0, 0, 100, 100}));
    const Call& complex = *s.driver.named("DrvFillPath").back();
    EXPECT_EQ(complex.clipComplexity, DC_COMPLEX);
    EXPECT_EQ(complex.clipRects.size(), 2u);

    // A geometric dashed pen: width in world units with the transform; a
    // cosmetic one: style units.
    s.dc->resetClip();
    ASSERT_TRUE(s.dc->setTransform({3, 0, 0, 3, 0, 0}));
    Pen pen;
    pen.geometric = true;
    pen.width = 2;
    pen.style = PenStyle::Dash;
    ASSERT_TRUE(s.dc->setPen(pen));
    ASSERT_TRUE(s.dc->polyline(std::vector<PointD>{{1, 1}, {30, 1}}));
    const Call& geometric = *s.driver.named("DrvStrokePath").back();
    EXPECT_TRUE(geometric.lineFlags & LA_GEOMETRIC);
    EXPECT_FLOAT_EQ(geometric.lineWidth, 2);
    ASSERT_TRUE(geometric.hasXform);
    EXPECT_FLOAT_EQ(geometric.xform.eM11, 3);
    EXPECT_EQ(geometric.styleReals, (std::vector<float>{6, 2}));
    pen = Pen{};
    pen.style = PenStyle::Dot;
    ASSERT_TRUE(s.dc->setPen(pen));
    ASSERT_TRUE(s.dc->polyline(std::vector<PointD>{{1, 5}, {30, 5}}));
    const Call& cosmetic = *s.driver.named("DrvStrokePath").back();
    EXPECT_FALSE(cosmetic.lineFlags & LA_GEOMETRIC);
    EXPECT_EQ(cosmetic.styleLongs, (std::vector<LONG>{1, 1}));
    ASSERT_TRUE(s.finish());
}

TEST(DeviceContextTest, ClipPathLimitsTheDrawingAndSurvivesSaveRestore) {
    Session s;
    ASSERT_TRUE(s.dc);
    nullPen(*s.dc);
    ASSERT_TRUE(s.begin());
    ASSERT_TRUE(s.dc->beginPath());
    ASSERT_TRUE(s.dc->ellipse({50, 50, 150, 150}));
    ASSERT_TRUE(s.dc->endPath());
    const int level = s.dc->save();
    ASSERT_TRUE(s.dc->clipPath(ClipCombine::Copy));
    solidBrush(*s.dc, kBlue);
    ASSERT_TRUE(s.dc->rectangle({0, 0, 200, 150}));
    const Call& clipped = *s.driver.named("DrvFillPath").back();
    EXPECT_EQ(clipped.clipComplexity, DC_COMPLEX);
    ASSERT_TRUE(s.dc->restore(level));
    solidBrush(*s.dc, kRed);
    ASSERT_TRUE(s.dc->rectangle({2, 2, 20, 20}));
    EXPECT_EQ(s.driver.named("DrvFillPath").back()->clipComplexity, DC_TRIVIAL);
    ASSERT_TRUE(s.finish());
    EXPECT_EQ(s.driver.pixel(100, 100), kBlue);   // inside the circle
    EXPECT_EQ(s.driver.pixel(55, 55), 0xFFFFFFu); // in the square, outside the circle
    EXPECT_EQ(s.driver.pixel(5, 5), kRed);
}

TEST(DeviceContextTest, WidenedPathClipsToTheStrokeAndAResetCarriesTheDocumentOn) {
    Session s;
    ASSERT_TRUE(s.dc);
    ASSERT_TRUE(s.begin());
    Pen pen;
    pen.geometric = true;
    pen.width = 20;
    pen.cap = LineCap::Flat;
    ASSERT_TRUE(s.dc->setPen(pen));
    ASSERT_TRUE(s.dc->beginPath());
    ASSERT_TRUE(s.dc->moveTo({20, 75}));
    ASSERT_TRUE(s.dc->lineTo({180, 75}));
    ASSERT_TRUE(s.dc->endPath());
    ASSERT_TRUE(s.dc->widenPath());
    s.dc->setFillMode(FillMode::Winding);
    ASSERT_TRUE(s.dc->clipPath(ClipCombine::Copy));
    nullPen(*s.dc);
    solidBrush(*s.dc, kBlue);
    ASSERT_TRUE(s.dc->rectangle({0, 0, 200, 150}));
    EXPECT_FALSE(s.dc->resetDevice(nullptr));
    EXPECT_EQ(s.dc->errorText(), "resetDevice: inside a page");
    s.dc->clearError();
    ASSERT_TRUE(s.dc->endPage());
    // The stroke's area: 20 wide around y = 75, flat ends at x = 20 and 180.
    EXPECT_EQ(s.driver.pixel(100, 70), kBlue);
    EXPECT_EQ(s.driver.pixel(100, 83), kBlue);
    EXPECT_EQ(s.driver.pixel(100, 60), 0xFFFFFFu);
    EXPECT_EQ(s.driver.pixel(100, 90), 0xFFFFFFu);
    EXPECT_EQ(s.driver.pixel(10, 75), 0xFFFFFFu);

    // A new device between pages; the document goes on without a new start.
    ASSERT_TRUE(s.dc->resetDevice(nullptr)) << s.dc->errorText();
    EXPECT_EQ(s.driver.pdevsDisabled, 1);
    ASSERT_TRUE(s.dc->startPage());
    solidBrush(*s.dc, kRed);
    ASSERT_TRUE(s.dc->rectangle({0, 0, 200, 150}));
    ASSERT_TRUE(s.finish());
    // The drawing state, the clip among it, stays.
    EXPECT_EQ(s.driver.pixel(100, 75), kRed);
    EXPECT_EQ(s.driver.pixel(10, 75), 0xFFFFFFu);
    const auto names = s.driver.names();
    EXPECT_EQ(std::count(names.begin(), names.end(), "DrvStartDoc"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "DrvSendPage"), 2);
    EXPECT_EQ(names.back(), "DrvEndDoc");
}

TEST(DeviceContextTest, DeclinedCurvesComeBackFlattened) {
    DriverConfig config;
    config.declineCurves = {"DrvFillPath", "DrvStrokePath"};
    Session s(config);
    ASSERT_TRUE(s.dc);
    solidBrush(*s.dc, kRed);
    nullPen(*s.dc);
    ASSERT_TRUE(s.begin());
    ASSERT_TRUE(s.dc->ellipse({20, 20, 120, 100}));
    const auto fills = s.driver.named("DrvFillPath");
    ASSERT_EQ(fills.size(), 2u);
    EXPECT_TRUE(fills[0]->beziers);
    EXPECT_FALSE(fills[1]->beziers);
    for (FLONG f : fills[1]->recordFlags) EXPECT_FALSE(f & PD_BEZIERS);

    Pen pen;
    ASSERT_TRUE(s.dc->setPen(pen));
    ASSERT_TRUE(s.dc->moveTo({10, 130}));
    ASSERT_TRUE(s.dc->bezierTo({50, 100}, {100, 160}, {190, 130}));
    const auto strokes = s.driver.named("DrvStrokePath");
    ASSERT_EQ(strokes.size(), 2u);
    EXPECT_FALSE(strokes[1]->beziers);
    ASSERT_TRUE(s.finish());
    EXPECT_EQ(s.driver.pixel(70, 60), kRed);

    // Filled and outlined at once, declined with and without curves: the
    // fill and the stroke come separately, and never with curves again.
    DriverConfig both;
    both.decline = {"DrvStrokeAndFillPath"};
    Session t(both);
    ASSERT_TRUE(t.dc);
    solidBrush(*t.dc, kRed);
    ASSERT_TRUE(t.begin());
    ASSERT_TRUE(t.dc->ellipse({20, 20, 120, 100}));
    EXPECT_EQ(t.drawing(), (std::vector<std::string>{"DrvStrokeAndFillPath", "DrvStrokeAndFillPath",
                                                     "DrvFillPath", "DrvStrokePath"}));
    EXPECT_FALSE(t.driver.named("DrvFillPath")[0]->beziers);
    EXPECT_FALSE(t.driver.named("DrvStrokePath")[0]->beziers);
    ASSERT_TRUE(t.finish());
    EXPECT_EQ(t.driver.pixel(70, 60), kRed);
    EXPECT_EQ(t.driver.pixel(20, 60), 0x000000u);  // the outline
}

TEST(DeviceContextTest, DeclinedFillBecomesABlitOfItsRegion) {
    // Twice declined, the fill reaches the driver as a pattern blit clipped to
    // the covered pixels, even when the driver hooks the paint call (which
    // GDI no longer makes).
    DriverConfig config;
    config.decline = {"DrvFillPath"};
    Session s(config);
    ASSERT_TRUE(s.dc);
    solidBrush(*s.dc, kRed);
    nullPen(*s.dc);
    ASSERT_TRUE(s.begin());
    ASSERT_TRUE(s.dc->ellipse({20, 20, 120, 100}));
    EXPECT_EQ(s.drawing(), (std::vector<std::string>{"DrvFillPath", "DrvFillPath", "DrvBitBlt"}));
    const Call& blit = *s.driver.named("DrvBitBlt").back();
    EXPECT_EQ(blit.rop4, 0xF0F0u);
    EXPECT_EQ(blit.clipComplexity, DC_COMPLEX);
    EXPECT_EQ(blit.brushColor, kRed);
    EXPECT_GT(blit.clipRects.size(), 10u);
    ASSERT_TRUE(s.finish());
    EXPECT_EQ(s.driver.pixel(70, 60), kRed);
    EXPECT_EQ(s.driver.pixel(22, 22), 0xFFFFFFu);

    // A blit the driver declines as well is done by the engine.
    DriverConfig both;
    both.decline = {"DrvFillPath", "DrvBitBlt"};
    Session t(both);
    ASSERT_TRUE(t.dc);
    solidBrush(*t.dc, kBlue);
    nullPen(*t.dc);
    ASSERT_TRUE(t.begin());
    ASSERT_TRUE(t.dc->polygon(std::vector<PointD>{{10, 10}, {100, 10}, {10, 100}}));
    ASSERT_TRUE(t.finish());
    EXPECT_EQ(t.driver.pixel(20, 20), kBlue);
    EXPECT_EQ(t.driver.pixel(90, 90), 0xFFFFFFu);
}

TEST(DeviceContextTest, DeclinedStrokeAndTextBecomeFills) {
    DriverConfig config;
    config.decline = {"DrvStrokePath", "DrvTextOut"};
    Session s(config);
    ASSERT_TRUE(s.dc);
    ASSERT_TRUE(s.begin());
    Pen pen;
    pen.geometric = true;
    pen.width = 9;
    pen.color = kBlue;
    pen.cap = LineCap::Flat;
    ASSERT_TRUE(s.dc->setPen(pen));
    ASSERT_TRUE(s.dc->polyline(std::vector<PointD>{{20, 20}, {180, 20}}));
    const auto fills = s.driver.named("DrvFillPath");
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0]->options, static_cast<FLONG>(FP_WINDINGMODE));
    EXPECT_EQ(fills[0]->brushColor, kBlue);

    s.dc->setBackgroundMode(BackgroundMode::Transparent);
    LOGFONTW font{};
    font.lfHeight = -40;
    std::memcpy(font.lfFaceName, u"DejaVu Sans", sizeof(u"DejaVu Sans"));
    ASSERT_TRUE(s.dc->setFont(font));
    s.dc->setTextColor(kRed);
    ASSERT_TRUE(s.dc->textOut({20, 60}, u"HI"));
    ASSERT_EQ(s.driver.named("DrvTextOut").size(), 1u);
    EXPECT_EQ(s.driver.named("DrvTextOut")[0]->text, u"HI");
    const auto glyphFills = s.driver.named("DrvFillPath");
    ASSERT_EQ(glyphFills.size(), 2u);
    EXPECT_EQ(glyphFills[1]->brushColor, kRed);
    ASSERT_TRUE(s.finish());
    EXPECT_EQ(s.driver.pixel(100, 20), kBlue);
    EXPECT_EQ(s.driver.pixel(100, 26), 0xFFFFFFu);
    // Some red of the glyph outlines landed on the page.
    int red = 0;
    for (int y = 60; y < 110; ++y)
        for (int x = 20; x < 100; ++x) red += s.driver.pixel(x, y) == kRed;
    EXPECT_GT(red, 50);
}

TEST(DeviceContextTest, TextCarriesItsCharactersAndBaselinePositions) {
    Session s;
    ASSERT_TRUE(s.dc);
    ASSERT_TRUE(s.begin());
    LOGFONTW font{};
    font.lfHeight = -30;
    ASSERT_TRUE(s.dc->setFont(font));
    s.dc->setTextAlign(TextAlignX::Left, TextAlignY::Baseline);
    const double advances[] = {20, 25, 30};
    ASSERT_TRUE(s.dc->textOut({10, 50}, u"abc", advances));
    const Call& flat = *s.driver.named("DrvTextOut").back();
    EXPECT_EQ(flat.text, u"abc");
    ASSERT_EQ(flat.glyphPositions.size(), 3u);
    EXPECT_EQ(flat.glyphPositions[0].x, 10);
    EXPECT_EQ(flat.glyphPositions[0].y, 50);
    EXPECT_EQ(flat.glyphPositions[1].x, 30);
    EXPECT_EQ(flat.glyphPositions[2].x, 55);

    // Escapement 90 degrees: the baseline runs up the page.
    font.lfEscapement = 900;
    ASSERT_TRUE(s.dc->setFont(font));
    ASSERT_TRUE(s.dc->textOut({100, 140}, u"abc", advances));
    const Call& turned = *s.driver.named("DrvTextOut").back();
    ASSERT_EQ(turned.glyphPositions.size(), 3u);
    EXPECT_EQ(turned.glyphPositions[1].x, 100);
    EXPECT_EQ(turned.glyphPositions[1].y, 120);
    EXPECT_EQ(turned.glyphPositions[2].y, 95);
    ASSERT_TRUE(s.finish());
}

TEST(DeviceContextTest, BlitsChooseTheirHook) {
    Session s;
    ASSERT_TRUE(s.dc);
    ASSERT_TRUE(s.begin());
    const uint8_t bits[] = {0, 0, 255, 255, 0, 0, 0, 0,    // red, blue (+2 padding)
                            0, 255, 0, 255, 255, 255, 0, 0};  // green, white
    BitmapView view;
    view.width = 2;
    view.height = 2;
    view.stride = 8;
    view.bits = bits;
    ASSERT_TRUE(s.dc->stretchBlt({10, 10, 12, 12}, view, {0, 0, 2, 2}));
    ASSERT_TRUE(s.dc->stretchBlt({20, 20, 40, 40}, view, {0, 0, 2, 2}));
    ASSERT_TRUE(s.dc->stretchBlt({50, 50, 70, 70}, view, {0, 0, 2, 2}, SRCINVERT));
    EXPECT_EQ(s.drawing(), (std::vector<std::string>{"DrvCopyBits", "DrvStretchBlt", "DrvBitBlt"}));
    EXPECT_EQ(s.driver.calls.back().rop4, 0x6666u);
    ASSERT_TRUE(s.dc->setTransform({0, 1, -1, 0, 150, 10}));
    ASSERT_TRUE(s.dc->stretchBlt({0, 0, 20, 20}, view, {0, 0, 2, 2}));
    EXPECT_EQ(s.drawing().back(), "DrvPlgBlt");
    // Stretched a billion pixels past the page, a raster operation is made
    // for what the page shows of it, not for its whole size.
    ASSERT_TRUE(s.dc->setTransform({1, 0, 0, 1, 0, 0}));
    ASSERT_TRUE(s.dc->stretchBlt({-1e9, 80, 1e9, 100}, view, {0, 0, 2, 2}, SRCINVERT));
    EXPECT_EQ(s.drawing().back(), "DrvBitBlt");
    ASSERT_TRUE(s.finish());
    EXPECT_EQ(s.driver.pixel(100, 82), 0xFFFF00u);  // blue inverted over white
    EXPECT_EQ(s.driver.pixel(100, 95), 0x000000u);  // white inverted
    EXPECT_EQ(s.driver.pixel(10, 10), kRed);
    EXPECT_EQ(s.driver.pixel(11, 10), kBlue);
    EXPECT_EQ(s.driver.pixel(35, 35), 0xFFFFFFu);
    EXPECT_EQ(s.driver.pixel(55, 55), 0x00FFFFu);  // red inverted over white

    // A copy the driver declines is done by the engine.
    DriverConfig declining;
    declining.decline = {"DrvCopyBits"};
    Session d(declining);
    ASSERT_TRUE(d.begin());
    ASSERT_TRUE(d.dc->stretchBlt({10, 10, 12, 12}, view, {0, 0, 2, 2}));
    ASSERT_TRUE(d.finish());
    EXPECT_EQ(d.drawing(), (std::vector<std::string>{"DrvCopyBits"}));
    EXPECT_EQ(d.driver.pixel(11, 11), 0xFFFFFFu);

    // A source rectangle outside the bitmap is refused, not read.
    Session t;
    ASSERT_TRUE(t.begin());
    EXPECT_FALSE(t.dc->stretchBlt({0, 0, 5, 5}, view, {0, 0, 3, 2}));
    EXPECT_FALSE(t.dc->errorText().empty());

    // A pattern blit whose operation reads a source is refused when it is
    // made, on a banding page too, and the page itself still prints.
    for (int rows : {0, 37}) {
        DriverConfig config;
        config.bandRows = rows;
        Session p(config);
        ASSERT_TRUE(p.begin());
        for (DWORD rop : {DWORD{SRCCOPY}, DWORD{SRCINVERT}, DWORD{MERGECOPY}, DWORD{0x88}}) {
            p.dc->clearError();
            EXPECT_FALSE(p.dc->patBlt({0, 0, 20, 20}, rop)) << rop;
            EXPECT_EQ(p.dc->errorText(), "patBlt: the raster operation needs a source bitmap");
        }
        EXPECT_TRUE(p.dc->patBlt({0, 0, 20, 20}, PATINVERT));
        EXPECT_TRUE(p.finish()) << p.dc->errorText();
        EXPECT_EQ(p.driver.pixel(5, 5), 0x000000u);  // white inverted by the white brush
    }
}

TEST(DeviceContextTest, BlendsKeysPatternsAndGradients) {
    Session s;
    ASSERT_TRUE(s.dc);
    ASSERT_TRUE(s.begin());
    solidBrush(*s.dc, kBlue);
    nullPen(*s.dc);
    ASSERT_TRUE(s.dc->rectangle({0, 0, 200, 40}));
    // Half-transparent red over blue; a premultiplied pixel of alpha 0
    // leaves the blue alone.
    const uint8_t argb[] = {0, 0, 255, 255, 0, 0, 0, 0};
    BitmapView bgra;
    bgra.width = 2;
    bgra.height = 1;
    bgra.bitsPerPixel = 32;
    bgra.stride = 8;
    bgra.bits = argb;
    ASSERT_TRUE(s.dc->alphaBlend({10, 10, 30, 20}, bgra, {0, 0, 2, 1}, 128, true));
    EXPECT_EQ(s.drawing().back(), "DrvAlphaBlend");
    // A palette bitmap whose key colour shows what lies below.
    const uint8_t indices[] = {0, 1, 0, 0};
    const Color palette[] = {0x00FF00, 0xFFFFFF};
    BitmapView indexed;
    indexed.width = 2;
    indexed.height = 1;
    indexed.bitsPerPixel = 8;
    indexed.stride = 4;
    indexed.bits = indices;
    indexed.palette = palette;
    ASSERT_TRUE(s.dc->transparentBlt({50, 10, 70, 20}, indexed, {0, 0, 2, 1}, 0xFFFFFF));
    EXPECT_EQ(s.drawing().back(), "DrvTransparentBlt");
    EXPECT_EQ(s.driver.calls.back().brushColor, 1u);  // the key as the palette index
    // Mirrored by the transform: the green half lands on the right.
    ASSERT_TRUE(s.dc->setTransform({-1, 0, 0, 1, 300, 0}));
    ASSERT_TRUE(s.dc->transparentBlt({100, 25, 120, 35}, indexed, {0, 0, 2, 1}, 0xFFFFFF));
    ASSERT_TRUE(s.dc->setTransform({}, TransformMode::Identity));
    // A pattern blit inverting the destination.
    ASSERT_TRUE(s.dc->patBlt({100, 10, 110, 20}, DSTINVERT));
    EXPECT_EQ(s.driver.calls.back().rop4, 0x5555u);
    // A shaded triangle.
    const GradientVertex v[] = {{20, 60, 0xFF0000}, {180, 60, 0x00FF00}, {100, 140, 0x0000FF}};
    const GradientTriangle tri[] = {{0, 1, 2}};
    ASSERT_TRUE(s.dc->gradientTriangles(v, tri));
    EXPECT_EQ(s.drawing().back(), "DrvGradientFill");
    EXPECT_EQ(s.driver.calls.back().options, static_cast<ULONG>(GRADIENT_FILL_TRIANGLE));
    // A checker pattern brush (a palette tile), repeated from the page's
    // origin.
    const uint8_t tile[] = {0, 1, 0, 0, 1, 0, 0, 0};
    const Color tileColors[] = {0x000000, 0xFFFF00};
    Brush pattern;
    pattern.style = BrushStyle::Pattern;
    pattern.pattern.width = 2;
    pattern.pattern.height = 2;
    pattern.pattern.bitsPerPixel = 8;
    pattern.pattern.stride = 4;
    pattern.pattern.bits = tile;
    pattern.pattern.palette = tileColors;
    ASSERT_TRUE(s.dc->setBrush(pattern));
    ASSERT_TRUE(s.dc->rectangle({150, 100, 160, 110}));
    EXPECT_EQ(s.driver.named("DrvFillPath").back()->brushColor, 0xFFFFFFFFu);
    ASSERT_TRUE(s.finish());
    EXPECT_EQ(s.driver.pixel(150, 100), 0x000000u);
    EXPECT_EQ(s.driver.pixel(151, 100), 0xFFFF00u);
    EXPECT_EQ(s.driver.pixel(151, 101), 0x000000u);
    const uint32_t blended = s.driver.pixel(12, 12);
    EXPECT_GT((blended >> 16) & 0xFF, 0x60u);
    EXPECT_GT(blended & 0xFF, 0x60u);
    EXPECT_EQ(s.driver.pixel(25, 12), kBlue);
    EXPECT_EQ(s.driver.pixel(52, 12), 0x00FF00u);
    EXPECT_EQ(s.driver.pixel(65, 12), kBlue);
    EXPECT_EQ(s.driver.pixel(195, 30), 0x00FF00u);
    EXPECT_EQ(s.driver.pixel(185, 30), kBlue);
    EXPECT_EQ(s.driver.pixel(105, 15), 0xFFFF00u);
    const uint32_t shaded = s.driver.pixel(100, 80);
    EXPECT_NE(shaded, 0xFFFFFFu);
    EXPECT_GT((shaded >> 16) & 0xFF, 0x20u);
    EXPECT_GT((shaded >> 8) & 0xFF, 0x20u);
}

TEST(DeviceContextTest, BandedPageMatchesTheWholePage) {
    DriverConfig whole;
    Session a(whole);
    ASSERT_TRUE(a.dc);
    ASSERT_TRUE(a.begin());
    mixedPage(*a.dc);
    ASSERT_TRUE(a.finish());

    DriverConfig banded;
    banded.bandRows = 37;
    Session b(banded);
    ASSERT_TRUE(b.dc);
    ASSERT_TRUE(b.device->banding());
    ASSERT_TRUE(b.begin());
    mixedPage(*b.dc);
    ASSERT_TRUE(b.finish());
    ASSERT_EQ(a.driver.page.size(), b.driver.page.size());
    EXPECT_TRUE(a.driver.page == b.driver.page);
    EXPECT_NE(a.driver.pixel(100, 75), 0xFFFFFFu);

    // Page events of a banding page: start, bands until (-1, -1), send.
    std::vector<std::string> events;
    for (const std::string& n : b.driver.names())
        if (n.find("Band") != std::string::npos || n.find("Page") != std::string::npos) events.push_back(n);
    // 150 rows in bands of 37: five bands.
    EXPECT_EQ(events, (std::vector<std::string>{"DrvStartPage", "DrvStartBanding", "DrvNextBand", "DrvNextBand",
                                                "DrvNextBand", "DrvNextBand", "DrvNextBand", "DrvSendPage"}));
}

TEST(DeviceContextTest, BandsSeeBandRelativeCoordinatesAndClips) {
    DriverConfig banded;
    banded.bandRows = 50;
    Session s(banded);
    ASSERT_TRUE(s.dc);
    solidBrush(*s.dc, kRed);
    nullPen(*s.dc);
    ASSERT_TRUE(s.begin());
    ASSERT_TRUE(s.dc->rectangle({10, 120, 30, 140}));  // only in the third band
    ASSERT_TRUE(s.dc->rectangle({40, 40, 60, 60}));    // across the first two
    EXPECT_TRUE(s.driver.named("DrvFillPath").empty());  // recorded until the page ends
    ASSERT_TRUE(s.finish());
    const auto fills = s.driver.named("DrvFillPath");
    ASSERT_EQ(fills.size(), 3u);
    // Band 0 (rows 0-49) and band 1 (50-99) see the second rectangle.
    EXPECT_EQ(fills[0]->points[0][0].y, 40 * 16);
    EXPECT_EQ(fills[0]->clipBounds.bottom, 50);
    EXPECT_EQ(fills[1]->points[0][0].y, (40 - 50) * 16);
    EXPECT_EQ(fills[1]->clipBounds.top, 0);
    EXPECT_EQ(fills[2]->points[0][0].y, (120 - 100) * 16);
    EXPECT_EQ(s.driver.pixel(20, 130), kRed);
    EXPECT_EQ(s.driver.pixel(50, 49), kRed);
    EXPECT_EQ(s.driver.pixel(50, 50), kRed);

    // A band that fails fails the page.
    DriverConfig failing = banded;
    failing.failNextBand = true;
    Session f(failing);
    ASSERT_TRUE(f.begin());
    EXPECT_FALSE(f.dc->endPage());
    EXPECT_NE(f.dc->errorText().find("DrvNextBand"), std::string::npos);
}

TEST(DeviceContextTest, UnhookedCallsGoToTheEngine) {
    DriverConfig config;
    config.hooks = 0;
    Session s(config);
    ASSERT_TRUE(s.dc);
    solidBrush(*s.dc, kRed);
    ASSERT_TRUE(s.begin());
    ASSERT_TRUE(s.dc->ellipse({10, 10, 90, 90}));
    ASSERT_TRUE(s.dc->gradientRect({100, 10, 190, 90}, 0, 0xFFFFFF, true));
    ASSERT_TRUE(s.finish());
    EXPECT_TRUE(s.drawing().empty());
    EXPECT_EQ(s.driver.pixel(50, 50), kRed);
    EXPECT_NE(s.driver.pixel(150, 20), s.driver.pixel(150, 85));
}

}  // namespace
}  // namespace tessaly::gdi
