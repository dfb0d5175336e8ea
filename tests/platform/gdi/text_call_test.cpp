// The full text call of the device context (glyph indices, underline and
// strike-out, clipping) against a recording driver, and the font objects a
// driver reads for private and simulated faces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "engine_objects.h"
#include "platform/device_context.h"
#include "platform/gdi_fonts.h"
#include "recording_driver.h"

namespace tessaly::gdi {
namespace {

using testing::Call;
using testing::DriverConfig;
using testing::RecordingDriver;

constexpr Color kRed = 0xFF0000;
constexpr Color kWhite = 0xFFFFFF;

struct Session {
    explicit Session(DriverConfig config = {}) : driver(std::move(config)) {
        std::string error;
        device = driver.open(&error);
        EXPECT_TRUE(device) << error;
        if (device) dc = std::make_unique<DeviceContext>(*device);
    }
    bool begin() { return dc->startDoc(u"doc", 7) && dc->startPage(); }
    bool finish() { return dc->endPage() && dc->endDoc(); }
    void font(int height, bool underline = false, bool strikeOut = false, LONG escapement = 0) {
        LOGFONTW lf{};
        lf.lfHeight = height;
        lf.lfUnderline = underline;
        lf.lfStrikeOut = strikeOut;
        lf.lfEscapement = escapement;
        std::memcpy(lf.lfFaceName, u"DejaVu Sans", sizeof(u"DejaVu Sans"));
        ASSERT_TRUE(dc->setFont(lf));
        dc->setTextAlign(TextAlignX::Left, TextAlignY::Baseline);
        dc->setBackgroundMode(BackgroundMode::Transparent);
        dc->setTextColor(kRed);
    }
    int redIn(int left, int top, int right, int bottom) const {
        int n = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) n += driver.pixel(x, y) == kRed;
        return n;
    }

