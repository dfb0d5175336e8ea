// The command line, the one-shot values as a lock between requests, and
// their clean-up, with a recording printer in place of the real one.

#include "app/automatic_printing.h"

#include <gtest/gtest.h>

#include "app_test_support.h"

#include <filesystem>
#include <fstream>
#include <thread>

#include "app/headless_ui.h"
#include "platform/registry.h"
#include "support/text.h"

namespace tessaly::app {
namespace {

namespace fs = std::filesystem;

CommandLine parsed(const std::vector<std::string>& args) {
    CommandLine line;
    std::string error;
    EXPECT_EQ(parseCommandLine(args, &line, &error), 1) << error;
    return line;
}

TEST(CommandLineParsing, SwitchesFilesAndModes) {
    const CommandLine line = parsed({"/ATTACHED", "-O", "out.swf", "/tmp/a.pdf", "-m", "flash_html", "b.pdf", "-r"});
    EXPECT_TRUE(line.attached);
    EXPECT_TRUE(line.removeValues);
    EXPECT_EQ(line.outputLocation, (fs::current_path() / "out.swf").string());  // made absolute for the monitor
    EXPECT_EQ(line.outputFlags, 0x201u);
    EXPECT_EQ(line.files, (std::vector<std::string>{"/tmp/a.pdf", "b.pdf"}));
    EXPECT_FALSE(parsed({"a.pdf"}).outputFlags);

    EXPECT_EQ(outputFlagsForMode("flash"), 0x101u);
    EXPECT_EQ(outputFlagsForMode("FLASH_HTML"), 0x201u);
    EXPECT_EQ(outputFlagsForMode("flash,flash_html"), 0x301u);
    EXPECT_EQ(outputFlagsForMode("flash_html,flash"), 0x201u);  // only the first "flash" counts
    EXPECT_EQ(outputFlagsForMode("html"), 0x1u);

    CommandLine line2;
    std::string error;
    EXPECT_EQ(parseCommandLine({"-x"}, &line2, &error), 0);
    EXPECT_EQ(parseCommandLine({"a.pdf", "-o"}, &line2, &error), 0);
    EXPECT_EQ(parseCommandLine({"-o", "/" + std::string(300, 'a') + ".swf", "a.pdf"}, &line2, &error), 0);
    EXPECT_NE(error.find("too long"), std::string::npos);
}

class Requests : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("tessaly_requests_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "run");
        fs::permissions(dir / "run", fs::perms::owner_all);
        setenv("TESSALY_RUNTIME_DIR", (dir / "run").string().c_str(), 1);
        store = ValueStore(testing_support::emptyRegistryRoot(dir / "reg"));
    }
    void TearDown() override { fs::remove_all(dir); }

    // A printer that records what each job would carry; the driver
    // consumes the values when the job begins.
    FilePrinter printer(PrintResult result = PrintResult::printed, bool consume = true) {
        return [this, result, consume](const std::string& path) {
            std::u16string location;
            uint32_t flags = 0;
            const bool carried = store.readString("MSNextOutputLocation", &location) == kRegistryOk;
            (void)store.readDword("MSNextOutputFlags", &flags);
            printed.push_back(path + (carried ? " -> " + toUtf8(location) + " " + std::to_string(flags) : ""));
            if (consume && result == PrintResult::printed) {
                (void)store.deleteValue("MSNextOutputLocation");
                (void)store.deleteValue("MSNextOutputFlags");
            }
            return result;
        };
    }
    bool present(const char* name) {
        RegistryType type;
        return store.type(name, &type) == kRegistryOk;
    }

