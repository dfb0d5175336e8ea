#include "app/automatic_printing.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "app/job_monitor.h"
#include "composer/settings.h"
#include "platform/named_mutex.h"
#include "platform/registry.h"
#include "support/paths.h"
#include "support/text.h"

#ifndef _WIN32
extern char** environ;
#endif

namespace tessaly::app {

namespace {

constexpr const char* kLocationValue = "MSNextOutputLocation";
constexpr const char* kFlagsValue = "MSNextOutputFlags";
constexpr uint32_t kDefaultFlags = kOutputFile | kOutputFlash;
// Held by a requester from its look at the values until its file is
// printed, so two requesters never both see them free.
constexpr std::string_view kRequestMutex = "tessaly_nextoutput";

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

bool valueExists(const ValueStore& store, const char* name) {
    RegistryType type;
    return store.type(name, &type) != kRegistryNotFound;
}

void deleteValues(ValueStore& store) {
    (void)store.deleteValue(kLocationValue);
    (void)store.deleteValue(kFlagsValue);
}

// Waits until no other request holds the values; true with the request
// mutex owned.
bool waitForValues(ValueStore& store, NamedMutex& mutex, const LockWait& wait) {
    for (int waited = 0;; ++waited) {
        if (mutex.isOpen() && mutex.tryWait()) {
            if (!valueExists(store, kLocationValue)) return true;
            (void)mutex.release();
        }
        if (waited >= wait.waits) return false;
        std::this_thread::sleep_for(wait.interval);
    }
}

}  // namespace

uint32_t outputFlagsForMode(std::string_view mode) {
    const std::string m = lowered(mode);
    uint32_t flags = kOutputFile;
    const size_t flash = m.find("flash");
    if (flash != std::string::npos && (flash + 5 >= m.size() || m[flash + 5] != '_')) flags |= kOutputFlash;
    if (m.find("flash_html") != std::string::npos) flags |= kOutputFlashHtml;
    return flags;
}

int parseCommandLine(const std::vector<std::string>& args, CommandLine* out, std::string* error) {
    CommandLine line;
    // Switches waiting for their plain argument, in order.
    std::vector<char> pending;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string name;
        if (arg.size() > 1 && arg[0] == '-') {
            name = lowered(arg.substr(arg[1] == '-' ? 2 : 1));
        } else if (arg.size() > 1 && arg[0] == '/') {
            const std::string candidate = lowered(arg.substr(1));
            if (candidate == "attached" || candidate == "o" || candidate == "m" || candidate == "r") name = candidate;
        }
        if (name.empty()) {
            if (!pending.empty()) {
                const char which = pending.front();
                pending.erase(pending.begin());
                if (which == 'o') {
                    std::error_code ec;
                    const std::string absolute = std::filesystem::absolute(arg, ec).lexically_normal().string();
                    if (ec || arg.empty()) {
                        *error = "bad output location '" + arg + "'";
                        return 0;
                    }
                    if (toWide(absolute).size() >= kMaxOutputLocation) {
                        *error = "the output location is too long (at most 259 characters): " + absolute;
                        return 0;
                    }
                    line.outputLocation = absolute;
                } else {
                    line.outputFlags = outputFlagsForMode(arg);
                }
            } else {
                line.files.push_back(arg);
            }
            continue;
        }
        if (name == "attached") {
            line.attached = true;
        } else if (name == "o" || name == "m") {
            pending.push_back(name[0]);
        } else if (name == "r") {
            line.removeValues = true;
        } else if (name == "headless") {
            line.headless = true;
        } else if (name == "once") {
            line.once = true;
        } else if (name == "h" || name == "help") {
            line.help = true;
        } else if (name == "output-dir" && i + 1 < args.size()) {
            line.outputDir = args[++i];
        } else {
            *error = "unknown option " + arg;
            return 0;
        }
    }
    if (!pending.empty()) {
        *error = std::string("-") + pending.front() + (pending.front() == 'o' ? " needs a location" : " needs a mode");
        return 0;
    }
    *out = std::move(line);
    return 1;
}

