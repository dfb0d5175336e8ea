// The Tessaly application. Until the desktop window exists, it runs the job
// monitor without one: "tessaly --headless" watches the spool directory,
// converts each job it claims and saves the movie into a folder.

#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/folder_output.h"
#include "app/headless_ui.h"
#include "app/job_monitor.h"
#include "app/preferences.h"
#include "app/saving.h"
#include "composer/settings.h"
#include "platform/registry.h"
#include "support/directories.h"
#include "support/paths.h"
#include "support/text.h"

namespace {

using namespace tessaly;
using namespace tessaly::app;

constexpr const char* kUsage =
    "Usage: tessaly --headless [--attached] [--once] [--output-dir DIR]\n"
    "\n"
    "Runs the job monitor without a window: finds the jobs the Tessaly printer\n"
    "writes into the spool directory (the stored value SpoolPath), claims each\n"
    "one for this instance, converts it and saves the movie into a folder,\n"
    "named after the document's title. Progress is printed as lines:\n"
    "\"status:\" (the status line), \"progress:\" (the page being received or\n"
    "converted), \"message:\" (messages, answered as closing the box would),\n"
    "\"saved:\" (the movie file written).\n"
    "\n"
    "  --attached        a print job is expected (shown as receiving at once)\n"
    "  --once            stop after the first job (exit status 0 when its movie\n"
    "                    was saved, 1 when it failed)\n"
    "  --output-dir DIR  the folder for the movies; default: the stored value\n"
    "                    PrinterSaveFolder, else ~/Tessaly/\n"
    "  -h, --help        show this help\n"
    "\n"
    "The stored values are read from the value store that stands in for the\n"
    "registry (TESSALY_REGISTRY_ROOT overrides its location); the job mutexes\n"
    "live in TESSALY_RUNTIME_DIR when set. The data directory is BasePath.\n";

constexpr std::string_view kErrorTitle = "Tessaly Error";

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

struct Options {
    bool headless = false, attached = false, once = false;
    std::string outputDir;
    std::vector<std::string> files;
};

// Runs jobs until stopped (or after one with --once). The exit status.
int runHeadless(const Options& options) {
    HeadlessUserInterface ui(stdout);
    std::string base, spool;
    const bool installed = readInstallPaths(&base, &spool) == 1;
    if (!installed) {
        showMessage(ui, "Tessaly is not correctly installed. Please reinstall Tessaly.\n\nTessaly will now close.",
                    kErrorTitle, MessageIcon::warning);
        return 1;
    }
    if (!spoolListable(spool)) {
        showMessage(ui,
                    "Could not find the Spool directory, this usually means that the installation directory is "
                    "corrupted.\nPlease reinstall Tessaly.\n\nTessaly will now close.",
                    kErrorTitle, MessageIcon::warning);
        return 1;
    }
    const std::string folder = options.outputDir.empty() ? defaultOutputFolder() : options.outputDir;

    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);

    PollingTimer timer;
    int exitStatus = 0;
    while (!stopRequested) {
        MonitorConfig config;
        config.baseDirectory = base;
        config.spoolDirectory = spool;
        config.attached = options.attached;
        ValueStore store(ValueStore::configuredRoot());
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

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--headless") {
            options.headless = true;
        } else if (arg == "--attached" || arg == "-attached" || arg == "/attached") {
            options.attached = true;
        } else if (arg == "--once") {
            options.once = true;
        } else if (arg == "--output-dir" && i + 1 < argc) {
            options.outputDir = argv[++i];
        } else if (!arg.empty() && arg.front() == '-') {
            std::fprintf(stderr, "tessaly: unknown option %s\n%s", argv[i], kUsage);
            return 2;
        } else {
            options.files.emplace_back(arg);
        }
    }
    if (!options.files.empty()) {
        std::fputs("tessaly: printing files is not available yet; use tessaly-print FILE.pdf\n", stderr);
        return 2;
    }
    if (!options.headless) {
        std::fputs("tessaly: there is no window yet; run the monitor with --headless\n", stderr);
        return 2;
    }
    return runHeadless(options);
}
