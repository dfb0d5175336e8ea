// The whole road of a print job: a drawing played into the device context,
// the real driver loaded by the spool host, the job directory it writes, and
// the conversion of that job into a movie.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "capture_driver.h"
#include "composer/conversion_job.h"
#include "composer/mml_interpreter.h"
#include "image/image.h"
#include "platform/gdi_engine_control.h"
#include "platform/gdi_fonts.h"
#include "platform/registry.h"
#include "platform/spool_host.h"
#include "script/print_script.h"
#include "support/scrambler.h"
#include "support/text.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

const std::string kDriver = std::string(TESSALY_LIB_DIR) + "/libpagesmith.so";
const std::string kData = std::string(TESSALY_SOURCE_DIR) + "/data/";
constexpr int kDpi = 100;

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A printer of its own: a value store naming a scratch spool directory and
// the repository's data directory.
class ScratchPrinter {
public:
    ScratchPrinter() {
        root_ = fs::temp_directory_path() / ("tessaly-road-" + std::to_string(getpid()) + "-" + std::to_string(++count_));
        fs::remove_all(root_);
        fs::create_directories(spool());
        setenv("TESSALY_REGISTRY_ROOT", (root_ / "registry").c_str(), 1);
        ValueStore store((root_ / "registry").string());
        EXPECT_EQ(store.writeString("SpoolPath", toWide(spool().string())), kRegistryOk);
        EXPECT_EQ(store.writeString("BasePath", toWide(kData)), kRegistryOk);
    }
    ~ScratchPrinter() {
        unsetenv("TESSALY_REGISTRY_ROOT");
        fs::remove_all(root_);
    }

    fs::path spool() const { return root_ / "spool"; }
    fs::path root() const { return root_; }

    // Prints the script; returns the job directory it made ("" on failure).
    fs::path print(const script::Script& drawing, const PrintRequest& request, bool* banded = nullptr) {
        SpoolHost host;
        SpoolOptions options;
        options.driverPath = kDriver;
        options.request = request;
        std::string error;
        if (!host.open(options, &error)) {
            ADD_FAILURE() << error;
            return {};
        }
        if (banded) *banded = host.device().banding();
        gdi::DeviceContext& dc = host.context();
        EXPECT_TRUE(dc.startDoc(u"road test", 7)) << dc.errorText();
        script::PlayOptions play;
        play.dpi = host.device().dpiY();
        EXPECT_EQ(script::playScript(drawing, dc, play, &error), 1) << error;
        EXPECT_TRUE(dc.endDoc()) << dc.errorText();
        host.close();
        std::set<fs::path> jobs;
        for (const auto& entry : fs::directory_iterator(spool())) {
            if (entry.is_directory() && !seen_.count(entry.path())) jobs.insert(entry.path());
        }
        EXPECT_EQ(jobs.size(), 1u);
        if (jobs.size() != 1) return {};
        seen_.insert(*jobs.begin());
        return *jobs.begin();
    }

private:
    static inline int count_ = 0;
    fs::path root_;
    std::set<fs::path> seen_;
};

script::Script testDocument() {
    script::Script drawing;
    std::string error;
    EXPECT_EQ(script::parseScript(script::testDocumentScript(), &drawing, &error), 1) << error;
    return drawing;
}

PrintRequest imageRequest() {
    PrintRequest request;
    request.dpi = kDpi;
    request.imagePages = true;
    return request;
}

// Pixels of a page image, rows without padding (red, green, blue).
std::vector<uint8_t> pixels(const Image& image) {
    std::vector<uint8_t> out;
    out.reserve(size_t(image.width()) * image.height() * 3);
    for (uint32_t y = 0; y < image.height(); ++y) {
        const uint8_t* row = image.rgbRow(y);
        out.insert(out.end(), row, row + size_t(image.width()) * 3);
    }
    return out;
}

std::vector<std::vector<uint8_t>> pageImages(const fs::path& job, size_t pages, int* width, int* height) {
    std::vector<std::vector<uint8_t>> out;
    for (size_t n = 0; n < pages; ++n) {
        Image image;
        const fs::path file = job / ("altpage" + std::to_string(n) + ".bag");
        EXPECT_EQ(image.load(file.string()), kImageOk) << file << ": " << image.loadError();
        *width = int(image.width());
        *height = int(image.height());
        out.push_back(pixels(image));
    }
    return out;
}

