#include "script/print_script.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tessaly::script {
namespace {

Script parsed(std::string_view text) {
    Script script;
    std::string error;
    EXPECT_EQ(parseScript(text, &script, &error), 1) << error;
    return script;
}

std::string refusal(std::string_view text) {
    Script script;
    std::string error;
    EXPECT_EQ(parseScript(text, &script, &error), 0) << text;
    return error;
}

TEST(PrintScript, TheTestDocumentParses) {
    const Script script = parsed(testDocumentScript());
    EXPECT_EQ(script.pageCount, 3u);
    EXPECT_EQ(script.paper, "Letter");
    EXPECT_EQ(script.unit, Unit::Point);
    int fonts = 0, images = 0, gradients = 0, clips = 0, dashed = 0;
    for (const Command& c : script.commands) {
        fonts += c.op == Op::Font;
        images += c.op == Op::BuiltinImage || c.op == Op::Image;
        gradients += c.op == Op::Gradient;
        clips += c.op == Op::ClipRect || c.op == Op::ClipPath;
        dashed += c.op == Op::Pen && c.pen.style != gdi::PenStyle::Solid && c.pen.style != gdi::PenStyle::Null;
    }
    EXPECT_GE(fonts, 3);
    EXPECT_GE(images, 1);
    EXPECT_GE(gradients, 1);
    EXPECT_GE(clips, 2);
    EXPECT_GE(dashed, 3);
    EXPECT_EQ(script.commands.back().op, Op::EndPage);
}

TEST(PrintScript, ErrorsNameTheLineAndTheCause) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"page\nfrobnicate 1 2\n", "line 2: unknown command 'frobnicate'"},
        {"page\n\n# comment\nbrush red\n", "line 4: expected a colour, found 'red'"},
        {"page\nrect 1 2 3\n", "line 2: expected a number, found the end of the line"},
        {"page\nrect 1 2 3 x4\n", "line 2: expected a number, found 'x4'"},
        {"page\nrect 1 2 3 4 5\n", "line 2: unexpected '5'"},
        {"page\ntext 1 2 \"open\n", "line 2: text without its closing quote"},
        {"rect 1 2 3 4\n", "line 1: 'rect' outside a page"},
        {"page\npage\n", "line 2: page inside a page"},
        {"page\nline 1 2\n", "line 2: line without a path (start it with move)"},
        {"page\nfill\n", "line 2: fill without a path"},
        {"page\nclip path\n", "line 2: clip path without a path"},
        {"page\nendpage\nunits mm\n", "line 3: units belongs before the first page"},
        {"page\npolygon 1 2 3 4 5\n", "line 2: odd number of coordinates"},
        {"page\npolygon 1 2\n", "line 2: fewer than two points"},
        {"page\ntext 1 2 \"\xC3\x28\"\n", "line 2: text is not UTF-8"},
        {"page\nrect 1 2 3 nan\n", "line 2: expected a number, found 'nan'"},
        {"page\npen #000000 1 dashes 3\n", "line 2: dashes need at least two lengths"},
        {"page\nfont \"An extraordinarily long family name\" 12\n", "line 2: font family longer than 31 bytes"},
        {"page\nbrush #12345\n", "line 2: expected a colour, found '#12345'"},
        {"units furlong\n", "line 1: expected pt|mm|in|px, found 'furlong'"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(refusal(c.text), c.error) << c.text;
    }
    EXPECT_EQ(refusal(std::string_view("page\nrect 1 2 3 4\0\n", 19)), "line 2: a zero byte");
}

TEST(PrintScript, NumbersAreSaturatedAndSizesNeverNegative) {
    const Script script = parsed(
        "page\n"
        "rect 1e300 -1e999 -5 +7.5\n"
        "pen #000000 -3\n"
        "pen #000000 1e9\n"
        "polygon inf 0 1e-400 2 3 4\n");
    const auto& c = script.commands;
    ASSERT_EQ(c.size(), 6u);
    EXPECT_EQ(c[1].values, (std::vector<double>{kMaxCoordinate, -kMaxCoordinate, 0, 7.5}));
    EXPECT_EQ(c[2].pen.width, 1) << "a negative width is the thin pen";
    EXPECT_FALSE(c[2].pen.geometric);
    EXPECT_EQ(c[3].pen.width, kMaxSize);
    EXPECT_TRUE(c[3].pen.geometric);
    EXPECT_EQ(c[4].values, (std::vector<double>{kMaxCoordinate, 0, 0, 2, 3, 4}));

    std::string huge = "page\npolygon";
    for (size_t i = 0; i <= kMaxPoints; ++i) huge += " 1 2";
    EXPECT_EQ(refusal(huge), "line 2: more than 10000 points");
    EXPECT_EQ(refusal("page\ntext 0 0 \"" + std::string(kMaxTextBytes + 1, 'x') + "\"\n"),
              "line 2: text longer than 4096 bytes");
}

