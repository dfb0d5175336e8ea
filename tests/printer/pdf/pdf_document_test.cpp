// The PDF front end: small PDFs written here, played through the engine
// alone (pixels) and through the real driver (the job's markup), and bad
// input.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "../capture_driver.h"
#include "test_pdf.h"
#include "../../../printer/pdf/src/player_util.h"
#include "pdf/pdf_document.h"
#include "platform/registry.h"
#include "platform/spool_host.h"
#include "support/scrambler.h"
#include "support/text.h"

// Under AddressSanitizer freed memory is held back, so peaks say little.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESSALY_NO_PEAK_CHECKS 1
#endif
#elif defined(__SANITIZE_ADDRESS__)
#define TESSALY_NO_PEAK_CHECKS 1
#endif

namespace tessaly {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

using testing::makePdf;

// A 200 x 100 pt page: a red square (nonzero fill), a blue square with a
// hole (even-odd), green clipped to a small square, a black square under a
// scaling transform, a dashed green line 4 pt wide along the top, a CMYK
// and a gray square.
const char kVectorPage[] =
    "1 0 0 rg 10 10 50 50 re f\n"
    "0 0 1 rg 70 10 60 60 re 85 25 30 30 re f*\n"
    "q 150 10 20 20 re W n 0 1 0 rg 140 0 60 100 re f Q\n"
    "q 2 0 0 2 0 0 cm 0 g 70 40 5 5 re f Q\n"
    "0 1 0 RG 4 w [6 4] 0 d 10 95 m 190 95 l S\n"
    "0 1 1 0 k 175 40 20 20 re f\n"
    "0.5 g 175 70 20 15 re f\n";

std::unique_ptr<pdf::Document> openPdf(const std::string& bytes, std::string* error = nullptr) {
    std::string why;
    auto doc = pdf::Document::openBytes({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, "test.pdf",
                                        std::nullopt, &why);
    if (error) *error = why;
    return doc;
}

// The pages played through a driver that hooks nothing, at 72 dpi.
std::vector<testing::CapturedPage> render(pdf::Document& doc, int width, int height,
                                          const pdf::PlayOptions& options = {}) {
    return testing::captureDocument(width, height, [&](gdi::PrinterDevice& device, gdi::DeviceContext& dc) {
        std::string error;
        for (int p = 1; p <= doc.pageCount(); ++p)
            EXPECT_EQ(doc.playPage(p, device, dc, &error, options), 1) << error;
    });
}

uint32_t pixel(const testing::CapturedPage& page, int x, int y) {
    const uint8_t* p = &page.rgb[(size_t(y) * size_t(page.width) + size_t(x)) * 3];
    return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

TEST(PdfDocument, VectorPageDrawsFillsClipsTransformsStrokesAndColours) {
    auto doc = openPdf(makePdf({{200, 100, kVectorPage}}));
    ASSERT_TRUE(doc);
    ASSERT_EQ(doc->pageCount(), 1);
    EXPECT_DOUBLE_EQ(doc->pageSize(1).widthPt, 200);
    EXPECT_DOUBLE_EQ(doc->pageSize(1).heightPt, 100);
    const auto pages = render(*doc, 200, 100);
    ASSERT_EQ(pages.size(), 1u);
    const auto& page = pages[0];
    // PDF y goes up: device y = 100 - y.
    EXPECT_EQ(pixel(page, 35, 65), 0xFF0000u);
    EXPECT_EQ(pixel(page, 75, 65), 0x0000FFu);
    EXPECT_EQ(pixel(page, 100, 50), 0xFFFFFFu);  // the even-odd hole
    EXPECT_EQ(pixel(page, 160, 80), 0x00FF00u);  // inside the clip
    EXPECT_EQ(pixel(page, 145, 80), 0xFFFFFFu);  // outside it
    EXPECT_EQ(pixel(page, 160, 50), 0xFFFFFFu);
    EXPECT_EQ(pixel(page, 145, 15), 0x000000u);  // 70..80 x 40..50 doubled
    EXPECT_EQ(pixel(page, 135, 15), 0xFFFFFFu);
    // Dashes of 6 on, 4 off from x = 10, 4 pt wide around y = 5.
    EXPECT_EQ(pixel(page, 13, 5), 0x00FF00u);
    EXPECT_EQ(pixel(page, 18, 5), 0xFFFFFFu);
    EXPECT_EQ(pixel(page, 23, 4), 0x00FF00u);
    EXPECT_EQ(pixel(page, 13, 9), 0xFFFFFFu);
    const uint32_t cmyk = pixel(page, 185, 50);
    EXPECT_GT(cmyk >> 16, 0xC0u) << std::hex << cmyk;
    EXPECT_LT((cmyk >> 8) & 0xFF, 0x60u) << std::hex << cmyk;
    const uint32_t gray = pixel(page, 185, 22);
    EXPECT_EQ(gray >> 16, gray & 0xFF);
    EXPECT_NEAR(double(gray & 0xFF), 128, 2);

    // Turned a quarter clockwise: the page is 100 x 200 and what was at
    // (x, y) is at (99 - y, x); turned over, at (199 - x, 99 - y).
    EXPECT_DOUBLE_EQ(doc->pageSize(1, 90).widthPt, 100);
    EXPECT_DOUBLE_EQ(doc->pageSize(1, 90).heightPt, 200);
    EXPECT_DOUBLE_EQ(doc->pageSize(1, 45).widthPt, 200);  // not a quarter: no turn
    pdf::PlayOptions quarter;
    quarter.turn = 90;
    const auto turned = render(*doc, 100, 200, quarter);
    ASSERT_EQ(turned.size(), 1u);
    EXPECT_EQ(pixel(turned[0], 99 - 65, 35), 0xFF0000u);
    EXPECT_EQ(pixel(turned[0], 99 - 80, 160), 0x00FF00u);
    pdf::PlayOptions over;
    over.turn = 180;
    const auto upsideDown = render(*doc, 200, 100, over);
    ASSERT_EQ(upsideDown.size(), 1u);
    EXPECT_EQ(pixel(upsideDown[0], 199 - 35, 99 - 65), 0xFF0000u);
    EXPECT_EQ(pixel(upsideDown[0], 199 - 160, 99 - 80), 0x00FF00u);
}

TEST(PdfDocument, ImagesKeepTheirOrientationColoursAndMasks) {
    // A 2 x 2 RGB image (red, green over blue, white) on 10..30 x 10..30, a
    // 2 x 1 stencil (painted where the bit is 0) in blue on 40..60, and the
    // same RGB image with its white keyed out, over a black square, on
    // 70..90.
    const std::string rgb("\xFF\x00\x00\x00\xFF\x00\x00\x00\xFF\xFF\xFF\xFF", 12);
    const std::string content =
        "q 20 0 0 20 10 10 cm BI /W 2 /H 2 /CS /RGB /BPC 8 ID " + rgb + "\nEI Q\n"
        "q 0 0 1 rg 20 0 0 20 40 10 cm BI /W 2 /H 1 /IM true /BPC 1 ID \x40\nEI Q\n"
        "0 g 70 10 20 20 re f\n"
        "q 20 0 0 20 70 10 cm BI /W 2 /H 2 /CS /RGB /BPC 8 /Mask [250 255 250 255 250 255] ID " + rgb + "\nEI Q\n";
    auto doc = openPdf(makePdf({{100, 40, content}}));
    ASSERT_TRUE(doc);
    const auto pages = render(*doc, 100, 40);
    ASSERT_EQ(pages.size(), 1u);
    const auto& page = pages[0];
    // The first row of an image is its top.
    EXPECT_EQ(pixel(page, 15, 15), 0xFF0000u);
    EXPECT_EQ(pixel(page, 25, 15), 0x00FF00u);
    EXPECT_EQ(pixel(page, 15, 25), 0x0000FFu);
    EXPECT_EQ(pixel(page, 25, 25), 0xFFFFFFu);
    EXPECT_EQ(pixel(page, 45, 20), 0x0000FFu);
    EXPECT_EQ(pixel(page, 55, 20), 0xFFFFFFu);
    EXPECT_EQ(pixel(page, 75, 15), 0xFF0000u);
    EXPECT_EQ(pixel(page, 85, 25), 0x000000u);  // keyed out: the black shows
}

TEST(PdfDocument, APageOfAnotherSizeIsFittedAndCentred) {
    // A 100 x 100 pt page on a 200 x 100 device: drawn in the middle.
    auto doc = openPdf(makePdf({{100, 100, "1 0 0 rg 0 0 100 100 re f\n"}}));
    ASSERT_TRUE(doc);
    const auto pages = render(*doc, 200, 100);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pixel(pages[0], 25, 50), 0xFFFFFFu);
    EXPECT_EQ(pixel(pages[0], 100, 50), 0xFF0000u);
    EXPECT_EQ(pixel(pages[0], 175, 50), 0xFFFFFFu);
}

// Channels of two colours within a tolerance.
::testing::AssertionResult near(uint32_t got, uint32_t want, int tolerance = 10) {
    for (int shift = 0; shift <= 16; shift += 8) {
        const int a = int(got >> shift & 0xFF), b = int(want >> shift & 0xFF);
        if (std::abs(a - b) > tolerance)
            return ::testing::AssertionFailure() << std::hex << got << " is not near " << want;
    }
    return ::testing::AssertionSuccess();
}

TEST(PdfDocument, TransparencySoftMasksGroupsShadingsAndPatternsArePainted) {
    // A black bar along y 5..15, then: an axial shading red to blue
    // clipped to 80..110 (the first thing rasterised, while Gfx has
    // antialiasing off); red at half opacity (5..25); blue under a
    // luminosity mask that is white on 40..55 only; a group of two
    // overlapping red squares painted at half opacity as one (120..150); a
    // pattern of blue points four apart (160..200, more cells than are
    // drawn one by one).
    const std::string content =
        "0 g 0 5 160 10 re f\n"
        "q 80 20 30 15 re W n /Sh sh Q\n"
        "q /Half gs 1 0 0 rg 5 5 20 30 re f Q\n"
        "q /Mask gs 0 0 1 rg 40 20 30 15 re f Q\n"
        "q /Half gs /Grp Do Q\n"
        "q /Pattern cs /T scn 160 4 40 32 re f Q\n";
    const std::string mask = "1 g 40 0 15 40 re f";
    const std::string group = "1 0 0 rg 120 20 20 15 re f 130 20 20 15 re f";
    const auto stream = [](const std::string& dict, const std::string& data) {
        return "<< " + dict + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
    };
    const std::string form = "/Type /XObject /Subtype /Form /BBox [0 0 160 40] /Group << /S /Transparency >>";
    auto doc = openPdf(testing::makePdfOfObjects({
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 40] /Contents 4 0 R /Resources << /ExtGState << "
        "/Half 5 0 R /Mask 6 0 R >> /Shading << /Sh 8 0 R >> /XObject << /Grp 9 0 R >> /Pattern << /T 10 0 R >> "
        ">> >>",
        stream("", content),
        "<< /Type /ExtGState /ca 0.5 >>",
        "<< /Type /ExtGState /SMask << /S /Luminosity /G 7 0 R >> >>",
        stream("/Type /XObject /Subtype /Form /BBox [0 0 160 40] /Group << /S /Transparency /I true /CS "
               "/DeviceGray >>",
               mask),
        "<< /ShadingType 2 /ColorSpace /DeviceRGB /Coords [80 0 110 0] /Extend [true true] /Function "
        "<< /FunctionType 2 /Domain [0 1] /C0 [1 0 0] /C1 [0 0 1] /N 1 >> >>",
        stream(form, group),
        stream("/PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 4 4] /XStep 4 /YStep 4 /Resources << >>",
               "0 0 1 rg 0 0 2 2 re f"),
    }));
    ASSERT_TRUE(doc);
    const auto pages = render(*doc, 200, 40);
    ASSERT_EQ(pages.size(), 1u);
    const auto& page = pages[0];
    EXPECT_TRUE(near(pixel(page, 10, 30), 0x800000));  // half red on black
    EXPECT_TRUE(near(pixel(page, 10, 12), 0xFF8080));  // half red on white
    EXPECT_TRUE(near(pixel(page, 45, 12), 0x0000FF));  // the mask lets it through
    EXPECT_EQ(pixel(page, 65, 12), 0xFFFFFFu);         // the mask holds it back
    EXPECT_EQ(pixel(page, 50, 30), 0x000000u);         // outside the masked fill
    EXPECT_TRUE(near(pixel(page, 81, 12), 0xF8000A, 16));
    EXPECT_TRUE(near(pixel(page, 95, 12), 0x800080, 16));
    EXPECT_TRUE(near(pixel(page, 109, 12), 0x0800F8, 16));
    EXPECT_EQ(pixel(page, 75, 12), 0xFFFFFFu);  // outside the shading's clip
    EXPECT_TRUE(near(pixel(page, 125, 12), 0xFF8080));
    EXPECT_TRUE(near(pixel(page, 135, 12), 0xFF8080));  // the overlap is not darker
    // A point of the pattern, the gaps beside and below it (the rasteriser
    // places the cells to the pixel).
    EXPECT_EQ(pixel(page, 160, 8), 0x0000FFu);
    EXPECT_EQ(pixel(page, 163, 8), 0xFFFFFFu);
    EXPECT_EQ(pixel(page, 160, 9), 0xFFFFFFu);
}

TEST(PdfDocument, DashPhasesFoldIntoThePattern) {
    using pdf::dashPattern;
    EXPECT_TRUE(dashPattern({}, 0).empty());
    EXPECT_EQ(dashPattern({3}, 0), (std::vector<double>{3, 3}));
    EXPECT_EQ(dashPattern({6, 4}, 0), (std::vector<double>{6, 4}));
    // Two into the "on" piece: its rest, the off piece, its start, nothing off.
    EXPECT_EQ(dashPattern({6, 4}, 2), (std::vector<double>{4, 4, 2, 0}));
    // Seven: inside the "off" piece: an empty on piece leads.
    EXPECT_EQ(dashPattern({6, 4}, 7), (std::vector<double>{0, 3, 6, 1}));
    EXPECT_EQ(dashPattern({6, 4}, -3), dashPattern({6, 4}, 7));
    EXPECT_TRUE(dashPattern({0, 0}, 0).empty());
    EXPECT_TRUE(dashPattern({1, -1}, 0).empty());
    EXPECT_TRUE(dashPattern(std::vector<double>(16, 1), 0.5).empty());  // eighteen lengths
}

TEST(PdfDocument, PageRanges) {
    std::vector<int> pages;
    std::string error;
    ASSERT_EQ(pdf::parsePageRange("1-3, 5,8-", 9, &pages, &error), 1) << error;
    EXPECT_EQ(pages, (std::vector<int>{1, 2, 3, 5, 8, 9}));
    ASSERT_EQ(pdf::parsePageRange("-2", 9, &pages, &error), 1);
    EXPECT_EQ(pages, (std::vector<int>{1, 2}));
    for (const char* bad : {"", "0", "3-1", "1,,2", "x", "-", "10", "2-10"}) {
        EXPECT_EQ(pdf::parsePageRange(bad, 9, &pages, &error), 0) << bad;
        EXPECT_FALSE(error.empty());
    }
}

TEST(PdfDocument, BadInputGivesAClearError) {
    std::string error;
    pdf::PdfError kind = pdf::PdfError::None;
    const fs::path missing = fs::temp_directory_path() / ("tessaly-no-such-" + std::to_string(getpid()) + ".pdf");
    EXPECT_FALSE(pdf::Document::open(missing.string(), std::nullopt, &error, &kind));
    EXPECT_EQ(kind, pdf::PdfError::CannotOpen);
    EXPECT_EQ(error, "cannot open " + missing.string() + ": No such file or directory");
    EXPECT_FALSE(pdf::Document::open(fs::temp_directory_path().string(), std::nullopt, &error, &kind));
    EXPECT_EQ(kind, pdf::PdfError::CannotOpen);

    const std::string garbage(3000, '\x9c');
    for (const std::string& bytes : {garbage, std::string(), std::string("%PDF-1.4\n1 0 obj <<")}) {
        EXPECT_FALSE(pdf::Document::openBytes({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()},
                                              "bad.pdf", std::nullopt, &error, &kind));
        EXPECT_EQ(kind, pdf::PdfError::Damaged);
        EXPECT_EQ(error.rfind("bad.pdf is damaged", 0), 0u) << error;
    }

    // Truncated anywhere: a clear error, or a document whose pages play
    // (poppler repairs what it can).
    const std::string whole = makePdf({{200, 100, kVectorPage}, {100, 100, "0 g 0 0 10 10 re f"}});
    for (size_t cut = 0; cut < whole.size(); cut += 37) {
        auto doc = openPdf(whole.substr(0, cut), &error);
        if (!doc) {
            EXPECT_FALSE(error.empty()) << cut;
            continue;
        }
        (void)render(*doc, 200, 100);
    }

    // A cross-reference table that points nowhere is rebuilt from the objects.
    std::string damaged = whole;
    for (size_t at = damaged.find(" 00000 n"); at != std::string::npos; at = damaged.find(" 00000 n", at + 1))
        damaged[at - 1] = '7';
    auto repaired = openPdf(damaged, &error);
    ASSERT_TRUE(repaired) << error;
    const auto repairedPages = render(*repaired, 200, 100);
    ASSERT_EQ(repairedPages.size(), 2u);
    EXPECT_EQ(pixel(repairedPages[0], 35, 65), 0xFF0000u);

    auto doc = openPdf(whole);
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->pageSize(3).widthPt, 0);
    testing::setCapturePage(10, 10, 72);
    PrinterDevMode mode;
    ASSERT_EQ(buildDevMode({}, nullptr, {}, &mode, &error), 1);
    auto device = gdi::PrinterDevice::open(testing::captureDriver(), mode.devmode(), u"capture", &error);
    ASSERT_TRUE(device);
    gdi::DeviceContext dc(*device);
    ASSERT_TRUE(dc.startDoc(u"pdf", 1));
    EXPECT_EQ(doc->playPage(3, *device, dc, &error, {}, &kind), 0);
    EXPECT_EQ(kind, pdf::PdfError::BadPage);
    EXPECT_EQ(error, "page 3 is not in test.pdf (2 pages)");
    EXPECT_TRUE(dc.endDoc());
}

