// With SpoolPerUser = 1 the programs a user runs use that user's own spool
// directory: printing to the printer puts the job there (never into the
// shared root), the headless monitor finds and converts it there, and a
// directory of that name that is not the user's own stops both.

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "child_process.h"
#include "platform/registry.h"
#include "support/text.h"
#include "reachable_install.h"
#include "test_directory.h"

namespace fs = std::filesystem;

namespace {

const std::string kBin = TESSALY_BIN_DIR;
const std::string kPdf = std::string(TESSALY_SOURCE_DIR) + "/examples/pdf/figures.pdf";

using tessaly::testing::slurp;
using tessaly::testing::spawn;
using tessaly::testing::waitFor;

class PerUserSpool : public testing::Test {
protected:
    void SetUp() override {
        dir = tessaly::testing::freshTestDirectory("tessaly_per_user_");
        for (const char* sub : {"spool", "out", "tmp", "run", "reg"}) fs::create_directories(dir / sub);
        fs::permissions(dir / "run", fs::perms::owner_all);
        fs::permissions(dir / "spool", fs::perms::owner_all | fs::perms::others_write | fs::perms::others_exec |
                                           fs::perms::group_write | fs::perms::group_exec | fs::perms::sticky_bit);
        setenv("TESSALY_REGISTRY_ROOT", (dir / "reg").c_str(), 1);
        setenv("TESSALY_RUNTIME_DIR", (dir / "run").c_str(), 1);
        setenv("TMPDIR", (dir / "tmp").c_str(), 1);
        tessaly::ValueStore store((dir / "reg").string());
        ASSERT_EQ(store.writeString("BasePath", tessaly::toWide(std::string(TESSALY_SOURCE_DIR) + "/data/")), 0);
        ASSERT_EQ(store.writeString("SpoolPath", tessaly::toWide((dir / "spool").string() + "/")), 0);
        ASSERT_EQ(store.writeDword("SpoolPerUser", 1), 0);
        // The user's name as the password database has it.
        const std::string uid = std::to_string(::geteuid());
        FILE* id = ::popen("id -un", "r");
        ASSERT_NE(id, nullptr);
        char buffer[256] = {};
        if (std::fgets(buffer, sizeof buffer, id)) user = buffer;
        ::pclose(id);
        while (!user.empty() && (user.back() == '\n' || user.back() == '\r')) user.pop_back();
        ASSERT_FALSE(user.empty()) << uid;
        own = dir / "spool" / user;
    }
    void TearDown() override {
        unsetenv("TMPDIR");
        unsetenv("TESSALY_RUNTIME_DIR");
        unsetenv("TESSALY_REGISTRY_ROOT");
        std::error_code ec;
        if (!HasFailure()) fs::remove_all(dir, ec);
    }
    int runProgram(const std::vector<std::string>& args, const std::string& logName) {
        const pid_t pid = spawn(args, dir / logName);
        EXPECT_GT(pid, 0);
        return waitFor(pid);
    }
    std::string log(const std::string& name) const { return slurp(dir / name); }
    static size_t count(const fs::path& folder) {
        size_t n = 0;
        for (auto it = fs::directory_iterator(folder); it != fs::directory_iterator(); ++it) ++n;
        return n;
    }

