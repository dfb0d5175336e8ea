// The installer's stages against a spooler kept in memory: what each manner
// prints, which error number a failure gets, and what counts as success.

#include "installer/deploy.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

using namespace tessaly;
using spooler::ServiceState;

class FakeClock : public spooler::Clock {
public:
    uint64_t milliseconds() override { return now; }
    void sleep(uint32_t ms) override { now += ms; }
    uint64_t now = 1000;
};

// A spooler service; `stopDelayMs` is how long it takes to stop after the
// stop control (forever when ignoresStop).
class FakeService : public spooler::SpoolerService {
public:
    explicit FakeService(FakeClock& clock) : clock_(clock) {}
    uint32_t start() override {
        ++starts;
        if (startError) return startError;
        if (state_ == ServiceState::Running) return spooler::kErrorServiceAlreadyRunning;
        state_ = ServiceState::Running;
        return 0;
    }
    uint32_t state(ServiceState* out) override {
        if (neverStarts && state_ == ServiceState::Running) {
            *out = ServiceState::StartPending;
            return 0;
        }
        if (stopSentAt && state_ == ServiceState::StopPending && !ignoresStop &&
            clock_.now >= stopSentAt + stopDelayMs)
            state_ = ServiceState::Stopped;
        *out = state_;
        return 0;
    }
    uint32_t sendStop() override {
        ++stops;
        state_ = ServiceState::StopPending;
        stopSentAt = clock_.now;
        return 0;
    }
    std::vector<std::string> activeDependents() override {
        return dependentRunning ? std::vector<std::string>{"browsing"} : std::vector<std::string>{};
    }
    uint32_t dependentState(const std::string&, ServiceState* out) override {
        *out = dependentRunning ? ServiceState::Running : ServiceState::Stopped;
        return 0;
    }
    uint32_t stopDependent(const std::string&) override {
        dependentRunning = false;
        return 0;
    }
    bool running() const { return state_ == ServiceState::Running; }
    void setRunning(bool on) { state_ = on ? ServiceState::Running : ServiceState::Stopped; }

    int starts = 0, stops = 0;
    uint32_t startError = 0;
    bool ignoresStop = false;
    bool neverStarts = false;
    bool dependentRunning = false;
    uint32_t stopDelayMs = 1200;
    uint64_t stopSentAt = 0;

private:
    FakeClock& clock_;
    ServiceState state_ = ServiceState::Stopped;
};

class FakeSpooler : public spooler::PrintSpooler {
public:
    explicit FakeSpooler(FakeService& service) : service_(service) {}
    uint32_t driverDirectory(std::string* out) override {
        *out = "/drivers";
        return 0;
    }
    uint32_t deletePrinter(const std::string& name) override {
        if (deletePrinterError) return deletePrinterError;
        return printers.erase(name) ? 0 : spooler::kErrorInvalidPrinterName;
    }
    uint32_t deletePrinterDriver(const std::string& name) override {
        if (deleteDriverError) return deleteDriverError;
        return drivers.erase(name) ? 0 : spooler::kErrorUnknownPrinterDriver;
    }
    uint32_t addPrinterDriver(const spooler::DriverInfo& driver) override {
        if (addDriverError) return addDriverError;
        if (!service_.running()) return spooler::kErrorServerUnavailable;
        if (!files.count("/drivers/" + driver.driverFile) || !files.count("/drivers/" + driver.configFile))
            return spooler::kErrorFileNotFound;
        drivers.insert(driver.name);
        files.insert("/drivers/3/" + driver.driverFile);
        files.insert("/drivers/3/" + driver.configFile);
        return 0;
    }
    uint32_t addPrinter(const spooler::PrinterInfo& printer) override {
        if (!service_.running()) return spooler::kErrorServerUnavailable;
        if (!drivers.count(printer.driverName) || !ports.count(printer.portName)) return spooler::kErrorInvalidParameter;
        printers.insert(printer.name);
        added = printer;
        return 0;
    }
    uint32_t addPort(const std::string& name) override {
        portChangesWhileRunning += service_.running();
        ports.insert(name);
        return 0;
    }
    uint32_t deletePort(const std::string& name) override {
        portChangesWhileRunning += service_.running();
        ports.erase(name);
        return 0;
    }
    void broadcastPrinterChange(const std::string& name) override { broadcasts.push_back(name); }
    uint32_t copyFile(const std::string& from, const std::string& to) override {
        if (copyError) return copyError;
        files.insert(to);
        copied.push_back(from);
        return 0;
    }
    uint32_t deleteFile(const std::string& path) override {
        if (lockedFiles.count(path)) return spooler::kErrorAccessDenied;
        deleted.push_back(path);
        return files.erase(path) ? 0 : spooler::kErrorFileNotFound;
    }