TEST(PrintScript, PensBrushesAndTransforms) {
    const Script script = parsed(
        "units mm\n"
        "orientation landscape\n"
        "page\n"
        "pen #102030 2.5 dashdot cap flat join bevel\n"
        "pen #FF0000 dashes 4 2 1 2 cap square\n"
        "pen none\n"
        "brush hatch #00FF00 diagcross\n"
        "brush none\n"
        "rotate 90\n"
        "translate 5 -6\n"
        "text 1 2 \"Gr\xC3\xBC\xC3\x9F" "e \\\"q\\\" \xF0\x9F\x98\x80\" # trailing comment\n");
    EXPECT_EQ(script.unit, Unit::Millimetre);
    ASSERT_TRUE(script.landscape.has_value());
    EXPECT_TRUE(*script.landscape);
    const auto& c = script.commands;
    ASSERT_EQ(c.size(), 10u);  // with the end of the page added
    EXPECT_EQ(c[1].pen.color, 0x102030u);
    EXPECT_TRUE(c[1].pen.geometric);
    EXPECT_EQ(c[1].pen.width, 2.5);
    EXPECT_EQ(c[1].pen.style, gdi::PenStyle::DashDot);
    EXPECT_EQ(c[1].pen.cap, gdi::LineCap::Flat);
    EXPECT_EQ(c[1].pen.join, gdi::LineJoin::Bevel);
    EXPECT_FALSE(c[2].pen.geometric);
    EXPECT_EQ(c[2].pen.style, gdi::PenStyle::User);
    EXPECT_EQ(c[2].pen.dashes, (std::vector<double>{4, 2, 1, 2}));
    EXPECT_EQ(c[2].pen.cap, gdi::LineCap::Square);
    EXPECT_EQ(c[3].pen.style, gdi::PenStyle::Null);
    EXPECT_EQ(c[4].brush.style, gdi::BrushStyle::Hatch);
    EXPECT_EQ(c[4].brush.hatch, gdi::HatchStyle::DiagonalCross);
    EXPECT_EQ(c[5].brush.style, gdi::BrushStyle::Null);

    // Turning counter-clockwise on a page whose y axis points down: the x
    // axis goes up.
    // (1, 0) goes to (m11, m12) in the device context's transform.
    ASSERT_EQ(c[6].values.size(), 6u);
    EXPECT_NEAR(c[6].values[0], 0, 1e-12);
    EXPECT_NEAR(c[6].values[1], -1, 1e-12);
    EXPECT_NEAR(c[6].values[2], 1, 1e-12);
    EXPECT_NEAR(c[6].values[3], 0, 1e-12);
    EXPECT_EQ(c[7].values, (std::vector<double>{1, 0, 0, 1, 5, -6}));
    EXPECT_EQ(c[8].wide, u"Grüße \"q\" \U0001F600");
    EXPECT_EQ(c[9].op, Op::EndPage);
}

