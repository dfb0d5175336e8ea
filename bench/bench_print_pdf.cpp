// Printing PDFs end to end, as tessaly-print does: the PDF front end plays
// each page into the spool host's device context over the real driver at
// the printer's default resolution, and the job is converted into the
// finished movie with the converter's own code.
//
// The document is made at run time with cairo: 100 Letter pages of a
// manual's density (about 3,500 characters a page in two embedded Type 1
// fonts, Nimbus Roman for the body and Nimbus Sans Bold for the headings), a
// vector figure on four pages of five (outlined and filled shapes, curves,
// dashed lines, a clip), and a picture on every fifth page.
//
// BM_PrintPdf100Pages: one iteration prints the 100 pages and converts the
//   job. Counters: pages per second end to end, the print and the
//   conversion's share, movie bytes per page, peak RSS, and the resident
//   memory after 50 and after 100 printed pages (equal when memory is flat in
//   the number of pages).
// BM_PrintPdfExample: the same road for each PDF shipped in examples/pdf,
//   and for the whole TeX manual when it is installed.
// Run each case in its own process (--benchmark_filter) to see its own peak.
// The printer's settings are vector pages without previews (previews need
// every page's raster). TESSALY_GDI_IMMEDIATE=1 renders every call at once,
// as before deferred drawing; TESSALY_BENCH_KEEP=DIR keeps the benchmark's
// PDF and the last movies there.

#include <benchmark/benchmark.h>
#include <cairo-pdf.h>
#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "pdf/pdf_document.h"
#include "platform/spool_host.h"
#include "print_bench.h"
#include "swf/swf_compress.h"

namespace fs = std::filesystem;

namespace {

using tessaly::bench::peakRssMegabytes;
using tessaly::bench::setupFailed;

constexpr int kPages = 100;
constexpr const char* kBodyFont = "/usr/share/fonts/type1/urw-base35/NimbusRoman-Regular.t1";
constexpr const char* kHeadingFont = "/usr/share/fonts/type1/urw-base35/NimbusSans-Bold.t1";

const std::array<const char*, 32> kWords = {
    "the",      "structure", "element",  "value",   "encoding", "decoder", "tag",     "length",
    "function", "returns",   "pointer",  "buffer",  "type",     "module",  "string",  "integer",
    "optional", "default",   "sequence", "choice",  "of",       "and",     "is",      "a",
    "when",     "error",     "node",     "library", "DER",      "ASN.1",   "parser",  "field"};

// A picture of its own for the page: smooth bands with some noise, as a
// photograph compresses.
cairo_surface_t* picture(int n) {
    const int w = 240, h = 160;
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    cairo_surface_flush(image);
    unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    std::mt19937 rng{uint32_t(n)};
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
        for (int x = 0; x < w; ++x) {
            const int noise = int(rng() % 12);
            const int r = (x * 255 / w + noise + n * 17) & 0xFF;
            const int g = (y * 255 / h + noise) & 0xFF;
            const int b = (128 + int(100 * std::sin((x + y + n) / 23.0)) + noise) & 0xFF;
            row[x] = uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
        }
    }
    cairo_surface_mark_dirty(image);
    return image;
}

