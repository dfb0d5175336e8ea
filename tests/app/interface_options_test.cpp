// The Interface Options dialog's logic over real interface settings: the
// list, the value shown, committing edits (and refusing them), Apply and the
// factory options read from a real installation folder.

#include "app/interface_options.h"

#include <gtest/gtest.h>

#include "app_test_support.h"

#include <filesystem>
#include <fstream>

#include "app/headless_ui.h"

namespace tessaly::app {
namespace {

namespace fs = std::filesystem;

InterfaceParam param(std::string name, std::optional<std::string> value, int type,
                     std::optional<std::string> options = std::nullopt,
                     std::optional<std::string> description = std::nullopt) {
    InterfaceParam p;
    p.varName = name;
    p.name = std::move(name);
    p.value = std::move(value);
    p.type = type;
    p.options = std::move(options);
    p.description = std::move(description);
    return p;
}

class Options : public testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("tessaly_ioptions_" + std::to_string(::getpid()) + "_" +
                                            testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "interface" / "default");
        std::ofstream(root / "interface" / "Tiny.swf") << "FWS";
        settings.setBaseDirectory(root.string());
        InterfaceSettings& i = settings.interfaceSettings;
        i.name = "Tiny";
        i.description = "A tiny interface";
        i.params.push_back(
            param("Colour", "slate", kParamString, "Slate=#3B4A5C|Wine=#6B2737|Sand", "The colour of the toolbar"));
        i.params.push_back(param("skin", "1", kParamString | kParamHidden));
        i.params.push_back(param("Title", "Untitled", kParamString, std::nullopt, "Text for the title bar"));
        i.params.push_back(param("Initial page", "1", kParamNumber));
        i.params.push_back(param("Zoom", "Half", kParamNumber, "Fit=0|Half=50|Full=100"));
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    InterfaceOptions make() {
        return InterfaceOptions(ui, settings, [this] {
            rebuiltWith.push_back(settings.interfaceSettings.params[0].value.value_or(""));
            return rebuildResult;
        });
    }
    void writeDefault(std::string_view text) {
        std::ofstream(root / "interface" / "default" / "Tiny.interface") << text;
    }
    const std::string& value(size_t index) { return *settings.interfaceSettings.params[index].value; }

