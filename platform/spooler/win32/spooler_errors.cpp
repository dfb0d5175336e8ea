// Error texts, time and the driver directory on Windows.

#include <windows.h>

#include <cerrno>
#include <cstdlib>

#include "platform/print_spooler.h"
#include "wide.h"

namespace tessaly::spooler {

std::string errorText(uint32_t code) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out;
    if (n && text) out = win32::toUtf8(text);
    if (text) LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
    return out.empty() ? "Unknown error" : out;
}

uint32_t errorFromErrno(int err) {
    switch (err) {
        case 0: return kOk;
        case ENOENT: return kErrorFileNotFound;
        case ENOTDIR: return kErrorPathNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
        case EBUSY: return kErrorAccessDenied;
        case EINVAL: return kErrorInvalidParameter;
        default: return kErrorGenFailure;
    }
}

namespace {

class SystemClock : public Clock {
public:
    uint64_t milliseconds() override { return GetTickCount64(); }
    void sleep(uint32_t ms) override { Sleep(ms); }
};

}  // namespace

std::unique_ptr<Clock> systemClock() { return std::make_unique<SystemClock>(); }

std::string driverDirectoryPath() {
    if (const char* dir = std::getenv("TESSALY_DRIVER_DIRECTORY"); dir && *dir) return dir;
    std::string out;
    if (win32Spooler()->driverDirectory(&out) != 0) return {};
    return out;
}

}  // namespace tessaly::spooler
