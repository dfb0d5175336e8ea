// Movies saved into a folder under names made from untrusted titles, and the
// scripted answers of the headless user interface.

#include "app/folder_output.h"

#include <gtest/gtest.h>

#include "app_test_support.h"

#include <filesystem>
#include <fstream>

#include "app/headless_ui.h"

namespace tessaly::app {
namespace {

namespace fs = std::filesystem;

TEST(FolderOutput, NamesFromTitlesStayInsideTheFolder) {
    EXPECT_EQ(movieNameForTitle("Quarterly report.PDF"), "Quarterly report");
    EXPECT_EQ(movieNameForTitle("notes.v2"), "notes.v2");
    EXPECT_EQ(movieNameForTitle("../../etc/passwd"), "_.._etc_passwd");
    EXPECT_EQ(movieNameForTitle("..\\boot.ini"), "_boot.ini");
    EXPECT_EQ(movieNameForTitle(".."), "Untitled");
    EXPECT_EQ(movieNameForTitle(" . "), "Untitled");
    EXPECT_EQ(movieNameForTitle(""), "Untitled");
    EXPECT_EQ(movieNameForTitle("a\nb\x7f"), "a_b_");
    // Cut to 200 bytes, never inside a character.
    std::string longTitle(199, 'x');
    longTitle += "\xC3\xA9\xC3\xA9";
    EXPECT_EQ(movieNameForTitle(longTitle), std::string(199, 'x'));
}

TEST(FolderOutput, SavedNamesAreUniqueAndNothingIsReplaced) {
    const fs::path dir = fs::temp_directory_path() / ("tessaly_folder_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path movie = dir / "movie.swf";
    std::ofstream(movie, std::ios::binary) << "FWS movie bytes";
    const fs::path folder = dir / "out" / "nested";
    std::string first, second, third;
    ASSERT_EQ(saveMovieToFolder(movie.string(), folder.string(), "Report.pdf", &first), 1);
    ASSERT_EQ(saveMovieToFolder(movie.string(), folder.string() + "/", "Report", &second), 1);
#ifndef _WIN32
    // A link where the next name would be is passed over, not followed.
    fs::create_symlink(dir / "victim", folder / "Report (3).swf");
#else
    // (Making links takes a privilege there: a file of that name stands in.)
    std::ofstream(folder / "Report (3).swf") << "kept";
#endif
    ASSERT_EQ(saveMovieToFolder(movie.string(), folder.string(), "Report", &third), 1);
    EXPECT_EQ(fs::path(first).filename(), "Report.swf");
    EXPECT_EQ(fs::path(second).filename(), "Report (2).swf");
    EXPECT_EQ(fs::path(third).filename(), "Report (4).swf");
    EXPECT_FALSE(fs::exists(dir / "victim"));
    {
        std::ifstream in(third, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "FWS movie bytes");
    }
    std::string none;
    EXPECT_EQ(saveMovieToFolder((dir / "missing.swf").string(), folder.string(), "x", &none), 0);
    EXPECT_FALSE(fs::exists(folder / "x.swf"));
    fs::remove_all(dir);
}

TEST(HeadlessUi, ScriptedAnswersAndRecords) {
    HeadlessUserInterface ui;
    ui.scriptAnswers({MessageAnswer::ok, MessageAnswer::yes});
    // An answer the box does not offer counts as closing it.
    EXPECT_EQ(ui.messageBox({"q", "t", MessageIcon::warning, MessageButtons::yesNoCancel}), MessageAnswer::cancel);
    EXPECT_EQ(ui.messageBox({"q", "t", MessageIcon::warning, MessageButtons::yesNo}), MessageAnswer::yes);
    EXPECT_EQ(ui.messageBox({"q", "t", MessageIcon::warning, MessageButtons::yesNo}), MessageAnswer::no);
    ASSERT_EQ(ui.messages().size(), 3u);
    EXPECT_EQ(ui.messages()[1].answer, MessageAnswer::yes);
    ui.scriptSavePaths({"/tmp/a.swf"});
    EXPECT_EQ(ui.saveFileName("Save", "", ""), "/tmp/a.swf");
    EXPECT_EQ(ui.saveFileName("Save", "", ""), std::nullopt);
    EXPECT_EQ(ui.saveDialogs().size(), 2u);
}

}  // namespace
}  // namespace tessaly::app
