#include "platform/printer_registry.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace tessaly {

namespace {

std::filesystem::path programDirectory() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path(".") : self.parent_path();
}

}  // namespace

std::string embeddedDriverPath() {
    if (const char* path = std::getenv("TESSALY_DRIVER"); path && *path) return path;
    return (programDirectory().parent_path() / "lib" / "libpagesmith.so").string();
}

int checkPrinter(std::string_view name, std::string* error) {
    if (name.size() != kPrinterName.size() || ::strncasecmp(name.data(), kPrinterName.data(), name.size()) != 0) {
        if (error) *error = "no printer named " + std::string(name);
        return 0;
    }
    if (cupsQueueExists(kPrinterName, nullptr)) return 1;
    // Opening the embedded printer: its driver must be a regular file the
    // spool host can read.
    const std::string driver = embeddedDriverPath();
    const int fd = ::open(driver.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = "the printer's driver is not installed: " + driver;
        return 0;
    }
    struct stat info {};
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    if (!regular) {
        if (error) *error = "the printer's driver is not a file: " + driver;
        return 0;
    }
    return 1;
}

}  // namespace tessaly
