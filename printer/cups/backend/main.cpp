// tessaly (CUPS backend): the printer's port. CUPS runs it for each job of
// the Tessaly queue with the job's PDF; it finds the job's user, makes the
// user's spool directory and prints the PDF into it as that user through
// tessaly-print and the printer driver. Run without arguments, it names the
// device it offers, as CUPS asks of every backend.
//
// Arguments: job-id user title copies options [file]; without a file the PDF
// comes on standard input. Everything from the job is untrusted: it reaches
// the printing program only as separate arguments (no shell), and the user
// name only as a directory name after the system knows it as a user.

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "composer/settings.h"
#include "cups_backend/job_options.h"
#include "cups_backend/user_spool.h"
#include "platform/print_spooler.h"
#include "platform/registry.h"
#include "platform/spooler_records.h"
#include "support/text.h"

namespace {

// CUPS's backend exit codes.
constexpr int kBackendOk = 0;
constexpr int kBackendFailed = 1;
constexpr int kBackendCancel = 5;

int failJob(int code, const std::string& message) {
    std::fprintf(stderr, "ERROR: %s\n", message.c_str());
    return code;
}

// The port of the device URI "tessaly:/<port>[?...]".
std::string portOfUri(const char* uri) {
    if (!uri) return "TessalyPort";
    std::string text(uri);
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return {};
    text = text.substr(colon + 1);
    while (!text.empty() && text[0] == '/') text.erase(0, 1);
    text = text.substr(0, text.find('?'));
    // %XX escapes of the URI.
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// The driver library of the queue: the driver record that lists it.
std::string driverLibraryOf(const std::string& driverDir, const std::string& printer) {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(driverDir + "/3", ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().extension() != ".driver") continue;
        tessaly::spooler::Record record;
        if (!tessaly::spooler::readRecord(it->path().string(), &record)) continue;
        for (const std::string& name : record.all("printer")) {
            const std::string file = record.get("driver");
            if (name == printer && tessaly::spooler::safeFileName(file)) return driverDir + "/3/" + file;
        }
    }
    return {};
}

std::string stringValue(const tessaly::ValueStore& store, const char* name) {
    std::u16string value;
    if (store.readString(name, &value) != tessaly::kRegistryOk) return {};
    return tessaly::toUtf8(value);
}

// Copies everything from one descriptor to another; false on a failure.
bool copyAll(int from, int to) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(to, buffer + done, size_t(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            done += w;
        }
    }
}

