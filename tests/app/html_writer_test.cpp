#include "app/html_writer.h"

#include <gtest/gtest.h>

#include "app_test_support.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace tessaly::app {
namespace {

// Records every message and answers questions from a list (No when it runs out).
class ScriptedUi : public UserInterface {
public:
    struct Shown {
        std::string text, title;
        MessageIcon icon;
        MessageButtons buttons;
    };
    std::vector<Shown> shown;
    std::vector<MessageAnswer> answers;

    MessageAnswer messageBox(const Message& m) override {
        shown.push_back({std::string(m.text), std::string(m.title), m.icon, m.buttons});
        if (m.buttons == MessageButtons::ok) return MessageAnswer::ok;
        if (answers.empty()) return MessageAnswer::no;
        const MessageAnswer a = answers.front();
        answers.erase(answers.begin());
        return a;
    }
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class HtmlWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("tessaly-html-" + std::to_string(getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "base" / "HTML Template");
        fs::create_directories(root_ / "out");
        writeFile(root_ / "base" / "HTML Template" / "Full Window.htm",
                  "<embed src=\"{FlashMovie}\" size=\"{DocWidth}x{DocHeight}\" bg=\"{BackgroundColor}\" "
                  "v={FlashVersion} r={DocWidthHeightRatio}/{DocHeightWidthRatio} menu={FlashPopup} "
                  "salign=[{FlashSAlign}] keep={Unknown}>");
        writeFile(root_ / "movie.swf", "FWS-movie-bytes");
        context_.baseDirectory = (root_ / "base").string() + "/";
        context_.movie = {(root_ / "movie.swf").string(), 612.5, 792, 0xFFFFFF, 6};
    }
    void TearDown() override { fs::remove_all(root_); }

    std::string out(const std::string& name) const { return (root_ / "out" / name).string(); }

    fs::path root_;
    ScriptedUi ui_;
    SavePreferences preferences_;
    SaveContext context_{ui_, "", {}, preferences_};
};

TEST(HtmlFileNames, PageAndMovieNames) {
    struct Case {
        const char *chosen, *html, *swf;
    } cases[] = {
        {"/d/page", "/d/page.htm", "/d/page.swf"},
        {"/d/page.html", "/d/page.html", "/d/page.swf"},
        {"/d/page.HTM", "/d/page.HTM", "/d/page.swf"},
        {"/d/a.b.htm", "/d/a.b.htm", "/d/a.b.swf"},
        {"/d/notes.txt", "/d/notes.txt.htm", "/d/notes.swf"},
        {"/d/old.htm.bak", "/d/old.htm.bak.htm", "/d/old.htm.swf"},
        {"/x.y/page", "/x.y/page.htm", "/x.y/page.swf"},  // a dot in a folder is not an extension
        {"page", "page.htm", "page.swf"},
    };
    for (const Case& c : cases) {
        const HtmlFileNames names = htmlFileNames(c.chosen);
        EXPECT_EQ(names.htmlPath, c.html) << c.chosen;
        EXPECT_EQ(names.swfPath, c.swf) << c.chosen;
    }
}

TEST(HtmlTemplate, LookupAndValidity) {
    EXPECT_EQ(htmlTemplatePath("/opt/t/", "Full Window.htm"), "/opt/t/HTML Template/Full Window.htm");
    EXPECT_EQ(htmlTemplatePath("/opt/t/", "/home/u/mine.htm"), "/home/u/mine.htm");
    EXPECT_EQ(htmlTemplatePath("/opt/t/", "C:\\t\\mine.htm"), "C:\\t\\mine.htm");
    EXPECT_TRUE(isHtmlTemplate("<p>{flashmovie}</p>"));
    EXPECT_FALSE(isHtmlTemplate("<p>{FlashMovie</p>"));
}

TEST_F(HtmlWriterTest, SavesPageAndMovieWithTheVariables) {
    preferences_.showFlashPopup = false;
    preferences_.flashAlign = kFlashAlignBottom;
    ASSERT_EQ(writeHtml(context_, out("page")), 1);
    EXPECT_TRUE(ui_.shown.empty());
    EXPECT_EQ(readFile(out("page.htm")),
              "<embed src=\"page.swf\" size=\"612x792\" bg=\"#ffffff\" v=6 r=0.773359/1.293061 menu=false "
              "salign=[B] keep={Unknown}>");
    EXPECT_EQ(readFile(out("page.swf")), "FWS-movie-bytes");
    EXPECT_EQ(preferences_.lastSaveFilename, out("page.htm"));

    // Centre alignment leaves the alignment empty; a dark colour keeps six digits.
    preferences_.flashAlign = kFlashAlignCentre;
    preferences_.showFlashPopup = true;
    context_.movie.backgroundColor = 0x00000A;
    ASSERT_EQ(writeHtml(context_, out("page.htm")), 1);
    const std::string page = readFile(out("page.htm"));
    EXPECT_NE(page.find("bg=\"#00000a\""), std::string::npos) << page;
    EXPECT_NE(page.find("menu=true salign=[]"), std::string::npos) << page;
}

TEST_F(HtmlWriterTest, ViewingRefersToTheMovieAndCopiesNothing) {
    ASSERT_EQ(writeHtml(context_, out("view.htm"), context_.movie.moviePath), 1);
    EXPECT_NE(readFile(out("view.htm")).find("src=\"movie.swf\""), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(root_ / "out"), fs::directory_iterator()), 1);
    EXPECT_FALSE(preferences_.lastSaveFilename);
}

