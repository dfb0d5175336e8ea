// The Customize dialog's rules: list positions and stored values, the value
// a chosen template is kept as, where the chooser starts, and the template
// check on OK, on real files.

#include "app/customize.h"

#include <gtest/gtest.h>

#include "app_test_support.h"

#include <filesystem>
#include <fstream>

#include "app/headless_ui.h"

namespace tessaly::app {
namespace {

namespace fs = std::filesystem;

TEST(CustomizeChoices, ListPositionsMapToStoredValues) {
    Preferences p;
    CustomizeChoices c = customizeChoices(p);
    // The defaults: show popup, top, normal, normal priority, prompt with Save Flash.
    EXPECT_EQ(c, (CustomizeChoices{std::string(kDefaultHtmlTemplate), 1, 1, 1, 0, 1}));

    c.startMode = 2;         // "Minimized until Done"
    c.encodingPriority = 2;  // "Very Low"
    c.flashPopup = 0;        // "Hide Flash Popup"
    c.flashAlign = 2;        // "Bottom"
    c.promptOnClose = 0;     // "Don't Prompt for Saving"
    c.htmlTemplate = "Centered.htm";
    applyCustomizeChoices(c, p);
    EXPECT_EQ(p.startMode, 1);
    EXPECT_EQ(p.encodingPriority, -2);
    EXPECT_FALSE(p.showFlashPopup);
    EXPECT_EQ(p.flashAlign, kFlashAlignBottom);
    EXPECT_EQ(p.closeSave, 0);
    EXPECT_EQ(p.htmlTemplate, "Centered.htm");

    // Every stored value comes back at the position it was shown at.
    for (int mode = 0; mode <= 3; ++mode) {
        Preferences q;
        q.startMode = mode;
        const CustomizeChoices shown = customizeChoices(q);
        EXPECT_EQ(kStartModeChoices[static_cast<size_t>(shown.startMode)],
                  (std::array<std::string_view, 4>{"Minimized", "Minimized until Done", "Normal",
                                                   "Maximized"}[static_cast<size_t>(mode)]));
        Preferences back;
        applyCustomizeChoices(shown, back);
        EXPECT_EQ(back.startMode, mode);
    }
    Preferences low;
    low.encodingPriority = -1;
    EXPECT_EQ(kEncodingPriorityChoices[static_cast<size_t>(customizeChoices(low).encodingPriority)], "Low");

    // A position outside its list (nothing chosen) changes nothing.
    Preferences kept;
    kept.startMode = 3;
    CustomizeChoices none = customizeChoices(kept);
    none.startMode = -1;
    none.encodingPriority = 3;
    none.flashAlign = 7;
    applyCustomizeChoices(none, kept);
    EXPECT_EQ(kept.startMode, 3);
    EXPECT_EQ(kept.encodingPriority, 0);
    EXPECT_EQ(kept.flashAlign, kFlashAlignTop);
}

class TemplateFiles : public testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("tessaly_customize_" + std::to_string(::getpid()) + "_" +
                                            testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "base" / "HTML Template" / "more");
        fs::create_directories(root / "elsewhere");
        base = (root / "base").string() + "/";
        write(root / "base" / "HTML Template" / "Good.htm", "<html>{flashmovie}</html>");
        write(root / "base" / "HTML Template" / "Plain.htm", "<html>no movie here</html>");
        write(root / "base" / "HTML Template" / "more" / "Deep.htm", "{FlashMovie}");
        write(root / "elsewhere" / "Mine.html", "<embed src=\"{FlashMovie}\">");
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    static void write(const fs::path& path, std::string_view text) { std::ofstream(path) << text; }

