// A 100-page print job converted end to end, as the application does: the
// scrambled job index and settings read, pages composed with the page
// layout, interpreted and encoded, and the movie finished.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "composer/conversion_job.h"
#include "image/bag_writer.h"
#include "image/image.h"
#include "support/scrambler.h"

namespace fs = std::filesystem;

namespace {

const char* kWords[] = {"quarterly", "report", "revenue", "grew", "across", "all", "regions", "while",
                        "costs", "held", "steady", "and", "the", "outlook", "remains", "positive"};

[[noreturn]] void setupFailed(const char* what) {
    std::fprintf(stderr, "benchmark set-up: %s\n", what);
    std::exit(1);
}

// Writes the job directory once: 100 letter pages of text lines, shapes and a picture.
fs::path makeJob() {
    const fs::path dir = fs::temp_directory_path() / ("tessaly_bench_job_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::mt19937 rng(42);
    for (int i = 0; i < 10; ++i) {
        tessaly::Image image;
        if (!image.createRgb(320, 240)) setupFailed("cannot create a picture");
        for (uint32_t y = 0; y < 240; ++y) {
            uint8_t* row = image.rgbRow(y);
            for (uint32_t x = 0; x < 320; ++x) {
                row[3 * x] = uint8_t(128 + 100 * std::sin((x + i * 30) / 20.0));
                row[3 * x + 1] = uint8_t(128 + 100 * std::cos(y / 15.0));
                row[3 * x + 2] = uint8_t((x + y + i * 10) & 0xFF);
            }
        }
        if (!tessaly::writeBagFile((dir / ("i" + std::to_string(i) + ".bag")).string(), image)) {
            setupFailed("cannot write a bag file");
        }
    }
    std::string index = "<Media width=\"12240\" height=\"15840\">\n";
    char buf[256];
    for (int p = 0; p < 100; ++p) {
        index += "<Frame>\n";
        std::snprintf(buf, sizeof buf,
                      "<Shape><FillColor side=\"right\" color=\"#1F4E79\"/><Rect pos=\"0,0\" size=\"12240,1200\"/></Shape>\n"
                      "<Text pos=\"1200,900\" font=\"Arial\" style=\"bold\" size=\"480\" color=\"#FFFFFF\">Page %d</Text>\n",
                      p + 1);
        index += buf;
        for (int line = 0; line < 40; ++line) {
            std::string text;
            for (int w = 0; w < 12; ++w) text += std::string(kWords[rng() % 16]) + " ";
            std::snprintf(buf, sizeof buf, "<Text pos=\"1200,%d\" font=\"Arial\" size=\"240\">", 2000 + line * 300);
            index += buf + text + "</Text>\n";
        }
        std::snprintf(buf, sizeof buf, "<Image src=\"i%d.bag\" size=\"4800,3600\" pos=\"6600,%d\"/>\n", p % 10,
                      2000 + int(rng() % 8000));
        index += buf;
        for (int s = 0; s < 20; ++s) {
            std::snprintf(buf, sizeof buf,
                          "<Shape><LineStyle width=\"20\" color=\"#444444\"/><FillColor side=\"right\" color=\"#%06X\"/>"
                          "<Curvex type=\"bezier3\" path=\"%d,%d;%d,%d;%d,%d;%d,%d\"/><LinexTo path=\"%d,%d\"/></Shape>\n",
                          unsigned(rng() & 0xFFFFFF), 1000 + s * 500, 14000, 1200 + s * 500, 13000, 1400 + s * 500,
                          15000, 1600 + s * 500, 14000, 1000 + s * 500, 14000);
            index += buf;
        }
        index += "</Frame>\n";
    }
    index += "</Media>\n";
    tessaly::scramble(reinterpret_cast<uint8_t*>(index.data()), index.size(), tessaly::jobKey());
    std::ofstream(dir / "media.mml", std::ios::binary) << index;
    std::ofstream(dir / "media.settings") << "<Settings>\n  <Param name=\"_mechanics\" value=\"vector,frame,\"/>\n"
                                             "  <Param name=\"Layout\" value=\"Medium border\"/>\n"
                                             "  <Param name=\"ImageEncodeFlags\" value=\"zlib,jpeg(80)\"/>\n</Settings>\n";
    return dir;
}

void BM_ConvertJob(benchmark::State& state) {
    const fs::path dir = makeJob();
    setenv("TESSALY_REGISTRY_ROOT", (dir / "registry").c_str(), 1);
    const std::string base = std::string(TESSALY_SOURCE_DIR) + "/data/";
    const std::string temp = (dir / "movie.part").string(), movie = (dir / "movie.swf").string();
    for (auto _ : state) {
        tessaly::ConversionJob job;
        job.setBaseDirectory(base);
        if (!job.openJob(dir.string()) || !job.convert(temp) ||
            !tessaly::ConversionJob::finishMovie(job.settings().interfaceSettings, temp, movie, job.compressed)) {
            state.SkipWithError(job.errorText().c_str());
            break;
        }
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["movie_KB_per_page"] = double(fs::file_size(movie)) / 1024.0 / 100.0;
    state.counters["markup_MB"] = double(fs::file_size(dir / "media.mml")) / 1e6;
    state.counters["peak_RSS_MB"] = double(usage.ru_maxrss) / 1024.0;
    fs::remove_all(dir);
}
BENCHMARK(BM_ConvertJob)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
