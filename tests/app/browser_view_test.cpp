// View in Browser on a converted movie: the page written beside the
// temporary movie and playing it there, the launcher given that page, the
// two failures and what they leave behind, the page gone with the clean-up;
// and the help pages the Help menu opens.

#include "app/browser_view.h"

#include <gtest/gtest.h>

#include "app_test_support.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <thread>

#include "app/headless_ui.h"
#include "app/job_monitor.h"

namespace tessaly::app {
namespace {

namespace fs = std::filesystem;

const std::string kSource = TESSALY_SOURCE_DIR;

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class NoTimer : public MonitorTimer {
public:
    void start(unsigned) override { running_ = true; }
    void stop() override { running_ = false; }
    bool running() const override { return running_; }

private:
    bool running_ = false;
};

class BrowserView : public testing::Test {
protected:
    void SetUp() override {
        scratch = fs::temp_directory_path() / ("tessaly_browser_" + std::to_string(::getpid()) + "_" +
                                               testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(scratch);
        for (const char* sub : {"spool", "tmp", "run"}) fs::create_directories(scratch / sub);
        fs::permissions(scratch / "run", fs::perms::owner_all);
        setenv("TESSALY_REGISTRY_ROOT", testing_support::emptyRegistryRoot(scratch / "registry").c_str(), 1);
        setenv("TESSALY_RUNTIME_DIR", (scratch / "run").string().c_str(), 1);
        config.baseDirectory = kSource + "/data/";
        config.spoolDirectory = (scratch / "spool").string() + "/";
        config.temporaryDirectory = (scratch / "tmp").string();
        config.freeSpace = [](const std::string&) { return std::optional<uint64_t>(uint64_t(1) << 32); };
    }
    void TearDown() override {
        monitor.reset();
        std::error_code ec;
        fs::remove_all(scratch, ec);
    }
    // A monitor that has converted an example job.
    JobMonitor& converted() {
        fs::copy(fs::path(kSource) / "examples/jobs/letter", scratch / "spool/letter", fs::copy_options::recursive);
        std::ofstream(scratch / "spool/letter/_status") << "end:3";
        monitor = std::make_unique<JobMonitor>(ui, timer, config);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (monitor->state() != MonitorState::Done && monitor->state() != MonitorState::Failed &&
               std::chrono::steady_clock::now() < deadline) {
            (void)monitor->tick();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return *monitor;
    }
    Launcher recording(bool starts = true) {
        return [this, starts](const std::string& path) {
            opened.push_back(path);
            return starts;
        };
    }

    fs::path scratch;
    HeadlessUserInterface ui;
    NoTimer timer;
    MonitorConfig config;
    std::unique_ptr<JobMonitor> monitor;
    std::vector<std::string> opened;
    SavePreferences preferences;
};

TEST_F(BrowserView, PagePlaysTheTemporaryMovieAndGoesWithTheCleanUp) {
    JobMonitor& m = converted();
    ASSERT_EQ(m.state(), MonitorState::Done) << ui.statusText();
    const std::string page = m.temporaryOutputPath() + ".htm";
    const fs::path movie = m.movie().moviePath;
    const size_t filesBefore = std::distance(fs::directory_iterator(scratch / "tmp"), fs::directory_iterator());

    std::string shown;
    ASSERT_EQ(viewInBrowser(m, ui, preferences, std::nullopt, recording(), &shown), 1);
    EXPECT_EQ(shown, page);
    EXPECT_EQ(opened, std::vector<std::string>{page});
    const std::string html = readText(page);
    EXPECT_NE(html.find("The movie fills the window"), std::string::npos) << html;
    EXPECT_NE(html.find("data-movie=\"" + movie.filename().string() + "\""), std::string::npos) << html;
    // The movie is played where it is: only the page was added.
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch / "tmp"), fs::directory_iterator()), long(filesBefore) + 1);
    EXPECT_TRUE(ui.messages().empty());

    // Another template: the page is made again from it.
    ASSERT_EQ(viewInBrowser(m, ui, preferences, "Centered.htm", recording(), &shown), 1);
    EXPECT_NE(readText(page).find("The movie in the middle of the window"), std::string::npos);
    EXPECT_EQ(opened.size(), 2u);