    fs::path dir;
    ValueStore store{""};
    HeadlessUserInterface ui;
    std::vector<std::string> printed;
    const LockWait shortWait{30, std::chrono::milliseconds(1)};
};

// The location as the command line makes it absolute ("Z:\out\a.swf" on
// Windows).
std::string outA() { return fs::absolute("/out/a.swf").lexically_normal().string(); }

TEST_F(Requests, LocationGoesWithTheFirstFileOnly) {
    const CommandLine line = parsed({"-o", "/out/a.swf", "a.pdf", "b.pdf"});
    EXPECT_FALSE(printCommandLineFiles(line, ui, store, printer(), shortWait));
    EXPECT_EQ(printed, (std::vector<std::string>{"a.pdf -> " + outA() + " 257", "b.pdf"}));
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_TRUE(printCommandLineFiles(parsed({}), ui, store, printer(), shortWait));  // no files: the window
}

TEST_F(Requests, UnsupportedFileIsReportedAndItsValuesRemoved) {
    const CommandLine line = parsed({"-o", "/out/a.swf", "-m", "flash,flash_html", "notes.txt", "b.pdf"});
    int calls = 0;
    const FilePrinter first = printer(PrintResult::unsupported), rest = printer();
    EXPECT_FALSE(printCommandLineFiles(
        line, ui, store, [&](const std::string& p) { return ++calls == 1 ? first(p) : rest(p); }, shortWait));
    EXPECT_EQ(printed, (std::vector<std::string>{"notes.txt -> " + outA() + " 769", "b.pdf"}));
    EXPECT_FALSE(present("MSNextOutputLocation"));
    EXPECT_FALSE(present("MSNextOutputFlags"));
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, "Automatic Printing Error");
    EXPECT_EQ(ui.messages()[0].text,
              "Automatic printing is not defined for this file type:\nnotes.txt\n\nTo print this file, open it on "
              "the respective application and print into Tessaly.");
}

TEST_F(Requests, StaleLocationLocksUntilRemoved) {
    ASSERT_EQ(store.writeString("MSNextOutputLocation", u"/crashed/request.swf"), kRegistryOk);
    const CommandLine line = parsed({"-o", "/out/a.swf", "a.pdf", "b.pdf"});
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(printCommandLineFiles(line, ui, store, printer(), shortWait));
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(30));
    EXPECT_TRUE(printed.empty());  // the lock stops every file
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "Could not print because registry is locked.\nPlease try again later.");
    EXPECT_EQ(ui.messages()[0].title, "Printing Error");

    // "r" drops the stale values first.
    CommandLine removing = line;
    removing.removeValues = true;
    EXPECT_FALSE(printCommandLineFiles(removing, ui, store, printer(), shortWait));
    EXPECT_EQ(printed.front(), "a.pdf -> " + outA() + " 257");

    // A value that goes while the request waits lets it through.
    ASSERT_EQ(store.writeString("MSNextOutputLocation", u"/earlier.swf"), kRegistryOk);
    printed.clear();
    std::thread consumer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        (void)store.deleteValue("MSNextOutputLocation");
    });
    EXPECT_FALSE(printCommandLineFiles(line, ui, store, printer(), LockWait{30, std::chrono::milliseconds(5)}));
    consumer.join();
    EXPECT_EQ(printed.front(), "a.pdf -> " + outA() + " 257");
}

#ifdef _WIN32
TEST(FilePrinting, FilesWithoutAPrintVerbAreUnsupported) {
    // The shell prints through the file type's own program; a type it does
    // not know, or a missing file, cannot be printed that way.
    const fs::path file = fs::temp_directory_path() / ("tessaly_notes_" + std::to_string(::getpid()) + ".tessalynone");
    { std::ofstream(file) << "plain text"; }
    EXPECT_EQ(printFileThroughShell(file.string()), PrintResult::unsupported);
    EXPECT_EQ(printFileToPrinter(file.string(), ""), PrintResult::unsupported);
    fs::remove(file);
    EXPECT_EQ(printFileThroughShell(file.string()), PrintResult::unsupported);
}
#else
TEST(FilePrinting, OnlyPdfFilesCanBePrinted) {
    const fs::path text = fs::temp_directory_path() / ("tessaly_notes_" + std::to_string(::getpid()) + ".txt");
    { std::ofstream(text) << "plain text"; }
    EXPECT_EQ(printFileToPrinter(text.string(), "/nonexistent/tessaly-print"), PrintResult::unsupported);
    EXPECT_EQ(printFileToPrinter("/nonexistent.pdf", "/nonexistent/tessaly-print"), PrintResult::unsupported);
    { std::ofstream(text) << "%PDF-1.4\n"; }
    EXPECT_EQ(printFileToPrinter(text.string(), "/nonexistent/tessaly-print"), PrintResult::failed);
    fs::remove(text);
}
#endif

}  // namespace
}  // namespace tessaly::app