// The highest resident memory of this process so far, in megabytes.
long peakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// Page 1 played through a driver that hooks nothing, at 72 dpi, with the
// given options; the note it left in *note.
testing::CapturedPage playFirst(pdf::Document& doc, int width, int height, pdf::PlayOptions options,
                                std::string* note) {
    testing::setCapturePage(width, height, 72);
    PrinterDevMode mode;
    std::string error;
    EXPECT_EQ(buildDevMode({}, nullptr, {}, &mode, &error), 1) << error;
    auto device = gdi::PrinterDevice::open(testing::captureDriver(), mode.devmode(), u"capture", &error);
    if (!device) {
        ADD_FAILURE() << error;
        return {};
    }
    options.note = note;
    {
        gdi::DeviceContext dc(*device);
        EXPECT_TRUE(dc.startDoc(u"pdf", 1));
        EXPECT_EQ(doc.playPage(1, *device, dc, &error, options), 1) << error;
        EXPECT_TRUE(dc.endDoc());
    }
    device.reset();
    auto pages = testing::takeCapturedPages();
    return pages.empty() ? testing::CapturedPage{} : pages[0];
}

// Hostile documents end with a bounded result: claims of huge page counts,
// sizes and images allocate nothing by the claim, nesting and endless
// content end, and what was drawn before a cut stays.
TEST(PdfDocument, HostileDocumentsStayBounded) {
    const long before = peakMegabytes();
    std::string note;

    // Ten million pages claimed, one there: poppler refuses the count; three
    // claimed, one there: the pages that cannot be read are blank, with a
    // note. The page is clamped to the largest paper, and to a point.
    auto claim = [](const std::string& count) {
        return testing::makePdfOfObjects(
            {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count " + count + " >>",
             "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 1000000 0.01] /Contents 4 0 R >>",
             "<< /Length 23 >>\nstream\n1 0 0 rg 0 0 10 10 re f\nendstream"});
    };
    EXPECT_FALSE(openPdf(claim("10000000"), &note));
    EXPECT_EQ(note, "test.pdf is damaged: it has no pages (Page count (10000000) larger than number of objects (5))");
    auto claims = openPdf(claim("3"));
    ASSERT_TRUE(claims);
    EXPECT_EQ(claims->pageCount(), 3);
    EXPECT_DOUBLE_EQ(claims->pageSize(1).widthPt, pdf::kMaxPageSidePt);
    EXPECT_DOUBLE_EQ(claims->pageSize(1).heightPt, 1);
    EXPECT_EQ(claims->pageSize(2).widthPt, 0);
    {
        testing::setCapturePage(20, 20, 72);
        PrinterDevMode mode;
        std::string error;
        ASSERT_EQ(buildDevMode({}, nullptr, {}, &mode, &error), 1);
        auto device = gdi::PrinterDevice::open(testing::captureDriver(), mode.devmode(), u"capture", &error);
        ASSERT_TRUE(device);
        gdi::DeviceContext dc(*device);
        ASSERT_TRUE(dc.startDoc(u"pdf", 1));
        pdf::PlayOptions options;
        options.note = &note;
        EXPECT_EQ(claims->playPage(3, *device, dc, &error, options), 1) << error;
        EXPECT_EQ(note, "page 3 cannot be read; it is left blank");
        EXPECT_TRUE(dc.endDoc());
        EXPECT_EQ(testing::takeCapturedPages().size(), 1u);
    }

    // A page twice as wide as the largest paper is scaled onto it whole.
    auto wide = openPdf(makePdf({{18576, 100, "1 0 0 rg 9288 0 9288 100 re f"}}));
    ASSERT_TRUE(wide);
    const auto scaled = playFirst(*wide, 9288, 50, {}, &note);
    ASSERT_EQ(scaled.width, 9288);
    EXPECT_EQ(pixel(scaled, 4000, 25), 0xFFFFFFu);
    EXPECT_EQ(pixel(scaled, 7000, 25), 0xFF0000u);

    // An image claiming a million pixels a side (its data ends at once), a
    // form that draws itself, and twenty thousand unclosed saves.
    const std::string image = "<< /Type /XObject /Subtype /Image /Width 1000000 /Height 1000000 /ColorSpace "
                              "/DeviceGray /BitsPerComponent 8 /Length 4 >>\nstream\n\x80\x80\x80\x80\nendstream";
    const std::string again = "0 0 1 rg 0 0 5 5 re f /Me Do";
    const std::string selfForm = "<< /Type /XObject /Subtype /Form /BBox [0 0 50 50] /Resources << /XObject << "
                                 "/Me 6 0 R >> >> /Length " + std::to_string(again.size()) + " >>\nstream\n" +
                                 again + "\nendstream";
    std::string saves;
    for (int i = 0; i < 20000; ++i) saves += "q ";
    const std::string content = "q 40 0 0 40 0 0 cm /Im Do Q /Me Do " + saves + "0 1 0 rg 40 40 10 10 re f";
    auto nested = openPdf(testing::makePdfOfObjects(
        {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
         "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 50 50] /Contents 4 0 R /Resources << /XObject << "
         "/Im 5 0 R /Me 6 0 R >> >> >>",
         "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream", image,
         selfForm}));
    ASSERT_TRUE(nested);
    const auto page = playFirst(*nested, 50, 50, {}, &note);
    ASSERT_EQ(page.width, 50);
    EXPECT_EQ(pixel(page, 2, 48), 0x0000FFu);  // the form drawn (again and again)
    EXPECT_EQ(pixel(page, 45, 5), 0x00FF00u);  // after the saves
    EXPECT_EQ(note, "");

    // Forms that each draw the next ten times, eight deep (a hundred million
    // fills), and a long page: both cut short by the operations cap, with
    // what was drawn before kept.
    const std::string top = "1 0 0 rg 0 0 50 50 re f /F Do 0 0 1 rg 0 0 50 50 re f";
    std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 50 50] /Contents 4 0 R /Resources << /XObject << /F 5 0 R "
        ">> >> >>",
        "<< /Length " + std::to_string(top.size()) + " >>\nstream\n" + top + "\nendstream"};
    for (int depth = 0; depth < 8; ++depth) {
        const std::string body = depth < 7 ? "/F Do /F Do /F Do /F Do /F Do /F Do /F Do /F Do /F Do /F Do"
                                           : "0 1 0 rg 60 60 1 1 re f";
        objects.push_back("<< /Type /XObject /Subtype /Form /BBox [0 0 50 50] /Resources << /XObject << /F " +
                          std::to_string(objects.size() + 2) + " 0 R >> >> /Length " + std::to_string(body.size()) +
                          " >>\nstream\n" + body + "\nendstream");
    }
    auto fanOut = openPdf(testing::makePdfOfObjects(objects));
    ASSERT_TRUE(fanOut);
    pdf::PlayOptions capped;
    capped.maxOperations = 20000;
    const auto cut = playFirst(*fanOut, 50, 50, capped, &note);
    EXPECT_EQ(note, "page 1 was cut short after 20000 operations");
    EXPECT_EQ(pixel(cut, 25, 25), 0xFF0000u);  // the blue after the forms never came

    std::string fills = "1 0 0 rg 0 0 50 50 re f\n";
    for (int i = 0; i < 50000; ++i) fills += "0 0 1 rg 0 0 1 1 re f\n";
    auto longPage = openPdf(makePdf({{50, 50, fills}}));
    ASSERT_TRUE(longPage);
    capped.maxOperations = 1000;
    const auto shortened = playFirst(*longPage, 50, 50, capped, &note);
    EXPECT_EQ(note, "page 1 was cut short after 1000 operations");
    EXPECT_EQ(pixel(shortened, 25, 25), 0xFF0000u);
    std::string widths = "1 0 0 rg 0 0 50 50 re f\n";  // operators that draw nothing count too
    for (int i = 0; i < 30000; ++i) widths += "1 w ";
    widths += "0 0 1 rg 0 0 50 50 re f";
    auto idle = openPdf(makePdf({{50, 50, widths}}));
    ASSERT_TRUE(idle);
    EXPECT_EQ(pixel(playFirst(*idle, 50, 50, capped, &note), 25, 25), 0xFF0000u);
    EXPECT_EQ(note, "page 1 was cut short after 1000 operations");
    capped.maxOperations = 0;  // no cap: the whole page, no note
    (void)playFirst(*longPage, 50, 50, capped, &note);
    EXPECT_EQ(note, "");

