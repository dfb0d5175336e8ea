// The window on a real (virtual) display: started while a job is expected it
// shows the progress movie with its text, and a job printed into the spool
// directory ends with the converted movie in the player. Run under xvfb-run.

#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "platform/registry.h"
#include "support/text.h"

namespace fs = std::filesystem;

namespace {

const std::string kBin = TESSALY_BIN_DIR;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The share of pixels darker than the threshold (in per cent of white) in a
// picture (ImageMagick); -1 when unreadable.
double darkShare(const std::string& png, int threshold) {
    const std::string command = "convert '" + png + "' -colorspace Gray -threshold " + std::to_string(threshold) +
                                "% -format '%[fx:1-mean]' info:";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return -1;
    char buffer[64] = {};
    const bool read = std::fgets(buffer, sizeof buffer, pipe) != nullptr;
    ::pclose(pipe);
    return read ? std::strtod(buffer, nullptr) : -1;
}

class Window : public testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display (run under xvfb-run)";
        dir = fs::temp_directory_path() / ("tessaly_window_" + std::to_string(::getpid()) + "_" +
                                           testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        for (const char* sub : {"spool", "tmp", "run", "reg", "shots"}) fs::create_directories(dir / sub);
        fs::permissions(dir / "run", fs::perms::owner_all);
        setenv("TESSALY_REGISTRY_ROOT", (dir / "reg").c_str(), 1);
        setenv("TESSALY_RUNTIME_DIR", (dir / "run").c_str(), 1);
        setenv("TMPDIR", (dir / "tmp").c_str(), 1);
        setenv("TESSALY_TEST_TRACE", (dir / "trace.log").c_str(), 1);
        setenv("TESSALY_TEST_SNAPSHOTS", (dir / "shots").c_str(), 1);
        // The viewer draws its page a while after the movie has loaded.
        setenv("TESSALY_TEST_SNAPSHOT_DELAY_MS", "5000", 1);
        tessaly::ValueStore store((dir / "reg").string());
        ASSERT_EQ(store.writeString("BasePath", tessaly::toWide(std::string(TESSALY_SOURCE_DIR) + "/data/")), 0);
        ASSERT_EQ(store.writeString("SpoolPath", tessaly::toWide((dir / "spool").string() + "/")), 0);
    }
    void TearDown() override {
        if (app > 0) {
            ::kill(app, SIGKILL);
            (void)tessaly::testing::waitFor(app);
        }
        unsetenv("TMPDIR");
        std::error_code ec;
        if (!HasFailure() && !dir.empty()) fs::remove_all(dir, ec);
    }
    // The first trace line beginning with the text, waited for.
    std::string waitForTrace(const std::string& start, int seconds) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            std::istringstream lines(slurp(dir / "trace.log"));
            for (std::string line; std::getline(lines, line);)
                if (line.rfind(start, 0) == 0) return line;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return {};
    }
    std::string trace() { return slurp(dir / "trace.log") + "\n--- output:\n" + slurp(dir / "app.log"); }

    fs::path dir;
    pid_t app = -1;
};

TEST_F(Window, ShowsTheProgressMovieThenTheConvertedMovie) {
    const auto started = std::chrono::steady_clock::now();
    app = tessaly::testing::spawn({kBin + "/tessaly", "--attached"}, dir / "app.log");
    ASSERT_GT(app, 0);

    // The progress movie plays, with the text the monitor gave it.
    const std::string working = waitForTrace("snapshot: " + (dir / "shots" / "snapshot1.png").string(), 60);
    ASSERT_FALSE(working.empty()) << trace();
    EXPECT_NE(working.find("Working.swf"), std::string::npos) << working;
    std::printf("progress movie loaded after %.1f s (snapshot 5 s later)\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() - 5);
    const double progressInk = darkShare((dir / "shots" / "snapshot1.png").string(), 50);
    EXPECT_GT(progressInk, 0.0005) << "the progress movie drew no text";
    EXPECT_LT(progressInk, 0.2) << "the player area is not the progress movie's white";

    // A job printed now is converted and shown.
    const pid_t print = tessaly::testing::spawn({kBin + "/tessaly-print", "--test-document", "--spool",
                                                 (dir / "spool").string(), "--title", "window test.pdf"},
                                                dir / "print.log");
    ASSERT_GT(print, 0);
    ASSERT_EQ(tessaly::testing::waitFor(print), 0) << slurp(dir / "print.log");
    const std::string shown = waitForTrace("commands: on", 120);
    ASSERT_FALSE(shown.empty()) << trace();
    const std::string movie = waitForTrace("snapshot: " + (dir / "shots" / "snapshot2.png").string(), 60);
    ASSERT_FALSE(movie.empty()) << trace();
    EXPECT_EQ(movie.find("Working.swf"), std::string::npos) << movie;
    EXPECT_EQ(movie.find("Searching.swf"), std::string::npos) << movie;
    // The viewer's grey around a white page with ink on it.
    const std::string page = (dir / "shots" / "snapshot2.png").string();
    EXPECT_GT(1 - darkShare(page, 95), 0.1) << "no white page";
    EXPECT_GT(darkShare(page, 30), 0.0005) << "nothing drawn on the page";
    EXPECT_LT(darkShare(page, 30), 0.3) << "nothing drawn on the page";
    EXPECT_EQ(trace().find("player-failed"), std::string::npos) << trace();
}

}  // namespace

