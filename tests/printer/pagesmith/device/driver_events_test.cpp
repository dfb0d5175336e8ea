// The driver through its entry points on the real engine: the exports, the
// PDEV from a device mode, the surface and its bands, and the document and
// page events with the job directories they leave.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "device.h"
#include "../driver_test_util.h"
#include "hooks.h"
#include "platform/device_context.h"
#include "platform/gdi_engine_control.h"

namespace tessaly::pagesmith {
namespace {

using gdi::DeviceContext;
using gdi::PrinterDevice;
using testing_support::slurp;

DRVENABLEDATA enabledDriver() {
    DRVENABLEDATA data{};
    EXPECT_TRUE(DrvEnableDriver(DDI_DRIVER_VERSION_NT5, sizeof data, &data));
    return data;
}

// Refuses EngCreateBitmap requests above a height, and records them all.
class BitmapRequests {
public:
    explicit BitmapRequests(LONG maxHeight) {
        gdi::setBitmapRequestObserver([this, maxHeight](LONG, LONG height, ULONG) {
            heights.push_back(height);
            return height <= maxHeight;
        });
    }
    ~BitmapRequests() { gdi::setBitmapRequestObserver({}); }
    std::vector<LONG> heights;
};

class DriverEvents : public testing::DriverFixture {
protected:
    std::unique_ptr<PrinterDevice> open(testing::DevmodeBytes& devmode) {
        std::string error;
        auto device = PrinterDevice::open(driver_, &devmode.devmode(), u"Tessaly", &error);
        EXPECT_TRUE(device) << error;
        return device;
    }
    static DriverDevice& record(PrinterDevice& device) {
        return *reinterpret_cast<DriverDevice*>(device.pdev());
    }
    // Prints pages of one filled rectangle each; the job directory made.
    // drew_ tells whether the engine rendered the rectangles.
    std::string printPages(PrinterDevice& device, int pages) {
        DeviceContext dc(device);
        EXPECT_TRUE(dc.startDoc(u"Drawing", 7));
        for (int page = 0; page < pages; ++page) {
            EXPECT_TRUE(dc.startPage());
            gdi::Brush brush;
            brush.color = 0x2060C0;
            EXPECT_TRUE(dc.setBrush(brush));
            drew_ = dc.rectangle({100, 200 + 50.0 * page, 900, 2900}) && drew_;
            // A banded page reports the drawing calls that failed in its bands.
            const bool ended = dc.endPage();
            if (drew_) {
                EXPECT_TRUE(ended) << dc.errorText();
            }
        }
        const std::string directory = record(device).jobDirectory;
        EXPECT_TRUE(dc.endDoc());
        return directory;
    }