size_t differingPixels(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size()) return SIZE_MAX;
    size_t n = 0;
    for (size_t i = 0; i + 2 < a.size(); i += 3) n += a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2];
    return n;
}

TEST(PrintRoad, ImagePagesAreWhatTheLayerRenderedAndConvertIntoAMovie) {
    ScratchPrinter printer;
    const script::Script drawing = testDocument();
    const fs::path job = printer.print(drawing, imageRequest());
    ASSERT_FALSE(job.empty());
    EXPECT_EQ(readText(job / "_status"), "end:3");
    EXPECT_TRUE(fs::exists(job / "media.settings"));

    int width = 0, height = 0;
    const auto printed = pageImages(job, 3, &width, &height);
    // Letter at 100 dpi.
    EXPECT_EQ(width, 850);
    EXPECT_EQ(height, 1100);

    // The same drawing through a driver that hooks nothing: the engine's
    // rendering alone.
    testing::setCapturePage(width, height, kDpi);
    PrinterDevMode mode;
    std::string error;
    ASSERT_EQ(buildDevMode({}, nullptr, imageRequest(), &mode, &error), 1) << error;
    auto device = gdi::PrinterDevice::open(testing::captureDriver(), mode.devmode(), u"capture", &error);
    ASSERT_TRUE(device) << error;
    {
        gdi::DeviceContext dc(*device);
        ASSERT_TRUE(dc.startDoc(u"capture", 1));
        script::PlayOptions play;
        play.dpi = kDpi;
        ASSERT_EQ(script::playScript(drawing, dc, play, &error), 1) << error;
        ASSERT_TRUE(dc.endDoc());
    }
    device.reset();
    const auto rendered = testing::takeCapturedPages();
    ASSERT_EQ(rendered.size(), 3u);
    for (size_t n = 0; n < 3; ++n) {
        ASSERT_EQ(rendered[n].width, width);
        ASSERT_EQ(rendered[n].height, height);
        EXPECT_EQ(differingPixels(printed[n], rendered[n].rgb), 0u) << "page " << n;
        // And the page is not blank.
        EXPECT_GT(differingPixels(printed[n], std::vector<uint8_t>(printed[n].size(), 0xFF)), 1000u) << "page " << n;
    }

    ConversionJob conversion;
    (void)conversion.setBaseDirectory(kData);
    ASSERT_EQ(conversion.openJob(job.string() + "/"), 1) << conversion.errorText();
    const fs::path movie = printer.root() / "movie.swf";
    ASSERT_EQ(conversion.convert(movie.string()), 1) << conversion.errorText();
    const std::string bytes = readText(movie);
    ASSERT_GT(bytes.size(), 1000u);
    EXPECT_TRUE(bytes.compare(0, 3, "FWS") == 0 || bytes.compare(0, 3, "CWS") == 0);
    EXPECT_EQ(conversion.index().pages.size(), 3u);
}

// Renders a script through the driver that hooks nothing: the engine alone.
std::vector<testing::CapturedPage> capture(std::string_view text, int width, int height) {
    script::Script drawing;
    std::string error;
    EXPECT_EQ(script::parseScript(text, &drawing, &error), 1) << error;
    return testing::captureDocument(width, height, [&](gdi::PrinterDevice&, gdi::DeviceContext& dc) {
        script::PlayOptions play;
        play.dpi = 72;
        EXPECT_EQ(script::playScript(drawing, dc, play, &error), 1) << error;
    });
}

TEST(PrintRoad, ASpaceLeavesThePageWhiteAfterOtherGlyphs) {
    // Glyphs with outlines first, then spaces alone far from them: a space
    // has an empty outline and must not take another glyph's.
    const auto pages = capture(
        "units px\npage\nfont \"DejaVu Sans\" 40\ntext 10 50 \"dog\"\ntext 10 150 \"   \"\nendpage\n", 200, 200);
    ASSERT_EQ(pages.size(), 1u);
    const auto& page = pages[0];
    size_t inkAbove = 0, inkBelow = 0;
    for (int y = 0; y < page.height; ++y) {
        for (int x = 0; x < page.width; ++x) {
            const bool ink = page.rgb[(size_t(y) * page.width + x) * 3] < 128;
            (y < 100 ? inkAbove : inkBelow) += ink;
        }
    }
    EXPECT_GT(inkAbove, 100u);
    EXPECT_EQ(inkBelow, 0u);
}

