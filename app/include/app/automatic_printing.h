#pragma once
// Automatic printing: files named on the command line are printed to the
// Tessaly printer, and the first one's movie may be delivered to an output
// location without asking. The request hands the location and what to write
// there to the converting instance through two one-shot values of the value
// store, MSNextOutputLocation and MSNextOutputFlags, which the driver consumes
// when the next job begins. While a location waits there, another request
// waits for it to go: the values work as a lock between requesters.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/html_writer.h"
#include "app/user_interface.h"

namespace tessaly {
class ValueStore;
}

namespace tessaly::app {

class JobMonitor;

// The command line. Switches begin with "-" (or "--"); "/" introduces one
// only when it is followed by a switch name exactly ("/o"), since a path
// begins with "/" too. Names are compared ignoring case.
struct CommandLine {
    bool attached = false;
    bool removeValues = false;  // "r": drop stored one-shot values first
    std::optional<std::string> outputLocation;  // "o", made absolute
    std::optional<uint32_t> outputFlags;        // from "m"
    std::vector<std::string> files;             // in order
    // The monitor without a window.
    bool headless = false, once = false, help = false;
    std::string outputDir;
};

// The longest output location the job settings can carry, in UTF-16 units
// (with its terminator).
inline constexpr size_t kMaxOutputLocation = 260;

// Parses the arguments (without the program name). 1, or 0 with the reason
// in *error (an unknown switch, a switch without its argument, a location
// too long to be carried).
[[nodiscard]] int parseCommandLine(const std::vector<std::string>& args, CommandLine* out, std::string* error);

// The flags an "m" mode asks for: automatic output (0x1), the SWF at the
// location (0x100) when the first "flash" in it is not followed by "_", an
// HTML page (0x200) when it contains "flash_html".
uint32_t outputFlagsForMode(std::string_view mode);

// What printing one file gave.
enum class PrintResult { printed, failed, unsupported };
using FilePrinter = std::function<PrintResult(const std::string& path)>;

// The wait for the one-shot values to be free: checked once, then after
// each interval, up to `waits` times.
struct LockWait {
    int waits = 30;
    std::chrono::milliseconds interval{1000};
};

// Prints the command line's files in order; the output location goes with
// the first file only. A file that cannot be printed is reported and the
// others go on; a lock that stays taken stops the rest. True when the main
// window should be shown (no file was given).
bool printCommandLineFiles(const CommandLine& commandLine, UserInterface& ui, ValueStore& store,
                           const FilePrinter& print, const LockWait& wait = {});

// Prints a file to the Tessaly printer with the print program (tessaly-print):
// a PDF is printed into the printer's spool directory for a monitor to pick
// up. Other file types cannot be printed: unsupported. On Windows the file's
// own program prints it through the shell's "printto" verb (the program
// is not used).
PrintResult printFileToPrinter(const std::string& path, const std::string& printProgram);
#ifdef _WIN32
// The shell's "printto" verb for the file with the printer "Tessaly", its
// driver and its port: printed when the shell started the file's program,
// else unsupported.
PrintResult printFileThroughShell(const std::string& path);
#endif

// The delivery of a finished movie to the location its job carries: the SWF
// there (0x100) and/or an HTML page built from it (0x200), without
// questions. True when delivered; false when the job asks for nothing or a
// failure was shown (the movie then stays to be saved by hand).
bool automaticOutput(JobMonitor& monitor, UserInterface& ui, SavePreferences& preferences);

// Where automaticOutput puts the files for a job: nothing when the job
// asks for no automatic output.
std::optional<std::string> automaticOutputLocation(const JobMonitor& monitor);

}  // namespace tessaly::app
