// The job writer on a device record of its own: the files of a job, their
// order and their form, and what happens when the disk refuses a write.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <filesystem>
#include <string>
#include <vector>

#include "device.h"
#include "driver_test_util.h"
#include "job_writer.h"

namespace tessaly::pagesmith {
namespace {

using testing_support::slurp;

class JobWriterTest : public testing::DriverFixture {
protected:
    void SetUp() override {
        DriverFixture::SetUp();
        seedDevice(device_);
        device_.spoolDirectory = spool_;
        device_.basePath = base_;
        device_.pageWidth = 5;
        device_.pageHeight = 4;
        device_.settings.mechanics = kMechVector | kMechFrame;
        device_.settings.sourceId = -1;
        applyCaptureModes(device_);
    }
    void TearDown() override {
        releaseJob(device_);
        DriverFixture::TearDown();
    }

    std::string status() const { return slurp(device_.jobDirectory + "_status"); }

    // Page rows of the surface: blue, green, red bytes, rows padded to 4.
    std::vector<uint8_t> surfaceRows(int32_t rows) const {
        const int32_t stride = (device_.pageWidth * 3 + 3) & ~3;
        std::vector<uint8_t> bits(size_t(stride) * rows, 0xEE);
        for (int32_t y = 0; y < rows; ++y) {
            for (int32_t x = 0; x < device_.pageWidth; ++x) {
                uint8_t* p = bits.data() + y * stride + x * 3;
                p[0] = uint8_t(x);       // blue
                p[1] = uint8_t(y);       // green
                p[2] = uint8_t(0x80 + x);  // red
            }
        }
        return bits;
    }