    RecordingDriver driver;
    std::unique_ptr<PrinterDevice> device;
    std::unique_ptr<DeviceContext> dc;
};

TEST(TextCall, FontsUsedInTurnAreRealizedOnce) {
    // A dozen sizes, each used twice in turn, as lines of a page use them:
    // the second round finds every font realized by the first.
    Session s;
    ASSERT_TRUE(s.begin());
    std::vector<ULONG> first;
    for (int round = 0; round < 2; ++round) {
        for (int size = 0; size < 12; ++size) {
            s.font(-10 - size);
            ASSERT_TRUE(s.dc->textOut({20, 60}, u"x"));
            const ULONG uniq = s.driver.named("DrvTextOut").back()->fontUniq;
            if (round == 0) first.push_back(uniq);
            else EXPECT_EQ(uniq, first[size_t(size)]) << size;
        }
    }
    ASSERT_TRUE(s.finish());
}

TEST(TextCall, GlyphIndicesReachTheDriverAsGivenAndDrawTheSameGlyphs) {
    DriverConfig config;
    config.width = 300;
    Session byCharacter(config);
    ASSERT_TRUE(byCharacter.begin());
    byCharacter.font(-40);
    ASSERT_TRUE(byCharacter.dc->textOut({20, 60}, u"Hi"));
    const Call characters = *byCharacter.driver.named("DrvTextOut").back();
    ASSERT_EQ(characters.glyphs.size(), 2u);
    EXPECT_FALSE(characters.stringFlags & SO_GLYPHINDEX_TEXTOUT);
    ASSERT_TRUE(byCharacter.finish());

    Session byIndex(config);
    ASSERT_TRUE(byIndex.begin());
    byIndex.font(-40);
    // The same glyphs by index, the second repeated: pwszOrg carries the
    // indices and the positions follow the glyphs' own advances.
    const std::u16string indices{char16_t(characters.glyphs[0]), char16_t(characters.glyphs[1]),
                                 char16_t(characters.glyphs[1])};
    TextOptions options;
    options.glyphIndices = true;
    ASSERT_TRUE(byIndex.dc->textOut({20, 60}, indices, options));
    const Call glyphs = *byIndex.driver.named("DrvTextOut").back();
    EXPECT_TRUE(glyphs.stringFlags & SO_GLYPHINDEX_TEXTOUT);
    EXPECT_EQ(glyphs.text, indices);
    ASSERT_EQ(glyphs.glyphs.size(), 3u);
    EXPECT_EQ(glyphs.glyphs[0], characters.glyphs[0]);
    EXPECT_EQ(glyphs.glyphs[2], characters.glyphs[1]);
    EXPECT_EQ(glyphs.glyphPositions[1].x, characters.glyphPositions[1].x);
    // A surrogate-looking index is a glyph like any other, not half a pair.
    const std::u16string odd{char16_t(0xD800), char16_t(0xDC00), char16_t(0xFFFF)};
    ASSERT_TRUE(byIndex.dc->textOut({20, 120}, odd, options));
    EXPECT_EQ(byIndex.driver.named("DrvTextOut").back()->glyphs.size(), 3u);
    ASSERT_TRUE(byIndex.finish());

    // Indices past the font's last glyph draw nothing, also when the driver
    // declines the text and the context fills the outlines itself.
    DriverConfig declining = config;
    declining.decline = {"DrvTextOut"};
    Session filled(declining);
    ASSERT_TRUE(filled.begin());
    filled.font(-40);
    EXPECT_TRUE(filled.dc->textOut({20, 60}, odd, options)) << filled.dc->errorText();
    EXPECT_TRUE(filled.dc->textOut({20, 60}, indices, options)) << filled.dc->errorText();
    ASSERT_TRUE(filled.finish());
    EXPECT_GT(filled.redIn(20, 20, 120, 70), 100);
    // The engine drew the same two glyphs where they coincide.
    for (int y = 20; y < 70; ++y)
        for (int x = 20; x < characters.glyphPositions[1].x + 8; ++x)
            ASSERT_EQ(byIndex.driver.pixel(x, y), byCharacter.driver.pixel(x, y)) << x << "," << y;
}

TEST(TextCall, UnderlineAndStrikeOutAreExtraRectanglesAlongTheText) {
    DriverConfig config;
    config.width = 300;
    config.height = 300;
    Session s(config);
    ASSERT_TRUE(s.begin());
    s.font(-40, true, true);
    ASSERT_TRUE(s.dc->textOut({20, 60}, u"Hello"));
    const Call flat = *s.driver.named("DrvTextOut").back();
    ASSERT_EQ(flat.extraRects.size(), 2u);
    const RECTL under = flat.extraRects[0], strike = flat.extraRects[1];
    // Below and above the baseline at y 60, from the origin to the end of
    // the last glyph's advance.
    EXPECT_GE(under.top, 60);
    EXPECT_LE(under.bottom, 60 + 10);
    EXPECT_LE(strike.bottom, 60);
    EXPECT_GE(strike.top, 60 - 25);
    for (const RECTL& r : flat.extraRects) {
        EXPECT_GT(r.bottom, r.top);
        EXPECT_EQ(r.left, 20);
        EXPECT_GT(r.right, flat.glyphPositions.back().x + 10);
        EXPECT_LT(r.right, flat.glyphPositions.back().x + 40);
    }

    // A vertical baseline turns them into upright rectangles.
    s.font(-40, true, false, 900);
    ASSERT_TRUE(s.dc->textOut({100, 250}, u"Hello"));
    const Call up = *s.driver.named("DrvTextOut").back();
    ASSERT_EQ(up.extraRects.size(), 1u);
    EXPECT_GT(up.extraRects[0].bottom - up.extraRects[0].top, 50);
    EXPECT_GE(up.extraRects[0].left, 100);
    EXPECT_EQ(up.extraRects[0].bottom, 250);

    // A slanted baseline cannot use rectangles: the lines are filled after
    // the text in its colour.
    const size_t fillsBefore = s.driver.named("DrvFillPath").size();
    s.font(-40, true, true, 300);
    ASSERT_TRUE(s.dc->textOut({150, 250}, u"Hi"));
    EXPECT_TRUE(s.driver.named("DrvTextOut").back()->extraRects.empty());
    const auto fills = s.driver.named("DrvFillPath");
    ASSERT_EQ(fills.size(), fillsBefore + 2);
    EXPECT_EQ(fills.back()->brushColor, kRed);
    ASSERT_TRUE(s.finish());
    // The engine painted the horizontal underline.
    EXPECT_GT(s.redIn(20, under.top, under.right, under.bottom), (under.right - 20) * (under.bottom - under.top) / 2);
}

TEST(TextCall, PairedAdvancesPutOneCallOnSeveralLines) {
    DriverConfig config;
    config.width = 300;
    config.height = 300;
    Session s(config);
    ASSERT_TRUE(s.begin());
    s.font(-30, true, false);
    // "ab" on the baseline at y 60, then back to x 20 and 40 down: "cd".
    const double pairs[] = {20, 0, -20, 40, 25, 0, 25, 0};
    TextOptions options;
    options.advances = pairs;
    options.pairs = true;
    ASSERT_TRUE(s.dc->textOut({20, 60}, u"abcd", options));
    const Call flat = *s.driver.named("DrvTextOut").back();
    ASSERT_EQ(flat.glyphPositions.size(), 4u);
    const POINTL expected[] = {{20, 60}, {40, 60}, {20, 100}, {45, 100}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(flat.glyphPositions[i].x, expected[i].x) << i;
        EXPECT_EQ(flat.glyphPositions[i].y, expected[i].y) << i;
    }
    // One underline per line, each along its own glyphs.
    ASSERT_EQ(flat.extraRects.size(), 2u);
    EXPECT_EQ(flat.extraRects[0].left, 20);
    EXPECT_GE(flat.extraRects[0].top, 60);
    EXPECT_LT(flat.extraRects[0].bottom, 100 - 10);
    EXPECT_GT(flat.extraRects[0].right, 40 + 5);
    EXPECT_GE(flat.extraRects[1].top, 100);
    EXPECT_GT(flat.extraRects[1].right, 45 + 5);

    // Across a baseline turned up the page is towards its right.
    s.font(-30, false, false, 900);
    ASSERT_TRUE(s.dc->textOut({100, 250}, u"abcd", options));
    const Call up = *s.driver.named("DrvTextOut").back();
    ASSERT_EQ(up.glyphPositions.size(), 4u);
    EXPECT_EQ(up.glyphPositions[1].x, 100);
    EXPECT_EQ(up.glyphPositions[1].y, 230);
    EXPECT_EQ(up.glyphPositions[2].x, 140);
    EXPECT_EQ(up.glyphPositions[2].y, 250);
    EXPECT_EQ(up.glyphPositions[3].y, 225);

    // Pairs need two advances per character.
    options.advances = std::span<const double>(pairs, 7);
    EXPECT_FALSE(s.dc->textOut({20, 60}, u"abcd", options));
    ASSERT_TRUE(s.finish());
    // Both lines were painted.
    EXPECT_GT(s.redIn(20, 40, 80, 62), 20);
    EXPECT_GT(s.redIn(20, 80, 80, 102), 20);
}

TEST(TextCall, DeclinedTextStillGetsItsLines) {
    DriverConfig config;
    config.decline = {"DrvTextOut"};
    config.width = 300;
    Session s(config);
    ASSERT_TRUE(s.begin());
    s.font(-40, true);
    ASSERT_TRUE(s.dc->textOut({20, 60}, u"  "));
    const RECTL under = s.driver.named("DrvTextOut").back()->extraRects.at(0);
    ASSERT_TRUE(s.finish());
    // Spaces have no ink: the red is the line alone, and all of it.
    const int width = under.right - under.left;
    EXPECT_EQ(s.redIn(under.left, under.top, under.right, under.bottom), width * (under.bottom - under.top));
}

TEST(TextCall, ClippedTextStaysInsideItsRectangle) {
    Session s;
    ASSERT_TRUE(s.begin());
    s.font(-60);
    const RectD clip{20, 20, 45, 100};
    TextOptions options;
    options.clip = &clip;
    ASSERT_TRUE(s.dc->textOut({10, 80}, u"MMM", options));
    const Call& call = *s.driver.named("DrvTextOut").back();
    EXPECT_EQ(call.clipComplexity, DC_RECT);
    EXPECT_GE(call.clipBounds.left, 20);
    EXPECT_LE(call.clipBounds.right, 45);
    ASSERT_TRUE(s.finish());
    EXPECT_GT(s.redIn(20, 20, 45, 100), 20);
    EXPECT_EQ(s.redIn(0, 0, 20, 150), 0);
    EXPECT_EQ(s.redIn(45, 0, 200, 150), 0);
    EXPECT_EQ(s.driver.pixel(10, 10), kWhite);
}

std::vector<uint8_t> readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A private font registered for one test.
class Registered {
public:
    Registered(const char16_t* name, std::span<const std::pair<char32_t, uint32_t>> map = {}) {
        const auto bytes = readFile("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
        handle_ = fonts::addPrivateFont(bytes.data(), bytes.size(), name, map);
    }
    ~Registered() { fonts::removePrivateFont(handle_); }
    Registered(const Registered&) = delete;
    Registered& operator=(const Registered&) = delete;
    bool ok() const { return handle_ != nullptr; }

private:
    HANDLE handle_ = nullptr;
};

std::unique_ptr<FontObject> realize(const char16_t* face, int weight, bool italic, BYTE charSet = DEFAULT_CHARSET) {
    FontRequest request;
    request.logFont.lfHeight = -40;
    request.logFont.lfWeight = weight;
    request.logFont.lfItalic = italic;
    request.logFont.lfCharSet = charSet;
    std::memcpy(request.logFont.lfFaceName, face, std::char_traits<char16_t>::length(face) * 2);
    return FontObject::create(request);
}

std::u16string stringAt(const IFIMETRICS* ifi, PTRDIFF offset) {
    return reinterpret_cast<const char16_t*>(reinterpret_cast<const uint8_t*>(ifi) + offset);
}

TEST(TextFontObject, PrivateFaceReportsItsNameSizeAndSimulatedStyles) {
    Registered font(u"Tessaly Sim Test");
    ASSERT_TRUE(font.ok());
    auto regular = realize(u"Tessaly Sim Test", FW_NORMAL, false);
    auto boldItalic = realize(u"Tessaly Sim Test", FW_BOLD, true);
    ASSERT_TRUE(regular && boldItalic);
    EXPECT_FALSE(regular->flFontType & (FO_SIM_BOLD | FO_SIM_ITALIC));
    EXPECT_TRUE(boldItalic->flFontType & FO_SIM_BOLD);
    EXPECT_TRUE(boldItalic->flFontType & FO_SIM_ITALIC);
    EXPECT_FALSE(regular->flFontType & FO_DBCS_FONT);

    const IFIMETRICS* ifi = FONTOBJ_pifi(regular.get());
    ASSERT_NE(ifi, nullptr);
    EXPECT_EQ(stringAt(ifi, ifi->dpwszFamilyName), u"Tessaly Sim Test");
    EXPECT_EQ(stringAt(ifi, ifi->dpwszStyleName), u"Book");
    // A DEFAULT_CHARSET request reports the set the mapper chose.
    EXPECT_EQ(ifi->jWinCharSet, ANSI_CHARSET);
    // The notional-to-device transform times the em is the pixel size.
    const XFORML& m = FontObject::fromFontobj(regular.get())->transform()->matrix();
    EXPECT_NEAR(std::hypot(m.eM11, m.eM12) * ifi->fwdUnitsPerEm, 40.0, 1e-3);

    // A set asked for is the set reported; double-byte sets are flagged.
    auto cyrillic = realize(u"Tessaly Sim Test", FW_NORMAL, false, RUSSIAN_CHARSET);
    ASSERT_TRUE(cyrillic);
    EXPECT_EQ(FONTOBJ_pifi(cyrillic.get())->jWinCharSet, RUSSIAN_CHARSET);
    auto japanese = realize(u"Tessaly Sim Test", FW_NORMAL, false, SHIFTJIS_CHARSET);
    ASSERT_TRUE(japanese);
    EXPECT_TRUE(japanese->flFontType & FO_DBCS_FONT);
}

TEST(TextFontObject, GlyphSetRunsFollowTheRegisteredMap) {
    const std::pair<char32_t, uint32_t> map[] = {{U'A', 36}, {U'B', 37}, {U'D', 39}, {U'\u20AC', 5}};
    Registered font(u"Tessaly Map Test", map);
    ASSERT_TRUE(font.ok());
    auto object = realize(u"Tessaly Map Test", FW_NORMAL, false);
    ASSERT_TRUE(object);
    const FD_GLYPHSET* set = FONTOBJ_pfdg(object.get());
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->cGlyphsSupported, 4u);
    ASSERT_EQ(set->cRuns, 3u);
    EXPECT_EQ(set->awcrun[0].wcLow, u'A');
    ASSERT_EQ(set->awcrun[0].cGlyphs, 2u);
    EXPECT_EQ(set->awcrun[0].phg[0], 36u);
    EXPECT_EQ(set->awcrun[0].phg[1], 37u);
    EXPECT_EQ(set->awcrun[1].wcLow, u'D');
    EXPECT_EQ(set->awcrun[1].phg[0], 39u);
    EXPECT_EQ(set->awcrun[2].wcLow, u'\u20AC');
    EXPECT_EQ(set->awcrun[2].phg[0], 5u);
    EXPECT_EQ(object->glyph(U'B'), 37u);
    EXPECT_EQ(object->glyph(U'C'), 0u);