    fs::path dir, own;
    std::string user;
};

TEST_F(PerUserSpool, APrintedJobGoesIntoTheUsersDirectoryAndTheMonitorConvertsItThere) {
    ASSERT_EQ(runProgram({kBin + "/tessaly-print", "--to-printer", "--pages", "1", "--title", "figures.pdf", kPdf},
                         "print.log"),
              0)
        << log("print.log");
    // The root holds only the user's directory, private to the user, with the job.
    ASSERT_TRUE(fs::is_directory(own)) << log("print.log");
    EXPECT_EQ(count(dir / "spool"), 1u);
    struct stat info {};
    ASSERT_EQ(::lstat(own.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(info.st_uid, ::geteuid());
    ASSERT_EQ(count(own), 1u);
    const fs::path job = fs::directory_iterator(own)->path();
    EXPECT_EQ(slurp(job / "_status").substr(0, 4), "end:");
    // The store still says per user: the private directory went to the driver
    // through a copy of the store.
    uint32_t perUser = 0;
    EXPECT_EQ(tessaly::ValueStore((dir / "reg").string()).readDword("SpoolPerUser", &perUser), 0);
    EXPECT_EQ(perUser, 1u);

    ASSERT_EQ(runProgram({kBin + "/tessaly", "--headless", "--once", "--output-dir", (dir / "out").string()},
                         "monitor.log"),
              0)
        << log("monitor.log");
    EXPECT_TRUE(fs::is_regular_file(dir / "out" / "figures.swf")) << log("monitor.log");
    EXPECT_EQ(count(own), 0u);
}

TEST_F(PerUserSpool, ADirectoryThatIsNotTheUsersOwnStopsPrintingAndWatching) {
    // Someone put a link where the user's directory belongs.
    fs::create_directories(dir / "elsewhere");
    fs::create_directory_symlink(dir / "elsewhere", own);
    EXPECT_NE(runProgram({kBin + "/tessaly-print", "--to-printer", kPdf}, "print.log"), 0);
    EXPECT_NE(log("print.log").find("symbolic link"), std::string::npos) << log("print.log");
    EXPECT_EQ(count(dir / "elsewhere"), 0u);

    EXPECT_EQ(runProgram({kBin + "/tessaly", "--headless", "--once", "--output-dir", (dir / "out").string()},
                         "monitor.log"),
              1);
    EXPECT_NE(log("monitor.log").find("Could not find the Spool directory"), std::string::npos) << log("monitor.log");
    EXPECT_NE(log("monitor.log").find("symbolic link"), std::string::npos) << log("monitor.log");
}

TEST_F(PerUserSpool, WithoutASpoolPathNothingIsPrintedAnywhere) {
    // A missing SpoolPath reads as "c:/", which here would be a relative
    // folder of the current directory: printing to the printer refuses.
    ASSERT_EQ(tessaly::ValueStore((dir / "reg").string()).deleteValue("SpoolPath"), 0);
    for (const uint32_t perUser : {0u, 1u}) {
        SCOPED_TRACE(perUser);
        ASSERT_EQ(tessaly::ValueStore((dir / "reg").string()).writeDword("SpoolPerUser", perUser), 0);
        EXPECT_EQ(runProgram({kBin + "/tessaly-print", "--to-printer", kPdf}, "print.log"), 1);
        EXPECT_NE(log("print.log").find("SpoolPath"), std::string::npos) << log("print.log");
        EXPECT_FALSE(fs::exists("c:"));
    }
}

TEST_F(PerUserSpool, TheMonitorMakesTheUsersDirectoryBeforeTheFirstJob) {
    // A user who has not printed yet: the monitor starts and waits in the
    // new, private directory (stopped here after a moment).
    const pid_t pid = spawn({kBin + "/tessaly", "--headless", "--output-dir", (dir / "out").string()}, dir / "m.log");
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 100 && !fs::exists(own); ++i) ::usleep(50000);
    ::usleep(300000);
    ::kill(pid, SIGTERM);
    EXPECT_EQ(waitFor(pid), 0) << log("m.log");
    ASSERT_TRUE(fs::is_directory(own));
    struct stat info {};
    ASSERT_EQ(::lstat(own.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(log("m.log").find("message:"), std::string::npos) << log("m.log");
}

// Two users of the machine (made for the test, so only when it runs as
// root): each prints with tessaly-print --to-printer and runs the headless
// monitor as themselves; each monitor converts only its own user's job, and
// neither user can look into the other's spool directory.
class TwoUsers : public PerUserSpool {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "making users needs root";
        PerUserSpool::SetUp();
        const std::string tag = std::to_string(::getpid() % 100000);
        for (const std::string& name : {"tslya" + tag, "tslyb" + tag}) {
            const std::string add = "useradd -M -N -s /usr/sbin/nologin " + name + " >/dev/null 2>&1";
            ASSERT_EQ(std::system(add.c_str()), 0) << name;
            users.push_back(name);
        }
        // What both users may use: the temporary folders and the store, as an
        // installation's are.
        fs::permissions(dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
        fs::permissions(dir / "tmp", fs::perms::all | fs::perms::sticky_bit);
    }
    void TearDown() override {
        for (const std::string& name : users) {
            const std::string remove = "userdel " + name + " >/dev/null 2>&1";
            EXPECT_EQ(std::system(remove.c_str()), 0) << name;
        }
        if (!users.empty()) PerUserSpool::TearDown();
    }
    // Runs a program as one of the users with the test's settings; its exit status.
    int runAs(const std::string& account, const std::string& arguments, const std::string& logName) {
        const std::string command = "runuser -u " + account + " -- env TESSALY_REGISTRY_ROOT='" + (dir / "reg").string() +
                                    "' TESSALY_RUNTIME_DIR='" + (dir / "tmp" / ("run-" + account)).string() +
                                    "' TMPDIR='" + (dir / "tmp").string() + "' HOME='" +
                                    (dir / "tmp" / ("home-" + account)).string() + "' " + arguments + " > '" + (dir / logName).string() + "' 2>&1";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // The user's output folder and home.
    void foldersOf(const std::string& account) {
        for (const fs::path& folder : {dir / ("out-" + account), dir / "tmp" / ("home-" + account)}) {
            fs::create_directories(folder);
            const std::string chown = "chown " + account + " '" + folder.string() + "'";
            ASSERT_EQ(std::system(chown.c_str()), 0);
        }
    }

    std::vector<std::string> users;
};

TEST_F(TwoUsers, EachMonitorConvertsOnlyItsOwnUsersJob) {
    const std::string& a = users[0];
    const std::string& b = users[1];
    // The build tree and the sources may be out of the users' reach: an
    // installed copy of the programs and data, and a copy of the document.
    const tessaly::testing::ReachableInstall& reachable = tessaly::testing::reachableInstall();
    ASSERT_FALSE(reachable.bin.empty()) << reachable.error;
    const std::string bin = reachable.bin.string(), pdf = (dir / "figures.pdf").string();
    fs::copy_file(kPdf, pdf);
    ASSERT_EQ(tessaly::ValueStore((dir / "reg").string()).writeString("BasePath", tessaly::toWide(reachable.data.string())),
              0);
    for (const std::string& account : users) {
        foldersOf(account);
        ASSERT_EQ(runAs(account, bin + "/tessaly-print --to-printer --pages 1 --title " + account + ".pdf " + pdf,
                        "print-" + account + ".log"),
                  0)
            << log("print-" + account + ".log");
        // The job is in the user's own directory, which belongs to the user.
        struct stat info {};
        ASSERT_EQ(::lstat((dir / "spool" / account).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        EXPECT_NE(info.st_uid, 0u);
        EXPECT_EQ(count(dir / "spool" / account), 1u);
    }
    // Neither can look into the other's directory.
    EXPECT_NE(runAs(b, "ls '" + (dir / "spool" / a).string() + "'", "ls-b.log"), 0);
    EXPECT_NE(runAs(a, "ls '" + (dir / "spool" / b).string() + "'", "ls-a.log"), 0);

    // b's monitor converts b's job and leaves a's where it is.
    ASSERT_EQ(runAs(b, bin + "/tessaly --headless --once --output-dir '" + (dir / ("out-" + b)).string() + "'",
                    "monitor-" + b + ".log"),
              0)
        << log("monitor-" + b + ".log");
    EXPECT_TRUE(fs::is_regular_file(dir / ("out-" + b) / (b + ".swf"))) << log("monitor-" + b + ".log");
    EXPECT_EQ(count(dir / ("out-" + b)), 1u);
    EXPECT_EQ(count(dir / "spool" / b), 0u);
    EXPECT_EQ(count(dir / "spool" / a), 1u);

    ASSERT_EQ(runAs(a, bin + "/tessaly --headless --once --output-dir '" + (dir / ("out-" + a)).string() + "'",
                    "monitor-" + a + ".log"),
              0)
        << log("monitor-" + a + ".log");
    EXPECT_TRUE(fs::is_regular_file(dir / ("out-" + a) / (a + ".swf"))) << log("monitor-" + a + ".log");
    EXPECT_EQ(count(dir / "spool" / a), 0u);
}

}  // namespace
