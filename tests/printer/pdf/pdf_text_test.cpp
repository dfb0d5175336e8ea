// Text of PDFs in the document's own fonts: PDFs made by cairo (TrueType
// and CFF subsets with ToUnicode maps) and written here (a Type 1 font, an
// unembedded font, invisible text), printed through the real driver; the
// job's text, fonts and font files; the registrations' lifetime.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cairo-ft.h>
#include <cairo-pdf.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "../capture_driver.h"
#include "../../../printer/pdf/src/embedded_fonts.h"
#include "pdf/pdf_document.h"
#include "platform/gdi_fonts.h"
#include "platform/registry.h"
#include "platform/spool_host.h"
#include "support/scrambler.h"
#include "support/text.h"
#include "test_pdf.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* kNimbusCff = "/usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf";
constexpr const char* kNimbusType1 = "/usr/share/fonts/type1/urw-base35/NimbusSans-Regular.t1";

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::unique_ptr<pdf::Document> openPdf(const std::string& bytes) {
    std::string error;
    auto doc = pdf::Document::openBytes({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, "text.pdf",
                                        std::nullopt, &error);
    EXPECT_TRUE(doc) << error;
    return doc;
}

// FreeType's reading of a font file: a glyph's advance and the first point
// of its outline at the 1024-unit em of font files (y down).
struct FileGlyph {
    long advance = 0;
    long x = 0, y = 0;
};

FileGlyph fileGlyph(const char* path, char32_t c) {
    FileGlyph g;
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&library) != 0) return g;
    if (FT_New_Face(library, path, 0, &face) == 0) {
        if (FT_Load_Char(face, c, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING) == 0 && face->glyph->outline.n_points > 0) {
            const double k = 1024.0 / face->units_per_EM;
            g.advance = std::lround(face->glyph->metrics.horiAdvance * k);
            g.x = std::lround(face->glyph->outline.points[0].x * k);
            g.y = -std::lround(face->glyph->outline.points[0].y * k);
        }
        FT_Done_Face(face);
    }
    FT_Done_FreeType(library);
    return g;
}

// The same from a job's font file: the glyph element of a character.
FileGlyph fontFileGlyph(const std::string& file, char c) {
    FileGlyph g;
    const std::string head = std::string("char=\"") + c + "\" advance=\"";
    const size_t at = file.find(head);
    if (at == std::string::npos) return g;
    g.advance = std::stol(file.substr(at + head.size()));
    const size_t move = file.find("<MoveTo pos=\"", at);
    if (move == std::string::npos) return g;
    const std::string pos = file.substr(move + 13);
    g.x = std::stol(pos);
    g.y = std::stol(pos.substr(pos.find(',') + 1));
    return g;
}

// A job printed through the real driver: its page markup and font files.
struct PrintedJob {
    std::string markup;
    std::map<std::string, std::string> files;  // "f1.mml" -> text

    // The text of each Text element, with the element's attributes.
    std::vector<std::pair<std::string, std::string>> texts() const {
        std::vector<std::pair<std::string, std::string>> out;
        static const std::regex text("<Text ([^>]*)>([^<]*)</Text>");
        for (auto it = std::sregex_iterator(markup.begin(), markup.end(), text); it != std::sregex_iterator(); ++it)
            out.emplace_back((*it)[1].str(), (*it)[2].str());
        return out;
    }
    // The font file declared for a face.
    std::string fontFile(const std::string& face) const {
        static const std::regex font("<Font src=\"([^\"]+)\" font=\"([^\"]+)\"");
        for (auto it = std::sregex_iterator(markup.begin(), markup.end(), font); it != std::sregex_iterator(); ++it)
            if ((*it)[2].str() == face) {
                const auto found = files.find((*it)[1].str());
                return found == files.end() ? std::string() : found->second;
            }
        return {};
    }
};

std::string attributeOf(const std::string& attributes, const std::string& name) {
    const std::string head = " " + name + "=\"";
    const size_t at = (" " + attributes).find(head);
    if (at == std::string::npos) return {};
    const size_t from = at + head.size() - 1;
    return attributes.substr(from, attributes.find('"', from) - from);
}