    fs::path root;
    JobSettings settings;
    HeadlessUserInterface ui;
    std::vector<std::string> rebuiltWith;
    int rebuildResult = 1;
};

TEST(InterfaceOptionTexts, TitlesAndShownOptions) {
    EXPECT_EQ(interfaceOptionsTitle("Viewer"), "Interface Options: Viewer");
    EXPECT_EQ(aboutInterfaceTitle("Viewer"), "About Interface Viewer");
    EXPECT_EQ(shownOptions("Slate=#3B4A5C|yes|Light grey=#C8CCD2|"),
              (std::vector<std::string>{"Slate", "yes", "Light grey", ""}));
    EXPECT_EQ(shownOptions("=x|a=b=c"), (std::vector<std::string>{"", "a"}));
    const std::vector<std::string> shown = {"Fit page", "Fit width", "100%"};
    EXPECT_EQ(matchingOption(shown, "FIT WIDTH"), 1);
    EXPECT_EQ(matchingOption(shown, "Fit"), -1);
    EXPECT_EQ(matchingOption(shown, "width"), -1);
}

TEST_F(Options, TheListShowsTheVisibleParametersAndTheValueOfTheSelectedOne) {
    InterfaceOptions o = make();
    EXPECT_EQ(o.title(), "Interface Options: Tiny");
    EXPECT_TRUE(o.hasOptions());
    EXPECT_EQ(o.listEntries(), (std::vector<std::string>{"Colour", "Title", "Initial page", "Zoom"}));
    EXPECT_EQ(o.selection(), 0);
    // A drop-down with the entries up to "=", the value matched ignoring case.
    InterfaceOptions::ValueView v = o.valueView();
    EXPECT_TRUE(v.dropDown);
    EXPECT_EQ(v.entries, (std::vector<std::string>{"Slate", "Wine", "Sand"}));
    EXPECT_EQ(v.current, 0);
    EXPECT_EQ(v.description, "The colour of the toolbar");
    // List row 1 is the third parameter: the hidden one is not counted.
    EXPECT_EQ(o.select(1), InterfaceOptions::Outcome::ok);
    v = o.valueView();
    EXPECT_FALSE(v.dropDown);
    EXPECT_EQ(v.text, "Untitled");
    EXPECT_EQ(v.description, "Text for the title bar");
    EXPECT_EQ(o.select(2), InterfaceOptions::Outcome::ok);
    EXPECT_EQ(o.valueView().description, "");
    // A value that is no entry selects none.
    settings.interfaceSettings.params[4].value = "Huge";
    EXPECT_EQ(o.select(3), InterfaceOptions::Outcome::ok);
    EXPECT_EQ(o.valueView().current, -1);
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(Options, AnInterfaceWithoutVisibleParametersOffersNone) {
    settings.interfaceSettings.params = {param("skin", "1", kParamString | kParamHidden)};
    InterfaceOptions o = make();
    EXPECT_FALSE(o.hasOptions());
    EXPECT_EQ(o.listEntries(), (std::vector<std::string>{"No options available..."}));
    EXPECT_EQ(o.selection(), -1);
    const InterfaceOptions::ValueView v = o.valueView();
    EXPECT_FALSE(v.dropDown);
    EXPECT_EQ(v.text, "");
    EXPECT_EQ(v.description, "");
    o.editText("x");
    EXPECT_FALSE(o.changed());
    EXPECT_EQ(o.select(0), InterfaceOptions::Outcome::ok);
    EXPECT_EQ(value(0), "1");
}

TEST_F(Options, EditsAreCommittedWhenTheSelectionMoves) {
    InterfaceOptions o = make();
    o.chooseEntry(1);
    EXPECT_TRUE(o.changed());
    EXPECT_EQ(o.valueView().current, 1);
    EXPECT_EQ(value(0), "slate");  // not yet
    EXPECT_EQ(o.select(1), InterfaceOptions::Outcome::ok);
    EXPECT_EQ(value(0), "Wine");  // the shown text is what is stored
    EXPECT_FALSE(o.changed());
    o.editText("Quarterly report");
    EXPECT_EQ(o.valueView().text, "Quarterly report");
    EXPECT_EQ(o.select(2), InterfaceOptions::Outcome::ok);
    EXPECT_EQ(value(2), "Quarterly report");
    // A number takes a comma for its decimal point.
    o.editText("2,5");
    EXPECT_EQ(o.select(0), InterfaceOptions::Outcome::ok);
    EXPECT_EQ(value(3), "2.5");
    // Moving without an edit changes nothing.
    EXPECT_EQ(o.select(3), InterfaceOptions::Outcome::ok);
    EXPECT_EQ(value(4), "Half");
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_TRUE(rebuiltWith.empty());
}

TEST_F(Options, LettersInANumberKeepTheSelectionOnTheEditedParameter) {
    InterfaceOptions o = make();
    ASSERT_EQ(o.select(2), InterfaceOptions::Outcome::ok);
    o.editText("twelve");
    EXPECT_EQ(o.select(0), InterfaceOptions::Outcome::invalidNumber);
    EXPECT_EQ(o.selection(), 2);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "Please enter a valid number on the Interface Option value field.");
    EXPECT_EQ(ui.messages()[0].title, "Invalid Interface Option Value");
    EXPECT_EQ(value(3), "1");
    // The edit stays to be put right; Apply refuses it the same way and
    // rebuilds nothing.
    EXPECT_EQ(o.valueView().text, "twelve");
    EXPECT_EQ(o.apply(), InterfaceOptions::Outcome::invalidNumber);
    EXPECT_EQ(ui.messages().size(), 2u);
    EXPECT_TRUE(rebuiltWith.empty());
    o.editText("12");
    EXPECT_EQ(o.select(0), InterfaceOptions::Outcome::ok);
    EXPECT_EQ(value(3), "12");
    EXPECT_EQ(o.selection(), 0);
}

TEST_F(Options, ARefusedTextIsDroppedWithoutAMessage) {
    InterfaceOptions o = make();
    // Colour only takes its listed entries.
    o.editText("Purple");
    EXPECT_EQ(o.select(1), InterfaceOptions::Outcome::ok);
    EXPECT_EQ(o.selection(), 1);
    EXPECT_EQ(value(0), "slate");
    EXPECT_TRUE(ui.messages().empty());
    // Shown again, it has its old value.
    EXPECT_EQ(o.select(0), InterfaceOptions::Outcome::ok);
    EXPECT_EQ(o.valueView().current, 0);
}

TEST_F(Options, ApplyCommitsThenRebuildsTheMovie) {
    InterfaceOptions o = make();
    o.chooseEntry(2);
    EXPECT_EQ(o.apply(), InterfaceOptions::Outcome::ok);
    EXPECT_EQ(rebuiltWith, (std::vector<std::string>{"Sand"}));
    EXPECT_FALSE(o.changed());
    EXPECT_EQ(o.selection(), 0);
    // Apply without an edit rebuilds as it is.
    EXPECT_EQ(o.apply(), InterfaceOptions::Outcome::ok);
    EXPECT_EQ(rebuiltWith.size(), 2u);
    EXPECT_TRUE(ui.messages().empty());
    // A movie that cannot be rebuilt is said so.
    rebuildResult = 0;
    EXPECT_EQ(o.apply(), InterfaceOptions::Outcome::failed);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, "Tessaly Error");
}