    DriverDevice device_;
};

TEST_F(JobWriterTest, StatusFollowsEveryStepOfAThreePageJob) {
    std::vector<std::string> seen;
    ASSERT_TRUE(beginDocumentElement(device_));
    seen.push_back(status());
    // media.settings is complete before the status first says "begin".
    EXPECT_TRUE(std::filesystem::exists(device_.jobDirectory + "media.settings"));
    for (int page = 0; page < 3; ++page) {
        ASSERT_TRUE(beginFrame(device_));
        seen.push_back(status());
        ASSERT_TRUE(endFrame(device_, nullptr, 0));
    }
    const std::string directory = device_.jobDirectory;
    endDocument(device_);
    seen.push_back(slurp(directory + "_status"));
    EXPECT_EQ(seen, (std::vector<std::string>{"begin", "1", "2", "3", "end:3"}));
    EXPECT_FALSE(device_.jobOpen());

    // The directory is eight digits under the spool directory.
    ASSERT_EQ(directory.size(), spool_.size() + 9);
    EXPECT_EQ(directory.find_first_not_of("0123456789", spool_.size()), directory.size() - 1);

    // media.mml is one scrambled stream, read back with the application's key.
    EXPECT_NE(slurp(directory + "media.mml").substr(0, 1), "<");
    EXPECT_EQ(descrambled(directory + "media.mml"),
              "<Media width=\"5\" height=\"4\" version=\"1, 0, 426\">\n"
              "<Frame id=\"0\" width=\"5\" height=\"4\">\n</Frame>\n"
              "<Frame id=\"1\" width=\"5\" height=\"4\">\n</Frame>\n"
              "<Frame id=\"2\" width=\"5\" height=\"4\">\n</Frame>\n"
              "</Media>\n");
    // Without raster capture there are no page images.
    EXPECT_FALSE(std::filesystem::exists(directory + "altpage0.bag"));

    // The next document begins a new job with its pages counted from 0.
    ASSERT_TRUE(beginDocumentElement(device_));
    EXPECT_NE(device_.jobDirectory, directory);
    EXPECT_EQ(device_.pageNumber, 0u);
}

TEST_F(JobWriterTest, OneShotOutputValuesAreConsumedByTheJob) {
    ASSERT_EQ(registryWriteWideString("MSNextOutputLocation", u"/tmp/out/movie.swf"), kRegistryOk);
    device_.documentName = u"Report <Q3>";
    device_.jobId = 17;
    ASSERT_TRUE(beginDocumentElement(device_));

    JobSettings settings;
    settings.setBaseDirectory(base_);
    ASSERT_TRUE(settings.loadSettings(device_.jobDirectory + "media.settings"));
    EXPECT_EQ(settings.outputFlags, kDefaultNextOutputFlags);
    EXPECT_EQ(settings.outputLocationText(), u"/tmp/out/movie.swf");
    EXPECT_EQ(settings.sourceText(), u"Report <Q3>");
    EXPECT_EQ(settings.sourceId, 17);
    char16_t left[64];
    EXPECT_EQ(registryReadWideString("MSNextOutputLocation", left, sizeof left), kRegistryNotFound);

    // Explicit flags are taken and consumed with the location.
    ASSERT_EQ(registryWriteWideString("MSNextOutputLocation", u"/tmp/out/page.html"), kRegistryOk);
    ASSERT_EQ(registryWriteDword("MSNextOutputFlags", kOutputFile | kOutputFlashHtml), kRegistryOk);
    endDocument(device_);
    ASSERT_TRUE(beginDocumentElement(device_));
    ASSERT_TRUE(settings.loadSettings(device_.jobDirectory + "media.settings"));
    EXPECT_EQ(settings.outputFlags, kOutputFile | kOutputFlashHtml);
    uint32_t flags = 0;
    EXPECT_EQ(registryReadDword("MSNextOutputFlags", &flags), kRegistryNotFound);

    // Flags without a location are neither used nor consumed.
    ASSERT_EQ(registryWriteDword("MSNextOutputFlags", kOutputFile), kRegistryOk);
    endDocument(device_);
    ASSERT_TRUE(beginDocumentElement(device_));
    ASSERT_TRUE(settings.loadSettings(device_.jobDirectory + "media.settings"));
    EXPECT_EQ(settings.outputFlags, 0u);
    EXPECT_EQ(registryReadDword("MSNextOutputFlags", &flags), kRegistryOk);
}

TEST_F(JobWriterTest, RasterPagesAreBagFilesOfRedGreenBlueRows) {
    device_.settings.mechanics = kMechImage | kMechFrame;
    applyCaptureModes(device_);
    ASSERT_TRUE(device_.rasterCapture);
    const std::vector<uint8_t> rows = surfaceRows(device_.pageHeight);
    const int32_t stride = (device_.pageWidth * 3 + 3) & ~3;

    ASSERT_TRUE(beginDocumentElement(device_));
    ASSERT_TRUE(beginFrame(device_));
    ASSERT_TRUE(endFrame(device_, rows.data(), stride));
    const std::vector<testing::BagRecord> whole = testing::readBag(device_.jobDirectory + "altpage0.bag");
    ASSERT_EQ(whole.size(), 1u);
    EXPECT_EQ(whole[0].width, 5u);
    EXPECT_EQ(whole[0].rows, 4u);
    // Pixel (3, 2): red, green, blue.
    const uint8_t* pixel = whole[0].pixels.data() + 2 * stride + 3 * 3;
    EXPECT_EQ(pixel[0], 0x83);
    EXPECT_EQ(pixel[1], 2);
    EXPECT_EQ(pixel[2], 3);

    // A banded page: one record per band, the last one shorter.
    device_.bandHeight = 3;
    device_.bandY = 0;
    ASSERT_TRUE(beginBandFrame(device_));
    bool continues = false;
    ASSERT_TRUE(addBand(device_, rows.data(), stride, 3, &continues));
    EXPECT_TRUE(continues);
    device_.bandY = 3;
    ASSERT_TRUE(addBand(device_, rows.data() + 3 * stride, stride, 1, &continues));
    EXPECT_FALSE(continues);
    const std::vector<testing::BagRecord> bands = testing::readBag(device_.jobDirectory + "altpage1.bag");
    ASSERT_EQ(bands.size(), 2u);
    EXPECT_EQ(bands[0].rows, 3u);
    EXPECT_EQ(bands[1].rows, 1u);
    EXPECT_EQ(std::vector<uint8_t>(whole[0].pixels.begin() + 3 * stride, whole[0].pixels.end()),
              bands[1].pixels);

    const std::string directory = device_.jobDirectory;
    endDocument(device_);
    EXPECT_EQ(descrambled(directory + "media.mml"),
              "<Media width=\"5\" height=\"4\" version=\"1, 0, 426\">\n"
              "<Frame id=\"0\" width=\"5\" height=\"4\" alt=\"altpage0.bag\">\n</Frame>\n"
              "<Frame id=\"1\" width=\"5\" height=\"4\" alt=\"altpage1.bag\">\n</Frame>\n"
              "</Media>\n");
}

TEST_F(JobWriterTest, FontFilesAreScrambledEachFromTheJobKey) {
    ASSERT_TRUE(beginDocumentElement(device_));
    EXPECT_EQ(newId(device_), 1u);
    FontRecord captured;
    captured.id = 4;
    captured.font = CapturedFont::capture("DejaVu Sans", 0, 0);
    ASSERT_TRUE(captured.font);
    const std::string expected = fontFileMml(*captured.font);
    device_.fonts.push_back(std::move(captured));
    // A record whose font is gone has no file.
    FontRecord empty;
    empty.id = 5;
    device_.fonts.push_back(std::move(empty));
    const std::string directory = device_.jobDirectory;
    endDocument(device_);
    EXPECT_EQ(descrambled(directory + "f4.mml"), expected);
    EXPECT_FALSE(std::filesystem::exists(directory + "f5.mml"));
    EXPECT_EQ(slurp(directory + "_status"), "end:0");
}

TEST_F(JobWriterTest, NoJobWhenNoDirectoryCanBeMade) {
    // The spool "directory" is a file: every one of the ten names fails.
    std::filesystem::remove_all(spool_);
    scratch_.put("spool", "not a directory");
    EXPECT_FALSE(beginDocumentElement(device_));
    EXPECT_TRUE(device_.jobName.empty());
    EXPECT_FALSE(device_.jobOpen());
}

TEST_F(JobWriterTest, DevicesMadeTogetherDrawDifferentNames) {
    DriverDevice other;
    seedDevice(other);
    EXPECT_NE(device_.random(), other.random());
}

// Runs body in a child whose files may not grow beyond `limit` bytes; the
// child's exit code is the number of failed checks.
int inLimitedChild(rlim_t limit, const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit current{};
        ::getrlimit(RLIMIT_FSIZE, &current);
        rlimit limited{limit, current.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limited);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

void restoreFileSizeLimit() {
    rlimit current{};
    ::getrlimit(RLIMIT_FSIZE, &current);
    current.rlim_cur = current.rlim_max;
    ::setrlimit(RLIMIT_FSIZE, &current);
}

TEST_F(JobWriterTest, AFullDiskClosesTheJobWithAnErrorAndTheNextDocumentStartsAnew) {
    const int failures = inLimitedChild(32 * 1024, [this] {
        int failed = 0;
        if (!beginDocumentElement(device_) || !beginFrame(device_)) return 50;
        const std::string first = device_.jobDirectory;
        // The page's drawing outgrows the disk.
        (void)writeMarkup(device_, std::string(64 * 1024, 'x'));
        failed += endFrame(device_, nullptr, 0) != 0;
        failed += device_.jobOpen();
        failed += slurp(first + "_status") != "error";
        restoreFileSizeLimit();
        failed += !beginDocumentElement(device_);
        failed += device_.jobDirectory == first;
        failed += slurp(device_.jobDirectory + "_status") != "begin";
        return failed;
    });
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(jobDirectories().size(), 2u);
}

TEST_F(JobWriterTest, AJobWhoseSettingsCannotBeWrittenIsGivenUp) {
    const int failures = inLimitedChild(64, [this] {
        int failed = 0;
        failed += beginDocumentElement(device_) != 0;
        failed += device_.jobOpen();
        failed += device_.headerWritten;
        failed += slurp(device_.jobDirectory + "_status") != "error";
        restoreFileSizeLimit();
        const std::string first = device_.jobDirectory;
        failed += !beginDocumentElement(device_);
        failed += device_.jobDirectory == first;
        return failed;
    });
    EXPECT_EQ(failures, 0);
}

}  // namespace
}  // namespace tessaly::pagesmith