PrintedJob printThroughDriver(pdf::Document& doc) {
    PrintedJob job;
    const fs::path root = fs::temp_directory_path() / ("tessaly-pdf-text-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "spool");
    setenv("TESSALY_REGISTRY_ROOT", (root / "registry").c_str(), 1);
    ValueStore store((root / "registry").string());
    EXPECT_EQ(store.writeString("SpoolPath", toWide((root / "spool").string())), kRegistryOk);
    EXPECT_EQ(store.writeString("BasePath", toWide(std::string(TESSALY_SOURCE_DIR) + "/data/")), kRegistryOk);
    SpoolOptions options;
    options.driverPath = std::string(TESSALY_LIB_DIR) + "/libpagesmith.so";
    options.request.dpi = 72;
    options.request.imagePages = false;
    const pdf::PageSize size = doc.pageSize(1);
    options.request.paperWidthTenths = static_cast<int>(std::lround(size.widthPt * 254 / 72));
    options.request.paperLengthTenths = static_cast<int>(std::lround(size.heightPt * 254 / 72));
    std::string error;
    {
        SpoolHost host;
        if (host.open(options, &error) != 1) {
            ADD_FAILURE() << error;
            return job;
        }
        gdi::DeviceContext& dc = host.context();
        EXPECT_TRUE(dc.startDoc(u"pdf", 3));
        for (int p = 1; p <= doc.pageCount(); ++p) EXPECT_EQ(doc.playPage(p, host.device(), dc, &error), 1) << error;
        EXPECT_TRUE(dc.endDoc());
    }
    for (const auto& entry : fs::directory_iterator(root / "spool")) {
        if (!entry.is_directory()) continue;
        for (const auto& file : fs::directory_iterator(entry.path())) {
            std::string text = readFile(file.path());
            if (!text.empty() && text[0] != '<')
                (void)unscramble(reinterpret_cast<uint8_t*>(text.data()), text.size(), jobKey());
            const std::string name = file.path().filename().string();
            if (name == "media.mml") job.markup = std::move(text);
            else if (name.rfind("f", 0) == 0 && name.size() > 4 && name.substr(name.size() - 4) == ".mml")
                job.files[name] = std::move(text);
        }
    }
    unsetenv("TESSALY_REGISTRY_ROOT");
    fs::remove_all(root);
    return job;
}

// How many faces the font layer lists under a name.
int facesNamed(const std::string& name) {
    HDC dc = CreateICW(u"DISPLAY", nullptr, nullptr, nullptr);
    LOGFONTA lf{};
    std::strncpy(lf.lfFaceName, name.c_str(), LF_FACESIZE - 1);
    lf.lfCharSet = DEFAULT_CHARSET;
    int count = 0;
    EnumFontFamiliesExA(
        dc, &lf,
        [](const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM param) -> int {
            ++*reinterpret_cast<int*>(param);
            return 1;
        },
        reinterpret_cast<LPARAM>(&count), 0);
    DeleteDC(dc);
    return count;
}

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

// A 300 x 100 pt page by cairo: a line in DejaVu Sans (TrueType) and one in
// Nimbus Sans (CFF), which cairo embeds as subsets with ToUnicode maps: a
// simple font for the Latin characters, a CID font for the others.
std::string cairoPdf() {
    // cairo may keep the faces in its caches: they live for the process.
    static FT_Library library = nullptr;
    static FT_Face faces[2] = {};
    if (!library) {
        if (FT_Init_FreeType(&library) != 0) return {};
        if (FT_New_Face(library, kDejaVu, 0, &faces[0]) != 0 || FT_New_Face(library, kNimbusCff, 0, &faces[1]) != 0)
            return {};
    }
    std::string pdf;
    cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(appendBytes, &pdf, 300, 100);
    cairo_t* cr = cairo_create(surface);
    const char* lines[2] = {"Hello World \u041f\u0440\u0438\u0432\u0435\u0442", "Tiny Fig 42 \u2211"};
    for (int i = 0; i < 2; ++i) {
        cairo_font_face_t* face = cairo_ft_font_face_create_for_ft_face(faces[i], 0);
        cairo_set_font_face(cr, face);
        cairo_set_font_size(cr, 20);
        cairo_move_to(cr, 10, 40 + 40 * i);
        cairo_show_text(cr, lines[i]);
        cairo_font_face_destroy(face);
    }
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    cairo_surface_destroy(surface);
    return pdf;
}

std::string withoutBlanks(std::string s) {
    s.erase(std::remove(s.begin(), s.end(), ' '), s.end());
    return s;
}

TEST(PdfText, CairoFontsReachTheJobAsTextInTheirOwnGlyphsWhileTheDocumentIsOpen) {
    const std::string bytes = cairoPdf();
    ASSERT_FALSE(bytes.empty());
    auto doc = openPdf(bytes);
    ASSERT_TRUE(doc);
    const PrintedJob job = printThroughDriver(*doc);

    // Each line is text, in a face of its own embedded font.
    std::map<std::string, std::string> faceOf;  // line -> face
    for (const auto& [attributes, text] : job.texts()) faceOf[withoutBlanks(text)] = attributeOf(attributes, "font");
    ASSERT_EQ(faceOf.size(), 4u) << job.markup.substr(0, 2000);
    const std::string dejaVu = faceOf["HelloWorld"], nimbus = faceOf["TinyFig42"];
    const std::string dejaVuCid = faceOf["&#x41f;&#x440;&#x438;&#x432;&#x435;&#x442;"];
    const std::string nimbusCid = faceOf["&#x2211;"];
    for (const std::string& face : {dejaVu, dejaVuCid})
        EXPECT_NE(face.find("DejaVuSans"), std::string::npos) << face;
    for (const std::string& face : {nimbus, nimbusCid})
        EXPECT_NE(face.find("NimbusSans"), std::string::npos) << face;
    EXPECT_NE(dejaVu, dejaVuCid);
    EXPECT_NE(nimbus, nimbusCid);
    size_t fonts = 0;
    for (size_t at = job.markup.find("<Font "); at != std::string::npos; at = job.markup.find("<Font ", at + 1))
        ++fonts;
    EXPECT_EQ(fonts, 4u);

    // The font files hold the embedded glyphs: the same outlines as the
    // fonts cairo read (Nimbus Sans has the advances of Liberation Sans, the
    // installed stand-in; its outlines differ).
    const FileGlyph h = fileGlyph(kDejaVu, 'H'), written = fontFileGlyph(job.fontFile(dejaVu), 'H');
    EXPECT_EQ(written.advance, h.advance);
    EXPECT_NEAR(written.x, h.x, 1);
    EXPECT_NEAR(written.y, h.y, 1);
    const FileGlyph g = fileGlyph(kNimbusCff, 'g'), writtenG = fontFileGlyph(job.fontFile(nimbus), 'g');
    EXPECT_EQ(writtenG.advance, g.advance);
    EXPECT_NEAR(writtenG.x, g.x, 1);
    EXPECT_NEAR(writtenG.y, g.y, 1);

    // Registered for as long as the document is open.
    EXPECT_EQ(facesNamed(dejaVu), 1);
    doc.reset();
    for (const std::string& face : {dejaVu, dejaVuCid, nimbus, nimbusCid}) EXPECT_EQ(facesNamed(face), 0) << face;
}

// A 200 x 80 pt page with the content, its font F1 an embedded Type 1 font,
// F2 Helvetica without a font file.
std::string type1Pdf(const std::string& content) {
    const std::string font = readFile(kNimbusType1);
    return testing::makePdfOfObjects({
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 80] /Contents 4 0 R "
        "/Resources << /Font << /F1 5 0 R /F2 7 0 R >> >> >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding /FontDescriptor 6 0 R >>",
        "<< /Type /FontDescriptor /FontName /Helvetica /Flags 32 /FontBBox [-200 -300 1000 1000] /ItalicAngle 0 "
        "/Ascent 700 /Descent -200 /CapHeight 700 /StemV 80 /FontFile 8 0 R >>",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
        "<< /Length " + std::to_string(font.size()) + " /Length1 " + std::to_string(font.size()) +
            " /Length2 0 /Length3 0 >>\nstream\n" + font + "\nendstream",
    });
}

