// `cmake --install` into a temporary DESTDIR: the programs, the driver and
// the libraries, the data directory and the user units are where they
// belong, and the installed programs run from there with their own
// libraries (not the build tree's) and print a movie.

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"

namespace fs = std::filesystem;

namespace {

struct Output {
    int status = -1;
    std::string text;
};

// Runs a shell command line made only of the test's own paths.
Output run(const std::string& command) {
    Output out;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return out;
    std::array<char, 4096> chunk{};
    size_t n = 0;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) out.text.append(chunk.data(), n);
    const int status = ::pclose(pipe);
    out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

std::vector<std::string> split(const std::string& list) {
    std::vector<std::string> items;
    std::stringstream in(list);
    for (std::string item; std::getline(in, item, ',');) {
        if (!item.empty()) items.push_back(item);
    }
    return items;
}

class InstalledLayout : public testing::Test {
protected:
    static void SetUpTestSuite() {
        destdir = fs::temp_directory_path() / ("tessaly_install_" + std::to_string(::getpid()));
        fs::remove_all(destdir);
        installed = run("DESTDIR=" + destdir.string() + " '" + std::string(TESSALY_CMAKE_COMMAND) + "' --install '" +
                        TESSALY_BUILD_DIR + "'");
        prefix = destdir / fs::path(TESSALY_INSTALL_PREFIX).relative_path();
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        fs::remove_all(destdir, ec);
    }
    void SetUp() override { ASSERT_EQ(installed.status, 0) << installed.text; }

    static inline fs::path destdir, prefix;
    static inline Output installed;
};

TEST_F(InstalledLayout, EveryPieceIsInItsPlace) {
    for (const std::string& program : split(TESSALY_INSTALLED_PROGRAMS)) {
        EXPECT_EQ(::access((prefix / "bin" / program).c_str(), X_OK), 0) << program;
    }
    for (const char* library : {"libpagesmith.so", "libtessaly_gdi.so", "libtessaly_fonts.so"}) {
        EXPECT_TRUE(fs::is_regular_file(prefix / "lib" / "tessaly" / library)) << library;
    }
    const fs::path data = prefix / "share" / "tessaly";
    for (const char* file : {"Tessaly.settings", "Working.swf", "Searching.swf", "skin.bmp", "interface/Viewer.interface",
                             "interface/Viewer.swf", "interface/default/Viewer.interface"}) {
        EXPECT_TRUE(fs::is_regular_file(data / file)) << file;
    }
    // Every file of the source's data directory is installed, apart from the
    // skin's maker.
    const fs::path source = fs::path(TESSALY_SOURCE_DIR) / "data";
    for (const auto& entry : fs::recursive_directory_iterator(source)) {
        if (!entry.is_regular_file()) continue;
        const fs::path relative = fs::relative(entry.path(), source);
        if (relative == "make-skin.py") {
            EXPECT_FALSE(fs::exists(data / relative));
        } else {
            EXPECT_TRUE(fs::is_regular_file(data / relative)) << relative;
        }
    }
    if (fs::exists(fs::path(TESSALY_BUILD_DIR) / "data" / "ruffle" / "ruffle.js")) {
        EXPECT_TRUE(fs::is_regular_file(data / "ruffle" / "ruffle.js"));
    }
    const std::string service = tessaly::testing::slurp(prefix / "lib" / "systemd" / "user" / "tessaly-monitor.service");
    EXPECT_NE(service.find("ExecStart=" + std::string(TESSALY_INSTALL_PREFIX) + "/bin/tessaly --headless --once"),
              std::string::npos)
        << service;
    EXPECT_NE(tessaly::testing::slurp(prefix / "lib" / "systemd" / "user" / "tessaly-monitor.path").find("%u"),
              std::string::npos);
}

TEST_F(InstalledLayout, ProgramsAndTheDriverFindTheInstalledLibraries) {
    std::vector<fs::path> binaries = {prefix / "lib" / "tessaly" / "libpagesmith.so",
                                      prefix / "lib" / "tessaly" / "libtessaly_gdi.so"};
    for (const std::string& program : split(TESSALY_INSTALLED_PROGRAMS)) binaries.push_back(prefix / "bin" / program);
    for (const fs::path& binary : binaries) {
        SCOPED_TRACE(binary.string());
        // The build tree's libraries must not be what they load.
        const Output ldd = run("env -u LD_LIBRARY_PATH ldd '" + binary.string() + "'");
        ASSERT_EQ(ldd.status, 0) << ldd.text;
        EXPECT_EQ(ldd.text.find("not found"), std::string::npos) << ldd.text;
        EXPECT_EQ(ldd.text.find(std::string(TESSALY_BUILD_DIR) + "/"), std::string::npos) << ldd.text;
        // Our own libraries come from the installation's lib/tessaly/.
        std::stringstream lines(ldd.text);
        for (std::string line; std::getline(lines, line);) {
            if (line.find("libtessaly_") == std::string::npos) continue;
            EXPECT_NE(line.find("=> " + destdir.string() + "/"), std::string::npos) << line;
            EXPECT_NE(line.find("/lib/tessaly/libtessaly_"), std::string::npos) << line;
        }
    }
    for (const std::string& program : split(TESSALY_INSTALLED_PROGRAMS)) {
        if (program == "deploykit") continue;  // its usage is its own
        const Output help = run("env -u LD_LIBRARY_PATH '" + (prefix / "bin" / program).string() + "' --help");
        EXPECT_EQ(help.status, 0) << program << ": " << help.text;
        EXPECT_NE(help.text.find("Usage"), std::string::npos) << program << ": " << help.text;
    }
}

TEST_F(InstalledLayout, TheInstalledProgramsSetUpTheValuesAndPrintAMovie) {
    const fs::path work = destdir / "work";
    fs::create_directories(work);
    const std::string env = "env -u LD_LIBRARY_PATH -u TESSALY_DRIVER TESSALY_REGISTRY_ROOT='" +
                            (work / "reg").string() + "' TMPDIR='" + work.string() + "' ";
    const Output setup = run(env + "'" + (prefix / "bin" / "tessaly-setup-values").string() + "' --spool '" +
                             (work / "spool").string() + "' --make-spool --paper A4");
    ASSERT_EQ(setup.status, 0) << setup.text;
    const Output shown = run(env + "'" + (prefix / "bin" / "tessaly-setup-values").string() + "' --show");
    EXPECT_NE(shown.text.find("BasePath=" + (prefix / "share" / "tessaly").string() + "/\n"), std::string::npos)
        << shown.text;
    EXPECT_NE(shown.text.find("SpoolPerUser=1\n"), std::string::npos) << shown.text;
    EXPECT_NE(shown.text.find("SizeIndex=5\n"), std::string::npos) << shown.text;

    // The driver is found in lib/tessaly/ and the movie is built on the
    // installed data (the viewer interface the values named).
    const Output printed = run(env + "'" + (prefix / "bin" / "tessaly-print").string() +
                               "' --test-document --vector --dpi 72 -o '" + (work / "doc.swf").string() + "'");
    ASSERT_EQ(printed.status, 0) << printed.text;
    const std::string movie = tessaly::testing::slurp(work / "doc.swf");
    ASSERT_GT(movie.size(), 1000u);
    EXPECT_TRUE(movie.compare(0, 3, "FWS") == 0 || movie.compare(0, 3, "CWS") == 0);

    const Output removed = run(env + "'" + (prefix / "bin" / "tessaly-setup-values").string() + "' --remove");
    EXPECT_EQ(removed.status, 0) << removed.text;
    EXPECT_TRUE(fs::is_empty(work / "reg"));
}

}  // namespace
