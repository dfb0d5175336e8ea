#include "composer/mml_interpreter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "hash_collision.h"
#include "stream_text.h"
#include "support/checksum.h"

namespace tessaly {
namespace {

// Interprets a document to its end and returns the dictionary's dump.
struct Interpretation {
    CharacterDictionary dictionary;
    MmlInterpreter interpreter;
    int frames = 0;

    explicit Interpretation(const std::string& markup, const std::string& jobDirectory = "") {
        interpreter.dictionary = &dictionary;
        interpreter.setJobDirectory(jobDirectory);
        EXPECT_EQ(interpreter.InputOpen(), 1);
        EXPECT_EQ(interpreter.SetSource(markup), 1);
        while (interpreter.InputFrame() == 1) ++frames;
    }

    std::string dump() const {
        return test::streamText([&](FILE* out) { dictionary.dump(out); });
    }
    std::string rootDump() const {
        return test::streamText([&](FILE* out) { interpreter.rootClip()->dump(out, 0); });
    }
    const std::vector<ControlRecord>& root() const { return interpreter.rootClip()->controls(); }
};

const char kSquare[] =
    "<Shape><FillColor side=\"right\" color=\"#FF0000\"/><Rect pos=\"0,0\" size=\"100,100\"/></Shape>";

std::string page(const std::string& body) { return "<Media><Frame>" + body + "</Frame></Media>"; }

TEST(Interpreter, FramesShowAndTheRootEnds) {
    Interpretation run("<Media><Frame></Frame><Frame>" + std::string(kSquare) + "</Frame></Media>");
    EXPECT_EQ(run.frames, 2);
    EXPECT_EQ(run.rootDump(),
              "MovieClip numControl=4\n"
              "  0 SHOW_FRAME\n"
              "  1 PLACE depth=1 flags=5 id=2 objType=shape mat=[1 0 0 1 0 0]\n"
              "  2 SHOW_FRAME\n"
              "  3 END\n");
}

TEST(Interpreter, ShapeDumpShowsStylesAndEdges) {
    Interpretation run(page("<Shape><LineStyle color=\"#80102030\" width=\"20\"/>"
                 "<FillColor side=\"left,right\" color=\"#00FF00\"/>"
                 "<MoveTo pos=\"10,10\"/><LinexTo path=\"110,10;110,60\"/>"
                 "<CurvexTo path=\"60,100;10,60\"/></Shape>"));
    EXPECT_EQ(run.dump(),
              "id=1 MovieClip numControl=3\n"
              "  0 PLACE depth=1 flags=5 id=2 objType=shape mat=[1 0 0 1 0 0]\n"
              "  1 SHOW_FRAME\n"
              "  2 END\n"
              "id=2 Shape numCommand=7 bounds=(0 0 120 110)\n"
              "  0 STYLE_LINE id=0 color=80102030 width=20\n"
              "  1 STYLE_FILL id=0 side=left SOLID color=ff00ff00\n"
              "  2 STYLE_FILL id=0 side=right SOLID color=ff00ff00\n"
              "  3 MOVE 10,10\n"
              "  4 LINE 110,10\n"
              "  5 LINE 110,60\n"
              "  6 CURVE2 60,100 10,60\n");
}

TEST(Interpreter, IdenticalShapesAreDefinedOnceAndPlacedTwice) {
    Interpretation run(page(std::string(kSquare) + kSquare));
    ASSERT_EQ(run.dictionary.count(), 2u);  // root and one shape
    ASSERT_GE(run.root().size(), 2u);
    EXPECT_EQ(run.root()[0].characterId, run.root()[1].characterId);
    EXPECT_NE(run.root()[0].depth, run.root()[1].depth);
}

TEST(Interpreter, NamedShapesArePlacedAgainByNameIgnoringCase) {
    Interpretation run(page("<Shape id=\"a\"><FillColor side=\"right\" color=\"#FF0000\"/>"
                 "<Rect pos=\"0,0\" size=\"100,100\"/></Shape><Place id=\"A\" pos=\"200,40\"/>"
                 "<Place id=\"missing\"/>"));
    ASSERT_EQ(run.root().size(), 4u);  // two places, show frame, end
    EXPECT_EQ(run.root()[1].characterId, run.root()[0].characterId);
    EXPECT_EQ(run.root()[1].matrix.translateX, 200);
    EXPECT_EQ(run.root()[1].matrix.translateY, 40);
}

TEST(Interpreter, DropsShapesThatCannotBeDrawn) {
    // A zero-height rectangle fails the whole shape; fills without a side do nothing.
    Interpretation run(page("<Shape><FillColor side=\"right\" color=\"#FF0000\"/>"
                 "<Rect pos=\"0,0\" size=\"100,0\"/><Rect pos=\"0,0\" size=\"100,100\"/></Shape>"
                 "<Shape><FillColor color=\"#FF0000\"/><MoveTo pos=\"5,5\"/></Shape>"
                 "<Shape><Linex path=\"0,0;100,0\"/></Shape>"));
    EXPECT_EQ(run.dictionary.count(), 1u);  // the root only: the line has zero height
}

TEST(Interpreter, LineStyleWithoutColourClearsTheLine) {
    Interpretation run(page("<Shape><LineStyle width=\"20\"/><FillColor side=\"right\" color=\"#FF0000\"/>"
                 "<Rect pos=\"0,0\" size=\"10,10\"/></Shape>"));
    EXPECT_NE(run.dump().find("0 STYLE_LINE id=4294967295 reset"), std::string::npos);
}

TEST(Interpreter, DepthNamesAndRemoval) {
    Interpretation run(page("<Shape id=\"s\"><FillColor side=\"right\" color=\"#FF0000\"/>"
                 "<Rect pos=\"0,0\" size=\"10,10\"/></Shape>"
                 "<Place id=\"s\" depth=\"bg\"/><Place id=\"s\" depth=\"bg\"/>"
                 "<Remove depth=\"bg\"/><Remove depth=\"nosuch\"/><Place id=\"s\" depth=\"40\"/>"
                 "<Remove/>"));
    const auto& r = run.root();
    ASSERT_EQ(r.size(), 10u);
    EXPECT_EQ(r[1].depth, 2u);
    EXPECT_EQ(r[2].depth, 3u);
    EXPECT_EQ(r[3].type, kCtlRemove);
    EXPECT_EQ(r[3].depth, 3u);  // the newest "bg"
    EXPECT_EQ(r[4].depth, 40u);
    // Remove without attributes: newest placement first.
    EXPECT_EQ(r[5].depth, 40u);
    EXPECT_EQ(r[6].depth, 2u);
    EXPECT_EQ(r[7].depth, 1u);
}

TEST(Interpreter, AlphaBecomesAColourTransform) {
    Interpretation run(page(std::string(kSquare) + "<Place id=\"x\"/>" +
                 "<Shape alpha=\"50\"><FillColor side=\"right\" color=\"#FF0000\"/>"
                 "<Rect pos=\"0,0\" size=\"100,100\"/></Shape>"
                 "<Shape alpha=\"150\"><FillColor side=\"right\" color=\"#FF0000\"/>"
                 "<Rect pos=\"0,0\" size=\"100,100\"/></Shape>"
                 "<Shape alpha=\"-5\"><FillColor side=\"right\" color=\"#FF0000\"/>"
                 "<Rect pos=\"0,0\" size=\"100,100\"/></Shape>"));
    const auto& r = run.root();
    EXPECT_FALSE(r[0].flags & place_flag::kHasCxform);
    ASSERT_TRUE(r[1].flags & place_flag::kHasCxform);
    EXPECT_EQ(r[1].cxform.multiply[3], 127);
    EXPECT_FALSE(r[2].flags & place_flag::kHasCxform);
    ASSERT_TRUE(r[3].flags & place_flag::kHasCxform);
    EXPECT_EQ(r[3].cxform.multiply[3], 0);
}

TEST(Interpreter, MatrixAttributesCombine) {
    Interpretation run(page("<Shape matrix=\"2,0,0,2,5,6\" angle=\"90\" scale=\"2,3\" pos=\"7.9,-8.9\">"
                 "<FillColor side=\"right\" color=\"#FF0000\"/><Rect pos=\"0,0\" size=\"10,10\"/>"
                 "</Shape>"));
    const SwfMatrix& m = run.root()[0].matrix;
    EXPECT_EQ(m.scaleX, 0);  // cos 90 * 2, truncated
    EXPECT_EQ(m.skew0, 2 * 65536);
    EXPECT_EQ(m.skew1, -3 * 65536);
    EXPECT_EQ(m.translateX, 7);
    EXPECT_EQ(m.translateY, -8);
}

TEST(Interpreter, NestedMovieClipsAreIgnored) {
    Interpretation run(page("<MovieClip instance=\"outer\">" + std::string(kSquare) +
                 "<MovieClip>" + kSquare + "</MovieClip>" + kSquare + "</MovieClip>"));
    // The inner end tag closes (and places) the outer clip; the third square
    // lands on the root.
    const auto& r = run.root();
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].object->type(), kTypeMovieClip);
    EXPECT_EQ(r[0].text, "outer");
    EXPECT_EQ(r[1].object->type(), kTypeShape);
    const auto* clip = static_cast<const MovieClipObject*>(r[0].object);
    EXPECT_EQ(clip->controls().size(), 3u);  // two places and the end
}