TEST(PrintScript, RasterOperationsMixesAndBlits) {
    const Script script = parsed(
        "page\n"
        "mix 7\n"
        "mix notxorpen\n"
        "brush pattern 8 6 bits 8\n"
        "patblt 1 2 3 4 0x5A\n"
        "patblt 1 2 3 4 dstinvert\n"
        "image 10 20 -30 40 builtin bits 1 rop 0xB8\n"
        "image 10 20 30 40 builtin rop 136 bits 16\n"
        "alphablend 0 0 10 10 128 perpixel\n"
        "transparentblt 0 0 10 10 #C0C0C0\n"
        "clip region 0 0 10 10 20 0 10 5\n"
        "gradient triangle 0 0 #FF0000 10 0 #00FF00 0 10 #0000FF\n");
    const auto& c = script.commands;
    ASSERT_EQ(c.size(), 13u);
    EXPECT_EQ(c[1].mix, 7);
    EXPECT_EQ(c[2].mix, 10);
    EXPECT_EQ(c[3].brush.style, gdi::BrushStyle::Pattern);
    EXPECT_EQ(c[3].values, (std::vector<double>{8, 6}));
    EXPECT_EQ(c[3].bits, 8);
    EXPECT_EQ(c[4].rop, 0x5Au);
    EXPECT_EQ(c[5].rop, 0x55u);
    EXPECT_EQ(c[6].op, Op::BuiltinImage);
    EXPECT_EQ(c[6].values, (std::vector<double>{10, 20, -30, 40})) << "a negative width mirrors";
    EXPECT_EQ(c[6].bits, 1);
    EXPECT_EQ(c[6].rop, 0xB8u);
    EXPECT_EQ(c[7].rop, 0x88u);
    EXPECT_EQ(c[7].bits, 16);
    EXPECT_EQ(c[8].alpha, 128);
    EXPECT_TRUE(c[8].perPixel);
    EXPECT_EQ(c[9].color, 0xC0C0C0u);
    EXPECT_EQ(c[10].op, Op::ClipRegion);
    EXPECT_EQ(c[10].values.size(), 8u);
    EXPECT_EQ(c[11].op, Op::GradientTriangles);
    EXPECT_EQ(c[11].values, (std::vector<double>{0, 0, 10, 0, 0, 10}));
    EXPECT_EQ(c[11].colors, (std::vector<gdi::Color>{0xFF0000, 0x00FF00, 0x0000FF}));

    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"page\nmix 17\n", "line 2: expected a mix 1..16 or its name"},
        {"page\nmix 2.5\n", "line 2: expected a mix 1..16 or its name"},
        {"page\nmix copy\n", "line 2: expected a number, found 'copy'"},
        {"page\npatblt 1 2 3 4 0x100\n",
         "line 2: expected a raster operation (0..255, 0x00..0xFF or a name), found '0x100'"},
        {"page\npatblt 1 2 3 4 0x\n",
         "line 2: expected a raster operation (0..255, 0x00..0xFF or a name), found '0x'"},
        {"page\npatblt 1 2 3 4\n", "line 2: expected a word, found the end of the line"},
        {"page\nimage 0 0 1 1 builtin bits 2\n", "line 2: expected bits 1|4|8|16|24|32"},
        {"page\nimage 0 0 1 1 builtin depth 8\n", "line 2: expected bits|rop, found 'depth'"},
        {"page\nbrush pattern 8 8 bits 1\n", "line 2: expected bits 8|24|32"},
        {"page\nclip region 0 0 10\n", "line 2: a region is rectangles of X Y W H"},
        {"page\nclip region\n", "line 2: a region is rectangles of X Y W H"},
        {"page\ngradient triangle 0 0 #FF0000 1 1 #00FF00\n", "line 2: triangles are three vertices of X Y COLOR"},
        {"page\ngradient triangle 0 0 #FF0000 1 1 #00FF00 2 2 red\n", "line 2: expected a colour, found 'red'"},
        {"page\nalphablend 0 0 1 1 128 all\n", "line 2: unexpected 'all'"},
    };
    for (const Case& k : cases) EXPECT_EQ(refusal(k.text), k.error) << k.text;

    std::string many = "page\nclip region";
    for (size_t i = 0; i <= kMaxRegionRects; ++i) many += " 0 0 1 1";
    EXPECT_EQ(refusal(many), "line 2: more than 1000 rectangles");
    // Pattern tiles are limited, whatever is asked.
    EXPECT_EQ(parsed("page\nbrush pattern 0 1e9\n").commands[1].values, (std::vector<double>{1, 256}));
}

