// Files dropped on the window: the local files a uri-list names, and their
// printing in order away from the caller's thread with the messages kept for
// the window.

#include "app/dropped_files.h"

#include <gtest/gtest.h>

#include "app_test_support.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

namespace tessaly::app {
namespace {

namespace fs = std::filesystem;

TEST(DroppedFiles, UriListNamesLocalFilesOnly) {
    const std::string list =
        "# dropped from a file manager\r\n"
        "file:///home/ann/My%20Report.pdf\r\n"
        "file://localhost/tmp/a.pdf\r\n"
        "FILE://LOCALHOST/tmp/b.pdf\n"
        "file://elsewhere/tmp/c.pdf\n"
        "http://example.com/d.pdf\n"
        "\n"
        "file:/tmp/e%2Fx.pdf#page=2\n"
        "file:///tmp/zero%00.pdf\n"
        "file:///tmp/bad%2.pdf\n"
        "file:///tmp/cut%4\n"
        "file:relative.pdf\n"
        "file://localhostile/tmp/f.pdf\n"
        "  file:///tmp/%C3%A9t%C3%A9.pdf  ";
    EXPECT_EQ(filesFromUriList(list),
              (std::vector<std::string>{"/home/ann/My Report.pdf", "/tmp/a.pdf", "/tmp/b.pdf", "/tmp/e/x.pdf",
                                        "/tmp/\xC3\xA9t\xC3\xA9.pdf"}));
    EXPECT_TRUE(filesFromUriList("").empty());
    EXPECT_TRUE(filesFromUriList("file://").empty());
    // A NUL written out, not escaped, ends no name early: the address is refused.
    EXPECT_TRUE(filesFromUriList(std::string("file:///tmp/a\0b.pdf\n", 19)).empty());
}

class DropPrinting : public testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("tessaly_drop_" + std::to_string(::getpid()));
        fs::create_directories(dir / "reg");
        setenv("TESSALY_REGISTRY_ROOT", testing_support::emptyRegistryRoot(dir / "reg").c_str(), 1);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

TEST_F(DropPrinting, PrintsInOrderOnItsOwnThreadAndKeepsTheMessages) {
    std::mutex mutex;
    std::vector<std::string> printed;
    std::atomic<int> wakes{0};
    const std::thread::id caller = std::this_thread::get_id();
    std::atomic<bool> offThread{true};
    DroppedFilePrinter printer(
        [&](const std::string& path) {
            if (std::this_thread::get_id() == caller) offThread = false;
            std::lock_guard lock(mutex);
            printed.push_back(path);
            if (path.ends_with(".txt")) return PrintResult::unsupported;
            return path.ends_with("broken.pdf") ? PrintResult::failed : PrintResult::printed;
        },
        [&] { ++wakes; });
    printer.print({"/d/one.pdf", "/d/notes.txt"});
    printer.print({"/d/three.pdf", "/d/broken.pdf"});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!printer.idle() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(printer.idle());
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(printed,
                  (std::vector<std::string>{"/d/one.pdf", "/d/notes.txt", "/d/three.pdf", "/d/broken.pdf"}));
    }
    EXPECT_TRUE(offThread);
    EXPECT_GE(wakes.load(), 2);  // the message, and the end of the batch
    const std::vector<DroppedFilePrinter::Shown> messages = printer.takeMessages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].title, "Automatic Printing Error");
    EXPECT_NE(messages[0].text.find("/d/notes.txt"), std::string::npos);
    EXPECT_EQ(messages[1].title, "Printing Error");
    EXPECT_EQ(messages[1].text, "Could not print this file:\n/d/broken.pdf");
    EXPECT_TRUE(printer.takeMessages().empty());
    // Nothing was left in the value store: no output location goes with a drop.
    EXPECT_TRUE(fs::is_empty(dir / "reg"));
}

TEST_F(DropPrinting, ClosingWaitsForTheFilePrintingAndDropsTheRest) {
    std::atomic<int> started{0};
    std::atomic<bool> finished{false};
    {
        DroppedFilePrinter printer(
            [&](const std::string&) {
                ++started;
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                finished = true;
                return PrintResult::printed;
            },
            nullptr);
        printer.print({"/d/a.pdf", "/d/b.pdf", "/d/c.pdf"});
        while (started == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(finished);
    EXPECT_EQ(started.load(), 1);
}

}  // namespace
}  // namespace tessaly::app
