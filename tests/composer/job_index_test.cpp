#include "composer/job_index.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "composer/markup_movie.h"
#include "support/scrambler.h"
#include "swf/swf_compress.h"
#include "swf/swf_file_reader.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

TEST(JobIndex, PagesTakeTheDocumentSizeUnlessTheySayOtherwise) {
    JobIndex index;
    ASSERT_EQ(readJobIndex("<Media width=\"12240\" height=\"15840\"><Frame alt=\"altpage0.bag\"></Frame>"
                           "<Frame></Frame></Media>",
                           &index),
              1);
    ASSERT_EQ(index.pages.size(), 2u);
    EXPECT_TRUE(index.uniform);
    EXPECT_EQ(index.pages[1].width, 12240u);
    EXPECT_EQ(index.pages[0].imageFile, "altpage0.bag");

    ASSERT_EQ(readJobIndex("<Media width=\"12240\" height=\"15840\"><Frame></Frame>"
                           "<Frame width=\"15840\" height=\"12240\"></Frame><Frame width=\"0.4\" height=\"\"/>"
                           "</Media>",
                           &index),
              1);
    EXPECT_FALSE(index.uniform);
    EXPECT_EQ(index.docWidth, 15840u);
    EXPECT_EQ(index.docHeight, 15840u);
    EXPECT_EQ(index.pages[2].width, 1u);
    EXPECT_EQ(index.pages[2].height, 15840u);
}

TEST(JobIndex, AMissingMediaSizeIsCorrupt) {
    JobIndex index;
    EXPECT_EQ(readJobIndex("<Frame></Frame>", &index), 0);
    EXPECT_EQ(readJobIndex("<Media width=\"100\"><Frame></Frame></Media>", &index), 0);
}

class FinishedMovie : public testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("tessaly_finish_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        std::vector<uint8_t> movie;
        std::string error;
        // Enough shapes for compression to pay.
        std::string markup = "<Media width=\"2000\" height=\"2000\"><Frame>";
        for (int i = 0; i < 40; ++i) {
            markup += "<Shape><FillColor side=\"right\" color=\"#FF0000\"/><Rect pos=\"" +
                      std::to_string(i * 10) + ",0\" size=\"100,100\"/></Shape>";
        }
        markup += "</Frame></Media>";
        ASSERT_EQ(convertMarkupText(markup, {}, &movie, &error), 1);
        temp = (dir / "temp.swf").string();
        std::ofstream(temp, std::ios::binary).write(reinterpret_cast<const char*>(movie.data()), long(movie.size()));
    }
    void TearDown() override { fs::remove_all(dir); }
    static std::string slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    fs::path dir;
    std::string temp;
};

TEST_F(FinishedMovie, WithoutVariablesTheMovieIsUnchanged) {
    const std::string out = (dir / "out.swf").string();
    ASSERT_EQ(writeFinishedMovie(temp, out, {}, false), 1);
    EXPECT_EQ(slurp(out), slurp(temp));
}

TEST_F(FinishedMovie, VariablesOpenTheMovieAndTheLengthFollows) {
    const std::string out = (dir / "out.swf").string();
    ASSERT_EQ(writeFinishedMovie(temp, out, {{"title", "Report", false}, {"zoom", "1.5", true}}, true), 1);
    SwfFileReader reader;
    ASSERT_EQ(reader.readFile(out), 1);
    EXPECT_TRUE(reader.wasCompressed());
    ASSERT_EQ(reader.parseHeader(), 1);
    EXPECT_EQ(reader.header().fileLength, reader.size());
    ASSERT_EQ(reader.readTagHeader(), 1);
    EXPECT_EQ(SwfTag(reader.tagCode()), SwfTag::DoAction);
    reader.seek(reader.tagBodyEnd());
    ASSERT_EQ(reader.readTagHeader(), 1);
    EXPECT_EQ(SwfTag(reader.tagCode()), SwfTag::DoAction);
    // A compressed temporary movie is refused.
    const std::string packed = (dir / "packed.swf").string();
    fs::copy_file(temp, packed);
    ASSERT_GT(compressSwfFile(packed, 9), 0);
    EXPECT_EQ(writeFinishedMovie(packed, (dir / "again.swf").string(), {}, false), 0);
}

TEST(JobIndex, ScrambledIndexesAreReadBack) {
    const fs::path path = fs::temp_directory_path() / ("tessaly_index_" + std::to_string(::getpid()));
    std::string text = "<Media width=\"100\" height=\"200\"><Frame></Frame></Media>";
    scramble(reinterpret_cast<uint8_t*>(text.data()), text.size(), jobKey());
    std::ofstream(path, std::ios::binary) << text;
    JobIndex index;
    EXPECT_EQ(loadJobIndex(path.string(), jobKey(), &index), 1);
    EXPECT_EQ(index.docHeight, 200u);
    fs::remove(path);
}

}  // namespace
}  // namespace tessaly
