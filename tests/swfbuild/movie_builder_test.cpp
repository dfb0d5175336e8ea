// The movie builder: what a source turns into, and how its mistakes are told.

#include "swfbuild/movie_builder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

struct Tag {
    uint16_t code;
    Bytes body;
};

// The tags of a timeline from `pos` to its End tag (sprites are not entered).
std::vector<Tag> tagsOf(const Bytes& m, size_t pos) {
    std::vector<Tag> out;
    while (pos + 2 <= m.size()) {
        const uint16_t word = uint16_t(m[pos] | m[pos + 1] << 8);
        size_t length = word & 0x3F;
        pos += 2;
        if (length == 0x3F) {
            length = m[pos] | m[pos + 1] << 8 | m[pos + 2] << 16 | size_t(m[pos + 3]) << 24;
            pos += 4;
        }
        out.push_back({uint16_t(word >> 6), Bytes(m.begin() + long(pos), m.begin() + long(pos + length))});
        pos += length;
        if (out.back().code == 0) break;
    }
    return out;
}

std::vector<uint16_t> codes(const std::vector<Tag>& tags) {
    std::vector<uint16_t> out;
    for (const Tag& t : tags) out.push_back(t.code);
    return out;
}

class MovieBuilderTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("tessaly_swfbuild_" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    void write(const std::string& name, const std::string& text) {
        std::ofstream(dir / name, std::ios::binary) << text;
    }
    // Builds the source as dir/movie.xml; the error text on failure.
    std::string build(const std::string& source, Bytes& movie) {
        write("movie.xml", source);
        tessaly::MovieBuilder builder;
        return builder.buildFile((dir / "movie.xml").string(), movie) ? "" : builder.errorText();
    }
    std::string errorOf(const std::string& source) {
        Bytes movie;
        const std::string e = build(source, movie);
        EXPECT_FALSE(e.empty());
        const std::string prefix = (dir / "movie.xml").string();
        return e.rfind(prefix, 0) == 0 ? "movie.xml" + e.substr(prefix.size()) : e;
    }
    fs::path dir;
};

TEST_F(MovieBuilderTest, WritesTheMovieTheSourceDescribes) {
    write("parts.xml",
          "<library><shape id='dot'><circle r='4' fill='#FF000080'/></shape>"
          "<export use='dot' as='dot'/></library>");
    write("code.asm", "push \"n\", 1\nsetVariable\n");
    Bytes m;
    ASSERT_EQ(build(R"(<?xml version="1.0"?>
<movie width="320" height="240.5" frameRate="12.5" background="#102030">
  <!-- a comment -->
  <include src="parts.xml"/>
  <text id="field" width="100" height="20" var="_root.msg" input="true" border="true" align="right"/>
  <button id="go">
    <layer use="dot" states="up over down hit" depth="2" x="1"/>
    <on events="release keyPress:Right">push "msg", "a&amp;b"
setVariable</on>
  </button>
  <sprite id="clip" export="clip"><frame label="in"><place use="dot" depth="1"/></frame><frame/></sprite>
  <frame label="start">
    <place use="field" depth="1" name="field" x="10" y="10"/>
    <place use="clip" depth="2" alpha="0.5"><on events="load keyPress:a"><![CDATA[push 1 ; x < y
pop]]></on></place>
    <initAction use="clip">stop</initAction>
    <action src="code.asm"/>
  </frame>
  <frame><remove depth="2"/></frame>
</movie>)",
                    m),
              "");
    // Header: version 8, its own length, 320 x 240.5 pixels, 12.5 frames a second, 2 frames.
    ASSERT_GT(m.size(), 21u);
    EXPECT_EQ(std::string(m.begin(), m.begin() + 3), "FWS");
    EXPECT_EQ(m[3], 8);
    EXPECT_EQ(size_t(m[4] | m[5] << 8 | m[6] << 16 | m[7] << 24), m.size());
    const unsigned nbits = m[8] >> 3;
    const size_t rectEnd = 8 + (5 + 4 * nbits + 7) / 8;
    EXPECT_EQ(m[rectEnd] | m[rectEnd + 1] << 8, 12 * 256 + 128);
    EXPECT_EQ(m[rectEnd + 2] | m[rectEnd + 3] << 8, 2);

    const auto tags = tagsOf(m, rectEnd + 4);
    EXPECT_EQ(codes(tags), (std::vector<uint16_t>{9, 32, 56, 48, 37, 34, 39, 56, 43, 26, 26, 59, 12, 1,
                                                  28, 1, 0}));
    EXPECT_EQ(tags[0].body, (Bytes{0x10, 0x20, 0x30}));
    // The device font, then the field bound to its variable, editable with a border.
    EXPECT_EQ(tags[3].body, (Bytes{2, 0, 0, 0, 5, '_', 's', 'a', 'n', 's', 0, 0}));
    const Bytes& field = tags[4].body;
    const std::string var = "_root.msg";
    EXPECT_NE(std::search(field.begin(), field.end(), var.begin(), var.end()), field.end());
    // The button's one action: release and the right arrow key, code ending in its end byte.
    const Bytes& button = tags[5].body;
    const Bytes conditions{0, 0, 0x08, 0x04};
    const auto at = std::search(button.begin(), button.end(), conditions.begin(), conditions.end());
    ASSERT_NE(at, button.end());
    EXPECT_EQ(button.back(), 0);
    const std::string text = "a&b";
    EXPECT_NE(std::search(button.begin(), button.end(), text.begin(), text.end()), button.end());
    // The clip's placement carries its events: load and a key press of 'a'.
    const Bytes& place = tags[10].body;
    EXPECT_EQ(place[0] & 0x80, 0x80);
    const Bytes events{0x01, 0x00, 0x02, 0x00};
    EXPECT_NE(std::search(place.begin(), place.end(), events.begin(), events.end()), place.end());
    EXPECT_EQ(tags[11].body, (Bytes{5, 0, 0x07, 0}));
    EXPECT_EQ(tags[12].body.back(), 0);
}

