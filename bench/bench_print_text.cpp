// A 100-page document of dense text printed at 300 dpi in vector mode
// through the graphics layer into the real driver, then converted into a
// movie. Every Letter page holds about 3,000 characters in lines of four
// installed fonts at three sizes (words of a fixed vocabulary with accented
// letters among them). Each font is captured once per job, so the job holds
// exactly one font file per font used; set-up fails when it does not.
//
// BM_PrintTextDocument: pages per second, font files (count, total KB),
// media.mml KB per page, peak RSS.
// BM_ConvertTextDocument: the job converted into a finished movie; movie KB
// per page, peak RSS. Run each alone (--benchmark_filter) to see its own
// peak.

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "composer/conversion_job.h"
#include "platform/spool_host.h"
#include "print_bench.h"

namespace fs = std::filesystem;
using namespace tessaly::gdi;

namespace {

constexpr int kPages = 100;
constexpr int kDpi = 300;
constexpr std::array<const char16_t*, 4> kFamilies = {u"DejaVu Sans", u"DejaVu Serif", u"Liberation Sans",
                                                      u"Liberation Mono"};
constexpr std::array<double, 3> kSizes = {9, 11, 14};  // points

using tessaly::bench::peakRssMegabytes;
using tessaly::bench::setupFailed;

void check(bool ok, DeviceContext& dc, const char* what) {
    if (!ok) setupFailed(std::string(what) + ": " + dc.errorText());
}

const std::array<const char16_t*, 24> kWords = {
    u"the",    u"printer",  u"movie",    u"glyph",   u"outline",  u"résumé",   u"façade",   u"naïve",
    u"quartz", u"jump",     u"vexing",   u"fjord",   u"waltz",    u"Über",     u"señor",    u"déjà",
    u"page",   u"baseline", u"kerning",  u"ascent",  u"spacing",  u"Zürich",   u"crème",    u"brûlée"};

void drawPage(DeviceContext& dc, int n) {
    std::mt19937 rng(uint32_t(7000 + n));
    check(dc.startPage(), dc, "start page");
    dc.setBackgroundMode(BackgroundMode::Transparent);
    dc.setTextAlign(TextAlignX::Left, TextAlignY::Baseline);
    // Points to pixels.
    const double px = kDpi / 72.0;
    const double left = 54 * px, right = (612 - 54) * px, bottom = (792 - 54) * px;
    double y = 60 * px;
    size_t characters = 0;
    int line = 0;
    while (characters < 3000 && y < bottom) {
        const size_t font = size_t(line) % kFamilies.size();
        const double size = kSizes[size_t(line / 4) % kSizes.size()];
        LOGFONTW lf{};
        lf.lfHeight = -static_cast<LONG>(size * px);
        lf.lfWeight = 400;
        lf.lfCharSet = DEFAULT_CHARSET;
        std::u16string_view family = kFamilies[font];
        for (size_t i = 0; i < family.size() && i + 1 < LF_FACESIZE; ++i) lf.lfFaceName[i] = WCHAR(family[i]);
        check(dc.setFont(lf), dc, "font");
        dc.setTextColor(line % 7 == 0 ? 0x1F4E79 : 0x000000);
        // About 0.5 em a character: words until the line is full.
        const size_t perLine = size_t((right - left) / (size * px * 0.5));
        std::u16string text;
        while (text.size() < perLine) {
            if (!text.empty()) text += u' ';
            text += kWords[rng() % kWords.size()];
        }
        check(dc.textOut({left, y}, text), dc, "text");
        characters += text.size();
        y += size * px * 1.25;
        ++line;
    }
    if (characters < 3000) setupFailed("a page holds fewer than 3,000 characters");
    check(dc.endPage(), dc, "end page");
}

struct Printer : tessaly::bench::ScratchPrinter {
    Printer() : ScratchPrinter("tessaly_bench_text") {}

    fs::path print() {
        tessaly::SpoolOptions options;
        options.driverPath = std::string(TESSALY_LIB_DIR) + "/libpagesmith.so";
        options.request.paperName = "Letter";
        options.request.dpi = kDpi;
        options.request.imagePages = false;
        tessaly::SpoolHost host;
        std::string error;
        if (!host.open(options, &error)) setupFailed(error);
        DeviceContext& dc = host.context();
        check(dc.startDoc(u"text benchmark", 1), dc, "start document");
        for (int n = 0; n < kPages; ++n) drawPage(dc, n);
        check(dc.endDoc(), dc, "end document");
        host.close();
        for (const auto& entry : fs::directory_iterator(root / "spool")) return entry.path();
        setupFailed("no job directory");
    }
};

Printer& printer() {
    static Printer p;
    return p;
}

// The job's font files: f*.mml beside media.mml.
struct FontFiles {
    size_t count = 0;
    uintmax_t bytes = 0;
};

FontFiles fontFiles(const fs::path& job) {
    FontFiles files;
    for (const auto& entry : fs::directory_iterator(job)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 5 && name[0] == 'f' && entry.path().extension() == ".mml") {
            ++files.count;
            files.bytes += entry.file_size();
        }
    }
    // Each font is captured once per job.
    if (files.count != kFamilies.size())
        setupFailed("the job holds " + std::to_string(files.count) + " font files for " +
                    std::to_string(kFamilies.size()) + " fonts");
    return files;
}

void BM_PrintTextDocument(benchmark::State& state) {
    Printer& p = printer();
    fs::path job;
    for (auto _ : state) {
        state.PauseTiming();
        p.clearSpool();
        state.ResumeTiming();
        job = p.print();
    }
    const FontFiles files = fontFiles(job);
    state.counters["pages_per_second"] =
        benchmark::Counter(double(kPages) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["font_files"] = double(files.count);
    state.counters["font_files_KB"] = double(files.bytes) / 1024.0;
    state.counters["markup_KB_per_page"] = double(fs::file_size(job / "media.mml")) / 1024.0 / kPages;
    state.counters["peak_rss_mb"] = peakRssMegabytes();
}

void BM_ConvertTextDocument(benchmark::State& state) {
    Printer& p = printer();
    p.clearSpool();
    const fs::path job = p.print();
    (void)fontFiles(job);
    const std::string base = std::string(TESSALY_SOURCE_DIR) + "/data/";
    const std::string temp = (p.root / "movie.part").string(), movie = (p.root / "movie.swf").string();
    for (auto _ : state) {
        tessaly::ConversionJob conversion;
        (void)conversion.setBaseDirectory(base);
        if (!conversion.openJob(job.string() + "/") || !conversion.convert(temp) ||
            !tessaly::ConversionJob::finishMovie(conversion.settings().interfaceSettings, temp, movie,
                                                 conversion.compressed)) {
            state.SkipWithError(conversion.errorText().c_str());
            break;
        }
    }
    state.counters["pages_per_second"] =
        benchmark::Counter(double(kPages) * double(state.iterations()), benchmark::Counter::kIsRate);
    if (fs::exists(movie)) state.counters["movie_KB_per_page"] = double(fs::file_size(movie)) / 1024.0 / kPages;
    state.counters["peak_rss_mb"] = peakRssMegabytes();
}

}  // namespace

BENCHMARK(BM_PrintTextDocument)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ConvertTextDocument)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