TEST(PrintRoad, ScriptTextKeepsItsBackgroundSpacingUnderlineAndGlyphIndices) {
    // Rows of 100 pixels: an opaque text, a plain one after it (the page
    // goes back to transparent text), spaced letters, underlined spaces and
    // glyph indices.
    const auto pages = capture(
        "units px\npage\nfont \"DejaVu Sans\" 40\n"
        "text 10 60 \"ab\" opaque #00FF00\n"
        "text 10 160 \"ab\"\n"
        "text 10 260 \"ll\" spacing 100\n"
        "font \"DejaVu Sans\" 40 underline\n"
        "text 10 360 \"    \"\n"
        "font \"DejaVu Sans\" 40\n"
        "glyphs 10 460 36 37 38\n"
        "endpage\n",
        300, 500);
    ASSERT_EQ(pages.size(), 1u);
    const auto& page = pages[0];
    auto count = [&](int top, int bottom, int left, int right, auto&& test) {
        size_t n = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) n += test(&page.rgb[(size_t(y) * page.width + x) * 3]);
        return n;
    };
    auto green = [](const uint8_t* p) { return p[0] < 64 && p[1] > 192 && p[2] < 64; };
    auto ink = [](const uint8_t* p) { return p[0] < 128 && p[1] < 128 && p[2] < 128; };
    // The point is the baseline's left end: the box reaches above it.
    EXPECT_GT(count(0, 60, 0, 300, green), 500u);
    EXPECT_GT(count(0, 100, 0, 300, ink), 50u);
    EXPECT_EQ(count(100, 500, 0, 300, green), 0u);
    EXPECT_GT(count(100, 200, 0, 300, ink), 50u);
    // Each letter 100 pixels after the one before: two strokes, nothing between.
    EXPECT_GT(count(200, 300, 0, 40, ink), 20u);
    EXPECT_EQ(count(200, 300, 50, 100, ink), 0u);
    EXPECT_GT(count(200, 300, 100, 140, ink), 20u);
    // Spaces have no outline, so the ink below their baseline is the underline.
    EXPECT_GT(count(360, 400, 0, 300, ink), 20u);
    EXPECT_EQ(count(300, 358, 0, 300, ink), 0u);
    EXPECT_GT(count(400, 500, 0, 300, ink), 50u);
}

// A 2 x 2 BMP: red and green on the top row, blue and white below.
void writeQuadrantBmp(const fs::path& file) {
    const uint8_t rows[2][8] = {{0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0},   // bottom row: blue, white (B, G, R)
                                {0, 0, 0xFF, 0, 0xFF, 0, 0, 0}};        // top row: red, green
    std::vector<uint8_t> bmp = {'B', 'M'};
    auto put32 = [&bmp](uint32_t v) {
        for (int i = 0; i < 4; ++i) bmp.push_back(uint8_t(v >> (8 * i)));
    };
    auto put16 = [&bmp](uint16_t v) {
        bmp.push_back(uint8_t(v));
        bmp.push_back(uint8_t(v >> 8));
    };
    put32(14 + 40 + 16);
    put32(0);
    put32(14 + 40);
    put32(40);
    put32(2);
    put32(2);
    put16(1);
    put16(24);
    for (int i = 0; i < 6; ++i) put32(0);
    for (const auto& row : rows) bmp.insert(bmp.end(), row, row + 8);
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bmp.data()), std::streamsize(bmp.size()));
}

