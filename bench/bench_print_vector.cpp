// A 100-page vector document printed at 300 dpi through the graphics layer
// into the real driver, then converted into a movie. Every page holds about
// 2,000 paths (filled and outlined shapes, wide and dashed lines, curves,
// polygons with holes), 50 clipped regions (40 rectangles, 10 clip paths)
// and 20 bitmaps: 16 small icons out of a set of 8 shared by all pages
// (24-, 8- and 32-bit), each drawn twice a page, and a picture of the page's
// own drawn four times at different sizes. A bitmap drawn again is stored once per job, so the job
// holds 8 + 100 bitmap files.
//
// BM_PrintVectorDocument: pages per second, media.mml and bitmap files per
// page, images per page (20 means no captured fallbacks), peak RSS.
// BM_ConvertVectorDocument: the job converted into a finished movie; movie
// size per page, peak RSS. Run each alone (--benchmark_filter) to see its
// own peak. TESSALY_BENCH_MARKUP=FILE keeps the printed job's descrambled
// markup.

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "composer/conversion_job.h"
#include "print_bench.h"
#include "platform/registry.h"
#include "platform/spool_host.h"
#include "support/scrambler.h"
#include "support/text.h"

namespace fs = std::filesystem;
using namespace tessaly::gdi;

namespace {

constexpr int kPages = 100;
constexpr int kDpi = 300;
constexpr int kIcons = 8;

using tessaly::bench::setupFailed;

void check(bool ok, DeviceContext& dc, const char* what) {
    if (!ok) setupFailed(std::string(what) + ": " + dc.errorText());
}

using tessaly::bench::convertJobLoop;
using tessaly::bench::peakRssMegabytes;

// A bitmap the application owns for the whole document.
struct Bitmap {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 24;
    std::vector<uint8_t> bits;
    std::vector<Color> palette;

    int stride() const { return ((width * bitsPerPixel + 31) / 32) * 4; }
    BitmapView view() const {
        BitmapView v;
        v.width = width;
        v.height = height;
        v.bitsPerPixel = bitsPerPixel;
        v.stride = stride();
        v.bits = bits.data();
        v.palette = palette;
        return v;
    }
};

Bitmap makeBitmap(int width, int height, int bitsPerPixel, int seed) {
    Bitmap b;
    b.width = width;
    b.height = height;
    b.bitsPerPixel = bitsPerPixel;
    b.bits.assign(size_t(b.stride()) * size_t(height), 0);
    if (bitsPerPixel == 8) {
        for (int i = 0; i < 256; ++i) b.palette.push_back(Color((i * 0x010307 + seed * 0x1F2F3F) & 0xFFFFFF));
    }
    const int bytes = bitsPerPixel / 8;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = b.bits.data() + size_t(y) * size_t(b.stride());
        for (int x = 0; x < width; ++x) {
            const double u = x / double(width), v = y / double(height);
            const uint8_t r = uint8_t(128 + 120 * std::sin(6 * u + seed));
            const uint8_t g = uint8_t(128 + 120 * std::cos(5 * v - seed));
            const uint8_t bl = uint8_t((x * 3 + y * 2 + seed * 40) & 0xFF);
            if (bitsPerPixel == 8) {
                row[x] = uint8_t((r ^ bl) + (x / 8 + y / 8) % 4);
            } else {
                row[x * bytes] = bl;
                row[x * bytes + 1] = g;
                row[x * bytes + 2] = r;
                if (bytes == 4) row[x * bytes + 3] = 0xFF;
            }
        }
    }
    return b;
}

const std::array<Color, 12> kColors = {0x1F4E79, 0xC0504D, 0x9BBB59, 0x8064A2, 0x4BACC6, 0xF79646,
                                       0x2C4D75, 0x772C2A, 0x5F7530, 0x4D3B62, 0x276A7C, 0xB65708};

class PageDrawer {
public:
    PageDrawer(DeviceContext& dc, const std::vector<Bitmap>& icons) : dc_(dc), icons_(icons) {}