namespace {

TEST_F(Window, ProgressTextReachesTheMovie) {
    // A job whose second page is being written.
    fs::create_directories(dir / "spool" / "job1");
    std::ofstream(dir / "spool" / "job1" / "_status") << "2";
    app = tessaly::testing::spawn({kBin + "/tessaly", "--attached"}, dir / "app.log");
    ASSERT_GT(app, 0);
    ASSERT_FALSE(waitForTrace("variable: Text=Receiving Page 2", 60).empty()) << trace();
    // Set through the callback the movie registers, not just asked for.
    EXPECT_FALSE(waitForTrace("variable-set: Text", 60).empty()) << trace();
}

}  // namespace

namespace {

TEST_F(Window, SaysSoWhenThePlayerCannotStart) {
    setenv("TESSALY_RUFFLE_DIR", (dir / "no-player").c_str(), 1);
    app = tessaly::testing::spawn({kBin + "/tessaly", "--attached"}, dir / "app.log");
    unsetenv("TESSALY_RUFFLE_DIR");
    ASSERT_GT(app, 0);
    const std::string message = waitForTrace("message: Flash Player Not Installed: Could not create an instance", 60);
    EXPECT_FALSE(message.empty()) << trace();
}

}  // namespace

namespace {

// Runs a command line of fixed words (no input from outside the test).
int run(const std::string& command) { return std::system(command.c_str()); }

TEST_F(Window, InterfaceOptionsApplyRebuildsTheShownMovie) {
    // The dialog's controls are set through their own signals once it opens:
    // the background around the page becomes black.
    setenv("TESSALY_TEST_INTERFACE_OPTION", "Background colour=Black", 1);
    app = tessaly::testing::spawn({kBin + "/tessaly", "--attached"}, dir / "app.log");
    unsetenv("TESSALY_TEST_INTERFACE_OPTION");
    ASSERT_GT(app, 0);
    // The progress movie's player is up before the job arrives: a page
    // replaced while its player still loads may report that load's failure.
    ASSERT_FALSE(waitForTrace("snapshot: ", 60).empty()) << trace();
    const pid_t print = tessaly::testing::spawn({kBin + "/tessaly-print", "--test-document", "--spool",
                                                 (dir / "spool").string(), "--title", "options test.pdf"},
                                                dir / "print.log");
    ASSERT_GT(print, 0);
    ASSERT_EQ(tessaly::testing::waitFor(print), 0) << slurp(dir / "print.log");
    ASSERT_FALSE(waitForTrace("commands: on", 120).empty()) << trace();
    // The pictures of the converted movie (not of a progress movie), in order.
    const auto movieShots = [&](size_t wanted) {
        std::vector<std::string> shots;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (shots.size() < wanted && std::chrono::steady_clock::now() < deadline) {
            shots.clear();
            std::istringstream lines(slurp(dir / "trace.log"));
            for (std::string line; std::getline(lines, line);) {
                if (line.rfind("snapshot: ", 0) != 0 || line.find("Working.swf") != std::string::npos ||
                    line.find("Searching.swf") != std::string::npos)
                    continue;
                shots.push_back(line.substr(10, line.find(' ', 10) - 10));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return shots;
    };
    const std::vector<std::string> first = movieShots(1);
    ASSERT_EQ(first.size(), 1u) << trace();
    const std::string before = first[0];

    // Ctrl+I on the window opens the dialog.
    std::string dialog;
    for (int attempt = 0; attempt < 3 && dialog.empty(); ++attempt) {
        (void)run("xdotool search --onlyvisible --name '^Tessaly$' windowfocus >/dev/null 2>&1");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        (void)run("xdotool key --clearmodifiers ctrl+i >/dev/null 2>&1");
        dialog = waitForTrace("dialog: Interface Options: ", 10);
    }
    ASSERT_EQ(dialog, "dialog: Interface Options: Viewer") << trace();

    // Apply finished the movie again and the player shows it.
    const std::vector<std::string> shots = movieShots(2);
    ASSERT_EQ(shots.size(), 2u) << trace();
    const std::string after = shots[1];
    const double darkBefore = darkShare(before, 30), darkAfter = darkShare(after, 30);
    std::printf("dark share before %.3f, after %.3f\n", darkBefore, darkAfter);
    EXPECT_LT(darkBefore, 0.3);
    EXPECT_GT(darkAfter, darkBefore + 0.2) << "the background did not turn black";
    // The page is still there.
    EXPECT_GT(1 - darkShare(after, 95), 0.1) << "no white page";
    EXPECT_EQ(trace().find("message:"), std::string::npos) << trace();
}

}  // namespace