void figure(cairo_t* cr, double x, double y, int n) {
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_set_line_width(cr, 1);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_rectangle(cr, 0, 0, 480, 150);
    cairo_stroke(cr);
    // Boxes and arrows of a diagram.
    for (int i = 0; i < 4; ++i) {
        const double bx = 20 + i * 118;
        cairo_rectangle(cr, bx, 20, 90, 40);
        cairo_set_source_rgb(cr, 0.85, 0.9, 1.0 - 0.1 * ((n + i) % 3));
        cairo_fill_preserve(cr);
        cairo_set_source_rgb(cr, 0.1, 0.2, 0.5);
        cairo_stroke(cr);
        if (i < 3) {
            cairo_move_to(cr, bx + 90, 40);
            cairo_line_to(cr, bx + 118, 40);
            cairo_stroke(cr);
            cairo_move_to(cr, bx + 118, 40);
            cairo_line_to(cr, bx + 112, 36);
            cairo_line_to(cr, bx + 112, 44);
            cairo_close_path(cr);
            cairo_fill(cr);
        }
    }
    // A curve of a plot, its axes and a dashed grid.
    cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
    const double dash[] = {3, 2};
    cairo_set_dash(cr, dash, 2, 0);
    for (int i = 0; i < 4; ++i) {
        cairo_move_to(cr, 20, 80 + i * 18);
        cairo_line_to(cr, 460, 80 + i * 18);
    }
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0);
    cairo_set_line_width(cr, 2);
    cairo_set_source_rgb(cr, 0.75, 0.2, 0.1);
    cairo_move_to(cr, 20, 140);
    for (int i = 0; i < 4; ++i) {
        const double x0 = 20 + i * 110;
        cairo_curve_to(cr, x0 + 40, 80 - (n % 5) * 4, x0 + 70, 150, x0 + 110, 90 + (i * 7 + n) % 40);
    }
    cairo_stroke(cr);
    // A clipped disc.
    cairo_rectangle(cr, 400, 75, 70, 70);
    cairo_clip(cr);
    cairo_arc(cr, 440, 120, 40, 0, 2 * M_PI);
    cairo_set_source_rgb(cr, 0.2, 0.6, 0.3);
    cairo_fill(cr);
    cairo_restore(cr);
}

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

// The benchmark's PDF, made once per process.
const std::string& benchmarkPdf() {
    static const std::string pdf = [] {
        FT_Library library = nullptr;
        if (FT_Init_FreeType(&library) != 0) setupFailed("FreeType");
        FT_Face body = nullptr, heading = nullptr;
        if (FT_New_Face(library, kBodyFont, 0, &body) != 0 || FT_New_Face(library, kHeadingFont, 0, &heading) != 0)
            setupFailed(std::string("the fonts ") + kBodyFont + " and " + kHeadingFont + " are needed");
        cairo_font_face_t* bodyFace = cairo_ft_font_face_create_for_ft_face(body, 0);
        cairo_font_face_t* headingFace = cairo_ft_font_face_create_for_ft_face(heading, 0);
        std::string bytes;
        cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(appendBytes, &bytes, 612, 792);
        cairo_t* cr = cairo_create(surface);
        std::mt19937 rng(1234);
        for (int n = 0; n < kPages; ++n) {
            double y = 72;
            cairo_set_source_rgb(cr, 0, 0, 0);
            cairo_set_font_face(cr, headingFace);
            cairo_set_font_size(cr, 14);
            cairo_move_to(cr, 72, y);
            const std::string title = std::to_string(n / 5 + 1) + "." + std::to_string(n % 5 + 1) + " Section " +
                                      kWords[size_t(n) % kWords.size()];
            cairo_show_text(cr, title.c_str());
            y += 24;
            cairo_set_font_face(cr, bodyFace);
            cairo_set_font_size(cr, 10);
            const bool withFigure = n % 5 != 4, withPicture = n % 5 == 2;
            const double figureTop = withFigure ? 430 : 1000, pictureTop = withPicture ? 600 : 1000;
            while (y < 720) {
                if (y > figureTop - 12 && y < figureTop + 160) {
                    figure(cr, 66, figureTop, n);
                    y = figureTop + 172;
                    continue;
                }
                if (y > pictureTop - 12 && y < pictureTop + 120) {
                    cairo_surface_t* image = picture(n);
                    cairo_save(cr);
                    cairo_translate(cr, 186, pictureTop);
                    cairo_scale(cr, 0.75, 0.75);
                    cairo_set_source_surface(cr, image, 0, 0);
                    cairo_paint(cr);
                    cairo_restore(cr);
                    cairo_surface_destroy(image);
                    y = pictureTop + 132;
                    continue;
                }
                std::string line;
                while (line.size() < 92) {
                    if (!line.empty()) line += ' ';
                    line += kWords[rng() % kWords.size()];
                }
                cairo_move_to(cr, 72, y);
                cairo_show_text(cr, line.c_str());
                y += 12;
            }
            cairo_set_font_size(cr, 9);
            cairo_move_to(cr, 300, 760);
            cairo_show_text(cr, std::to_string(n + 1).c_str());
            cairo_show_page(cr);
        }
        cairo_destroy(cr);
        cairo_surface_finish(surface);
        if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) setupFailed("cairo could not write the PDF");
        cairo_surface_destroy(surface);
        cairo_font_face_destroy(bodyFace);
        cairo_font_face_destroy(headingFace);
        FT_Done_Face(body);
        FT_Done_Face(heading);
        FT_Done_FreeType(library);
        return bytes;
    }();
    return pdf;
}

