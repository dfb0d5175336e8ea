// Printing a document of mixed drawing through the real driver at 300 dpi,
// as the spool host runs a job: (a) vector mode, where every drawing call is
// still rendered into the driver's surface but no page image is kept, and
// (b) raster capture, where every page is also written as a bag file.
// Counters: pages per second and the process's peak resident memory; run
// the 10-page and the 100-page cases in separate processes
// (--benchmark_filter) to compare their peaks. BM_PageImageOnly writes one
// printed page as a bag file alone: the part of raster capture that zlib
// takes.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "image/bag_writer.h"
#include "image/image.h"
#include "print_bench.h"
#include "platform/registry.h"
#include "platform/spool_host.h"
#include "script/print_script.h"
#include "support/text.h"

namespace fs = std::filesystem;

namespace {

using tessaly::bench::setupFailed;

// One Letter page of mixed drawing (points): shapes with outlines, dashed
// lines, a curved path, text in two fonts, a picture, a gradient and a clip.
std::string page(int n) {
    const std::string k = std::to_string(n % 7);
    std::string s = "page\n";
    s += "font \"DejaVu Sans\" 18 bold\ntext 54 60 \"Report page " + std::to_string(n + 1) + "\"\n";
    s += "font \"Liberation Serif\" 10\n";
    for (int line = 0; line < 12; ++line) {
        s += "text 54 " + std::to_string(90 + line * 14) +
             " \"Quarterly revenue grew across all regions while costs held steady " + k + "\"\n";
    }
    s += "pen #000000 1\nbrush #4F81BD\nrect 54 280 120 90\nbrush #C0504D\nellipse 200 280 120 90\n";
    s += "brush #9BBB59\npolygon 400 370 460 280 520 370\n";
    s += "pen #404040 0 dash\npolyline 54 390 558 390\npen #800000 2 dashes 6 3\npolyline 54 400 558 " +
         std::to_string(400 + n % 20) + "\n";
    s += "pen #202020 1.5\nbrush #F0C020\nmove 54 420\ncurve 120 380 200 500 260 420\nline 260 500\nclose\nfillstroke\n";
    s += "image 300 420 200 150 builtin\n";
    s += "gradient 54 600 504 40 #FFFFFF #1F4E79 horizontal\n";
    s += "save\nclip rect 54 660 200 80\nbrush #E07A1F\nellipse 40 640 240 120\nrestore\n";
    s += "endpage\n";
    return s;
}

const tessaly::script::Script& document(int pages) {
    static std::map<int, tessaly::script::Script> cache;
    auto it = cache.find(pages);
    if (it != cache.end()) return it->second;
    std::string text = "units pt\npaper Letter\n";
    for (int n = 0; n < pages; ++n) text += page(n);
    tessaly::script::Script script;
    std::string error;
    if (!tessaly::script::parseScript(text, &script, &error)) setupFailed(error);
    return cache.emplace(pages, std::move(script)).first->second;
}

// A printer of the benchmark's own.
struct Printer : tessaly::bench::ScratchPrinter {
    Printer() : ScratchPrinter("tessaly_bench_print") {}
};

void print(benchmark::State& state, bool imagePages) {
    static Printer printer;
    const int pages = static_cast<int>(state.range(0));
    const tessaly::script::Script& drawing = document(pages);
    tessaly::SpoolOptions options;
    options.driverPath = std::string(TESSALY_LIB_DIR) + "/libpagesmith.so";
    options.request.dpi = 300;
    options.request.imagePages = imagePages;
    for (auto _ : state) {
        tessaly::SpoolHost host;
        std::string error;
        if (!host.open(options, &error)) setupFailed(error);
        tessaly::gdi::DeviceContext& dc = host.context();
        if (!dc.startDoc(u"benchmark", 1)) setupFailed(dc.errorText());
        tessaly::script::PlayOptions play;
        play.dpi = 300;
        if (!tessaly::script::playScript(drawing, dc, play, &error)) setupFailed(error);
        if (!dc.endDoc()) setupFailed(dc.errorText());
        host.close();
        state.PauseTiming();
        printer.clearSpool();
        state.ResumeTiming();
    }
    state.counters["pages_per_second"] =
        benchmark::Counter(double(pages) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["max_rss_mb"] = tessaly::bench::peakRssMegabytes();
}

void BM_PrintVector(benchmark::State& state) { print(state, false); }
void BM_PrintRaster(benchmark::State& state) { print(state, true); }

// The floor of raster capture: one printed page of the document written as a
// bag file (zlib level 6), without printing it.
void BM_PageImageOnly(benchmark::State& state) {
    static Printer printer;
    tessaly::SpoolOptions options;
    options.driverPath = std::string(TESSALY_LIB_DIR) + "/libpagesmith.so";
    options.request.dpi = 300;
    options.request.imagePages = true;
    tessaly::Image page;
    {
        tessaly::SpoolHost host;
        std::string error;
        if (!host.open(options, &error)) setupFailed(error);
        tessaly::script::PlayOptions play;
        if (!host.context().startDoc(u"benchmark", 1) ||
            !tessaly::script::playScript(document(1), host.context(), play, &error) || !host.context().endDoc()) {
            setupFailed("cannot print a page: " + error);
        }
        host.close();
        for (const auto& job : fs::directory_iterator(printer.root / "spool")) {
            if (page.load((job.path() / "altpage0.bag").string()) != tessaly::kImageOk) setupFailed("no page image");
        }
        printer.clearSpool();
    }
    const std::string file = (printer.root / "page.bag").string();
    for (auto _ : state) {
        if (!tessaly::writeBagFile(file, page)) setupFailed("cannot write the bag file");
    }
    state.counters["pages_per_second"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_PrintVector)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PrintRaster)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_PageImageOnly)->Unit(benchmark::kMillisecond)->UseRealTime();