TEST(PrintRoad, PicturesFromFilesKeepTheirColoursAndAMissingFileNamesItsLine) {
    const fs::path dir = fs::temp_directory_path() / ("tessaly-road-picture-" + std::to_string(getpid()));
    fs::create_directories(dir);
    writeQuadrantBmp(dir / "quadrants.bmp");
    const auto pages = capture("units px\npage\nimage 0 0 100 100 \"" + (dir / "quadrants.bmp").string() +
                                   "\"\nendpage\n",
                               100, 100);
    ASSERT_EQ(pages.size(), 1u);
    auto at = [&](int x, int y) {
        const uint8_t* p = &pages[0].rgb[(size_t(y) * 100 + x) * 3];
        return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    };
    EXPECT_EQ(at(25, 25), 0xFF0000u);
    EXPECT_EQ(at(75, 25), 0x00FF00u);
    EXPECT_EQ(at(25, 75), 0x0000FFu);
    EXPECT_EQ(at(75, 75), 0xFFFFFFu);

    script::Script drawing;
    std::string error;
    ASSERT_EQ(script::parseScript("page\n\nimage 0 0 10 10 \"missing.png\"\n", &drawing, &error), 1);
    testing::setCapturePage(50, 50, 72);
    PrinterDevMode mode;
    ASSERT_EQ(buildDevMode({}, nullptr, {}, &mode, &error), 1);
    auto device = gdi::PrinterDevice::open(testing::captureDriver(), mode.devmode(), u"capture", &error);
    ASSERT_TRUE(device) << error;
    {
        gdi::DeviceContext dc(*device);
        ASSERT_TRUE(dc.startDoc(u"capture", 1));
        script::PlayOptions play;
        play.baseDirectory = dir.string();
        EXPECT_EQ(script::playScript(drawing, dc, play, &error), 0);
        EXPECT_EQ(error.rfind("line 3: cannot read " + (dir / "missing.png").string() + ": cannot open", 0), 0u)
            << error;
        // Font files are found beside the script too, and must hold a font.
        std::ofstream(dir / "text.ttf") << "not a font";
        for (const char* name : {"missing.ttf", "text.ttf"}) {
            ASSERT_EQ(script::parseScript("fontfile \"" + std::string(name) + "\" \"F\"\n", &drawing, &error), 1);
            EXPECT_EQ(script::playScript(drawing, dc, play, &error), 0);
            const std::string path = (dir / name).string();
            EXPECT_EQ(error, name[0] == 'm' ? "line 1: cannot read " + path + ": cannot open"
                                            : "line 1: " + path + " holds no font");
        }
        (void)dc.endDoc(true);
    }
    device.reset();
    (void)testing::takeCapturedPages();
    fs::remove_all(dir);
}

TEST(PrintRoad, BandingGivesTheSamePageImages) {
    ScratchPrinter printer;
    const script::Script drawing = testDocument();
    bool banded = true;
    const fs::path whole = printer.print(drawing, imageRequest(), &banded);
    ASSERT_FALSE(whole.empty());
    EXPECT_FALSE(banded);

    // A surface of at most 200 rows: the page is printed in 6 bands.
    gdi::setSurfaceByteLimit(852 * 3 * 200);
    const fs::path bands = printer.print(drawing, imageRequest(), &banded);
    gdi::setSurfaceByteLimit(0);
    ASSERT_FALSE(bands.empty());
    EXPECT_TRUE(banded);
    EXPECT_EQ(readText(bands / "_status"), "end:3");

    int w1 = 0, h1 = 0, w2 = 0, h2 = 0;
    const auto a = pageImages(whole, 3, &w1, &h1);
    const auto b = pageImages(bands, 3, &w2, &h2);
    EXPECT_EQ(w1, w2);
    EXPECT_EQ(h1, h2);
    for (size_t n = 0; n < 3; ++n) EXPECT_EQ(differingPixels(a[n], b[n]), 0u) << "page " << n;
}


// The images a vector job's markup names, in order.
std::vector<std::string> imageSources(const std::string& markup) {
    std::vector<std::string> names;
    const std::string tag = "<Image src=\"";
    for (size_t at = markup.find(tag); at != std::string::npos; at = markup.find(tag, at + 1)) {
        const size_t from = at + tag.size();
        names.push_back(markup.substr(from, markup.find('"', from) - from));
    }
    return names;
}

// A file of a job directory, descrambled.
std::string readJobFile(const fs::path& job, const char* name) {
    std::string text = readText(job / name);
    (void)unscramble(reinterpret_cast<uint8_t*>(text.data()), text.size(), jobKey());
    return text;
}

// A drawing printed as vector pages: its job directory, and the job's markup.
std::string printVector(ScratchPrinter& printer, const script::Script& drawing, fs::path* job) {
    PrintRequest request;
    request.dpi = kDpi;
    request.imagePages = false;
    *job = printer.print(drawing, request);
    return job->empty() ? std::string() : readJobFile(*job, "media.mml");
}

std::string printVectorTestDocument(ScratchPrinter& printer, fs::path* job) {
    return printVector(printer, testDocument(), job);
}