// The page's pixels drawn by the engine alone.
std::vector<uint8_t> renderPage(pdf::Document& doc) {
    auto pages = testing::captureDocument(200, 80, [&](gdi::PrinterDevice& device, gdi::DeviceContext& dc) {
        std::string error;
        EXPECT_EQ(doc.playPage(1, device, dc, &error), 1) << error;
    });
    return pages.size() == 1 ? pages[0].rgb : std::vector<uint8_t>{};
}

// Pixels of a colour (0xRRGGBB, within 64 a channel) in a box of the page.
int inkIn(const std::vector<uint8_t>& rgb, int x0, int x1, int y0, int y1, uint32_t colour = 0) {
    int ink = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const uint8_t* p = &rgb[(size_t(y) * 200 + size_t(x)) * 3];
            bool near = true;
            for (int c = 0; c < 3; ++c) near = near && std::abs(int(p[c]) - int((colour >> (16 - 8 * c)) & 0xFF)) < 64;
            ink += near;
        }
    return ink;
}

// "Fig" in the Type 1 font, "Hidden" in it as invisible text (render mode
// 3), "Sub" in the font without a file, "Out" stroked in red (mode 1), two
// words set apart by a gap in their string rather than a blank.
TEST(PdfText, Type1FontsInvisibleAndStrokedTextAndFontsWithoutAFile) {
    ASSERT_FALSE(readFile(kNimbusType1).empty());
    auto doc = openPdf(type1Pdf("BT /F1 24 Tf 10 20 Td (Fig) Tj 3 Tr 60 0 Td (Hidden) Tj 0 Tr /F2 10 Tf 0 20 Td (Sub) Tj ET\n"
                                "BT 1 Tr 1 0 0 RG 2 w /F1 24 Tf 10 50 Td (Out) Tj ET\n"
                                "BT 0 Tr /F1 10 Tf 120 60 Td [(Two)-600(Up)] TJ ET"));
    ASSERT_TRUE(doc);
    const PrintedJob job = printThroughDriver(*doc);
    std::map<std::string, std::string> attributesOf;
    for (const auto& [attributes, text] : job.texts()) attributesOf[text] = attributes;
    ASSERT_EQ(attributesOf.size(), 5u) << job.markup.substr(0, 2000);
    EXPECT_EQ(attributesOf.count("Two Up"), 1u);
    const std::string face = attributeOf(attributesOf["Fig"], "font");
    EXPECT_EQ(face.rfind("PDF", 0), 0u) << face;
    EXPECT_EQ(attributeOf(attributesOf["Fig"], "alpha"), "");
    // Invisible text stays text, written fully transparent.
    EXPECT_EQ(attributeOf(attributesOf["Hidden"], "font"), face);
    EXPECT_EQ(attributeOf(attributesOf["Hidden"], "alpha"), "0");
    // The font without a file is drawn in an installed face of its style.
    EXPECT_EQ(attributeOf(attributesOf["Sub"], "font"), "Liberation Sans");
    // Stroked text is found as text and seen as stroked outlines.
    EXPECT_EQ(attributeOf(attributesOf["Out"], "alpha"), "0");
    EXPECT_NE(job.markup.find("<LineStyle width=\"2\" color=\"#FF0000\""), std::string::npos)
        << job.markup.substr(0, 3000);
    const FileGlyph f = fileGlyph(kNimbusType1, 'F'), written = fontFileGlyph(job.fontFile(face), 'F');
    EXPECT_EQ(written.advance, f.advance);
    EXPECT_NEAR(written.x, f.x, 1);
    EXPECT_NEAR(written.y, f.y, 1);

    // Drawn by the engine alone, the invisible text leaves no ink.
    const std::vector<uint8_t> rgb = renderPage(*doc);
    ASSERT_EQ(rgb.size(), 200u * 80 * 3);
    EXPECT_GT(inkIn(rgb, 10, 50, 42, 62), 20);             // "Fig"
    EXPECT_EQ(inkIn(rgb, 70, 200, 42, 62), 0);             // "Hidden"
    EXPECT_GT(inkIn(rgb, 70, 100, 30, 41), 5);             // "Sub"
    EXPECT_GT(inkIn(rgb, 10, 60, 10, 32, 0xFF0000), 40);   // "Out", stroked
    EXPECT_EQ(inkIn(rgb, 10, 60, 10, 32), 0);              // and not filled black
}

