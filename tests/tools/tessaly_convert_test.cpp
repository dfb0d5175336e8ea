// The converter as a user runs it: exit status, error line, output file.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "swf/swf_file_reader.h"

namespace fs = std::filesystem;

namespace {

struct Result {
    int status;
    std::string out, err;
};

Result runConvert(const std::string& args, const fs::path& dir) {
    const fs::path out = dir / "stdout.txt", err = dir / "stderr.txt";
    const std::string command = std::string(TESSALY_BIN_DIR) + "/tessaly-convert " + args + " >" +
                                out.string() + " 2>" + err.string();
    const int raw = std::system(command.c_str());
    auto slurp = [](const fs::path& p) {
        std::ifstream in(p);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    };
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
}

class ConvertTool : public testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("tessaly_convert_" + std::to_string(::getpid()) + "_" +
               testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path write(const std::string& name, const std::string& text) {
        std::ofstream(dir / name) << text;
        return dir / name;
    }
    fs::path dir;
};

TEST_F(ConvertTool, ConvertsAPageIntoAMovieOfTheMediaSize) {
    const auto page = write("page.mml",
                            "<Media width=\"4000\" height=\"2000\"><Frame><Shape>"
                            "<FillColor side=\"right\" color=\"#336699\"/>"
                            "<Rect pos=\"100,100\" size=\"500,500\"/></Shape></Frame></Media>");
    const Result r = runConvert("--raw " + page.string() + " -o " + (dir / "out.swf").string(), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty());
    tessaly::SwfHeaderInfo info;
    ASSERT_GT(tessaly::SwfFileReader::readHeaderInfo((dir / "out.swf").string(), &info), 0);
    EXPECT_EQ(info.version, 5);
    EXPECT_EQ(info.xmax, 4000);
    EXPECT_EQ(info.ymax, 2000);
    EXPECT_EQ(info.frameCount, 1);
    EXPECT_DOUBLE_EQ(info.frameRate, 12.0);
    EXPECT_EQ(info.fileLength, fs::file_size(dir / "out.swf"));
}

TEST_F(ConvertTool, DefaultsToSixHundredByFourHundredPixels) {
    const auto page = write("page.mml", "<Frame></Frame>");
    ASSERT_EQ(runConvert("--raw " + page.string() + " -o " + (dir / "out.swf").string(), dir).status, 0);
    tessaly::SwfHeaderInfo info;
    ASSERT_GT(tessaly::SwfFileReader::readHeaderInfo((dir / "out.swf").string(), &info), 0);
    EXPECT_EQ(info.xmax, 12000);
    EXPECT_EQ(info.ymax, 8000);
}

TEST_F(ConvertTool, AMissingInputFailsWithOneLineAndLeavesNoOutput) {
    const auto out = dir / "out.swf";
    const auto missing = dir / "absent.mml";
    const Result r = runConvert("--raw " + missing.string() + " -o " + out.string(), dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.find("tessaly-convert: " + missing.string() + ": "), 0u) << r.err;
    EXPECT_NE(r.err.find("cannot open"), std::string::npos) << "the reason: " << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(ConvertTool, AFailedWriteKeepsTheOldMovie) {
    const auto page = write("page.mml", "<Frame></Frame>");
    const Result r = runConvert("--raw " + page.string() + " -o " + (dir / "no/such/dir.swf").string(), dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("dir.swf"), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 3);  // page + captures
}

TEST_F(ConvertTool, HelpAndBadArguments) {
    Result r = runConvert("--help", dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Usage: tessaly-convert"), std::string::npos);
    r = runConvert("--bogus", dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Usage"), std::string::npos);
}

TEST_F(ConvertTool, DumpPrintsTheCharacters) {
    const auto page = write("page.mml",
                            "<Frame><Shape><FillColor side=\"right\" color=\"#336699\"/>"
                            "<Rect pos=\"0,0\" size=\"20,20\"/></Shape></Frame>");
    const Result r = runConvert("--raw " + page.string() + " --dump", dir);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("id=1 MovieClip numControl=3\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("id=2 Shape numCommand=5 bounds=(0 0 20 20)"), std::string::npos);
}

}  // namespace
