#pragma once
// The printers this machine offers to the application, where Windows keeps
// its list of installed printers. Today that is the embedded printer: the
// driver library installed beside the programs, which the spool host loads
// for tessaly-print, automatic printing and dropped files, and the queue of
// the same name that the installer adds to the system's print server.

#include <string>
#include <string_view>

namespace tessaly {

// The name the printer is installed under.
inline constexpr std::string_view kPrinterName = "Tessaly";

// Where the embedded printer's driver library is: TESSALY_DRIVER from the
// environment, else ../lib/libpagesmith.so or ../lib/tessaly/libpagesmith.so
// from the running program's directory, else the installation's.
std::string embeddedDriverPath();

// Whether the print server (CUPS_SERVER, else the machine's) has a queue of
// that name that prints through our backend: 1, or 0 with the reason.
[[nodiscard]] int cupsQueueExists(std::string_view name, std::string* error);

// Opens and closes the named printer (names compared ignoring case, as the
// spooler does): 1 when it exists and can be used (the print server's queue,
// else the embedded printer's driver, and the user's spool directory can be
// had), else 0 with the reason in *error.
[[nodiscard]] int checkPrinter(std::string_view name, std::string* error);

}  // namespace tessaly
