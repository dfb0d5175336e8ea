#include "installer/deploy.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>

namespace tessaly::installer {

using spooler::ServiceState;

namespace {

constexpr uint32_t kStopLimitMs = 10000;
// Starting has no limit of its own on Windows; a service that never leaves
// its start state would hang the installer for good, so it is given two
// minutes.
constexpr uint32_t kStartLimitMs = 120000;
constexpr uint32_t kPollMs = 500;
constexpr uint32_t kPauseAfterStopMs = 4000;
constexpr const char* kMaker = "Korvane Software";
constexpr const char* kSupport = "support@korvane.example";

bool contains(const std::string& text, char c) { return text.find(c) != std::string::npos; }

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string fileName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string format(const char* pattern, const std::string& value) {
    std::string out;
    const char* at = std::strstr(pattern, "%s");
    if (!at) return pattern;
    out.assign(pattern, at);
    out += value;
    out += at + 2;
    return out;
}

// Polls until the state is no longer `pending`; kErrorTimeout once the
// limit, counted from `start`, has passed.
uint32_t waitWhile(spooler::Clock& clock, uint64_t start, uint32_t limit, ServiceState pending,
                   const std::function<uint32_t(ServiceState*)>& query, ServiceState* state) {
    for (;;) {
        if (const uint32_t code = query(state)) return code;
        if (*state != pending) return 0;
        if (clock.milliseconds() - start > limit) return spooler::kErrorTimeout;
        clock.sleep(kPollMs);
    }
}

class Run {
public:
    Run(const DeploySettings& settings, spooler::SpoolerService& service, spooler::PrintSpooler& spooler,
        spooler::Clock& clock, DeployOutput& output)
        : s_(settings), service_(service), spooler_(spooler), clock_(clock), output_(output) {}

    DeployResult run();

private:
    // A progress line in the verbose manner, a dot in the quiet one.
    void progress(const std::string& line, bool dot = true) {
        if (s_.verbose) {
            output_.out(line);
        } else if (dot) {
            output_.out(".");
        }
    }
    // Records the failure of a step and reports it in the verbose manner.
    void report(const std::string& step, uint32_t code) {
        errorNumber_ = code + stage_ * 100000;
        if (s_.verbose) {
            output_.err(step + " stage " + std::to_string(stage_) + ": error " + std::to_string(code) + " - " +
                        spooler::errorText(code) + "\n");
        }
    }
    bool fail(const std::string& step, uint32_t code) {
        report(step, code);
        failed_ = true;
        return false;
    }
    bool start() {
        std::string step;
        if (const uint32_t code = startSpooler(service_, clock_, &step)) return fail(step, code);
        return true;
    }
    bool stop() {
        std::string step;
        if (const uint32_t code = stopSpooler(service_, clock_, &step)) return fail(step, code);
        return true;
    }
    bool remove();
    bool install(bool stopped);

