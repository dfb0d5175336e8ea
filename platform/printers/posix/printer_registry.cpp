#include "platform/printer_registry.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/user_spool.h"

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
    const std::filesystem::path prefix = programDirectory().parent_path();
    std::error_code ec;
    // The build tree keeps the libraries in lib/, an installation in its
    // private lib/tessaly/; a program installed elsewhere (the backend in
    // the print server's directory) finds the installation's.
    for (const std::filesystem::path& candidate :
         {prefix / "lib" / "libpagesmith.so", prefix / "lib" / "tessaly" / "libpagesmith.so"}) {
        if (std::filesystem::is_regular_file(candidate, ec)) return candidate.string();
    }
#ifdef TESSALY_INSTALLED_DRIVER
    if (std::filesystem::is_regular_file(TESSALY_INSTALLED_DRIVER, ec)) return TESSALY_INSTALLED_DRIVER;
#endif
    return (prefix / "lib" / "libpagesmith.so").string();
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
    // The printer delivers into the user's spool directory; without one the
    // user's jobs would have nowhere to go.
    std::string spool, why;
    if (!currentUserSpoolDirectory(&spool, &why)) {
        if (error) *error = "the printer has no spool directory for this user: " + why;
        return 0;
    }
    return 1;
}

}  // namespace tessaly