TEST_F(MovieBuilderTest, MistakesNameTheFileAndLine) {
    const std::string head = "<movie width='10' height='10'>\n";
    EXPECT_EQ(errorOf(head + "<frame>\n</movie>"), "movie.xml:3: </movie> closes <frame> (opened on line 2)");
    EXPECT_EQ(errorOf(head + "<frame lable='x'/>\n</movie>"), "movie.xml:2: <frame> has no attribute 'lable'");
    EXPECT_EQ(errorOf(head + "<frame><place use='nothing' depth='1'/></frame></movie>"),
              "movie.xml:2: 'nothing' is not defined before this use");
    EXPECT_EQ(errorOf(head + "<frame><place use='a' depth='0'/></frame></movie>"),
              "movie.xml:2: 'depth' of <place> must be a whole number from 1 to 16000, not '0'");
    EXPECT_EQ(errorOf(head + "<frame>\n<action>\n  push 1\n  pushh 2\n</action></frame></movie>"),
              "movie.xml:5: unknown instruction 'pushh'");
    EXPECT_EQ(errorOf(head + "<frame><action>push 1 pop</action></frame></movie>").substr(0, 12), "movie.xml:2:");
    EXPECT_EQ(errorOf(head + "<include src='missing.xml'/></movie>"),
              "movie.xml:2: the included file 'missing.xml' cannot be opened");
    write("bad.xml", "<library>\n<shape id='s'><rect width='1' height='1'/></shape></library>");
    EXPECT_EQ(errorOf(head + "<include src='bad.xml'/></movie>"),
              (dir / "bad.xml").string() + ":2: <rect> has neither 'fill' nor 'line'");
    write("self.xml", "<library><include src='self.xml'/></library>");
    EXPECT_NE(errorOf(head + "<include src='self.xml'/></movie>").find("nested too deeply"), std::string::npos);
    write("code.asm", "stop\njump away\n");
    EXPECT_EQ(errorOf(head + "<frame><action src='code.asm'/></frame></movie>"),
              (dir / "code.asm").string() + ":2: unknown label 'away'");
    EXPECT_EQ(errorOf(head + "<shape id='s'><rect width='1' height='1' fill='#FFF'/></shape></movie>"),
              "movie.xml:2: 'fill' of <rect> must be #RRGGBB or #RRGGBBAA");
    EXPECT_EQ(errorOf(head + "<shape id='s'><path d='M 0 0 L 1' line='#000000'/></shape></movie>"),
              "movie.xml:2: 'd' of <path>: a number is missing at character 10");
    EXPECT_EQ(errorOf(head + "<shape id='s'><path d='L 1 1' line='#000000'/></shape></movie>"),
              "movie.xml:2: 'd' of <path> must start with M");
    EXPECT_EQ(errorOf(head + "<shape id='s'><rect width='1' height='1' fill='#000000'/></shape>"
                             "<button id='b'><layer use='s' states='up'/></button></movie>"),
              "movie.xml:2: <button> has no layer for the 'hit' state: it could not be clicked");
    EXPECT_EQ(errorOf(head + "</movie>"), "movie.xml:1: the movie has no <frame>");
    EXPECT_EQ(errorOf("<movie width='10' height='10'><frame/></movie><x/>"), "movie.xml:1: text after the root element");
    EXPECT_EQ(errorOf("<movie width='10' height='10' a='&bogus;'/>"), "movie.xml:1: unknown entity &bogus;");
    EXPECT_EQ(errorOf(head + "<text id='t' font='Arial'/></movie>"),
              "movie.xml:2: 'font' must name a device font (_sans, _serif or _typewriter) or a <font> "
              "defined before");
}

}  // namespace
