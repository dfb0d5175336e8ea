// Deferred drawing: a job printed through the real driver while the engine
// defers the rendering of each page is, byte for byte, the job printed with
// every call rendered at once: the captures (pictures the driver cuts from
// its rendered page), the page rasters, the fonts and the markup. Printed:
// the shipped PDFs, and a drawing of calls the driver can only capture
// (blends, raster operations, gradients) over and under ordinary drawing.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>

#include "pdf/pdf_document.h"
#include "platform/gdi_engine_control.h"
#include "platform/registry.h"
#include "platform/spool_host.h"
#include "script/print_script.h"
#include "support/text.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

using Files = std::map<std::string, std::string>;
using Draw = std::function<void(SpoolHost&)>;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class DeferredDrawing : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("tessaly-deferred-" + std::to_string(getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "spool");
        setenv("TESSALY_REGISTRY_ROOT", (root_ / "registry").c_str(), 1);
        ValueStore store((root_ / "registry").string());
        ASSERT_EQ(store.writeString("SpoolPath", toWide((root_ / "spool").string())), kRegistryOk);
        ASSERT_EQ(store.writeString("BasePath", toWide(std::string(TESSALY_SOURCE_DIR) + "/data/")), kRegistryOk);
        // Vector pages without previews: only what is asked reads the page.
        ASSERT_EQ(store.writeDword("MSEncodeFlags", 0x002), kRegistryOk);
    }
    void TearDown() override {
        gdi::setDeferredDrawing(true);
        unsetenv("TESSALY_REGISTRY_ROOT");
        fs::remove_all(root_);
    }

    // The files of the job that `draw` prints (deferred or not) on Letter
    // paper at `dpi`, vector pages with or without page rasters; the spool is
    // emptied.
    Files print(bool deferred, int dpi, bool rasters, const Draw& draw) {
        gdi::setDeferredDrawing(deferred);
        SpoolOptions options;
        options.driverPath = std::string(TESSALY_LIB_DIR) + "/libpagesmith.so";
        options.request.dpi = dpi;
        options.request.paperName = "Letter";
        options.request.imagePages = false;
        options.request.pageRasters = rasters;
        std::string error;
        {
            SpoolHost host;
            if (!host.open(options, &error)) {
                ADD_FAILURE() << error;
                return {};
            }
            EXPECT_TRUE(host.context().startDoc(u"deferred", 7));
            draw(host);
            EXPECT_TRUE(host.context().endDoc()) << host.context().errorText();
        }
        Files files;
        for (const auto& job : fs::directory_iterator(root_ / "spool")) {
            for (const auto& file : fs::directory_iterator(job.path()))
                files[file.path().filename().string()] = readFile(file.path());
        }
        fs::remove_all(root_ / "spool");
        fs::create_directories(root_ / "spool");
        return files;
    }

    // Prints both ways and compares every file of the two jobs.
    void expectSameJob(const std::string& what, int dpi, bool rasters, const Draw& draw) {
        const Files immediate = print(false, dpi, rasters, draw);
        const Files deferred = print(true, dpi, rasters, draw);
        ASSERT_FALSE(immediate.empty()) << what;
        size_t pageRasters = 0;
        for (const auto& [name, bytes] : immediate) {
            if (name.rfind("altpage", 0) == 0) ++pageRasters;
            const auto other = deferred.find(name);
            ASSERT_NE(other, deferred.end()) << what << ": " << name << " only printed at once";
            EXPECT_TRUE(other->second == bytes) << what << ": " << name << " differs";
        }
        EXPECT_EQ(deferred.size(), immediate.size()) << what;
        EXPECT_EQ(pageRasters > 0, rasters) << what;
    }

    fs::path root_;
};

TEST_F(DeferredDrawing, ShippedPdfsPrintTheSameJobAsImmediateRendering) {
    for (const char* name : {"libtasn1-manual.pdf", "cups-testpage.pdf", "figures.pdf"}) {
        std::string error;
        auto document =
            pdf::Document::open(std::string(TESSALY_SOURCE_DIR) + "/examples/pdf/" + name, std::nullopt, &error);
        ASSERT_TRUE(document) << error;
        expectSameJob(name, 100, true, [&](SpoolHost& host) {
            for (int p = 1; p <= document->pageCount(); ++p)
                EXPECT_EQ(document->playPage(p, host.device(), host.context(), &error), 1) << error;
        });
    }
}

// Each capture reads pixels drawn before it on its page (and none of the
// page before); XOR drawing depends on what lies under it.
const char kCaptures[] = R"(units pt
page
brush #4F81BD
pen #000000 2
rect 40 40 200 120
font "DejaVu Sans" 18
text 60 90 "Captured under a blend"
alphablend 100 60 160 100 128
mix xorpen
brush #FF8000
ellipse 150 80 160 120
mix copypen
gradient 40 220 300 40 #FFFFFF #1F4E79 horizontal
image 300 200 120 80 builtin bits 8 rop srcinvert
save
clip region 40 300 100 100 200 320 60 60
alphablend 20 280 300 140 90 perpixel
restore
patblt 60 440 200 30 patinvert
transparentblt 300 420 100 60 #FFFFFF
text 60 520 "After the captures"
endpage
page
text 60 90 "A second page"
alphablend 40 60 200 60 160
gradient triangle 40 200 #FF0000 240 200 #00FF00 140 320 #0000FF
endpage
)";

TEST_F(DeferredDrawing, CapturesReadWhatImmediateRenderingDrew) {
    script::Script script;
    std::string error;
    ASSERT_TRUE(script::parseScript(kCaptures, &script, &error)) << error;
    // Without page rasters nothing but the captures reads the surface.
    for (const bool rasters : {false, true}) {
        expectSameJob(rasters ? "captures with page rasters" : "captures", 150, rasters, [&](SpoolHost& host) {
            script::PlayOptions play;
            play.dpi = host.device().dpiY();
            EXPECT_EQ(script::playScript(script, host.context(), play, &error), 1) << error;
        });
    }
}

}  // namespace
}  // namespace tessaly
