#include "composer/composition.h"

#include <gtest/gtest.h>

#include <string>

#include "composer/mml_interpreter.h"
#include "composer/settings.h"

namespace tessaly {
namespace {

struct Composed {
    CharacterDictionary dictionary;
    SwfMovieWriter writer;
    MmlInterpreter interpreter;
    std::string markup;
    CompositionResult result;
    std::string error;

    Composed(CompositionInput in) {
        interpreter.dictionary = &dictionary;
        EXPECT_EQ(interpreter.InputOpen(), 1);
        writer.dictionary = &dictionary;
        EXPECT_TRUE(writer.SetRootStoreObject(interpreter.rootEntry()));
        EXPECT_EQ(writer.OutputOpen(), 1);
        ok = composeMovie(in, writer, dictionary, &markup, &result, &error);
    }
    // Interprets the composed markup to its end.
    void interpret() {
        ASSERT_EQ(interpreter.SetSource(markup), 1);
        while (interpreter.InputFrame() == 1) {
        }
    }
    const MovieClipObject& root() const { return *interpreter.rootClip(); }
    int ok = 0;
};

CompositionInput twoPages(uint32_t flags) {
    CompositionInput in;
    static const std::string index =
        "<Media width=\"12240\" height=\"15840\"><Frame alt=\"altpage0.bag\"><Shape><FillColor side=\"right\" "
        "color=\"#FF0000\"/><Rect pos=\"0,0\" size=\"100,100\"/></Shape></Frame><Frame alt=\"altpage1.bag\">"
        "</Frame></Media>";
    in.jobIndex = index;
    in.pages = {{12240, 15840, "altpage0.bag"}, {12240, 15840, "altpage1.bag"}};
    in.docWidth = 12240;
    in.docHeight = 15840;
    in.mechanics = flags;
    return in;
}

TEST(Composition, VectorPagesGetOneFrameAndAHolderEach) {
    Composed c(twoPages(kMechVector | kMechFrame));
    ASSERT_EQ(c.ok, 1) << c.error;
    EXPECT_EQ(c.result.docPixelWidth, 612u);
    EXPECT_EQ(c.result.docPixelHeight, 792u);
    EXPECT_NE(c.markup.find("<MovieClip id=\"_page1\" instance=\"page\" flags=\"noPlace\"><Shape>"), std::string::npos);
    EXPECT_NE(c.markup.find("<MovieClip instance=\"page2\">"), std::string::npos);
    EXPECT_EQ(c.markup.find("<Frame alt="), std::string::npos);  // the driver's Frame tags are replaced
    c.interpret();
    const auto& frames = c.root().frames();
    ASSERT_EQ(frames.size(), 2u);
    // Each frame: remove all, then the holder placed with its instance name.
    std::vector<std::string> instances;
    for (const auto& r : c.root().controls()) {
        if (r.type == kCtlPlace && r.hasText) instances.push_back(r.text);
    }
    EXPECT_EQ(instances, (std::vector<std::string>{"page1", "page2"}));
    // The holder holds the layout and the page clip, named "page".
    const auto* holder = static_cast<const MovieClipObject*>(c.root().controls()[0].object);
    bool pagePlaced = false;
    for (const auto& r : holder->controls()) pagePlaced |= r.type == kCtlPlace && r.hasText && r.text == "page";
    EXPECT_TRUE(pagePlaced);
}

TEST(Composition, ImagePagesShowTheirPageImage) {
    Composed c(twoPages(kMechImage | kMechFrame));
    ASSERT_EQ(c.ok, 1);
    EXPECT_NE(c.markup.find("<Image src=\"altpage0.bag\" size=\"12240,15840\"><Null><Shape>"), std::string::npos);
    EXPECT_NE(c.markup.find("</Null>\n</MovieClip>"), std::string::npos);
}

TEST(Composition, LibraryPagesAreExported) {
    Composed c(twoPages(kMechVector | kMechLibrary));
    ASSERT_EQ(c.ok, 1);
    EXPECT_NE(c.markup.find("<MovieClip flags=\"noPlace\" export=\"page2\">"), std::string::npos);
}

TEST(Composition, PageListsFollowTheLastPage) {
    CompositionInput in = twoPages(kMechVector | kMechFrame | kMechPageList | kMechPreviewList);
    Composed c(in);
    ASSERT_EQ(c.ok, 1);
    const size_t list = c.markup.find("<MovieClip pos=\"0,79200\" instance=\"pageList\">");
    ASSERT_NE(list, std::string::npos);
    EXPECT_GT(list, c.markup.find("instance=\"page2\""));
    EXPECT_NE(c.markup.find("<Label name=\"#b\"/>"), std::string::npos);
    EXPECT_NE(c.markup.find("instance=\"previewList\""), std::string::npos);
    c.interpret();
    // The list clip: two page frames and the blank one.
    const MovieClipObject* pageList = nullptr;
    for (const auto& r : c.root().controls()) {
        if (r.type == kCtlPlace && r.hasText && r.text == "pageList") pageList = static_cast<const MovieClipObject*>(r.object);
    }
    ASSERT_NE(pageList, nullptr);
    EXPECT_EQ(pageList->frameCount(), 3u);

    Composed withoutPageList(twoPages(kMechVector | kMechFrame | kMechPreviewList));
    EXPECT_EQ(withoutPageList.markup.find("previewList"), std::string::npos);
}

TEST(Composition, PreviewVariables) {
    CompositionInput in = twoPages(kMechVector | kMechFrame | kMechPreview);
    in.previewImageSize = 16;
    in.previewJpegQuality = 60;
    in.previewZlib = 1;
    in.previewSmoothing = 25;
    in.previewMonochrome = -1;
    Composed c(in);
    ASSERT_EQ(c.ok, 1);
    EXPECT_NE(c.markup.find("resize=\"1958,2534\" encoding=\"jpeg,zlib\" encodingQuality=\"60\" "
                            "fx=\"smooth(25),gray\""),
              std::string::npos);
}

TEST(Composition, AMissingInterfaceFails) {
    CompositionInput in = twoPages(kMechVector | kMechLibrary);
    in.interfacePath = "/nonexistent/interface.swf";
    Composed c(in);
    EXPECT_EQ(c.ok, 0);
    EXPECT_EQ(c.error, "Error including Interface\n");
}

}  // namespace
}  // namespace tessaly
