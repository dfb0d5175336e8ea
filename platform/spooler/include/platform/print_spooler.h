#pragma once
// The print spooler as the installer sees it: the spooler service (start,
// stop, status), the printer driver directory, ports, drivers and printers.
// Every operation returns 0 on success or the spooler's error code (the
// Windows numbering, so that error reports read the same on every
// platform). On Linux the spooler is CUPS: the service is the CUPS service
// (the service manager's unit, or a cupsd process), the port is our CUPS
// backend, a driver is the PPD with the driver library, and a printer is a
// CUPS queue.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tessaly::spooler {

// Error codes.
inline constexpr uint32_t kOk = 0;
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorPathNotFound = 3;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorGenFailure = 31;
inline constexpr uint32_t kErrorBadNetPath = 53;
inline constexpr uint32_t kErrorInvalidParameter = 87;
inline constexpr uint32_t kErrorServiceAlreadyRunning = 1056;
inline constexpr uint32_t kErrorServiceNotActive = 1062;
inline constexpr uint32_t kErrorTimeout = 1460;
inline constexpr uint32_t kErrorServerUnavailable = 1722;
inline constexpr uint32_t kErrorUnknownPort = 1796;
inline constexpr uint32_t kErrorUnknownPrinterDriver = 1797;
inline constexpr uint32_t kErrorInvalidPrinterName = 1801;
inline constexpr uint32_t kErrorPrinterDriverInUse = 3001;

// The system's text for an error code ("The system cannot find the file
// specified." and the like); "Unknown error" for codes it does not know.
std::string errorText(uint32_t code);
// The error code of an errno value.
uint32_t errorFromErrno(int err);

enum class ServiceState { Stopped, StartPending, StopPending, Running };

// The spooler service. The installer runs the waiting and the time limits;
// these are the single calls.
class SpoolerService {
public:
    virtual ~SpoolerService() = default;
    // Starts the service; kErrorServiceAlreadyRunning when it runs already.
    virtual uint32_t start() = 0;
    virtual uint32_t state(ServiceState* out) = 0;
    // Sends the stop control (the service may take its time to stop).
    virtual uint32_t sendStop() = 0;
    // The active services that depend on the spooler, stopped before it.
    virtual std::vector<std::string> activeDependents() = 0;
    virtual uint32_t dependentState(const std::string& name, ServiceState* out) = 0;
    virtual uint32_t stopDependent(const std::string& name) = 0;
};

// What adding a driver names: the driver library and its configuration
// file (the PPD), by file name inside the driver directory.
struct DriverInfo {
    std::string name;
    std::string driverFile;
    std::string configFile;
};

struct PrinterInfo {
    std::string name;
    std::string portName;
    std::string driverName;
    std::string printProcessor;
    bool printDirectly = false;
};

class PrintSpooler {
public:
    virtual ~PrintSpooler() = default;
    // The directory where driver files are copied before a driver is added.
    virtual uint32_t driverDirectory(std::string* out) = 0;
    // Deletes the printer; kErrorInvalidPrinterName when there is none.
    virtual uint32_t deletePrinter(const std::string& name) = 0;
    // kErrorUnknownPrinterDriver when there is none, kErrorPrinterDriverInUse
    // when a printer still uses it.
    virtual uint32_t deletePrinterDriver(const std::string& name) = 0;
    // Takes the driver's files from the driver directory.
    virtual uint32_t addPrinterDriver(const DriverInfo& driver) = 0;
    virtual uint32_t addPrinter(const PrinterInfo& printer) = 0;
    // The port: its registration (absent counts as removed) and its file.
    virtual uint32_t addPort(const std::string& name) = 0;
    virtual uint32_t deletePort(const std::string& name) = 0;
    // Tells running programs that the printer's settings changed.
    virtual void broadcastPrinterChange(const std::string& name) = 0;
    // Files, as the installer copies and removes driver files.
    virtual uint32_t copyFile(const std::string& from, const std::string& to) = 0;
    // kErrorFileNotFound when there is no such file.
    virtual uint32_t deleteFile(const std::string& path) = 0;
};

// Time, so that the installer's waits can be tested without waiting.
class Clock {
public:
    virtual ~Clock() = default;
    virtual uint64_t milliseconds() = 0;
    virtual void sleep(uint32_t ms) = 0;
};

std::unique_ptr<Clock> systemClock();

// The CUPS implementations (Linux). The service is the service manager's CUPS unit
// when the machine has a service manager and TESSALY_CUPSD_CONFIG is not
// set; otherwise a cupsd process started with the configuration directory
// TESSALY_CUPSD_CONFIG (cupsd.conf and cups-files.conf; /etc/cups when
// unset), whose process id is kept in tessaly-cupsd.pid there.
std::unique_ptr<SpoolerService> cupsService();
// Printers over libcups (CUPS_SERVER selects the server); the backend is
// installed into CUPS's backend directory (CUPS_SERVERBIN overrides it).
std::unique_ptr<PrintSpooler> cupsSpooler();

#ifdef _WIN32
// The Windows implementations: the service "Spooler" through the service
// control manager, and printers, drivers and ports through the print spooler
// (the local port monitor, or its registration while the spooler is
// stopped). Error codes are the system's own.
std::unique_ptr<SpoolerService> win32Service();
std::unique_ptr<PrintSpooler> win32Spooler();
#endif

// Where driver files live: TESSALY_DRIVER_DIRECTORY, else the installation's
// (on Windows the spooler's driver directory).
std::string driverDirectoryPath();
// The name of our CUPS backend, the scheme of the printer's device URI.
inline constexpr const char* kBackendScheme = "tessaly";

}  // namespace tessaly::spooler
