#include "swf/text_encoder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "swf/movie_writer.h"
#include "swf_test_util.h"

namespace tessaly {
namespace {

// A font of square glyphs for the given codes.
std::unique_ptr<FontObject> squareFont(const std::u16string& codes, const std::string& name = "Squares",
                                       int32_t size = 400) {
    auto font = std::make_unique<FontObject>();
    font->setUp(name, kStyleRegular, 0, 800, 200, 0);
    for (char16_t c : codes) {
        ShapeObject& shape = font->glyphShape();
        const auto first = uint32_t(shape.commands().size());
        shape.rectangle(0, -size, size, 0, 1);
        Bounds b;
        b.addPoint(0, -size);
        b.addPoint(size, 0);
        EXPECT_GE(font->addGlyph(c, 512, b, first), 0);
    }
    return font;
}

std::vector<uint8_t> tagBody(SwfStream& s) {
    auto tags = test::movieTagsOfStream(s);
    return tags.empty() ? std::vector<uint8_t>{} : tags[0].body;
}

TEST(DefineText, OneCharacterAtTheOrigin) {
    auto font = squareFont(u"A");
    TextObject text;
    text.font(5, font.get());
    text.height(1024);
    EXPECT_EQ(text.addText(u"A", nullptr, false), 1);
    SwfStream s;
    ASSERT_EQ(defineText(s, 9, text), 1);
    const auto tags = test::movieTagsOfStream(s);
    ASSERT_EQ(tags.size(), 1u);
    EXPECT_EQ(tags[0].code, SwfTag::DefineText);
    const auto& body = tags[0].body;
    // id, RECT of the 400-unit glyph widened by one twip, identity matrix,
    // GlyphBits 0, AdvanceBits 11.
    EXPECT_EQ(body[0] | body[1] << 8, 9);
    test::BitReader r(body.data() + 2, body.size() - 2);
    const unsigned nbits = r.bits(5);
    EXPECT_EQ(r.signedBits(nbits), -1);
    EXPECT_EQ(r.signedBits(nbits), 401);
    EXPECT_EQ(r.signedBits(nbits), -401);
    EXPECT_EQ(r.signedBits(nbits), 1);
    r.align();
    size_t at = 2 + r.bytePosition();
    EXPECT_EQ(body[at++], 0x00);  // matrix
    EXPECT_EQ(body[at++], 0);     // GlyphBits: the only index is 0
    EXPECT_EQ(body[at++], 11);    // AdvanceBits: 512 needs 10 + sign
    // Style record: font and height, no offsets.
    EXPECT_EQ(body[at++], 0x88);
    EXPECT_EQ(body[at] | body[at + 1] << 8, 5);
    EXPECT_EQ(body[at + 2] | body[at + 3] << 8, 1024);
    at += 4;
    // Glyph record: type 0, count 1, index in 0 bits, advance 512 in 11 bits.
    EXPECT_EQ(body[at++], 0x01);
    EXPECT_EQ(body[at++], 512 >> 3);
    EXPECT_EQ(body[at++], 0x00);
    EXPECT_EQ(body[at++], 0x00);  // end of records
    EXPECT_EQ(at, body.size());
}

TEST(DefineText, LongRunsSplitInto127GlyphRecords) {
    auto font = squareFont(u"ab");
    TextObject text;
    text.font(1, font.get());
    text.height(20);
    EXPECT_EQ(text.addText(std::u16string(300, u'a'), nullptr, false), 1);
    SwfStream s;
    ASSERT_EQ(defineText(s, 1, text), 1);
    const auto body = tagBody(s);
    // Walk the records: style 0x88 + id + height, then counts 127, 127, 46.
    size_t at = body.size() - 1;
    EXPECT_EQ(body[at], 0);
    std::vector<int> counts;
    std::vector<size_t> separators;
    // Advances are 10 twips (512 * 20 / 1024): 5 bits, glyph index 0 bits.
    for (size_t i = 0; i + 1 < body.size(); ++i) {
        if (body[i] == 0x88) {
            size_t p = i + 5;
            while (p < body.size() - 1) {
                counts.push_back(body[p]);
                p += 1 + (size_t(body[p]) * 5 + 7) / 8;
                if (body[p] == 0x80) {
                    separators.push_back(p);
                    ++p;
                } else {
                    break;
                }
            }
            break;
        }
    }
    EXPECT_EQ(counts, (std::vector<int>{127, 127, 46}));
    EXPECT_EQ(separators.size(), 2u);
}

TEST(DefineText, TranslucentColourMakesDefineText2) {
    auto font = squareFont(u"A");
    TextObject text;
    text.font(1, font.get());
    text.color(0x80FF0000, true);
    EXPECT_EQ(text.addText(u"A", nullptr, false), 1);
    SwfStream s;
    ASSERT_EQ(defineText(s, 1, text), 1);
    EXPECT_EQ(test::movieTagsOfStream(s)[0].code, SwfTag::DefineText2);
    TextObject empty;
    EXPECT_EQ(defineText(s, 2, empty), 0);
}

uint8_t fontFlags(const std::vector<uint8_t>& body) { return body[2]; }

TEST(DefineFont2, CodeWidthFollowsTheCodes) {
    auto narrow = squareFont(u"AB");
    SwfStream s;
    ASSERT_EQ(defineFont(s, 3, *narrow), 1);
    auto body = tagBody(s);
    EXPECT_EQ(fontFlags(body), 0x80 | 0x10);
    EXPECT_EQ(std::string(body.begin() + 5, body.begin() + 5 + body[4]), "Squares");

    auto wide = squareFont(u"A\u263a");
    wide->markUsed(1);
    SwfStream t;
    ASSERT_EQ(defineFont(t, 3, *wide), 1);
    body = tagBody(t);
    EXPECT_EQ(fontFlags(body), 0x80 | 0x24);
    FontObject none;
    EXPECT_EQ(defineFont(t, 4, none), 0);
}

TEST(DefineFont2, TempNamesUseTheIdAndMapPrivateCodes) {
    auto font = squareFont(u"\uf041\uf020", "~font1.TMP");
    font->markUsed(0);
    SwfStream s;
    ASSERT_EQ(defineFont(s, 42, *font), 1);
    const auto body = tagBody(s);
    ASSERT_EQ(body[4], 2);
    EXPECT_EQ(std::string(body.begin() + 5, body.begin() + 7), "42");
    // Glyph count, then two 16-bit offsets per glyph plus the code table offset.
    const size_t table = 7 + 2;
    const uint16_t codeTable = uint16_t(body[table + 4] | body[table + 5] << 8);
    const size_t codes = table + codeTable;
    EXPECT_EQ(body[codes] | body[codes + 1] << 8, 0x00DF);
    EXPECT_EQ(body[codes + 2] | body[codes + 3] << 8, 0x0020);
}

TEST(DefineFont2, LargeFontsSwitchToWideOffsets) {
    // About 70,000 bytes of glyph shapes: 700 glyphs of 100 points each.
    auto font = std::make_unique<FontObject>();
    font->setUp("Big", kStyleBold | kStyleItalic, 0, 800, 200, 0);
    for (int g = 0; g < 700; ++g) {
        ShapeObject& shape = font->glyphShape();
        const auto first = uint32_t(shape.commands().size());
        shape.moveTo(0, 0);
        for (int i = 1; i <= 50; ++i) shape.lineTo(i * 37 % 1000, (i * 53 % 1000) - 500);
        EXPECT_GE(font->addGlyph(uint16_t(0x100 + g), 600, Bounds{}, first), 0);
    }
    SwfStream s;
    ASSERT_EQ(defineFont(s, 1, *font), 1);
    const auto body = tagBody(s);
    EXPECT_GT(body.size(), 65536u);
    EXPECT_EQ(fontFlags(body), 0x80 | 0x08 | 0x10 | 0x02 | 0x01);
    // The first 32-bit offset points just past the offset table.
    const size_t table = 5 + 3 + 2;
    const uint32_t firstOffset = body[table] | body[table + 1] << 8 | body[table + 2] << 16 |
                                 uint32_t(body[table + 3]) << 24;
    EXPECT_EQ(firstOffset, 701u * 4);
}

TEST(MovieFonts, AFontLandsBeforeTheFrameThatFirstUsedIt) {
    CharacterDictionary dictionary;
    std::unique_ptr<MovieObject> rootObject = std::make_unique<MovieClipObject>();
    auto* root = static_cast<MovieClipObject*>(rootObject.get());
    DictionaryEntry* rootEntry = dictionary.add(kTypeMovieClip, 1, nullptr, rootObject).entry;

    auto font = squareFont(u"AB");
    FontObject* fontRaw = font.get();
    std::unique_ptr<MovieObject> fontObject = std::move(font);
    const uint32_t fontId = dictionary.add(kTypeFont, 2, nullptr, fontObject).id;

    auto makeText = [&](uint32_t key, const char16_t* chars) {
        auto text = std::make_unique<TextObject>();
        text->font(fontId, fontRaw);
        text->height(400);
        EXPECT_EQ(text->addText(chars, nullptr, false), 1);
        std::unique_ptr<MovieObject> object = std::move(text);
        return dictionary.add(kTypeText, key, nullptr, object).id;
    };
    const uint32_t t1 = makeText(3, u"A"), t2 = makeText(4, u"B");

    PlaceArgs place;
    place.flags = place_flag::kHasId;
    root->addShowFrame();  // frames 0..2 hold nothing
    root->addShowFrame();
    root->addShowFrame();
    place.characterId = t1;
    place.depth = 1;
    root->addPlace(place);
    root->addShowFrame();  // frame 3 uses the font
    place.characterId = t2;
    place.depth = 2;
    root->addPlace(place);
    root->addShowFrame();
    root->addEnd();

    SwfMovieWriter writer;
    writer.dictionary = &dictionary;
    EXPECT_TRUE(writer.SetRootStoreObject(rootEntry));
    ASSERT_EQ(writer.OutputOpen(), 1);
    ASSERT_EQ(writer.writeAllFrames(), 1);
    const uint32_t frame4Before = writer.frameOffsets().u32At(4);
    EXPECT_TRUE(writer.close());
    uint32_t length = 0;
    const uint8_t* data = writer.getData(&length);
    const auto tags = test::movieTags(data, length);
    EXPECT_EQ(test::tagCodes(tags),
              (std::vector<SwfTag>{SwfTag::SetBackgroundColor, SwfTag::ShowFrame, SwfTag::ShowFrame,
                                   SwfTag::ShowFrame, SwfTag::DefineFont2, SwfTag::DefineText,
                                   SwfTag::PlaceObject, SwfTag::ShowFrame, SwfTag::DefineText,
                                   SwfTag::PlaceObject, SwfTag::ShowFrame, SwfTag::End}));
    EXPECT_GT(writer.frameOffsets().u32At(4), frame4Before);
    EXPECT_EQ(writer.frameOffsets().u32At(3), 6u);  // three ShowFrames, then the font
}

}  // namespace
}  // namespace tessaly
