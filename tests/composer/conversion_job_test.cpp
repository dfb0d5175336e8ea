// Whole jobs: the sample job directories converted as the application does.

#include "composer/conversion_job.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "../platform/windows_support.h"
#include "support/files.h"
#include "support/memory.h"
#include "swf_test_util.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

const std::string kSource = TESSALY_SOURCE_DIR;

std::map<std::string, fs::file_time_type> listing(const fs::path& dir) {
    std::map<std::string, fs::file_time_type> files;
    for (const auto& e : fs::directory_iterator(dir)) files[e.path().filename().string()] = e.last_write_time();
    return files;
}

class Jobs : public testing::Test {
protected:
    void SetUp() override {
        scratch = fs::temp_directory_path() / ("tessaly_jobs_" + std::to_string(::getpid()));
        fs::create_directories(scratch);
        // Registry values come from an empty store: every setting takes its default.
#ifdef _WIN32
        setenv("TESSALY_REGISTRY_ROOT", key.path().c_str(), 1);  // a key of the test's own
#else
        setenv("TESSALY_REGISTRY_ROOT", (scratch / "registry").c_str(), 1);
#endif
        job.setBaseDirectory(kSource + "/data/");
    }
    void TearDown() override { fs::remove_all(scratch); }

    std::vector<test::Tag> convert(const std::string& name, bool finish) {
        const fs::path dir = fs::path(kSource) / "examples/jobs" / name;
        const auto before = listing(dir);
        EXPECT_EQ(job.openJob(dir.string()), 1) << job.errorText();
        const std::string temp = (scratch / "temp.swf").string(), out = (scratch / "out.swf").string();
        EXPECT_EQ(job.convert(temp), 1) << job.errorText();
        if (finish) {
            EXPECT_EQ(ConversionJob::finishMovie(job.settings().interfaceSettings, temp, out, false), 1);
        }
        EXPECT_EQ(listing(dir), before);  // the job directory is only read
        SwfFileReader reader;
        EXPECT_EQ(reader.readFile(finish ? out : temp), 1);
        EXPECT_EQ(reader.parseHeader(), 1);
        header = reader.header();
        return test::movieTags(reader.data(), reader.size());
    }

    fs::path scratch;
#ifdef _WIN32
    testing_support::ScratchKey key;
#endif
    ConversionJob job;
    SwfHeaderInfo header;
};

TEST_F(Jobs, AJobWithoutInterfaceHasTheDocumentsStage) {
    const auto tags = convert("letter", true);
    EXPECT_EQ(header.version, 5);
    EXPECT_EQ(header.xmax, 12240);
    EXPECT_EQ(header.ymax, 15840);
    EXPECT_DOUBLE_EQ(header.frameRate, 12.0);
    EXPECT_EQ(header.frameCount, 3);
    EXPECT_EQ(job.index().pages.size(), 3u);
    EXPECT_FLOAT_EQ(job.docPixelWidth, 612);
    // No interface: no variables in front.
    ASSERT_FALSE(tags.empty());
    EXPECT_NE(tags[0].code, SwfTag::DoAction);
}

TEST_F(Jobs, AnInterfaceOpensTheMovieAndThePagesContinueItsLastFrame) {
    const auto tags = convert("interface", true);
    // Interface of 3 frames + 2 pages: 4 frames, at the interface's stage size.
    EXPECT_EQ(header.frameCount, 4);
    EXPECT_EQ(header.xmax, 16000);
    EXPECT_EQ(header.ymax, 12000);
    // The parameters (title, zoom) open the movie; after the background the
    // document variables (totalPages, docWidth, docHeight) lead the interface.
    ASSERT_GE(tags.size(), 6u);
    EXPECT_EQ(test::tagCodes(std::vector<test::Tag>(tags.begin(), tags.begin() + 6)),
              (std::vector<SwfTag>{SwfTag::DoAction, SwfTag::DoAction, SwfTag::SetBackgroundColor,
                                   SwfTag::DoAction, SwfTag::DoAction, SwfTag::DoAction}));
    // Everything the interface places sits 15000 depths above the pages.
    int interfacePlacements = 0;
    bool pageHolderAtOne = false;
    for (const auto& t : tags) {
        int depth = -1;
        if (t.code == SwfTag::PlaceObject && t.body.size() >= 4) depth = t.body[2] | t.body[3] << 8;
        if (t.code == SwfTag::PlaceObject2 && t.body.size() >= 3) depth = t.body[1] | t.body[2] << 8;
        if (depth > 15000) ++interfacePlacements;
        if (depth == 1) pageHolderAtOne = true;
    }
    EXPECT_GE(interfacePlacements, 3);
    EXPECT_TRUE(pageHolderAtOne);
}

