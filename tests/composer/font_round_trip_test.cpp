// A system font captured, written as a font file and read back through a
// Font element keeps its outlines, advances and kerning.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "composer/mml_interpreter.h"
#include "fontcapture/font_capture.h"

namespace tessaly {
namespace {

TEST(FontRoundTrip, CapturedFontFileReadsBackUnchanged) {
    std::unique_ptr<CapturedFont> face = CapturedFont::capture("Arial", kFontStyleBold, -1);
    ASSERT_NE(face, nullptr);
    const std::u16string chars = u"AVWTo\u00e9,.!";
    EXPECT_EQ(face->addGlyphs(chars), 0u);
    ASSERT_FALSE(face->kerning().empty());

    const auto dir = std::filesystem::temp_directory_path() / "tessaly_font_round_trip";
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "f1.mml", std::ios::binary) << fontFileMml(*face);

    CharacterDictionary dictionary;
    MmlInterpreter interpreter;
    interpreter.dictionary = &dictionary;
    interpreter.setJobDirectory(dir.string());
    ASSERT_EQ(interpreter.InputOpen(), 1);
    ASSERT_EQ(interpreter.SetSource("<Media><Frame><Font src=\"f1.mml\"/></Frame></Media>"), 1);
    while (interpreter.InputFrame() == 1) {
    }
    std::filesystem::remove_all(dir);

    const FontObject* font = nullptr;
    for (size_t i = 0; i < dictionary.count(); ++i) {
        if (dictionary.entryAt(i).type == kTypeFont) {
            font = static_cast<const FontObject*>(dictionary.entryAt(i).object.get());
        }
    }
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->name, "Arial");
    EXPECT_EQ(font->style, kStyleBold);
    EXPECT_EQ(font->ascent, face->ascent());
    EXPECT_EQ(font->descent, face->descent());
    ASSERT_EQ(font->glyphs().size(), face->glyphs().size());

    const auto& read = font->glyphShape().commands();
    const auto& captured = face->outline().commands();
    for (size_t g = 0; g < face->glyphs().size(); ++g) {
        const GlyphRecord& want = face->glyphs()[g];
        const FontGlyph& got = font->glyphs()[g];
        SCOPED_TRACE(testing::Message() << "glyph " << want.code);
        EXPECT_EQ(got.code, want.code);
        EXPECT_EQ(got.advance, want.advance);
        // The same drawing commands, point for point.
        ASSERT_EQ(got.commandCount, want.commandCount);
        for (uint32_t i = 0; i < want.commandCount; ++i) {
            const OutlineCommand& c = captured[want.firstCommand + i];
            const ShapeCommand& r = read[got.firstCommand + i];
            const int points = c.kind == OutlineCommandKind::Cubic ? 3
                               : c.kind == OutlineCommandKind::Quadratic ? 2 : 1;
            for (int p = 0; p < points; ++p) {
                EXPECT_EQ(r.args[2 * p], c.points[p].x);
                EXPECT_EQ(r.args[2 * p + 1], c.points[p].y);
            }
        }
    }
    for (const KerningRecord& k : face->kerning()) {
        EXPECT_EQ(font->kerning(k.first, k.second), k.amount);
    }
}

}  // namespace
}  // namespace tessaly
