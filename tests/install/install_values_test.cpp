// The installation's values: written whole, kept across an upgrade where an
// administrator changed them, refused whole when wrong, and removed again;
// and the spool root with the mode its rule needs.

#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "install_values.h"
#include "platform/registry.h"
#include "pagesmith/printer_devmode.h"
#include "platform/spool_devmode.h"
#include "support/text.h"
#include "reachable_install.h"
#include "test_directory.h"

namespace fs = std::filesystem;

namespace {

class InstallValuesTest : public testing::Test {
protected:
    void SetUp() override {
        dir = tessaly::testing::freshTestDirectory("tessaly_install_values_");
        fs::create_directories(dir);
        store = tessaly::ValueStore((dir / "reg").string());
        values.basePath = "/usr/share/tessaly";
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string text(std::string_view name) const {
        std::u16string value;
        if (store.readString(name, &value) != tessaly::kRegistryOk) return "<absent>";
        return tessaly::toUtf8(value);
    }
    int64_t dword(std::string_view name) const {
        uint32_t value = 0;
        return store.readDword(name, &value) == tessaly::kRegistryOk ? int64_t(value) : -1;
    }
    bool empty() const { return !fs::exists(dir / "reg") || fs::is_empty(dir / "reg"); }
    static unsigned mode(const fs::path& path) {
        struct stat info {};
        EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
        return info.st_mode & 07777;
    }

    fs::path dir;
    tessaly::ValueStore store{std::string()};
    tessaly::InstallValues values;
    std::string error;
};

TEST_F(InstallValuesTest, AFreshInstallationGetsPathsRuleAndDefaultsThatThePrinterReads) {
    values.paperName = "a4";
    ASSERT_EQ(tessaly::writeInstallValues(store, values, false, &error), 1) << error;
    EXPECT_EQ(text("BasePath"), "/usr/share/tessaly/");
    EXPECT_EQ(text("SpoolPath"), "/var/spool/tessaly/");
    EXPECT_EQ(dword("SpoolPerUser"), 1);
    EXPECT_EQ(text("MSInterfaceName"), "Viewer");
    // The printer's defaults as the spool host reads them: the A4 row with
    // its own size.
    const tessaly::PrinterDefaults defaults = tessaly::readPrinterDefaults(store);
    EXPECT_EQ(defaults.dpi, 300u);
    EXPECT_EQ(defaults.sizeIndex, tessaly::pagesmith::kPaperA4);
    EXPECT_EQ(defaults.widthMM1000, 210000u);
    EXPECT_EQ(defaults.heightMM1000, 297000u);
    EXPECT_EQ(defaults.customWidthMM1000, tessaly::PrinterDefaults{}.customWidthMM1000);
    EXPECT_EQ(defaults.customHeightMM1000, tessaly::PrinterDefaults{}.customHeightMM1000);

    // Letter, by its full name, and a shared spool directory.
    values.paperName = "LETTER 8.5 x 11 inch";
    values.spoolPerUser = false;
    values.spoolPath = "\\srv\\spool";
    ASSERT_EQ(tessaly::writeInstallValues(store, values, true, &error), 1) << error;
    EXPECT_EQ(dword("SizeIndex"), tessaly::pagesmith::kPaperLetter);
    EXPECT_EQ(dword("WidthMM1000"), 215899);
    EXPECT_EQ(dword("SpoolPerUser"), 0);
    EXPECT_EQ(text("SpoolPath"), "/srv/spool/");
}

TEST_F(InstallValuesTest, AnUpgradeRewritesThePathsButKeepsTheAdministratorsDefaults) {
    ASSERT_EQ(tessaly::writeInstallValues(store, values, false, &error), 1) << error;
    // The administrator's choices, and a path that moved.
    ASSERT_EQ(store.writeString("MSInterfaceName", u"minimal"), tessaly::kRegistryOk);
    ASSERT_EQ(store.writeDword("DPI", 600), tessaly::kRegistryOk);
    ASSERT_EQ(store.writeDword("SpoolPerUser", 0), tessaly::kRegistryOk);
    values.basePath = "/opt/tessaly/share/tessaly/";
    values.paperName = "A3";
    ASSERT_EQ(tessaly::writeInstallValues(store, values, false, &error), 1) << error;
    EXPECT_EQ(text("BasePath"), "/opt/tessaly/share/tessaly/");
    EXPECT_EQ(dword("SpoolPerUser"), 1);  // the installation's rule
    EXPECT_EQ(text("MSInterfaceName"), "minimal");
    EXPECT_EQ(dword("DPI"), 600);
    // The paper stays whole: row and size together.
    EXPECT_EQ(dword("SizeIndex"), tessaly::pagesmith::kPaperLetter);
    EXPECT_EQ(dword("WidthMM1000"), 215899);
    // Overwriting takes the new defaults.
    ASSERT_EQ(tessaly::writeInstallValues(store, values, true, &error), 1) << error;
    EXPECT_EQ(text("MSInterfaceName"), "Viewer");
    EXPECT_EQ(dword("DPI"), 300);
    EXPECT_EQ(dword("SizeIndex"), 4);
    EXPECT_EQ(dword("HeightMM1000"), 420000);
}

TEST_F(InstallValuesTest, WrongValuesAreRefusedBeforeAnythingIsWritten) {
    struct Case {
        const char* what;
        void (*change)(tessaly::InstallValues&);
    };
    const Case cases[] = {
        {"unknown paper", [](tessaly::InstallValues& v) { v.paperName = "A9"; }},
        {"no paper", [](tessaly::InstallValues& v) { v.paperName.clear(); }},
        {"dpi 0", [](tessaly::InstallValues& v) { v.dpi = 0; }},
        {"dpi too high", [](tessaly::InstallValues& v) { v.dpi = 40000; }},
        {"relative base", [](tessaly::InstallValues& v) { v.basePath = "share/tessaly"; }},
        {"no base", [](tessaly::InstallValues& v) { v.basePath.clear(); }},
        {"relative spool", [](tessaly::InstallValues& v) { v.spoolPath = "spool/"; }},
        {"no spool", [](tessaly::InstallValues& v) { v.spoolPath.clear(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tessaly::InstallValues wrong = values;
        c.change(wrong);
        error.clear();
        EXPECT_EQ(tessaly::writeInstallValues(store, wrong, true, &error), 0);
        EXPECT_FALSE(error.empty());
        EXPECT_TRUE(empty());
    }
    // A store that cannot be written reports which value failed.
    std::ofstream(dir / "file").put('x');
    tessaly::ValueStore blocked((dir / "file" / "reg").string());
    EXPECT_EQ(tessaly::writeInstallValues(blocked, values, true, &error), 0);
    EXPECT_NE(error.find("BasePath"), std::string::npos) << error;
}

TEST_F(InstallValuesTest, RemovalLeavesNoValueAndCanBeRepeated) {
    ASSERT_EQ(tessaly::writeInstallValues(store, values, false, &error), 1) << error;
    ASSERT_FALSE(empty());
    ASSERT_EQ(tessaly::removeInstallValues(store, &error), 1) << error;
    EXPECT_TRUE(empty()) << fs::begin(fs::directory_iterator(dir / "reg"))->path();
    EXPECT_EQ(tessaly::removeInstallValues(store, &error), 1) << error;
    // A store without its directory has nothing to remove either.
    tessaly::ValueStore none((dir / "none").string());
    EXPECT_EQ(tessaly::removeInstallValues(none, &error), 1) << error;
}

TEST(PaperRows, NamesAndFirstWordsFindTheirRows) {
    EXPECT_EQ(tessaly::paperRow("A4"), tessaly::pagesmith::kPaperA4);
    EXPECT_EQ(tessaly::paperRow("a4 210 x 297 MM"), tessaly::pagesmith::kPaperA4);
    EXPECT_EQ(tessaly::paperRow("letter"), tessaly::pagesmith::kPaperLetter);
    EXPECT_EQ(tessaly::paperRow("Legal"), 14);
    EXPECT_EQ(tessaly::paperRow("10"), 0);  // the first row whose first word fits
    EXPECT_EQ(tessaly::paperRow("A"), -1);
    EXPECT_EQ(tessaly::paperRow(""), -1);
    EXPECT_EQ(tessaly::paperRow("A4 "), -1);
}

TEST_F(InstallValuesTest, TheSpoolRootGetsTheModeOfItsRule) {
    const fs::path root = dir / "var" / "spool" / "tessaly";
    ASSERT_EQ(tessaly::prepareSpoolRoot(root.string() + "/", true, &error), 1) << error;
    EXPECT_EQ(mode(root), 01733u);
    // Again, shared: the mode follows the rule; what is inside stays.
    fs::create_directories(root / "alice");
    ASSERT_EQ(tessaly::prepareSpoolRoot(root.string(), false, &error), 1) << error;
    EXPECT_EQ(mode(root), 01777u);
    EXPECT_TRUE(fs::exists(root / "alice"));

    fs::create_directory_symlink(dir / "var", dir / "link");
    EXPECT_EQ(tessaly::prepareSpoolRoot((dir / "link").string(), true, &error), 0);
    EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
    EXPECT_NE(mode(dir / "var"), 01733u);
    std::ofstream(dir / "plain").put('x');
    EXPECT_EQ(tessaly::prepareSpoolRoot((dir / "plain").string(), true, &error), 0);
    EXPECT_EQ(tessaly::prepareSpoolRoot("relative/spool", true, &error), 0);
}

// Someone who cannot write the installation's values is refused; the values
// never go into a layer of their own where nobody else would see them.
TEST_F(InstallValuesTest, SetupByAUserWhoCannotWriteTheStoreFails) {
    ASSERT_EQ(store.writeString("BasePath", u"/usr/share/tessaly/"), tessaly::kRegistryOk);
    const fs::path home = dir / "home";
    fs::create_directories(home);
    std::string runner, bin = TESSALY_BIN_DIR;
    if (::geteuid() == 0) {
        const passwd* nobody = ::getpwnam("nobody");
        if (!nobody) GTEST_SKIP() << "no user 'nobody' to run as";
        const tessaly::testing::ReachableInstall& reachable = tessaly::testing::reachableInstall();
        ASSERT_FALSE(reachable.bin.empty()) << reachable.error;
        bin = reachable.bin.string();
        ASSERT_EQ(::chown(home.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
        runner = "setpriv --reuid=" + std::to_string(nobody->pw_uid) + " --regid=" + std::to_string(nobody->pw_gid) +
                 " --clear-groups ";
    } else {
        fs::permissions(dir / "reg", fs::perms::owner_write, fs::perm_options::remove);
    }
    const std::string command = "TESSALY_REGISTRY_ROOT=" + (dir / "reg").string() +
                                " TESSALY_REGISTRY_USER_ROOT=" + (home / "layer").string() + " " + runner +
                                bin + "/tessaly-setup-values --base /opt/t/ --spool " +
                                (dir / "spool").string() + "/ 2>" + (dir / "err").string();
    const int status = std::system(command.c_str());
    fs::permissions(dir / "reg", fs::perms::owner_write, fs::perm_options::add);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    std::ifstream err(dir / "err");
    const std::string message((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
    EXPECT_NE(message.find("cannot write"), std::string::npos) << message;
    EXPECT_FALSE(fs::exists(home / "layer"));
    EXPECT_EQ(text("BasePath"), "/usr/share/tessaly/");
}

}  // namespace
