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
#include <functional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "child_process.h"
#include "platform/registry.h"
#include "support/text.h"

namespace fs = std::filesystem;

namespace {

const std::string kBin = TESSALY_BIN_DIR;

using tessaly::testing::slurp;

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
    using Clock = std::chrono::steady_clock;
    const auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
    const auto started = Clock::now();
    app = tessaly::testing::spawn({kBin + "/tessaly", "--attached"}, dir / "app.log");
    ASSERT_GT(app, 0);

    // The progress movie plays, with the text the monitor gave it.
    ASSERT_FALSE(waitForTrace("ready: " + std::string(TESSALY_DATA_DIR) + "/Working.swf", 60).empty())
        << trace();
    const double toProgress = seconds(Clock::now() - started);
    const std::string working = waitForTrace("snapshot: " + (dir / "shots" / "snapshot1.png").string(), 60);
    ASSERT_FALSE(working.empty()) << trace();
    EXPECT_NE(working.find("Working.swf"), std::string::npos) << working;
    const double progressInk = darkShare((dir / "shots" / "snapshot1.png").string(), 50);
    EXPECT_GT(progressInk, 0.0005) << "the progress movie drew no text";
    EXPECT_LT(progressInk, 0.2) << "the player area is not the progress movie's white";

    // A PDF printed to the printer now is converted and shown.
    const pid_t print = tessaly::testing::spawn(
        {kBin + "/tessaly-print", "--to-printer", "--spool", (dir / "spool").string(),
         std::string(TESSALY_SOURCE_DIR) + "/examples/pdf/libtasn1-manual.pdf"},
        dir / "print.log");
    ASSERT_GT(print, 0);
    ASSERT_EQ(tessaly::testing::waitFor(print), 0) << slurp(dir / "print.log");
    const auto ended = Clock::now();
    const std::string loaded = waitForTrace("load: " + (dir / "tmp").string(), 120);
    ASSERT_FALSE(loaded.empty()) << trace();
    const auto converted = Clock::now();
    ASSERT_FALSE(waitForTrace("ready: " + loaded.substr(6), 60).empty()) << trace();
    const auto visible = Clock::now();
    std::printf("start to the progress movie: %.2f s; end of printing to the converted movie: %.2f s "
                "(%.2f s converting, %.2f s in the player)\n",
                toProgress, seconds(visible - ended), seconds(converted - ended), seconds(visible - converted));
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

    // The whole window, for the README (build/gui-artifacts/window.png).
    const fs::path artifacts = fs::path(kBin).parent_path() / "gui-artifacts";
    fs::create_directories(artifacts);
    const pid_t shot = tessaly::testing::spawn(
        {"/bin/sh", "-c", "import -window \"$(xdotool search --onlyvisible --name '^Tessaly$' | head -n 1)\" \"$0\"",
         (artifacts / "window.png").string()},
        dir / "import.log");
    EXPECT_EQ(tessaly::testing::waitFor(shot), 0) << slurp(dir / "import.log");
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

// Keys and text typed into the window named by the title, through xdotool;
// true when xdotool found the window and typed.
bool typeInto(const std::string& title, const std::vector<std::string>& keys, const fs::path& log) {
    std::string pattern = "^";
    for (const char c : title) {
        if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos) pattern += '\\';
        pattern += c;
    }
    pattern += '$';
    // A window that never shows must not hold the test forever. Focusing a
    // window the moment it maps can fail (X's BadMatch ends xdotool) on a
    // busy machine, so the search and focus are tried again until then.
    const std::vector<std::string> args = {"/usr/bin/timeout", "30", "/usr/bin/xdotool", "search", "--sync",
                                           "--onlyvisible", "--name", pattern, "windowfocus", "--sync"};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        const pid_t focus = tessaly::testing::spawn(args, log);
        if (focus > 0 && tessaly::testing::waitFor(focus) == 0) break;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    // Typed as from the keyboard, to the window with the focus: a key that
    // closes the window must not leave a later event without its window.
    std::vector<std::string> typing = {"/usr/bin/timeout", "30", "/usr/bin/xdotool"};
    typing.insert(typing.end(), keys.begin(), keys.end());
    const pid_t tool = tessaly::testing::spawn(typing, log);
    return tool > 0 && tessaly::testing::waitFor(tool) == 0;
}

class WindowCommands : public Window {
protected:
    // A movie converted and shown, the commands on.
    void showMovie() {
        app = tessaly::testing::spawn({kBin + "/tessaly", "--attached"}, dir / "app.log");
        ASSERT_GT(app, 0);
        const pid_t print = tessaly::testing::spawn({kBin + "/tessaly-print", "--test-document", "--spool",
                                                     (dir / "spool").string(), "--title", "commands.pdf"},
                                                    dir / "print.log");
        ASSERT_GT(print, 0);
        ASSERT_EQ(tessaly::testing::waitFor(print), 0) << slurp(dir / "print.log");
        ASSERT_FALSE(waitForTrace("commands: on", 120).empty()) << trace();
    }
    bool keys(const std::string& title, const std::vector<std::string>& keys) {
        return typeInto(title, keys, dir / "xdotool.log");
    }
    // Chooses the path in the save dialog of that title.
    bool choose(const std::string& title, const fs::path& path) {
        return keys(title, {"key", "ctrl+a", "type", "--delay", "20", path.string()}) &&
               keys(title, {"sleep", "0.3", "key", "Return"});
    }
};