// In the child: becomes the user, copies the job into the user's spool
// directory and prints it there; returns the exit code for the parent.
int printAsUser(const tessaly::cups::JobUser& user, int input, const std::string& spoolDir, const std::vector<std::string>& printArgs,
                const std::string& jobId) {
    if (::setgid(user.gid) != 0 || ::initgroups(user.name.c_str(), user.gid) != 0 || ::setuid(user.uid) != 0 ||
        ::getuid() != user.uid || ::geteuid() != user.uid)
        return failJob(kBackendFailed, "cannot print as user " + user.name);
    std::string copy = spoolDir + ".job-" + jobId + "-XXXXXX";
    const int fd = ::mkostemp(copy.data(), O_CLOEXEC);
    if (fd < 0) return failJob(kBackendFailed, "cannot write the job into the spool directory: " + std::string(std::strerror(errno)));
    const bool copied = copyAll(input, fd);
    ::close(input);
    if (::close(fd) != 0 || !copied) {
        ::unlink(copy.c_str());
        return failJob(kBackendFailed, "cannot write the job into the spool directory");
    }
    std::vector<std::string> args = printArgs;
    args.insert(args.end(), {"--", copy});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // A clean environment: only what the printing program needs.
    std::vector<std::string> env = {"PATH=/usr/local/bin:/usr/bin:/bin", "HOME=" + user.home,
                                    "USER=" + user.name, "LOGNAME=" + user.name,
                                    "TMPDIR=/tmp", "LANG=C.UTF-8"};
    for (const char* keep : {"TESSALY_REGISTRY_ROOT", "TESSALY_REGISTRY_USER_ROOT", "TESSALY_RUNTIME_DIR",
                             "TESSALY_GDI_SURFACE_LIMIT"}) {
        if (const char* value = std::getenv(keep)) env.push_back(std::string(keep) + "=" + value);
    }
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execve(argv[0], argv.data(), envp.data());
        std::fprintf(stderr, "ERROR: cannot run %s: %s\n", argv[0], std::strerror(errno));
        ::_exit(127);
    }
    int status = 0;
    if (pid > 0) {
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    ::unlink(copy.c_str());
    if (pid < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return failJob(kBackendCancel, "the job could not be printed (see the log)");
    return kBackendOk;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 1) {
        std::printf("direct %s \"Tessaly\" \"Tessaly movie printer\"\n", tessaly::spooler::kBackendScheme);
        return kBackendOk;
    }
    if (argc < 6 || argc > 7) {
        std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n", argv[0]);
        return kBackendFailed;
    }
    const std::string jobId = std::to_string(std::strtol(argv[1], nullptr, 10) & 0x7FFFFFFF);
    const std::string userName = argv[2];
    const std::string title = tessaly::cups::documentName(argv[3], "Untitled");
    const tessaly::cups::JobRequest request = tessaly::cups::mapOptions(tessaly::cups::parseOptions(argv[5]));

    // The job's data, opened with the server's privileges.
    int input = STDIN_FILENO;
    if (argc == 7) {
        input = ::open(argv[6], O_RDONLY | O_CLOEXEC);
        if (input < 0) return failJob(kBackendFailed, "cannot read the job's file");
    }

    const std::string driverDir = tessaly::spooler::driverDirectoryPath();
    tessaly::spooler::Record port;
    const std::string portName = portOfUri(std::getenv("DEVICE_URI"));
    if (!tessaly::spooler::readRecord(tessaly::spooler::portRecordPath(driverDir, portName), &port) ||
        port.get("print").empty())
        return failJob(kBackendFailed, "the port " + portName + " is not installed");
    const char* printer = std::getenv("PRINTER");
    const std::string driver = driverLibraryOf(driverDir, printer ? printer : "Tessaly");
    if (driver.empty()) return failJob(kBackendFailed, "the printer's driver is not installed");

    std::string basePath, spoolRoot;
    if (tessaly::readInstallPaths(&basePath, &spoolRoot) != 1)
        return failJob(kBackendFailed, "the spool directory is not set (SpoolPath)");
    const tessaly::ValueStore store;
    uint32_t perUser = 0;
    if (store.readDword("SpoolPerUser", &perUser) != tessaly::kRegistryOk) perUser = 0;

    // The user the job belongs to; a name the system does not know (a job
    // from another machine) goes to the configured account, or is refused.
    tessaly::cups::JobUser user;
    if (!tessaly::cups::resolveJobUser(userName, stringValue(store, "SpoolUnknownUser"), &user))
        return failJob(kBackendCancel, "the job's user is not known on this computer; the job was refused");
    const std::string& userDirName = user.name;
    std::string spoolDir = spoolRoot;
    std::string error;
    if (perUser == 1) {
        if (!tessaly::cups::prepareUserSpool(spoolRoot, userDirName, user.uid, user.gid, &spoolDir, &error))
            return failJob(kBackendFailed, error);
    }

    std::vector<std::string> args = {port.get("print"), "--to-printer", "--spool", spoolDir, "--driver", driver,
                                     "--title", title};
    if (!request.paperName.empty()) args.insert(args.end(), {"--paper", request.paperName});
    // pdftopdf has laid the pages out for the paper, turned on the sheet for
    // an orientation it was asked for: they are turned back upright onto
    // paper of that orientation. The PPD's own Orientation, which the filter
    // does not read, is the driver's alone.
    if (request.landscape) args.push_back("--landscape");
    if (request.turnBack) args.insert(args.end(), {"--turn", std::to_string(request.turnBack)});
    if (request.dpi > 0) args.insert(args.end(), {"--dpi", std::to_string(request.dpi)});

    std::fprintf(stderr, "INFO: printing for %s\n", userDirName.c_str());
    const pid_t child = ::fork();
    if (child < 0) return failJob(kBackendFailed, "cannot start printing");
    if (child == 0) ::_exit(printAsUser(user, input, spoolDir, args, jobId));
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status)) return failJob(kBackendCancel, "printing stopped unexpectedly");
    return WEXITSTATUS(status);
}