// The resident memory now, in megabytes.
double residentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Tenths of a millimetre of a length in points, as tessaly-print rounds it.
int tenths(double pt) { return std::clamp(int(std::lround(pt / 72 * 254)), 1, 32767); }

struct Printer : tessaly::bench::ScratchPrinter {
    Printer() : ScratchPrinter("tessaly_bench_pdf") {}
    int dpi = 0;  // the printer's resolution, as the last print found it

    // Prints every page of the document at the printer's default resolution,
    // on paper of each page's own size; the job directory. `afterPage` is
    // called with the number of pages printed so far.
    template <class AfterPage>
    fs::path print(tessaly::pdf::Document& document, AfterPage&& afterPage) {
        clearSpool();
        const tessaly::pdf::PageSize first = document.pageSize(1);
        int width = tenths(first.widthPt), length = tenths(first.heightPt);
        tessaly::SpoolHost host;
        tessaly::SpoolOptions options;
        options.driverPath = std::string(TESSALY_LIB_DIR) + "/libpagesmith.so";
        options.request.paperWidthTenths = std::min(width, length);
        options.request.paperLengthTenths = std::max(width, length);
        options.request.orientation = width > length ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
        options.request.imagePages = false;
        std::string error;
        if (!host.open(options, &error)) setupFailed(error);
        dpi = host.device().dpiY();
        tessaly::gdi::DeviceContext& dc = host.context();
        if (!dc.startDoc(u"pdf benchmark", 1)) setupFailed("start document: " + dc.errorText());
        for (int p = 1; p <= document.pageCount(); ++p) {
            const tessaly::pdf::PageSize size = document.pageSize(p);
            const int w = tenths(size.widthPt), l = tenths(size.heightPt);
            if (std::abs(w - width) > 5 || std::abs(l - length) > 5) {
                if (!host.resetPaper(w, l, &error)) setupFailed("page " + std::to_string(p) + ": " + error);
                width = w;
                length = l;
            }
            if (!document.playPage(p, host.device(), dc, &error)) setupFailed(error);
            afterPage(p);
        }
        if (!dc.endDoc()) setupFailed("end document: " + dc.errorText());
        host.close();
        return job();
    }
};

Printer& printer() {
    static Printer p;
    return p;
}