    m.setSaved(true);
    ASSERT_EQ(m.cleanUpOnClose(), 1);
    EXPECT_FALSE(fs::exists(page));
    EXPECT_FALSE(fs::exists(movie));
}

TEST_F(BrowserView, FailuresAreShownAndLeaveNoPage) {
    JobMonitor& m = converted();
    ASSERT_EQ(m.state(), MonitorState::Done) << ui.statusText();
    const std::string page = m.temporaryOutputPath() + ".htm";
    std::string shown;

    // The browser cannot be started.
    ASSERT_EQ(viewInBrowser(m, ui, preferences, std::nullopt, recording(false), &shown), 0);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, "Error Opening Flash on Browser");
    EXPECT_EQ(ui.messages()[0].text,
              "Could not open encoded Flash on your current Web Browser - make sure your default Web Browser is "
              "correctly installed");
    EXPECT_EQ(ui.messages()[0].icon, MessageIcon::warning);
    EXPECT_FALSE(fs::exists(page));
    EXPECT_TRUE(shown.empty());

    // A page shown before is deleted before a new one fails.
    ASSERT_EQ(viewInBrowser(m, ui, preferences, std::nullopt, recording(), &shown), 1);
    ASSERT_TRUE(fs::exists(page));
    // The template is missing: the writer says why, then the page's message.
    ASSERT_EQ(viewInBrowser(m, ui, preferences, "Gone.htm", recording(), &shown), 0);
    ASSERT_EQ(ui.messages().size(), 3u);
    EXPECT_EQ(ui.messages()[1].title, "HTML Template Not Found");
    EXPECT_EQ(ui.messages()[2].title, "Error Viewing in Browser");
    EXPECT_EQ(ui.messages()[2].text, "Could not create a temporary HTML file.\n");
    EXPECT_FALSE(fs::exists(page));
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(opened.size(), 2u);
    EXPECT_EQ(m.state(), MonitorState::Done);
}

TEST_F(BrowserView, NothingBeforeTheMovieIsDone) {
    monitor = std::make_unique<JobMonitor>(ui, timer, config);
    (void)monitor->tick();
    std::string shown;
    EXPECT_EQ(viewInBrowser(*monitor, ui, preferences, std::nullopt, recording(), &shown), 0);
    EXPECT_TRUE(opened.empty());
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_TRUE(fs::is_empty(scratch / "tmp"));
}

TEST(Help, TopicsOpenTheirPagesAndFailuresAreNotReported) {
    std::vector<std::string> opened;
    const Launcher launcher = [&](const std::string& path) {
        opened.push_back(path);
        return false;
    };
    for (HelpTopic topic :
         {HelpTopic::contents, HelpTopic::search, HelpTopic::printing, HelpTopic::settings, HelpTopic::tips})
        EXPECT_FALSE(openHelp("/opt/tessaly", topic, launcher));
    EXPECT_EQ(opened, (std::vector<std::string>{"/opt/tessaly/Help/index.htm", "/opt/tessaly/Help/search.htm",
                                                "/opt/tessaly/Help/using-using.htm",
                                                "/opt/tessaly/Help/settings-where.htm", "/opt/tessaly/Help/tips.htm"}));
    EXPECT_EQ(helpPagePath("/opt/tessaly/", HelpTopic::tips), "/opt/tessaly/Help/tips.htm");
}

// Every page the menu opens is there, every link between the pages leads to
// one, and nothing is fetched from elsewhere (the help works offline).
TEST(Help, ShippedPagesAreCompleteAndSelfContained) {
    const fs::path help = fs::path(kSource) / "data/Help";
    for (HelpTopic topic :
         {HelpTopic::contents, HelpTopic::search, HelpTopic::printing, HelpTopic::settings, HelpTopic::tips})
        EXPECT_TRUE(fs::exists(help / std::string(helpPageName(topic)))) << helpPageName(topic);
    const std::regex reference(R"((?:href|src)\s*=\s*"([^"]*)\")", std::regex::icase);
    std::set<std::string> searched;
    for (const auto& entry : fs::directory_iterator(help)) {
        if (entry.path().extension() != ".htm") continue;
        const std::string page = readText(entry.path());
        EXPECT_NE(page.find("<title>"), std::string::npos) << entry.path();
        for (auto it = std::sregex_iterator(page.begin(), page.end(), reference); it != std::sregex_iterator(); ++it) {
            const std::string target = (*it)[1];
            EXPECT_EQ(target.find(':'), std::string::npos) << entry.path() << " refers outside: " << target;
            EXPECT_NE(target.rfind("//", 0), 0u) << entry.path() << " refers outside: " << target;
            const std::string file = target.substr(0, target.find_first_of("#?"));
            if (!file.empty()) {
                EXPECT_TRUE(fs::exists(help / file)) << entry.path() << " links to " << file;
            }
        }
        // The search page knows every other page.
        searched.insert(entry.path().filename().string());
    }
    const std::string search = readText(help / "search.htm");
    for (const std::string& page : searched) {
        if (page == "search.htm") continue;
        EXPECT_NE(search.find("\"page\": \"" + page + "\""), std::string::npos) << page << " is not searched";
    }
}

}  // namespace
}  // namespace tessaly::app