TEST(Interpreter, MaskClipsWhatWasPlacedAfterIt) {
    Interpretation run(page("<Shape id=\"m\" flags=\"noplace\"><FillColor side=\"right\" color=\"#000000\"/>"
                 "<Rect pos=\"0,0\" size=\"50,50\"/></Shape>"
                 "<Mask id=\"m\">" + std::string(kSquare) + kSquare + "</Mask>" + kSquare));
    const auto& r = run.root();
    ASSERT_EQ(r.size(), 6u);
    EXPECT_EQ(r[2].depth, 1u);  // the mask, at the depth reserved first
    EXPECT_TRUE(r[2].flags & place_flag::kHasClipDepth);
    EXPECT_EQ(r[2].clipDepth, 3u);
    EXPECT_EQ(r[3].depth, 4u);
}

TEST(Interpreter, LabelsStopsExportsAndNull) {
    Interpretation run(page("<Label name=\"start\"/><Label/><Meta type=\"FLASH:STOP\"/>"
                 "<Meta type=\"flash:play\"/><Null><Shape><Rect pos=\"0,0\" size=\"5,5\"/></Shape>"
                 "</Null><Shape export=\"sq\" flags=\"noPlace\"><FillColor side=\"right\" color=\"1\"/>"
                 "<Rect pos=\"0,0\" size=\"10,10\"/></Shape>"));
    EXPECT_EQ(run.rootDump(),
              "MovieClip numControl=5\n"
              "  0 LABEL start\n"
              "  1 META type=1\n"
              "  2 REF id=2 exportName=sq\n"
              "  3 SHOW_FRAME\n"
              "  4 END\n");
    EXPECT_EQ(run.root()[1].data, (std::vector<uint8_t>{0x02, 0x03, 0x07, 0x00}));
}

