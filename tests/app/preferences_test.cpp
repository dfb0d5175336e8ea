// Preferences in a private value store: defaults, ranges, what is written
// when, and the window placement rules without a screen.

#include "app/preferences.h"

#include <gtest/gtest.h>

#include "app_test_support.h"

#include <filesystem>

#include "platform/registry.h"

namespace tessaly::app {
namespace {

namespace fs = std::filesystem;

class PreferencesTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("tessaly-prefs-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        store = ValueStore(testing_support::emptyRegistryRoot(root));
    }
    void TearDown() override { fs::remove_all(root); }
    fs::path root;
    ValueStore store{""};
};

TEST_F(PreferencesTest, MissingDamagedAndOutOfRangeValuesTakeTheirDefaults) {
    Preferences p = loadPreferences(store);
    EXPECT_FALSE(p.window);
    EXPECT_EQ(p.ioPosX, -1);
    EXPECT_EQ(p.startMode, 2);
    EXPECT_EQ(p.closeSave, 1);
    EXPECT_EQ(p.encodingPriority, 0);
    EXPECT_EQ(p.htmlTemplate, "Full Window.htm");
    EXPECT_TRUE(p.showFlashPopup);
    EXPECT_EQ(p.flashAlign, kFlashAlignTop);  // no stored alignment: the movie sits at the top
    EXPECT_FALSE(p.lastSaveFilename);

    ASSERT_EQ(store.writeDword("PrinterStartMode", 7), kRegistryOk);
    ASSERT_EQ(store.writeDword("PrinterEncodingPriority", uint32_t(-3)), kRegistryOk);
    ASSERT_EQ(store.writeString("PrinterCloseSave", u"2"), kRegistryOk);  // the wrong type
    ASSERT_EQ(store.writeDword("PrinterLastPosX", 10), kRegistryOk);      // three of four window values
    ASSERT_EQ(store.writeDword("PrinterLastPosY", 10), kRegistryOk);
    ASSERT_EQ(store.writeDword("PrinterLastWidth", 300), kRegistryOk);
    p = loadPreferences(store);
    EXPECT_EQ(p.startMode, 2);
    EXPECT_EQ(p.encodingPriority, 0);
    EXPECT_EQ(p.closeSave, 1);
    EXPECT_FALSE(p.window);
}

TEST_F(PreferencesTest, StoredValuesComeBackAndTheWindowOnlyWhenNormal) {
    Preferences p;
    p.window = WindowRect{-20, 40, 640, 480};
    p.ioPosX = -5;
    p.ioPosY = 30;
    p.startMode = 1;          // "Minimized until Done"
    p.encodingPriority = -2;  // "Very Low"
    p.closeSave = 2;
    p.htmlTemplate = "/srv/templates/Plain.htm";
    p.showFlashPopup = false;
    p.flashAlign = kFlashAlignBottom;
    p.lastSaveFilename = "/home/u/report.swf";

    // Maximised, without the options dialog: no rectangle, no dialog position.
    storePreferences(store, p, WindowShowState{true, false});
    Preferences back = loadPreferences(store);
    EXPECT_FALSE(back.window);
    EXPECT_EQ(back.ioPosX, -1);
    EXPECT_EQ(back.startMode, 1);
    EXPECT_EQ(back.encodingPriority, -2);
    EXPECT_EQ(back.closeSave, 2);
    EXPECT_EQ(back.htmlTemplate, p.htmlTemplate);
    EXPECT_FALSE(back.showFlashPopup);
    EXPECT_EQ(back.flashAlign, kFlashAlignBottom);
    EXPECT_EQ(back.lastSaveFilename, p.lastSaveFilename);

    storePreferences(store, p, WindowShowState{false, true});
    back = loadPreferences(store);
    EXPECT_EQ(back.window, p.window);  // negative coordinates survive the 32-bit store
    EXPECT_EQ(back.ioPosX, 0);
    EXPECT_EQ(back.ioPosY, 30);
}

TEST(WindowPlacement, FitsTheScreenAndCascadesPastOtherInstances) {
    EXPECT_EQ(placeWindow({300, 200, 5000, 5000}, 1920, 1040, 1920, 1080), (WindowRect{0, 40, 1920, 1040}));
    EXPECT_EQ(placeWindow({100, 100, 5000, 5000}, 1920, 1080, 1920, 1080), (WindowRect{0, 0, 1920, 1080}));
    EXPECT_EQ(placeWindow({-50, 10, 400, 300}, 1920, 1040, 1920, 1080), (WindowRect{1, 10, 400, 300}));
    EXPECT_EQ(placeWindow({1800, 900, 400, 300}, 1920, 1040, 1920, 1080), (WindowRect{1520, 780, 400, 300}));

    const WindowPoint start{100, 100};
    EXPECT_EQ(cascadeWindow(start, {}, 1080), start);
    EXPECT_EQ(cascadeWindow(start, {{100, 100}}, 1080), (WindowPoint{82, 118}));
    EXPECT_EQ(cascadeWindow(start, {{100, 100}, {82, 118}}, 1080), (WindowPoint{64, 136}));
    EXPECT_EQ(cascadeWindow(start, {{110, 90}}, 1080), (WindowPoint{82, 118}));  // closer than 18 both ways
    EXPECT_EQ(cascadeWindow(start, {{100, 118}}, 1080), start);                  // 18 apart is not covering
    // Off the screen: the current corner stays.
    EXPECT_EQ(cascadeWindow({10, 100}, {{10, 100}}, 1080), (WindowPoint{10, 100}));
    EXPECT_EQ(cascadeWindow({100, 1050}, {{100, 1050}}, 1080), (WindowPoint{100, 1050}));

    Preferences p;
    p.startMode = 3;
    EXPECT_EQ(startShow(p, false), StartShow::asPlaced);
    EXPECT_EQ(startShow(p, true), StartShow::maximized);
    p.startMode = 1;
    EXPECT_EQ(startShow(p, true), StartShow::minimized);
}

}  // namespace
}  // namespace tessaly::app