TEST_F(WindowCommands, SavesListsTemplatesAndAsksBeforeLosingTheMovie) {
    // A base directory whose template folder holds more than templates.
    const fs::path base = dir / "base";
    fs::create_directories(base / "HTML Template");
    for (const auto& entry : fs::directory_iterator(fs::path(TESSALY_DATA_DIR)))
        if (entry.path().filename() != "HTML Template") fs::create_symlink(entry.path(), base / entry.path().filename());
    const fs::path full = fs::path(TESSALY_DATA_DIR) / "HTML Template" / "Full Window.htm";
    for (const char* name : {"Full Window.htm", "B.htm", "a.htm", "Note.txt", "c.html"})
        fs::copy_file(full, base / "HTML Template" / name);
    tessaly::ValueStore store((dir / "reg").string());
    ASSERT_EQ(store.writeString("BasePath", tessaly::toWide(base.string() + "/")), 0);

    showMovie();
    if (HasFatalFailure()) return;

    // The File menu lists the templates when it opens.
    ASSERT_TRUE(keys("Tessaly", {"key", "alt+f"}));
    EXPECT_EQ(waitForTrace("templates: ", 20), "templates: B|Full Window|a") << trace();
    ASSERT_TRUE(keys("Tessaly", {"key", "Escape"}));

    // Leaving with the movie unsaved asks first; Cancel keeps the window.
    ASSERT_TRUE(keys("Tessaly", {"key", "alt+f", "sleep", "0.3", "key", "x"}));
    ASSERT_FALSE(
        waitForTrace("message: Save Flash Movie?: The generated Flash movie was not saved - would you like to save it now?",
                     20)
            .empty())
        << trace();
    ASSERT_TRUE(keys("Save Flash Movie?", {"key", "Escape"}));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(trace().find("closed: "), std::string::npos) << "Cancel closed the window: " << trace();

    // Ctrl+S and Ctrl+H save through the file chooser.
    const fs::path out = dir / "out";
    fs::create_directories(out);
    ASSERT_TRUE(keys("Tessaly", {"key", "ctrl+s"}));
    ASSERT_TRUE(choose("Save Flash", out / "saved.swf"));
    ASSERT_FALSE(waitForTrace("saved: swf", 30).empty()) << trace();
    const std::string movie = slurp(out / "saved.swf");
    ASSERT_GT(movie.size(), 100u);
    EXPECT_TRUE(movie.rfind("FWS", 0) == 0 || movie.rfind("CWS", 0) == 0);

    ASSERT_TRUE(keys("Tessaly", {"key", "ctrl+h"}));
    ASSERT_TRUE(choose("Save HTML", out / "page.htm"));
    ASSERT_FALSE(waitForTrace("saved: html", 30).empty()) << trace();
    EXPECT_NE(slurp(out / "page.htm").find("page.swf"), std::string::npos) << slurp(out / "page.htm");
    EXPECT_TRUE(fs::exists(out / "page.swf"));

    // Saved: Exit closes at once.
    ASSERT_TRUE(keys("Tessaly", {"key", "alt+f", "sleep", "0.3", "key", "x"}));
    EXPECT_EQ(tessaly::testing::waitFor(app), 0) << trace();
    app = -1;
    EXPECT_NE(trace().find("closed: "), std::string::npos) << trace();
}

// Each start-up check fails on its own and says so; OK ends the program.
TEST_F(Window, StartUpFailuresSayWhatIsMissing) {
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> breakIt;
        const char* message;
    };
    const Case cases[] = {
        {"no installation values", [](const fs::path& d) { fs::remove_all(d / "reg"); fs::create_directories(d / "reg"); },
         "message: Tessaly Error: Tessaly is not correctly installed. Please reinstall Tessaly."},
        {"no printer", [](const fs::path& d) { setenv("TESSALY_DRIVER", (d / "none.so").c_str(), 1); },
         "message: Tessaly Error: Could not find the Tessaly device."},
        {"no spool directory", [](const fs::path& d) { fs::remove_all(d / "spool"); },
         "message: Tessaly Error: Could not find the Spool directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        c.breakIt(dir);
        app = tessaly::testing::spawn({kBin + "/tessaly"}, dir / "app.log");
        unsetenv("TESSALY_DRIVER");
        ASSERT_GT(app, 0);
        ASSERT_FALSE(waitForTrace(c.message, 60).empty()) << trace();
        ASSERT_TRUE(typeInto("Tessaly Error", {"key", "Return"}, dir / "xdotool.log")) << slurp(dir / "xdotool.log");
        EXPECT_EQ(tessaly::testing::waitFor(app), 1) << trace();
        app = -1;
        EXPECT_EQ(trace().find("load: "), std::string::npos) << "the monitor started: " << trace();
    }
}

TEST_F(Window, InterfaceOptionsApplyRebuildsTheShownMovie) {
    // The dialog's controls are set through their own signals once it opens:
    // the background around the page becomes black.
    setenv("TESSALY_TEST_INTERFACE_OPTION", "Background colour=Black", 1);
    app = tessaly::testing::spawn({kBin + "/tessaly", "--attached"}, dir / "app.log");
    unsetenv("TESSALY_TEST_INTERFACE_OPTION");
    ASSERT_GT(app, 0);
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
        (void)typeInto("Tessaly", {"key", "--clearmodifiers", "ctrl+i"}, dir / "xdotool.log");
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