    const DeploySettings& s_;
    spooler::SpoolerService& service_;
    spooler::PrintSpooler& spooler_;
    spooler::Clock& clock_;
    DeployOutput& output_;
    uint32_t stage_ = 99;
    uint32_t errorNumber_ = 0;
    bool failed_ = false;
    std::string driverDir_;
};

bool Run::remove() {
    stage_ = 0;
    if (!start()) return false;
    stage_ = 1;
    if (const uint32_t code = spooler_.driverDirectory(&driverDir_)) return fail("GetPrinterDriverDirectory", code);

    stage_ = 2;
    const uint32_t deleted = spooler_.deletePrinter(s_.printerName);
    if (deleted == 0) {
        spooler_.broadcastPrinterChange(s_.printerName);
    } else if (deleted != spooler::kErrorFileNotFound && deleted != spooler::kErrorPathNotFound &&
               deleted != spooler::kErrorBadNetPath && deleted != spooler::kErrorInvalidPrinterName) {
        // Reported, but the run goes on.
        report("Unable to DeletePrinter", deleted);
    }
    progress(format("- Old printer %s uninstalled or unavailable\n", s_.printerName));

    stage_ = 3;
    const uint32_t driver = spooler_.deletePrinterDriver(s_.driverName);
    if (driver != 0 && driver != spooler::kErrorUnknownPrinterDriver && driver != spooler::kErrorPrinterDriverInUse)
        return fail("Unable to DeletePrinterDriver", driver);
    progress(format("- Old driver %s uninstalled or unavailable\n", s_.driverName));

    stage_ = 4;
    if (!stop()) return false;

    stage_ = 5;
    if (const uint32_t code = spooler_.deletePort(s_.portName)) return fail("Unable to delete Local Port 1", code);
    progress(format("- Old local port %s deleted\n", s_.portName));

    stage_ = 6;
    if (contains(s_.mode, 'i')) return install(true);
    if (!start()) return false;
    stage_ = 18;
    return true;
}

bool Run::install(bool stopped) {
    stage_ = 7;
    if (!stopped && !stop()) return false;

    stage_ = 8;
    if (const uint32_t code = spooler_.addPort(s_.portName)) return fail("Unable to install Local Port 1", code);
    progress(format("- New local port %s installed\n", s_.portName));

    stage_ = 9;
    if (!start()) return false;
    stage_ = 10;
    if (const uint32_t code = spooler_.driverDirectory(&driverDir_)) return fail("GetPrinterDriverDirectory", code);

    const std::string libraryName = fileName(s_.driverLibrary), configName = fileName(s_.driverConfig);
    stage_ = 11;
    for (const std::string& name : {configName, libraryName}) {
        const uint32_t code = spooler_.deleteFile(driverDir_ + "/3/" + name);
        if (code != 0 && code != spooler::kErrorFileNotFound && code != spooler::kErrorPathNotFound)
            return fail("ArePrintDriverFilesLocked", code);
    }

    stage_ = 12;
    for (const std::string* path : {&s_.driverLibrary, &s_.driverConfig}) {
        const std::string target = driverDir_ + "/" + fileName(*path);
        if (const uint32_t code = spooler_.copyFile(*path, target))
            return fail("Driver file copy to " + target + " failed", code);
    }
    progress(format("- New driver %s files copied\n", s_.driverName));

    stage_ = 13;
    if (const uint32_t code = spooler_.addPrinterDriver({s_.driverName, libraryName, configName}))
        return fail("AddPrinterDriver", code);
    progress(format("- New driver %s installed\n", s_.driverName));

    stage_ = 14;
    if (const uint32_t code = spooler_.addPrinter(
            {s_.printerName, s_.portName, s_.driverName, s_.printProcessor, s_.printDirectly}))
        return fail("Unable to AddPrinter", code);
    progress("- Installed new printer " + s_.printerName + " with new driver " + s_.driverName + "\n", false);

    stage_ = 15;
    if (!stop()) return false;
    stage_ = 16;
    if (!start()) return false;

    stage_ = 17;
    for (const std::string& name : {libraryName, configName}) {
        const std::string path = driverDir_ + "/" + name;
        const uint32_t code = spooler_.deleteFile(path);
        if (code != 0 && code != spooler::kErrorFileNotFound && code != spooler::kErrorPathNotFound && s_.verbose) {
            output_.err("Driver file delete from " + path + " failed stage 17: error " + std::to_string(code) +
                        " - " + spooler::errorText(code) + "\n");
        }
    }
    stage_ = 18;
    return true;
}

DeployResult Run::run() {
    bool ok = true;
    if (contains(s_.mode, 'u')) {
        ok = remove();
    } else if (contains(s_.mode, 'i')) {
        ok = install(false);
    } else {
        stage_ = 18;
    }
    DeployResult result;
    result.stage = stage_;
    if (ok && !failed_) {
        if (!s_.verbose) {
            (void)spooler_.deleteFile(s_.driverLibrary);
            (void)spooler_.deleteFile(s_.driverConfig);
        }
        result.errorNumber = 0;
        result.exitCode = 0;
        return result;
    }
    result.errorNumber = errorNumber_;
    result.exitCode = 1;
    if (!s_.verbose) {
        (void)spooler_.deleteFile(s_.driverLibrary);
        (void)spooler_.deleteFile(s_.driverConfig);
        output_.messageBox(kFailureTitle, failureMessage(errorNumber_));
    }
    // The spooler runs again after a failed run, whatever stopped it.
    std::string step;
    (void)startSpooler(service_, clock_, &step);
    return result;
}

}  // namespace

bool isVerboseName(const std::string& programPath) {
    const std::string name = lowered(fileName(programPath));
    return name == "deploykit" || name.find("deploykit.exe") != std::string::npos;
}

std::string usageText() {
    return std::string("usage: deploykit.exe -ui printer_name driver_name driver_dll driverui_dll\n"
                       "                     print_processor print_port print_directly\n") +
           kMaker + "\n";
}

std::string failureMessage(uint32_t errorNumber) {
    return std::string(
               "Unable to register the Tessaly driver component.\n\nThis usually happens if an instance of "
               "Tessaly is running or if the Printers Control Panel window is open.\nPlease restart Windows and "
               "re-install Tessaly which should allow installation to complete successfully.\n\nIf the problem "
               "persists, please contact ") +
           kSupport + " and mention error number " + std::to_string(errorNumber) +
           ".\nTessaly is not correctly installed.";
}

int parseArguments(const std::vector<std::string>& args, DeploySettings* out, std::string* usage) {
    DeploySettings settings;
    settings.verbose = !args.empty() && isVerboseName(args[0]);
    if (settings.verbose) {
        if (args.size() < 8) {
            if (usage) *usage = usageText();
            return 1;
        }
        settings.mode = args[1];
        settings.printerName = args[2];
        settings.driverName = args[3];
        settings.driverLibrary = args[4];
        settings.driverConfig = args[5];
        settings.printProcessor = args[6];
        settings.portName = args[7];
        settings.printDirectly = args.size() < 9 || (!args[8].empty() && args[8][0] == 'y');
    } else {
        if (args.size() < 2) return 1;
        settings.mode = args[1];
    }
    *out = settings;
    return 0;
}

uint32_t startSpooler(spooler::SpoolerService& service, spooler::Clock& clock, std::string* step) {
    const uint32_t started = service.start();
    if (started != 0 && started != spooler::kErrorServiceAlreadyRunning) {
        *step = "StartService";
        return started;
    }
    ServiceState state{};
    const uint32_t code = waitWhile(clock, clock.milliseconds(), kStartLimitMs, ServiceState::StartPending,
                                    [&](ServiceState* s) { return service.state(s); }, &state);
    if (code) *step = code == spooler::kErrorTimeout ? "StartService" : "QueryServiceStatus";
    return code;
}

uint32_t stopSpooler(spooler::SpoolerService& service, spooler::Clock& clock, std::string* step) {
    *step = "StopService";
    const uint64_t begin = clock.milliseconds();
    const auto spoolerState = [&](ServiceState* s) { return service.state(s); };
    ServiceState state{};
    if (const uint32_t code = spoolerState(&state)) return code;
    if (state == ServiceState::Stopped) return 0;
    if (state == ServiceState::StopPending) {
        if (const uint32_t code = waitWhile(clock, begin, kStopLimitMs, ServiceState::StopPending, spoolerState, &state))
            return code;
        if (state == ServiceState::Stopped) {
            clock.sleep(kPauseAfterStopMs);
            return 0;
        }
    }
    for (const std::string& name : service.activeDependents()) {
        if (const uint32_t code = service.stopDependent(name)) return code;
        ServiceState dependent{};
        const auto query = [&](ServiceState* s) { return service.dependentState(name, s); };
        for (;;) {
            if (const uint32_t code = query(&dependent)) return code;
            if (dependent == ServiceState::Stopped) break;
            if (clock.milliseconds() - begin > kStopLimitMs) return spooler::kErrorTimeout;
            clock.sleep(kPollMs);
        }
    }
    if (const uint32_t code = service.sendStop()) return code;
    for (;;) {
        if (const uint32_t code = spoolerState(&state)) return code;
        if (state == ServiceState::Stopped) break;
        if (clock.milliseconds() - begin > kStopLimitMs) return spooler::kErrorTimeout;
        clock.sleep(kPollMs);
    }
    clock.sleep(kPauseAfterStopMs);
    return 0;
}

DeployResult runDeploy(const DeploySettings& settings, spooler::SpoolerService& service,
                       spooler::PrintSpooler& spooler, spooler::Clock& clock, DeployOutput& output) {
    return Run(settings, service, spooler, clock, output).run();
}

}  // namespace tessaly::installer