TEST(Interpreter, CubicCurvesAndOrders) {
    Interpretation run(page("<Shape><FillColor side=\"right\" color=\"#FF0000\"/>"
                 "<Curvex type=\"BEZ\" path=\"0,0;0,100;100,100;100,0;50,50\"/></Shape>"
                 "<Shape><FillColor side=\"right\" color=\"#FF0000\"/>"
                 "<CurvexTo order=\"counter\" path=\"0,0;0,100\"/></Shape>"));
    const std::string dump = run.dump();
    EXPECT_NE(dump.find("CURVE3 0,100 100,100 100,0"), std::string::npos);
    EXPECT_EQ(run.dictionary.count(), 2u);  // the counter-ordered curve fails its shape
}

TEST(Interpreter, ShapeSourceFilesResolveAgainstTheJobDirectory) {
    const auto dir = std::filesystem::temp_directory_path() / "tessaly_interp_src";
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "outline.mml") << "<Other/><Shape><FillColor side=\"right\" color=\"#0000FF\"/>"
                                          "<Rect pos=\"0,0\" size=\"30,40\"/></Shape>";
    Interpretation run(page("<Shape src=\"outline.mml\" pos=\"5,5\"/><Shape src=\"absent.mml\"/>"),
            dir.string());
    EXPECT_NE(run.dump().find("bounds=(0 0 30 40)"), std::string::npos);
    EXPECT_EQ(run.dictionary.count(), 2u);
    std::filesystem::remove_all(dir);
}