    std::set<std::string> printers, drivers, ports, files, lockedFiles;
    std::vector<std::string> broadcasts, copied, deleted;
    spooler::PrinterInfo added;
    uint32_t deletePrinterError = 0, deleteDriverError = 0, addDriverError = 0, copyError = 0;
    int portChangesWhileRunning = 0;

private:
    FakeService& service_;
};

class Capture : public installer::DeployOutput {
public:
    void out(const std::string& text) override { stdoutText += text; }
    void err(const std::string& text) override { stderrText += text; }
    void messageBox(const std::string& title, const std::string& text) override {
        boxTitle = title;
        boxText = text;
    }
    std::string stdoutText, stderrText, boxTitle, boxText;
};

// The built-in names of the quiet manner.
const installer::DeploySettings kQuiet;

std::vector<std::string> verboseArgs(const std::string& mode) {
    return {"/opt/bin/deploykit", mode, "Tessaly", "Tessaly Driver", "/src/libpagesmith.so", "/src/Tessaly.ppd",
            "WinPrint", "TessalyPort"};
}

class DeployTest : public ::testing::Test {
protected:
    installer::DeployResult run(const std::vector<std::string>& args) {
        installer::DeploySettings settings;
        EXPECT_EQ(installer::parseArguments(args, &settings, nullptr), 0);
        return installer::runDeploy(settings, service, spooler, clock, output);
    }
    FakeClock clock;
    FakeService service{clock};
    FakeSpooler spooler{service};
    Capture output;
};

TEST_F(DeployTest, InstallOnAMachineWithoutThePrinterCountsTheMissingPiecesAsRemoved) {
    const installer::DeployResult result = run(verboseArgs("-ui"));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.errorNumber, 0u);
    EXPECT_EQ(result.stage, 18u);
    EXPECT_EQ(output.stdoutText,
              "- Old printer Tessaly uninstalled or unavailable\n"
              "- Old driver Tessaly Driver uninstalled or unavailable\n"
              "- Old local port TessalyPort deleted\n"
              "- New local port TessalyPort installed\n"
              "- New driver Tessaly Driver files copied\n"
              "- New driver Tessaly Driver installed\n"
              "- Installed new printer Tessaly with new driver Tessaly Driver\n");
    EXPECT_EQ(output.stderrText, "");
    EXPECT_TRUE(spooler.printers.count("Tessaly"));
    EXPECT_TRUE(spooler.ports.count("TessalyPort"));
    EXPECT_TRUE(service.running());
    // Ports change only while the spooler is stopped.
    EXPECT_EQ(spooler.portChangesWhileRunning, 0);
    // The copies in the driver directory go away once the driver has its own.
    EXPECT_FALSE(spooler.files.count("/drivers/libpagesmith.so"));
    EXPECT_TRUE(spooler.files.count("/drivers/3/libpagesmith.so"));
    EXPECT_TRUE(spooler.files.count("/drivers/3/Tessaly.ppd"));
    EXPECT_EQ(spooler.added.printProcessor, "WinPrint");
    // The verbose manner keeps the files it was given.
    EXPECT_EQ(spooler.copied, (std::vector<std::string>{"/src/libpagesmith.so", "/src/Tessaly.ppd"}));
    EXPECT_EQ(std::count(spooler.deleted.begin(), spooler.deleted.end(), "/src/libpagesmith.so"), 0);
}

TEST_F(DeployTest, RemovingLeavesTheSpoolerRunningAndNoPortAndRunsTwice) {
    ASSERT_EQ(run(verboseArgs("-i")).exitCode, 0);
    ASSERT_TRUE(spooler.printers.count("Tessaly"));
    EXPECT_EQ(run(verboseArgs("-u")).exitCode, 0);
    EXPECT_TRUE(spooler.printers.empty());
    EXPECT_TRUE(spooler.drivers.empty());
    EXPECT_TRUE(spooler.ports.empty());
    EXPECT_TRUE(service.running());
    EXPECT_EQ(spooler.broadcasts, std::vector<std::string>{"Tessaly"});
    output.stdoutText.clear();
    const installer::DeployResult again = run(verboseArgs("-u"));
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(again.stage, 18u);
    EXPECT_TRUE(service.running());
    EXPECT_EQ(output.stdoutText,
              "- Old printer Tessaly uninstalled or unavailable\n"
              "- Old driver Tessaly Driver uninstalled or unavailable\n"
              "- Old local port TessalyPort deleted\n");
}

