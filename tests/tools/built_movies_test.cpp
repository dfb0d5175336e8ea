// The movies in data/ that tessaly-swfbuild makes from sources kept beside
// them must stay what the tool makes of those sources.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "composer/settings.h"
#include "swf/swf_stream.h"
#include "swf/template_import.h"

namespace fs = std::filesystem;

namespace {

const fs::path kData = fs::path(TESSALY_SOURCE_DIR) / "data";
const fs::path kInterface = kData / "interface";

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
        {"interface/Viewer.xml", "interface/Viewer.swf"},
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

// The default viewer: pages from the library, one compressed SWF 8 frame
// that every movie continues, and parameters whose choices all map to values
// the movie understands; the factory copy is the same file.
TEST(BuiltMovies, DefaultViewerIsALibraryInterfaceWithWorkingParameters) {
    tessaly::InterfaceSettings settings;
    settings.directory = kInterface.string() + "/";
    ASSERT_EQ(settings.load("Viewer"), 1) << settings.errorText;
    EXPECT_EQ(settings.name, "Viewer");
    EXPECT_EQ(settings.mechanics, tessaly::kMechLibrary);
    tessaly::InterfaceSettings factory;
    factory.directory = settings.directory;
    // The same movie with thumbnails: only the mechanics differ.
    tessaly::InterfaceSettings thumbnails;
    thumbnails.directory = settings.directory;
    ASSERT_EQ(thumbnails.load("Viewer-thumbnails"), 1) << thumbnails.errorText;
    EXPECT_EQ(thumbnails.mechanics, tessaly::kMechLibrary | tessaly::kMechPreviewSupported);
    EXPECT_EQ(thumbnails.source, settings.source);
    EXPECT_EQ(thumbnails.params.size(), settings.params.size());
    for (const char* name : {"Viewer", "Viewer-thumbnails"}) {
        const std::string file = std::string(name) + ".interface";
        EXPECT_TRUE(slurp(kInterface / file) == slurp(kInterface / "default" / file)) << name;
        EXPECT_TRUE(factory.hasDefault(name)) << name;
    }

    const std::map<std::string, std::string> defaults = {
        {"toolbarColor", "#3B4A5C"}, {"backgroundColor", "#7A808A"}, {"showFirstLast", "1"},
        {"showPageField", "1"},      {"showZoom", "1"},               {"showFit", "1"},
        {"initialZoom", "page"},     {"initialPage", "1"},
    };
    ASSERT_EQ(settings.params.size(), defaults.size());
    for (size_t i = 0; i < settings.params.size(); ++i) {
        const tessaly::InterfaceParam& p = settings.params[i];
        SCOPED_TRACE(p.name);
        EXPECT_TRUE(p.description && !p.description->empty());
        std::string value;
        ASSERT_EQ(settings.effectiveParamValue(i, value), 1);
        EXPECT_EQ(value, defaults.at(p.varName));
        if (!p.options) continue;
        // Every choice can be set and maps to a value the script reads: a
        // colour, a flag or a zoom mode.
        for (size_t at = 0; at <= p.options->size();) {
            const size_t bar = std::min(p.options->find('|', at), p.options->size());
            const std::string entry = p.options->substr(at, bar - at);
            at = bar + 1;
            tessaly::InterfaceParam copy = p;
            ASSERT_EQ(tessaly::setParamValue(copy, entry.substr(0, entry.find('='))), 1) << entry;
            ASSERT_EQ(tessaly::effectiveParamValue(copy, value), 1) << entry;
            const bool color = value.size() == 7 && value[0] == '#' &&
                               value.find_first_not_of("0123456789ABCDEF", 1) == std::string::npos;
            EXPECT_TRUE(color || value == "0" || value == "1" || value == "page" || value == "width" ||
                        value == "actual")
                << entry;
        }
    }

    tessaly::SwfStream stream;
    tessaly::TemplateImport r;
    ASSERT_EQ(tessaly::importTemplate(stream, settings.source, 15000, true, &r), 1);
    EXPECT_EQ(r.frameCount, 1u);
    EXPECT_EQ(r.version, 8);
    EXPECT_TRUE(r.compressed);
}

}  // namespace