TEST(PdfText, TheLinesOfATextObjectAreOneTextWithPositionsOnEachLine) {
    // Two lines of one look, then a turned pair of lines; "Fig" stroked
    // keeps one call per line.
    auto doc = openPdf(type1Pdf("BT /F1 20 Tf 10 60 Td (Ab) Tj 0 -24 Td (Cd) Tj ET\n"
                                "BT /F1 10 Tf 0 1 -1 0 150 10 Tm (Ef) Tj 0 -20 Td (Gh) Tj ET\n"
                                "BT 1 Tr /F1 10 Tf 60 70 Td (Ij) Tj 0 -12 Td (Kl) Tj ET"));
    ASSERT_TRUE(doc);
    const PrintedJob job = printThroughDriver(*doc);
    std::map<std::string, std::string> attributesOf;
    for (const auto& [attributes, text] : job.texts()) attributesOf[text] = attributes;
    ASSERT_EQ(attributesOf.size(), 4u) << job.markup.substr(0, 3000);
    // No blank at the line break; the second line starts below the first.
    const std::string pos = attributeOf(attributesOf["AbCd"], "charPos");
    ASSERT_EQ(std::count(pos.begin(), pos.end(), ';'), 4) << pos;
    EXPECT_EQ(pos.substr(pos.find(';', pos.find(';') + 1) + 1, 5), "0,24;") << pos;
    // Turned, the positions run along the text's own baseline.
    const std::string turned = attributeOf(attributesOf["EfGh"], "charPos");
    EXPECT_NE(turned.find(";0,20;"), std::string::npos) << turned;
    EXPECT_FALSE(attributeOf(attributesOf["EfGh"], "matrix").empty());
    EXPECT_EQ(attributesOf.count("Ij"), 1u);
    EXPECT_EQ(attributesOf.count("Kl"), 1u);
}