#ifndef TESSALY_NO_PEAK_CHECKS
    EXPECT_LT(peakMegabytes() - before, 300) << "megabytes more at the peak";
#else
    (void)before;
#endif
}

// A 20 x 20 pt red page, encrypted (RC4, 40 bits) with the user password
// "secret" and the owner password "owner".
const char kEncrypted[] =
    "%PDF-1.4\n"
    "1 0 obj\n"
    "<< /Type /Catalog /Pages 2 0 R >>\n"
    "endobj\n"
    "2 0 obj\n"
    "<< /Type /Pages /Kids [3 0 R] /Count 1 >>\n"
    "endobj\n"
    "3 0 obj\n"
    "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 20 20] /Contents 4 0 R >>\n"
    "endobj\n"
    "4 0 obj\n"
    "<< /Length 23 >>\n"
    "stream\n"
    "Q\x04""\xaa""n\x84""\xd0""\x93""\xac""\x13""a\xa6""1\xa2""{e_x@;\x7f""\xd4""1<\n"
    "endstream\n"
    "endobj\n"
    "5 0 obj\n"
    "<< /Filter /Standard /V 1 /R 2 /O <92fe0f4454ad4c9644693f33c07cb54f587dce1e2682fe9ecea6107a1ef630dd> /U <902d6c0d6b77adef97ca1c71e49308c613b917b2ad6ef711a0cb410737994360> /P -4 >>\n"
    "endobj\n"
    "xref\n"
    "0 6\n"
    "0000000000 65535 f \n"
    "0000000009 00000 n \n"
    "0000000058 00000 n \n"
    "0000000115 00000 n \n"
    "0000000200 00000 n \n"
    "0000000273 00000 n \n"
    "trailer\n"
    "<< /Size 6 /Root 1 0 R /Encrypt 5 0 R /ID [<30313233343536373839616263646566> <30313233343536373839616263646566>] >>\n"
    "startxref\n"
    "468\n"
    "%%EOF\n"
    "";

