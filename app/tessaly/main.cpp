// The Tessaly application: the window when a display is there; without one,
// "tessaly --headless" watches the spool directory, converts each job it
// claims and saves the movie into a folder.

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

#include <chrono>
#include <csignal>
#include <filesystem>
#include <memory>
#include <optional>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/automatic_printing.h"
#include "app/folder_output.h"
#include "app/headless_ui.h"
#include "app/job_monitor.h"
#include "app/preferences.h"
#include "app/start_up.h"
#if defined(TESSALY_HAVE_WINDOW) && defined(_WIN32)
#include "app/win32/window.h"
#elif defined(TESSALY_HAVE_WINDOW)
#include "app/gtk/window.h"
#endif
#include "app/saving.h"
#include "composer/settings.h"
#include "platform/registry.h"
#include "platform/user_spool.h"
#include "support/directories.h"
#include "support/paths.h"
#include "support/text.h"

namespace {

using namespace tessaly;
using namespace tessaly::app;

constexpr const char* kUsage =
    "Usage: tessaly [-o LOCATION] [-m MODE] [-r] FILE...\n"
    "       tessaly --headless [--attached] [--once] [--output-dir DIR]\n"
    "\n"
    "With files, prints each one to the Tessaly printer and exits: a PDF goes\n"
    "through the PDF front end (tessaly-print) into the printer's spool\n"
    "directory, where a running monitor converts it. Other file types cannot be\n"
    "printed this way.\n"
    "\n"
    "  -o LOCATION       the movie of the first file is delivered there by the\n"
    "                    monitor that converts it, without asking\n"
    "  -m MODE           what is delivered: flash (the movie, the default),\n"
    "                    flash_html (an HTML page with the movie beside it),\n"
    "                    or both (flash,flash_html)\n"
    "  -r                first remove a location left behind by an earlier\n"
    "                    request (it blocks new ones for 30 seconds)\n"
    "\n"
    "With --headless, runs the job monitor without a window: finds the jobs the\n"
    "Tessaly printer writes into the spool directory (the stored value\n"
    "SpoolPath, or the user's own directory under it when SpoolPerUser is 1),\n"
    "claims each one for this instance, converts it and delivers\n"
    "the movie where its request said, else saves it into a folder, named\n"
    "after the document's title. Progress is printed as lines: \"status:\" (the\n"
    "status line), \"progress:\" (the page being received or converted),\n"
    "\"message:\" (messages, answered as closing the box would), \"saved:\"\n"
    "(a file written).\n"
    "\n"
    "  --attached        a print job is expected (shown as receiving at once)\n"
    "  --once            stop after the first job (exit status 0 when its movie\n"
    "                    was saved, 1 when it failed)\n"
    "  --output-dir DIR  the folder for the movies; default: the stored value\n"
    "                    PrinterSaveFolder, else ~/Tessaly/\n"
    "  -h, --help        show this help\n"
    "\n"
    "Switches may also begin with \"/\" (/o, /m, /r, /attached). The stored\n"
    "values are read from the value store that stands in for the registry\n"
    "(TESSALY_REGISTRY_ROOT overrides its location); the job mutexes live in\n"
    "TESSALY_RUNTIME_DIR when set. The data directory is BasePath.\n";

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void onStopSignal(int) { stopRequested = 1; }

std::string defaultOutputFolder() {
    char16_t stored[260];
    if (registryReadWideString("PrinterSaveFolder", stored, sizeof stored) == kRegistryOk && stored[0]) {
        std::string folder = toUtf8(stored);
        appendSeparator(folder);
        return folder;
    }
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/Tessaly/";
}

bool spoolListable(const std::string& spool) {
    FindHandle find;
    return find.begin(pathFromUtf8(spool));
}

// Runs jobs until stopped (or after one with --once). The exit status.
int runHeadless(const CommandLine& options) {
    HeadlessUserInterface ui(stdout);
    std::string base, spool;
    const bool installed = readInstallPaths(&base, &spool) == 1;
    if (!installed) {
        reportStartUpFailure(ui, StartUpFailure::notInstalled);
        return 1;
    }
    // The user's own spool directory when each user has one.
    std::string why;
    if (!currentUserSpoolDirectory(&spool, &why) || !spoolListable(spool)) {
        if (!why.empty()) std::fprintf(stderr, "tessaly: %s\n", why.c_str());
        reportStartUpFailure(ui, StartUpFailure::noSpoolDirectory);
        return 1;
    }
    const std::string folder = options.outputDir.empty() ? defaultOutputFolder() : options.outputDir;

#ifdef _WIN32
    (void)std::signal(SIGINT, onStopSignal);
    (void)std::signal(SIGTERM, onStopSignal);
#else
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
#endif

    PollingTimer timer;
    int exitStatus = 0;
    while (!stopRequested) {
        MonitorConfig config;
        config.baseDirectory = base;
        config.spoolDirectory = spool;
        config.attached = options.attached;
        ValueStore store = ValueStore::configured();
        const Preferences preferences = loadPreferences(store);
        config.preferences = preferences.monitor();
        SavePreferences savePreferences = preferences.save();
        // The close prompt's Yes (a window's close; scripted use).
        config.saveMovie = [&](JobMonitor& m, bool html) {
            return saveMonitorMovie(m, ui, savePreferences, html, &store) == 1;
        };
        // The movie is saved before the job leaves the spool directory.
        bool saved = false;
        config.deliverBeforeRelease = [&](JobMonitor& m) {
            // A job printed with an output location goes there; when that
            // fails (the message says why), into the folder all the same.
            if (const std::optional<std::string> location = automaticOutputLocation(m)) {
                if (automaticOutput(m, ui, savePreferences)) {
                    saved = true;
                    if (m.jobSettings().outputFlags & kOutputFlash) std::printf("saved: %s\n", location->c_str());
                    if (m.jobSettings().outputFlags & kOutputFlashHtml)
                        std::printf("saved: %s\n", htmlFileNames(*location).htmlPath.c_str());
                    std::fflush(stdout);
                    return true;
                }
            }
            std::string path;
            const std::string title = toUtf8(m.jobSettings().sourceText());
            saved = saveMovieToFolder(m.movie().moviePath, folder, title, &path) == 1;
            if (saved) {
                std::printf("saved: %s\n", path.c_str());
            } else {
                std::printf("error: cannot save the movie into %s\n", folder.c_str());
            }
            std::fflush(stdout);
            return saved;
        };
        JobMonitor monitor(ui, timer, config);
        ui.clearCloseRequest();
        bool claimed = false;
        (void)monitor.tick();
        // Without a window nobody starts the timer later: it runs while
        // searching as well, so jobs that arrive later are found.
        if (monitor.state() != MonitorState::Done && monitor.state() != MonitorState::Failed) monitor.startTimer();
        // A stop request lets a running conversion finish and its movie be
        // saved first: a print server that is shut down loses no job.
        while (!ui.closeRequested()) {
            if (stopRequested && monitor.state() != MonitorState::Converting) break;
            claimed = claimed || monitor.holdsJob();
            if (monitor.state() == MonitorState::Done && !timer.running()) break;
            if (!timer.waitForTick()) break;
            (void)monitor.tick();
        }
        if (stopRequested && monitor.state() == MonitorState::Receiving) {
            // Not given up for good, as closing a window would: the job is
            // left to another watcher (or the next start), which takes it
            // once this process lets go of its mutex.
            return 0;
        }
        // Nothing to prompt for: the movie was saved, or could not be.
        monitor.setSaved(true);
        (void)monitor.cleanUpOnClose();
        if (monitor.state() == MonitorState::Failed && !claimed) return 1;  // the spool cannot be listed
        if (options.once) {
            exitStatus = saved ? 0 : 1;
            break;
        }
    }
    return exitStatus;
}

// The print program beside this one.
std::string printProgram() {
#ifdef _WIN32
    // Files print through the shell there: no print program.
    return {};
#else
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ((ec ? std::filesystem::path(".") : self.parent_path()) / "tessaly-print").string();
#endif
}

#if defined(_WIN32) && defined(TESSALY_HAVE_WINDOW)
// Shows the messages through another interface and counts them.
class MessageCount : public UserInterface {
public:
    explicit MessageCount(std::unique_ptr<UserInterface> shown) : shown_(std::move(shown)) {}
    MessageAnswer messageBox(const Message& message) override {
        messages_.push_back(std::string(message.text));
        return shown_->messageBox(message);
    }
    const std::vector<std::string>& messages() const { return messages_; }

private:
    std::unique_ptr<UserInterface> shown_;
    std::vector<std::string> messages_;
};
#endif

#ifdef _WIN32
// The arguments as the system has them (UTF-16), in UTF-8: the run-time's
// argv holds them in the ANSI code page, which loses characters.
std::vector<std::string> systemArguments() {
    std::vector<std::string> args;
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide) return args;
    for (int i = 1; i < count; ++i) {
        const std::wstring arg = wide[i];
        args.push_back(toUtf8(std::u16string(arg.begin(), arg.end())));
    }
    ::LocalFree(wide);
    return args;
}

