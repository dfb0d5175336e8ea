#include "composer/settings.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "../platform/windows_support.h"
#include "../support/scratch_dir.h"
#include "platform/named_mutex.h"
#include "platform/registry.h"

namespace tessaly {
namespace {

using testing_support::ScratchDir;
namespace fs = std::filesystem;

constexpr const char* kViewerInterface =
    "<InterfaceSettings>\n"
    "<Interface src=\"viewer.swf\" description=\" A viewer \">\n"
    "  <Param name=\"_mechanics\" value=\"image,library,previewSupported\"/>\n"
    "  <Param name=\"zoom\" varName=\" zoomLevel \" value=\"Medium\" type=\"string\""
    " options=\"Small=10|Medium=20|Large=30\" description=\"Zoom\"/>\n"
    "  <Param name=\"speed\" value=\"2.5\" type=\"Number\"/>\n"
    "  <Param name=\"secret\" value=\"1\" type=\"hidden,number\"/>\n"
    "  <Param value=\"no name\"/>\n"
    "</Interface>\n"
    "</InterfaceSettings>\n"
    "<Param name=\"after\" value=\"ignored\"/>\n";

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.ok());
#ifdef _WIN32
        // The store is a registry key there: one of the test's own.
        ::setenv("TESSALY_REGISTRY_ROOT", key_.path().c_str(), 1);
#else
        ::setenv("TESSALY_REGISTRY_ROOT", (dir_ / "registry").c_str(), 1);
#endif
        ::setenv("TESSALY_RUNTIME_DIR", (dir_ / "run").c_str(), 1);
        base_ = dir_ / "base/";
        fs::create_directories(base_ + "interface/default");
        dir_.put("base/interface/viewer.swf", "FWS");
        settings_.setBaseDirectory(dir_ / "base");
    }
    void TearDown() override {
        ::unsetenv("TESSALY_REGISTRY_ROOT");
        ::unsetenv("TESSALY_RUNTIME_DIR");
    }

    ScratchDir dir_;
#ifdef _WIN32
    testing_support::ScratchKey key_;
#endif
    std::string base_;
    JobSettings settings_;
};

TEST(SettingsBlock, FieldsSitAtTheirByteOffsets) {
    JobSettings settings;
    ASSERT_EQ(static_cast<void*>(&settings.block()), static_cast<void*>(&settings));
    settings.mechanics = 0x0403020A;
    settings.previewImageSize = 16.0f;
    settings.sourceId = -1;
    settings.outputFlags = 0x201;
    settings.setName("doc");
    settings.setSource(u"A\u263a");
    settings.setOutputLocation(u"/out");
    settings.setInterfaceName("viewer");
    uint8_t bytes[2624];
    std::memcpy(bytes, &settings.block(), sizeof bytes);
    EXPECT_EQ(bytes[0], 'd');
    EXPECT_EQ(bytes[128], 0x0A);
    EXPECT_EQ(bytes[131], 0x04);
    uint32_t floatBits = 0;
    std::memcpy(&floatBits, &bytes[272], 4);
    EXPECT_EQ(floatBits, 0x41800000u);
    EXPECT_EQ(bytes[292], 'v');
    EXPECT_EQ(bytes[552], 'A');
    EXPECT_EQ(bytes[554], 0x3a);
    EXPECT_EQ(bytes[555], 0x26);
    EXPECT_EQ(bytes[1072], 0xFF);
    EXPECT_EQ(bytes[1076], 0x01);
    EXPECT_EQ(bytes[1077], 0x02);
    EXPECT_EQ(bytes[1080], '/');
}

