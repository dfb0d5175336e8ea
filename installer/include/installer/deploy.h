#pragma once
// deploykit: registers the virtual printer with the print spooler (its port,
// its driver and the printer), or removes it, as a fixed sequence of numbered
// stages. The stage number is part of every error number:
// error number = error code + stage * 100000.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/print_spooler.h"

namespace tessaly::installer {

struct DeploySettings {
    bool verbose = false;
    std::string mode;
    std::string printerName = "Tessaly";
    std::string driverName = "Tessaly Driver";
#ifdef _WIN32
    std::string driverLibrary = "pagesmith.dll";
    std::string driverConfig = "pagesmithui.dll";
#else
    std::string driverLibrary = "libpagesmith.so";
    std::string driverConfig = "Tessaly.ppd";
#endif
    std::string printProcessor = "WinPrint";
    std::string portName = "TessalyPort";
    bool printDirectly = false;
};

// The manner follows the program's name: verbose when its file name is
// deploykit (or deploykit.exe), case ignored; quiet under any other name.
bool isVerboseName(const std::string& programPath);

// The settings of one run from the arguments (argv[0] is the program).
// 0: run; 1: exit at once with code 1 (usage, printed to err in the verbose
// manner).
int parseArguments(const std::vector<std::string>& args, DeploySettings* out, std::string* usage);

// Where a run reports.
class DeployOutput {
public:
    virtual ~DeployOutput() = default;
    virtual void out(const std::string& text) = 0;
    virtual void err(const std::string& text) = 0;
    // The quiet manner's warning to the user.
    virtual void messageBox(const std::string& title, const std::string& text) = 0;
};

struct DeployResult {
    int exitCode = 0;
    uint32_t stage = 99;
    uint32_t errorNumber = 0;  // 0 on success
};

// The usage text of the verbose manner.
std::string usageText();
// The quiet manner's message for an error number.
std::string failureMessage(uint32_t errorNumber);
inline constexpr const char* kFailureTitle = "Tessaly Installation Error";

// One run through the stages.
DeployResult runDeploy(const DeploySettings& settings, spooler::SpoolerService& service,
                       spooler::PrintSpooler& spooler, spooler::Clock& clock, DeployOutput& output);

// The spooler's start and stop, with their waits (stop: at most 10 s in all,
// then kErrorTimeout). *step names the call that failed.
uint32_t startSpooler(spooler::SpoolerService& service, spooler::Clock& clock, std::string* step);
uint32_t stopSpooler(spooler::SpoolerService& service, spooler::Clock& clock, std::string* step);

}  // namespace tessaly::installer
