#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "composer/mml_interpreter.h"
#include "support/scrambler.h"
#include "swf/text_encoder.h"

namespace tessaly {
namespace {

// A system font provider of box glyphs that counts what it was asked for.
class BoxFonts : public SystemFontProvider {
public:
    std::unique_ptr<FontObject> makeFont(const std::string& name, int32_t style,
                                         int32_t charset) override {
        requests.push_back(name + "/" + std::to_string(style) + "/" + std::to_string(charset));
        if (name == "Missing") return nullptr;
        auto font = std::make_unique<FontObject>();
        font->setUp(name, style, 0, 900, 200, 0);
        font->setGlyphSource(std::make_unique<Boxes>());
        return font;
    }
    std::vector<std::string> requests;

private:
    struct Boxes : GlyphSource {
        bool loadGlyph(FontObject& font, uint16_t code) override {
            if (code == u'#') return false;
            ShapeObject& shape = font.glyphShape();
            const auto first = uint32_t(shape.commands().size());
            shape.rectangle(0, -700, 500, 0, 1);
            Bounds b;
            b.addPoint(0, -700);
            b.addPoint(500, 0);
            return font.addGlyph(code, 600, b, first) >= 0;
        }
    };
};

struct Interpretation {
    CharacterDictionary dictionary;
    BoxFonts fonts;
    MmlInterpreter interpreter;