TEST(Mechanics, KeywordPrecedence) {
    struct Case {
        const char* value;
        uint32_t flags;
    } cases[] = {
        {"image,vector", kMechVector},
        {"vector,image", kMechVector},
        {"library,frame", kMechFrame},
        {"library,invisible", kMechInvisible},
        {"previewList,preview", kMechPreviewList},
        {"preview,previewList", kMechPreview | kMechPreviewList},
        {"PREVIEW", kMechPreview},
        {"preview pagelist", kMechPreview | kMechPageList},
        {"previewSupported", kMechPreviewSupported},
        {"debug;nativeSize", kMechDebug | kMechNativeSize},
        {"", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        // Every one of the eleven bits is set or cleared; bits above them stay.
        EXPECT_EQ(applyMechanicsKeywords(c.value, kMechAll), c.flags);
        EXPECT_EQ(applyMechanicsKeywords(c.value, 0x1000), c.flags | 0x1000);
    }
}

TEST(Mechanics, NormalisingAndMerging) {
    EXPECT_EQ(normalizeMechanics(0, false), kMechVector | kMechFrame);
    EXPECT_EQ(normalizeMechanics(0, true), kMechVector | kMechLibrary);
    EXPECT_EQ(normalizeMechanics(kMechPreview | kMechPreviewList | kMechImage | kMechFrame, false),
              kMechImage | kMechFrame);
    EXPECT_EQ(normalizeMechanics(kMechPreviewSupported | kMechPreviewList, false),
              kMechPreviewSupported | kMechVector | kMechFrame);
    EXPECT_EQ(normalizeMechanics(kMechImage | kMechVector | kMechFrame | kMechInvisible | kMechLibrary,
                                 true),
              kMechVector | kMechFrame);

    // The interface decides content, placing and preview support when it says so.
    EXPECT_EQ(mergeMechanics(kMechVector | kMechFrame | kMechPreviewSupported | kMechDebug,
                             kMechImage | kMechLibrary),
              kMechImage | kMechLibrary | kMechDebug);
    EXPECT_EQ(mergeMechanics(kMechVector | kMechFrame, kMechPreviewSupported | kMechPageList),
              kMechVector | kMechFrame | kMechPreviewSupported | kMechPageList);
}

TEST(InterfaceParams, EffectiveValuesThroughOptions) {
    InterfaceParam p;
    std::string out;
    EXPECT_EQ(effectiveParamValue(p, out), 0);  // no value
    p.value = "Medium";
    EXPECT_EQ(effectiveParamValue(p, out), 1);
    EXPECT_EQ(out, "Medium");
    p.options = "Small=10|Medium=20|Large=30";
    EXPECT_EQ(effectiveParamValue(p, out), 1);
    EXPECT_EQ(out, "20");
    p.options = "xMedium|Medium=5";
    EXPECT_EQ(effectiveParamValue(p, out), 1);
    EXPECT_EQ(out, "5");
    p.options = "Mediums=1|MEDIUM";
    EXPECT_EQ(effectiveParamValue(p, out), 1);
    EXPECT_EQ(out, "Medium");
    p.value = "no";
    p.options = "yes|no";
    EXPECT_EQ(effectiveParamValue(p, out), 1);
    EXPECT_EQ(out, "no");
    p.value = "maybe";
    out = "kept";
    EXPECT_EQ(effectiveParamValue(p, out), 0);
    EXPECT_EQ(out, "kept");
    p.value = "";
    p.options = "a|=empty";
    EXPECT_EQ(effectiveParamValue(p, out), 1);
    EXPECT_EQ(out, "empty");
    p.value = "big";
    p.options = "big=" + std::string(1024, 'x');
    EXPECT_EQ(effectiveParamValue(p, out), 0);
}

TEST(InterfaceParams, SettingValues) {
    InterfaceParam choice;
    choice.value = "Small";
    choice.options = "Small=10|Medium=20";
    EXPECT_EQ(setParamValue(choice, "medium"), 1);
    EXPECT_EQ(choice.value, "medium");
    EXPECT_EQ(setParamValue(choice, "Huge"), 0);
    EXPECT_EQ(choice.value, "medium");

    InterfaceParam number;
    number.type = kParamNumber | kParamHidden;
    number.value = "1";
    EXPECT_EQ(setParamValue(number, "2,5"), 1);
    EXPECT_EQ(number.value, "2.5");
    EXPECT_EQ(setParamValue(number, "2e5"), 0);
    EXPECT_EQ(setParamValue(number, ""), 0);
    EXPECT_EQ(number.value, "2.5");

    InterfaceParam valueless;
    EXPECT_EQ(setParamValue(valueless, "text"), 1);
    EXPECT_FALSE(valueless.value.has_value());
}

TEST_F(SettingsTest, RegistryDefaultsAndMasks) {
    ASSERT_EQ(settings_.reset(), 1);
    EXPECT_EQ(settings_.mechanics, 0x106u);
    EXPECT_EQ(settings_.imageSize, -50);
    EXPECT_EQ(settings_.imageZlib, 1);
    EXPECT_EQ(settings_.imageJpegQuality, 75);
    EXPECT_FLOAT_EQ(settings_.previewImageSize, 16.0f);
    EXPECT_EQ(settings_.previewSmoothing, 25u);
    EXPECT_EQ(settings_.previewMonochrome, 0);
    EXPECT_EQ(settings_.previewZlib, 1);
    EXPECT_EQ(settings_.previewJpegQuality, 80);
    EXPECT_EQ(settings_.layoutNameText(), "Medium border");
    EXPECT_EQ(settings_.nameText(), "");
    EXPECT_EQ(settings_.sourceId, -1);
    EXPECT_FALSE(settings_.interfaceSettings.hasSource());

    ASSERT_EQ(registryWriteDword("MSEncodeFlags", 0x7FF), kRegistryOk);
    ASSERT_EQ(registryWriteDword("MSImageSize", 40), kRegistryOk);
    ASSERT_EQ(registryWriteWideString("MSPreviewImageSize", u"12,5"), kRegistryOk);
    ASSERT_EQ(registryWriteWideString("MSLayoutName", u"Drop shadow"), kRegistryOk);
    settings_.setSource(u"old");
    settings_.outputFlags = 1;
    ASSERT_EQ(settings_.reset(), 1);
    EXPECT_EQ(settings_.mechanics, 0x107u);
    EXPECT_EQ(settings_.imageSize, 40);
    EXPECT_FLOAT_EQ(settings_.previewImageSize, 12.5f);
    EXPECT_EQ(settings_.layoutNameText(), "Drop shadow");
    EXPECT_TRUE(settings_.sourceText().empty());
    EXPECT_EQ(settings_.outputFlags, 0u);

    ASSERT_EQ(registryWriteWideString("MSPreviewImageSize", u"1e3"), kRegistryOk);
    ASSERT_EQ(settings_.reset(), 1);
    EXPECT_FLOAT_EQ(settings_.previewImageSize, 16.0f);
}

TEST_F(SettingsTest, ResetLoadsTheInterfaceNamedInTheRegistry) {
    dir_.put("base/interface/viewer.interface", kViewerInterface);
    ASSERT_EQ(registryWriteWideString("MSInterfaceName", u"viewer"), kRegistryOk);
    ASSERT_EQ(settings_.reset(), 1);
    EXPECT_EQ(settings_.interfaceSettings.source, base_ + "interface/viewer.swf");

    dir_.put("base/interface/viewer.interface", "<Interface>");
    EXPECT_EQ(settings_.reset(), 0);
    EXPECT_EQ(settings_.errorText, kInterfaceSettingsCorrupted);
    EXPECT_FALSE(settings_.interfaceSettings.hasSource());
}

TEST_F(SettingsTest, InstallPaths) {
    std::string base, spool;
    EXPECT_EQ(readInstallPaths(&base, &spool), 0);
    EXPECT_EQ(base, "c:/");
    ASSERT_EQ(registryWriteWideString("BasePath", u"D:\\Tessaly"), kRegistryOk);
    ASSERT_EQ(registryWriteWideString("SpoolPath", u"/var/spool/tessaly/"), kRegistryOk);
    EXPECT_EQ(readInstallPaths(&base, &spool), 1);
    EXPECT_EQ(base, "D:/Tessaly/");
    EXPECT_EQ(spool, "/var/spool/tessaly/");
}

TEST_F(SettingsTest, SettingsParameters) {
    ASSERT_EQ(settings_.reset(), 1);
    ASSERT_EQ(settings_.readSettingsText(
                  "<Settings>\n"
                  "<Param name=\" _MECHANICS \" value=\"previewList,preview\"/>\n"
                  "<Param name=\"_source\" value=\" Report &amp; &#x263a;.doc \"/>\n"
                  "<Param name=\"_sourceId\" value=\"x12\"/>\n"
                  "<Param name=\"_outputFlags\" value=\"file,flash_html\"/>\n"
                  "<Param name=\"imageencodeflags\" value=\"zlib\"/>\n"
                  "<Param name=\"previewImageEncodeFlags\" value=\"jpeg(60)\"/>\n"
                  "<Param name=\"previewimagefx\" value=\"smooth(3),blackWhite(100),gray\"/>\n"
                  "<Param name=\"ImageSize\" value=\"80\"/>\n"
                  "<Param name=\"previewimagesize\" value=\"1,5\"/>\n"
                  "<Param value=\"nameless\"/><Param name=\"unknown\" value=\"1\"/>\n"
                  "</Settings>\n"),
              1);
    EXPECT_EQ(settings_.mechanics, kMechPreviewList);
    EXPECT_EQ(settings_.sourceText(), u"Report & \u263a.doc");
    EXPECT_EQ(settings_.sourceId, -1);
    EXPECT_EQ(settings_.outputFlags, 0x201u);
    EXPECT_EQ(settings_.imageJpegQuality, 0);
    EXPECT_EQ(settings_.imageZlib, 1);
    EXPECT_EQ(settings_.previewJpegQuality, 60);
    EXPECT_EQ(settings_.previewZlib, 0);
    EXPECT_EQ(settings_.previewSmoothing, 3u);
    EXPECT_EQ(settings_.previewMonochrome, 100);  // black-and-white wins over gray
    EXPECT_EQ(settings_.imageSize, 80);
    EXPECT_FLOAT_EQ(settings_.previewImageSize, 16.0f);  // not a strict real

    // Words at the very end of a value, and blackWhite without a threshold.
    ASSERT_EQ(settings_.readSettingsText(
                  "<Param name=\"imageencodeflags\" value=\"jpeg\"/>"
                  "<Param name=\"previewimagefx\" value=\"blackwhite\"/>"
                  "<Param name=\"_outputFlags\" value=\"flash_html,flash\"/>"),
              1);
    EXPECT_EQ(settings_.imageJpegQuality, 0);
    EXPECT_EQ(settings_.imageZlib, 0);
    EXPECT_EQ(settings_.previewMonochrome, 128);
    EXPECT_EQ(settings_.outputFlags, 0x300u);
    ASSERT_EQ(settings_.readSettingsText(
                  "<Param name=\"previewimagefx\" value=\"blackwhite(0)\"/>"
                  "<Param name=\"imageencodeflags\" value=\"jpeg(99999999999)\"/>"),
              1);
    EXPECT_EQ(settings_.previewMonochrome, 128);
    EXPECT_GT(settings_.imageJpegQuality, 0);
}

TEST_F(SettingsTest, WrittenSettingsReadBack) {
    dir_.put("base/interface/viewer.interface", kViewerInterface);
    JobSettings written;
    written.setBaseDirectory(base_);
    ASSERT_EQ(written.reset(), 1);
    ASSERT_EQ(written.loadInterface("viewer"), 1);
    written.mechanics = kMechImage | kMechPreview | kMechPageList | kMechPreviewList | kMechInvisible |
                        kMechPreviewSupported | kMechDebug | kMechNativeSize;
    written.setSource(u"Q&A <\"draft\"> \u00e9\u263a\ttab");
    written.sourceId = 42;
    written.outputFlags = kOutputFile | kOutputFlash | kOutputFlashHtml;
    written.setOutputLocation(u"/home/u/out put.swf");
    written.setLayoutName("Thin border");
    written.imageSize = 75;
    written.imageZlib = 0;
    written.imageJpegQuality = 55;
    written.previewZlib = 1;
    written.previewJpegQuality = 0;
    written.previewImageSize = 12.5f;
    written.previewSmoothing = 4;
    written.previewMonochrome = -1;
    written.interfaceSettings.params[0].value = "a \"quoted\" & <tagged> value";

    const std::string text = writeSettings(written);
    EXPECT_EQ(text.rfind("<Settings>\n  <Param name=\"_mechanics\" value=\"image,preview,pageList,"
                         "previewList,invisible,previewSupported,nativeSize,debug\"/>\n",
                         0),
              0u);
    EXPECT_NE(text.find("  <Param name=\"_source\" value=\"Q&amp;A &lt;&quot;draft&quot;&gt; "
                        "\xe9&#x263a;&#x09;tab\"/>\n"),
              std::string::npos);
    EXPECT_NE(text.find("<Interface src=\"viewer.swf\""), std::string::npos);

    ASSERT_TRUE(fs::create_directories(dir_ / "job"));
    dir_.put("job/media.settings", text);
    ASSERT_EQ(settings_.loadSettings(dir_ / "job/media.settings"), 1) << settings_.errorText;
    const JobSettings& read = settings_;
    EXPECT_EQ(read.mechanics, written.mechanics);
    EXPECT_EQ(read.sourceText(), written.sourceText());
    EXPECT_EQ(read.sourceId, 42);
    EXPECT_EQ(read.outputFlags, written.outputFlags);
    EXPECT_EQ(read.outputLocationText(), written.outputLocationText());
    EXPECT_EQ(read.layoutNameText(), "Thin border");
    EXPECT_EQ(read.imageSize, 75);
    EXPECT_EQ(read.imageZlib, 0);
    EXPECT_EQ(read.imageJpegQuality, 55);
    EXPECT_EQ(read.previewZlib, 1);
    EXPECT_EQ(read.previewJpegQuality, 0);
    EXPECT_FLOAT_EQ(read.previewImageSize, 12.5f);
    EXPECT_EQ(read.previewSmoothing, 4u);
    EXPECT_EQ(read.previewMonochrome, -1);

    const InterfaceSettings& a = written.interfaceSettings;
    const InterfaceSettings& b = read.interfaceSettings;
    EXPECT_EQ(b.source, a.source);
    EXPECT_EQ(b.name, a.name);
    EXPECT_EQ(b.description, a.description);
    EXPECT_EQ(b.mechanics, a.mechanics);
    ASSERT_EQ(b.params.size(), a.params.size());
    for (size_t i = 0; i < a.params.size(); ++i) {
        SCOPED_TRACE(a.params[i].name);
        EXPECT_EQ(b.params[i].name, a.params[i].name);
        EXPECT_EQ(b.params[i].varName, a.params[i].varName);
        EXPECT_EQ(b.params[i].value, a.params[i].value);
        EXPECT_EQ(b.params[i].type, a.params[i].type);
        EXPECT_EQ(b.params[i].options, a.params[i].options);
        EXPECT_EQ(b.params[i].description, a.params[i].description);
    }

    // Output flags of one kind only come back as they were.
    for (const uint32_t flags : {kOutputFile, kOutputFlash, kOutputFile | kOutputFlashHtml}) {
        written.outputFlags = flags;
        ASSERT_EQ(settings_.readSettingsText(writeSettings(written)), 1);
        EXPECT_EQ(settings_.outputFlags, flags);
    }
}

TEST_F(SettingsTest, InterfaceFiles) {
    dir_.put("base/interface/viewer.interface", kViewerInterface);
    ASSERT_EQ(settings_.loadInterface("viewer"), 1) << settings_.errorText;
    const InterfaceSettings& ui = settings_.interfaceSettings;
    EXPECT_EQ(ui.name, "viewer");  // no name: the file's base name
    EXPECT_EQ(ui.description, "A viewer");
    EXPECT_EQ(ui.mechanics, kMechImage | kMechLibrary | kMechPreviewSupported);
    ASSERT_EQ(ui.params.size(), 3u);
    EXPECT_EQ(ui.params[0].varName, "zoomLevel");
    EXPECT_EQ(ui.params[0].type, kParamString);
    EXPECT_EQ(ui.params[1].varName, "speed");
    EXPECT_EQ(ui.params[1].type, kParamNumber);
    EXPECT_EQ(ui.params[2].type, kParamString | kParamHidden);
    std::string value;
    EXPECT_EQ(settings_.effectiveParamValue(0, value), 1);
    EXPECT_EQ(value, "20");
    EXPECT_EQ(settings_.effectiveParamValue(3, value), 0);
    EXPECT_EQ(settings_.setParamValue(1, "3,25"), 1);
    EXPECT_EQ(ui.params[1].value, "3.25");

    settings_.mechanics = kMechVector | kMechFrame | kMechPreview;
    settings_.mergeInterfaceMechanics();
    EXPECT_EQ(settings_.interfaceNameText(), "viewer");
    settings_.normalizeMechanics();
    EXPECT_EQ(settings_.mechanics, kMechImage | kMechLibrary | kMechPreview | kMechPreviewSupported);

    // A missing file leaves no interface and is no error.
    EXPECT_EQ(settings_.loadInterface("absent"), 1);
    EXPECT_FALSE(ui.hasSource());
    EXPECT_TRUE(ui.params.empty());

    struct Broken {
        const char* text;
        const char* error;
    } broken[] = {
        {"<InterfaceSettings></InterfaceSettings>", kInterfaceSettingsCorrupted},
        {"<Interface name=\"x\"/>", kInterfaceSettingsCorrupted},
        {"<Interface src=\"  \"/>", kInterfaceSettingsCorrupted},
        {"<Interface src=\"gone.swf\"/>", kInterfaceSourceMissing},
        {"<Interface src=\"/no/such/dir/viewer.swf\"/>", kInterfaceSourceMissing},
    };
    for (const Broken& b : broken) {
        SCOPED_TRACE(b.text);
        ASSERT_EQ(settings_.loadInterface("viewer"), 1);
        dir_.put("base/interface/bad.interface", b.text);
        EXPECT_EQ(settings_.loadInterface("bad"), 0);
        EXPECT_EQ(settings_.errorText, b.error);
        EXPECT_FALSE(ui.hasSource());
    }
    fs::create_directory(base_ + "interface/folder.interface");
    EXPECT_EQ(settings_.loadInterface("folder"), 0);
    EXPECT_EQ(settings_.errorText, kInterfaceFileCorrupted);

    // An absolute source with backslashes is taken as it is.
    dir_.put("base/interface/abs.interface",
             "<Interface name=\"Named\" src=\"" + base_ + "interface\\viewer.swf\">");
    ASSERT_EQ(settings_.loadInterface("abs"), 1);
    EXPECT_EQ(ui.name, "Named");
    EXPECT_EQ(ui.source, base_ + "interface/viewer.swf");
}

TEST_F(SettingsTest, InterfaceFilesAreReadUnderTheMutex) {
    dir_.put("base/interface/viewer.interface", kViewerInterface);
    NamedMutex held;
    ASSERT_EQ(held.create(kInterfaceSettingsMutex, true), 1);
    ASSERT_TRUE(held.owned());
    std::atomic<bool> done{false};
    int result = -1;
    std::thread reader([&] {
        result = settings_.loadInterface("viewer");
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_FALSE(done);
    EXPECT_EQ(held.release(), 1);
    reader.join();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(settings_.interfaceSettings.params.size(), 3u);
    // The reader gave the mutex back.
    EXPECT_EQ(held.tryWait(), 1);
}

TEST_F(SettingsTest, FactoryInterfaces) {
    dir_.put("base/interface/viewer.interface", kViewerInterface);
    ASSERT_EQ(settings_.loadInterface("viewer"), 1);
    EXPECT_FALSE(settings_.hasDefaultInterface("viewer"));
    EXPECT_EQ(settings_.loadDefaultInterface("viewer"), 0);
    EXPECT_EQ(settings_.errorText, kDefaultInterfaceMissing);
    EXPECT_EQ(settings_.interfaceSettings.params.size(), 3u);  // unchanged

    dir_.put("base/interface/default/viewer.interface", "<Interface src=\"missing.swf\"/>");
    EXPECT_TRUE(settings_.hasDefaultInterface("viewer"));
    EXPECT_EQ(settings_.loadDefaultInterface("viewer"), 0);
    EXPECT_EQ(settings_.errorText, kInterfaceSourceMissing);
    EXPECT_EQ(settings_.interfaceSettings.params.size(), 3u);

    dir_.put("base/interface/default/viewer.interface",
             "<Interface src=\"viewer.swf\"><Param name=\"zoom\" value=\"Large\"/>");
    ASSERT_EQ(settings_.loadDefaultInterface("viewer"), 1);
    ASSERT_EQ(settings_.interfaceSettings.params.size(), 1u);
    EXPECT_EQ(settings_.interfaceSettings.params[0].value, "Large");
    EXPECT_EQ(settings_.interfaceSettings.source, base_ + "interface/viewer.swf");

    fs::remove(base_ + "interface/default/viewer.interface");
    fs::create_directory(base_ + "interface/default/viewer.interface");
    EXPECT_EQ(settings_.loadDefaultInterface("viewer"), 0);
    EXPECT_EQ(settings_.errorText, kDefaultInterfaceCorrupted);
}

TEST_F(SettingsTest, SettingsFiles) {
    // Missing: the defaults, no error; relative paths start at the base directory.
    settings_.imageSize = 5;
    EXPECT_EQ(settings_.loadSettings("media.settings"), 1);
    EXPECT_EQ(settings_.imageSize, -50);
    dir_.put("base/media.settings", "<Settings><Param name=\"ImageSize\" value=\"9\"/></Settings>");
    EXPECT_EQ(settings_.loadSettings("media.settings"), 1);
    EXPECT_EQ(settings_.imageSize, 9);

    fs::create_directory(dir_ / "folder.settings");
    EXPECT_EQ(settings_.loadSettings(dir_ / "folder.settings"), 0);
    EXPECT_EQ(settings_.errorText, kSettingsCorrupted);

    dir_.put("bad.settings", "<Settings><Interface src=\"gone.swf\"/></Settings>");
    EXPECT_EQ(settings_.loadSettings(dir_ / "bad.settings"), 0);
    EXPECT_EQ(settings_.errorText, kSettingsCorrupted);
    EXPECT_EQ(settings_.interfaceSettings.errorText, kInterfaceSourceMissing);

    // Every Param after the Interface belongs to the interface.
    dir_.put("iface.settings",
             "<Settings><Interface src=\"viewer.swf\" name=\"V\">"
             "<Param name=\"Layout\" value=\"No border\"/></Interface></Settings>");
    ASSERT_EQ(settings_.loadSettings(dir_ / "iface.settings"), 1);
    EXPECT_EQ(settings_.layoutNameText(), "Medium border");
    ASSERT_EQ(settings_.interfaceSettings.params.size(), 1u);
    EXPECT_EQ(settings_.interfaceSettings.name, "V");
    settings_.mechanics = 0;
    settings_.normalizeMechanics();
    EXPECT_EQ(settings_.mechanics, kMechVector | kMechLibrary);
}

TEST_F(SettingsTest, InterfaceParameterTableIsBounded) {
    std::string text = "<Interface src=\"viewer.swf\">";
    for (int i = 0; i < 70; ++i) text += "<Param name=\"p" + std::to_string(i) + "\" value=\"v\"/>";
    dir_.put("base/interface/many.interface", text);
    ASSERT_EQ(settings_.loadInterface("many"), 1);
    ASSERT_EQ(settings_.interfaceSettings.params.size(), InterfaceSettings::kMaxParams);
    EXPECT_EQ(settings_.interfaceSettings.params.back().name, "p63");
}

TEST_F(SettingsTest, PageLayoutsOfTheInstalledSettings) {
    settings_.setBaseDirectory(std::string(TESSALY_SOURCE_DIR) + "/data");
    std::string markup;
    ASSERT_EQ(settings_.pageLayout("Medium border", markup), 1);
    EXPECT_EQ(markup,
              "<Shape><FillColor side=\"right\" color=\"#FFFFFF\"/><Rect pos=\"0,0\" "
              "size=\"{pageWidth},{pageHeight}\"/></Shape><Shape depth=15999><LineStyle "
              "width=\"{=pageHeight/400}\" color=\"#000000\"/><Rect pos=\"0,0\" "
              "size=\"{=pageWidth-1},{=pageHeight-1}\"/></Shape>");
    for (const char* name : {"No border", "Thin border", "Thick border", "Drop shadow"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(settings_.pageLayout(name, markup), 1);
        EXPECT_EQ(markup.rfind("<Shape>", 0), 0u);
        EXPECT_EQ(markup.find("PageLayout"), std::string::npos);
    }
    EXPECT_EQ(settings_.errorText, "");
    // Names are compared exactly.
    EXPECT_EQ(settings_.pageLayout("medium border", markup), 0);
    EXPECT_EQ(settings_.errorText, kGlobalSettingsCorrupted);
    EXPECT_TRUE(markup.empty());

    settings_.setBaseDirectory(base_);
    EXPECT_EQ(settings_.pageLayout("Medium border", markup), 0);
    dir_.put("base/Tessaly.settings", "<Settings><PageLayout name=\"Open\"><Shape></Shape>");
    EXPECT_EQ(settings_.pageLayout("Open", markup), 0);
    EXPECT_EQ(settings_.errorText, kGlobalSettingsCorrupted);
}

}  // namespace
}  // namespace tessaly