    // The installed face's own map is one run per consecutive block.
    auto installed = realize(u"DejaVu Sans", FW_NORMAL, false);
    ASSERT_TRUE(installed);
    const FD_GLYPHSET* own = FONTOBJ_pfdg(installed.get());
    ASSERT_NE(own, nullptr);
    ULONG total = 0;
    for (ULONG i = 0; i < own->cRuns; ++i) {
        total += own->awcrun[i].cGlyphs;
        if (i > 0) {
            EXPECT_GT(own->awcrun[i].wcLow, own->awcrun[i - 1].wcLow + own->awcrun[i - 1].cGlyphs - 1);
        }
    }
    EXPECT_EQ(total, own->cGlyphsSupported);
}

TEST(TextFontObject, StringsTellTheirDirectionAndCodePage) {
    struct Case {
        LONG escapement;
        BYTE charSet;
        FLONG flags;
        DWORD codePage;
    };
    const Case cases[] = {{0, DEFAULT_CHARSET, SO_HORIZONTAL, 1252},
                          {1800, RUSSIAN_CHARSET, SO_HORIZONTAL | SO_REVERSED, 1251},
                          {900, GREEK_CHARSET, SO_VERTICAL | SO_REVERSED, 1253},
                          {2700, EASTEUROPE_CHARSET, SO_VERTICAL, 1250},
                          {450, DEFAULT_CHARSET, 0, 1252}};
    for (const Case& c : cases) {
        FontRequest request;
        request.logFont.lfHeight = -20;
        request.logFont.lfEscapement = c.escapement;
        request.logFont.lfCharSet = c.charSet;
        std::memcpy(request.logFont.lfFaceName, u"DejaVu Sans", sizeof(u"DejaVu Sans"));
        auto font = FontObject::create(request);
        ASSERT_TRUE(font);
        StringObject string;
        ASSERT_TRUE(string.layout(*font, u"ab", 2, 50, 50, nullptr));
        EXPECT_EQ(string.flAccel & (SO_HORIZONTAL | SO_VERTICAL | SO_REVERSED), c.flags) << c.escapement;
        EXPECT_EQ(STROBJ_dwGetCodePage(&string), c.codePage) << c.escapement;
    }
}

TEST(TextFontObject, PostScriptPrivateFontsDrawThroughTheEngine) {
    for (const char* path : {"/usr/share/fonts/X11/Type1/NimbusSans-Regular.pfb",
                             "/usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf"}) {
        const auto bytes = readFile(path);
        HANDLE handle = fonts::addPrivateFont(bytes.data(), bytes.size(), u"Tessaly PostScript Test");
        ASSERT_NE(handle, nullptr) << path;
        {
            DriverConfig config;
            config.decline = {"DrvTextOut"};  // the engine's fills of the outlines
            Session s(config);
            ASSERT_TRUE(s.begin());
            LOGFONTW lf{};
            lf.lfHeight = -60;
            std::memcpy(lf.lfFaceName, u"Tessaly PostScript Test", sizeof(u"Tessaly PostScript Test"));
            ASSERT_TRUE(s.dc->setFont(lf));
            s.dc->setTextColor(kRed);
            s.dc->setBackgroundMode(BackgroundMode::Transparent);
            ASSERT_TRUE(s.dc->textOut({20, 20}, u"H"));
            const Call& call = *s.driver.named("DrvTextOut").back();
            EXPECT_TRUE(call.fontType & FO_POSTSCRIPT) << path;
            EXPECT_EQ((call.fontType & FO_CFF) != 0, std::string(path).ends_with(".otf")) << path;
            ASSERT_TRUE(s.finish());
            // The H's stems: solid red columns, white between them.
            EXPECT_GT(s.redIn(20, 20, 80, 80), 300) << path;
        }
        EXPECT_TRUE(fonts::removePrivateFont(handle));
    }
}

}  // namespace
}  // namespace tessaly::gdi
