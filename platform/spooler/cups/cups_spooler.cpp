// Printers, drivers and the port over libcups. A driver is a record in the
// driver directory's "3" folder naming its library, its PPD and the
// printers that use it; a port is a record in its "ports" folder and our
// backend in CUPS's backend directory.

#include <cups/cups.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/print_spooler.h"
#include "platform/spooler_records.h"

namespace fs = std::filesystem;

namespace tessaly::spooler {

namespace {

uint32_t errorFromIpp(ipp_status_t status) {
    switch (status) {
        case IPP_STATUS_OK:
        case IPP_STATUS_OK_IGNORED_OR_SUBSTITUTED:
        case IPP_STATUS_OK_CONFLICTING: return kOk;
        case IPP_STATUS_ERROR_NOT_FOUND: return kErrorInvalidPrinterName;
        case IPP_STATUS_ERROR_FORBIDDEN:
        case IPP_STATUS_ERROR_NOT_AUTHORIZED:
        case IPP_STATUS_ERROR_NOT_AUTHENTICATED: return kErrorAccessDenied;
        case IPP_STATUS_ERROR_SERVICE_UNAVAILABLE:
        case IPP_STATUS_ERROR_INTERNAL: return kErrorServerUnavailable;
        default: return kErrorGenFailure;
    }
}

// Copies a file, replacing the target, with the given mode.
uint32_t copyWithMode(const std::string& from, const std::string& to, mode_t mode) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return errorFromErrno(errno);
    const std::string temp = to + ".new";
    const int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, mode);
    if (out < 0) {
        const int err = errno;
        ::close(in);
        return errorFromErrno(err);
    }
    char buffer[65536];
    ssize_t n;
    int err = 0;
    while ((n = ::read(in, buffer, sizeof buffer)) != 0) {
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            break;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buffer + done, size_t(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                err = errno;
                break;
            }
            done += w;
        }
        if (err) break;
    }
    ::close(in);
    if (::fchmod(out, mode) != 0 && !err) err = errno;
    if (::close(out) != 0 && !err) err = errno;
    if (!err && ::rename(temp.c_str(), to.c_str()) != 0) err = errno;
    if (err) ::unlink(temp.c_str());
    return errorFromErrno(err);
}

class CupsSpooler : public PrintSpooler {
public:
    uint32_t driverDirectory(std::string* out) override {
        *out = driverDirectoryPath();
        std::error_code ec;
        fs::create_directories(*out, ec);
        return ec ? errorFromErrno(ec.value()) : kOk;
    }

    uint32_t deletePrinter(const std::string& name) override {
        ipp_t* request = printerRequest(IPP_OP_CUPS_DELETE_PRINTER, name);
        return send(request, nullptr);
    }

    uint32_t deletePrinterDriver(const std::string& name) override {
        const std::string path = driverRecordPath(driverDirectoryPath(), name);
        Record record;
        if (!readRecord(path, &record)) return kErrorUnknownPrinterDriver;
        for (const std::string& printer : record.all("printer")) {
            if (printerExists(printer)) return kErrorPrinterDriverInUse;
        }
        const std::string folder = driverDirectoryPath() + "/3/";
        for (const char* key : {"driver", "config"}) {
            const std::string file = record.get(key);
            if (!file.empty() && ::unlink((folder + file).c_str()) != 0 && errno != ENOENT)
                return errorFromErrno(errno);
        }
        return ::unlink(path.c_str()) == 0 ? kOk : errorFromErrno(errno);
    }

    uint32_t addPrinterDriver(const DriverInfo& driver) override {
        const std::string dir = driverDirectoryPath();
        if (!safeFileName(driver.driverFile) || !safeFileName(driver.configFile) || driver.name.empty())
            return kErrorInvalidParameter;
        std::error_code ec;
        fs::create_directories(dir + "/3", ec);
        if (ec) return errorFromErrno(ec.value());
        if (!isPpd(dir + "/" + driver.configFile)) return kErrorInvalidParameter;
        if (const uint32_t code = copyWithMode(dir + "/" + driver.driverFile, dir + "/3/" + driver.driverFile, 0755))
            return code;
        if (const uint32_t code = copyWithMode(dir + "/" + driver.configFile, dir + "/3/" + driver.configFile, 0644))
            return code;
        Record record;
        const std::string path = driverRecordPath(dir, driver.name);
        (void)readRecord(path, &record);
        record.set("name", driver.name);
        record.set("driver", driver.driverFile);
        record.set("config", driver.configFile);
        return writeRecord(path, record) ? kOk : kErrorAccessDenied;
    }