// One print and conversion of `document` per iteration.
void printAndConvert(benchmark::State& state, tessaly::pdf::Document& document) {
    Printer& pr = printer();
    const int pages = document.pageCount();
    const fs::path movie = pr.root / "movie.swf";
    double printSeconds = 0, convertSeconds = 0, atHalf = 0, atEnd = 0;
    uintmax_t movieBytes = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const fs::path job = pr.print(document, [&](int printed) {
            if (printed == (pages + 1) / 2) atHalf = residentMegabytes();
            if (printed == pages) atEnd = residentMegabytes();
        });
        const auto printed = std::chrono::steady_clock::now();
        tessaly::ConversionJob conversion;
        (void)conversion.setBaseDirectory(std::string(TESSALY_SOURCE_DIR) + "/data/");
        const std::string temp = movie.string() + ".part";
        if (!conversion.openJob(job.string() + "/") || !conversion.convert(temp) ||
            !tessaly::ConversionJob::finishMovie(conversion.settings().interfaceSettings, temp, movie.string(),
                                                 conversion.compressed)) {
            state.SkipWithError(conversion.errorText().c_str());
            return;
        }
        const auto converted = std::chrono::steady_clock::now();
        printSeconds += std::chrono::duration<double>(printed - start).count();
        convertSeconds += std::chrono::duration<double>(converted - printed).count();
        movieBytes = fs::file_size(movie);
    }
    const double n = double(state.iterations());
    state.counters["pages_per_second"] = benchmark::Counter(double(pages) * n, benchmark::Counter::kIsRate);
    state.counters["print_s"] = printSeconds / n;
    state.counters["convert_s"] = convertSeconds / n;
    state.counters["movie_bytes_per_page"] = double(movieBytes) / pages;
    // The movie as the finishing step leaves it when the interface movie is
    // compressed, as the default viewer is: deflated at level 9.
    const fs::path deflated = pr.root / "deflated.swf";
    fs::copy_file(movie, deflated, fs::copy_options::overwrite_existing);
    const int64_t deflatedBytes = tessaly::compressSwfFile(deflated.string(), 9);
    state.counters["deflated_bytes_per_page"] = double(deflatedBytes > 0 ? deflatedBytes : int64_t(movieBytes)) / pages;
    state.counters["dpi"] = pr.dpi;
    state.counters["peak_rss_mb"] = peakRssMegabytes();
    state.counters["rss_mb_half"] = atHalf;
    state.counters["rss_mb_end"] = atEnd;
    // TESSALY_BENCH_KEEP=DIR keeps the last movie there, to look into.
    if (const char* keep = std::getenv("TESSALY_BENCH_KEEP")) {
        std::error_code ec;
        fs::copy_file(movie, fs::path(keep) / ("movie-" + std::to_string(pages) + ".swf"),
                      fs::copy_options::overwrite_existing, ec);
    }
}

void BM_PrintPdf100Pages(benchmark::State& state) {
    const std::string& bytes = benchmarkPdf();
    std::string error;
    auto document = tessaly::pdf::Document::openBytes(
        {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, "benchmark.pdf", std::nullopt, &error);
    if (!document) setupFailed(error);
    if (document->pageCount() != kPages) setupFailed("the benchmark PDF has the wrong page count");
    state.counters["pdf_kb"] = double(bytes.size()) / 1024;
    if (const char* keep = std::getenv("TESSALY_BENCH_KEEP")) {
        std::ofstream(fs::path(keep) / "benchmark.pdf", std::ios::binary) << bytes;
    }
    printAndConvert(state, *document);
}
BENCHMARK(BM_PrintPdf100Pages)->Unit(benchmark::kMillisecond)->UseRealTime();

// The shipped PDFs, and the whole TeX manual that the first of them is taken
// from when Debian's libtasn1-doc has installed it (36 pages in Type 1 fonts:
// the kind of document the peer's figures are given for).
const std::array<const char*, 4> kExamples = {"libtasn1-manual.pdf", "cups-testpage.pdf", "figures.pdf",
                                              "/usr/share/doc/libtasn1-doc/libtasn1.pdf"};

void BM_PrintPdfExample(benchmark::State& state) {
    const std::string name = kExamples[size_t(state.range(0))];
    const std::string path = name[0] == '/' ? name : std::string(TESSALY_SOURCE_DIR) + "/examples/pdf/" + name;
    if (!fs::exists(path)) {
        state.SkipWithError((path + " is not installed").c_str());
        return;
    }
    std::string error;
    auto document = tessaly::pdf::Document::open(path, std::nullopt, &error);
    if (!document) setupFailed(error);
    state.SetLabel(fs::path(name).filename().string());
    printAndConvert(state, *document);
}
BENCHMARK(BM_PrintPdfExample)->DenseRange(0, int(kExamples.size()) - 1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