    explicit Interpretation(const std::string& body, const std::string& jobDirectory = "",
                            uint32_t key = 0) {
        interpreter.dictionary = &dictionary;
        interpreter.systemFonts = &fonts;
        interpreter.jobKey = key;
        interpreter.setJobDirectory(jobDirectory);
        EXPECT_EQ(interpreter.InputOpen(), 1);
        EXPECT_EQ(interpreter.SetSource("<Media><Frame>" + body + "</Frame></Media>"), 1);
        while (interpreter.InputFrame() == 1) {
        }
    }
    std::vector<DictionaryEntry*> ofType(uint32_t type) const {
        std::vector<DictionaryEntry*> out;
        for (size_t i = 0; i < dictionary.count(); ++i) {
            if (dictionary.entryAt(i).type == type) out.push_back(&dictionary.entryAt(i));
        }
        return out;
    }
    const TextObject& text(size_t i) const {
        return static_cast<const TextObject&>(*ofType(kTypeText).at(i)->object);
    }
};

const char kEmbedded[] =
    "<Font font=\"Emb\" style=\"bold\" ascent=\"800\" descent=\"200\">"
    "<Glyph unicode=\"72\" advance=\"700\"><MoveTo pos=\"0,-700\"/>"
    "<LinexTo path=\"600,-700;600,0;0,0;0,-700\"/></Glyph>"
    "<Glyph char=\"&#x69;\" advance=\"300\"><MoveTo pos=\"0,-500\"/>"
    "<LinexTo path=\"200,-500;200,0;0,0\"/></Glyph>"
    "<Glyph char=\"&#x263a;\" advance=\"900\"><MoveTo pos=\"0,0\"/><LinexTo path=\"10,10\"/></Glyph>"
    "<Kerning unicode1=\"72\" unicode2=\"105\" delta=\"-100\"/></Font>";

TEST(TextElements, EmbeddedFontsCarryGlyphsAndKerning) {
    Interpretation run(std::string(kEmbedded) +
                       "<Text font=\"EMB\" style=\"bold\" size=\"1024\" pos=\"100,200\">Hi</Text>");
    ASSERT_EQ(run.ofType(kTypeFont).size(), 1u);
    const auto& font = static_cast<const FontObject&>(*run.ofType(kTypeFont)[0]->object);
    EXPECT_EQ(font.name, "Emb");
    EXPECT_EQ(font.style, kStyleBold);
    ASSERT_EQ(font.glyphs().size(), 3u);
    EXPECT_EQ(font.glyphs()[1].code, u'i');       // char="&#x69;"
    EXPECT_EQ(font.glyphs()[2].code, 0x263a);     // a wide character reference
    EXPECT_EQ(font.glyphs()[0].xMax, 600);
    EXPECT_TRUE(run.fonts.requests.empty());  // no system font was needed
    const TextObject& text = run.text(0);
    const TextRecord& chars = text.records().back();
    EXPECT_EQ(chars.chars, u"Hi");
    EXPECT_EQ(chars.advances, (std::vector<int32_t>{600, 300}));  // kerned pair
    EXPECT_EQ(run.interpreter.rootClip()->controls()[0].matrix.translateX, 100);
}

TEST(TextElements, GlyphsStartWithTheirOwnMoveEvenAtThePen) {
    // The second glyph starts where the first one ended.
    Interpretation run("<Font font=\"Pen\"><Glyph unicode=\"65\" advance=\"500\"><MoveTo pos=\"0,0\"/>"
                       "<LinexTo path=\"100,0;100,-100;0,0\"/></Glyph>"
                       "<Glyph unicode=\"66\" advance=\"500\"><MoveTo pos=\"0,0\"/>"
                       "<LinexTo path=\"0,-100;50,0\"/></Glyph></Font>");
    const auto& font = static_cast<const FontObject&>(*run.ofType(kTypeFont).at(0)->object);
    const FontGlyph& second = font.glyphs().at(1);
    EXPECT_EQ(second.commandCount, 3u);
    EXPECT_EQ(font.glyphShape().commands()[second.firstCommand].code, kCmdMove);
}

TEST(TextElements, FontFilesAreFoundByTheSetTheirDeclarationAsked) {
    // The file records the set the system chose (0); the page declared the
    // font for any set, as texts without a charset ask for it.
    const auto dir = std::filesystem::temp_directory_path() / "tessaly_font_charset";
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "f1.mml") << "<Font font=\"Emb\" charSet=\"0\"><Glyph unicode=\"72\" advance=\"700\">"
                                     "<MoveTo pos=\"0,-700\"/><LinexTo path=\"600,-700;600,0\"/></Glyph></Font>";
    Interpretation run("<Font src=\"f1.mml\" font=\"Emb\" charSet=\"4294967295\"/><Text font=\"Emb\">H</Text>",
                       dir.string());
    std::filesystem::remove_all(dir);
    EXPECT_TRUE(run.fonts.requests.empty());
    EXPECT_EQ(run.ofType(kTypeFont).size(), 1u);
}

TEST(TextElements, TheFirstFontDefinitionWins) {
    Interpretation run(std::string(kEmbedded) +
                       "<Font font=\"emb\" style=\"bold\"><Glyph unicode=\"72\" advance=\"1\"/></Font>"
                       "<Font font=\"Emb\"><Glyph unicode=\"72\" advance=\"1\"/></Font>"
                       "<Font><Glyph unicode=\"1\"/></Font>"
                       "<Font font=\"Bad\"><Glyph advance=\"5\"/></Font>");
    // The bold duplicate is discarded; the regular one is another font; the
    // nameless font and the one with a glyph without a code fail.
    ASSERT_EQ(run.ofType(kTypeFont).size(), 2u);
    EXPECT_EQ(static_cast<const FontObject&>(*run.ofType(kTypeFont)[0]->object).glyphs().size(), 3u);
}

TEST(TextElements, SystemFontsAreSharedUnlessTheTextHasAnId) {
    // Null elements keep the texts apart (adjacent texts join).
    Interpretation run("<Text>plain</Text><Null></Null><Text size=\"20\">again</Text><Null></Null>"
                       "<Text style=\"italic\" charset=\"0\">x</Text><Text id=\"t\">own</Text>"
                       "<Text font=\"Missing\">gone</Text><Text>#</Text>");
    EXPECT_EQ(run.fonts.requests,
              (std::vector<std::string>{"Arial/0/-1", "Arial/2/0", "Arial/0/-1", "Missing/0/-1"}));
    EXPECT_EQ(run.ofType(kTypeFont).size(), 3u);
    // "#" has no glyph, so that text is empty and dropped, as is the missing font's.
    EXPECT_EQ(run.ofType(kTypeText).size(), 4u);
    EXPECT_EQ(run.text(0).currentHeight(), 16u);
    EXPECT_EQ(run.text(1).currentHeight(), 20u);
}

TEST(TextElements, CharacterPositionsAndColour) {
    Interpretation run("<Text size=\"1024\" color=\"#80FF0000\" charpos=\"0,0;1000.4,0;2000,500\">abcd</Text>");
    const TextObject& text = run.text(0);
    EXPECT_TRUE(text.usesAlpha());
    std::vector<std::u16string> runs;
    for (const auto& r : text.records()) {
        if (r.code == kTextChars) runs.push_back(r.chars);
    }
    // Two baselines from the positions, then "d" after "c" with its own advance.
    EXPECT_EQ(runs, (std::vector<std::u16string>{u"ab", u"c", u"d"}));
    EXPECT_EQ(text.records()[3].advances[0], 1000);
}

TEST(TextElements, IdenticalTextsAreDefinedOnce) {
    Interpretation run("<Text>same</Text><Null></Null><Text pos=\"0,500\">same</Text>");
    EXPECT_EQ(run.ofType(kTypeText).size(), 1u);
    const auto& c = run.interpreter.rootClip()->controls();
    EXPECT_EQ(c[0].characterId, c[1].characterId);
}

TEST(TextElements, AdjacentPlainTextsJoinOneCharacter) {
    Interpretation run("<Text>ab</Text><Text pos=\"100,50\" size=\"20\" color=\"#FF0000\">cd</Text>"
                       "<Text alpha=\"50\">ef</Text>"                   // placed with a colour transform
                       "<Text>gh</Text><Text pos=\"40000,0\">ij</Text>");  // beyond a text record's reach
    ASSERT_EQ(run.ofType(kTypeText).size(), 4u);
    size_t places = 0;
    for (const ControlRecord& r : run.interpreter.rootClip()->controls()) places += r.type == kCtlPlace;
    EXPECT_EQ(places, 4u);
    // The second text continues the first from its own position, in its own
    // size and colour: a height reaches the movie only with a font record.
    std::vector<uint32_t> codes;
    for (const TextRecord& r : run.text(0).records()) codes.push_back(r.code);
    EXPECT_EQ(codes, (std::vector<uint32_t>{kTextFont, kTextColor, kTextHeight, kTextChars, kTextMove, kTextColor,
                                            kTextFont, kTextHeight, kTextChars}));
    const TextRecord& move = run.text(0).records()[4];
    EXPECT_EQ(std::pair(move.x, move.y), std::pair(100, 50));
    EXPECT_EQ(run.text(0).records().back().chars, u"cd");
    EXPECT_EQ(run.text(0).currentHeight(), 20u);
}

TEST(TextElements, FontFilesMayBeScrambled) {
    const auto dir = std::filesystem::temp_directory_path() / "tessaly_font_src";
    std::filesystem::create_directories(dir);
    std::string file = std::string(kEmbedded);
    std::string scrambled = file;
    scramble(reinterpret_cast<uint8_t*>(scrambled.data()), scrambled.size(), jobKey());
    std::ofstream(dir / "f1.mml", std::ios::binary) << scrambled;
    std::ofstream(dir / "f2.mml", std::ios::binary) << "<Other/>" << file;
    Interpretation run("<Font src=\"f1.mml\"/><Font src=\"f2.mml\"/><Font src=\"nope.mml\"/>",
                       dir.string(), jobKey());
    EXPECT_EQ(run.ofType(kTypeFont).size(), 1u);  // the same font twice: the first wins
    EXPECT_EQ(static_cast<const FontObject&>(*run.ofType(kTypeFont)[0]->object).glyphs().size(), 3u);
    std::filesystem::remove_all(dir);
}

TEST(TextElements, ExtremeNumbersAreClamped) {
    const std::string bigFont =
        "<Font font=\"Big\"><Glyph unicode=\"72\" advance=\"2147483647\"><MoveTo pos=\"0,-700\"/>"
        "<LinexTo path=\"600,-700;600,0\"/></Glyph>"
        "<Kerning unicode1=\"72\" unicode2=\"72\" delta=\"2147483647\"/></Font>";
    Interpretation run(bigFont +
                       "<Text font=\"Big\" size=\"1e12\" charpos=\"1e12,-1e12;-1e308,-1e12\">HHH</Text><Null></Null>"
                       "<Text font=\"Big\" size=\"1e308\" pos=\"1e12,1e12\">HH</Text><Null></Null>"
                       "<Text size=\"-1e12\" charset=\"99999999999\">x</Text>");
    ASSERT_EQ(run.ofType(kTypeText).size(), 3u);
    const TextObject& positioned = run.text(0);
    std::vector<const TextRecord*> chars;
    std::vector<int32_t> moves;
    for (const auto& r : positioned.records()) {
        if (r.code == kTextHeight) {
            EXPECT_EQ(r.height, 65535u);
        }
        if (r.code == kTextMove) moves.push_back(r.x);
        if (r.code == kTextChars) chars.push_back(&r);
    }
    // From the largest x to the smallest is no advance but a run of its own;
    // every glyph keeps the font's own advance, scaled.
    EXPECT_EQ(moves, (std::vector<int32_t>{INT32_MAX, INT32_MIN}));
    ASSERT_EQ(chars.size(), 3u);
    for (const TextRecord* r : chars) EXPECT_EQ(r->advances, (std::vector<int32_t>{INT32_MAX}));
    const TextObject& kerned = run.text(1);
    EXPECT_EQ(kerned.records().back().advances, (std::vector<int32_t>{INT32_MAX, INT32_MAX}));
    EXPECT_EQ(run.fonts.requests, (std::vector<std::string>{"Arial/0/-1"}));

    // The texts still encode.
    for (size_t i = 0; i < 3; ++i) {
        SwfStream s;
        ASSERT_EQ(s.open(256, 256, 2.0f), 1);
        auto& text = const_cast<TextObject&>(run.text(i));
        EXPECT_EQ(defineText(s, uint32_t(10 + i), text), 1) << i;
    }
}

}  // namespace
}  // namespace tessaly
