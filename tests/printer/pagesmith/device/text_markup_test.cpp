// Text printed through the device context into the driver on the real
// engine, checked on the Text elements of media.mml and on the font files.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "../driver_test_util.h"
#include "device.h"
#include "platform/device_context.h"
#include "platform/gdi_fonts.h"

namespace tessaly::pagesmith {
namespace {

using gdi::DeviceContext;
using gdi::PrinterDevice;

// The value of an attribute in the first element of `markup` named `element`.
std::string attributeOf(const std::string& markup, const std::string& element, const std::string& name) {
    const size_t start = markup.find("<" + element + " ");
    if (start == std::string::npos) return "<none>";
    const size_t end = markup.find('>', start);
    const std::string tag = markup.substr(start, end - start);
    const size_t at = tag.find(" " + name + "=\"");
    if (at == std::string::npos) return "<absent>";
    const size_t value = at + name.size() + 3;
    return tag.substr(value, tag.find('"', value) - value);
}

// The content of the first Text element.
std::string textContent(const std::string& markup) {
    const size_t start = markup.find("<Text ");
    if (start == std::string::npos) return "<none>";
    const size_t open = markup.find('>', start) + 1;
    return markup.substr(open, markup.find("</Text>", open) - open);
}

size_t countOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class TextMarkup : public testing::DriverFixture {
protected:
    void SetUp() override {
        DriverFixture::SetUp();
        ASSERT_TRUE(DrvEnableDriver(DDI_DRIVER_VERSION_NT5, sizeof driver_, &driver_));
        std::string error;
        device_ = PrinterDevice::open(driver_, &devmode_.devmode(), u"Tessaly", &error);
        ASSERT_TRUE(device_) << error;
        dc_ = std::make_unique<DeviceContext>(*device_);
        ASSERT_TRUE(dc_->startDoc(u"Text", 3));
        ASSERT_TRUE(dc_->startPage());
        dc_->setBackgroundMode(gdi::BackgroundMode::Transparent);
        dc_->setTextAlign(gdi::TextAlignX::Left, gdi::TextAlignY::Baseline);
    }
    void TearDown() override {
        dc_.reset();
        device_.reset();
        DriverFixture::TearDown();
    }
    DriverDevice& record() { return *reinterpret_cast<DriverDevice*>(device_->pdev()); }

    void font(const char16_t* face, int height, int weight = 400, bool italic = false, int escapement = 0,
              bool lines = false) {
        LOGFONTW f{};
        f.lfUnderline = lines;
        f.lfStrikeOut = lines;
        f.lfHeight = -height;
        f.lfWeight = weight;
        f.lfItalic = italic;
        f.lfEscapement = escapement;
        f.lfOrientation = escapement;
        f.lfCharSet = ANSI_CHARSET;
        std::u16string name(face);
        std::copy(name.begin(), name.end(), f.lfFaceName);
        ASSERT_TRUE(dc_->setFont(f));
    }

    // Ends the page and the document; the page's markup between the Frame
    // tags. The job directory stays in directory_.
    std::string pageMarkup() {
        EXPECT_TRUE(dc_->endPage()) << dc_->errorText();
        directory_ = record().jobDirectory;
        EXPECT_TRUE(dc_->endDoc());
        const std::string media = descrambled(directory_ + "media.mml");
        const size_t frame = media.find("<Frame");
        const size_t begin = media.find('\n', frame) + 1;
        const size_t end = media.find("</Frame>");
        if (frame == std::string::npos || end == std::string::npos) return {};
        return media.substr(begin, end - begin);
    }
    // A font file of the job, descrambled.
    std::string fontFile(const std::string& src) { return descrambled(directory_ + src); }

    DRVENABLEDATA driver_{};
    testing::DevmodeBytes devmode_;
    std::unique_ptr<PrinterDevice> device_;
    std::unique_ptr<DeviceContext> dc_;
    std::string directory_;
};

TEST_F(TextMarkup, BlanksAreTrimmedAndTheFontIsDeclaredAndCapturedOnce) {
    font(u"DejaVu Sans", 50);
    ASSERT_TRUE(dc_->textOut({100, 200}, u"  Hello  "));
    // The same face at another size is the same captured font.
    font(u"DejaVu Sans", 20);
    ASSERT_TRUE(dc_->textOut({100, 300}, u"Hex"));
    const std::string page = pageMarkup();

    EXPECT_EQ(countOf(page, "<Font "), 1u) << page;
    EXPECT_LT(page.find("<Font "), page.find("<Text ")) << page;
    const std::string src = attributeOf(page, "Font", "src");
    EXPECT_EQ(src, "f1.mml");
    EXPECT_EQ(attributeOf(page, "Font", "font"), "DejaVu Sans");
    EXPECT_EQ(textContent(page), "Hello");
    // The text stands where its "H" stands, past the two blanks.
    int x = 0, y = 0;
    ASSERT_EQ(std::sscanf(attributeOf(page, "Text", "pos").c_str(), "%d,%d", &x, &y), 2);
    EXPECT_GT(x, 110);
    EXPECT_EQ(y, 200);
    const std::string positions = attributeOf(page, "Text", "charPos");
    EXPECT_EQ(countOf(positions, ";"), 5u) << positions;
    EXPECT_EQ(positions.rfind("0,0;", 0), 0u) << positions;
    EXPECT_EQ(attributeOf(page, "Text", "size"), "50");
    // Black text carries no colour; an upright one no matrix.
    EXPECT_EQ(attributeOf(page, "Text", "color"), "<absent>");
    EXPECT_EQ(attributeOf(page, "Text", "matrix"), "<absent>");
    EXPECT_EQ(attributeOf(page, "Text", "backgroundRect"), "<absent>");

    // The font file holds the space and every character of both runs, once,
    // and the face's kerning pairs.
    const std::string file = fontFile(src);
    ASSERT_EQ(file.rfind("<Font font=\"DejaVu Sans\" charSet=\"0\" numGlyph=\"6\"", 0), 0u) << file.substr(0, 200);
    for (const char* glyph : {"char=\" \"", "char=\"H\"", "char=\"e\"", "char=\"l\"", "char=\"o\"", "char=\"x\""}) {
        EXPECT_EQ(countOf(file, glyph), 1u) << glyph;
    }
    EXPECT_GT(countOf(file, "<Kerning "), 0u);
    EXPECT_GT(countOf(file, "<CurvexTo path="), 0u);
    EXPECT_EQ(file.substr(file.size() - 8), "</Font>\n");
}

TEST_F(TextMarkup, TurnedTextKeepsItsPositionsAlongItsBaseline) {
    // Turned a quarter clockwise on the page: the baseline runs down.
    font(u"Liberation Sans", 40, 400, false, -900);
    ASSERT_TRUE(dc_->textOut({300, 100}, u"Turn"));
    // Turned 30 degrees: rounded glyph positions still lie on the baseline.
    font(u"Liberation Sans", 40, 400, false, 300);
    ASSERT_TRUE(dc_->textOut({300, 900}, u"Thirty degrees"));
    const std::string page = pageMarkup();

    const size_t second = page.find("<Text ", page.find("<Text ") + 1);
    ASSERT_NE(second, std::string::npos) << page;
    const std::string quarter = page.substr(0, second), thirty = page.substr(second);
    EXPECT_EQ(attributeOf(quarter, "Text", "matrix"), "0,1,-1,0");
    EXPECT_EQ(attributeOf(thirty, "Text", "matrix"), "0.866025,-0.5,0.5,0.866025");
    for (const std::string& text : {quarter, thirty}) {
        const std::string positions = attributeOf(text, "Text", "charPos");
        double last = -1;
        size_t count = 0;
        for (size_t at = 0; at < positions.size(); at = positions.find(';', at) + 1) {
            double along = 0, across = 0;
            ASSERT_EQ(std::sscanf(positions.c_str() + at, "%lf,%lf", &along, &across), 2) << positions;
            EXPECT_EQ(across, 0) << positions;
            EXPECT_GT(along, last) << positions;
            last = along;
            ++count;
        }
        EXPECT_EQ(count, textContent(text).size()) << positions;
    }
    // Both runs use one font: the turn is the text's, not the font's.
    EXPECT_EQ(countOf(page, "<Font "), 1u);
}

TEST_F(TextMarkup, ColourBackgroundBoxAndSimulatedStyles) {
    dc_->setTextColor(0xFF0000);
    dc_->setBackgroundMode(gdi::BackgroundMode::Opaque);
    dc_->setBackgroundColor(0x00FF00);
    // A face with a bold italic of its own, and one without a bold.
    font(u"Liberation Sans", 50, 700, true);
    ASSERT_TRUE(dc_->textOut({100, 200}, u"Ab"));
    // Blanks leave no text, but their background stays.
    ASSERT_TRUE(dc_->textOut({100, 300}, u"   "));
    dc_->setBackgroundMode(gdi::BackgroundMode::Transparent);
    font(u"DejaVu Math TeX Gyre", 50, 700);
    ASSERT_TRUE(dc_->textOut({100, 400}, u"Ab"));
    const std::string page = pageMarkup();

    const size_t second = page.find("<Font ", page.find("<Font ") + 1);
    ASSERT_NE(second, std::string::npos) << page;
    const std::string own = page.substr(0, second), simulated = page.substr(second);
    EXPECT_EQ(attributeOf(own, "Text", "color"), "#FF0000");
    EXPECT_EQ(attributeOf(own, "Text", "backgroundColor"), "#00FF00");
    int left = 0, top = 0, right = 0, bottom = 0;
    ASSERT_EQ(std::sscanf(attributeOf(own, "Text", "backgroundRect").c_str(), "%d,%d,%d,%d", &left, &top, &right,
                          &bottom),
              4);
    EXPECT_TRUE(left <= 100 && top < 200 && right > 140 && bottom > 200) << own;
    // The box itself is drawn under the text, as the movie shows a Text
    // element without its background.
    const size_t shape = own.find("<Shape>");
    ASSERT_NE(shape, std::string::npos) << own;
    EXPECT_LT(shape, own.find("<Text ")) << own;
    EXPECT_EQ(attributeOf(own, "FillColor", "color"), "#00FF00");
    EXPECT_EQ(attributeOf(own, "Rect", "pos"), std::to_string(left) + "," + std::to_string(top));
    EXPECT_EQ(attributeOf(own, "Rect", "size"), std::to_string(right - left) + "," + std::to_string(bottom - top));
    EXPECT_EQ(countOf(own, "<Text "), 1u);
    EXPECT_EQ(countOf(own, "<FillColor side=\"right\" color=\"#00FF00\"/>"), 2u) << own;
    EXPECT_EQ(attributeOf(own, "Text", "style"), "Bold Italic");
    EXPECT_EQ(attributeOf(own, "Font", "style"), "Bold Italic");
    EXPECT_EQ(fontFile(attributeOf(own, "Font", "src")).rfind("<Font font=\"Liberation Sans\" style=\"bold,italic\" "
                                                                "charSet=\"0\" numGlyph=\"3\"",
                                                                0),
              0u);

    EXPECT_EQ(attributeOf(simulated, "Text", "style"), "bold ");
    EXPECT_EQ(attributeOf(simulated, "Text", "backgroundRect"), "<absent>");
    EXPECT_EQ(countOf(simulated, "<Shape"), 0u);
    EXPECT_EQ(fontFile(attributeOf(simulated, "Font", "src")).rfind("<Font font=\"DejaVu Math TeX Gyre\" style=\"bold\" ", 0),
              0u);
}

TEST_F(TextMarkup, UnderlineAndStrikeOutAreDrawnInTheTextColour) {
    dc_->setTextColor(0x0000FF);
    font(u"DejaVu Sans", 40, 400, false, 0, true);
    ASSERT_TRUE(dc_->textOut({100, 200}, u"Lined"));
    const std::string page = pageMarkup();
    // Two flat rectangles of the text's colour: one below the baseline, one
    // across the letters.
    EXPECT_EQ(countOf(page, "<Rect "), 2u) << page;
    EXPECT_EQ(countOf(page, "color=\"#0000FF\""), 3u) << page;
    int x = 0, under = 0, through = 0;
    const size_t second = page.find("<Rect ", page.find("<Rect ") + 1);
    ASSERT_EQ(std::sscanf(attributeOf(page, "Rect", "pos").c_str(), "%d,%d", &x, &under), 2) << page;
    ASSERT_EQ(std::sscanf(attributeOf(page.substr(second), "Rect", "pos").c_str(), "%d,%d", &x, &through), 2);
    EXPECT_GE(std::max(under, through), 200);
    EXPECT_LT(std::min(under, through), 200);
    EXPECT_EQ(textContent(page), "Lined");
}

TEST_F(TextMarkup, ClippedTextStandsInItsMaskAfterItsFont) {
    font(u"DejaVu Sans", 40);
    ASSERT_TRUE(dc_->clipRect({90, 150, 200, 230}));
    ASSERT_TRUE(dc_->textOut({100, 200}, u"Clipped"));
    const std::string page = pageMarkup();
    const size_t fontAt = page.find("<Font "), maskAt = page.find("<Mask"), textAt = page.find("<Text ");
    ASSERT_NE(maskAt, std::string::npos) << page;
    EXPECT_LT(fontAt, maskAt);
    EXPECT_LT(maskAt, textAt);
    EXPECT_NE(page.find("</Text>\n</Mask>\n"), std::string::npos) << page;
}

TEST_F(TextMarkup, MarkupCharactersAreEscaped) {
    font(u"DejaVu Sans", 30);
    ASSERT_TRUE(dc_->textOut({100, 200}, u"a<b & \"c\" \u4e2d"));
    const std::string page = pageMarkup();
    EXPECT_EQ(textContent(page), "a&lt;b &amp; &quot;c&quot; &#x4e2d;");
    const std::string file = fontFile(attributeOf(page, "Font", "src"));
    EXPECT_NE(file.find("char=\"&lt;\""), std::string::npos);
    EXPECT_NE(file.find("unicode=\"20013\" char=\"&#x4e2d;\""), std::string::npos);
}

TEST_F(TextMarkup, GlyphIndicesBecomeTheCharactersOfTheirGlyphs) {
    // A face whose characters have known glyphs: 'B' is glyph 5, 'b' glyph 8.
    std::ifstream in("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    const std::pair<char32_t, uint32_t> map[] = {{U'B', 5}, {U'b', 8}};
    HANDLE face = fonts::addPrivateFont(bytes.data(), bytes.size(), u"Tessaly Glyph Index Test", map);
    ASSERT_NE(face, nullptr);
    font(u"Tessaly Glyph Index Test", 40);
    gdi::TextOptions options;
    options.glyphIndices = true;
    // A repeated index is its character again; glyph 9 has no character and
    // an index past the font's last glyph no glyph: both are blanks.
    ASSERT_TRUE(dc_->textOut({100, 200}, std::u16string{5, 9, 5, 0xFFFF, 8}, options));
    const std::string page = pageMarkup();
    EXPECT_TRUE(fonts::removePrivateFont(face));

    EXPECT_EQ(textContent(page), "B B b") << page;
    EXPECT_EQ(countOf(attributeOf(page, "Text", "charPos"), ";"), 5u) << page;
    const std::string file = fontFile(attributeOf(page, "Font", "src"));
    for (const char* glyph : {"char=\"B\"", "char=\"b\"", "char=\" \""}) EXPECT_EQ(countOf(file, glyph), 1u) << glyph;
}

TEST_F(TextMarkup, EachJobCapturesItsFontsAnew) {
    font(u"DejaVu Sans", 30);
    ASSERT_TRUE(dc_->textOut({100, 200}, u"One"));
    EXPECT_EQ(countOf(pageMarkup(), "<Font "), 1u);
    const std::string first = directory_;
    ASSERT_TRUE(dc_->startDoc(u"Second", 4));
    ASSERT_TRUE(dc_->startPage());
    ASSERT_TRUE(dc_->textOut({100, 200}, u"Two"));
    const std::string page = pageMarkup();
    ASSERT_NE(directory_, first);
    EXPECT_EQ(attributeOf(page, "Font", "src"), "f1.mml");
    const std::string file = fontFile("f1.mml");
    EXPECT_EQ(countOf(file, "char=\"T\""), 1u);
    EXPECT_EQ(countOf(file, "char=\"O\""), 0u);
}

}  // namespace
}  // namespace tessaly::pagesmith
