// Where a user's jobs go: the shared spool directory, or with SpoolPerUser = 1
// a directory of the user's own under it that no one else can enter.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "composer/settings.h"
#include "platform/printer_registry.h"
#include "platform/registry.h"
#include "platform/user_spool.h"
#include "support/text.h"
#include "test_directory.h"

namespace fs = std::filesystem;

namespace {

class SpoolRule : public testing::Test {
protected:
    void SetUp() override {
        dir = tessaly::testing::freshTestDirectory("tessaly_spool_rule_");
        fs::create_directories(dir / "spool");
        setenv("TESSALY_REGISTRY_ROOT", (dir / "reg").c_str(), 1);
        store = tessaly::ValueStore((dir / "reg").string());
    }
    void TearDown() override {
        unsetenv("TESSALY_REGISTRY_ROOT");
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    void install(bool perUser) {
        ASSERT_EQ(store.writeString("SpoolPath", tessaly::toWide((dir / "spool").string())), tessaly::kRegistryOk);
        ASSERT_EQ(store.writeDword("SpoolPerUser", perUser ? 1 : 0), tessaly::kRegistryOk);
    }
    static unsigned mode(const fs::path& path) {
        struct stat info {};
        EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
        return info.st_mode & 07777;
    }

    fs::path dir;
    tessaly::ValueStore store{std::string()};
};

TEST(SpoolDirectoryName, OnlyPlainNamesNameADirectoryUnderTheRoot) {
    std::string out;
    EXPECT_EQ(tessaly::userSpoolDirectory("/var/spool/tessaly/", "alice", &out), 1);
    EXPECT_EQ(out, "/var/spool/tessaly/alice/");
    // The root's separators are made '/', and one is added when missing.
    EXPECT_EQ(tessaly::userSpoolDirectory("c:\\spool", "bob.smith-2", &out), 1);
    EXPECT_EQ(out, "c:/spool/bob.smith-2/");
    EXPECT_EQ(tessaly::userSpoolDirectory("/s/", std::string(64, 'u'), &out), 1);
    // Names that would leave the root, name it, or hide in a path.
    const std::string bad[] = {"", ".", "..", "../bob", "a/b", "a\\b", "tab\tname", "line\n", std::string("n\0ul", 4),
                               std::string(65, 'u'), "del\x7f"};
    for (const std::string& name : bad) {
        SCOPED_TRACE(name);
        out = "stale";
        EXPECT_EQ(tessaly::userSpoolDirectory("/var/spool/tessaly/", name, &out), 0);
        EXPECT_TRUE(out.empty());
    }
    // Names with dots inside are ordinary directory names.
    EXPECT_EQ(tessaly::userSpoolDirectory("/s/", "...", &out), 1);
    EXPECT_EQ(out, "/s/.../");
}

TEST_F(SpoolRule, TheStoredRuleChoosesTheSharedOrTheUsersDirectory) {
    std::string spool;
    bool perUser = true;
    // Not installed: no spool directory, and not per user.
    EXPECT_EQ(tessaly::readSpoolDirectory("alice", &spool, &perUser), 0);
    EXPECT_FALSE(perUser);

    ASSERT_EQ(store.writeString("SpoolPath", tessaly::toWide((dir / "spool").string())), tessaly::kRegistryOk);
    // Without SpoolPerUser, and with any value but 1, everyone shares SpoolPath.
    EXPECT_EQ(tessaly::readSpoolDirectory("alice", &spool, &perUser), 1);
    EXPECT_FALSE(perUser);
    EXPECT_EQ(spool, (dir / "spool").string() + "/");
    for (const uint32_t value : {0u, 2u}) {
        ASSERT_EQ(store.writeDword("SpoolPerUser", value), tessaly::kRegistryOk);
        EXPECT_EQ(tessaly::readSpoolDirectory("alice", &spool, &perUser), 1);
        EXPECT_FALSE(perUser);
        EXPECT_EQ(spool, (dir / "spool").string() + "/");
    }
    // A string where the DWORD should be does not switch the rule on.
    ASSERT_EQ(store.writeString("SpoolPerUser", u"1"), tessaly::kRegistryOk);
    EXPECT_EQ(tessaly::readSpoolDirectory("alice", &spool, &perUser), 1);
    EXPECT_FALSE(perUser);

    ASSERT_EQ(store.writeDword("SpoolPerUser", 1), tessaly::kRegistryOk);
    EXPECT_EQ(tessaly::readSpoolDirectory("alice", &spool, &perUser), 1);
    EXPECT_TRUE(perUser);
    EXPECT_EQ(spool, (dir / "spool" / "alice").string() + "/");
    // A user without a usable name never falls back to the shared root.
    EXPECT_EQ(tessaly::readSpoolDirectory("..", &spool, &perUser), 0);
    EXPECT_TRUE(spool.empty());
    EXPECT_EQ(tessaly::readSpoolDirectory("", &spool, &perUser), 0);
    EXPECT_TRUE(spool.empty());
}

TEST_F(SpoolRule, APrivateDirectoryIsMadeOrMendedButNeverTakenFromSomeoneElse) {
    std::string error;
    // Missing: made with mode 0700.
    const fs::path own = dir / "spool" / "own";
    ASSERT_EQ(tessaly::preparePrivateDirectory(own.string() + "/", &error), 1) << error;
    EXPECT_EQ(mode(own), 0700u);
    // There already, open to others: closed again, its jobs kept.
    fs::permissions(own, fs::perms::all);
    std::ofstream(own / "kept").put('x');
    ASSERT_EQ(tessaly::preparePrivateDirectory(own.string(), &error), 1) << error;
    EXPECT_EQ(mode(own), 0700u);
    EXPECT_TRUE(fs::exists(own / "kept"));

    // A symbolic link in its place could send the jobs anywhere.
    fs::create_directories(dir / "elsewhere");
    fs::create_directory_symlink(dir / "elsewhere", dir / "spool" / "link");
    EXPECT_EQ(tessaly::preparePrivateDirectory((dir / "spool" / "link").string(), &error), 0);
    EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
    // A file in its place.
    std::ofstream(dir / "spool" / "file").put('x');
    EXPECT_EQ(tessaly::preparePrivateDirectory((dir / "spool" / "file").string(), &error), 0);
    EXPECT_NE(error.find("not a directory"), std::string::npos) << error;
    // A parent that is not there is not made: the spool root is the
    // installation's.
    EXPECT_EQ(tessaly::preparePrivateDirectory((dir / "none" / "user").string(), &error), 0);
    EXPECT_FALSE(fs::exists(dir / "none"));

    // Another user's directory of that name (only root can make one here).
    if (::geteuid() == 0) {
        const fs::path theirs = dir / "spool" / "theirs";
        fs::create_directories(theirs);
        ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
        fs::permissions(theirs, fs::perms::all);
        EXPECT_EQ(tessaly::preparePrivateDirectory(theirs.string(), &error), 0);
        EXPECT_NE(error.find("another user"), std::string::npos) << error;
        EXPECT_EQ(mode(theirs), 0777u);  // left as it was
    }
}

TEST_F(SpoolRule, TheCallingUsersDirectoryIsReadyForJobs) {
    std::string spool, error;
    EXPECT_EQ(tessaly::currentUserSpoolDirectory(&spool, &error), 0);
    EXPECT_NE(error.find("SpoolPath"), std::string::npos) << error;

    install(false);
    error.clear();
    ASSERT_EQ(tessaly::currentUserSpoolDirectory(&spool, &error), 1) << error;
    EXPECT_EQ(spool, (dir / "spool").string() + "/");

    install(true);
    const std::string user = tessaly::currentUserName();
    ASSERT_FALSE(user.empty());
    ASSERT_EQ(tessaly::currentUserSpoolDirectory(&spool, &error), 1) << error;
    EXPECT_EQ(spool, (dir / "spool" / user).string() + "/");
    EXPECT_EQ(mode(dir / "spool" / user), 0700u);

    // The printer check fails when the user's directory cannot be had.
    setenv("TESSALY_DRIVER", "/proc/self/exe", 1);  // some regular file
    EXPECT_EQ(tessaly::checkPrinter(tessaly::kPrinterName, &error), 1) << error;
    fs::remove_all(dir / "spool" / user);
    fs::create_directory_symlink(dir, dir / "spool" / user);
    EXPECT_EQ(tessaly::currentUserSpoolDirectory(&spool, &error), 0);
    EXPECT_EQ(tessaly::checkPrinter(tessaly::kPrinterName, &error), 0);
    EXPECT_NE(error.find("spool directory"), std::string::npos) << error;
    unsetenv("TESSALY_DRIVER");
}

}  // namespace