TEST(PdfDocument, EncryptedDocumentsNeedTheirPassword) {
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(kEncrypted), sizeof kEncrypted - 1);
    std::string error;
    pdf::PdfError kind = pdf::PdfError::None;
    EXPECT_FALSE(pdf::Document::openBytes(bytes, "locked.pdf", std::nullopt, &error, &kind));
    EXPECT_EQ(kind, pdf::PdfError::Encrypted);
    EXPECT_EQ(error, "locked.pdf is encrypted: it needs a password");
    EXPECT_FALSE(pdf::Document::openBytes(bytes, "locked.pdf", std::string("guess"), &error, &kind));
    EXPECT_EQ(error, "locked.pdf is encrypted and the password is wrong");
    for (const char* password : {"secret", "owner"}) {
        auto doc = pdf::Document::openBytes(bytes, "locked.pdf", std::string(password), &error, &kind);
        ASSERT_TRUE(doc) << error;
        const auto pages = render(*doc, 20, 20);
        ASSERT_EQ(pages.size(), 1u);
        EXPECT_EQ(pixel(pages[0], 10, 10), 0xFF0000u) << password;
    }
}

// The vector page printed through the real driver, then a page of another
// size after a reset of the paper: the shapes and colours reach the job's
// markup as vector shapes, not images, and each frame has its page's size.
TEST(PdfDocument, PrintedPagesAreShapesInTheMarkupOnPaperOfTheirOwnSize) {
    const fs::path root = fs::temp_directory_path() / ("tessaly-pdf-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "spool");
    setenv("TESSALY_REGISTRY_ROOT", (root / "registry").c_str(), 1);
    ValueStore store((root / "registry").string());
    ASSERT_EQ(store.writeString("SpoolPath", toWide((root / "spool").string())), kRegistryOk);
    ASSERT_EQ(store.writeString("BasePath", toWide(std::string(TESSALY_SOURCE_DIR) + "/data/")), kRegistryOk);

    auto doc = openPdf(makePdf({{200, 100, kVectorPage}, {150, 100, "0 0 1 rg 0 0 150 100 re f"}}));
    ASSERT_TRUE(doc);
    SpoolOptions options;
    options.driverPath = std::string(TESSALY_LIB_DIR) + "/libpagesmith.so";
    options.request.dpi = 72;
    options.request.imagePages = false;
    options.request.paperWidthTenths = 706;  // 200 pt
    options.request.paperLengthTenths = 353;
    std::string error;
    {
        SpoolHost host;
        ASSERT_EQ(host.open(options, &error), 1) << error;
        gdi::DeviceContext& dc = host.context();
        ASSERT_TRUE(dc.startDoc(u"pdf", 9));
        EXPECT_EQ(doc->playPage(1, host.device(), dc, &error), 1) << error;
        EXPECT_EQ(host.resetPaper(0, 100, &error), 0);
        EXPECT_EQ(host.resetPaper(529, 353, &error), 1) << error;  // landscape
        EXPECT_EQ(host.device().pageWidth(), 150);
        EXPECT_EQ(host.device().pageHeight(), 100);
        EXPECT_EQ(doc->playPage(2, host.device(), dc, &error), 1) << error;
        EXPECT_TRUE(dc.endDoc());
    }
    fs::path job;
    for (const auto& entry : fs::directory_iterator(root / "spool"))
        if (entry.is_directory()) job = entry.path();
    ASSERT_FALSE(job.empty());
    std::string markup = readFile(job / "media.mml");
    (void)unscramble(reinterpret_cast<uint8_t*>(markup.data()), markup.size(), jobKey());
    EXPECT_EQ(markup.find("<Image "), std::string::npos) << markup.substr(0, 3000);
    EXPECT_NE(markup.find("<Shape>"), std::string::npos);
    for (const char* colour : {"#FF0000", "#0000FF", "#00FF00", "#000000"})
        EXPECT_NE(markup.find(std::string("color=\"") + colour + "\""), std::string::npos) << colour;
    EXPECT_NE(markup.find("<LineStyle width=\"4\""), std::string::npos) << markup.substr(0, 3000);
    const size_t second = markup.find("<Frame ", markup.find("<Frame ") + 1);
    ASSERT_NE(second, std::string::npos);
    EXPECT_NE(markup.find("width=\"200\" height=\"100\""), std::string::npos) << markup.substr(0, 300);
    EXPECT_NE(markup.find("width=\"150\" height=\"100\"", second), std::string::npos)
        << markup.substr(second, 300);
    EXPECT_EQ(readFile(job / "_status"), "end:2");
    unsetenv("TESSALY_REGISTRY_ROOT");
    fs::remove_all(root);
}

TEST(PdfDocument, OnlyTheTransparentPaintBecomesAPictureOfItsOwnBounds) {
    // An opaque red square, and blue at half opacity on 100..150 x 40..80
    // (device pixels at 72 dpi, y down).
    const fs::path root = fs::temp_directory_path() / ("tessaly-pdf-alpha-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "spool");
    setenv("TESSALY_REGISTRY_ROOT", (root / "registry").c_str(), 1);
    ValueStore store((root / "registry").string());
    ASSERT_EQ(store.writeString("SpoolPath", toWide((root / "spool").string())), kRegistryOk);
    ASSERT_EQ(store.writeString("BasePath", toWide(std::string(TESSALY_SOURCE_DIR) + "/data/")), kRegistryOk);
    const std::string content = "1 0 0 rg 10 10 50 50 re f q /Half gs 0 0 1 rg 100 20 50 40 re f Q";
    auto doc = openPdf(testing::makePdfOfObjects({
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Contents 4 0 R /Resources << /ExtGState << "
        "/Half << /ca 0.5 >> >> >> >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
    }));
    ASSERT_TRUE(doc);
    SpoolOptions options;
    options.driverPath = std::string(TESSALY_LIB_DIR) + "/libpagesmith.so";
    options.request.dpi = 72;
    options.request.imagePages = false;
    options.request.paperWidthTenths = 706;
    options.request.paperLengthTenths = 353;
    std::string error;
    {
        SpoolHost host;
        ASSERT_EQ(host.open(options, &error), 1) << error;
        gdi::DeviceContext& dc = host.context();
        ASSERT_TRUE(dc.startDoc(u"pdf", 9));
        EXPECT_EQ(doc->playPage(1, host.device(), dc, &error), 1) << error;
        EXPECT_TRUE(dc.endDoc());
    }
    fs::path job;
    for (const auto& entry : fs::directory_iterator(root / "spool"))
        if (entry.is_directory()) job = entry.path();
    ASSERT_FALSE(job.empty());
    std::string markup = readFile(job / "media.mml");
    (void)unscramble(reinterpret_cast<uint8_t*>(markup.data()), markup.size(), jobKey());
    EXPECT_NE(markup.find("color=\"#FF0000\""), std::string::npos) << markup.substr(0, 3000);
    const size_t image = markup.find("<Image ");
    ASSERT_NE(image, std::string::npos) << markup.substr(0, 3000);
    EXPECT_EQ(markup.find("<Image ", image + 1), std::string::npos) << markup.substr(0, 3000);
    EXPECT_NE(markup.find("pos=\"100,40\"", image), std::string::npos) << markup.substr(image, 300);
    unsetenv("TESSALY_REGISTRY_ROOT");
    fs::remove_all(root);
}

}  // namespace
}  // namespace tessaly
