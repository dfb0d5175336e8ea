// The package's maintainer scripts, as dpkg runs them, on a private copy of
// the machine: their paths (the programs, the store, the spool root) point
// into a temporary directory, and deploykit is a stand-in that records how it
// was called. Installing sets the values and the spool root up and installs
// the printer; a print server that refuses does not break the installation;
// removal takes the printer and the values away; an upgrade keeps them;
// purging leaves nothing.

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "child_process.h"
#include "platform/registry.h"
#include "support/text.h"
#include "test_directory.h"

namespace fs = std::filesystem;

namespace {

using tessaly::testing::slurp;

class MaintainerScripts : public testing::Test {
protected:
    void SetUp() override {
        dir = tessaly::testing::freshTestDirectory("tessaly_maintainer_");
        fs::create_directories(dir / "bin");
        fs::create_directories(dir / "lib");
        registry = dir / "var" / "lib" / "tessaly" / "registry";
        spool = dir / "var" / "spool" / "tessaly";
        fs::create_symlink(fs::path(TESSALY_BIN_DIR) / "tessaly-setup-values", dir / "bin" / "tessaly-setup-values");
        for (const char* script : {"postinst", "prerm", "postrm"}) copyScript(script);
        setenv("TESSALY_REGISTRY_ROOT", registry.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("TESSALY_REGISTRY_ROOT");
        std::error_code ec;
        if (!HasFailure()) fs::remove_all(dir, ec);
    }

    // The script as the package holds it, with its paths moved into dir.
    void copyScript(const std::string& name) {
        std::ifstream in(fs::path(TESSALY_BUILD_DIR) / "packaging" / "debian" / name);
        ASSERT_TRUE(in) << name;
        std::ostringstream out;
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("BIN=", 0) == 0) {
                line = "BIN=\"" + (dir / "bin").string() + "\"";
            } else if (line.rfind("LIB=", 0) == 0) {
                line = "LIB=\"" + (dir / "lib").string() + "\"";
            } else if (line.rfind("SPOOL=", 0) == 0) {
                line = "SPOOL=\"" + spool.string() + "/\"";
            } else if (line.rfind("PPD=", 0) == 0) {
                // The package's own PPD, never left out.
                EXPECT_NE(line.find(".ppd\""), std::string::npos) << name << ": " << line;
                line = "PPD=\"" + (dir / "ppd" / "Tessaly.ppd").string() + "\"";
            } else if (line.rfind("REGISTRY=", 0) == 0) {
                line = "REGISTRY=\"" + registry.string() + "\"";
            } else {
                // Every path of the machine is one of those.
                EXPECT_EQ(line.find("/var/"), std::string::npos) << name << ": " << line;
                EXPECT_EQ(line.find("/usr/"), std::string::npos) << name << ": " << line;
            }
            out << line << '\n';
        }
        const std::string text = out.str();
        std::ofstream(dir / name) << text;
    }
    // A deploykit that records its arguments, one run a line, and exits with status.
    void fakeDeploykit(int status) {
        std::ofstream(dir / "bin" / "deploykit") << "#!/bin/sh\nprintf '%s|' \"$@\" >> '" << (dir / "deploykit.log").string()
                                                 << "'\necho >> '" << (dir / "deploykit.log").string() << "'\nexit "
                                                 << status << "\n";
        fs::permissions(dir / "bin" / "deploykit", fs::perms::owner_all);
    }
    int run(const std::string& script, const std::string& argument) {
        const std::string command = "sh '" + (dir / script).string() + "' " + argument + " > '" +
                                    (dir / (script + ".log")).string() + "' 2>&1";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string log(const std::string& script) const { return slurp(dir / (script + ".log")); }
    std::string value(std::string_view name) const {
        tessaly::ValueStore store(registry.string());
        std::u16string text;
        if (store.readString(name, &text) == tessaly::kRegistryOk) return tessaly::toUtf8(text);
        uint32_t number = 0;
        if (store.readDword(name, &number) == tessaly::kRegistryOk) return std::to_string(number);
        return "<absent>";
    }

    fs::path dir, registry, spool;
};

TEST_F(MaintainerScripts, InstallingSetsUpTheValuesTheSpoolRootAndThePrinter) {
    fakeDeploykit(0);
    ASSERT_EQ(run("postinst", "configure"), 0) << log("postinst");
    EXPECT_EQ(value("SpoolPath"), spool.string() + "/");
    EXPECT_EQ(value("SpoolPerUser"), "1");
    EXPECT_EQ(value("MSInterfaceName"), "Viewer");
    EXPECT_NE(value("BasePath"), "<absent>");
    struct stat info {};
    ASSERT_EQ(::lstat(spool.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 01733u);
    // deploykit under its own name, every name given, the driver and the PPD
    // the package's.
    EXPECT_EQ(slurp(dir / "deploykit.log"), "-ui|Tessaly|Tessaly Driver|" + (dir / "lib").string() +
                                                "/libpagesmith.so|" + (dir / "ppd").string() +
                                                "/Tessaly.ppd|WinPrint|TessalyPort|\n");

    // Removal: the printer goes, then the values.
    ASSERT_EQ(run("prerm", "remove"), 0) << log("prerm");
    EXPECT_NE(slurp(dir / "deploykit.log").find("\n-u|Tessaly|Tessaly Driver|"), std::string::npos)
        << slurp(dir / "deploykit.log");
    for (const char* name : {"BasePath", "SpoolPath", "SpoolPerUser", "MSInterfaceName", "DPI", "SizeIndex"}) {
        EXPECT_EQ(value(name), "<absent>") << name;
    }
    // Purging takes the store and the spool directories with their jobs.
    fs::create_directories(spool / "alice" / "12345678");
    ASSERT_EQ(run("postrm", "purge"), 0) << log("postrm");
    EXPECT_FALSE(fs::exists(registry));
    EXPECT_FALSE(fs::exists(registry.parent_path()));
    EXPECT_FALSE(fs::exists(spool));
}

TEST_F(MaintainerScripts, AnUpgradeKeepsThePrinterAndTheValues) {
    fakeDeploykit(0);
    ASSERT_EQ(run("postinst", "configure"), 0) << log("postinst");
    ASSERT_EQ(tessaly::ValueStore(registry.string()).writeString("MSInterfaceName", u"minimal"), 0);
    ASSERT_EQ(run("prerm", "upgrade 0.2"), 0) << log("prerm");
    ASSERT_EQ(run("postrm", "upgrade 0.2"), 0) << log("postrm");
    EXPECT_EQ(value("SpoolPerUser"), "1");
    EXPECT_TRUE(fs::exists(spool));
    // The new version's set-up installs the printer again and keeps the choice.
    ASSERT_EQ(run("postinst", "configure 0.1"), 0) << log("postinst");
    EXPECT_EQ(value("MSInterfaceName"), "minimal");
    const std::string calls = slurp(dir / "deploykit.log");
    EXPECT_EQ(calls.find("-u|"), std::string::npos) << calls;
    EXPECT_EQ(std::count(calls.begin(), calls.end(), '\n'), 2) << calls;
}

TEST_F(MaintainerScripts, APrintServerThatRefusesOrNoDeploykitLeavesTheInstallationUsable) {
    // Without deploykit the scripts say so and go on.
    ASSERT_EQ(run("postinst", "configure"), 0) << log("postinst");
    EXPECT_NE(log("postinst").find("no deploykit"), std::string::npos) << log("postinst");
    EXPECT_EQ(value("SpoolPerUser"), "1");
    ASSERT_EQ(run("prerm", "remove"), 0) << log("prerm");
    EXPECT_EQ(value("SpoolPath"), "<absent>");

    // A deploykit that fails (no cupsd): the installation completes and says
    // what to run later.
    fakeDeploykit(1);
    ASSERT_EQ(run("postinst", "configure"), 0) << log("postinst");
    EXPECT_NE(log("postinst").find("install it later with"), std::string::npos) << log("postinst");
    EXPECT_NE(log("postinst").find("deploykit -ui"), std::string::npos) << log("postinst");
    EXPECT_EQ(run("prerm", "remove"), 0) << log("prerm");
    EXPECT_NE(log("prerm").find("lpadmin -x"), std::string::npos) << log("prerm");
    EXPECT_EQ(value("SpoolPath"), "<absent>");

    // A value store that cannot be written fails the installation: the
    // programs would not find their data.
    fs::remove_all(registry);
    fs::create_directories(registry.parent_path());
    std::ofstream(registry).put('x');
    EXPECT_NE(run("postinst", "configure"), 0) << log("postinst");
    EXPECT_NE(log("postinst").find("cannot write"), std::string::npos) << log("postinst");
}

}  // namespace
