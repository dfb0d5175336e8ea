// The movies in data/ that tessaly-swfbuild makes from sources kept beside
// them must stay what the tool makes of those sources.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "composer/settings.h"

namespace fs = std::filesystem;

namespace {

const fs::path kData = fs::path(TESSALY_SOURCE_DIR) / "data";

std::vector<char> slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(BuiltMovies, RegenerateByteForByte) {
    const struct {
        const char* source;
        const char* movie;
    } movies[] = {
        {"progress/working.xml", "Working.swf"},
        {"progress/searching.xml", "Searching.swf"},
        {"interface/minimal.xml", "interface/minimal.swf"},
    };
    for (const auto& m : movies) {
        const fs::path out =
            fs::temp_directory_path() / ("tessaly_built_" + std::to_string(::getpid()) + ".swf");
        const std::string command = std::string(TESSALY_BIN_DIR) + "/tessaly-swfbuild " +
                                    (kData / m.source).string() + " -o " + out.string();
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
        const auto made = slurp(out), committed = slurp(kData / m.movie);
        fs::remove(out);
        ASSERT_FALSE(committed.empty()) << m.movie;
        EXPECT_TRUE(made == committed)
            << "data/" << m.movie << " no longer matches data/" << m.source
            << "; regenerate it with tessaly-swfbuild data/" << m.source << " -o data/" << m.movie;
    }
}

TEST(BuiltMovies, MinimalInterfaceAndItsFactoryCopyRead) {
    for (const bool factory : {false, true}) {
        tessaly::InterfaceSettings settings;
        settings.directory = (kData / "interface").string() + "/";
        ASSERT_EQ(factory ? settings.loadDefault("minimal") : settings.load("minimal"), 1) << settings.errorText;
        EXPECT_EQ(settings.name, "Minimal");
        EXPECT_EQ(fs::path(settings.source), kData / "interface" / "minimal.swf");
        EXPECT_EQ(settings.mechanics, tessaly::kMechVector | tessaly::kMechLibrary);
    }
}

}  // namespace