    void page(int n, const Bitmap& picture) {
        std::mt19937 rng(uint32_t(1000 + n));
        check(dc_.startPage(), dc_, "start page");
        // 2,000 shapes in a grid of 40 x 50 cells of 60 pixels; every 40th
        // cell opens a clipped region over the next 4 cells.
        constexpr int kColumns = 40, kRows = 50, kCell = 60;
        int clipped = 0;
        int regionEnd = -1;
        for (int i = 0; i < kColumns * kRows; ++i) {
            const double x = 75 + (i % kColumns) * kCell, y = 150 + (i / kColumns) * kCell;
            if (i % 40 == 7) {
                dc_.save();
                if (clipped % 5 == 4) {
                    clipEllipse(x + 10, y + 5, 4 * kCell - 20, kCell - 10);
                } else {
                    check(dc_.clipRect({x + 15, y + 10, x + 4 * kCell - 15, y + kCell - 10}), dc_, "clip rect");
                }
                ++clipped;
                regionEnd = i + 4;
            }
            shape(i, x, y, kCell, rng);
            if (i + 1 == regionEnd) check(dc_.restore(), dc_, "restore");
        }
        // 20 bitmaps: each icon twice, the page's picture four times.
        for (int k = 0; k < 2 * kIcons; ++k) {
            const Bitmap& icon = icons_[size_t(k % kIcons)];
            const double x = 80 + k * 150, y = 3170 + (k % 2) * 40;
            check(dc_.stretchBlt({x, y - 40, x + 96, y + 56 - 40}, icon.view(), {0, 0, icon.width, icon.height}),
                  dc_, "icon");
        }
        const double px = 150 + (n % 5) * 60, py = 400 + (n % 7) * 300;
        for (int k = 0; k < 4; ++k) {
            const double w = 400.0 / (k + 1), h = 300.0 / (k + 1), x = px + k * 550;
            check(dc_.stretchBlt({x, py, x + w, py + h}, picture.view(), {0, 0, picture.width, picture.height}),
                  dc_, "picture");
        }
        check(dc_.endPage(), dc_, "end page");
    }

private:
    void clipEllipse(double x, double y, double w, double h) {
        check(dc_.beginPath() && dc_.ellipse({x, y, x + w, y + h}) && dc_.endPath(), dc_, "clip path");
        check(dc_.clipPath(), dc_, "clip path");
    }

    void pen(Color color, double width, PenStyle style = PenStyle::Solid, std::vector<double> dashes = {}) {
        Pen p;
        p.color = color;
        p.geometric = width > 1;
        p.width = width;
        p.style = style;
        p.dashes = std::move(dashes);
        check(dc_.setPen(p), dc_, "pen");
    }
    void brush(Color color) {
        Brush b;
        b.color = color;
        check(dc_.setBrush(b), dc_, "brush");
    }

    void shape(int i, double x, double y, double cell, std::mt19937& rng) {
        auto jitter = [&rng](double span) { return double(rng() % 1000) / 1000.0 * span; };
        const Color a = kColors[rng() % kColors.size()], b = kColors[rng() % kColors.size()];
        const double m = 6, s = cell - 2 * m;
        switch (i % 8) {
            case 0:  // an outlined box
                pen(0x000000, 1);
                brush(a);
                check(dc_.rectangle({x + m, y + m, x + m + s, y + m + jitter(s) + 4}), dc_, "rectangle");
                break;
            case 1: {  // a filled triangle, no outline
                pen(0, 1, PenStyle::Null);
                brush(a);
                const PointD t[] = {{x + m, y + cell - m}, {x + m + jitter(s), y + m}, {x + cell - m, y + cell - m}};
                check(dc_.polygon(t), dc_, "triangle");
                break;
            }
            case 2: {  // a wide line
                pen(a, 2 + jitter(6));
                const PointD l[] = {{x + m, y + m}, {x + cell / 2, y + m + jitter(s)}, {x + cell - m, y + m + 4},
                                    {x + cell - m, y + cell - m}};
                check(dc_.polyline(l), dc_, "line");
                break;
            }
            case 3: {  // a dashed thin line
                pen(b, 1, PenStyle::Dash);
                const PointD l[] = {{x + m, y + cell / 2}, {x + cell - m, y + m + jitter(s)}};
                check(dc_.polyline(l), dc_, "dashed line");
                break;
            }
            case 4:  // an ellipse
                pen(b, 3);
                brush(a);
                check(dc_.ellipse({x + m, y + m, x + cell - m, y + m + 10 + jitter(s - 10)}), dc_, "ellipse");
                break;
            case 5:  // a curved path, filled and outlined
                pen(0x202020, 2);
                brush(a);
                check(dc_.beginPath() && dc_.moveTo({x + m, y + cell - m}) &&
                          dc_.bezierTo({x + m, y + m}, {x + cell - m, y + m + jitter(s)}, {x + cell - m, y + cell - m}) &&
                          dc_.lineTo({x + cell / 2, y + cell - m - 8}) && dc_.closeFigure() && dc_.endPath() &&
                          dc_.strokeAndFillPath(),
                      dc_, "curved path");
                break;
            case 6: {  // a square with a hole, both fill modes
                pen(0, 1, PenStyle::Null);
                brush(b);
                dc_.setFillMode((i / 8) % 2 ? FillMode::Winding : FillMode::Alternate);
                const double h = 10 + jitter(8);
                const PointD p[] = {{x + m, y + m},         {x + cell - m, y + m},         {x + cell - m, y + cell - m},
                                    {x + m, y + cell - m},  {x + m + h, y + m + h},        {x + m + h, y + cell - m - h},
                                    {x + cell - m - h, y + cell - m - h}, {x + cell - m - h, y + m + h}};
                const int counts[] = {4, 4};
                check(dc_.polyPolygon(p, counts), dc_, "polygon with a hole");
                dc_.setFillMode(FillMode::Alternate);
                break;
            }
            default: {  // a wide line with a dash pattern of its own
                pen(a, 3, PenStyle::User, {12, 6, 3, 6});
                const PointD l[] = {{x + m, y + m + jitter(s)}, {x + cell - m, y + cell - m}};
                check(dc_.polyline(l), dc_, "patterned line");
                break;
            }
        }
    }

