// The test interface under data/interface: its movie is made by our own
// converter from simple.mml and must stay what the converter makes of it.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "composer/settings.h"
#include "swf/swf_stream.h"
#include "swf/template_import.h"

namespace fs = std::filesystem;

namespace {

const fs::path kInterfaceDir = fs::path(TESSALY_SOURCE_DIR) / "data" / "interface";

std::vector<char> slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(InterfaceMovie, RegeneratesByteForByte) {
    const fs::path out =
        fs::temp_directory_path() / ("tessaly_interface_" + std::to_string(::getpid()) + ".swf");
    const std::string command = std::string(TESSALY_BIN_DIR) + "/tessaly-convert --raw " +
                                (kInterfaceDir / "simple.mml").string() + " -o " + out.string();
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
    const auto made = slurp(out), committed = slurp(kInterfaceDir / "simple.swf");
    fs::remove(out);
    ASSERT_FALSE(committed.empty());
    EXPECT_TRUE(made == committed)
        << "data/interface/simple.swf no longer matches simple.mml; regenerate it with "
           "tessaly-convert --raw data/interface/simple.mml -o data/interface/simple.swf";
}

TEST(InterfaceMovie, InterfaceFileNamesAnImportableMovie) {
    tessaly::InterfaceSettings settings;
    settings.directory = kInterfaceDir.string() + "/";
    ASSERT_EQ(settings.load("simple"), 1) << settings.errorText;
    EXPECT_EQ(settings.name, "Simple");
    EXPECT_EQ(fs::path(settings.source), kInterfaceDir / "simple.swf");
    EXPECT_EQ(settings.mechanics, tessaly::kMechVector | tessaly::kMechFrame | tessaly::kMechPageList);
    EXPECT_EQ(settings.params.size(), 3u);

    // Three frames of 800 x 600 pixels whose last one stops the movie.
    tessaly::SwfStream stream;
    tessaly::TemplateImport r;
    ASSERT_EQ(tessaly::importTemplate(stream, settings.source, 15000, true, &r), 1);
    EXPECT_EQ(r.frameCount, 3u);
    EXPECT_EQ(r.xmax - r.xmin, 16000);
    EXPECT_EQ(r.ymax - r.ymin, 12000);
    const uint8_t stop[4] = {0x02, 0x03, 0x07, 0x00};
    ASSERT_GE(stream.position(), 4u);
    EXPECT_TRUE(std::equal(stop, stop + 4, stream.data() + stream.position() - 4));
}

}  // namespace