    DRVENABLEDATA driver_ = enabledDriver();
    bool drew_ = true;
};

TEST_F(DriverEvents, ExportsAnswerAsTheSpoolerExpects) {
    DWORD needed = 0;
    DWORD mode = 0;
    EXPECT_TRUE(DrvQueryDriverInfo(DRVQUERY_USERMODE, &mode, sizeof mode, &needed));
    EXPECT_EQ(needed, 4u);
    EXPECT_EQ(mode, 1u);
    EXPECT_FALSE(DrvQueryDriverInfo(DRVQUERY_USERMODE, &mode, 3, &needed));
    EXPECT_EQ(EngGetLastError(), ULONG(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_FALSE(DrvQueryDriverInfo(2, &mode, sizeof mode, &needed));
    EXPECT_EQ(EngGetLastError(), ULONG(ERROR_INVALID_PARAMETER));

    DRVENABLEDATA data{};
    EXPECT_FALSE(DrvEnableDriver(0x1FFFF, sizeof data, &data));
    EXPECT_EQ(EngGetLastError(), ULONG(ERROR_BAD_DRIVER_LEVEL));
    EXPECT_FALSE(DrvEnableDriver(DDI_DRIVER_VERSION_NT4, 11, &data));
    EXPECT_EQ(EngGetLastError(), ULONG(ERROR_INVALID_PARAMETER));

    ASSERT_EQ(driver_.iDriverVersion, ULONG(DDI_DRIVER_VERSION_NT4));
    ASSERT_EQ(driver_.c, 24u);
    const ULONG order[] = {INDEX_DrvEnablePDEV,  INDEX_DrvCompletePDEV, INDEX_DrvResetPDEV,
                           INDEX_DrvDisablePDEV, INDEX_DrvEnableSurface, INDEX_DrvDisableSurface,
                           INDEX_DrvStartDoc,    INDEX_DrvEndDoc,        INDEX_DrvStartPage,
                           INDEX_DrvSendPage,    INDEX_DrvStartBanding,  INDEX_DrvNextBand,
                           INDEX_DrvBitBlt,      INDEX_DrvStretchBlt,    INDEX_DrvPlgBlt,
                           INDEX_DrvCopyBits,    INDEX_DrvPaint,         INDEX_DrvAlphaBlend,
                           INDEX_DrvGradientFill, INDEX_DrvTransparentBlt, INDEX_DrvStrokePath,
                           INDEX_DrvFillPath,    INDEX_DrvStrokeAndFillPath, INDEX_DrvTextOut};
    for (ULONG i = 0; i < 24; ++i) {
        EXPECT_EQ(driver_.pdrvfn[i].iFunc, order[i]) << i;
        EXPECT_NE(driver_.pdrvfn[i].pfn, nullptr);
    }
}

TEST_F(DriverEvents, EnablePdevRefusesForeignDevmodesAndSmallBuffers) {
    testing::DevmodeBytes devmode;
    std::vector<uint8_t> gdiInfo(512), devInfo(512);
    auto enable = [&](DEVMODEW* dm, ULONG gdiBytes, ULONG devBytes) {
        return DrvEnablePDEV(dm, nullptr, 0, nullptr, gdiBytes, reinterpret_cast<ULONG*>(gdiInfo.data()),
                             devBytes, reinterpret_cast<DEVINFO*>(devInfo.data()), nullptr, nullptr, nullptr);
    };
    EngSetLastError(0);
    EXPECT_EQ(enable(&devmode.devmode(), 303, 512), nullptr);
    EXPECT_EQ(EngGetLastError(), ULONG(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(enable(&devmode.devmode(), 512, 299), nullptr);
    EXPECT_EQ(enable(nullptr, 512, 512), nullptr);
    testing::DevmodeBytes extra;
    extra.devmode().dmDriverExtra = 2600;
    EXPECT_EQ(enable(&extra.devmode(), 512, 512), nullptr);
    testing::DevmodeBytes foreign;
    PrivateDevmode part = foreign.privatePart();
    part.signature = 0;
    foreign.setPrivate(part);
    EngSetLastError(0);
    EXPECT_EQ(enable(&foreign.devmode(), 512, 512), nullptr);
    EXPECT_EQ(EngGetLastError(), ULONG(ERROR_INVALID_PARAMETER));

    // A device that is accepted fills only the buffers it was given.
    std::fill(gdiInfo.begin(), gdiInfo.end(), 0xAB);
    DHPDEV pdev = enable(&devmode.devmode(), 304, 512);
    ASSERT_NE(pdev, nullptr);
    EXPECT_EQ(gdiInfo[304], 0xAB);
    DrvDisablePDEV(pdev);
}

TEST_F(DriverEvents, A4PageGeometryReachesGdi) {
    testing::DevmodeBytes devmode;
    devmode.devmode().dmFields = DM_PAPERSIZE | DM_ORIENTATION;
    devmode.devmode().dmPaperSize = DMPAPER_A4;
    devmode.devmode().dmOrientation = DMORIENT_PORTRAIT;
    auto device = open(devmode);
    ASSERT_TRUE(device);
    EXPECT_EQ(device->pageWidth(), 2480);
    EXPECT_EQ(device->pageHeight(), 3507);
    EXPECT_FALSE(device->banding());
    EXPECT_EQ(device->hooks(), FLONG(0x384FF));
    const GDIINFO& info = device->gdiInfo();
    EXPECT_EQ(info.ulVersion, 0x4000u);
    EXPECT_EQ(info.ulTechnology, ULONG(DT_RASPRINTER));
    EXPECT_EQ(info.ulHorzSize, 210u);
    EXPECT_EQ(info.ulVertSize, 297u);
    EXPECT_EQ(info.cBitsPixel, 24u);
    EXPECT_EQ(info.ulLogPixelsY, 300u);
    EXPECT_EQ(info.szlPhysSize.cy, 3507);
    EXPECT_EQ(info.ulHTOutputFormat, ULONG(HT_FORMAT_24BPP));
    EXPECT_EQ(device->devInfo().flGraphicsCaps, FLONG(0x0100001F));
    EXPECT_EQ(device->devInfo().iDitherFormat, ULONG(BMF_24BPP));
    EXPECT_NE(device->devInfo().hpalDefault, nullptr);
    // The resolved requests are kept in the device mode's private part.
    EXPECT_EQ(devmode.privatePart().sizeIndex, kPaperA4);
    EXPECT_EQ(devmode.privatePart().width, 210000u);
}

TEST_F(DriverEvents, CustomSizeIndexFollowsTheStoredChoiceOrTheMeasurementSystem) {
    auto customIndex = [this](bool metric) {
        setMetricOverride(metric);
        testing::DevmodeBytes devmode;
        devmode.devmode().dmFields = DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH;
        devmode.devmode().dmPaperSize = 257;
        devmode.devmode().dmPaperWidth = 1000;
        devmode.devmode().dmPaperLength = 1500;
        auto device = open(devmode);
        EXPECT_EQ(device->pageWidth(), pagePixels(100000, 300));
        return devmode.privatePart().sizeIndex;
    };
    EXPECT_EQ(customIndex(false), -16);
    EXPECT_EQ(customIndex(true), -6);
    ASSERT_EQ(registryWriteDword("SizeIndex", 3), kRegistryOk);
    EXPECT_EQ(customIndex(true), -4);
}

TEST_F(DriverEvents, SurfaceHalvesItsRowsUntilMemoryIsFound) {
    testing::DevmodeBytes devmode;
    {
        BitmapRequests refuseAll(0);
        std::string error;
        EXPECT_FALSE(PrinterDevice::open(driver_, &devmode.devmode(), u"Tessaly", &error));
        EXPECT_EQ(refuseAll.heights,
                  (std::vector<LONG>{3300, 1650, 825, 413, 207, 104, 52, 26, 13, 7, 4, 2, 1}));
    }
    BitmapRequests limited(500);
    auto device = open(devmode);
    ASSERT_TRUE(device);
    EXPECT_TRUE(device->banding());
    EXPECT_EQ(device->bandHeight(), 413);
    EXPECT_EQ(record(*device).bandHeight, 413);
}

TEST_F(DriverEvents, ADocumentWithoutPagesLeavesNothing) {
    testing::DevmodeBytes devmode;
    auto device = open(devmode);
    ASSERT_TRUE(device);
    DeviceContext dc(*device);
    ASSERT_TRUE(dc.startDoc(u"Empty", 3));
    EXPECT_TRUE(dc.endDoc());
    EXPECT_TRUE(jobDirectories().empty());
    EXPECT_TRUE(dc.startDoc(u"Aborted", 4));
    EXPECT_TRUE(dc.endDoc(true));
    EXPECT_TRUE(jobDirectories().empty());
}

TEST_F(DriverEvents, EventsWithoutADeviceAreRefused) {
    SURFOBJ stranger{};
    POINTL origin{5, 5};
    EngSetLastError(0);
    EXPECT_FALSE(DrvStartPage(&stranger));
    EXPECT_EQ(EngGetLastError(), ULONG(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(DrvNextBand(nullptr, &origin));
    EXPECT_FALSE(DrvEndDoc(&stranger, 0));
}

TEST_F(DriverEvents, BandedPagesMatchWholePages) {
    testing::DevmodeBytes devmode;
    devmode.setMechanics(kMechImage | kMechFrame);
    std::string whole;
    {
        auto device = open(devmode);
        ASSERT_TRUE(device);
        ASSERT_FALSE(device->banding());
        whole = printPages(*device, 2);
    }
    std::string banded;
    {
        BitmapRequests limited(1000);
        auto device = open(devmode);
        ASSERT_TRUE(device);
        ASSERT_EQ(device->bandHeight(), 825);
        // In banding mode the page events are the bands' business.
        EXPECT_TRUE(DrvStartPage(device->surface()));
        EXPECT_TRUE(DrvSendPage(device->surface()));
        EXPECT_TRUE(jobDirectories().size() == 1);
        banded = printPages(*device, 2);
        EXPECT_EQ(record(*device).bandCount, 4u);
    }
    for (const std::string& directory : {whole, banded}) {
        EXPECT_EQ(slurp(directory + "_status"), "end:2");
    }
    const size_t stride = (2550 * 3 + 3) & ~size_t(3);
    const std::vector<uint8_t> expected = testing::bagPixels(whole + "altpage1.bag");
    ASSERT_EQ(expected.size(), stride * 3300);
    EXPECT_EQ(testing::bagPixels(banded + "altpage1.bag"), expected);
    EXPECT_EQ(descrambled(banded + "media.mml"), descrambled(whole + "media.mml"));
    if (!drew_) GTEST_SKIP() << "the engine renders no rectangles yet";
    // The drawing is in the page: a pixel inside the rectangle is the brush's.
    const uint8_t* inside = expected.data() + 1500 * stride + 500 * 3;
    EXPECT_EQ(inside[0], 0x20);
    EXPECT_EQ(inside[1], 0x60);
    EXPECT_EQ(inside[2], 0xC0);
}

TEST_F(DriverEvents, ResetHandsTheRunningJobToTheNewDevice) {
    testing::DevmodeBytes devmode;
    auto first = open(devmode);
    auto second = open(devmode);
    ASSERT_TRUE(first && second);
    SURFOBJ* surface = first->surface();
    ASSERT_TRUE(DrvStartDoc(surface, const_cast<LPWSTR>(u"Reset"), 9));
    ASSERT_TRUE(DrvStartPage(surface));
    ASSERT_TRUE(DrvSendPage(surface));
    const std::string directory = record(*first).jobDirectory;

    ASSERT_TRUE(DrvResetPDEV(first->pdev(), second->pdev()));
    EXPECT_FALSE(record(*first).jobOpen());
    EXPECT_EQ(record(*first).jobId, -1);
    EXPECT_TRUE(record(*second).jobOpen());
    EXPECT_EQ(record(*second).pageNumber, 1u);

    SURFOBJ* next = second->surface();
    ASSERT_TRUE(DrvStartPage(next));
    ASSERT_TRUE(DrvSendPage(next));
    ASSERT_TRUE(DrvEndDoc(next, 0));
    EXPECT_EQ(jobDirectories().size(), 1u);
    EXPECT_EQ(slurp(directory + "_status"), "end:2");
}

}  // namespace
}  // namespace tessaly::pagesmith
