// The window on a real (virtual) display: started while a job is expected it
// shows the progress movie with its text, and a job printed into the spool
// directory ends with the converted movie in the player. Run under xvfb-run.

#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

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
        // The build's data directory: the installation's data with the player.
        ASSERT_EQ(store.writeString("BasePath", tessaly::toWide(std::string(TESSALY_DATA_DIR) + "/")), 0);
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

// Runs a program to its end; its exit status.
int run(const std::vector<std::string>& args, const fs::path& log) {
    const pid_t pid = tessaly::testing::spawn(args, log);
    return pid > 0 ? tessaly::testing::waitFor(pid) : -1;
}

// Keys typed into the window titled "Tessaly" (xdotool).
bool typeInto(const std::string& keys, const fs::path& log) {
    return run({"/bin/sh", "-c",
                "id=$(xdotool search --onlyvisible --name '^Tessaly$' | head -n 1) && [ -n \"$id\" ] && "
                "xdotool windowfocus --sync \"$id\" && xdotool key --clearmodifiers " + keys},
               log) == 0;
}

// One pixel of the screen as ImageMagick names its colour.
std::string screenPixel(int x, int y, const fs::path& dir) {
    const fs::path shot = dir / "screen.png";
    if (run({"/bin/sh", "-c", "import -window root '" + shot.string() + "'"}, dir / "import.log") != 0) return {};
    const std::string command = "convert '" + shot.string() + "' -format '%[pixel:p{" + std::to_string(x) + "," +
                                std::to_string(y) + "}]' info:";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return {};
    char buffer[64] = {};
    const bool read = std::fgets(buffer, sizeof buffer, pipe) != nullptr;
    ::pclose(pipe);
    return read ? buffer : "";
}

// With a stored placement and a skin in the directory it starts in, the window
// sits where it was and wears the skin; View in Browser hands the browser a page
// playing the converted movie, and F1 the help's contents (xdg-open is a stub
// that writes down what it was given).
TEST_F(Window, PlacedSkinnedAndViewedInTheBrowser) {
    fs::create_directories(dir / "bin");
    {
        std::ofstream stub(dir / "bin" / "xdg-open");
        stub << "#!/bin/sh\nprintf '%s\\n' \"$@\" >> \"" << (dir / "opened.log").string() << "\"\n";
    }
    fs::permissions(dir / "bin" / "xdg-open", fs::perms::owner_all);
    ASSERT_EQ(run({"/bin/sh", "-c", "convert -size 488x149 xc:red BMP3:'" + (dir / "skin.bmp").string() + "'"},
                  dir / "convert.log"),
              0);
    {
        tessaly::ValueStore store((dir / "reg").string());
        ASSERT_EQ(store.writeDword("PrinterLastPosX", 100), 0);
        ASSERT_EQ(store.writeDword("PrinterLastPosY", 100), 0);
        ASSERT_EQ(store.writeDword("PrinterLastWidth", 600), 0);
        ASSERT_EQ(store.writeDword("PrinterLastHeight", 500), 0);
    }
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
    setenv("PATH", ((dir / "bin").string() + ":" + path).c_str(), 1);
    const fs::path here = fs::current_path();
    fs::current_path(dir);
    app = tessaly::testing::spawn({kBin + "/tessaly", "--attached"}, dir / "app.log");
    fs::current_path(here);
    setenv("PATH", path.c_str(), 1);
    ASSERT_GT(app, 0);

    const pid_t print = tessaly::testing::spawn({kBin + "/tessaly-print", "--test-document", "--spool",
                                                 (dir / "spool").string(), "--title", "browser test.pdf"},
                                                dir / "print.log");
    ASSERT_GT(print, 0);
    ASSERT_EQ(tessaly::testing::waitFor(print), 0) << slurp(dir / "print.log");
    ASSERT_FALSE(waitForTrace("commands: on", 120).empty()) << trace();
    EXPECT_FALSE(waitForTrace("placed: 100,100 600x500", 1).empty()) << trace();
    EXPECT_FALSE(waitForTrace("skin: 488x149", 1).empty()) << trace();
    // The last margin of the window, above its bottom-left corner.
    const std::string corner = screenPixel(103, 596, dir);
    EXPECT_TRUE(corner.find("255,0,0") != std::string::npos || corner.find("red") != std::string::npos) << corner;

    ASSERT_TRUE(typeInto("ctrl+b", dir / "xdotool.log")) << slurp(dir / "xdotool.log");
    const std::string shown = waitForTrace("browser: ", 30);
    ASSERT_FALSE(shown.empty()) << trace();
    const std::string page = shown.substr(9);
    EXPECT_EQ(page.rfind((dir / "tmp").string() + "/tessalydoc", 0), 0u) << page;
    EXPECT_EQ(page.substr(page.size() - 4), ".htm");
    const std::string html = slurp(page);
    const std::string movie = fs::path(page.substr(0, page.size() - 4) + ".swf").filename().string();
    EXPECT_NE(html.find("\"" + movie + "\""), std::string::npos) << html;
    EXPECT_TRUE(fs::exists(dir / "tmp" / movie));

    ASSERT_TRUE(typeInto("F1", dir / "xdotool.log")) << slurp(dir / "xdotool.log");
    ASSERT_FALSE(waitForTrace("help: ", 30).empty()) << trace();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (slurp(dir / "opened.log").find("Help/index.htm") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(slurp(dir / "opened.log"), page + "\n" + std::string(TESSALY_DATA_DIR) + "/Help/index.htm\n");
}

}  // namespace

namespace {

// A second window stored at the same place as a first one moves 18 pixels
// left and down, and keeps its new place for next time.
TEST_F(Window, SecondInstanceCascades) {
    tessaly::ValueStore store((dir / "reg").string());
    for (const char* name : {"PrinterLastPosX", "PrinterLastPosY"}) ASSERT_EQ(store.writeDword(name, 100), 0);
    ASSERT_EQ(store.writeDword("PrinterLastWidth", 600), 0);
    ASSERT_EQ(store.writeDword("PrinterLastHeight", 500), 0);
    app = tessaly::testing::spawn({kBin + "/tessaly"}, dir / "app.log");
    ASSERT_GT(app, 0);
    ASSERT_FALSE(waitForTrace("ready: ", 60).empty()) << trace();
    const pid_t second = tessaly::testing::spawn({kBin + "/tessaly"}, dir / "second.log");
    ASSERT_GT(second, 0);
    const std::string cascaded = waitForTrace("cascaded: ", 60);
    ::kill(second, SIGKILL);
    (void)tessaly::testing::waitFor(second);
    EXPECT_EQ(cascaded, "cascaded: 82,118") << trace();
    uint32_t x = 0, y = 0;
    ASSERT_EQ(store.readDword("PrinterLastPosX", &x), 0);
    ASSERT_EQ(store.readDword("PrinterLastPosY", &y), 0);
    EXPECT_EQ(x, 82u);
    EXPECT_EQ(y, 118u);
}

}  // namespace
