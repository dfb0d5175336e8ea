// Several "tessaly --headless" processes watching one spool directory while
// tessaly-print writes jobs into it: each job becomes exactly one movie, the
// spool directory ends empty, and a watcher killed in the middle of a
// conversion loses no job (its job mutex goes with the process, so another
// watcher takes the job again).

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "platform/registry.h"
#include "support/text.h"
#include "test_directory.h"

namespace fs = std::filesystem;

namespace {

const std::string kBin = TESSALY_BIN_DIR;

using tessaly::testing::slurp;

using tessaly::testing::spawn;
using tessaly::testing::waitFor;

class HeadlessMonitors : public testing::Test {
protected:
    void SetUp() override {
        dir = tessaly::testing::freshTestDirectory("tessaly_watchers_");
        for (const char* sub : {"spool", "out", "tmp", "run", "reg"}) fs::create_directories(dir / sub);
        fs::permissions(dir / "run", fs::perms::owner_all);
        setenv("TESSALY_REGISTRY_ROOT", (dir / "reg").c_str(), 1);
        setenv("TESSALY_RUNTIME_DIR", (dir / "run").c_str(), 1);
        setenv("TMPDIR", (dir / "tmp").c_str(), 1);
        tessaly::ValueStore store((dir / "reg").string());
        ASSERT_EQ(store.writeString("BasePath", tessaly::toWide(std::string(TESSALY_SOURCE_DIR) + "/data/")), 0);
        ASSERT_EQ(store.writeString("SpoolPath", tessaly::toWide((dir / "spool").string())), 0);
    }
    void TearDown() override {
        for (const pid_t pid : watchers) {
            ::kill(pid, SIGKILL);
            (void)waitFor(pid);
        }
        unsetenv("TMPDIR");
        std::error_code ec;
        if (!HasFailure()) fs::remove_all(dir, ec);
    }

    pid_t startWatcher() {
        const fs::path log = dir / ("watcher" + std::to_string(watchers.size()) + ".log");
        const pid_t pid = spawn({kBin + "/tessaly", "--headless", "--output-dir", (dir / "out").string()}, log);
        EXPECT_GT(pid, 0);
        watchers.push_back(pid);
        logs.push_back(log);
        return pid;
    }
    void print(int job) {
        const pid_t pid = spawn({kBin + "/tessaly-print", "--test-document", "--spool", (dir / "spool").string(),
                                 "--title", "job " + std::to_string(job) + ".pdf"},
                                dir / ("print" + std::to_string(job) + ".log"));
        ASSERT_GT(pid, 0);
        ASSERT_EQ(waitFor(pid), 0) << slurp(dir / ("print" + std::to_string(job) + ".log"));
    }
    std::set<std::string> entries(const fs::path& folder) const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
        return names;
    }
    // Waits until every job is a movie and the spool directory is empty.
    bool waitForMovies(size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(180);
        while (std::chrono::steady_clock::now() < deadline) {
            if (entries(dir / "out").size() >= count && entries(dir / "spool").empty()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
    // Stops the watchers that are still running, each as the system stops a
    // program (SIGTERM): each must end cleanly.
    void stopWatchers(pid_t except = -1) {
        for (const pid_t pid : watchers) {
            if (pid == except) continue;
            ::kill(pid, SIGTERM);
            EXPECT_EQ(waitFor(pid), 0);
        }
        watchers.clear();
    }
    void expectEveryJobOnce(size_t count) {
        std::set<std::string> expected;
        for (size_t i = 0; i < count; ++i) expected.insert("job " + std::to_string(i) + ".swf");
        EXPECT_EQ(entries(dir / "out"), expected);
        for (const std::string& name : entries(dir / "out")) {
            const std::string head = slurp(dir / "out" / name).substr(0, 3);
            EXPECT_TRUE(head == "FWS" || head == "CWS") << name;
        }
        size_t saves = 0;
        for (const fs::path& log : logs) {
            const std::string text = slurp(log);
            for (size_t at = text.find("saved: "); at != std::string::npos; at = text.find("saved: ", at + 1)) ++saves;
            EXPECT_EQ(text.find("message:"), std::string::npos) << text;
        }
        EXPECT_EQ(saves, count);
        EXPECT_TRUE(entries(dir / "spool").empty());
    }

    fs::path dir;
    std::vector<pid_t> watchers;
    std::vector<fs::path> logs;
};

TEST_F(HeadlessMonitors, TwoAndThreeWatchersConvertEachJobOnce) {
    for (const int count : {2, 3}) {
        SCOPED_TRACE(count);
        for (int i = 0; i < count; ++i) startWatcher();
        for (int job = 0; job < 10; ++job) print(job);
        ASSERT_TRUE(waitForMovies(10));
        stopWatchers();
        expectEveryJobOnce(10);
        EXPECT_TRUE(entries(dir / "tmp").empty());
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        logs.clear();
    }
}

TEST_F(HeadlessMonitors, AWatcherKilledWhileConvertingLosesNoJob) {
    startWatcher();
    startWatcher();
    std::thread printer([&] {
        for (int job = 0; job < 10; ++job) print(job);
    });
    // The first watcher to start converting is killed at once.
    pid_t killed = -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (killed < 0 && std::chrono::steady_clock::now() < deadline) {
        for (size_t i = 0; i < logs.size() && killed < 0; ++i) {
            if (slurp(logs[i]).find("status: Working...") != std::string::npos) {
                killed = watchers[i];
                ::kill(killed, SIGKILL);
                EXPECT_EQ(waitFor(killed), 128 + SIGKILL);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    printer.join();
    ASSERT_GT(killed, 0);
    ASSERT_TRUE(waitForMovies(10));
    stopWatchers(killed);
    expectEveryJobOnce(10);
}

TEST_F(HeadlessMonitors, StoppingWhileAJobArrivesLeavesItForOthers) {
    // A job whose pages are still arriving.
    fs::copy(fs::path(TESSALY_SOURCE_DIR) / "examples/jobs/letter", dir / "spool" / "12345678",
             fs::copy_options::recursive);
    std::ofstream(dir / "spool" / "12345678" / "_status", std::ios::binary) << "2";
    const pid_t pid = startWatcher();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (slurp(logs[0]).find("progress: Receiving Page 2...") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGTERM);
    EXPECT_EQ(waitFor(pid), 0);
    watchers.clear();
    EXPECT_TRUE(fs::exists(dir / "spool" / "12345678" / "_status"));
    EXPECT_FALSE(fs::exists(dir / "spool" / "12345678" / "_deleteme"));
    // The next watcher takes it and converts it once it is complete.
    startWatcher();
    std::ofstream(dir / "spool" / "12345678" / "_status", std::ios::binary) << "end:3";
    ASSERT_TRUE(waitForMovies(1));
    stopWatchers();
    EXPECT_EQ(entries(dir / "out").size(), 1u);
}

}  // namespace
