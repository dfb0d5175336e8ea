#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/print_spooler.h"

namespace tessaly::spooler {

std::string errorText(uint32_t code) {
    switch (code) {
        case kOk: return "The operation completed successfully.";
        case kErrorFileNotFound: return "The system cannot find the file specified.";
        case kErrorPathNotFound: return "The system cannot find the path specified.";
        case kErrorAccessDenied: return "Access is denied.";
        case kErrorGenFailure: return "A device attached to the system is not functioning.";
        case kErrorBadNetPath: return "The network path was not found.";
        case kErrorInvalidParameter: return "The parameter is incorrect.";
        case kErrorServiceAlreadyRunning: return "An instance of the service is already running.";
        case kErrorServiceNotActive: return "The service has not been started.";
        case kErrorTimeout: return "This operation returned because the timeout period expired.";
        case kErrorServerUnavailable: return "The RPC server is unavailable.";
        case kErrorUnknownPrinterDriver: return "The printer driver is unknown.";
        case kErrorInvalidPrinterName: return "The printer name is invalid.";
        case kErrorPrinterDriverInUse: return "The specified printer driver is currently in use.";
        default: return "Unknown error";
    }
}

uint32_t errorFromErrno(int err) {
    switch (err) {
        case 0: return kOk;
        case ENOENT: return kErrorFileNotFound;
        case ENOTDIR: return kErrorPathNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
        case EBUSY:
        case ETXTBSY: return kErrorAccessDenied;
        case EINVAL: return kErrorInvalidParameter;
        default: return kErrorGenFailure;
    }
}

namespace {

class SystemClock : public Clock {
public:
    uint64_t milliseconds() override {
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count());
    }
    void sleep(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

}  // namespace

std::unique_ptr<Clock> systemClock() { return std::make_unique<SystemClock>(); }

std::string driverDirectoryPath() {
    if (const char* dir = std::getenv("TESSALY_DRIVER_DIRECTORY"); dir && *dir) return dir;
    return TESSALY_DRIVER_DEFAULT_DIRECTORY;
}

}  // namespace tessaly::spooler
