#include "composer/mml_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace tessaly {
namespace {

std::string str(const char* s) { return s ? std::string(s) : std::string("<null>"); }

// Every tag name a walk without a name visits.
std::vector<std::string> walk(MmlReader& r) {
    std::vector<std::string> names;
    while (r.nextElement()) names.emplace_back(r.currentName());
    return names;
}

TEST(MmlReader, NamedSearchMatchesWholeNamesIgnoringCase) {
    MmlReader r;
    ASSERT_EQ(r.loadText("<Shapes><Shape><Shape/><SHAPE depth=3><Shape\ndepth=4></Shape>"), 1);
    std::vector<std::string> found;
    while (r.nextElement("shape")) found.emplace_back(r.currentName());
    // Shapes is another name; "Shape\n" is an unknown longer name; the end tag
    // never matches a start-tag search.
    EXPECT_EQ(found, (std::vector<std::string>{"Shape", "Shape", "SHAPE"}));
    // A failed search leaves the current element alone.
    EXPECT_EQ(str(r.currentName()), "SHAPE");
    EXPECT_EQ(str(r.attribute("depth")), "3");

    r.rewind();
    EXPECT_EQ(walk(r), (std::vector<std::string>{"Shapes", "Shape", "Shape", "SHAPE", "Shape\ndepth=4",
                                                 "/Shape"}));
}

TEST(MmlReader, WalkWithoutNameReturnsEndTagsAndRecords) {
    MmlReader r;
    ASSERT_EQ(r.loadText("<Media><Frame></Frame><Frame><Rect pos=1,2 size=3,4/></Frame></Media>"), 1);
    EXPECT_EQ(walk(r), (std::vector<std::string>{"Media", "Frame", "/Frame", "Frame", "Rect", "/Frame",
                                                 "/Media"}));

    r.rewind();
    ASSERT_TRUE(r.nextElement("Rect"));
    const ElementRecord* rect = r.current();
    ASSERT_NE(rect, nullptr);
    EXPECT_FALSE(rect->hasContent);
    EXPECT_EQ(rect->tagOffset, 29u);
    EXPECT_EQ(rect->tagLength, 24u);
    EXPECT_EQ(rect->attrOffset, 35u);  // just after the space that ends the name
    ASSERT_TRUE(r.nextElement());
    EXPECT_TRUE(r.current()->hasContent);
    EXPECT_TRUE(r.current()->isEndTag());

    // Long names are cut to 63 characters.
    const std::string longName(100, 'n');
    ASSERT_EQ(r.loadText("<" + longName + " a=1>"), 1);
    ASSERT_TRUE(r.nextElement());
    EXPECT_EQ(std::string(r.currentName()), longName.substr(0, 63));
    EXPECT_EQ(str(r.attribute("a")), "1");
}

TEST(MmlReader, TagsWithoutClosingBracketAreNotFound) {
    MmlReader r;
    ASSERT_EQ(r.loadText("<A x=1><B y=2"), 1);
    EXPECT_EQ(walk(r), std::vector<std::string>{"A"});
    r.rewind();
    EXPECT_FALSE(r.nextElement("B"));
    ASSERT_EQ(r.loadText("<A"), 1);
    EXPECT_FALSE(r.nextElement());
    EXPECT_FALSE(r.nextElement("A"));
    EXPECT_EQ(r.current(), nullptr);
    // A '>' inside a quoted value ends the tag.
    ASSERT_EQ(r.loadText("<A t=\"1>2\" u=3><B>"), 1);
    ASSERT_TRUE(r.nextElement());
    EXPECT_EQ(r.current()->tagLength, 8u);
    EXPECT_EQ(r.attribute("u"), nullptr);
    ASSERT_TRUE(r.nextElement());
    EXPECT_EQ(str(r.currentName()), "B");
    // Nothing loaded: nothing found.
    MmlReader empty;
    EXPECT_FALSE(empty.nextElement());
    EXPECT_EQ(empty.attribute(nullptr), nullptr);
    EXPECT_EQ(empty.innerText(), nullptr);
}

TEST(MmlReader, NextElementWithAttributeFilter) {
    MmlReader r;
    ASSERT_EQ(r.loadText("<Param name=Alpha value=1/><Param name=\"alpha\" value=2/>"
                         "<Param value=3/><Param name=&quot;x value=4/>"),
              1);
    ASSERT_TRUE(r.nextElement("Param", "name", "alpha", false));
    EXPECT_EQ(str(r.attribute("value")), "2");
    r.rewind();
    ASSERT_TRUE(r.nextElement("Param", "NAME", "ALPHA", true));
    EXPECT_EQ(str(r.attribute("value")), "1");
    ASSERT_TRUE(r.nextElement(nullptr, "name", "alpha", true));
    EXPECT_EQ(str(r.attribute("value")), "2");
    // The value compared is the decoded one.
    ASSERT_TRUE(r.nextElement("Param", "name", "\"x", false));
    EXPECT_EQ(str(r.attribute("value")), "4");
    EXPECT_FALSE(r.nextElement("Param", "name", "alpha", true));
    EXPECT_EQ(str(r.attribute("value")), "4");
}

TEST(MmlReader, ElementStack) {
    MmlReader r;
    ASSERT_EQ(r.loadText("<Shape id=s><MoveTo pos=0,0/><LinexTo path=1,1/></Shape><Next/>"), 1);
    EXPECT_EQ(r.push(), 0);
    EXPECT_EQ(r.pop(), 0);
    EXPECT_EQ(r.swapTop(), 0);
    ASSERT_TRUE(r.nextElement("Shape"));
    ASSERT_EQ(r.push(), 1);
    EXPECT_EQ(r.depth(), 2u);
    EXPECT_EQ(r.swapTop(), 1);
    // The children walk from the top; the remembered Shape stays below.
    ASSERT_TRUE(r.nextElement());
    EXPECT_EQ(str(r.currentName()), "MoveTo");
    ASSERT_TRUE(r.nextElement());
    ASSERT_TRUE(r.nextElement());
    EXPECT_EQ(str(r.currentName()), "/Shape");
    ASSERT_EQ(r.swapTop(), 1);
    EXPECT_EQ(str(r.attribute("id")), "s");
    ASSERT_EQ(r.swapTop(), 1);
    ASSERT_EQ(r.pop(), 1);
    EXPECT_EQ(str(r.currentName()), "Shape");
    // The cursor follows the top: searching again continues after Shape.
    ASSERT_TRUE(r.nextElement());
    EXPECT_EQ(str(r.currentName()), "MoveTo");
    // A remembered record can be made current again; one that does not fit
    // this document is refused.
    ASSERT_TRUE(r.nextElement("LinexTo"));
    const ElementRecord linex = *r.current();
    ASSERT_TRUE(r.nextElement());
    ASSERT_EQ(r.pushRecord(linex), 1);
    EXPECT_EQ(str(r.attribute("path")), "1,1");
    ASSERT_EQ(r.pop(), 1);
    ElementRecord bogus = linex;
    bogus.attrOffset = 0;
    EXPECT_EQ(r.pushRecord(bogus), 0);
    bogus = linex;
    bogus.tagLength = 1000;
    EXPECT_EQ(r.pushRecord(bogus), 0);
    ASSERT_EQ(r.depth(), 1u);
    // Growing past the initial room keeps every record.
    for (int i = 0; i < 20; ++i) ASSERT_EQ(r.push(), 1);
    EXPECT_EQ(r.depth(), 21u);
    for (int i = 0; i < 21; ++i) ASSERT_EQ(r.pop(), 1);
    EXPECT_EQ(r.pop(), 0);
}

TEST(MmlReader, AttributeLookupRules) {
    MmlReader r;
    ASSERT_EQ(r.loadText("<Text POS=\"1,2\"/>"), 1);
    ASSERT_TRUE(r.nextElement());
    EXPECT_EQ(str(r.attribute("pos")), "1,2");

    // No space before "pos" in xpos: not the pos attribute.
    ASSERT_EQ(r.loadText("<Text xpos=\"1\"/>"), 1);
    ASSERT_TRUE(r.nextElement());
    EXPECT_EQ(r.attribute("pos"), nullptr);
    EXPECT_EQ(str(r.attribute("xpos")), "1");

    // " pos=" inside an earlier quoted value is found first.
    ASSERT_EQ(r.loadText("<Text alt=\"a pos=9\" pos=\"1,2\"/>"), 1);
    ASSERT_TRUE(r.nextElement());
    EXPECT_EQ(str(r.attribute("pos")), "9\"");

    // Blanks around '='; a name not followed by '=' is skipped.
    ASSERT_EQ(r.loadText("<A b c\t=\n \"x\" b =7 >"), 1);
    ASSERT_TRUE(r.nextElement());
    EXPECT_EQ(str(r.attribute("c")), "x");
    EXPECT_EQ(str(r.attribute("b")), "7");
    EXPECT_EQ(r.attribute("d"), nullptr);

    // The search stops two bytes before the tag's end.
    ASSERT_EQ(r.loadText("<A x=><B y=1 z>"), 1);
    ASSERT_TRUE(r.nextElement());
    EXPECT_EQ(str(r.attribute("x")), "");
    ASSERT_TRUE(r.nextElement());
    EXPECT_EQ(r.attribute("z"), nullptr);
    EXPECT_EQ(r.attribute("B"), nullptr);  // the element name is not an attribute
}

TEST(MmlReader, QuotedAndUnquotedValues) {
    MmlReader r;
    ASSERT_EQ(r.loadText("<A s=\"a  b\" u=one two size=100/>"), 1);
    ASSERT_TRUE(r.nextElement());
    EXPECT_EQ(str(r.attribute("s")), "a  b");
    EXPECT_EQ(str(r.attribute("u")), "one");
    EXPECT_EQ(str(r.attribute("size")), "100");

    ASSERT_EQ(r.loadText("<A v=a\\ b w=c\\>d>"), 1);
    ASSERT_TRUE(r.nextElement());
    // An escaped space or '>' does not end an unquoted value (the backslash stays).
    EXPECT_EQ(str(r.attribute("v")), "a\\ b");

    ASSERT_EQ(r.loadText("<A v=/>"), 1);
    ASSERT_TRUE(r.nextElement());
    EXPECT_EQ(str(r.attribute("v")), "");

    // An unterminated quote runs to the end of the document.
    ASSERT_EQ(r.loadText("<A v=\"abc> tail"), 1);
    ASSERT_TRUE(r.nextElement());
    EXPECT_EQ(str(r.attribute("v")), "abc> tail");
    // So does an unquoted value whose '>' is escaped and nothing follows.
    ASSERT_EQ(r.loadText("<A q v=x\\>"), 1);
    ASSERT_TRUE(r.nextElement());
    EXPECT_EQ(str(r.attribute("v")), "x\\>");
}

TEST(MmlReader, EntityDecoding) {
    MmlReader r;
    ASSERT_EQ(r.loadText("<T a=\"&#x41;&#x263A;\" b=\"&amp;lt; &lt;&gt;&quot;&apos; &bogus; &\">"
                         "&#x41;&#x263A;&#xe9;\xe9<x>"),
              1);
    ASSERT_TRUE(r.nextElement());
    EXPECT_EQ(str(r.attribute("a")), "A&#x263A;");
    EXPECT_EQ(str(r.attribute("b")), "&lt; <>\"' &bogus; &");
    const char16_t* wide = r.attributeWide("a");
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(std::u16string(wide), u"A\u263A");
    EXPECT_EQ(r.valueLength(), 2u);

    // The text content, narrow and wide; bytes above 0x7F widen as Latin-1.
    EXPECT_EQ(str(r.attribute(nullptr)), "A&#x263A;\xe9\xe9");
    wide = r.attributeWide(nullptr);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(std::u16string(wide), u"A\u263A\u00e9\u00e9");

    // A decoded NUL is kept and counted.
    ASSERT_EQ(r.loadText("<T a=\"x&#x00;y\">"), 1);
    ASSERT_TRUE(r.nextElement());
    ASSERT_NE(r.attribute("a"), nullptr);
    EXPECT_EQ(r.valueLength(), 3u);
}

TEST(MmlReader, TextContentAndTrimming) {
    MmlReader r;
    ASSERT_EQ(r.loadText("<P a=\" \t x y \n\"> hello <Q>tail"), 1);
    ASSERT_TRUE(r.nextElement());
    EXPECT_EQ(str(r.attributeTrimmed("a")), "x y");
    EXPECT_EQ(str(r.attribute(nullptr)), " hello ");
    EXPECT_EQ(str(r.attributeTrimmed(nullptr)), "hello");
    ASSERT_TRUE(r.nextElement());
    EXPECT_EQ(r.attribute(nullptr), nullptr);  // no further '<'
}

TEST(MmlReader, InnerTextCountsNestingWithoutMatchingNames) {
    MmlReader r;
    ASSERT_EQ(r.loadText("<X><Y></Y><Z/>&amp;</X><W><V></W>tail</U>"), 1);
    ASSERT_TRUE(r.nextElement("X"));
    EXPECT_EQ(str(r.innerText()), "<Y></Y><Z/>&amp;");
    // End tags close whatever is open, whatever their names.
    ASSERT_TRUE(r.nextElement("W"));
    EXPECT_EQ(str(r.innerText()), "<V></W>tail");
    ASSERT_EQ(r.loadText("<X><Y></X>"), 1);
    ASSERT_TRUE(r.nextElement("X"));
    EXPECT_EQ(r.innerText(), nullptr);
    ASSERT_EQ(r.loadText("<X></X>"), 1);
    ASSERT_TRUE(r.nextElement("X"));
    EXPECT_EQ(str(r.innerText()), "");
}

TEST(MmlReader, TypedGetters) {
    MmlReader r;
    ASSERT_EQ(r.loadText("<A r=\" 2.5e1px\" bad=x empty=\"\" i=-42 i2=4.2 big=99999999999 "
                         "p=\" 1 , 2 \" p1=5 p2=\",7\" p3=\"3,\" c=#80FF0000 c2=0x00FF0000 "
                         "c3=123 c4=#0x c5=#123456789 nan=nan>"),
              1);
    ASSERT_TRUE(r.nextElement());
    double d = -1, e = -1;
    EXPECT_EQ(r.attributeReal("r", &d), 1);
    EXPECT_DOUBLE_EQ(d, 25.0);
    EXPECT_EQ(r.attributeReal("missing", &d), -1);
    EXPECT_EQ(r.attributeReal("bad", &d), 0);
    EXPECT_EQ(r.attributeReal("empty", &d), 0);
    EXPECT_EQ(r.attributeReal("nan", &d), 0);
    EXPECT_DOUBLE_EQ(d, 25.0);  // untouched on failure

    int32_t i = 0;
    EXPECT_EQ(r.attributeInteger("i", &i), 1);
    EXPECT_EQ(i, -42);
    EXPECT_EQ(r.attributeInteger("i2", &i), 0);
    EXPECT_EQ(r.attributeInteger("big", &i), 0);
    EXPECT_EQ(r.attributeInteger("nope", &i), -1);

    EXPECT_EQ(r.attributePair("p", &d, &e), 3);
    EXPECT_DOUBLE_EQ(d, 1.0);
    EXPECT_DOUBLE_EQ(e, 2.0);
    EXPECT_EQ(r.attributePair("p1", &d, &e), 1);
    EXPECT_DOUBLE_EQ(d, 5.0);
    EXPECT_EQ(r.attributePair("p2", &d, &e), 2);
    EXPECT_DOUBLE_EQ(e, 7.0);
    EXPECT_EQ(r.attributePair("p3", &d, &e), 1);
    EXPECT_EQ(r.attributePair("empty", &d, &e), 0);
    EXPECT_EQ(r.attributePair("nope", &d, &e), -1);

    MmlColor c;
    EXPECT_EQ(r.attributeColor("c", &c), 1);
    EXPECT_TRUE(c.hasAlpha);
    EXPECT_EQ(c.alpha(), 0x80);
    EXPECT_EQ(c.rgb(), 0xFF0000u);
    EXPECT_EQ(r.attributeColor("c2", &c), 1);
    EXPECT_FALSE(c.hasAlpha);  // no alpha above 0xFFFFFF: opaque red
    EXPECT_EQ(c.argb(), 0xFFFF0000u);
    EXPECT_EQ(r.attributeColor("c3", &c), 1);
    EXPECT_EQ(c.argb(), 0xFF000123u);
    EXPECT_EQ(r.attributeColor("c4", &c), 0);
    EXPECT_EQ(r.attributeColor("c5", &c), 0);
    EXPECT_EQ(r.attributeColor("nope", &c), -1);
}

TEST(MmlReader, LoadFile) {
    const std::string path = std::string(TESSALY_BIN_DIR) + "/mml_reader_test.mml";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    const char text[] = "<Media><Frame width=100/></Media>";
    std::fwrite(text, 1, sizeof text - 1, f);
    std::fclose(f);
    MmlReader r;
    ASSERT_EQ(r.loadFile(path.c_str()), 1);
    EXPECT_EQ(r.length(), sizeof text - 1);
    ASSERT_TRUE(r.nextElement("frame"));
    EXPECT_EQ(str(r.attribute("width")), "100");
    std::remove(path.c_str());
    EXPECT_EQ(r.loadFile(path.c_str()), 0);
    EXPECT_EQ(r.loadFile(TESSALY_BIN_DIR), 0);  // a directory cannot be read
    // A failed load keeps the old document.
    EXPECT_EQ(str(r.currentName()), "Frame");
}

}  // namespace
}  // namespace tessaly
