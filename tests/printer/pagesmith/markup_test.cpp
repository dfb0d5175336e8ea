// The markup primitives byte for byte.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "markup.h"

namespace tessaly::pagesmith {
namespace {

struct PrimitiveCase {
    const char* what;
    std::function<void(std::string&)> write;
    std::string bytes;
};

TEST(Markup, EachPrimitiveWritesExactlyItsBytes) {
    using namespace markup;
    const std::vector<PrimitiveCase> cases = {
        {"start tag open", [](std::string& o) { startTagOpen(o, "Frame"); }, "<Frame"},
        {"close with content", [](std::string& o) { startTagClose(o, false, false); }, ">"},
        {"close empty, line end", [](std::string& o) { startTagClose(o, true, true); }, "/>\n"},
        {"complete start tag", [](std::string& o) { completeStartTag(o, "Shape"); }, "<Shape>\n"},
        {"end tag", [](std::string& o) { endTag(o, "Media"); }, "</Media>\n"},
        {"text attribute, unescaped", [](std::string& o) { textAttribute(o, "alt", "a<\"b"); },
         " alt=\"a<\"b\""},
        {"integer attribute", [](std::string& o) { integerAttribute(o, "id", 4294967295u); },
         " id=\"4294967295\""},
        {"real attribute", [](std::string& o) { realAttribute(o, "x", 0.5); }, " x=\"0.5\""},
        {"real attribute, %g", [](std::string& o) { realAttribute(o, "x", 1234567.0); }, " x=\"1.23457e+06\""},
        {"colour, six digits", [](std::string& o) { colourAttribute(o, "c", 0x00ab01); }, " c=\"#00AB01\""},
        {"colour, eight digits", [](std::string& o) { colourAttribute(o, "c", 0x80FF0000); },
         " c=\"#80FF0000\""},
        {"colour at the boundary", [](std::string& o) { colourAttribute(o, "c", 0x1000000); },
         " c=\"#01000000\""},
        {"wide text attribute", [](std::string& o) { wideTextAttribute(o, "n", u"a<\u00e9\u4e2d"); },
         std::string(" n=\"a<\xe9?\"")},
        {"coordinate", [](std::string& o) { coordinateAttribute(o, "y", 40); }, " y=\"2.5\""},
        {"negative coordinate", [](std::string& o) { coordinateAttribute(o, "y", -16); }, " y=\"-1\""},
        {"escaped text", [](std::string& o) { escapedText(o, u"<a & 'b'> \"c\""); },
         "&lt;a &amp; &apos;b&apos;&gt; &quot;c&quot;"},
        {"escaped wide characters", [](std::string& o) { escapedText(o, u"\u4e2d\u00e9\u0100"); },
         std::string("&#x4e2d;\xe9&#x100;")},
    };
    for (const PrimitiveCase& c : cases) {
        std::string out = "|";
        c.write(out);
        EXPECT_EQ(out, "|" + c.bytes) << c.what;
    }
}

TEST(Markup, RealsNeverTakeTheLocalesComma) {
    // Whatever the host's locale, the decimal separator is a dot.
    EXPECT_EQ(markup::realText(-0.25), "-0.25");
    EXPECT_EQ(markup::realText(3.0), "3");
}

TEST(Markup, RealsReadAsTheGeneralFormatWritesThem) {
    auto reference = [](double v) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%g", v);
        return std::string(buf);
    };
    // Coordinates are sixteenths of a pixel: every one across a page and
    // beyond, then sampled up to where "%g" rounds (six significant digits)
    // and turns to exponents.
    for (int64_t k = -16 * 6000; k <= 16 * 6000; ++k) {
        ASSERT_EQ(markup::realText(double(k) / 16), reference(double(k) / 16)) << k;
    }
    for (int64_t k = 16 * 6000; k < int64_t(16) * 2000000; k += 997) {
        ASSERT_EQ(markup::realText(double(k) / 16), reference(double(k) / 16)) << k;
        ASSERT_EQ(markup::realText(-double(k) / 16), reference(-double(k) / 16)) << k;
    }
    for (const double v : {99999.9375, 100000.5, 999999.9375, 1e6, 123456.0, 123456.5, 0.0625, -0.0, 0.0,
                           8.333333, 1.0 / 3, 1e-5, 2.5e7, 1e300, std::nan(""), -1e-300}) {
        EXPECT_EQ(markup::realText(v), reference(v)) << v;
    }
}

}  // namespace
}  // namespace tessaly::pagesmith