TEST_F(Jobs, MixedPageSizesMakeTheLargestStage) {
    convert("mixed", false);
    EXPECT_FALSE(job.index().uniform);
    EXPECT_EQ(header.xmax, 15840);
    EXPECT_EQ(header.ymax, 15840);
}

TEST_F(Jobs, AnUnreadablePictureIsNamedWithItsReason) {
    // A job whose page shows a PNG of a colour type PNG does not define.
    const fs::path dir = scratch / "job";
    fs::create_directories(dir / "pictures");
    std::ofstream(dir / "media.mml") << "<Media width=\"2000\" height=\"2000\"><Frame>"
                                        "<Image src=\"pictures/a.png\" size=\"100,100\"/></Frame></Media>";
    const unsigned char png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                                 0, 0, 0, 4, 0, 0, 0, 4, 8, 5, 0, 0, 0, 0, 0, 0, 0};
    std::ofstream(dir / "pictures/a.png", std::ios::binary).write(reinterpret_cast<const char*>(png), sizeof png);
    ASSERT_EQ(job.openJob(dir.string()), 1) << job.errorText();
    EXPECT_EQ(job.convert((scratch / "out.swf").string()), 0);
    // The step's own message first, then the interpreter's, then the picture.
    EXPECT_EQ(job.errorText(),
              "Error doing SetSource\nUnable to open perform first pass\n"
              "Image \"pictures/a.png\": bad data (PNG colour type 5 with bit depth 8)\n");
    EXPECT_TRUE(job.outputFile().empty());
}

TEST_F(Jobs, AMissingJobFailsWithTheMediaMessage) {
    EXPECT_EQ(job.openJob((scratch / "nothing").string()), 0);
    EXPECT_EQ(job.errorText(),
              "The media source is corrupted. Please check for sufficient free disk space and try again");
}

std::vector<uint8_t> fileBytes(const fs::path& path) {
    SizedBlock block;
    if (readWholeFile(path.string(), block) != 1) return {};
    return std::vector<uint8_t>(block.data.get(), block.data.get() + block.length);
}

// A single allocation that fails anywhere in a conversion either fails the job
// with a message and leaves no file behind, or the movie written is whole: its
// length field matches the file and its tags run to the End tag. Where the
// failure hits the writer, the movie is never reported as written.
TEST_F(Jobs, AFailedAllocationNeverYieldsADamagedMovie) {
    const fs::path dir = fs::path(kSource) / "examples/jobs/letter";
    const fs::path out = scratch / "out.swf";
    ASSERT_EQ(job.openJob(dir.string()), 1) << job.errorText();
    uint64_t allocations = 0;
    {
        ScopedAllocationFailure counting;
        counting.failAfter(UINT64_MAX);
        ASSERT_EQ(job.convert(out.string()), 1) << job.errorText();
        allocations = allocation_failure::allocationsSeen();
    }
    ASSERT_GT(allocations, 0u);

    int failed = 0;
    for (uint64_t n = 0; n < allocations; ++n) {
        fs::remove(out);
        ConversionJob attempt;
        attempt.setBaseDirectory(kSource + "/data/");
        ASSERT_EQ(attempt.openJob(dir.string()), 1);
        int result;
        {
            ScopedAllocationFailure failure;
            failure.failAfter(n);
            result = attempt.convert(out.string());
        }
        if (result == 1) {
            const std::vector<uint8_t> movie = fileBytes(out);
            ASSERT_GE(movie.size(), 8u) << "allocation " << n;
            EXPECT_EQ(movie[4] | movie[5] << 8 | movie[6] << 16 | uint32_t(movie[7]) << 24, movie.size())
                << "allocation " << n;
            const auto tags = test::movieTags(movie.data(), movie.size());
            ASSERT_FALSE(tags.empty()) << "allocation " << n;
            EXPECT_EQ(tags.back().code, SwfTag::End) << "allocation " << n;
        } else {
            ++failed;
            EXPECT_FALSE(attempt.errorText().empty()) << "allocation " << n;
        }
        // Nothing is left in the output directory but a whole movie.
        for (const auto& e : fs::directory_iterator(scratch)) {
            if (e.path().filename() == "registry") continue;
            EXPECT_TRUE(result == 1 && e.path() == out) << "allocation " << n << " left " << e.path();
        }
    }
    EXPECT_GT(failed, 0);
}

}  // namespace
}  // namespace tessaly
