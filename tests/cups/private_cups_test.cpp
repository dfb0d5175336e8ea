// The printer installed into a real CUPS server of the test's own (cupsd on
// loopback, with its own configuration, spool and programs in a temporary
// directory): deploykit installs and removes it, lp prints PDFs and text into
// the users' spool directories, and the job monitor turns the jobs into
// movies. Needs root (the backend runs as root to print as each user) and
// cupsd; skipped otherwise.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "child_process.h"
#include "private_cups_server.h"
#include "reachable_install.h"
#include "installer/deploy.h"
#include "platform/print_spooler.h"
#include "platform/printer_registry.h"
#include "platform/registry.h"
#include "support/text.h"

namespace fs = std::filesystem;
using tessaly::testing::slurp;

namespace {

const std::string kBin = TESSALY_BIN_DIR;

struct Ran {
    int status = -1;
    std::string out, err;
};

// Runs a program (args[0] is found on PATH when it has no '/'), its output
// and errors apart.
Ran run(const std::vector<std::string>& args, const fs::path& scratch, const fs::path& cwd = {}) {
    Ran result;
    const fs::path out = scratch / "run.out", err = scratch / "run.err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0)
        result.status = tessaly::testing::waitFor(pid);
    posix_spawn_file_actions_destroy(&actions);
    result.out = slurp(out);
    result.err = slurp(err);
    return result;
}

// The job directories (eight digits) of a spool directory whose status says
// the driver finished them.
std::set<std::string> finishedJobs(const fs::path& spool) {
    std::set<std::string> jobs;
    std::error_code ec;
    for (fs::directory_iterator it(spool, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() == 8 && name.find_first_not_of("0123456789") == std::string::npos &&
            slurp(it->path() / "_status").rfind("end:", 0) == 0)
            jobs.insert(name);
    }
    return jobs;
}

class PrivateCups : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::error_code stale;
        fs::remove_all(fs::path(kBin) / "../cups-artifacts", stale);
        // The backend prints as each job's user: the build tree may be out of
        // their reach, so the printing program and data are an installed copy.
        if (geteuid() != 0) return;
        const tessaly::testing::ReachableInstall& reachable = tessaly::testing::reachableInstall();
        if (reachable.bin.empty()) {
            setupError_ = reachable.error;
            return;
        }
        if (server_.prepare(kBin, reachable.data.string(), (reachable.bin / "tessaly-print").string()))
            root_ = server_.root();
    }

    void SetUp() override {
        if (!setupError_.empty()) FAIL() << setupError_;
        if (root_.empty()) GTEST_SKIP() << "needs root, cupsd and lp";
    }

    static void TearDownTestSuite() {
        if (root_.empty()) return;
        for (const std::string& user : users_) (void)run({"userdel", user}, root_ / "scratch");
        server_.stop();
        root_.clear();
    }

    Ran deploykit(const std::string& mode, const std::string& direct = "") {
        std::vector<std::string> args = {kBin + "/deploykit", mode, "Tessaly", "Tessaly Driver",
                                         std::string(TESSALY_LIB_DIR) + "/libpagesmith.so",
                                         kBin + "/../share/cups/Tessaly.ppd", "WinPrint", "TessalyPort"};
        if (!direct.empty()) args.push_back(direct);
        return run(args, root_ / "scratch");
    }

    // A user of this machine made for the test (removed at the end).
    static bool makeUser(const std::string& name) {
        if (getpwnam(name.c_str())) return true;
        if (run({"useradd", "-M", "-s", "/usr/sbin/nologin", name}, root_ / "scratch").status != 0) return false;
        users_.push_back(name);
        return true;
    }

    // Waits until the spool directory holds `count` finished jobs.
    static std::set<std::string> waitForJobs(const fs::path& spool, size_t count, int seconds = 90) {
        for (int i = 0; i < seconds * 5; ++i) {
            const std::set<std::string> jobs = finishedJobs(spool);
            if (jobs.size() >= count) return jobs;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return finishedJobs(spool);
    }

    // Converts the one job of a user's spool directory with the headless
    // monitor; the movie's path, or empty.
    static std::string convert(const std::string& user, const std::string& batch = "first") {
        const fs::path reg = root_ / ("registry-" + user), out = root_ / ("movies-" + user + "-" + batch);
        std::error_code ec;
        fs::remove_all(reg, ec);
        fs::copy(root_ / "registry", reg, fs::copy_options::recursive, ec);
        tessaly::ValueStore store(reg.string());
        // The monitor runs here as root, standing in for the user's own: it is
        // given the user's directory itself, so the per-user rule is off.
        if (store.writeString("SpoolPath", tessaly::toWide((root_ / "users" / user).string() + "/")) != 0) return {};
        if (store.deleteValue("SpoolPerUser") != 0) return {};
        fs::create_directories(out);
        fs::create_directories(root_ / "run", ec);
        fs::permissions(root_ / "run", fs::perms::owner_all, ec);
        setenv("TESSALY_REGISTRY_ROOT", reg.c_str(), 1);
        setenv("TESSALY_RUNTIME_DIR", (root_ / "run").c_str(), 1);
        const Ran monitor = run({kBin + "/tessaly", "--headless", "--once", "--output-dir", out.string()},
                                root_ / "scratch");
        setenv("TESSALY_REGISTRY_ROOT", (root_ / "registry").c_str(), 1);
        unsetenv("TESSALY_RUNTIME_DIR");
        if (monitor.status != 0) {
            ADD_FAILURE() << monitor.out << monitor.err;
            return {};
        }
        for (const auto& entry : fs::directory_iterator(out)) {
            if (entry.path().extension() == ".swf") return entry.path().string();
        }
        return {};
    }

    // Leaves a movie for the player test (player.cups-movies) beside the PDF
    // CUPS's filters make of the document: the filters are run here as the
    // server runs them for the queue, with its PPD and options.
    // turn: the degrees the movie turned the pages back upright.
    static void keepForPlayer(const std::string& movie, const std::string& name, const fs::path& document,
                              const std::string& options, int turn = 0) {
        const fs::path dir = fs::path(kBin) / "../cups-artifacts";
        fs::create_directories(dir);
        if (turn) std::ofstream(dir / (name + ".turn")) << turn;
        fs::copy_file(movie, dir / (name + ".swf"), fs::copy_options::overwrite_existing);
        const std::string ppd = kBin + "/../share/cups/Tessaly.ppd";
        const fs::path scratch = root_ / "scratch";
        setenv("PPD", ppd.c_str(), 1);
        fs::path pdf = document;
        if (document.extension() == ".txt") {
            const Ran text = run({"/usr/lib/cups/filter/texttopdf", "1", "user", "title", "1", options,
                                  document.string()}, scratch);
            ASSERT_EQ(text.status, 0) << text.err;
            pdf = scratch / "text.pdf";
            std::ofstream(pdf, std::ios::binary) << text.out;
        }
        const Ran laid = run({"/usr/lib/cups/filter/pdftopdf", "1", "user", "title", "1",
                              options + " pdfAutoRotate=false", pdf.string()}, scratch);
        unsetenv("PPD");
        ASSERT_EQ(laid.status, 0) << laid.err;
        std::ofstream(dir / (name + ".pdf"), std::ios::binary) << laid.out;
    }

    static std::string serverLog() { return slurp(root_ / "log/error_log"); }

    static tessaly::testing::PrivateCupsServer server_;
    static std::string setupError_;
    static fs::path root_;
    static std::vector<std::string> users_;
};