    uint32_t addPrinter(const PrinterInfo& printer) override {
        const std::string dir = driverDirectoryPath();
        const std::string recordPath = driverRecordPath(dir, printer.driverName);
        Record record;
        if (!readRecord(recordPath, &record)) return kErrorUnknownPrinterDriver;
        Record port;
        if (!readRecord(portRecordPath(dir, printer.portName), &port)) return kErrorUnknownPort;
        if (printer.name.empty() || printer.name.size() > 127) return kErrorInvalidPrinterName;
        for (char c : printer.name) {
            // CUPS queue names are printable, without '/', '#', '\\' or blanks.
            if (c <= ' ' || c == '/' || c == '#' || c == '\\' || c == 127) return kErrorInvalidPrinterName;
        }
        char uri[1024];
        httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, kBackendScheme, nullptr, nullptr, 0, "/%s%s",
                         printer.portName.c_str(), printer.printDirectly ? "?direct=yes" : "");
        ipp_t* request = printerRequest(IPP_OP_CUPS_ADD_MODIFY_PRINTER, printer.name);
        ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_URI, "device-uri", nullptr, uri);
        ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-info", nullptr, printer.name.c_str());
        ippAddBoolean(request, IPP_TAG_PRINTER, "printer-is-accepting-jobs", 1);
        ippAddInteger(request, IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-state", IPP_PSTATE_IDLE);
        // pdftopdf turns a landscape page onto portrait paper unless told
        // not to; the movie shows pages upright, so the queue asks it not to.
        ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_NAME, "pdfAutoRotate-default", nullptr, "false");
        const std::string ppd = dir + "/3/" + record.get("config");
        if (const uint32_t code = send(request, ppd.c_str())) return code;
        record.add("printer", printer.name);
        return writeRecord(recordPath, record) ? kOk : kErrorAccessDenied;
    }

    uint32_t addPort(const std::string& name) override {
        const std::string dir = driverDirectoryPath();
        if (name.empty()) return kErrorInvalidParameter;
        std::error_code ec;
        fs::create_directories(dir + "/ports", ec);
        if (ec) return errorFromErrno(ec.value());
        // The backend runs as root (mode 0700) to hand each job to its user.
        const std::string backendDir = cupsBackendDirectory();
        fs::create_directories(backendDir, ec);
        if (const uint32_t code = copyWithMode(backendProgramPath(), backendDir + "/" + kBackendScheme, 0700))
            return code;
        Record port;
        port.set("name", name);
        port.set("print", printProgramPath());
        return writeRecord(portRecordPath(dir, name), port) ? kOk : kErrorAccessDenied;
    }

    uint32_t deletePort(const std::string& name) override {
        const std::string dir = driverDirectoryPath();
        if (::unlink(portRecordPath(dir, name).c_str()) != 0 && errno != ENOENT) return errorFromErrno(errno);
        // The backend stays while another port still uses it.
        std::error_code ec;
        for (fs::directory_iterator it(dir + "/ports", ec), end; !ec && it != end; it.increment(ec)) {
            if (it->path().extension() == ".port") return kOk;
        }
        const std::string backend = cupsBackendDirectory() + "/" + kBackendScheme;
        if (::unlink(backend.c_str()) != 0 && errno != ENOENT) return errorFromErrno(errno);
        return kOk;
    }

    void broadcastPrinterChange(const std::string&) override {
        // CUPS tells its clients of changed queues itself (printer-state
        // events); nothing to send.
    }

    uint32_t copyFile(const std::string& from, const std::string& to) override {
        struct stat info {};
        if (::stat(from.c_str(), &info) != 0) return errorFromErrno(errno);
        return copyWithMode(from, to, info.st_mode & 0755);
    }

    uint32_t deleteFile(const std::string& path) override {
        return ::unlink(path.c_str()) == 0 ? kOk : errorFromErrno(errno);
    }

private:
    static ipp_t* printerRequest(ipp_op_t op, const std::string& name) {
        ipp_t* request = ippNewRequest(op);
        char uri[1024];
        httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                         "/printers/%s", name.c_str());
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
        return request;
    }

    // Sends an administrative request (the PPD attached when given).
    static uint32_t send(ipp_t* request, const char* file) {
        http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 30000, nullptr);
        if (!http) {
            ippDelete(request);
            return kErrorServerUnavailable;
        }
        ipp_t* response = cupsDoFileRequest(http, request, "/admin/", file);
        const ipp_status_t status = cupsLastError();
        ippDelete(response);
        httpClose(http);
        return errorFromIpp(status);
    }

    static bool printerExists(const std::string& name) {
        ipp_t* request = printerRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, name);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "printer-name");
        http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 30000, nullptr);
        if (!http) {
            ippDelete(request);
            return true;  // unknown: the driver is kept
        }
        ipp_t* response = cupsDoRequest(http, request, "/");
        const ipp_status_t status = cupsLastError();
        ippDelete(response);
        httpClose(http);
        return status != IPP_STATUS_ERROR_NOT_FOUND;
    }

    static bool isPpd(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        char head[10] = {};
        in.read(head, sizeof head);
        return in.gcount() == sizeof head && std::string(head, sizeof head) == "*PPD-Adobe";
    }
};

}  // namespace

std::unique_ptr<PrintSpooler> cupsSpooler() { return std::make_unique<CupsSpooler>(); }

}  // namespace tessaly::spooler