TEST(PdfText, ClippingTextLimitsWhatIsPaintedUntilTheStateIsRestored) {
    // A 60 pt "I" clips (mode 7, nothing painted by the text); blue paint
    // then shows inside the letter only; after Q red covers the page.
    auto doc = openPdf(type1Pdf("q BT 7 Tr /F1 60 Tf 10 10 Td (I) Tj ET 0 0 1 rg 0 0 200 80 re f Q "
                                "1 0 0 rg 100 0 100 80 re f"));
    ASSERT_TRUE(doc);
    const std::vector<uint8_t> rgb = renderPage(*doc);
    ASSERT_EQ(rgb.size(), 200u * 80 * 3);
    EXPECT_GT(inkIn(rgb, 10, 40, 20, 70, 0x0000FF), 150);  // the stem of the I
    EXPECT_EQ(inkIn(rgb, 40, 100, 0, 80, 0x0000FF), 0);
    EXPECT_EQ(inkIn(rgb, 0, 200, 0, 15, 0x0000FF), 0);     // above the letter
    EXPECT_EQ(inkIn(rgb, 100, 200, 0, 80, 0xFF0000), 100 * 80);
}

// A bare CID-keyed CFF as subsets of large CID fonts are: two glyphs (a
// square and a triangle from x = 100 on the baseline, advance 600) that keep
// their CIDs 500 and 700 from the whole font. FreeType addresses such a
// face's glyphs by CID.
std::string sparseCidCff() {
    auto index = [](const std::vector<std::string>& items) {
        std::string out{char(0), char(items.size())};
        if (items.empty()) return out;
        out += char(1);  // one-byte offsets
        size_t offset = 1;
        out += char(offset);
        for (const std::string& item : items) out += char(offset += item.size());
        for (const std::string& item : items) out += item;
        return out;
    };
    auto int5 = [](uint32_t v) {
        return std::string{char(29), char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    };
    const std::string square("\xEF\x8B\x15\xF7\xC0\xF8\x88\xFB\xC0\x06\x0E", 11);    // 100 0 rmoveto 300 500 -300 hlineto
    const std::string triangle("\xEF\x8B\x15\xF8\x24\x8B\xFB\x5C\xF8\x24\x05\x0E", 12);  // 400 0 -200 400 rlineto
    const std::string charStrings = index({"\x0E", square, triangle});
    const std::string charset("\x00\x01\xF4\x02\xBC", 5);  // format 0: CIDs 500 and 700
    const std::string fdSelect("\x00\x00\x00\x00", 4);      // every glyph in font dict 0
    const std::string privateDict("\xF8\xEC\x14", 3);          // 600 defaultWidthX
    const std::string head("\x01\x00\x04\x01", 4);
    const std::string names = index({"Sparse"});
    const std::string strings = index({"Adobe", "Identity"});
    const std::string globalSubrs = index({});
    // The top dictionary's offsets are five-byte numbers: its size is known
    // before they are.
    auto topDict = [&](uint32_t charsetAt, uint32_t charStringsAt, uint32_t fdArrayAt, uint32_t fdSelectAt) {
        return std::string("\xF8\x1B\xF8\x1C\x8B\x0C\x1E", 7) +              // 391 392 0 ROS
               int5(1000) + "\x0C\x22" + int5(charsetAt) + "\x0F" + int5(charStringsAt) + "\x11" +
               int5(fdArrayAt) + "\x0C\x24" + int5(fdSelectAt) + "\x0C\x25";
    };
    const size_t start = head.size() + names.size() + index({topDict(0, 0, 0, 0)}).size() + strings.size() +
                         globalSubrs.size();
    const uint32_t charsetAt = uint32_t(start), fdSelectAt = uint32_t(charsetAt + charset.size());
    const uint32_t charStringsAt = uint32_t(fdSelectAt + fdSelect.size());
    const uint32_t fdArrayAt = uint32_t(charStringsAt + charStrings.size());
    const std::string fontDict = std::string("\x8E", 1) + int5(0) + "\x12";  // placeholder size for the layout
    const uint32_t privateAt = uint32_t(fdArrayAt + index({fontDict}).size());
    const std::string fdArray = index({std::string("\x8E", 1) + int5(privateAt) + "\x12"});  // 3 (size) offset Private
    return head + names + index({topDict(charsetAt, charStringsAt, fdArrayAt, fdSelectAt)}) + strings + globalSubrs +
           charset + fdSelect + charStrings + fdArray + privateDict;
}

// The sparse font as a Type 0 font of the encoding (Identity-H or -V)
// showing its two glyphs.
std::string sparseCidPdf(const std::string& encoding) {
    const std::string cff = sparseCidCff();
    const std::string toUnicode =
        "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /T def /CMapType 2 def\n"
        "1 begincodespacerange <0000> <FFFF> endcodespacerange\n"
        "2 beginbfchar <01F4> <0041> <02BC> <0042> endbfchar\n"
        "endcmap CMapName currentdict /CMap defineresource pop end end";
    const std::string content = "BT /F1 50 Tf 10 100 Td <01F402BC> Tj ET";
    return testing::makePdfOfObjects({
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 160] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
        "<< /Type /Font /Subtype /Type0 /BaseFont /ABCDEF+Sparse /Encoding /" + encoding + " /DescendantFonts [6 0 R] "
        "/ToUnicode 9 0 R >>",
        "<< /Type /Font /Subtype /CIDFontType0 /BaseFont /ABCDEF+Sparse /CIDSystemInfo << /Registry (Adobe) "
        "/Ordering (Identity) /Supplement 0 >> /FontDescriptor 7 0 R /DW 600 >>",
        "<< /Type /FontDescriptor /FontName /ABCDEF+Sparse /Flags 4 /FontBBox [0 0 600 600] /ItalicAngle 0 "
        "/Ascent 600 /Descent 0 /CapHeight 500 /StemV 80 /FontFile3 8 0 R >>",
        "<< /Subtype /CIDFontType0C /Length " + std::to_string(cff.size()) + " >>\nstream\n" + cff + "\nendstream",
        "<< /Length " + std::to_string(toUnicode.size()) + " >>\nstream\n" + toUnicode + "\nendstream",
    });
}