TEST(Interpreter, RectexSkipsDegenerateRectangles) {
    Interpretation run(page("<Shape><FillColor side=\"right\" color=\"#FF0000\"/>"
                 "<Rectex pos=\"0,0,10,10;5,5,5,20;20,20,30,40\"/></Shape>"));
    // The first rectangle starts at the pen, so it needs no move.
    EXPECT_NE(run.dump().find("numCommand=10 bounds=(0 0 30 40)"), std::string::npos);
}

TEST(Interpreter, ExtremeNumbersAreClamped) {
    constexpr int32_t kMax = INT32_MAX, kMin = INT32_MIN;
    const std::string big = "1000000000000", huge = std::string(300, '9');
    const std::string square = "<Shape id=\"sq\" flags=\"noplace\"><FillColor side=\"right\" color=\"#FF0000\"/>"
                               "<Rect pos=\"0,0\" size=\"100,100\"/></Shape>";
    Interpretation run(page(
        square +
        // Matrix entries and alpha are plain decimals, other values may have exponents.
        "<Place id=\"sq\" matrix=\"" + big + ",-" + big + "," + huge + ",-" + huge + "," + big + ",-" + big + "\"/>"
        "<Place id=\"sq\" angle=\"1e308\" scale=\"1e308,-1e308\" pos=\"-1e308,1e308\" alpha=\"-" + huge + "\"/>"
        "<Place id=\"sq\" depth=\"" + huge + "\" alpha=\"" + huge + "\" matrix=\"nan,inf,1,1,1,1\"/>"
        "<Move depth=\"1\" pos=\"99999999999,-99999999999\"/>"
        "<Shape depth=\"7\"><LineStyle color=\"#000000\" width=\"1e308\"/><FillColor side=\"left\" color=\"#00FF00\"/>"
        "<Rect pos=\"1e12,-1e12\" size=\"-1e308,1e308\"/><CurvexTo path=\"1e308,1e308;-1e308,-1e308\"/>"
        "<Linex path=\"-1e12,5;1e12,-5\"/><Rectex pos=\"-1e308,-1e308,1e308,1e308\"/></Shape>"
        "<MovieClip pos=\"1e12,1e12\" scale=\"-1e308,1e308\">" + square +
        "<Place id=\"sq\" pos=\"-1e12,0\"/></MovieClip>"));
    const auto& root = run.root();
    ASSERT_GE(root.size(), 6u);
    EXPECT_EQ(root[0].matrix, (SwfMatrix{kMax, kMin, kMax, kMin, kMax, kMin}));
    EXPECT_EQ(root[1].matrix.translateX, kMin);
    EXPECT_EQ(root[1].matrix.translateY, kMax);
    EXPECT_EQ(root[1].cxform.multiply[3], 0);  // alpha below 0 counts as 0
    EXPECT_EQ(root[2].depth, 65000u);
    EXPECT_FALSE(root[2].flags & place_flag::kHasCxform);  // alpha above 100: opaque
    EXPECT_TRUE(root[2].matrix.isIdentity());               // not a matrix at all
    EXPECT_EQ(root[3].matrix.translateX, kMax);
    EXPECT_EQ(root[3].matrix.translateY, kMin);
    // Every coordinate of the drawn shape lands in the coordinate range, and
    // the line width at its largest value.
    const std::string dump = run.dump();
    EXPECT_NE(dump.find("width=65535"), std::string::npos);
    EXPECT_NE(dump.find("LINE -32767,32766"), std::string::npos);
    // The clip is placed with its translation and scale saturated.
    const ControlRecord& clip = root[5];
    ASSERT_EQ(clip.type, kCtlPlace);
    EXPECT_EQ(clip.matrix.translateX, kMax);
    EXPECT_EQ(clip.matrix.scaleX, kMin);
    EXPECT_EQ(clip.matrix.scaleY, kMax);
}