    fs::path root;
    std::string base;
    HeadlessUserInterface ui;
};

TEST_F(TemplateFiles, AChosenFileKeepsItsNameOnlyInsideTheTemplateFolder) {
    EXPECT_EQ(templateValueForFile(base, base + "HTML Template/Good.htm"), "Good.htm");
    // Slashes either way, doubled or not.
    std::string backslashed = base + "HTML Template\\Good.htm";
    EXPECT_EQ(templateValueForFile(base, backslashed), "Good.htm");
    EXPECT_EQ(templateValueForFile(base.substr(0, base.size() - 1), base + "/HTML Template//Good.htm"), "Good.htm");
    // Elsewhere, and in a folder below the template folder, the full path.
    const std::string mine = (root / "elsewhere" / "Mine.html").string();
    EXPECT_EQ(templateValueForFile(base, mine), mine);
    const std::string deep = base + "HTML Template/more/Deep.htm";
    EXPECT_EQ(templateValueForFile(base, deep), deep);
}

TEST_F(TemplateFiles, AFolderThatDiffersInCaseKeepsTheFullPathWhenItIsAnotherFolder) {
    // On this file system "html template" is a folder of its own: the bare
    // name would later find the other folder's file.
    fs::create_directories(root / "base" / "html template");
    const std::string other = base + "html template/Good.htm";
    write(other, "{FlashMovie} other");
#ifdef _WIN32
    // Names that differ in case only name the same folder there.
    EXPECT_EQ(templateValueForFile(base, other), "Good.htm");
#else
    EXPECT_EQ(templateValueForFile(base, other), other);
    // Where the names differ in case only but the file is the same one (as on
    // a file system that ignores case), the name is enough: a link stands in.
    fs::remove_all(root / "base" / "html template");
    fs::create_directory_symlink(root / "base" / "HTML Template", root / "base" / "html template");
    EXPECT_EQ(templateValueForFile(base, other), "Good.htm");
#endif
}

TEST_F(TemplateFiles, TheChooserStartsInTheCurrentTemplatesFolder) {
    EXPECT_EQ(templateChooserFolder(base, "Full Window.htm"), base + "HTML Template/");
    EXPECT_EQ(templateChooserFolder(base, ""), base + "HTML Template/");
    EXPECT_EQ(templateChooserFolder(base, "/srv/pages/t.htm"), "/srv/pages/");
    EXPECT_EQ(templateChooserFolder(base, "more/Deep.htm"), base + "HTML Template/more/");
}

TEST_F(TemplateFiles, OkChecksTheTemplateAndSaysWhatIsWrong) {
    EXPECT_EQ(confirmHtmlTemplate(ui, base, "Good.htm"), 1);
    EXPECT_EQ(confirmHtmlTemplate(ui, base, (root / "elsewhere" / "Mine.html").string()), 1);
    EXPECT_TRUE(ui.messages().empty());

    EXPECT_EQ(confirmHtmlTemplate(ui, base, "Missing.htm"), 0);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "The HTML Template File was not found");
    EXPECT_EQ(ui.messages()[0].title, "HTML Template Not Found");

    EXPECT_EQ(confirmHtmlTemplate(ui, base, "Plain.htm"), 0);
    ASSERT_EQ(ui.messages().size(), 2u);
    EXPECT_EQ(ui.messages()[1].text,
              "The HTML Template File doesn't seem to be a valid template.\n"
              "Please see the included Help to learn how to create an HTML template.");
    EXPECT_EQ(ui.messages()[1].title, "Invalid HTML Template File");
    EXPECT_EQ(ui.messages()[1].icon, MessageIcon::warning);

    // An empty field, or one naming a folder, names no template file.
    EXPECT_EQ(checkHtmlTemplate(base, ""), TemplateCheck::notFound);
    EXPECT_EQ(checkHtmlTemplate(base, "more"), TemplateCheck::notFound);
    EXPECT_EQ(checkHtmlTemplate(base, "more/Deep.htm"), TemplateCheck::ok);
}

TEST_F(TemplateFiles, AChosenFileMustBeATemplate) {
    EXPECT_EQ(acceptChosenTemplate(ui, base, base + "HTML Template/Good.htm"), std::optional<std::string>("Good.htm"));
    const std::string mine = (root / "elsewhere" / "Mine.html").string();
    EXPECT_EQ(acceptChosenTemplate(ui, base, mine), std::optional<std::string>(mine));
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_EQ(acceptChosenTemplate(ui, base, base + "HTML Template/Plain.htm"), std::nullopt);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, "Invalid HTML Template File");
}

TEST(AboutText, NamesTheProductAndItsVersion) {
    const std::string text = aboutText();
    EXPECT_EQ(text.rfind("Tessaly ", 0), 0u) << text;
    EXPECT_NE(text.find('.'), std::string::npos) << text;
}

}  // namespace
}  // namespace tessaly::app
