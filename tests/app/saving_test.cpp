// Saving a movie through the save dialogs of the headless interface: the
// file names chosen, the folder the dialogs start in, the last file
// remembered, and the failures.

#include "app/saving.h"

#include <gtest/gtest.h>

#include "app_test_support.h"

#include <filesystem>
#include <fstream>

#include "app/headless_ui.h"
#include "app/preferences.h"
#include "platform/registry.h"

namespace tessaly::app {
namespace {

namespace fs = std::filesystem;

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class Saving : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("tessaly_saving_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "base" / "HTML Template");
        fs::create_directories(dir / "out");
        std::ofstream(dir / "base" / "HTML Template" / "Full Window.htm") << "<embed src=\"{FlashMovie}\">";
        std::ofstream(dir / "movie.swf", std::ios::binary) << "FWS-movie";
        movie.moviePath = (dir / "movie.swf").string();
        movie.docWidth = 612.5;
        movie.docHeight = 792;
        store = ValueStore(testing_support::emptyRegistryRoot(dir / "reg"));
    }
    void TearDown() override { fs::remove_all(dir); }
    SaveContext context() { return SaveContext{ui, (dir / "base").string() + "/", movie, preferences}; }

    fs::path dir;
    HeadlessUserInterface ui;
    MovieFacts movie;
    SavePreferences preferences;
    ValueStore store{""};
};

TEST(SaveNames, FlashNameGetsItsEndingOnce) {
    EXPECT_EQ(flashFileName("/d/report"), "/d/report.swf");
    EXPECT_EQ(flashFileName("/d/report.SWF"), "/d/report.SWF");
    EXPECT_EQ(flashFileName("/d/report.swf.txt"), "/d/report.swf.txt.swf");
    SavePreferences p;
    EXPECT_EQ(initialSaveFolder(p, "/opt/tessaly/"), "/opt/tessaly/");
    p.lastSaveFilename = "/home/u/docs/a.swf";
    EXPECT_EQ(initialSaveFolder(p, "/opt/tessaly/"), "/home/u/docs/");
}

TEST_F(Saving, FlashIsCopiedUnderTheChosenNameAndRemembered) {
    ui.scriptSavePaths({(dir / "out" / "report").string(), (dir / "out" / "other.SWF").string()});
    SaveContext c = context();
    ASSERT_EQ(saveFlash(c, &store), 1);
    EXPECT_EQ(readText(dir / "out" / "report.swf"), "FWS-movie");
    EXPECT_EQ(ui.saveDialogs().back(), "Save Flash");
    Preferences back = loadPreferences(store);
    EXPECT_EQ(back.lastSaveFilename, (dir / "out" / "report.swf").string());
    ASSERT_EQ(saveFlash(c, &store), 1);
    EXPECT_TRUE(fs::exists(dir / "out" / "other.SWF"));
    EXPECT_FALSE(fs::exists(dir / "out" / "other.SWF.swf"));
    // Cancelled: nothing happens.
    EXPECT_EQ(saveFlash(c, &store), 0);
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(Saving, FailedCopyShowsTheMessageAndIsNoSave) {
    ui.scriptSavePaths({(dir / "missing-folder" / "report").string()});
    SaveContext c = context();
    EXPECT_EQ(saveFlash(c, &store), 0);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, "Tessaly Error");
    EXPECT_EQ(ui.messages()[0].text,
              "Could not save the Flash movie, please check the permissions of the destination directory and if "
              "there is enough free space to save the Flash movie.");
    EXPECT_EQ(ui.messages()[0].icon, MessageIcon::warning);
}

TEST_F(Saving, HtmlWritesPageAndMovieAndRemembersThePage) {
    ui.scriptSavePaths({(dir / "out" / "page").string()});
    SaveContext c = context();
    ASSERT_EQ(saveHtml(c, std::nullopt, &store), 1);
    EXPECT_EQ(ui.saveDialogs().back(), "Save HTML");
    EXPECT_EQ(readText(dir / "out" / "page.htm"), "<embed src=\"page.swf\">");
    EXPECT_EQ(readText(dir / "out" / "page.swf"), "FWS-movie");
    EXPECT_EQ(loadPreferences(store).lastSaveFilename, (dir / "out" / "page.htm").string());
    // A template that is not there: its message, nothing written.
    ui.scriptSavePaths({(dir / "out" / "second").string()});
    EXPECT_EQ(saveHtml(c, "Missing.htm", &store), 0);
    EXPECT_EQ(ui.messages().back().title, "HTML Template Not Found");
    EXPECT_FALSE(fs::exists(dir / "out" / "second.htm"));
}

}  // namespace
}  // namespace tessaly::app