bool printCommandLineFiles(const CommandLine& commandLine, UserInterface& ui, ValueStore& store,
                           const FilePrinter& print, const LockWait& wait) {
    if (commandLine.removeValues) deleteValues(store);
    if (commandLine.files.empty()) return true;
    std::optional<std::string> location = commandLine.outputLocation;
    const uint32_t flags = commandLine.outputFlags.value_or(kDefaultFlags);
    for (const std::string& file : commandLine.files) {
        NamedMutex request;
        bool carried = false;
        if (location) {
            (void)request.create(kRequestMutex, false);
            if (!waitForValues(store, request, wait)) {
                Message message{"Could not print because registry is locked.\nPlease try again later.",
                                "Printing Error", MessageIcon::warning};
                message.topmost = true;
                (void)ui.messageBox(message);
                return false;
            }
            // A location that cannot be handed over is dropped: the file
            // prints without it.
            if (store.writeString(kLocationValue, toWide(*location)) != kRegistryOk) {
                location.reset();
            } else if (store.writeDword(kFlagsValue, flags) != kRegistryOk) {
                (void)store.deleteValue(kLocationValue);
                location.reset();
            } else {
                carried = true;
            }
        }
        const PrintResult result = print(file);
        if (result != PrintResult::printed) {
            // Values the job never took must not steer the next one.
            if (carried) deleteValues(store);
            if (result == PrintResult::unsupported) {
                const std::string text = "Automatic printing is not defined for this file type:\n" + file +
                                         "\n\nTo print this file, open it on the respective application and print "
                                         "into Tessaly.";
                Message message{text, "Automatic Printing Error", MessageIcon::warning};
                message.topmost = true;
                message.ownerless = true;
                (void)ui.messageBox(message);
            }
        }
        location.reset();
    }
    return false;
}

#ifdef _WIN32
PrintResult printFileThroughShell(const std::string& path) {
    const std::u16string file = pathFromUtf8(path);
    if (file.empty()) return PrintResult::unsupported;
    // The printer, its driver and its port, as the verb's %2 %3 %4.
    const wchar_t* parameters = L"\"Tessaly\" \"Tessaly Driver\" \"TessalyPort\"";
    const HINSTANCE result = ::ShellExecuteW(nullptr, L"printto", reinterpret_cast<const wchar_t*>(file.c_str()),
                                             parameters, nullptr, SW_SHOWNORMAL);
    // The shell says nothing more useful than "it did not print": the file
    // type has no verb for it, or its program could not be started.
    return reinterpret_cast<INT_PTR>(result) > 32 ? PrintResult::printed : PrintResult::unsupported;
}

PrintResult printFileToPrinter(const std::string& path, const std::string& /*printProgram*/) {
    return printFileThroughShell(path);
}
#else
PrintResult printFileToPrinter(const std::string& path, const std::string& printProgram) {
    // What the PDF front end reads: a file that begins with "%PDF-" within
    // its first kilobyte, as readers accept.
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return PrintResult::unsupported;
    char head[1024];
    const size_t got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    if (std::string_view(head, got).find("%PDF-") == std::string_view::npos) return PrintResult::unsupported;

    std::vector<std::string> args = {printProgram, "--to-printer", "--", path};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, printProgram.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
        return PrintResult::failed;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return PrintResult::failed;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? PrintResult::printed : PrintResult::failed;
}
#endif

std::optional<std::string> automaticOutputLocation(const JobMonitor& monitor) {
    const JobSettings& settings = monitor.jobSettings();
    const std::u16string_view location = settings.outputLocationText();
    if (location.empty() || !(settings.outputFlags & kOutputFile)) return std::nullopt;
    return toUtf8(location);
}

bool automaticOutput(JobMonitor& monitor, UserInterface& ui, SavePreferences& preferences) {
    const std::optional<std::string> location = automaticOutputLocation(monitor);
    if (!location || !monitor.hasMovie()) return false;
    const uint32_t flags = monitor.jobSettings().outputFlags;
    SaveContext context{ui, monitor.config().baseDirectory, monitor.movie(), preferences, true};
    if (flags & kOutputFlash) {
        if (!replaceWithCopy(monitor.movie().moviePath, *location)) {
            showMessage(ui,
                        "Could not save the Flash movie, please check the permissions of the destination directory "
                        "and if there is enough free space to save the Flash movie.",
                        "Tessaly Error", MessageIcon::warning);
            return false;
        }
    }
    if ((flags & kOutputFlashHtml) && !writeHtml(context, *location)) return false;
    monitor.setSaved(true);
    return true;
}

}  // namespace tessaly::app