TEST_F(DeployTest, QuietFailureAtStageThirteenShowsTheErrorNumberAndDeletesTheGivenFiles) {
    spooler.addDriverError = 5;
    const installer::DeployResult result = run({"/tmp/setup/tessaly-setup", "-i"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.errorNumber, 1300005u);
    // One dot for each progress line reached (stages 8 and 12), nothing else.
    EXPECT_EQ(output.stdoutText, "..");
    EXPECT_EQ(output.stderrText, "");
    EXPECT_EQ(output.boxTitle, "Tessaly Installation Error");
    EXPECT_NE(output.boxText.find("Unable to register the Tessaly driver component.\n\n"), std::string::npos);
    EXPECT_NE(output.boxText.find(" and mention error number 1300005.\nTessaly is not correctly installed."),
              std::string::npos);
    EXPECT_NE(std::count(spooler.deleted.begin(), spooler.deleted.end(), kQuiet.driverLibrary), 0);
    EXPECT_NE(std::count(spooler.deleted.begin(), spooler.deleted.end(), kQuiet.driverConfig), 0);
    EXPECT_TRUE(service.running());
}

TEST_F(DeployTest, QuietSuccessPrintsDotsAndRemovesTheSetupFiles) {
    const installer::DeployResult result = run({"tessaly-setup", "-ui"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(output.stdoutText, "......");
    EXPECT_EQ(output.boxTitle, "");
    EXPECT_EQ(spooler.added.name, "Tessaly");
    EXPECT_EQ(spooler.added.driverName, "Tessaly Driver");
    EXPECT_EQ(spooler.added.portName, "TessalyPort");
    EXPECT_FALSE(spooler.added.printDirectly);
    EXPECT_NE(std::count(spooler.deleted.begin(), spooler.deleted.end(), kQuiet.driverLibrary), 0);
}

TEST_F(DeployTest, VerboseFailureNamesTheStepStageAndCode) {
    spooler.addDriverError = 5;
    const installer::DeployResult result = run(verboseArgs("-i"));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(output.stderrText, "AddPrinterDriver stage 13: error 5 - " + spooler::errorText(5) + "\n");
    EXPECT_EQ(output.boxTitle, "");
    EXPECT_TRUE(service.running());

    Capture copyOutput;
    spooler.addDriverError = 0;
    spooler.copyError = 3;
    installer::DeploySettings settings;
    ASSERT_EQ(installer::parseArguments(verboseArgs("-i"), &settings, nullptr), 0);
    EXPECT_EQ(installer::runDeploy(settings, service, spooler, clock, copyOutput).errorNumber, 1200003u);
    EXPECT_EQ(copyOutput.stderrText,
              "Driver file copy to /drivers/libpagesmith.so failed stage 12: error 3 - " + spooler::errorText(3) + "\n");
}

TEST_F(DeployTest, WhatCountsAsSuccessWhenRemoving) {
    // A driver still in use, and a printer that cannot be deleted, do not
    // stop the run; a driver that cannot be deleted for another reason does.
    spooler.drivers.insert("Tessaly Driver");
    spooler.deleteDriverError = spooler::kErrorPrinterDriverInUse;
    spooler.deletePrinterError = spooler::kErrorAccessDenied;
    installer::DeployResult result = run(verboseArgs("-u"));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(output.stderrText, "Unable to DeletePrinter stage 2: error 5 - " + spooler::errorText(5) + "\n");

    spooler.deletePrinterError = 0;
    spooler.deleteDriverError = spooler::kErrorAccessDenied;
    result = run(verboseArgs("-u"));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.errorNumber, 300005u);
    EXPECT_TRUE(service.running());
}

TEST_F(DeployTest, LockedDriverFilesStopTheInstall) {
    spooler.lockedFiles.insert("/drivers/3/Tessaly.ppd");
    const installer::DeployResult result = run(verboseArgs("-i"));
    EXPECT_EQ(result.errorNumber, 1100005u);
    EXPECT_EQ(output.stderrText.rfind("ArePrintDriverFilesLocked stage 11:", 0), 0u);
    EXPECT_TRUE(spooler.printers.empty());
}

TEST_F(DeployTest, EighthArgumentDecidesDirectPrinting) {
    std::vector<std::string> args = verboseArgs("-i");
    ASSERT_EQ(run(args).exitCode, 0);
    EXPECT_TRUE(spooler.added.printDirectly);
    args.push_back("no");
    ASSERT_EQ(run(args).exitCode, 0);
    EXPECT_FALSE(spooler.added.printDirectly);
    args.back() = "yes";
    ASSERT_EQ(run(args).exitCode, 0);
    EXPECT_TRUE(spooler.added.printDirectly);
    args.back() = "Yes";  // only a lower-case y counts
    ASSERT_EQ(run(args).exitCode, 0);
    EXPECT_FALSE(spooler.added.printDirectly);
}

TEST_F(DeployTest, ArgumentsAndManners) {
    installer::DeploySettings settings;
    std::string usage;
    EXPECT_EQ(installer::parseArguments({"deploykit", "-ui", "a", "b", "c", "d", "e"}, &settings, &usage), 1);
    EXPECT_EQ(usage.rfind("usage: deploykit.exe -ui printer_name driver_name driver_dll driverui_dll\n"
                          "                     print_processor print_port print_directly\n",
                          0),
              0u);
    EXPECT_EQ(installer::parseArguments({"setup"}, &settings, &usage), 1);
    EXPECT_EQ(installer::parseArguments({"setup", "-x"}, &settings, &usage), 0);
    EXPECT_FALSE(settings.verbose);
    EXPECT_EQ(settings.printerName, "Tessaly");
    EXPECT_EQ(settings.portName, "TessalyPort");
    EXPECT_TRUE(installer::isVerboseName("C:\\Tools\\DEPLOYKIT.EXE"));
    EXPECT_TRUE(installer::isVerboseName("/usr/bin/deploykit"));
    EXPECT_FALSE(installer::isVerboseName("/usr/bin/deploykit-old"));
    EXPECT_FALSE(installer::isVerboseName("/opt/deploykit/setup"));

    // A mode that asks for nothing succeeds and touches nothing.
    EXPECT_EQ(installer::parseArguments(verboseArgs("-x"), &settings, &usage), 0);
    const installer::DeployResult result = installer::runDeploy(settings, service, spooler, clock, output);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(service.starts, 0);
}

TEST_F(DeployTest, SpoolerStopTimeLimitAndDependents) {
    service.setRunning(true);
    service.dependentRunning = true;
    std::string step;
    const uint64_t before = clock.now;
    EXPECT_EQ(installer::stopSpooler(service, clock, &step), 0u);
    EXPECT_FALSE(service.dependentRunning);
    // Stopped after 1.2 s of polling every 0.5 s, then the 4 s pause.
    EXPECT_EQ(clock.now - before, 1500u + 4000u);

    service.setRunning(true);
    service.ignoresStop = true;
    EXPECT_EQ(installer::stopSpooler(service, clock, &step), spooler::kErrorTimeout);
    EXPECT_EQ(step, "StopService");

    // In an install, the time-out fails stage 7.
    service.setRunning(true);
    const installer::DeployResult result = run(verboseArgs("-i"));
    EXPECT_EQ(result.errorNumber, 701460u);
    EXPECT_EQ(output.stderrText.rfind("StopService stage 7: error 1460 - ", 0), 0u);
}

TEST_F(DeployTest, ASpoolerThatNeverFinishesStartingFailsInsteadOfHanging) {
    service.neverStarts = true;
    const installer::DeployResult result = run(verboseArgs("-u"));
    EXPECT_EQ(result.errorNumber, 1460u);
    EXPECT_EQ(output.stderrText.rfind("StartService stage 0: error 1460 - ", 0), 0u);
    EXPECT_LE(clock.now, 1000u + 2 * 120000u + 1000u);
}

TEST_F(DeployTest, StartFailuresAreReportedAtTheirStage) {
    service.startError = spooler::kErrorAccessDenied;
    const installer::DeployResult result = run(verboseArgs("-u"));
    EXPECT_EQ(result.errorNumber, 5u);
    EXPECT_EQ(output.stderrText, "StartService stage 0: error 5 - " + spooler::errorText(5) + "\n");
}

}  // namespace