TEST(Interpreter, CollidingHashesStayApart) {
    // Shapes of one layout whose content hashes collide: the x of point i
    // moves by 0 or 1 with bit i of the choice.
    auto points = [](uint64_t choice) {
        std::vector<std::pair<int32_t, int32_t>> p;
        for (int i = 0; i < 40; ++i) p.push_back({100 + 10 * i + int32_t(choice >> i & 1), (i % 2) * 50});
        return p;
    };
    auto shapeHash = [&](uint64_t choice) {
        ShapeObject shape;
        shape.solidFill(0xFF0000, kSideRight, false);
        const auto p = points(choice);
        shape.moveTo(p[0].first, p[0].second);
        for (size_t i = 1; i < p.size(); ++i) shape.lineTo(p[i].first, p[i].second);
        return shape.contentHash();
    };
    auto shapeMarkup = [&](uint64_t choice) {
        std::string path;
        for (const auto& [x, y] : points(choice)) path += std::to_string(x) + "," + std::to_string(y) + ";";
        return "<Shape><FillColor side=\"right\" color=\"#FF0000\"/><Linex path=\"" + path + "\"/></Shape>";
    };
    const uint64_t shapeChoice = testing_support::collidingChoice(40, shapeHash);
    ASSERT_NE(shapeChoice, 0u);

    // Names (of a character and of a depth) whose hashes collide.
    auto name = [](uint64_t choice) {
        std::string n = "n";
        for (int i = 0; i < 40; ++i) n += (choice >> i & 1) ? 'c' : 'a';
        return n;
    };
    const uint64_t nameChoice =
        testing_support::collidingChoice(40, [&](uint64_t x) { return nameHash(name(x)); });
    ASSERT_NE(nameChoice, 0u);
    const std::string first = name(0), second = name(nameChoice);

    Interpretation run(page(shapeMarkup(0) + shapeMarkup(shapeChoice) +
                            "<Shape id=\"" + first + "\" depth=\"" + first + "\">"
                            "<Rect pos=\"0,0\" size=\"5,5\"/></Shape>"
                            "<Place id=\"" + second + "\"/><Remove depth=\"" + second + "\"/>"));
    std::vector<const DictionaryEntry*> shapes;
    for (size_t i = 0; i < run.dictionary.count(); ++i) {
        if (run.dictionary.entryAt(i).type == kTypeShape) shapes.push_back(&run.dictionary.entryAt(i));
    }
    ASSERT_EQ(shapes.size(), 3u);
    EXPECT_EQ(shapes[0]->key, shapes[1]->key);  // the collision is real
    EXPECT_NE(shapes[0]->id, shapes[1]->id);
    // Only the three shapes are placed; the look-alike name and depth find nothing.
    ASSERT_EQ(run.root().size(), 5u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(run.root()[size_t(i)].type, kCtlPlace);
    EXPECT_EQ(run.root()[3].type, kCtlShowFrame);
}

}  // namespace
}  // namespace tessaly