TEST(PrintRoad, VectorPagesCarryTheirBitmapsAsImageFiles) {
    ScratchPrinter printer;
    fs::path job;
    const std::string markup = printVectorTestDocument(printer, &job);
    ASSERT_FALSE(job.empty());
    EXPECT_EQ(readText(job / "_status"), "end:3");

    // Every image the markup names is on disk; the stretched picture is
    // stored at its own size, the gradients as captured pieces of the page.
    const auto sources = imageSources(markup);
    ASSERT_FALSE(sources.empty()) << markup.substr(0, 2000);
    bool picture = false;
    for (const std::string& name : sources) {
        Image image;
        ASSERT_EQ(image.load((job / name).string()), kImageOk) << name;
        picture = picture || (image.width() == 256 && image.height() == 192);
    }
    EXPECT_TRUE(picture) << markup.substr(0, 4000);

    ConversionJob conversion;
    (void)conversion.setBaseDirectory(kData);
    ASSERT_EQ(conversion.openJob(job.string() + "/"), 1) << conversion.errorText();
    const fs::path movie = printer.root() / "vector.swf";
    ASSERT_EQ(conversion.convert(movie.string()), 1) << conversion.errorText();
    EXPECT_EQ(conversion.index().pages.size(), 3u);
}


// The frames of a descrambled job markup, each from its start tag to the next.
std::vector<std::string> frames(const std::string& markup) {
    std::vector<std::string> out;
    for (size_t at = markup.find("<Frame "); at != std::string::npos;) {
        const size_t next = markup.find("<Frame ", at + 1);
        out.push_back(markup.substr(at, next == std::string::npos ? std::string::npos : next - at));
        at = next;
    }
    return out;
}

// An attribute's two numbers ("x,y") in one element.
bool pair(const std::string& element, const std::string& name, double* a, double* b) {
    const size_t at = element.find(" " + name + "=\"");
    return at != std::string::npos && std::sscanf(element.c_str() + at + name.size() + 3, "%lf,%lf", a, b) == 2;
}

TEST(PrintRoad, TheTestDocumentStaysVectorExceptItsPictureHatchAndGradients) {
    ScratchPrinter printer;
    fs::path job;
    const std::string markup = printVectorTestDocument(printer, &job);
    ASSERT_FALSE(job.empty());
    const auto pages = frames(markup);
    ASSERT_EQ(pages.size(), 3u);

    // What may be an image, in points (x, y, width, height) per page: the
    // hatched triangle (a pattern brush), the gradients and the picture.
    struct Box {
        double x, y, w, h;
    };
    const std::vector<std::vector<Box>> allowed = {
        {{54, 270, 150, 120}},
        {{54, 80, 504, 80}, {54, 170, 120, 200}, {200, 170, 300, 225}, {330, 420, 220, 200}},
        {},
    };
    const double scale = kDpi / 72.0;
    for (size_t page = 0; page < pages.size(); ++page) {
        const std::string& frame = pages[page];
        size_t images = 0;
        for (size_t at = frame.find("<Image "); at != std::string::npos; at = frame.find("<Image ", at + 1)) {
            const std::string element = frame.substr(at, frame.find('>', at) - at);
            double x = 0, y = 0, w = 0, h = 0;
            ASSERT_TRUE(pair(element, "pos", &x, &y) && pair(element, "size", &w, &h)) << element.substr(0, 200);
            bool inside = false;
            for (const Box& box : allowed[page]) {
                inside = inside || (x >= box.x * scale - 2 && y >= box.y * scale - 2 &&
                                    x + w <= (box.x + box.w) * scale + 2 && y + h <= (box.y + box.h) * scale + 2);
            }
            EXPECT_TRUE(inside) << "page " << page + 1 << " captures " << element.substr(0, 120);
            ++images;
        }
        EXPECT_EQ(images, allowed[page].size()) << "page " << page + 1;
        EXPECT_NE(frame.find("<Shape>"), std::string::npos) << "page " << page + 1;
    }
    // The winding star, declined by the fill hook, still reaches the page:
    // as the blit of its region.
    EXPECT_NE(pages[0].find("<Rectex "), std::string::npos);
}

}  // namespace
}  // namespace tessaly

