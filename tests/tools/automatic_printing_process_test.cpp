// "tessaly FILE..." as a user runs it: the PDFs are printed to the printer,
// a headless monitor converts the jobs, and the first one's movie lands at
// the location given with -o; a location left behind blocks a request.

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
const std::string kSource = TESSALY_SOURCE_DIR;

using tessaly::testing::slurp;

using tessaly::testing::spawn;
using tessaly::testing::waitFor;

class AutomaticPrinting : public testing::Test {
protected:
    void SetUp() override {
        dir = tessaly::testing::freshTestDirectory("tessaly_autoprint_");
        for (const char* sub : {"spool", "out", "result", "tmp", "run", "reg"}) fs::create_directories(dir / sub);
        fs::permissions(dir / "run", fs::perms::owner_all);
        setenv("TESSALY_REGISTRY_ROOT", (dir / "reg").c_str(), 1);
        setenv("TESSALY_RUNTIME_DIR", (dir / "run").c_str(), 1);
        setenv("TMPDIR", (dir / "tmp").c_str(), 1);
        store = tessaly::ValueStore((dir / "reg").string());
        ASSERT_EQ(store.writeString("BasePath", tessaly::toWide(kSource + "/data/")), 0);
        ASSERT_EQ(store.writeString("SpoolPath", tessaly::toWide((dir / "spool").string())), 0);
        fs::copy_file(kSource + "/examples/pdf/figures.pdf", dir / "a.pdf");
        fs::copy_file(kSource + "/examples/pdf/cups-testpage.pdf", dir / "b.pdf");
    }
    void TearDown() override {
        if (watcher > 0) {
            ::kill(watcher, SIGKILL);
            (void)waitFor(watcher);
        }
        unsetenv("TMPDIR");
        unsetenv("TESSALY_TEST_LOCK_WAIT_MS");
        std::error_code ec;
        if (!HasFailure()) fs::remove_all(dir, ec);
    }
    void startWatcher() {
        watcher = spawn({kBin + "/tessaly", "--headless", "--output-dir", (dir / "out").string()}, dir / "watcher.log");
        ASSERT_GT(watcher, 0);
    }
    void stopWatcher() {
        ::kill(watcher, SIGTERM);
        EXPECT_EQ(waitFor(watcher), 0);
        watcher = -1;
    }
    // Runs tessaly with the arguments: its exit status, its output in *out.
    int tessaly(const std::vector<std::string>& args, std::string* out = nullptr) {
        std::vector<std::string> all = {kBin + "/tessaly"};
        all.insert(all.end(), args.begin(), args.end());
        const pid_t pid = spawn(all, dir / "tessaly.log");
        const int status = waitFor(pid);
        if (out) *out = slurp(dir / "tessaly.log");
        return status;
    }
    bool waitUntil(const std::function<bool()>& condition) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return true;
    }
    static bool isMovie(const fs::path& p) {
        const std::string head = slurp(p).substr(0, 3);
        return head == "FWS" || head == "CWS";
    }
    size_t count(const fs::path& folder) const {
        return size_t(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    }
    bool valuesLeft() const {
        tessaly::RegistryType type;
        return store.type("MSNextOutputLocation", &type) == 0 || store.type("MSNextOutputFlags", &type) == 0;
    }

    fs::path dir;
    tessaly::ValueStore store{""};
    pid_t watcher = -1;
};

TEST_F(AutomaticPrinting, FirstMovieGoesToTheLocationTheSecondTheNormalWay) {
    startWatcher();
    std::string out;
    ASSERT_EQ(tessaly({"-o", (dir / "result" / "out.swf").string(), (dir / "a.pdf").string(),
                       (dir / "b.pdf").string()},
                      &out),
              0)
        << out;
    EXPECT_FALSE(valuesLeft());
    ASSERT_TRUE(waitUntil([&] { return fs::exists(dir / "result" / "out.swf") && count(dir / "out") == 1 &&
                                       count(dir / "spool") == 0; }))
        << slurp(dir / "watcher.log");
    stopWatcher();
    EXPECT_TRUE(isMovie(dir / "result" / "out.swf"));
    EXPECT_EQ(count(dir / "result"), 1u);
    EXPECT_TRUE(isMovie(*fs::directory_iterator(dir / "out")));
    EXPECT_NE(slurp(dir / "watcher.log").find("saved: " + (dir / "result" / "out.swf").string()), std::string::npos);
}

TEST_F(AutomaticPrinting, HtmlModeWritesPageAndMovie) {
    // Printed before any monitor runs: the job and its location wait in the
    // spool directory for the monitor that starts later.
    std::string out;
    ASSERT_EQ(tessaly({"-m", "flash_html", "-o", (dir / "result" / "page").string(), (dir / "a.pdf").string()},
                      &out),
              0)
        << out;
    EXPECT_EQ(count(dir / "spool"), 1u);
    startWatcher();
    ASSERT_TRUE(waitUntil([&] { return fs::exists(dir / "result" / "page.htm") && count(dir / "spool") == 0; }))
        << slurp(dir / "watcher.log");
    stopWatcher();
    EXPECT_TRUE(isMovie(dir / "result" / "page.swf"));
    EXPECT_NE(slurp(dir / "result" / "page.htm").find("page.swf"), std::string::npos);
    EXPECT_EQ(count(dir / "out"), 0u);
}

TEST_F(AutomaticPrinting, StaleLocationLocksAndOtherFilesAreNotDefined) {
    ASSERT_EQ(store.writeString("MSNextOutputLocation", u"/crashed/request.swf"), 0);
    setenv("TESSALY_TEST_LOCK_WAIT_MS", "5", 1);
    std::string out;
    EXPECT_EQ(tessaly({"-o", (dir / "result" / "out.swf").string(), (dir / "a.pdf").string()}, &out), 1);
    EXPECT_NE(out.find("Could not print because registry is locked."), std::string::npos) << out;
    EXPECT_EQ(count(dir / "spool"), 0u);

    // "-r" clears it; a text file cannot be printed and leaves nothing behind.
    std::ofstream(dir / "notes.txt") << "plain text";
    EXPECT_EQ(tessaly({"-r", "-o", (dir / "result" / "n.swf").string(), (dir / "notes.txt").string()}, &out), 1);
    EXPECT_NE(out.find("Automatic printing is not defined for this file type:\n" + (dir / "notes.txt").string()),
              std::string::npos)
        << out;
    EXPECT_FALSE(valuesLeft());
    EXPECT_EQ(count(dir / "spool"), 0u);

    // A PDF that cannot be read fails the command, and its values go too.
    std::ofstream(dir / "broken.pdf") << "%PDF-1.4\nnot a document";
    EXPECT_EQ(tessaly({"-o", (dir / "result" / "b.swf").string(), (dir / "broken.pdf").string()}, &out), 1);
    EXPECT_FALSE(valuesLeft());
    EXPECT_EQ(count(dir / "result"), 0u);
}

}  // namespace
