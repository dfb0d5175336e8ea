// The job monitor on real job directories, real named mutexes and the real
// converter, with the headless user interface recording what it shows.

#include "app/job_monitor.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "app_test_support.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "app/headless_ui.h"
#include "app/saving.h"
#include "platform/named_mutex.h"
#include "support/compression.h"

namespace tessaly::app {
namespace {

namespace fs = std::filesystem;

const std::string kSource = TESSALY_SOURCE_DIR;

class FakeTimer : public MonitorTimer {
public:
    void start(unsigned intervalMs) override {
        running_ = true;
        interval = intervalMs;
    }
    void stop() override { running_ = false; }
    bool running() const override { return running_; }
    unsigned interval = 0;

private:
    bool running_ = false;
};

void writeText(const fs::path& path, std::string_view text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class Monitor : public testing::Test {
protected:
    void SetUp() override {
        scratch = fs::temp_directory_path() /
                  ("tessaly_monitor_" + std::to_string(::getpid()) + "_" +
                   testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(scratch);
        fs::create_directories(scratch / "spool");
        fs::create_directories(scratch / "tmp");
        fs::create_directories(scratch / "run", ec);
        fs::permissions(scratch / "run", fs::perms::owner_all, ec);
        // An empty value store (every setting takes its default) and mutexes of our own.
        setenv("TESSALY_REGISTRY_ROOT", testing_support::emptyRegistryRoot(scratch / "registry").c_str(), 1);
        setenv("TESSALY_RUNTIME_DIR", (scratch / "run").string().c_str(), 1);
        config.baseDirectory = kSource + "/data/";
        config.spoolDirectory = (scratch / "spool").string() + "/";
        config.temporaryDirectory = (scratch / "tmp").string();
        config.freeSpace = [this](const std::string&) { return freeBytes; };
    }
    void TearDown() override {
        monitor.reset();
        fs::remove_all(scratch, ec);
    }

    JobMonitor& make() {
        monitor = std::make_unique<JobMonitor>(ui, timer, config);
        return *monitor;
    }
    fs::path spool(const std::string& name) const { return scratch / "spool" / name; }
    // A copy of an example job with the given status.
    void copyJob(const std::string& name, std::string_view status, const std::string& example = "letter") {
        fs::copy(fs::path(kSource) / "examples/jobs" / example, spool(name), fs::copy_options::recursive);
        writeText(spool(name) / "_status", status);
    }
#ifndef _WIN32
    // A job of plain markup: `frames` empty pages, page `gatePage` loading a
    // font file that is a pipe, so the conversion waits there until it opens.
    void gatedJob(const std::string& name, int frames, int gatePage, std::string_view status) {
        fs::create_directories(spool(name));
        std::string mml = "<Media width=\"2000\" height=\"1500\">\n";
        for (int i = 1; i <= frames; ++i) {
            mml += "<Frame>";
            if (i == gatePage) mml += "<Font src=\"gate.mml\"/>";
            mml += "<Shape><LineStyle width=\"20\" color=\"#FF0000\"/><Line x=\"100\" y=\"100\"/></Shape>";
            mml += "</Frame>\n";
        }
        mml += "</Media>\n";
        writeText(spool(name) / "media.mml", mml);
        ASSERT_EQ(::mkfifo((spool(name) / "gate.mml").c_str(), 0600), 0);
        writeText(spool(name) / "_status", status);
    }
    void openGate(const std::string& name) {
        const int fd = ::open((spool(name) / "gate.mml").c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
#endif
    // Ticks until the condition holds (the worker runs meanwhile).
    bool tickUntil(const std::function<bool()>& condition, int seconds = 30) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            (void)monitor->tick();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }
    bool heldElsewhere(const std::string& name) {
        NamedMutex probe;
        EXPECT_EQ(probe.create("tessaly" + name, true), 1);
        return probe.alreadyExists();
    }

    std::error_code ec;
    fs::path scratch;
    HeadlessUserInterface ui;
    FakeTimer timer;
    MonitorConfig config;
    std::optional<uint64_t> freeBytes = uint64_t(1) << 32;
    std::unique_ptr<JobMonitor> monitor;
};

TEST(JobStatusText, KindsAndNumbers) {
    EXPECT_EQ(parseJobStatus("ERROR").kind, JobStatus::error);
    EXPECT_EQ(parseJobStatus("errors").kind, JobStatus::other);
    EXPECT_EQ(parseJobStatus("begin").kind, JobStatus::other);
    EXPECT_EQ(parseJobStatus("").kind, JobStatus::other);
    const JobStatus end = parseJobStatus("End:12");
    EXPECT_EQ(end.kind, JobStatus::end);
    EXPECT_EQ(end.number, 12u);
    EXPECT_EQ(parseJobStatus("end").number, 0u);
    EXPECT_EQ(parseJobStatus("end;12").number, 0u);
    EXPECT_EQ(parseJobStatus("end:x").number, 0u);
    EXPECT_EQ(parseJobStatus("end:99999999999").number, 0u);
    const JobStatus page = parseJobStatus("7");
    EXPECT_EQ(page.kind, JobStatus::pages);
    EXPECT_EQ(page.number, 7u);
    EXPECT_EQ(parseJobStatus("7a").kind, JobStatus::other);
    EXPECT_EQ(parseJobStatus("4294967296").kind, JobStatus::other);
}

TEST_F(Monitor, SearchSkipsUnderscoreDeletesErrorsClaimsAndFollowsPages) {
    fs::create_directories(spool("_tmp"));
    writeText(spool("_tmp") / "_status", "3");
    copyJob("a", "error");
    copyJob("b", "3");
    writeText(scratch / "spool" / "file", "not a job");
    // A status of 64 bytes counts as unreadable: such an entry is skipped.
    copyJob("c", std::string(64, '1'));
    // Entries are taken in the order the directory lists them: "a" is
    // deleted by this scan when it comes before the claimed "b".
    bool aFirst = false;
    for (const auto& entry : fs::directory_iterator(scratch / "spool")) {
        if (entry.path().filename() == "a") aFirst = true;
        if (entry.path().filename() == "b") break;
    }
    JobMonitor& m = make();
    EXPECT_EQ(m.tick(), 1);
    EXPECT_EQ(m.state(), MonitorState::Receiving);
    EXPECT_EQ(m.jobName(), "b");
    EXPECT_TRUE(fs::exists(spool("_tmp")));
    EXPECT_EQ(fs::exists(spool("a")), !aFirst);
    EXPECT_TRUE(fs::exists(spool("c")));
    EXPECT_EQ(ui.statusText(), " Receiving pages...");
    ASSERT_FALSE(ui.movies().empty());
    EXPECT_EQ(ui.movies().back().path, kSource + "/data/Working.swf");
    EXPECT_EQ(ui.movies().back().background, 0xFFFFFFu);
    EXPECT_TRUE(heldElsewhere("b"));
    (void)m.tick();
    EXPECT_EQ(ui.playerVariable("Text"), "Receiving Page 3...");
    // The same number again changes nothing; "begin" changes nothing.
    (void)m.tick();
    writeText(spool("b") / "_status", "begin");
    (void)m.tick();
    EXPECT_EQ(ui.playerVariableHistory("Text").size(), 1u);
    EXPECT_EQ(m.state(), MonitorState::Receiving);
}

TEST_F(Monitor, ShownPageStartsAtOne) {
    copyJob("j", "1");
    JobMonitor& m = make();
    (void)m.tick();
    (void)m.tick();
    EXPECT_TRUE(ui.playerVariableHistory("Text").empty());
    writeText(spool("j") / "_status", "2");
    (void)m.tick();
    EXPECT_EQ(ui.playerVariable("Text"), "Receiving Page 2...");
}

TEST_F(Monitor, OtherInstancesJobsAndAbandonedJobs) {
    copyJob("err", "error");
    copyJob("held", "2");
    NamedMutex other1, other2;
    ASSERT_EQ(other1.create("tessalyerr", true), 1);
    ASSERT_EQ(other2.create("tessalyheld", true), 1);
    copyJob("gone", "end:3");
    writeText(spool("gone") / "_deleteme", "asap");
    copyJob("-kept", "end:3");
    writeText(spool("-kept") / "_deleteme", "asap");
    copyJob("early", "2");
    writeText(spool("early") / "_deleteme", "asap");
    JobMonitor& m = make();
    EXPECT_EQ(m.tick(), 1);
    EXPECT_EQ(m.state(), MonitorState::Searching);
    // The status is read before the mutex is tried: an error job goes anyway.
    EXPECT_FALSE(fs::exists(spool("err")));
    EXPECT_TRUE(fs::exists(spool("held")));
    EXPECT_FALSE(fs::exists(spool("gone")));
    EXPECT_TRUE(fs::exists(spool("-kept")));
    // Abandoned while pages were still arriving: kept until its status says end.
    EXPECT_TRUE(fs::exists(spool("early")));
    EXPECT_FALSE(heldElsewhere("early"));
    writeText(spool("early") / "_status", "end:2");
    (void)m.tick();
    EXPECT_FALSE(fs::exists(spool("early")));
    // Once the other instance lets go of its job, this one takes it.
    other2.close();
    (void)m.tick();
    EXPECT_EQ(m.jobName(), "held");
}

TEST_F(Monitor, ClosingWhileReceivingAbandonsTheJob) {
    copyJob("r", "2");
    config.attached = true;
    JobMonitor& m = make();
    (void)m.tick();
    EXPECT_EQ(ui.statusTexts().front(), " Receiving pages...");
    ASSERT_EQ(m.state(), MonitorState::Receiving);
    EXPECT_EQ(m.cleanUpOnClose(), 1);
    EXPECT_EQ(readText(spool("r") / "_deleteme"), "asap");
    EXPECT_FALSE(heldElsewhere("r"));
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(Monitor, ConvertsShowsTheMovieAndDeletesTheJob) {
    copyJob("letter", "end:3");
    config.preferences.startMode = 1;
    ui.setPlayerVersion(4u << 16);
    JobMonitor& m = make();
    (void)m.tick();
    EXPECT_EQ(ui.statusTexts().front(), " Idle...");
    EXPECT_EQ(ui.movies().front().path, kSource + "/data/Searching.swf");
    (void)m.tick();
    ASSERT_EQ(m.state(), MonitorState::Converting);
    EXPECT_EQ(m.totalPages(), 3u);
    const std::string temporary = m.temporaryOutputPath();
    EXPECT_EQ(fs::path(temporary).parent_path(), scratch / "tmp");
    EXPECT_EQ(fs::path(temporary).filename().string().rfind("tessalydoc", 0), 0u);
    ASSERT_TRUE(tickUntil([&] { return m.state() != MonitorState::Converting; }));
    ASSERT_EQ(m.state(), MonitorState::Done) << ui.statusText();
    EXPECT_EQ(m.movie().moviePath, temporary + ".swf");
    EXPECT_TRUE(fs::exists(temporary + ".swf"));
    EXPECT_FALSE(fs::exists(spool("letter")));
    EXPECT_FALSE(heldElsewhere("letter"));
    EXPECT_TRUE(timer.running());
    const std::string status = ui.statusText();
    EXPECT_EQ(status.rfind(" 3 Pages - ", 0), 0u) << status;
    EXPECT_NE(status.find(" KB Size - Flash 5+ compatible"), std::string::npos) << status;
    // The installed player is older than the movie needs.
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, "Flash Player Version Problem");
    EXPECT_EQ(ui.messages()[0].text.rfind("The generated Flash movie needs Flash player version 5, while your\n"
                                          "currently installed Flash player version is 4.\n",
                                          0),
              0u);
    EXPECT_EQ(ui.movies().back().path, temporary + ".swf");
    EXPECT_TRUE(ui.movies().back().force);
    EXPECT_EQ(ui.movies().back().align, kFlashAlignTop);

    EXPECT_EQ(m.tick(), 1);
    EXPECT_FALSE(timer.running());
    EXPECT_TRUE(ui.commandsEnabled());
    EXPECT_EQ(ui.restoreCount(), 1);
    EXPECT_FALSE(m.saved());
    EXPECT_FALSE(ui.closeRequested());

    m.setSaved(true);
    EXPECT_EQ(m.cleanUpOnClose(), 1);
    EXPECT_TRUE(ui.messages().size() == 1);
    EXPECT_FALSE(fs::exists(temporary + ".swf"));

    // Cancel keeps everything; Yes saves, then the files go.
    int saves = 0;
    monitor.reset();
    config.saveMovie = [&](JobMonitor&, bool) { return ++saves > 0; };
    ui.scriptAnswers({MessageAnswer::cancel});
    copyJob("again", "end:3");
    JobMonitor& second = make();
    (void)second.tick();
    ui.setPlayerVersion(0);  // unknown: no warning
    const size_t shown = ui.messages().size();
    ASSERT_TRUE(tickUntil([&] { return second.state() == MonitorState::Done && !timer.running(); }));
    EXPECT_EQ(ui.messages().size(), shown);
    const std::string movie = second.movie().moviePath;
    EXPECT_EQ(second.cleanUpOnClose(), 0);
    EXPECT_EQ(ui.messages().back().title, "Save Flash Movie?");
    EXPECT_EQ(ui.messages().back().text, "The generated Flash movie was not saved - would you like to save it now?");
    EXPECT_TRUE(fs::exists(movie));
    ui.scriptAnswers({MessageAnswer::yes});
    second.preferences().closeSave = 2;
    EXPECT_EQ(second.cleanUpOnClose(), 1);
    EXPECT_EQ(ui.messages().back().title, "Save Flash Movie with HTML?");
    EXPECT_EQ(saves, 1);
    EXPECT_FALSE(fs::exists(movie));
    EXPECT_TRUE(fs::is_empty(scratch / "tmp"));
}

TEST_F(Monitor, CompressedVersionSixMovie) {
    // An installation whose interface movie is a compressed version 6 movie.
    const fs::path base = scratch / "base";
    fs::copy(kSource + "/data", base, fs::copy_options::recursive);
    std::string swf = readText(base / "interface/simple.swf");
    ASSERT_GT(swf.size(), 8u);
    swf[0] = 'C';
    swf[3] = 6;
    const SizedBlock body = compressData(reinterpret_cast<const uint8_t*>(swf.data()) + 8, swf.size() - 8, 9);
    ASSERT_TRUE(body.data);
    writeText(base / "interface/simple.swf",
              swf.substr(0, 8) + std::string(reinterpret_cast<const char*>(body.data.get()), body.length));
    config.baseDirectory = base.string() + "/";
    copyJob("iface", "end:2", "interface");
    JobMonitor& m = make();
    (void)m.tick();
    ASSERT_TRUE(tickUntil([&] { return m.state() == MonitorState::Done || m.state() == MonitorState::Failed; }));
    ASSERT_EQ(m.state(), MonitorState::Done);
    const std::string status = ui.statusText();
    EXPECT_EQ(status.rfind(" 2 Pages - ", 0), 0u) << status;
    EXPECT_TRUE(status.ends_with(" KB Size - Flash 6 compatible (compressed) ")) << status;
    EXPECT_EQ(readText(m.movie().moviePath).substr(0, 4), std::string("CWS\x06"));
    m.setSaved(true);
    EXPECT_EQ(m.cleanUpOnClose(), 1);
}

TEST_F(Monitor, DeliveryBeforeReleaseWhileTheJobIsStillHeld) {
    copyJob("held", "end:3");
    bool jobThere = false, mutexHeld = false;
    config.deliverBeforeRelease = [&](JobMonitor& m) {
        jobThere = fs::exists(spool("held") / "media.mml") && fs::exists(m.movie().moviePath);
        mutexHeld = heldElsewhere("held");
        return true;
    };
    JobMonitor& m = make();
    (void)m.tick();
    ASSERT_TRUE(tickUntil([&] { return m.state() == MonitorState::Done && !timer.running(); }));
    EXPECT_TRUE(jobThere);
    EXPECT_TRUE(mutexHeld);
    EXPECT_FALSE(fs::exists(spool("held")));
    EXPECT_TRUE(m.saved());
    EXPECT_EQ(m.cleanUpOnClose(), 1);
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(Monitor, AKeptJobIsConvertedOnlyOnce) {
    copyJob("-keep", "end:3");
    JobMonitor& m = make();
    (void)m.tick();
    ASSERT_TRUE(tickUntil([&] { return m.state() == MonitorState::Done && !timer.running(); }));
    EXPECT_TRUE(fs::exists(spool("-keep") / "media.mml"));
    EXPECT_TRUE(fs::exists(spool("-keep") / "_deleteme"));
    m.setSaved(true);
    EXPECT_EQ(m.cleanUpOnClose(), 1);
    monitor.reset();
    JobMonitor& next = make();
    (void)next.tick();
    EXPECT_EQ(next.state(), MonitorState::Searching);
    EXPECT_TRUE(fs::exists(spool("-keep")));
}

// The conversion is held at a page by a font file that is a FIFO, which
// Windows has not.
#ifndef _WIN32
TEST_F(Monitor, ProgressWithAndWithoutTotal) {
    for (const std::string status : {"end:12", "end"}) {
        SCOPED_TRACE(status);
        const std::string name = "g" + std::to_string(status.size());
        const size_t totals = ui.playerVariableHistory("PageTotal").size();
        gatedJob(name, 12, 5, status);
        JobMonitor& m = make();
        (void)m.tick();
        (void)m.tick();
        ASSERT_EQ(m.state(), MonitorState::Converting);
        const bool known = status == "end:12";
        const std::string expected = known ? "Working Page 5 of 12..." : "Working Page 5...";
        const bool reached = tickUntil([&] { return ui.playerVariable("Text") == expected; });
        openGate(name);
        ASSERT_TRUE(reached) << ui.playerVariable("Text");
        EXPECT_EQ(ui.playerVariable("PageNum"), "5");
        if (known) EXPECT_EQ(ui.playerVariable("PageTotal"), "12");
        else EXPECT_EQ(ui.playerVariableHistory("PageTotal").size(), totals);
        ASSERT_TRUE(tickUntil([&] { return m.state() != MonitorState::Converting; }));
        EXPECT_EQ(m.state(), MonitorState::Done);
        // A plain "end" gives no total: the converter's page count is shown.
        EXPECT_EQ(ui.statusText().rfind(" 12 Pages - ", 0), 0u) << ui.statusText();
        EXPECT_EQ(m.cleanUpOnClose(), 1);
        monitor.reset();
    }
}
#endif

TEST_F(Monitor, FailureMessageFollowsFreeDiskSpace) {
    const std::string disk = "An error occurred during Tessaly Printing - this usually means you've run out of disk space\n";
    const std::string general = "An error occurred during Tessaly Printing. A few suggestions about the problem:\n";
    const std::vector<std::pair<std::optional<uint64_t>, std::string>> cases = {
        {uint64_t(15) << 20, disk}, {std::nullopt, disk}, {uint64_t(20) << 20, general}};
    for (const auto& [space, start] : cases) {
        freeBytes = space;
        fs::create_directories(spool("bad"));
        writeText(spool("bad") / "media.mml", "not markup at all");
        writeText(spool("bad") / "_status", "end:1");
        ui.clearCloseRequest();
        JobMonitor& m = make();
        (void)m.tick();
        (void)m.tick();
        ASSERT_EQ(m.state(), MonitorState::Converting);
        bool failedStep = false;
        ASSERT_TRUE(tickUntil([&] {
            if (m.state() == MonitorState::Failed) return true;
            failedStep = m.tick() == 0;
            return false;
        }));
        EXPECT_TRUE(failedStep);
        EXPECT_FALSE(fs::exists(spool("bad")));
        (void)m.tick();
        ASSERT_FALSE(ui.messages().empty());
        EXPECT_EQ(ui.messages().back().title, "Tessaly Error");
        EXPECT_EQ(ui.messages().back().icon, MessageIcon::warning);
        EXPECT_EQ(ui.messages().back().text.rfind(start, 0), 0u);
        EXPECT_TRUE(ui.messages().back().text.ends_with("\n\nTessaly will now close."));
        EXPECT_TRUE(ui.closeRequested());
        EXPECT_EQ(m.cleanUpOnClose(), 1);
        monitor.reset();
    }
}

TEST_F(Monitor, ErrorWhileReceivingDeletesAndFails) {
    copyJob("e", "2");
    JobMonitor& m = make();
    (void)m.tick();
    writeText(spool("e") / "_status", "error");
    EXPECT_EQ(m.tick(), 0);
    EXPECT_EQ(m.state(), MonitorState::Failed);
    EXPECT_FALSE(fs::exists(spool("e")));
    EXPECT_FALSE(heldElsewhere("e"));
}

}  // namespace
}  // namespace tessaly::app

namespace tessaly::app {
namespace {

// The close prompt's Yes saves through the save dialog before the
// temporary movie goes away.
TEST_F(Monitor, ClosePromptYesSavesTheMovie) {
    SavePreferences savePreferences;
    config.saveMovie = [&](JobMonitor& m, bool html) {
        return saveMonitorMovie(m, ui, savePreferences, html) == 1;
    };
    copyJob("letter", "end:3");
    JobMonitor& m = make();
    ASSERT_TRUE(tickUntil([&] { return m.state() == MonitorState::Done && !timer.running(); }));
    ui.scriptAnswers({MessageAnswer::yes});
    ui.scriptSavePaths({(scratch / "report").string()});
    EXPECT_EQ(m.cleanUpOnClose(), 1);
    EXPECT_EQ(ui.saveDialogs().back(), "Save Flash");
    EXPECT_GT(fs::file_size(scratch / "report.swf"), 100u);
    EXPECT_EQ(savePreferences.lastSaveFilename, (scratch / "report.swf").string());
}

}  // namespace
}  // namespace tessaly::app

namespace tessaly::app {
namespace {

TEST_F(Monitor, ChangedInterfaceOptionsRebuildTheShownMovie) {
    copyJob("iface", "end:2", "interface");
    JobMonitor& m = make();
    EXPECT_EQ(m.refinishMovie(), 0);  // nothing shown yet
    (void)m.tick();
    ASSERT_TRUE(tickUntil([&] { return m.state() == MonitorState::Done || m.state() == MonitorState::Failed; }));
    ASSERT_EQ(m.state(), MonitorState::Done);
    (void)m.tick();
    const std::string moviePath = m.movie().moviePath;
    const std::string before = readText(moviePath);
    ASSERT_EQ(before.substr(0, 3), "FWS");
    EXPECT_NE(before.find("Viewer sample"), std::string::npos);
    // The job's directory is gone; its interface settings are kept.
    EXPECT_FALSE(fs::exists(spool("iface")));
    InterfaceSettings& interface = m.jobSettings().interfaceSettings;
    ASSERT_EQ(interface.name, "Simple");
    ASSERT_EQ(interface.params.size(), 2u);
    ASSERT_EQ(m.jobSettings().setParamValue(0, "Quarterly figures"), 1);
    m.setSaved(true);
    const size_t loads = ui.movies().size();

    EXPECT_EQ(m.refinishMovie(), 1);
    const std::string after = readText(moviePath);
    EXPECT_NE(after.find("Quarterly figures"), std::string::npos);
    EXPECT_EQ(after.find("Viewer sample"), std::string::npos);
    // Reloaded, forced, with the movie's background and the alignment.
    ASSERT_EQ(ui.movies().size(), loads + 1);
    EXPECT_EQ(ui.movies().back().path, moviePath);
    EXPECT_TRUE(ui.movies().back().force);
    EXPECT_EQ(ui.movies().back().background, m.movie().backgroundColor);
    EXPECT_EQ(ui.statusText().rfind(" 2 Pages - ", 0), 0u) << ui.statusText();
    // What was saved is the movie before the change.
    EXPECT_FALSE(m.saved());

    // Without the conversion output the movie shown stays as it is.
    std::remove(m.temporaryOutputPath().c_str());
    ASSERT_EQ(m.jobSettings().setParamValue(0, "Lost"), 1);
    EXPECT_EQ(m.refinishMovie(), 0);
    EXPECT_EQ(readText(moviePath), after);
    EXPECT_EQ(ui.movies().size(), loads + 1);
    m.setSaved(true);
    EXPECT_EQ(m.cleanUpOnClose(), 1);
    EXPECT_EQ(m.refinishMovie(), 0);
}

}  // namespace
}  // namespace tessaly::app
