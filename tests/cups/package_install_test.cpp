// The Debian package installed for real with apt-get on this machine, its
// printer going into a CUPS server of the test's own: the package's scripts
// install the queue, a user prints a PDF with lp, the user's own installed
// tessaly turns the job into a movie, and removing the package leaves no
// queue, backend or values behind. It changes the machine (files in /usr and
// /var/spool/tessaly), so it runs only when TESSALY_TEST_PACKAGE names the
// package (the CI does that on its fresh machine) and as root.

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "child_process.h"
#include "platform/printer_registry.h"
#include "platform/registry.h"
#include "private_cups_server.h"

namespace fs = std::filesystem;
using tessaly::testing::slurp;

namespace {

const std::string kBin = TESSALY_BIN_DIR;
constexpr const char* kUser = "tessalypkg";

struct Result {
    int status = -1;
    std::string output;
};

Result run(const std::vector<std::string>& args, const fs::path& log) {
    Result result;
    const pid_t pid = tessaly::testing::spawn(args, log);
    if (pid > 0) result.status = tessaly::testing::waitFor(pid);
    result.output = slurp(log);
    return result;
}

bool hasMovie(const fs::path& dir) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().extension() == ".swf" && fs::file_size(it->path(), ec) > 1000) return true;
    return false;
}

TEST(DebianPackage, InstallsPrintsAndRemovesCleanly) {
    const char* package = std::getenv("TESSALY_TEST_PACKAGE");
    if (!package || !*package) GTEST_SKIP() << "TESSALY_TEST_PACKAGE does not name a package to install";
    tessaly::testing::PrivateCupsServer server;
    // Asked for, it must run.
    ASSERT_TRUE(server.prepare(kBin, TESSALY_DATA_DIR)) << "installing the package needs root, cupsd and lp";
    const fs::path root = server.root(), log = root / "scratch/run.log";
    // The installed programs, not the build's.
    unsetenv("TESSALY_BACKEND_PROGRAM");
    unsetenv("TESSALY_PRINT_PROGRAM");
    setenv("DEBIAN_FRONTEND", "noninteractive", 1);

    const Result installed =
        run({"/usr/bin/apt-get", "install", "-y", "--no-install-recommends", fs::absolute(package).string()}, log);
    ASSERT_EQ(installed.status, 0) << installed.output;
    EXPECT_NE(installed.output.find("- Installed new printer Tessaly with new driver Tessaly Driver"),
              std::string::npos)
        << installed.output;
    std::string why;
    EXPECT_EQ(tessaly::cupsQueueExists("Tessaly", &why), 1) << why << slurp(root / "log/error_log");
    EXPECT_TRUE(fs::exists(root / "bin/backend/tessaly"));
    // What the package holds, in its places.
    const std::string files = run({"/usr/bin/dpkg", "-L", "tessaly"}, log).output;
    for (const char* file : {"/usr/bin/tessaly", "/usr/bin/deploykit", "/usr/lib/tessaly/libpagesmith.so",
                             "/usr/lib/tessaly/tessaly-backend", "/usr/lib/cups/backend/tessaly",
                             "/usr/share/cups/model/tessaly/Tessaly.ppd", "/usr/share/tessaly/interface",
                             "/usr/lib/systemd/user/tessaly-monitor.path"})
        EXPECT_NE(files.find(std::string(file) + "\n"), std::string::npos) << file << "\n" << files;
    tessaly::ValueStore store((root / "registry").string());
    std::u16string base;
    ASSERT_EQ(store.readString("BasePath", &base), tessaly::kRegistryOk);
    EXPECT_EQ(tessaly::toUtf8(base), "/usr/share/tessaly/");

    // A user prints; the job lands in the user's own directory.
    if (!getpwnam(kUser)) {
        ASSERT_EQ(run({"/usr/sbin/useradd", "-m", "-s", "/bin/sh", kUser}, log).status, 0);
    }
    const passwd* user = getpwnam(kUser);
    ASSERT_NE(user, nullptr);
    const Result printed = run({"/usr/bin/lp", "-U", kUser, "-d", "Tessaly",
                                std::string(TESSALY_SOURCE_DIR) + "/examples/pdf/cups-testpage.pdf"},
                               log);
    ASSERT_EQ(printed.status, 0) << printed.output;
    const fs::path spool = fs::path("/var/spool/tessaly") / kUser;
    bool arrived = false;
    for (int i = 0; i < 450 && !arrived; ++i) {
        std::error_code ec;
        for (fs::directory_iterator it(spool, ec), end; !ec && it != end; it.increment(ec))
            arrived = arrived || slurp(it->path() / "_status").rfind("end:", 0) == 0;
        if (!arrived) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ASSERT_TRUE(arrived) << slurp(root / "log/error_log");

    // The user's own tessaly, run as the user, makes the movie; its
    // preferences go into the user's layer over the machine's store.
    const fs::path movies = fs::path(user->pw_dir) / "movies", runtime = fs::path(user->pw_dir) / "run";
    for (const fs::path& dir : {movies, runtime}) {
        fs::create_directories(dir);
        ASSERT_EQ(chown(dir.c_str(), user->pw_uid, user->pw_gid), 0);
        fs::permissions(dir, fs::perms::owner_all);
    }
    const Result converted =
        run({"/usr/bin/setpriv", "--reuid=" + std::to_string(user->pw_uid), "--regid=" + std::to_string(user->pw_gid),
             "--clear-groups", "/usr/bin/env", "HOME=" + std::string(user->pw_dir), "TESSALY_RUNTIME_DIR=" + runtime.string(),
             "/usr/bin/tessaly", "--headless", "--once", "--output-dir", movies.string()},
            log);
    EXPECT_EQ(converted.status, 0) << converted.output;
    EXPECT_TRUE(hasMovie(movies)) << converted.output;

    // Removal: no queue, no backend, no values; the server goes on.
    const Result removed = run({"/usr/bin/apt-get", "remove", "-y", "tessaly"}, log);
    ASSERT_EQ(removed.status, 0) << removed.output;
    EXPECT_EQ(tessaly::cupsQueueExists("Tessaly", &why), 0);
    EXPECT_FALSE(fs::exists(root / "bin/backend/tessaly"));
    EXPECT_FALSE(fs::exists("/usr/lib/cups/backend/tessaly"));
    EXPECT_EQ(store.readString("BasePath", &base), tessaly::kRegistryNotFound);
    EXPECT_EQ(run({"/usr/bin/lpstat", "-r"}, log).output, "scheduler is running\n");
    const Result purged = run({"/usr/bin/apt-get", "purge", "-y", "tessaly"}, log);
    EXPECT_EQ(purged.status, 0) << purged.output;
    EXPECT_FALSE(fs::exists("/var/spool/tessaly"));
    EXPECT_FALSE(fs::exists("/usr/bin/tessaly"));

    (void)run({"/usr/sbin/userdel", "-r", kUser}, log);
    server.stop();
}

}  // namespace
