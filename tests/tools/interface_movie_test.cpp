// The interfaces under data/interface: the test interface's movie is made by
// our own converter from simple.mml, the default viewer's by tessaly-swfbuild
// from Viewer.xml; each must stay what its tool makes of its source.

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

const fs::path kInterfaceDir = fs::path(TESSALY_SOURCE_DIR) / "data" / "interface";

std::vector<char> slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs `command` with the output path appended; the bytes it wrote.
std::vector<char> madeBy(const std::string& command) {
    const fs::path out =
        fs::temp_directory_path() / ("tessaly_interface_" + std::to_string(::getpid()) + ".swf");
    const std::string line = command + out.string();
    const int status = std::system(line.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << line;
    auto made = slurp(out);
    fs::remove(out);
    return made;
}

TEST(InterfaceMovie, RegeneratesByteForByte) {
    const auto made = madeBy(std::string(TESSALY_BIN_DIR) + "/tessaly-convert --raw " +
                             (kInterfaceDir / "simple.mml").string() + " -o ");
    const auto committed = slurp(kInterfaceDir / "simple.swf");
    ASSERT_FALSE(committed.empty());
    EXPECT_TRUE(made == committed)
        << "data/interface/simple.swf no longer matches simple.mml; regenerate it with "
           "tessaly-convert --raw data/interface/simple.mml -o data/interface/simple.swf";

    const auto viewer = madeBy(std::string(TESSALY_BIN_DIR) + "/tessaly-swfbuild " +
                               (kInterfaceDir / "Viewer.xml").string() + " -o ");
    const auto viewerCommitted = slurp(kInterfaceDir / "Viewer.swf");
    ASSERT_FALSE(viewerCommitted.empty());
    EXPECT_TRUE(viewer == viewerCommitted)
        << "data/interface/Viewer.swf no longer matches Viewer.xml and Viewer.asm; regenerate it with "
           "tessaly-swfbuild data/interface/Viewer.xml -o data/interface/Viewer.swf";
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

// The default viewer: pages from the library, one compressed SWF 8 frame
// that every movie continues, and parameters whose choices all map to values
// the movie understands; the factory copy is the same file.
TEST(InterfaceMovie, DefaultViewerIsALibraryInterfaceWithWorkingParameters) {
    tessaly::InterfaceSettings settings;
    settings.directory = kInterfaceDir.string() + "/";
    ASSERT_EQ(settings.load("Viewer"), 1) << settings.errorText;
    EXPECT_EQ(settings.name, "Viewer");
    EXPECT_EQ(settings.mechanics, tessaly::kMechLibrary | tessaly::kMechPreviewSupported);
    EXPECT_TRUE(slurp(kInterfaceDir / "Viewer.interface") == slurp(kInterfaceDir / "default" / "Viewer.interface"));
    tessaly::InterfaceSettings factory;
    factory.directory = settings.directory;
    ASSERT_TRUE(factory.hasDefault("Viewer"));

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