TEST(PdfText, CidKeyedCffSubsetsKeepTheirCidsAndVerticalTextStandsGlyphByGlyph) {
    auto doc = openPdf(sparseCidPdf("Identity-H"));
    ASSERT_TRUE(doc);
    const PrintedJob job = printThroughDriver(*doc);
    const auto texts = job.texts();
    ASSERT_EQ(texts.size(), 1u) << job.markup.substr(0, 2000);
    EXPECT_EQ(texts[0].second, "AB");
    const std::string face = attributeOf(texts[0].first, "font");
    EXPECT_EQ(face.find("Sparse"), face.size() - 6) << face;
    const std::string file = job.fontFile(face);
    for (char c : {'A', 'B'}) {
        const FileGlyph g = fontFileGlyph(file, c);
        EXPECT_EQ(g.advance, 614) << c << "\n" << file;  // 600 of 1000, at 1024
        EXPECT_EQ(g.x, 102) << c;
        EXPECT_EQ(g.y, 0) << c;
    }
    EXPECT_NE(file.find("<LinexTo path=\"410,-512\""), std::string::npos) << file;  // the square's corner

    // Vertical: each glyph its own text call, the second below the first.
    doc = openPdf(sparseCidPdf("Identity-V"));
    ASSERT_TRUE(doc);
    const auto vertical = printThroughDriver(*doc).texts();
    ASSERT_EQ(vertical.size(), 2u) << vertical[0].first << " " << vertical[0].second;
    EXPECT_EQ(vertical[0].second, "A");
    EXPECT_EQ(vertical[1].second, "B");
    const std::string a = attributeOf(vertical[0].first, "pos"), b = attributeOf(vertical[1].first, "pos");
    EXPECT_EQ(std::stoi(a), std::stoi(b)) << a << " " << b;  // one column
    EXPECT_LT(std::stoi(a.substr(a.find(',') + 1)) + 40, std::stoi(b.substr(b.find(',') + 1))) << a << " " << b;
}