// A program without a console of its own writes to the console it was
// started from, if any.
void useParentConsole() {
    if (::AttachConsole(ATTACH_PARENT_PROCESS)) {
        (void)std::freopen("CONOUT$", "w", stdout);
        (void)std::freopen("CONOUT$", "w", stderr);
    }
}
#endif

// The wait for the one-shot values: a test may shorten its interval.
LockWait lockWait() {
    LockWait wait;
    if (const char* ms = std::getenv("TESSALY_TEST_LOCK_WAIT_MS"); ms && *ms)
        wait.interval = std::chrono::milliseconds(std::strtol(ms, nullptr, 10));
    return wait;
}

}  // namespace

int main(int argc, char** argv) {
    CommandLine options;
    std::string error;
#ifdef _WIN32
    const std::vector<std::string> args = systemArguments();
    if (::GetStdHandle(STD_OUTPUT_HANDLE) == nullptr) useParentConsole();
#else
    const std::vector<std::string> args(argv + 1, argv + argc);
#endif
    if (!parseCommandLine(args, &options, &error)) {
        std::fprintf(stderr, "tessaly: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!options.files.empty() || options.removeValues) {
#if defined(_WIN32) && defined(TESSALY_HAVE_WINDOW)
        // Without a console the messages are message boxes.
        MessageCount ui(makeDesktopMessages());
#else
        HeadlessUserInterface ui(stdout);
#endif
        ValueStore store = ValueStore::configured();
        const std::string program = printProgram();
        // tessaly-print has said why a file failed; the messages say the rest.
        int failures = 0;
        const bool showWindow = printCommandLineFiles(
            options, ui, store,
            [&](const std::string& path) {
                const PrintResult result = printFileToPrinter(path, program);
                if (result == PrintResult::failed) ++failures;
                return result;
            },
            lockWait());
        if (!showWindow) return failures == 0 && ui.messages().empty() ? 0 : 1;
    }
    if (!options.headless) {
        if (options.removeValues) return 0;
#ifdef TESSALY_HAVE_WINDOW
        if (openDisplay(&argc, &argv)) return runWindow(options);
        std::fputs("tessaly: cannot open the display; run the monitor with --headless\n", stderr);
#else
        std::fputs("tessaly: built without a window; run the monitor with --headless\n", stderr);
#endif
        return 2;
    }
    return runHeadless(options);
}