TEST_F(HtmlWriterTest, MissingAndInvalidTemplatesAreReported) {
    ASSERT_EQ(writeHtml(context_, out("a"), std::nullopt, "Nowhere.htm"), 0);
    writeFile(root_ / "plain.htm", "<p>{DocWidth}</p>");
    ASSERT_EQ(writeHtml(context_, out("b"), std::nullopt, (root_ / "plain.htm").string()), 0);
    ASSERT_EQ(ui_.shown.size(), 2u);
    EXPECT_EQ(ui_.shown[0].text, "The HTML Template File was not found.\n\nUnable to Save with HTML.");
    EXPECT_EQ(ui_.shown[0].title, "HTML Template Not Found");
    EXPECT_EQ(ui_.shown[0].icon, MessageIcon::plain);
    EXPECT_EQ(ui_.shown[1].text,
              "The HTML Template File doesn't seem to be a valid template.\n"
              "Please see the included Help to learn how to create an HTML template.");
    EXPECT_EQ(ui_.shown[1].title, "Invalid HTML Template File");
    EXPECT_EQ(ui_.shown[1].icon, MessageIcon::warning);
    EXPECT_TRUE(fs::is_empty(root_ / "out"));
}

TEST_F(HtmlWriterTest, ExistingMovieIsReplacedOnlyWhenAllowed) {
    writeFile(out("page.swf"), "theirs");
    // No: nothing is written.
    ASSERT_EQ(writeHtml(context_, out("page")), 0);
    ASSERT_EQ(ui_.shown.size(), 1u);
    EXPECT_EQ(ui_.shown[0].text,
              "A Flash file with the same name as the Flash file used on the HTML page already exists.\n"
              "Are you sure you want to overwrite this Flash file?");
    EXPECT_EQ(ui_.shown[0].title, "Overwrite Existing Flash File?");
    EXPECT_EQ(ui_.shown[0].buttons, MessageButtons::yesNo);
    EXPECT_EQ(readFile(out("page.swf")), "theirs");
    EXPECT_FALSE(fs::exists(out("page.htm")));
    EXPECT_FALSE(preferences_.lastSaveFilename);

    // Yes replaces it.
    ui_.answers = {MessageAnswer::yes};
    ASSERT_EQ(writeHtml(context_, out("page")), 1);
    EXPECT_EQ(readFile(out("page.swf")), "FWS-movie-bytes");

    // Over an existing page, and in automatic mode, nobody is asked.
    writeFile(out("page.swf"), "theirs");
    ASSERT_EQ(writeHtml(context_, out("page")), 1);
    fs::remove(out("page.htm"));
    writeFile(out("page.swf"), "theirs");
    context_.automatic = true;
    ASSERT_EQ(writeHtml(context_, out("page")), 1);
    EXPECT_EQ(ui_.shown.size(), 2u);
    EXPECT_EQ(readFile(out("page.swf")), "FWS-movie-bytes");
}

TEST_F(HtmlWriterTest, FailedWritesAreFailures) {
    const std::string flashFailed =
        "Could not save the Flash movie, please check the permissions of the destination directory and if there "
        "is enough free space to save the Flash movie.";
    const std::string htmlFailed =
        "Could not save the HTML file, please check the permissions of the destination directory and if there is "
        "enough free space to save the file.";
    // The movie cannot be copied: its folder is missing.
    ASSERT_EQ(writeHtml(context_, out("missing/page")), 0);
    ASSERT_EQ(ui_.shown.size(), 1u);
    EXPECT_EQ(ui_.shown[0].text, flashFailed);
    EXPECT_EQ(ui_.shown[0].title, "Tessaly Error");

    // The page cannot be written (a folder stands in its place): a failure,
    // not a success, and no stray file is left.
    fs::create_directories(out("page.htm"));
    fs::create_directories(out("view.htm"));
    ASSERT_EQ(writeHtml(context_, out("page")), 0);
    ASSERT_EQ(writeHtml(context_, out("view"), context_.movie.moviePath), 0);
    ASSERT_EQ(ui_.shown.size(), 3u);
    EXPECT_EQ(ui_.shown[1].text, htmlFailed);
    EXPECT_EQ(ui_.shown[1].title, "Tessaly Error");
    EXPECT_EQ(ui_.shown[1].icon, MessageIcon::warning);
    EXPECT_EQ(std::distance(fs::directory_iterator(root_ / "out"), fs::directory_iterator()), 3);
}

TEST_F(HtmlWriterTest, CopyingAMovieOntoItselfKeepsIt) {
    EXPECT_EQ(replaceWithCopy(context_.movie.moviePath, context_.movie.moviePath), 1);
    EXPECT_EQ(readFile(context_.movie.moviePath), "FWS-movie-bytes");
    EXPECT_EQ(replaceWithCopy((root_ / "none.swf").string(), out("x.swf")), 0);
    EXPECT_TRUE(fs::is_empty(root_ / "out"));
}

}  // namespace
}  // namespace tessaly::app
