// The player page and the menu texts the window builds.

#include <gtest/gtest.h>

#include "app_test_support.h"

#include <filesystem>
#include <fstream>
#include <string>

#include "app/player_page.h"

namespace fs = std::filesystem;
using namespace tessaly::app;

TEST(PlayerPage, TextsCannotLeaveTheirScriptString) {
    EXPECT_EQ(javaScriptString("plain"), "\"plain\"");
    EXPECT_EQ(javaScriptString("a\"b\\c\nd"), "\"a\\\"b\\\\c\\nd\"");
    // A movie path or a page text that holds a closing tag stays in the string.
    const std::string hostile = javaScriptString("</script><script>alert(1)</script>");
    EXPECT_EQ(hostile.find('<'), std::string::npos);
    EXPECT_EQ(hostile.find('>'), std::string::npos);
    EXPECT_EQ(javaScriptString(std::string("\x01\x1f", 2)), "\"\\x01\\x1F\"");
    // UTF-8 passes unchanged.
    EXPECT_EQ(javaScriptString("Seite 2 \xc3\xa4"), "\"Seite 2 \xc3\xa4\"");

    EXPECT_EQ(setVariableScript("Text", "Receiving Page 3..."), "tessalySet(\"Text\", \"Receiving Page 3...\");");
    EXPECT_EQ(setVariableScript("Text", "\");x(\""), "tessalySet(\"Text\", \"\\\");x(\\\"\");");
}

TEST(PlayerPage, CarriesBackgroundAlignmentAndMenu) {
    const std::string host = playerPageHtml("tessaly://app/ruffle/ruffle.js");
    EXPECT_NE(host.find("<script src=\"tessaly://app/ruffle/ruffle.js\""), std::string::npos);
    // The page says when the player can start, and when it cannot.
    EXPECT_NE(host.find("tessalyPost(0, window.RufflePlayer.newest ? 'host'"), std::string::npos);
    EXPECT_NE(host.find("onerror=\"tessalyPost(0, 'host-failed:"), std::string::npos);

    PlayerPage page;
    page.movieUrl = "tessaly://app/movie/3.swf";
    page.background = 0x12AB0F;
    page.align = 2;
    page.contextMenu = false;
    page.generation = 41;
    const std::string load = loadMovieScript(page);
    // Every message names the movie, so that a replaced one is not heard.
    EXPECT_EQ(load.rfind("tessalyLoad(41, \"tessaly://app/movie/3.swf\", {", 0), 0u) << load;
    EXPECT_NE(load.find("backgroundColor: \"#12AB0F\""), std::string::npos);
    EXPECT_NE(load.find("salign: \"B\""), std::string::npos);
    EXPECT_NE(load.find("contextMenu: 'off'"), std::string::npos);
    // The progress movies' callback needs script access.
    EXPECT_NE(load.find("allowScriptAccess: true"), std::string::npos);

    page.align = 1;
    page.background = 0xFFFFFFFF;  // only the colour bits count
    EXPECT_NE(loadMovieScript(page).find("salign: \"T\""), std::string::npos);
    EXPECT_NE(loadMovieScript(page).find("#FFFFFF\""), std::string::npos);
    page.align = 0;
    EXPECT_NE(loadMovieScript(page).find("salign: \"\""), std::string::npos);
    // A hostile movie address stays inside its string.
    page.movieUrl = "x\"); alert(1); (\"";
    EXPECT_NE(loadMovieScript(page).find("\"x\\\"); alert(1); (\\\"\""), std::string::npos) << loadMovieScript(page);
}

TEST(MenuTexts, MnemonicsAndAccelerators) {
    const MenuText save = menuText("&Save...\tCtrl+S");
    EXPECT_EQ(save.label, "_Save...");
    EXPECT_EQ(save.accelerator, "Ctrl+S");
    EXPECT_EQ(menuText("E&xit").label, "E_xit");
    EXPECT_EQ(menuText("E&xit").accelerator, "");
    EXPECT_EQ(menuText("Tessaly Printing &Tips").label, "Tessaly Printing _Tips");
    // A literal ampersand and an underscore keep their look.
    EXPECT_EQ(menuText("Fish && Chips_2").label, "Fish & Chips__2");
    EXPECT_EQ(menuText("&Contents\tF1").accelerator, "F1");
}

TEST(MenuTexts, TemplatesInOrdinalOrderAtMostSixty) {
    const fs::path dir = fs::temp_directory_path() / ("tessaly_templates_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "folder.htm");
    for (const char* name : {"B.htm", "a.htm", "Note.txt", "c.html", ".htm"}) std::ofstream(dir / name) << "x";
    EXPECT_EQ(templateNames(dir.string()), (std::vector<std::string>{"B", "a"}));

    for (int i = 0; i < 70; ++i) std::ofstream(dir / ("t" + std::to_string(100 + i) + ".htm")) << "x";
    const std::vector<std::string> many = templateNames(dir.string());
    ASSERT_EQ(many.size(), 60u);
    EXPECT_EQ(many.front(), "B");
    EXPECT_EQ(many.back(), "t157");

    EXPECT_TRUE(templateNames((dir / "missing").string()).empty());
    fs::remove_all(dir);
}