namespace tessaly {
namespace {

size_t occurrences(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(PrintRoad, PrintedTextFindsTheFontsItsJobCaptured) {
    script::Script drawing;
    std::string error;
    ASSERT_EQ(script::parseScript("page\n"
                                  "font \"DejaVu Sans\" 12\n"
                                  "text 72 72 \"  Plain & <simple>  \"\n"
                                  "font \"Liberation Sans\" 18 bold italic\n"
                                  "textcolor #CC0000\n"
                                  "text 72 120 \"Bold italic\"\n"
                                  "font \"DejaVu Math TeX Gyre\" 24 bold\n"
                                  "text 72 180 \"Made bold\"\n"
                                  "rotate 30\n"
                                  "font \"DejaVu Sans\" 14\n"
                                  "text 200 200 \"Turned\"\n"
                                  "font \"DejaVu Sans\" 14 bold italic\n"
                                  "text 200 240 \"Oblique\"\n"
                                  "endpage\n",
                                  &drawing, &error),
              1)
        << error;
    ScratchPrinter printer;
    fs::path job;
    const std::string markup = printVector(printer, drawing, &job);
    ASSERT_FALSE(job.empty());
    ASSERT_EQ(occurrences(markup, "<Text "), 5u) << markup;
    ASSERT_EQ(occurrences(markup, "<Font "), 4u) << markup;
    for (int id = 1; id <= 4; ++id) EXPECT_TRUE(fs::exists(job / ("f" + std::to_string(id) + ".mml"))) << id;
    // DejaVu Sans's bold italic is its "Bold Oblique" face: captured slanted.
    EXPECT_NE(markup.find("<Font src=\"f4.mml\" font=\"DejaVu Sans\" style=\"Bold Oblique\""), std::string::npos);
    const std::string oblique = readJobFile(job, "f4.mml");
    EXPECT_EQ(oblique.rfind("<Font font=\"DejaVu Sans\" style=\"bold,italic\"", 0), 0u) << oblique.substr(0, 100);

    // Without system fonts a Text element is kept only when it finds the font
    // its job declared: every text and every font arrives.
    CharacterDictionary dictionary;
    MmlInterpreter interpreter;
    interpreter.dictionary = &dictionary;
    interpreter.jobKey = jobKey();
    interpreter.setJobDirectory(job.string());
    ASSERT_EQ(interpreter.InputOpen(), 1);
    ASSERT_EQ(interpreter.SetSource(markup), 1) << interpreter.errorText();
    while (interpreter.InputFrame() == 1) {
    }
    size_t texts = 0, fonts = 0;
    for (size_t i = 0; i < dictionary.count(); ++i) {
        texts += dictionary.entryAt(i).type == kTypeText;
        fonts += dictionary.entryAt(i).type == kTypeFont;
    }
    EXPECT_EQ(texts, 5u);
    EXPECT_EQ(fonts, 4u);
}

int countFamilies(const char* face) {
    LOGFONTA wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    std::snprintf(wanted.lfFaceName, sizeof wanted.lfFaceName, "%s", face);
    int found = 0;
    HDC dc = CreateICW(u"DISPLAY", nullptr, nullptr, nullptr);
    (void)EnumFontFamiliesExA(
        dc, &wanted,
        [](const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM count) {
            ++*reinterpret_cast<int*>(count);
            return 1;
        },
        reinterpret_cast<LPARAM>(&found), 0);
    (void)DeleteDC(dc);
    return found;
}

TEST(PrintRoad, AScriptsFontFileIsCapturedUnderItsOwnNameForTheDocumentOnly) {
    script::Script drawing;
    std::string error;
    ASSERT_EQ(script::parseScript("fontfile \"/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf\" \"Road Private\"\n"
                                  "page\nfont \"Road Private\" 20\ntext 72 72 \"Serif\"\nendpage\n",
                                  &drawing, &error),
              1)
        << error;
    ScratchPrinter printer;
    fs::path job;
    const std::string markup = printVector(printer, drawing, &job);
    ASSERT_FALSE(job.empty());
    EXPECT_NE(markup.find("<Font src=\"f1.mml\" font=\"Road Private\""), std::string::npos) << markup;
    const std::string font = readJobFile(job, "f1.mml");
    EXPECT_EQ(font.rfind("<Font font=\"Road Private\"", 0), 0u) << font.substr(0, 200);
    // The registration ended with the document.
    EXPECT_GT(countFamilies("DejaVu Serif"), 0);
    EXPECT_EQ(countFamilies("Road Private"), 0);
}

}  // namespace
}  // namespace tessaly