tessaly::testing::PrivateCupsServer PrivateCups::server_;
std::string PrivateCups::setupError_;
fs::path PrivateCups::root_;
std::vector<std::string> PrivateCups::users_;

// One long test: each step needs the ones before it.
TEST_F(PrivateCups, InstallPrintConvertAndRemove) {
    // Installing on a machine without the printer: the missing printer and
    // driver count as removed. The spooler is started by stage 0.
    const Ran install = deploykit("-ui");
    ASSERT_EQ(install.status, 0) << install.out << install.err << serverLog();
    EXPECT_EQ(install.out,
              "- Old printer Tessaly uninstalled or unavailable\n"
              "- Old driver Tessaly Driver uninstalled or unavailable\n"
              "- Old local port TessalyPort deleted\n"
              "- New local port TessalyPort installed\n"
              "- New driver Tessaly Driver files copied\n"
              "- New driver Tessaly Driver installed\n"
              "- Installed new printer Tessaly with new driver Tessaly Driver\n");
    EXPECT_TRUE(fs::exists(root_ / "bin/backend/tessaly"));
    struct stat info {};
    ASSERT_EQ(stat((root_ / "bin/backend/tessaly").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);  // run as root by CUPS
    // The copies made for the driver are gone; the driver keeps its own.
    EXPECT_FALSE(fs::exists(root_ / "drivers/libpagesmith.so"));
    EXPECT_TRUE(fs::exists(root_ / "drivers/3/libpagesmith.so"));

    // Landscape pages stay upright: the queue tells pdftopdf not to turn them.
    EXPECT_NE(slurp(root_ / "conf/printers.conf").find("Option pdfAutoRotate false"), std::string::npos)
        << slurp(root_ / "conf/printers.conf");
    const Ran listed = run({"lpstat", "-v", "Tessaly"}, root_ / "scratch");
    EXPECT_EQ(listed.status, 0) << listed.err;
    // Direct printing (no eighth argument) is kept in the device address.
    EXPECT_NE(listed.out.find("/TessalyPort?direct=yes\n"), std::string::npos) << listed.out;
    // The application finds the queue on the print server.
    std::string why;
    EXPECT_EQ(tessaly::cupsQueueExists("Tessaly", &why), 1) << why;
    EXPECT_EQ(tessaly::cupsQueueExists("Tessaly2", &why), 0);
    const Ran accepting = run({"lpstat", "-a", "Tessaly"}, root_ / "scratch");
    EXPECT_NE(accepting.out.find("Tessaly accepting requests"), std::string::npos) << accepting.out;

    // Two users print at once: a PDF and a text file, one with a title full
    // of shell and markup characters.
    ASSERT_TRUE(makeUser("tessalyann") && makeUser("tessalybob"));
    const std::string title = "$(touch /tmp/tessaly-pwned) `id` <b>&amp;\"'</b>; rm -rf ~";
    const fs::path text = root_ / "scratch/note.txt";
    std::ofstream(text) << "A plain text note for the Tessaly printer.\nSecond line.\n";
    fs::permissions(text, fs::perms::others_read, fs::perm_options::add);
    const Ran first = run({"lp", "-U", "tessalyann", "-d", "Tessaly", "-t", title,
                           std::string(TESSALY_SOURCE_DIR) + "/examples/pdf/figures.pdf"},
                          root_ / "scratch");
    const Ran second = run({"lp", "-U", "tessalybob", "-d", "Tessaly", "-o", "media=A4", text.string()},
                           root_ / "scratch");
    ASSERT_EQ(first.status, 0) << first.err;
    ASSERT_EQ(second.status, 0) << second.err;
    const fs::path ann = root_ / "users/tessalyann", bob = root_ / "users/tessalybob";
    const std::set<std::string> annJobs = waitForJobs(ann, 1), bobJobs = waitForJobs(bob, 1);
    ASSERT_EQ(annJobs.size(), 1u) << serverLog();
    ASSERT_EQ(bobJobs.size(), 1u) << serverLog();
    EXPECT_FALSE(fs::exists("/tmp/tessaly-pwned"));

    // Each directory is its user's alone, with only their own job in it.
    for (const auto& [dir, name] : {std::pair{ann, "tessalyann"}, std::pair{bob, "tessalybob"}}) {
        ASSERT_EQ(stat(dir.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        EXPECT_EQ(info.st_uid, getpwnam(name)->pw_uid);
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(dir, ec)) {
            ASSERT_EQ(lstat(entry.path().c_str(), &info), 0);
            EXPECT_EQ(info.st_uid, getpwnam(name)->pw_uid) << entry.path();
        }
    }
    // Neither user can read the other's directory.
    const pid_t probe = fork();
    if (probe == 0) {
        const passwd* user = getpwnam("tessalyann");
        if (setgid(user->pw_gid) != 0 || setuid(user->pw_uid) != 0) _exit(2);
        _exit(access(bob.c_str(), R_OK) == 0 || access(ann.c_str(), R_OK) != 0 ? 1 : 0);
    }
    EXPECT_EQ(tessaly::testing::waitFor(probe), 0);

    // The title shows as text in the job's settings (escaped there) and the
    // job monitor makes a movie of each job.
    const std::string settings = slurp(ann / *annJobs.begin() / "media.settings");
    EXPECT_NE(settings.find("`id` &lt;b&gt;&amp;amp;&quot;&apos;&lt;/b&gt;; rm -rf ~"), std::string::npos) << settings;
    const std::string annMovie = convert("tessalyann");
    ASSERT_FALSE(annMovie.empty());
    EXPECT_GT(fs::file_size(annMovie), 1000u);
    const std::string bobMovie = convert("tessalybob");
    ASSERT_FALSE(bobMovie.empty());
    EXPECT_GT(fs::file_size(bobMovie), 1000u);
    keepForPlayer(annMovie, "figures", fs::path(TESSALY_SOURCE_DIR) / "examples/pdf/figures.pdf", "");
    keepForPlayer(bobMovie, "note", text, "media=A4");

    // Landscape: pdftopdf lays the page out turned on a portrait sheet; the
    // movie shows it upright on landscape paper.
    const fs::path manual = fs::path(TESSALY_SOURCE_DIR) / "examples/pdf/libtasn1-manual.pdf";
    const Ran landscape = run({"lp", "-U", "tessalybob", "-d", "Tessaly", "-o", "landscape", "-o",
                               "page-ranges=1", manual.string()},
                              root_ / "scratch");
    ASSERT_EQ(landscape.status, 0) << landscape.err;
    ASSERT_EQ(waitForJobs(bob, 1).size(), 1u) << serverLog();
    const std::string landscapeMovie = convert("tessalybob", "landscape");
    ASSERT_FALSE(landscapeMovie.empty());
    keepForPlayer(landscapeMovie, "landscape", manual, "landscape page-ranges=1", 90);

    // A job from a user this machine does not know is refused, not put
    // into anybody's directory (the monitor took the converted jobs away).
    const auto entries = [](const fs::path& dir) {
        return std::distance(fs::directory_iterator(dir), fs::directory_iterator());
    };
    const auto annEntries = entries(ann), bobEntries = entries(bob);
    const Ran stranger = run({"lp", "-U", "nobody-from-elsewhere", "-d", "Tessaly", text.string()}, root_ / "scratch");
    ASSERT_EQ(stranger.status, 0) << stranger.err;
    bool refused = false;
    for (int i = 0; i < 300 && !refused; ++i) {
        refused = run({"lpstat", "-W", "not-completed", "-o", "Tessaly"}, root_ / "scratch").out.empty() &&
                  serverLog().find("user is not known on this computer; the job was refused") != std::string::npos;
        if (!refused) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    EXPECT_TRUE(refused) << serverLog();
    EXPECT_FALSE(fs::exists(root_ / "users/nobody-from-elsewhere"));
    EXPECT_EQ(entries(ann), annEntries);
    EXPECT_EQ(entries(bob), bobEntries);
    // The queue goes on taking jobs after the refusal.
    EXPECT_NE(run({"lpstat", "-p", "Tessaly"}, root_ / "scratch").out.find("enabled"), std::string::npos);

    // Removing leaves the spooler running and no port; a second removal
    // still succeeds.
    const Ran remove = deploykit("-u");
    ASSERT_EQ(remove.status, 0) << remove.out << remove.err;
    EXPECT_FALSE(fs::exists(root_ / "bin/backend/tessaly"));
    EXPECT_FALSE(fs::exists(root_ / "drivers/ports/TessalyPort.port"));
    EXPECT_NE(run({"lpstat", "-p", "Tessaly"}, root_ / "scratch").status, 0);
    EXPECT_EQ(tessaly::cupsQueueExists("Tessaly", &why), 0);
    EXPECT_EQ(run({"lpstat", "-r"}, root_ / "scratch").out, "scheduler is running\n");
    const Ran again = deploykit("-u");
    EXPECT_EQ(again.status, 0) << again.out << again.err;
    EXPECT_EQ(run({"lpstat", "-r"}, root_ / "scratch").out, "scheduler is running\n");

    // "no" as the eighth argument installs without direct printing.
    const Ran plain = deploykit("-i", "no");
    ASSERT_EQ(plain.status, 0) << plain.out << plain.err;
    const Ran listedPlain = run({"lpstat", "-v", "Tessaly"}, root_ / "scratch");
    EXPECT_NE(listedPlain.out.find("/TessalyPort\n"), std::string::npos) << listedPlain.out;
    EXPECT_EQ(deploykit("-u").status, 0);

    // Under another name (a setup package's), deploykit is quiet: built-in
    // names, the driver files taken from the current directory and deleted
    // when it finishes, a dot for each step.
    const fs::path setup = root_ / "setup";
    fs::create_directories(setup);
    fs::copy_file(kBin + "/deploykit", setup / "tessaly-setup");
    fs::copy_file(std::string(TESSALY_LIB_DIR) + "/libpagesmith.so", setup / "libpagesmith.so");
    fs::copy_file(kBin + "/../share/cups/Tessaly.ppd", setup / "Tessaly.ppd");
    const Ran quiet = run({(setup / "tessaly-setup").string(), "-ui"}, root_ / "scratch", setup);
    EXPECT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_EQ(quiet.out, "......");
    EXPECT_EQ(quiet.err, "");
    EXPECT_FALSE(fs::exists(setup / "libpagesmith.so"));
    EXPECT_FALSE(fs::exists(setup / "Tessaly.ppd"));
    EXPECT_EQ(tessaly::cupsQueueExists("Tessaly", &why), 1) << why;
    const Ran quietRemove = run({(setup / "tessaly-setup").string(), "-u"}, root_ / "scratch", setup);
    EXPECT_EQ(quietRemove.status, 0) << quietRemove.err;
    EXPECT_EQ(quietRemove.out, "...");
    EXPECT_EQ(tessaly::cupsQueueExists("Tessaly", &why), 0);

    // A quiet failure names its error number: here the driver files are
    // missing, so the copy at stage 12 fails with "file not found".
    const Ran failed = run({(setup / "tessaly-setup").string(), "-i"}, root_ / "scratch", setup);
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.err.find("Tessaly Installation Error"), std::string::npos) << failed.err;
    EXPECT_NE(failed.err.find("mention error number 1200002."), std::string::npos) << failed.err;
    EXPECT_EQ(run({"lpstat", "-r"}, root_ / "scratch").out, "scheduler is running\n");
    EXPECT_EQ(deploykit("-u").status, 0);
}

// The package's maintainer scripts as dpkg runs them, with their paths moved
// onto the build tree: installing puts the values and the printer in place,
// removing takes the queue, the port's backend and the values away.
TEST_F(PrivateCups, PackageScriptsInstallAndRemove) {
    const fs::path scripts = root_ / "package";
    fs::create_directories(scripts);
    for (const char* name : {"postinst", "prerm"}) {
        std::ifstream in(fs::path(kBin) / "../packaging/debian" / name);
        ASSERT_TRUE(in) << name;
        std::ofstream out(scripts / name);
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("BIN=", 0) == 0) line = "BIN='" + kBin + "'";
            else if (line.rfind("LIB=", 0) == 0) line = "LIB='" + std::string(TESSALY_LIB_DIR) + "'";
            else if (line.rfind("SPOOL=", 0) == 0) line = "SPOOL='" + (root_ / "users").string() + "/'";
            else if (line.rfind("PPD=", 0) == 0) {
                // The package names the PPD it installs.
                EXPECT_NE(line, "PPD=\"\"");
                line = "PPD='" + kBin + "/../share/cups/Tessaly.ppd'";
            }
            out << line << '\n';
        }
    }
    const Ran installed = run({"sh", (scripts / "postinst").string(), "configure"}, root_ / "scratch");
    ASSERT_EQ(installed.status, 0) << installed.out << installed.err;
    EXPECT_NE(installed.out.find("- Installed new printer Tessaly with new driver Tessaly Driver"), std::string::npos)
        << installed.out << installed.err;
    EXPECT_EQ(installed.err, "");
    std::string why;
    EXPECT_EQ(tessaly::cupsQueueExists("Tessaly", &why), 1) << why;
    tessaly::ValueStore store((root_ / "registry").string());
    std::u16string spool;
    EXPECT_EQ(store.readString("SpoolPath", &spool), tessaly::kRegistryOk);
    EXPECT_EQ(tessaly::toUtf8(spool), (root_ / "users").string() + "/");

    const Ran removed = run({"sh", (scripts / "prerm").string(), "remove"}, root_ / "scratch");
    ASSERT_EQ(removed.status, 0) << removed.out << removed.err;
    EXPECT_EQ(removed.err, "");
    EXPECT_EQ(tessaly::cupsQueueExists("Tessaly", &why), 0);
    EXPECT_FALSE(fs::exists(root_ / "bin/backend/tessaly"));
    EXPECT_FALSE(fs::exists(root_ / "drivers/ports/TessalyPort.port"));
    EXPECT_EQ(store.readString("SpoolPath", &spool), tessaly::kRegistryNotFound);
    EXPECT_EQ(run({"lpstat", "-r"}, root_ / "scratch").out, "scheduler is running\n");
}

