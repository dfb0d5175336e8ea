// The CUPS service: the service manager's unit, or a cupsd process of ours.

#include <cups/cups.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/print_spooler.h"

extern char** environ;

namespace tessaly::spooler {

namespace {

// Runs a program (no shell) and returns its exit status, its standard
// output in *out; -1 when it cannot run.
int runProgram(const std::vector<std::string>& args, std::string* out) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (spawned != 0) {
        ::close(pipeFds[0]);
        return -1;
    }
    char buffer[512];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0 && out && out->size() < 65536) out->append(buffer, size_t(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Whether the print server answers.
bool serverAnswers() {
    http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 1000, nullptr);
    if (!http) return false;
    httpClose(http);
    return true;
}

class SystemdCups : public SpoolerService {
public:
    uint32_t start() override {
        if (activeState("cups.service") == ServiceState::Running) return kErrorServiceAlreadyRunning;
        return runProgram({"systemctl", "start", "--no-block", "cups.socket", "cups.service"}, nullptr) == 0
                   ? kOk
                   : kErrorServiceNotActive;
    }
    uint32_t state(ServiceState* out) override {
        *out = activeState("cups.service");
        return kOk;
    }
    uint32_t sendStop() override {
        // The socket and path units would start the service again.
        return runProgram({"systemctl", "stop", "--no-block", "cups.socket", "cups.path", "cups.service"},
                          nullptr) == 0
                   ? kOk
                   : kErrorAccessDenied;
    }
    std::vector<std::string> activeDependents() override {
        std::vector<std::string> names;
        if (activeState("cups-browsed.service") != ServiceState::Stopped) names.push_back("cups-browsed.service");
        return names;
    }
    uint32_t dependentState(const std::string& name, ServiceState* out) override {
        *out = activeState(name);
        return kOk;
    }
    uint32_t stopDependent(const std::string& name) override {
        return runProgram({"systemctl", "stop", "--no-block", name}, nullptr) == 0 ? kOk : kErrorAccessDenied;
    }

private:
    static ServiceState activeState(const std::string& unit) {
        std::string text;
        (void)runProgram({"systemctl", "is-active", unit}, &text);
        if (text.rfind("active", 0) == 0 || text.rfind("reloading", 0) == 0) return ServiceState::Running;
        if (text.rfind("activating", 0) == 0) return ServiceState::StartPending;
        if (text.rfind("deactivating", 0) == 0) return ServiceState::StopPending;
        return ServiceState::Stopped;
    }
};

// A cupsd process started with a configuration directory; its process id
// is kept in a file there, so that a later run finds it.
class CupsdProcess : public SpoolerService {
public:
    // cupsd takes only absolute configuration paths.
    explicit CupsdProcess(const std::string& configDir) {
        std::error_code ec;
        const std::filesystem::path absolute = std::filesystem::absolute(configDir, ec);
        config_ = ec ? configDir : absolute.string();
    }

    uint32_t start() override {
        if (livePid() > 0) return kErrorServiceAlreadyRunning;
        const char* program = std::getenv("TESSALY_CUPSD");
        const std::string cupsd = program && *program ? program : "/usr/sbin/cupsd";
        const std::string conf = config_ + "/cupsd.conf", files = config_ + "/cups-files.conf";
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0) return errorFromErrno(errno);
        const pid_t child = ::fork();
        if (child < 0) {
            ::close(pipeFds[0]);
            ::close(pipeFds[1]);
            return errorFromErrno(errno);
        }
        if (child == 0) {
            // Detached twice, so that the server outlives this program and
            // is nobody's child to wait for.
            ::setsid();
            const pid_t server = ::fork();
            if (server == 0) {
                const int null = ::open("/dev/null", O_RDWR);
                ::dup2(null, STDIN_FILENO);
                ::dup2(null, STDOUT_FILENO);
                ::dup2(null, STDERR_FILENO);
                const char* argv[] = {"cupsd", "-f", "-c", conf.c_str(), "-s", files.c_str(), nullptr};
                ::execv(cupsd.c_str(), const_cast<char**>(argv));
                ::_exit(127);
            }
            (void)!::write(pipeFds[1], &server, sizeof server);
            ::_exit(server > 0 ? 0 : 1);
        }
        ::close(pipeFds[1]);
        pid_t server = -1;
        const ssize_t got = ::read(pipeFds[0], &server, sizeof server);
        ::close(pipeFds[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        if (got != sizeof server || server <= 0) return kErrorServiceNotActive;
        std::ofstream(pidFile()) << server << "\n";
        stopSent_ = false;
        return kOk;
    }

    uint32_t state(ServiceState* out) override {
        if (livePid() <= 0) {
            *out = ServiceState::Stopped;
        } else if (stopSent_) {
            *out = ServiceState::StopPending;
        } else {
            *out = serverAnswers() ? ServiceState::Running : ServiceState::StartPending;
        }
        return kOk;
    }

    uint32_t sendStop() override {
        const pid_t pid = livePid();
        if (pid <= 0) return kOk;
        if (::kill(pid, SIGTERM) != 0) return errorFromErrno(errno);
        stopSent_ = true;
        return kOk;
    }
    std::vector<std::string> activeDependents() override { return {}; }
    uint32_t dependentState(const std::string&, ServiceState* out) override {
        *out = ServiceState::Stopped;
        return kOk;
    }
    uint32_t stopDependent(const std::string&) override { return kOk; }

private:
    std::string pidFile() const { return config_ + "/tessaly-cupsd.pid"; }

    // The recorded process when it still runs (a zombie does not count).
    pid_t livePid() const {
        std::ifstream in(pidFile());
        long pid = 0;
        if (!(in >> pid) || pid <= 1) return 0;
        if (::kill(pid_t(pid), 0) != 0 && errno != EPERM) return 0;
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        std::getline(stat, line);
        const size_t paren = line.rfind(')');
        if (paren != std::string::npos && paren + 2 < line.size() && line[paren + 2] == 'Z') return 0;
        return pid_t(pid);
    }

    std::string config_;
    bool stopSent_ = false;
};

}  // namespace

std::unique_ptr<SpoolerService> cupsService() {
    const char* config = std::getenv("TESSALY_CUPSD_CONFIG");
    struct stat info {};
    if ((!config || !*config) && ::stat("/run/systemd/system", &info) == 0) return std::make_unique<SystemdCups>();
    return std::make_unique<CupsdProcess>(config && *config ? config : "/etc/cups");
}

}  // namespace tessaly::spooler