    DeviceContext& dc_;
    const std::vector<Bitmap>& icons_;
};

// A printer of the benchmark's own, with the bitmaps its pages draw.
struct Printer : tessaly::bench::ScratchPrinter {
    std::vector<Bitmap> icons;
    std::vector<Bitmap> pictures;

    Printer() : ScratchPrinter("tessaly_bench_vector") {
        const int formats[] = {24, 8, 32};
        for (int k = 0; k < kIcons; ++k) icons.push_back(makeBitmap(48, 48, formats[k % 3], k));
        for (int n = 0; n < kPages; ++n) pictures.push_back(makeBitmap(200, 150, 24, 100 + n));
    }

    // Prints the document; the job directory.
    fs::path print() {
        tessaly::SpoolHost host;
        tessaly::bench::openVectorPrinter(host, kDpi);
        DeviceContext& dc = host.context();
        check(dc.startDoc(u"vector benchmark", 1), dc, "start document");
        PageDrawer drawer(dc, icons);
        for (int n = 0; n < kPages; ++n) drawer.page(n, pictures[size_t(n)]);
        check(dc.endDoc(), dc, "end document");
        host.close();
        return job();
    }
};

Printer& printer() {
    static Printer p;
    return p;
}

std::string markupOf(const fs::path& job) {
    std::ifstream in(job / "media.mml", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    (void)tessaly::unscramble(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size(), tessaly::jobKey());
    return bytes;
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

void BM_PrintVectorDocument(benchmark::State& state) {
    Printer& p = printer();
    fs::path job;
    for (auto _ : state) {
        state.PauseTiming();
        p.clearSpool();
        state.ResumeTiming();
        job = p.print();
    }
    uintmax_t bagBytes = 0;
    size_t bags = 0;
    for (const auto& entry : fs::directory_iterator(job)) {
        if (entry.path().extension() == ".bag") {
            bagBytes += entry.file_size();
            ++bags;
        }
    }
    const std::string markup = markupOf(job);
    // TESSALY_BENCH_MARKUP=FILE keeps the descrambled markup for a look.
    if (const char* keep = std::getenv("TESSALY_BENCH_MARKUP")) std::ofstream(keep, std::ios::binary) << markup;
    state.counters["pages_per_second"] =
        benchmark::Counter(double(kPages) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["markup_KB_per_page"] = double(fs::file_size(job / "media.mml")) / 1024.0 / kPages;
    state.counters["bags_KB_per_page"] = double(bagBytes) / 1024.0 / kPages;
    state.counters["bitmaps_stored"] = double(bags);
    state.counters["images_per_page"] = double(count(markup, "<Image ")) / kPages;
    state.counters["shapes_per_page"] = double(count(markup, "<Shape>")) / kPages;
    state.counters["masks_per_page"] = double(count(markup, "<Mask ")) / kPages;
    state.counters["peak_rss_mb"] = peakRssMegabytes();
    if (bags != size_t(kIcons + kPages)) state.SkipWithError("a repeated bitmap was stored twice");
}

void BM_ConvertVectorDocument(benchmark::State& state) {
    Printer& p = printer();
    p.clearSpool();
    const fs::path job = p.print();
    const fs::path movie = p.root / "movie.swf";
    if (!convertJobLoop(state, job, movie, kPages)) return;
    state.counters["movie_KB_per_page"] = double(fs::file_size(movie)) / 1024.0 / kPages;
    state.counters["peak_rss_mb"] = peakRssMegabytes();
}

}  // namespace

BENCHMARK(BM_PrintVectorDocument)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ConvertVectorDocument)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
