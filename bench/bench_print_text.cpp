// A 100-page document of dense text printed at 300 dpi in vector mode
// through the graphics layer into the real driver, then converted into a
// movie. Every Letter page holds about 3,000 characters in lines of four
// installed fonts, two of them bold or italic faces, at three sizes (words of
// a fixed vocabulary with accented letters among them). Each font is captured
// once per job, so the job holds exactly one font file per font used; set-up
// fails when it does not.
//
// BM_PrintTextDocument: pages per second, font files (count, total KB),
// media.mml KB per page, peak RSS.
// BM_ConvertTextDocument: the job converted into a finished movie; movie KB
// per page, the movie's text (DefineText characters per page, DefineFont
// glyphs; set-up fails when the movie holds too little of the printed text),
// peak RSS. Run each alone (--benchmark_filter) to see its own peak.

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "composer/conversion_job.h"
#include "platform/spool_host.h"
#include "print_bench.h"
#include "swf/swf_bit_reader.h"
#include "swf/swf_file_reader.h"
#include "swf/swf_tags.h"

namespace fs = std::filesystem;
using namespace tessaly::gdi;

namespace {

constexpr int kPages = 100;
constexpr int kDpi = 300;
struct Face {
    const char16_t* family;
    LONG weight;
    bool italic;
};
constexpr std::array<Face, 4> kFaces = {Face{u"DejaVu Sans", 400, false}, Face{u"DejaVu Sans", 700, false},
                                        Face{u"Liberation Serif", 400, false}, Face{u"Liberation Serif", 400, true}};
constexpr std::array<double, 3> kSizes = {9, 11, 14};  // points

using tessaly::bench::convertJobLoop;
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
        const Face& face = kFaces[size_t(line) % kFaces.size()];
        const double size = kSizes[size_t(line / 4) % kSizes.size()];
        LOGFONTW lf{};
        lf.lfHeight = -static_cast<LONG>(size * px);
        lf.lfWeight = face.weight;
        lf.lfItalic = face.italic;
        lf.lfCharSet = DEFAULT_CHARSET;
        std::u16string_view family = face.family;
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
        tessaly::SpoolHost host;
        tessaly::bench::openVectorPrinter(host, kDpi);
        DeviceContext& dc = host.context();
        check(dc.startDoc(u"text benchmark", 1), dc, "start document");
        for (int n = 0; n < kPages; ++n) drawPage(dc, n);
        check(dc.endDoc(), dc, "end document");
        host.close();
        return job();
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
    if (files.count != kFaces.size())
        setupFailed("the job holds " + std::to_string(files.count) + " font files for " +
                    std::to_string(kFaces.size()) + " fonts");
    return files;
}

// The text of a movie: its DefineText records' glyphs, its fonts' glyphs.
struct MovieText {
    size_t texts = 0, characters = 0, fonts = 0, glyphs = 0;
};

MovieText movieText(const std::string& path) {
    using tessaly::SwfTag;
    tessaly::SwfFileReader movie;
    if (!movie.readFile(path) || !movie.parseHeader()) setupFailed("cannot read the movie");
    MovieText found;
    while (movie.nextTag()) {
        const auto code = SwfTag(movie.tagCode());
        tessaly::SwfBitReader body(movie.data(), movie.tagBodyEnd(), movie.tagBodyStart());
        if (code == SwfTag::DefineText || code == SwfTag::DefineText2) {
            ++found.texts;
            (void)body.readU16();
            (void)body.readRect();
            (void)body.readMatrix();
            const unsigned glyphBits = body.readU8(), advanceBits = body.readU8();
            // Text records: a style header, then a count of glyph entries.
            for (uint8_t flags = body.readU8(); flags != 0 && !body.failed(); flags = body.readU8()) {
                if (flags & 0x08) (void)body.readU16();
                if (flags & 0x04) body.skipBytes(code == SwfTag::DefineText2 ? 4 : 3);
                if (flags & 0x01) (void)body.readU16();
                if (flags & 0x02) (void)body.readU16();
                if (flags & 0x08) (void)body.readU16();
                const unsigned count = body.readU8();
                body.skipBits(uint64_t(count) * (glyphBits + advanceBits));
                body.align();
                found.characters += count;
            }
            if (body.failed()) setupFailed("a DefineText runs past its tag");
        } else if (code == SwfTag::DefineFont2 || code == SwfTag::DefineFont3) {
            ++found.fonts;
            (void)body.readU16();
            (void)body.readU8();
            (void)body.readU8();
            body.skipBytes(body.readU8());
            found.glyphs += body.readU16();
        }
    }
    return found;
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
    const fs::path movie = p.root / "movie.swf";
    if (!convertJobLoop(state, job, movie, kPages)) return;
    state.counters["movie_KB_per_page"] = double(fs::file_size(movie)) / 1024.0 / kPages;
    // The movie holds the printed text: nearly all of each page's characters
    // (blanks between words included) and every font with the glyphs of the
    // vocabulary (37 characters).
    const MovieText text = movieText(movie);
    state.counters["texts_per_page"] = double(text.texts) / kPages;
    state.counters["characters_per_page"] = double(text.characters) / kPages;
    state.counters["movie_fonts"] = double(text.fonts);
    state.counters["movie_font_glyphs"] = double(text.glyphs);
    if (text.characters < size_t(2500) * kPages || text.fonts < kFaces.size() || text.glyphs < 30 * kFaces.size())
        setupFailed("the movie holds " + std::to_string(text.characters) + " characters in " +
                    std::to_string(text.texts) + " texts and " + std::to_string(text.glyphs) + " glyphs in " +
                    std::to_string(text.fonts) + " fonts");
    state.counters["peak_rss_mb"] = peakRssMegabytes();
}

}  // namespace

BENCHMARK(BM_PrintTextDocument)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ConvertTextDocument)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
