// Glyph capture: native outline conversion on hand-built buffers, and fonts
// captured from the system (Liberation Sans as "Arial", URW Nimbus Sans for
// CFF outlines) written as font files and read back.

#include "fontcapture/font_capture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "composer/mml_reader.h"

namespace tessaly {
namespace {

// Builds native outline buffers from 16.16 values.
class NativeBuffer {
public:
    void contour(int32_t x, int32_t y) {
        start_ = bytes_.size();
        TTPOLYGONHEADER h{};
        h.cb = sizeof h;
        h.dwType = TT_POLYGON_TYPE;
        h.pfxStart = point(x, y);
        append(&h, sizeof h);
    }
    void record(WORD type, std::initializer_list<std::pair<int32_t, int32_t>> points) {
        const WORD head[2] = {type, static_cast<WORD>(points.size())};
        append(head, sizeof head);
        for (auto [x, y] : points) {
            const POINTFX p = point(x, y);
            append(&p, sizeof p);
        }
        const auto cb = static_cast<DWORD>(bytes_.size() - start_);
        std::memcpy(bytes_.data() + start_, &cb, sizeof cb);
    }
    std::vector<uint8_t>& bytes() { return bytes_; }

    static constexpr int32_t px(int32_t v) { return v * 65536; }

private:
    static POINTFX point(int32_t x, int32_t y) {
        POINTFX p;
        p.x.fract = static_cast<WORD>(x & 0xFFFF);
        p.x.value = static_cast<SHORT>(x >> 16);
        p.y.fract = static_cast<WORD>(y & 0xFFFF);
        p.y.value = static_cast<SHORT>(y >> 16);
        return p;
    }
    void append(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        bytes_.insert(bytes_.end(), b, b + n);
    }
    std::vector<uint8_t> bytes_;
    size_t start_ = 0;
};

constexpr auto px = NativeBuffer::px;

OutlinePoint pt(int32_t x, int32_t y) {
    return {x, y};
}

TEST(NativeOutline, QuadraticSplineEndsAtMidpointsAndTheContourCloses) {
    NativeBuffer b;
    b.contour(0, 0);
    b.record(TT_PRIM_QSPLINE, {{px(10), px(20)}, {px(30), px(40)}, {px(50), px(0)}});
    GlyphOutline out;
    ASSERT_EQ(appendNativeOutline(b.bytes().data(), b.bytes().size(), out), 1);
    const auto& c = out.commands();
    ASSERT_EQ(c.size(), 4u);
    EXPECT_EQ(c[0].kind, OutlineCommandKind::Move);
    EXPECT_EQ(c[0].points[0], pt(0, 0));
    // y is negated: the buffer's y grows upward.
    EXPECT_EQ(c[1].kind, OutlineCommandKind::Quadratic);
    EXPECT_EQ(c[1].points[0], pt(10, -20));
    EXPECT_EQ(c[1].points[1], pt(20, -30));  // midpoint of the first two points
    EXPECT_EQ(c[2].kind, OutlineCommandKind::Quadratic);
    EXPECT_EQ(c[2].points[0], pt(30, -40));
    EXPECT_EQ(c[2].points[1], pt(50, 0));
    EXPECT_EQ(c[3].kind, OutlineCommandKind::Line);
    EXPECT_EQ(c[3].points[0], pt(0, 0));
}

TEST(NativeOutline, RoundingLinesAndCubicRecords) {
    NativeBuffer b;
    // 1.5 rounds up, -1.5 rounds toward +infinity (arithmetic shift), 0.49 down.
    b.contour(px(1) + 0x8000, -(px(1) + 0x8000));
    b.record(TT_PRIM_LINE, {{px(100), px(2)}, {px(100), px(2)}, {0x7D70, px(100)}});
    b.record(TT_PRIM_QSPLINE, {{px(7), px(7)}});  // one point: skipped
    b.record(TT_PRIM_CSPLINE, {{px(1), px(1)}, {px(2), px(2)}, {px(3), px(3)}, {px(4), px(4)}, {px(5), px(5)},
                               {px(2), -px(1)}});
    GlyphOutline out;
    ASSERT_EQ(appendNativeOutline(b.bytes().data(), b.bytes().size(), out), 1);
    const auto& c = out.commands();
    ASSERT_EQ(c.size(), 5u);
    EXPECT_EQ(c[0].points[0], pt(2, 1));
    EXPECT_EQ(c[1].points[0], pt(100, -2));  // the repeated point is not stored
    EXPECT_EQ(c[2].points[0], pt(0, -100));
    EXPECT_EQ(c[3].kind, OutlineCommandKind::Cubic);
    EXPECT_EQ(c[3].points[0], pt(1, -1));
    EXPECT_EQ(c[3].points[1], pt(2, -2));
    EXPECT_EQ(c[3].points[2], pt(3, -3));
    EXPECT_EQ(c[4].kind, OutlineCommandKind::Cubic);
    EXPECT_EQ(c[4].points[2], pt(2, 1));  // ends on the start: no closing line
}

TEST(NativeOutline, MalformedBuffersAreRefused) {
    NativeBuffer good;
    good.contour(0, 0);
    good.record(TT_PRIM_LINE, {{px(1), px(1)}});
    GlyphOutline out;
    EXPECT_EQ(appendNativeOutline(nullptr, 0, out), 1);
    EXPECT_EQ(appendNativeOutline(nullptr, 4, out), 0);

    auto truncated = good.bytes();
    truncated.pop_back();
    EXPECT_EQ(appendNativeOutline(truncated.data(), truncated.size(), out), 0);

    auto badType = good.bytes();
    badType[4] = 25;  // dwType
    EXPECT_EQ(appendNativeOutline(badType.data(), badType.size(), out), 0);

    auto longRecord = good.bytes();
    longRecord[sizeof(TTPOLYGONHEADER) + 2] = 2;  // cpfx beyond the contour
    EXPECT_EQ(appendNativeOutline(longRecord.data(), longRecord.size(), out), 0);

    NativeBuffer cubic;
    cubic.contour(0, 0);
    cubic.record(TT_PRIM_CSPLINE, {{px(1), px(1)}, {px(2), px(2)}});
    EXPECT_EQ(appendNativeOutline(cubic.bytes().data(), cubic.bytes().size(), out), 0);

    NativeBuffer unknown;
    unknown.contour(0, 0);
    unknown.record(9, {{px(1), px(1)}});
    EXPECT_EQ(appendNativeOutline(unknown.bytes().data(), unknown.bytes().size(), out), 0);
}

TEST(GlyphOutlineCommands, ClampingAndDegenerateCommands) {
    GlyphOutline out;
    out.moveTo(pt(-40000, 40000));
    EXPECT_EQ(out.commands()[0].points[0], pt(-32767, 32766));
    out.lineTo(pt(-50000, 50000));  // clamps onto the current point
    out.quadraticTo(pt(-32767, 32766), pt(-32767, 32766));
    out.cubicTo(pt(-32767, 32766), pt(-32767, 32766), pt(-32767, 32766));
    EXPECT_EQ(out.size(), 1u);
    out.quadraticTo(pt(0, 0), pt(-32767, 32766));  // a loop through a real control is kept
    EXPECT_EQ(out.size(), 2u);
    out.lineTo(pt(5, 5));
    out.truncate(2);
    EXPECT_EQ(out.size(), 2u);
    EXPECT_EQ(out.current(), pt(-32767, 32766));
}

TEST(EscapedCharacter, AttributeForms) {
    std::string s;
    for (uint16_t c : {uint16_t('A'), uint16_t('"'), uint16_t('&'), uint16_t('\''), uint16_t('<'), uint16_t('>'),
                       uint16_t(0x09), uint16_t(0xE9), uint16_t(0x20AC), uint16_t(0x100)})
        appendEscapedCharacter(c, s);
    EXPECT_EQ(s, "A&quot;&amp;&apos;&lt;&gt;&#x09;\xE9&#x20ac;&#x0100;");
}

TEST(CapturedFontTest, ArialAt1024Units) {
    auto font = CapturedFont::capture("Arial", 0, ANSI_CHARSET);
    ASSERT_NE(font, nullptr);
    EXPECT_STREQ(font->faceName(), "Arial");
    EXPECT_EQ(font->charSet(), ANSI_CHARSET);
    EXPECT_EQ(font->ascent(), 927);
    EXPECT_EQ(font->descent(), 217);
    EXPECT_EQ(font->leading(), 120);
    ASSERT_EQ(font->glyphs().size(), 1u);
    const GlyphRecord& space = font->glyphs()[0];
    EXPECT_EQ(space.code, u' ');
    EXPECT_EQ(space.advance, 285);
    EXPECT_EQ(space.commandCount, 0u);
    EXPECT_GT(font->kerning().size(), 100u);

    EXPECT_EQ(font->addGlyphs(u"AAV"), 0u);
    ASSERT_EQ(font->glyphs().size(), 3u);
    const GlyphRecord* a = font->findGlyph(u'A');
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->used, 0);
    EXPECT_NEAR(a->advance, 683, 1);  // 1366 of 2048
    // Bounds in y-down units: the apex is above the baseline, the feet on it.
    EXPECT_LT(a->top, -700);
    EXPECT_EQ(a->bottom, 0);
    EXPECT_LT(a->left, a->right);
    const auto& commands = font->outline().commands();
    ASSERT_GE(a->commandCount, 8u);
    size_t moves = 0, lines = 0;
    for (uint32_t i = a->firstCommand; i < a->firstCommand + a->commandCount; ++i) {
        const OutlineCommand& c = commands[i];
        EXPECT_NE(c.kind, OutlineCommandKind::Cubic);
        moves += c.kind == OutlineCommandKind::Move;
        lines += c.kind == OutlineCommandKind::Line;
        EXPECT_GE(c.points[0].y, a->top);
        EXPECT_LE(c.points[0].y, a->bottom);
    }
    EXPECT_EQ(moves, 2u);  // the outer shape and the counter
    EXPECT_GE(lines, 8u);  // the straight legs, bar and feet
    EXPECT_EQ(commands[a->firstCommand].kind, OutlineCommandKind::Move);
}

TEST(CapturedFontTest, CharacterSetFromEnumeration) {
    auto regular = CapturedFont::capture("Arial", 0, -1);
    ASSERT_NE(regular, nullptr);
    EXPECT_EQ(regular->charSet(), ANSI_CHARSET);
    auto mono = CapturedFont::capture("Courier New", kFontStyleBold, -1);
    ASSERT_NE(mono, nullptr);
    EXPECT_EQ(mono->charSet(), ANSI_CHARSET);
#ifndef _WIN32
    // The face that stands in for Courier New here kerns only through GPOS;
    // on Windows the system's mapper picks the face.
    EXPECT_TRUE(mono->kerning().empty());
#endif
}

TEST(CapturedFontTest, FontFileOfABoldItalicFont) {
    auto font = CapturedFont::capture("Arial", kFontStyleBold | kFontStyleItalic, ANSI_CHARSET);
    ASSERT_NE(font, nullptr);
    font->addGlyphs(u"o\"<\x20ac");
    const std::string text = fontFileMml(*font);
    const std::string head = "<Font font=\"Arial\" style=\"bold,italic\" charSet=\"0\" numGlyph=\"5\" numKerning=\"" +
                             std::to_string(font->kerning().size()) + "\" ascent=\"" + std::to_string(font->ascent()) +
                             "\" descent=\"" + std::to_string(font->descent()) + "\" leading=\"" +
                             std::to_string(font->leading()) + "\">\n";
    EXPECT_EQ(text.substr(0, head.size()), head);
    EXPECT_NE(text.find("<Glyph unicode=\"32\" char=\" \" advance=\""), std::string::npos);
    EXPECT_NE(text.find("<Glyph unicode=\"34\" char=\"&quot;\" advance=\""), std::string::npos);
    EXPECT_NE(text.find("<Glyph unicode=\"60\" char=\"&lt;\" advance=\""), std::string::npos);
    EXPECT_NE(text.find("<Glyph unicode=\"8364\" char=\"&#x20ac;\" advance=\""), std::string::npos);
    EXPECT_NE(text.find("<CurvexTo path=\""), std::string::npos);
    EXPECT_EQ(text.find("bezier3"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 8), "</Font>\n");

    // The file reads back: the same glyphs, commands and kerning pairs.
    MmlReader reader;
    ASSERT_EQ(reader.loadText(text), 1);
    ASSERT_EQ(reader.nextElement("Font"), 1);
    EXPECT_STREQ(reader.attribute("font"), "Arial");
    EXPECT_STREQ(reader.attribute("style"), "bold,italic");
    ASSERT_EQ(reader.push(), 1);
    size_t glyphs = 0, kerning = 0, commands = 0;
    while (reader.nextElement()) {
        const std::string name = reader.currentName();
        if (name == "Glyph") {
            int32_t code = 0;
            ASSERT_EQ(reader.attributeInteger("unicode", &code), 1);
            const char* c = reader.attribute("char");
            ASSERT_NE(c, nullptr);
            if (code < 256) {
                EXPECT_EQ(static_cast<unsigned char>(c[0]), code);
            }
            ++glyphs;
        } else if (name == "MoveTo" || name == "LinexTo" || name == "CurvexTo") {
            ++commands;
        } else if (name == "Kerning") {
            ++kerning;
        } else if (name == "/Font") {
            break;
        }
    }
    EXPECT_EQ(glyphs, font->glyphs().size());
    EXPECT_EQ(commands, font->outline().size());
    EXPECT_EQ(kerning, font->kerning().size());
}

TEST(CapturedFontTest, ItalicOnlyStyleAndDefaultCharacterSet) {
    auto font = CapturedFont::capture("Arial", kFontStyleItalic, ANSI_CHARSET);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(fontFileMml(*font).rfind("<Font font=\"Arial\" style=\",italic\" charSet=\"0\" numGlyph=\"1\"", 0), 0u);

    auto quoted = CapturedFont::capture("Odd\"Name<", 0, ANSI_CHARSET);  // resolves to the default face
    ASSERT_NE(quoted, nullptr);
    EXPECT_EQ(fontFileMml(*quoted).rfind("<Font font=\"Odd&quot;Name&lt;\" charSet=\"0\" numGlyph=", 0), 0u);
}

TEST(CapturedFontTest, CffGlyphsKeepTheirCubicCurves) {
#ifdef _WIN32
    GTEST_SKIP() << "the outlines of CFF faces are the system's GDI's there (Wine gives quadratic ones)";
#endif
    auto font = CapturedFont::capture("Nimbus Sans", 0, -1);
    ASSERT_NE(font, nullptr);
    ASSERT_EQ(font->addGlyph(u'O'), 1);
    const GlyphRecord* o = font->findGlyph(u'O');
    ASSERT_NE(o, nullptr);
    size_t cubic = 0, quadratic = 0;
    for (uint32_t i = o->firstCommand; i < o->firstCommand + o->commandCount; ++i) {
        const auto kind = font->outline().commands()[i].kind;
        cubic += kind == OutlineCommandKind::Cubic;
        quadratic += kind == OutlineCommandKind::Quadratic;
    }
    EXPECT_GE(cubic, 8u);  // two closed rings of at least four arcs
    EXPECT_EQ(quadratic, 0u);
    EXPECT_EQ(o->advance, 797);
    const std::string text = fontFileMml(*font);
    EXPECT_NE(text.find("<CurvexTo type=\"bezier3\" path=\""), std::string::npos);
    EXPECT_TRUE(font->kerning().empty());  // GPOS-only kerning is not read
}

}  // namespace
}  // namespace tessaly
