#pragma once
// A CUPS server of the caller's own: cupsd on loopback, with its own
// configuration, spool, logs and programs in a temporary directory, and a
// value store and driver directory for the printer beside them. The
// environment is pointed at it (CUPS_SERVER for lp and libcups, the
// locations deploykit and the backend read). deploykit starts the server
// (the spooler's start) and the server's pid file lets stop() end it.
// Needs root (the backend runs as root to print as each user) and cupsd.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/registry.h"
#include "support/text.h"

namespace tessaly::testing {

class PrivateCupsServer {
public:
    // Empty root() when the machine cannot run one (not root, no cupsd or lp).
    // binDir holds deploykit, tessaly-backend and tessaly-print; dataDir is
    // the installation's data (BasePath). The backend runs printProgram
    // (default binDir's tessaly-print) as the job's user, so it and dataDir
    // must be within every user's reach.
    bool prepare(const std::string& binDir, const std::string& dataDir, const std::string& printProgram = {}) {
        namespace fs = std::filesystem;
        if (geteuid() != 0 || access("/usr/sbin/cupsd", X_OK) != 0 || access("/usr/bin/lp", X_OK) != 0)
            return false;
        std::string pattern = (fs::temp_directory_path() / "tessaly-cups-XXXXXX").string();
        if (!mkdtemp(pattern.data())) return false;
        root_ = pattern;
        // The server's programs run as lp: everything they use must be reachable.
        fs::permissions(root_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
        for (const char* dir : {"conf", "spool/tmp", "cache", "state", "log", "bin/backend", "drivers", "registry",
                                "users", "scratch"})
            fs::create_directories(root_ / dir);
        for (const char* dir : {"filter", "cgi-bin", "daemon", "notifier", "monitor"})
            fs::create_directory_symlink(fs::path("/usr/lib/cups") / dir, root_ / "bin" / dir);
        port_ = freePort();
        const std::string r = root_.string();
        std::ofstream(root_ / "conf/cupsd.conf")
            << "LogLevel debug\nListen 127.0.0.1:" << port_ << "\nBrowsing Off\nDefaultAuthType None\n"
            << "WebInterface No\nMaxJobs 0\nPreserveJobFiles No\n"
            << "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
            << "<Policy default>\n  <Limit All>\n    Order allow,deny\n    Allow all\n  </Limit>\n</Policy>\n";
        std::ofstream(root_ / "conf/cups-files.conf")
            << "ServerRoot " << r << "/conf\nRequestRoot " << r << "/spool\nTempDir " << r << "/spool/tmp\n"
            << "CacheDir " << r << "/cache\nStateDir " << r << "/state\nServerBin " << r << "/bin\n"
            << "DataDir /usr/share/cups\nErrorLog " << r << "/log/error_log\nAccessLog " << r
            << "/log/access_log\nPageLog " << r << "/log/page_log\nUser lp\nGroup lp\nSystemGroup root\n"
            << "SetEnv TESSALY_REGISTRY_ROOT " << r << "/registry\n"
            << "SetEnv TESSALY_DRIVER_DIRECTORY " << r << "/drivers\n";
        setenv("CUPS_SERVER", ("127.0.0.1:" + std::to_string(port_)).c_str(), 1);
        setenv("CUPS_SERVERBIN", (root_ / "bin").c_str(), 1);
        setenv("TESSALY_CUPSD_CONFIG", (root_ / "conf").c_str(), 1);
        setenv("TESSALY_DRIVER_DIRECTORY", (root_ / "drivers").c_str(), 1);
        setenv("TESSALY_REGISTRY_ROOT", (root_ / "registry").c_str(), 1);
        setenv("TESSALY_BACKEND_PROGRAM", (binDir + "/tessaly-backend").c_str(), 1);
        setenv("TESSALY_PRINT_PROGRAM", (printProgram.empty() ? binDir + "/tessaly-print" : printProgram).c_str(), 1);
        ValueStore store((root_ / "registry").string());
        const bool stored = store.writeString("BasePath", toWide(dataDir + "/")) == 0 &&
                            store.writeString("SpoolPath", toWide((root_ / "users").string() + "/")) == 0 &&
                            store.writeDword("SpoolPerUser", 1) == 0 &&
                            // Movies of the pages alone, without the viewer.
                            store.writeString("MSInterfaceName", u"") == 0;
        if (!stored) {
            stop();
            return false;
        }
        // The value store is read by every user that prints.
        for (const auto& entry : fs::recursive_directory_iterator(root_ / "registry")) {
            fs::permissions(entry.path(), fs::perms::others_read | fs::perms::group_read, fs::perm_options::add);
            if (entry.is_directory())
                fs::permissions(entry.path(), fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
        }
        return true;
    }

    // Ends the server and removes its directory (kept with TESSALY_KEEP_CUPS).
    void stop() {
        namespace fs = std::filesystem;
        if (root_.empty()) return;
        std::ifstream pidFile(root_ / "conf/tessaly-cupsd.pid");
        pid_t pid = 0;
        if (pidFile >> pid && pid > 1) {
            kill(pid, SIGTERM);
            for (int i = 0; i < 100 && kill(pid, 0) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            kill(pid, SIGKILL);
        }
        if (!std::getenv("TESSALY_KEEP_CUPS")) {
            std::error_code ec;
            fs::remove_all(root_, ec);
        }
        for (const char* name : {"CUPS_SERVER", "CUPS_SERVERBIN", "TESSALY_CUPSD_CONFIG", "TESSALY_DRIVER_DIRECTORY",
                                 "TESSALY_REGISTRY_ROOT", "TESSALY_BACKEND_PROGRAM", "TESSALY_PRINT_PROGRAM"})
            unsetenv(name);
        root_.clear();
    }

    const std::filesystem::path& root() const { return root_; }
    int port() const { return port_; }

private:
    static int freePort() {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof addr;
        int port = 0;
        if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) == 0)
            port = ntohs(addr.sin_port);
        close(fd);
        return port;
    }

    std::filesystem::path root_;
    int port_ = 0;
};

}  // namespace tessaly::testing
