// The user's spool directory and the printer check through the real system
// calls (the account and printer layers on Windows).
#ifdef _WIN32

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/printer_registry.h"
#include "platform/registry.h"
#include "platform/user_spool.h"
#include "support/text.h"
#include "windows_support.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

class AccountLayer : public testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("tessaly_account_" + std::to_string(::GetCurrentProcessId()));
        fs::remove_all(dir);
        fs::create_directories(dir / "spool");
        setenv("TESSALY_REGISTRY_ROOT", key.path().c_str(), 1);
        store = ValueStore(key.path());
    }
    void TearDown() override {
        unsetenv("TESSALY_REGISTRY_ROOT");
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    void install(bool perUser) {
        ASSERT_EQ(store.writeString("SpoolPath", toWide((dir / "spool").string() + "/")), kRegistryOk);
        ASSERT_EQ(store.writeDword("SpoolPerUser", perUser ? 1 : 0), kRegistryOk);
    }

    testing_support::ScratchKey key;
    fs::path dir;
    ValueStore store{std::string()};
};

TEST_F(AccountLayer, TheUsersOwnSpoolDirectoryIsMadeWhenMissing) {
    std::string spool, error;
    EXPECT_EQ(currentUserSpoolDirectory(&spool, &error), 0);
    EXPECT_NE(error.find("SpoolPath"), std::string::npos) << error;

    install(false);
    ASSERT_EQ(currentUserSpoolDirectory(&spool, &error), 1) << error;
    // Paths inside the system use "/".
    EXPECT_EQ(spool, (dir / "spool").generic_string() + "/");

    install(true);
    const std::string user = currentUserName();
    ASSERT_FALSE(user.empty());
    ASSERT_EQ(currentUserSpoolDirectory(&spool, &error), 1) << error;
    EXPECT_EQ(spool, (dir / "spool").generic_string() + "/" + user + "/");
    EXPECT_TRUE(fs::is_directory(dir / "spool" / user));
    // Made already: taken as it is, its jobs kept.
    std::ofstream(dir / "spool" / user / "kept") << "x";
    ASSERT_EQ(currentUserSpoolDirectory(&spool, &error), 1) << error;
    EXPECT_TRUE(fs::exists(dir / "spool" / user / "kept"));

    // A file in its place is no directory for jobs.
    fs::remove_all(dir / "spool" / user);
    std::ofstream(dir / "spool" / user) << "not a folder";
    EXPECT_EQ(currentUserSpoolDirectory(&spool, &error), 0);
    EXPECT_NE(error.find("not a directory"), std::string::npos) << error;
    // Nor one whose parent is missing.
    EXPECT_EQ(preparePrivateDirectory((dir / "none" / "user").string(), &error), 0);
    EXPECT_FALSE(error.empty());
}

TEST(PrinterLayer, UnknownPrintersAreRefusedWithTheReason) {
    std::string error;
    EXPECT_EQ(checkPrinter("Tessaly Printer That Is Not There", &error), 0);
    EXPECT_NE(error.find("Tessaly Printer That Is Not There"), std::string::npos) << error;
    EXPECT_EQ(checkPrinter("", &error), 0);
    EXPECT_EQ(cupsQueueExists("Tessaly Printer That Is Not There", &error), 0);
    // The driver is looked for beside the program.
    EXPECT_NE(embeddedDriverPath().find("pagesmith.dll"), std::string::npos);
}

}  // namespace
}  // namespace tessaly

#endif
