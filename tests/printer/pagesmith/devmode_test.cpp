// Device mode checks and the resolution of the public requests into the
// driver's private part.

#include <gtest/gtest.h>

#include "devmode.h"
#include "driver_test_util.h"

namespace tessaly::pagesmith {
namespace {

using testing::DevmodeBytes;

PrivateDevmode letterPart() { return DevmodeBytes().privatePart(); }

// The custom size index the resolution asked for, or a marker when it did not ask.
struct IndexProbe {
    int calls = 0;
    int32_t answer = -16;
    std::function<int32_t()> source() {
        return [this] {
            ++calls;
            return answer;
        };
    }
};

TEST(Devmode, AcceptsOnlyItsOwnPrivatePart) {
    EXPECT_FALSE(devmodeAcceptable(nullptr));
    DevmodeBytes good;
    EXPECT_TRUE(devmodeAcceptable(good.bytes.data()));

    DevmodeBytes extra;
    extra.devmode().dmDriverExtra = kPrivateDevmodeSize - 1;
    EXPECT_FALSE(devmodeAcceptable(extra.bytes.data()));

    DevmodeBytes foreign;
    PrivateDevmode part = foreign.privatePart();
    part.signature = 0x12873466;
    foreign.setPrivate(part);
    EXPECT_FALSE(devmodeAcceptable(foreign.bytes.data()));

    // The private part is found at dmSize, whatever the public part's size.
    std::vector<uint8_t> older(156 + kPrivateDevmodeSize);
    std::memcpy(older.data(), good.bytes.data(), 156);
    reinterpret_cast<DEVMODEW*>(older.data())->dmSize = 156;
    std::memcpy(older.data() + 156, good.bytes.data() + kPublicDevmodeSize, kPrivateDevmodeSize);
    EXPECT_TRUE(devmodeAcceptable(older.data()));
}

TEST(Devmode, PaperCodesFollowTheTableAndTheOrientation) {
    IndexProbe probe;
    DevmodeRequests a4;
    a4.fields = DM_PAPERSIZE | DM_ORIENTATION;
    a4.paperSize = DMPAPER_A4;
    a4.orientation = DMORIENT_PORTRAIT;
    PrivateDevmode part = letterPart();
    resolveDevmode(a4, part, probe.source());
    EXPECT_EQ(part.width, 210000u);
    EXPECT_EQ(part.height, 297000u);
    EXPECT_EQ(part.sizeIndex, kPaperA4);

    a4.orientation = DMORIENT_LANDSCAPE;
    part = letterPart();
    resolveDevmode(a4, part, probe.source());
    EXPECT_EQ(part.width, 297000u);
    EXPECT_EQ(part.height, 210000u);

    // Without DM_ORIENTATION the table's portrait sizes stand.
    a4.fields = DM_PAPERSIZE;
    part = letterPart();
    resolveDevmode(a4, part, probe.source());
    EXPECT_EQ(part.width, 210000u);

    // A code the table does not know changes nothing.
    DevmodeRequests unknown;
    unknown.fields = DM_PAPERSIZE;
    unknown.paperSize = 200;
    part = letterPart();
    resolveDevmode(unknown, part, probe.source());
    EXPECT_EQ(part.width, 215900u);
    EXPECT_EQ(part.sizeIndex, kPaperLetter);

    // Orientation alone turns the stored paper.
    DevmodeRequests turn;
    turn.fields = DM_ORIENTATION;
    turn.orientation = DMORIENT_LANDSCAPE;
    part = letterPart();
    resolveDevmode(turn, part, probe.source());
    EXPECT_EQ(part.width, 279400u);
    EXPECT_EQ(part.height, 215900u);
    EXPECT_EQ(probe.calls, 0);

    EXPECT_EQ(findPaperCode(DMPAPER_LETTER), kPaperLetter);
    EXPECT_EQ(findPaperCode(0), -1);
    EXPECT_EQ(findPaperCode(257), -1);
}

TEST(Devmode, CustomSizesComeInTenthsOfAMillimetre) {
    IndexProbe probe;
    probe.answer = -7;
    DevmodeRequests custom;
    custom.fields = DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH;
    custom.paperSize = 257;
    custom.paperWidth = 1000;
    custom.paperLength = 1500;
    PrivateDevmode part = letterPart();
    resolveDevmode(custom, part, probe.source());
    EXPECT_EQ(part.width, 100000u);
    EXPECT_EQ(part.height, 150000u);
    EXPECT_EQ(part.customWidth, 100000u);
    EXPECT_EQ(part.sizeIndex, -7);
    EXPECT_GE(probe.calls, 1);

    // Landscape turns the custom pair too; code 0 is a custom size as well.
    custom.fields |= DM_ORIENTATION;
    custom.orientation = DMORIENT_LANDSCAPE;
    custom.paperSize = 0;
    part = letterPart();
    resolveDevmode(custom, part, probe.source());
    EXPECT_EQ(part.width, 150000u);
    EXPECT_EQ(part.height, 100000u);

    // A length that is not positive leaves the stored custom side: no page
    // of zero or negative size.
    DevmodeRequests broken;
    broken.fields = DM_PAPERWIDTH | DM_PAPERLENGTH;
    broken.paperSize = 257;
    broken.paperWidth = -5;
    broken.paperLength = 0;
    part = letterPart();
    resolveDevmode(broken, part, probe.source());
    EXPECT_EQ(part.width, 101600u);
    EXPECT_EQ(part.height, 152399u);
}

TEST(Devmode, YResolutionWinsOverPrintQuality) {
    IndexProbe probe;
    DevmodeRequests both;
    both.fields = DM_PRINTQUALITY | DM_YRESOLUTION;
    both.printQuality = 600;
    both.yResolution = 1200;
    PrivateDevmode part = letterPart();
    resolveDevmode(both, part, probe.source());
    EXPECT_EQ(part.resolution, 1200u);

    both.yResolution = 0;
    part = letterPart();
    resolveDevmode(both, part, probe.source());
    EXPECT_EQ(part.resolution, 600u);

    // Negative qualities are the draft/high codes, not resolutions.
    both.printQuality = DMRES_HIGH;
    both.yResolution = -1;
    part = letterPart();
    resolveDevmode(both, part, probe.source());
    EXPECT_EQ(part.resolution, 300u);

    // Set values without their field bits are not requests.
    DevmodeRequests unflagged;
    unflagged.printQuality = 600;
    unflagged.yResolution = 1200;
    part = letterPart();
    resolveDevmode(unflagged, part, probe.source());
    EXPECT_EQ(part.resolution, 300u);
}

TEST(Devmode, CustomSizeIndexRemembersTheLastTableRow) {
    EXPECT_EQ(customSizeIndex(false, 0, false), -16);  // Letter
    EXPECT_EQ(customSizeIndex(false, 0, true), -6);    // A4
    EXPECT_EQ(customSizeIndex(true, 4, true), -5);
    EXPECT_EQ(customSizeIndex(true, 0, false), -1);
    EXPECT_EQ(customSizeIndex(true, uint32_t(-3), false), -3);
    EXPECT_EQ(customSizeIndex(true, 0x7FFFFFFF, false), INT32_MIN);
}

TEST(Devmode, PagePixelsAreTruncated) {
    EXPECT_EQ(pagePixels(210000, 300), 2480);
    EXPECT_EQ(pagePixels(297000, 300), 3507);
    EXPECT_EQ(pagePixels(215900, 300), 2550);
    EXPECT_EQ(pagePixels(215899, 300), 2550);  // the table's Letter
    EXPECT_EQ(pagePixels(215899, 2400), 20400);
    EXPECT_EQ(pagePixels(2540, 1), 0);  // a tenth of an inch at 1 dpi
    EXPECT_EQ(pagePixels(279400, 300), 3300);
    // No surface for an empty or an unaddressable page.
    EXPECT_EQ(pagePixels(0, 300), 0);
    EXPECT_EQ(pagePixels(210000, 0), 0);
    EXPECT_EQ(pagePixels(0xFFFFFFFF, 0xFFFFFFFF), 0);
}

}  // namespace
}  // namespace tessaly::pagesmith