TEST(PrintScript, TextCommandsCarryStylesSpacingBackgroundsGlyphIndicesAndFontFiles) {
    const Script script = parsed(
        "page\n"
        "font \"Caf\xC3\xA9 Sans\" 12 bold underline strikeout charset 204\n"
        "text 10 20 \"\xCE\xB1\xD0\x96\xE4\xB8\xAD\" spacing 7.5 opaque #00FF00\n"
        "text 1 2 \"x\" opaque\n"
        "glyphs 3 4 0 36 65535\n");
    const auto& c = script.commands;
    ASSERT_EQ(c.size(), 6u);
    EXPECT_TRUE(c[1].bold);
    EXPECT_FALSE(c[1].italic);
    EXPECT_TRUE(c[1].underline);
    EXPECT_TRUE(c[1].strikeOut);
    EXPECT_EQ(c[1].charset, 204);
    EXPECT_EQ(c[1].wide, u"Caf\u00E9 Sans");  // the family is decoded, not taken byte by byte
    EXPECT_EQ(c[2].wide, u"\u03B1\u0416\u4E2D");
    EXPECT_EQ(c[2].spacing, 7.5);
    EXPECT_TRUE(c[2].opaque);
    EXPECT_EQ(c[2].color, 0x00FF00u);
    EXPECT_TRUE(c[3].opaque);
    EXPECT_EQ(c[3].color, 0xFFFFFFu);
    EXPECT_LT(c[3].spacing, 0);  // the font's own advances
    EXPECT_EQ(c[4].op, Op::Glyphs);
    EXPECT_EQ(c[4].wide, (std::u16string{0, 36, 65535}));
    EXPECT_EQ(parsed("page\nfont \"A\" 9\n").commands[1].charset, 1);

    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"page\nfont \"A\" 12 charset 256\n", "line 2: expected a character set 0..255, found '256'"},
        {"page\nfont \"A\" 12 charset 1.5\n", "line 2: expected a character set 0..255, found '1.5'"},
        {"page\nfont \"A\" 12 charset\n", "line 2: expected a number, found the end of the line"},
        {"page\nfont \"A\" 12 wide\n",
         "line 2: expected bold|italic|underline|strikeout|charset, found 'wide'"},
        {"page\nfont \"\xC3\x28\" 12\n", "line 2: font family is not UTF-8"},
        {"page\ntext 0 0 \"a\" spacing -2\n", "line 2: expected a spacing 0..10000, found '-2'"},
        {"page\ntext 0 0 \"a\" spacing nan\n", "line 2: expected a number, found 'nan'"},
        {"page\ntext 0 0 \"a\" opaque red\n", "line 2: expected spacing|opaque, found 'red'"},
        {"page\ntext 0 0 \"a\" opaque #12345\n", "line 2: expected a colour, found '#12345'"},
        {"page\nglyphs 0 0\n", "line 2: expected a glyph index, found the end of the line"},
        {"page\nglyphs 0 0 65536\n", "line 2: expected a glyph index 0..65535, found '65536'"},
        {"page\nglyphs 0 0 -1\n", "line 2: expected a glyph index 0..65535, found '-1'"},
        {"page\nglyphs 0 0 2.5\n", "line 2: expected a glyph index 0..65535, found '2.5'"},
        {"page\nglyphs 0 0 1e400\n", "line 2: expected a glyph index 0..65535, found '1e400'"},
        {"page\nglyphs 0 0 \"7\"\n", "line 2: expected a number, found '7'"},
    };
    for (const auto& k : cases) EXPECT_EQ(refusal(k.text), k.error) << k.text;
    std::string many = "page\nglyphs 0 0";
    for (size_t i = 0; i <= kMaxGlyphs; ++i) many += " 1";
    EXPECT_EQ(refusal(many), "line 2: more than 4096 glyphs");

    // Font files register in the header or on a page, in the order written.
    const Script fonts = parsed("fontfile \"fonts/a.ttf\" \"Caf\xC3\xA9 Private\"\npage\nfontfile \"b.pfb\" \"B\"\n");
    ASSERT_EQ(fonts.commands.size(), 4u);
    EXPECT_EQ(fonts.commands[0].op, Op::FontFile);
    EXPECT_EQ(fonts.commands[0].text, "fonts/a.ttf");
    EXPECT_EQ(fonts.commands[0].wide, u"Caf\u00E9 Private");
    EXPECT_EQ(fonts.commands[2].op, Op::FontFile);
    EXPECT_EQ(fonts.commands[2].text, "b.pfb");
    EXPECT_EQ(fonts.pageCount, 1u);
    const struct {
        const char* text;
        const char* error;
    } fontFiles[] = {
        {"fontfile \"a.ttf\"\n", "line 1: expected a quoted text, found the end of the line"},
        {"fontfile a.ttf \"A\"\n", "line 1: expected a quoted text, found 'a.ttf'"},
        {"fontfile \"a.ttf\" \"A\" 12\n", "line 1: unexpected '12'"},
        {"fontfile \"\" \"A\"\n", "line 1: font file name is empty"},
        {"fontfile \"a.ttf\" \"\"\n", "line 1: face name of 1 to 31 bytes expected"},
        {"fontfile \"a.ttf\" \"An extraordinarily long face name\"\n", "line 1: face name of 1 to 31 bytes expected"},
        {"fontfile \"a.ttf\" \"\xC3\x28\"\n", "line 1: face name is not UTF-8"},
    };
    for (const auto& k : fontFiles) EXPECT_EQ(refusal(k.text), k.error) << k.text;
    std::string manyFonts;
    for (size_t i = 0; i <= kMaxFontFiles; ++i) manyFonts += "fontfile \"a.ttf\" \"A\"\n";
    EXPECT_EQ(refusal(manyFonts), "line 65: more than 64 font files");
}

