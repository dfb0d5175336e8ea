#include "swf/text_objects.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "stream_text.h"

namespace tessaly {
namespace {

std::string dumpOf(const MovieObject& object) {
    return test::streamText([&](FILE* out) { object.dump(out, 0); });
}

// A font whose glyphs are boxes: 'A' 600 units wide, 'V' 500, 'é' 400, U+263A 800.
void addBox(FontObject& font, char16_t code, int32_t advance) {
    ShapeObject& shape = font.glyphShape();
    const auto first = uint32_t(shape.commands().size());
    shape.rectangle(0, -700, advance - 50, 0, 1);
    Bounds b;
    b.addPoint(0, -700);
    b.addPoint(advance - 50, 0);
    EXPECT_GE(font.addGlyph(code, advance, b, first), 0);
}

struct BoxFont : FontObject {
    BoxFont() {
        setUp("Boxes", kStyleBold, 0, 900, 200, 30);
        addBox(*this, u'A', 600);
        addBox(*this, u'V', 500);
        addBox(*this, u'\u00e9', 400);
        addBox(*this, u'\u263a', 800);
        addKerning(u'A', u'V', -100);
    }
};

TEST(FontObject, GlyphsKerningAndPruning) {
    BoxFont font;
    EXPECT_EQ(font.findGlyph(u'V'), 1);
    EXPECT_EQ(font.glyphIndex(u'Z', false), -1);
    EXPECT_EQ(font.glyphIndex(u'Z', true), 0);  // the first glyph stands in
    EXPECT_EQ(font.addGlyph(u'A', 1, Bounds{}, 0), -1);  // first definition wins
    EXPECT_EQ(font.kerning(u'A', u'V'), -100);
    EXPECT_EQ(font.kerning(u'V', u'A'), FontObject::kNoKerning);
    EXPECT_EQ(font.glyphs()[0].commandCount, 5u);
    EXPECT_EQ(font.glyphs()[1].firstCommand, 5u);

    font.markUsed(0);
    EXPECT_FALSE(font.wideCodes);
    font.markUsed(3);
    EXPECT_TRUE(font.wideCodes);
    // 'V' is unused, so the A-V pair dangles.
    font.prune(false, true);
    EXPECT_TRUE(font.kerningPairs().empty());
    EXPECT_EQ(font.glyphs().size(), 4u);
    font.prune(true, true);
    EXPECT_EQ(font.glyphs().size(), 2u);
    EXPECT_EQ(font.findGlyph(u'\u263a'), 1);
    EXPECT_TRUE(font.prepared);
}

class CountingSource : public GlyphSource {
public:
    explicit CountingSource(int* loads) : loads_(loads) {}
    bool loadGlyph(FontObject& font, uint16_t code) override {
        ++*loads_;
        if (code == u'?') return false;
        addBox(font, code, 300);
        return true;
    }

private:
    int* loads_;
};

TEST(FontObject, GlyphsLoadOnFirstRequestOnly) {
    FontObject font;
    int loads = 0;
    font.setGlyphSource(std::make_unique<CountingSource>(&loads));
    EXPECT_EQ(font.glyphIndex(u'x', false), 0);
    EXPECT_EQ(font.glyphIndex(u'x', false), 0);
    EXPECT_EQ(loads, 1);
    EXPECT_EQ(font.glyphIndex(u'?', true), 0);
    EXPECT_EQ(font.glyphIndex(u'?', false), -1);
    font.reset();
    EXPECT_EQ(font.glyphIndex(u'y', false), -1);  // the source went with the reset
}

TEST(TextObject, LaysOutWithScaledAdvancesAndKerning) {
    BoxFont font;
    TextObject text;
    EXPECT_EQ(text.addText(u"AV", nullptr, false), 0);  // no font yet
    text.font(7, &font);
    text.height(200);  // scale 200/1024
    text.moveTo(1000, 2000);
    // 'Z' has no glyph and is skipped; A advances (600 - 100) * 200/1024 = 97.66 -> 98.
    ASSERT_EQ(text.addText(u"AZV", nullptr, false), 1);
    const TextRecord& run = text.records().back();
    EXPECT_EQ(run.chars, u"AV");
    // Kerning pairs are looked up between neighbours in the string, so A-Z has none.
    EXPECT_EQ(run.advances, (std::vector<int32_t>{117, 98}));
    EXPECT_EQ(text.penX(), 1000 + 117 + 98);
    EXPECT_EQ(text.bounds.xMin, 1000);
    EXPECT_EQ(text.bounds.yMin, 2000 - 137);
    EXPECT_EQ(font.glyphs()[0].useCount, 1u);

    ASSERT_EQ(text.resolve(false), 1);
    EXPECT_EQ(run.glyphs, (std::vector<uint32_t>{0, 1}));
    EXPECT_EQ(text.largestGlyphIndex(), 1u);
    EXPECT_EQ(text.largestAdvance(), 117u);
}

TEST(TextObject, RecordsAreOnlyAddedWhenSomethingChanges) {
    BoxFont font;
    TextObject text;
    text.moveTo(0, 0);
    text.color(0x123456, false);
    text.color(0xFF123456, true);
    text.font(3, &font);
    text.font(3, &font);
    EXPECT_EQ(text.records().size(), 2u);  // one colour, one font
    EXPECT_FALSE(text.usesAlpha());
    text.color(0x80123456, true);
    EXPECT_TRUE(text.usesAlpha());
    ByteBuffer deps(64);
    EXPECT_TRUE(deps.allocate());
    EXPECT_EQ(text.collectDependencies(deps), 1);
    EXPECT_EQ(deps.u32At(0), 3u);
}

TEST(TextObject, PositionedTextSplitsIntoBaselines) {
    BoxFont font;
    TextObject text;
    text.font(1, &font);
    text.height(1024);
    const TextPosition at[] = {{100, 50}, {700, 50}, {0, 0}, {100, 400}};
    ASSERT_EQ(text.addPositionedText(u"AV?A", at, false), 1);  // '?' has no glyph
    ASSERT_EQ(text.records().size(), 6u);  // font, height, move, run, move, run
    EXPECT_EQ(text.records()[2].code, kTextMove);
    EXPECT_EQ(text.records()[3].chars, u"AV");
    // Advances reach the next character on the line; the line's last keeps
    // its own (V: 500), and the next line moves to x 100.
    EXPECT_EQ(text.records()[3].advances, (std::vector<int32_t>{600, 500}));
    EXPECT_EQ(text.records()[4].x, 100);
    EXPECT_EQ(text.records()[4].y, 400);
    EXPECT_EQ(text.records()[5].advances, (std::vector<int32_t>{600}));
}

TEST(TextObject, ResolveFailsWithoutGlyphs) {
    BoxFont font;
    TextObject text;
    text.font(1, &font);
    EXPECT_EQ(text.addText(u"A", nullptr, false), 1);
    font.reset();  // the glyph is gone
    EXPECT_EQ(text.resolve(false), 0);
}

TEST(Dumps, TextAndFontFormats) {
    BoxFont font;
    TextObject text;
    text.font(9, &font);
    text.height(1024);
    EXPECT_EQ(text.addText(u"A\u263a", nullptr, false), 1);
    EXPECT_EQ(dumpOf(text),
              "Text numCommand=3\n"
              "  0 FONT id=9 font=\"Boxes\"\n"
              "  1 HEIGHT 1024\n"
              "  2 TEXT len=2\n"
              "    A&#x263a;\n"
              "    text.glyph is NULL\n"
              "    600,800,\n");
    EXPECT_EQ(text.resolve(false), 1);
    EXPECT_NE(dumpOf(text).find("    0,3,\n"), std::string::npos);
    EXPECT_EQ(dumpOf(font).rfind("Font name=\"Boxes\" Bold (U)\n"
                                 "numGlyphs=4\n"
                                 "0 code=65/&#x41; (A) shapePos=0 shapeSize=5 advance=600 "
                                 "bounds=(0 -700 550 0) used=1\n",
                                 0),
              0u);
}

}  // namespace
}  // namespace tessaly