TEST_F(Options, FactoryDefaultsAreOfferedOnlyWhenTheInterfaceHasThem) {
    InterfaceOptions o = make();
    EXPECT_FALSE(o.factoryDefaultsEnabled());
    EXPECT_EQ(o.restoreFactoryDefaults(), 0);
    EXPECT_TRUE(ui.messages().empty());

    writeDefault(R"(<Interface src="Tiny.swf" name="Tiny" description="A tiny interface">
  <Param name="Colour" value="Wine" type="string" options="Slate=#3B4A5C|Wine=#6B2737|Sand"/>
  <Param name="Title" value="Untitled" type="string"/>
</Interface>)");
    EXPECT_TRUE(o.factoryDefaultsEnabled());
    ASSERT_EQ(o.select(1), InterfaceOptions::Outcome::ok);
    // No keeps everything.
    ui.scriptAnswers({MessageAnswer::no});
    EXPECT_EQ(o.restoreFactoryDefaults(), 0);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text,
              "Are you sure you want to restore the original factory options for this interface?");
    EXPECT_EQ(ui.messages()[0].title, "Restore Factory Default Options");
    EXPECT_EQ(ui.messages()[0].buttons, MessageButtons::yesNo);
    EXPECT_EQ(settings.interfaceSettings.params.size(), 5u);
    // Yes restores them and shows the list afresh.
    ui.scriptAnswers({MessageAnswer::yes});
    EXPECT_EQ(o.restoreFactoryDefaults(), 1);
    EXPECT_EQ(o.listEntries(), (std::vector<std::string>{"Colour", "Title"}));
    EXPECT_EQ(o.selection(), 0);
    EXPECT_EQ(o.valueView().current, 1);
    EXPECT_EQ(ui.messages().size(), 2u);
}

TEST_F(Options, ACorruptFactoryFileIsSaidAndChangesNothing) {
    writeDefault("<Interface name=\"Tiny\">");  // no src
    InterfaceOptions o = make();
    ASSERT_TRUE(o.factoryDefaultsEnabled());
    ui.scriptAnswers({MessageAnswer::yes});
    EXPECT_EQ(o.restoreFactoryDefaults(), 0);
    ASSERT_EQ(ui.messages().size(), 2u);
    EXPECT_EQ(
        ui.messages()[1].text,
        "Could not restore the original factory options for this interface.\nThe default options file is corrupt");
    EXPECT_EQ(ui.messages()[1].title, "Error Restoring Default Factory Options");
    EXPECT_EQ(settings.interfaceSettings.params.size(), 5u);
    EXPECT_EQ(o.listEntries().size(), 4u);
}

TEST_F(Options, AnInterfaceNameFromAJobFindsNoFactoryFileOutsideTheFolder) {
    // A job names its interface; the name must not lead out of the folder of
    // factory files.
    fs::create_directories(root / "interface" / "other");
    std::ofstream(root / "interface" / "other" / "x.interface") << "<Interface src=\"../Tiny.swf\" name=\"x\"/>";
    settings.interfaceSettings.name = "../other/x";
    InterfaceOptions o = make();
    EXPECT_FALSE(o.factoryDefaultsEnabled());
    ui.scriptAnswers({MessageAnswer::yes});
    EXPECT_EQ(o.restoreFactoryDefaults(), 0);
    EXPECT_EQ(settings.interfaceSettings.name, "../other/x");
    EXPECT_TRUE(ui.messages().empty());
}

}  // namespace
}  // namespace tessaly::app
