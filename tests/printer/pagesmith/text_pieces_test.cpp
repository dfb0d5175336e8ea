// The pieces of text translation: transforms and positions, trimming, style
// strings, glyph sets and the font table.

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "composer/mml_reader.h"
#include "device.h"
#include "font_table.h"
#include "glyph_map.h"
#include "text_hooks.h"

namespace tessaly::pagesmith {
namespace {

XFORML matrix(float m11, float m12, float m21, float m22) {
    XFORML x{};
    x.eM11 = m11;
    x.eM12 = m12;
    x.eM21 = m21;
    x.eM22 = m22;
    return x;
}

TEST(TextTransformTest, SizeDirectionAndInverse) {
    const XFORML upright = matrix(0.02f, 0, 0, 0.02f);
    TextTransform t = textTransform(&upright, 2048);
    EXPECT_TRUE(t.known);
    EXPECT_NEAR(t.size, 40.96, 1e-4);
    EXPECT_TRUE(t.identityMatrix());
    EXPECT_TRUE(t.identityInverse);

    // A quarter turn: the baseline runs down the page.
    const XFORML quarter = matrix(0, 1, -1, 0);
    t = textTransform(&quarter, 1000);
    EXPECT_EQ(t.size, 1000);
    EXPECT_EQ(t.a, 0);
    EXPECT_EQ(t.b, 1);
    EXPECT_EQ(t.c, -1);
    EXPECT_EQ(t.d, 0);
    EXPECT_FALSE(t.identityInverse);
    const std::vector<POINTL> down = {{50, 50}, {50, 80}, {51, 110}};
    EXPECT_EQ(positionText(t, down), "0,0;30,0;60,0;");

    // Float rounding of a turn is no direction of its own.
    const XFORML nearly = matrix(-1.8e-8f, 1, -1, -1.8e-8f);
    t = textTransform(&nearly, 1000);
    EXPECT_EQ(t.a, 0);
    EXPECT_EQ(t.d, 0);

    // Taller than wide: the stretch stays in the matrix, the inverse does not.
    const XFORML stretched = matrix(1, 0, 0, 2);
    t = textTransform(&stretched, 100);
    EXPECT_EQ(t.size, 100);
    EXPECT_EQ(t.d, 2);
    EXPECT_TRUE(t.identityInverse);

    // A flat transform has no direction; an unreadable one no size either.
    const XFORML flat = matrix(1, 0, 0, 0);
    t = textTransform(&flat, 100);
    EXPECT_TRUE(t.identityMatrix());
    EXPECT_TRUE(t.identityInverse);
    EXPECT_FALSE(textTransform(nullptr, 100).known);
    const XFORML broken = matrix(std::nanf(""), 0, 0, 1);
    EXPECT_FALSE(textTransform(&broken, 100).known);
}

TEST(TextTransformTest, PositionsSnapOnlyAcrossATurnedBaseline) {
    // Upright text keeps every offset as it is, also small ones.
    const XFORML upright = matrix(1, 0, 0, 1);
    const std::vector<POINTL> wavy = {{10, 10}, {20, 11}, {30, 9}};
    EXPECT_EQ(positionText(textTransform(&upright, 1), wavy), "0,0;10,1;20,-1;");

    // 30 degrees: whole-pixel positions wander up to a pixel off the line.
    const float c = float(std::cos(M_PI / 6)), s = float(std::sin(M_PI / 6));
    const XFORML turned = matrix(c, -s, s, c);
    const TextTransform t = textTransform(&turned, 1);
    std::vector<POINTL> along;
    for (int i = 0; i < 5; ++i) along.push_back({LONG(std::lround(100 + i * 17 * c)), LONG(std::lround(100 - i * 17 * s))});
    const std::string text = positionText(t, along);
    for (size_t at = 0; at < text.size(); at = text.find(';', at) + 1) {
        double x = 0, y = 0;
        ASSERT_EQ(std::sscanf(text.c_str() + at, "%lf,%lf", &x, &y), 2);
        EXPECT_EQ(y, 0) << text;
        EXPECT_NEAR(x, 17.0 * double(std::count(text.begin(), text.begin() + long(at), ';')), 1) << text;
    }
    // Three pixels off the line is no rounding.
    const std::vector<POINTL> off = {along[0], {along[0].x, along[0].y + 3}};
    EXPECT_EQ(positionText(t, off), "0,0;-1.5,2.59808;");
}

TEST(TextPiecesTest, TrimmingAndStyleStrings) {
    std::u16string text = u"  Hello  ";
    EXPECT_EQ(trimBlanks(text), 2u);
    EXPECT_EQ(text, u"Hello");
    text = u"   ";
    trimBlanks(text);
    EXPECT_TRUE(text.empty());
    text = u"\tTab ";
    EXPECT_EQ(trimBlanks(text), 0u);
    EXPECT_EQ(text, u"\tTab");

    EXPECT_EQ(styleString(0, u"Bold Italic"), u"Bold Italic");
    EXPECT_EQ(styleString(FO_SIM_BOLD, u"Regular"), u"bold ");
    EXPECT_EQ(styleString(FO_SIM_BOLD | FO_SIM_ITALIC, u"Regular"), u"bold italic");
    EXPECT_EQ(styleString(FO_SIM_ITALIC, u"Bold"), u"italic");
    EXPECT_EQ(styleCode("bold italic"), 3);
    EXPECT_EQ(styleCode("Bold Oblique"), 3);  // an oblique face is its family's italic
    EXPECT_EQ(styleCode("ITALIC"), 2);
}

// An engine glyph set of runs (first character, handles).
class EngineGlyphSet {
public:
    EngineGlyphSet(std::vector<std::pair<WCHAR, std::vector<HGLYPH>>> runs, FLONG accel = 0)
        : runs_(std::move(runs)), bytes_((offsetof(FD_GLYPHSET, awcrun) + runs_.size() * sizeof(WCRUN) + 7) / 8) {
        auto* set = reinterpret_cast<FD_GLYPHSET*>(bytes_.data());
        set->flAccel = accel;
        set->cRuns = ULONG(runs_.size());
        for (size_t i = 0; i < runs_.size(); ++i) {
            set->awcrun[i].wcLow = runs_[i].first;
            set->awcrun[i].cGlyphs = USHORT(runs_[i].second.size());
            set->awcrun[i].phg = accel & GS_UNICODE_HANDLES ? nullptr : runs_[i].second.data();
        }
    }
    const FD_GLYPHSET& get() const { return *reinterpret_cast<const FD_GLYPHSET*>(bytes_.data()); }

private:
    std::vector<std::pair<WCHAR, std::vector<HGLYPH>>> runs_;
    std::vector<uint64_t> bytes_;
};

TEST(GlyphMapTest, GlyphIndexStrings) {
    // 'A'..'C' are glyphs 4..6, 'a'..'b' glyphs 5 and 8: glyph 5 is first 'B'.
    const EngineGlyphSet engine({{u'A', {4, 5, 6}}, {u'a', {5, 8}}});
    const GlyphSet set = GlyphSet::fromEngine(engine.get());
    EXPECT_EQ(set.character(5), u'B');
    EXPECT_EQ(set.character(8), u'b');
    EXPECT_EQ(set.character(9), 0);
    const std::vector<HGLYPH> indices = {5, 9, 5};
    EXPECT_EQ(charactersOfGlyphs(set, indices), u"B B");
    const std::vector<HGLYPH> others = {4, 0, 8, 4};
    EXPECT_EQ(charactersOfGlyphs(set, others), u"A bA");

    // Handles that are the characters themselves.
    const EngineGlyphSet unicode({{u'a', {0, 0, 0}}, {0x4e2d, {0}}}, GS_UNICODE_HANDLES);
    const GlyphSet implicit = GlyphSet::fromEngine(unicode.get());
    const std::vector<HGLYPH> codes = {u'b', 0x4e2d, u'z', 0x10062};
    EXPECT_EQ(charactersOfGlyphs(implicit, codes), u"b\u4e2d  ");
    EXPECT_TRUE(implicit.covers(u'c'));
    EXPECT_FALSE(implicit.covers(u'd'));
}

TEST(GlyphMapTest, DbcsRepairReplacesOnlyCharactersOutsideTheSet) {
    const EngineGlyphSet engine({{u'a', {10, 11, 12}}, {0x3042, {20, 21}}});
    const GlyphSet set = GlyphSet::fromEngine(engine.get());
    // Bytes of a DBCS code page mistaken for characters: 0x82 0xA0 as two.
    std::u16string text = u"a\u0082\u00a0\u00ffb";
    const std::vector<HGLYPH> handles = {10, 20, 21, 20, 99};
    repairDbcsText(set, handles, text);
    // Each takes its handle's character; an earlier position with the same
    // handle wins; 'b' is in the set and stays.
    EXPECT_EQ(text, u"a\u3042\u3043\u3042b");
    std::u16string unknown = u"\u0080";
    const std::vector<HGLYPH> nothing = {77};
    repairDbcsText(set, nothing, unknown);
    EXPECT_EQ(unknown, u" ");
}

TEST(GlyphMapTest, CacheIsKeyedByStyleAndFaceWithoutCase) {
    const EngineGlyphSet first({{u'A', {1}}});
    const EngineGlyphSet second({{u'A', {2}}});
    GlyphSetCache cache;
    EXPECT_EQ(cache.find(0, u"Face", nullptr), nullptr);
    const GlyphSet* a = cache.find(0, u"Face", &first.get());
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(cache.find(0, u"fACE", &second.get()), a);
    const GlyphSet* bold = cache.find(1, u"Face", &second.get());
    ASSERT_NE(bold, nullptr);
    EXPECT_NE(bold, a);
    EXPECT_EQ(bold->character(2), u'A');
    EXPECT_EQ(cache.size(), 2u);
    cache.clear();
    EXPECT_EQ(cache.find(0, u"Face", nullptr), nullptr);
}

TEST(FontTableTest, DefaultSetFontsAreCapturedOnceAndKeepTheEnumeratedSet) {
    DriverDevice device;
    std::string out;
    const int64_t id = declareFont(device, u"DejaVu Sans", u"Book", -1, out);
    ASSERT_EQ(id, 1);
    EXPECT_EQ(out, "<Font src=\"f1.mml\" font=\"DejaVu Sans\" charSet=\"4294967295\"/>\n");
    // Asked again (another case) it is found: nothing more is declared.
    out.clear();
    EXPECT_EQ(declareFont(device, u"dejavu sans", u"Book", -1, out), 1);
    EXPECT_TRUE(out.empty());
    ASSERT_EQ(device.fonts.size(), 1u);
    // The font file names the set the face's enumeration offered.
    addFontGlyphs(device, 1, u"Ab");
    const std::string file = fontFileMml(*device.fonts[0].font);
    EXPECT_EQ(file.rfind("<Font font=\"DejaVu Sans\" charSet=\"0\" numGlyph=\"3\" numKerning=\"", 0), 0u) << file.substr(0, 120);

    // Another style or set is another font with the next id.
    EXPECT_EQ(declareFont(device, u"DejaVu Sans", u"Bold", -1, out), 2);
    EXPECT_EQ(declareFont(device, u"DejaVu Sans", u"Book", 0, out), 3);
    EXPECT_EQ(device.fonts.size(), 3u);
}

TEST(FontTableTest, MarkupCharactersInNamesAreEscapedAndReadBack) {
    DriverDevice device;
    std::string out;
    // An unknown face still gets the font the system maps it to.
    ASSERT_EQ(declareFont(device, u"Odd \"<Face>\" & Co", u"Bold 'x'", 0, out), 1);
    EXPECT_EQ(out, "<Font src=\"f1.mml\" font=\"Odd &quot;&lt;Face&gt;&quot; &amp; Co\" "
                   "style=\"Bold &apos;x&apos;\" charSet=\"0\"/>\n");
    MmlReader reader;
    ASSERT_TRUE(reader.loadText(out));
    ASSERT_TRUE(reader.nextElement("Font"));
    EXPECT_STREQ(reader.attribute("font"), "Odd \"<Face>\" & Co");
    EXPECT_STREQ(reader.attribute("style"), "Bold 'x'");
    EXPECT_STREQ(reader.attribute("charSet"), "0");

    // The font file names the face the same way.
    const std::string file = fontFileMml(*device.fonts[0].font);
    MmlReader fileReader;
    ASSERT_TRUE(fileReader.loadText(file));
    ASSERT_TRUE(fileReader.nextElement("Font"));
    EXPECT_STREQ(fileReader.attribute("font"), "Odd \"<Face>\" & Co");
}

}  // namespace
}  // namespace tessaly::pagesmith