TEST(PdfText, Type3GlyphsArePathsWithTheirTextKeptInvisible) {
    // A Type 3 font whose glyph "square" (a filled square) stands for 'X'.
    const std::string glyph = "1000 0 0 0 750 750 d1 0 0 750 750 re f";
    const std::string toUnicode =
        "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /T def /CMapType 2 def\n"
        "1 begincodespacerange <00> <FF> endcodespacerange\n1 beginbfchar <41> <0058> endbfchar\n"
        "endcmap CMapName currentdict /CMap defineresource pop end end";
    const std::string content = "BT /F1 20 Tf 10 20 Td (AAA) Tj ET";
    auto doc = openPdf(testing::makePdfOfObjects({
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 80] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
        "<< /Type /Font /Subtype /Type3 /FontBBox [0 0 750 750] /FontMatrix [0.001 0 0 0.001 0 0] "
        "/CharProcs << /square 6 0 R >> /Encoding << /Type /Encoding /Differences [65 /square] >> "
        "/FirstChar 65 /LastChar 65 /Widths [1000] /ToUnicode 7 0 R /Resources << >> >>",
        "<< /Length " + std::to_string(glyph.size()) + " >>\nstream\n" + glyph + "\nendstream",
        "<< /Length " + std::to_string(toUnicode.size()) + " >>\nstream\n" + toUnicode + "\nendstream",
    }));
    ASSERT_TRUE(doc);
    const PrintedJob job = printThroughDriver(*doc);
    const auto texts = job.texts();
    ASSERT_EQ(texts.size(), 1u) << job.markup.substr(0, 2000);
    EXPECT_EQ(texts[0].second, "XXX");
    EXPECT_EQ(attributeOf(texts[0].first, "alpha"), "0");
    EXPECT_EQ(attributeOf(texts[0].first, "charPos"), "0,0;20,0;40,0;");
    EXPECT_NE(job.markup.find("<Shape"), std::string::npos);
}

TEST(PdfText, GlyphsKeepTheirUnicodeUnlessAnotherGlyphHasIt) {
    pdf::GlyphKeys keys;
    EXPECT_EQ(keys.add(5, u'A'), u'A');
    EXPECT_EQ(keys.add(5, u'A'), u'A');
    EXPECT_EQ(keys.add(5, u'a'), u'a');     // a glyph may stand for two characters
    EXPECT_EQ(keys.add(9, u'A'), 0xE000);   // 'A' is another glyph's
    EXPECT_EQ(keys.add(9, 0), 0xE000);      // a glyph keeps its private value
    EXPECT_EQ(keys.add(7, 0), 0xE001);
    const std::vector<std::pair<char32_t, uint32_t>> expected{{U'A', 5}, {U'a', 5}, {0xE000, 9}, {0xE001, 7}};
    EXPECT_EQ(keys.glyphMap(), expected);

    auto character = [](std::vector<uint32_t> u) { return pdf::glyphCharacter(u.data(), int(u.size())); };
    EXPECT_EQ(character({'x'}), u'x');
    EXPECT_EQ(character({'f', 'i'}), 0xFB01);
    EXPECT_EQ(character({'f', 'f', 'l'}), 0xFB04);
    EXPECT_EQ(character({'x', 'y'}), 0);
    EXPECT_EQ(character({}), 0);
    EXPECT_EQ(character({0x1D400}), 0);  // beyond the basic plane
    EXPECT_EQ(character({0xE010}), 0);   // private use is for glyphs without a value
    EXPECT_EQ(character({0x0A}), 0);
    EXPECT_EQ(pdf::privateUseKey(0x18FF), 0xF8FF);
    EXPECT_EQ(pdf::privateUseKey(0x1900), 0);
}

}  // namespace
}  // namespace tessaly