TEST(PrintScript, PicturesInEveryPixelFormat) {
    FormattedPicture base;
    formattedPicture(64, 48, 24, false, base);
    ASSERT_EQ(base.view.bitsPerPixel, 24);
    auto colourAt = [](const FormattedPicture& p, int x, int y) -> gdi::Color {
        const gdi::BitmapView& v = p.view;
        const uint8_t* row = v.bits + static_cast<size_t>(y) * static_cast<size_t>(v.stride);
        if (v.bitsPerPixel <= 8) {
            // Indices packed from a byte's high bits.
            const int bit = x * v.bitsPerPixel;
            const unsigned index = row[bit / 8] >> (8 - v.bitsPerPixel - bit % 8) & ((1u << v.bitsPerPixel) - 1);
            EXPECT_LT(index, v.palette.size());
            return index < v.palette.size() ? v.palette[index] : 0xFF000000u;
        }
        if (v.bitsPerPixel == 16) {
            const unsigned w = row[2 * x] | row[2 * x + 1] << 8;
            EXPECT_EQ(w & 0x8000u, 0u);
            auto wide = [](unsigned five) { return gdi::Color(five << 3 | five >> 2); };
            return wide(w >> 10 & 0x1F) << 16 | wide(w >> 5 & 0x1F) << 8 | wide(w & 0x1F);
        }
        const uint8_t* d = row + x * (v.bitsPerPixel / 8);
        return gdi::Color(d[2]) << 16 | gdi::Color(d[1]) << 8 | d[0];
    };
    auto distance = [](gdi::Color a, gdi::Color b) {
        int most = 0;
        for (int shift : {0, 8, 16}) most = std::max(most, std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF)));
        return most;
    };
    // Each format stays close to the picture, as close as its depth allows.
    const struct {
        int bits;
        int viewBits;
        size_t palette;
        int tolerance;
    } formats[] = {{1, 1, 2, 255}, {4, 4, 16, 255}, {8, 8, 216, 26}, {16, 16, 0, 7}, {32, 32, 0, 0}};
    for (const auto& f : formats) {
        FormattedPicture p;
        formattedPicture(64, 48, f.bits, false, p);
        EXPECT_EQ(p.view.bitsPerPixel, f.viewBits) << f.bits;
        EXPECT_EQ(p.view.palette.size(), f.palette) << f.bits;
        EXPECT_GE(p.view.stride, 64 * f.viewBits / 8) << f.bits;
        EXPECT_EQ(p.view.stride % 4, 0) << f.bits;
        int worst = 0;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x) worst = std::max(worst, distance(colourAt(p, x, y), colourAt(base, x, y)));
        EXPECT_LE(worst, f.tolerance) << f.bits << " bits";
    }
    // The mask is black and white only, and has both.
    FormattedPicture mask;
    formattedPicture(64, 48, 1, false, mask);
    int black = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) black += colourAt(mask, x, y) == 0;
    EXPECT_GT(black, 0);
    EXPECT_LT(black, 64 * 48);
    // Per-pixel alpha falls to 0 at the right, the colours premultiplied.
    FormattedPicture ramp;
    formattedPicture(64, 48, 32, true, ramp);
    const uint8_t* row = ramp.view.bits + 10 * ramp.view.stride;
    EXPECT_EQ(row[3], 255);
    EXPECT_EQ(row[63 * 4 + 3], 0);
    for (int x = 0; x < 64; ++x)
        for (int k = 0; k < 3; ++k) EXPECT_LE(row[x * 4 + k], row[x * 4 + 3]) << x;
}

}  // namespace
}  // namespace tessaly::script