// A spooler that ignores the stop control: the stop fails with the time-out
// after 10 seconds.
TEST_F(PrivateCups, SpoolerThatDoesNotStopTimesOut) {
    const fs::path conf = root_ / "stub-conf";
    fs::create_directories(conf);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t stub = fork();
    if (stub == 0) {
        signal(SIGTERM, SIG_IGN);
        (void)!write(ready[1], "r", 1);
        for (;;) pause();
    }
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);  // the stop is ignored from now on
    close(ready[0]);
    close(ready[1]);
    std::ofstream(conf / "tessaly-cupsd.pid") << stub << "\n";
    setenv("TESSALY_CUPSD_CONFIG", conf.c_str(), 1);
    const std::string server = getenv("CUPS_SERVER");
    setenv("CUPS_SERVER", "127.0.0.1:1", 1);  // nobody answers there
    auto service = tessaly::spooler::cupsService();
    auto clock = tessaly::spooler::systemClock();
    std::string step;
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(tessaly::installer::stopSpooler(*service, *clock, &step), tessaly::spooler::kErrorTimeout);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    EXPECT_GE(seconds, 10.0);
    EXPECT_LT(seconds, 15.0);
    EXPECT_EQ(step, "StopService");
    kill(stub, SIGKILL);
    (void)tessaly::testing::waitFor(stub);
    // Once the process is gone, the spooler counts as stopped.
    EXPECT_EQ(tessaly::installer::stopSpooler(*service, *clock, &step), 0u);
    setenv("CUPS_SERVER", server.c_str(), 1);
    setenv("TESSALY_CUPSD_CONFIG", (root_ / "conf").c_str(), 1);
}

}  // namespace
