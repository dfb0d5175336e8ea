// Converting a large vector document with the raw markup conversion: 100
// pages of about 2,000 path elements each (lines, curves, fills, masks and
// movie clips), about 20 MB of markup.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "composer/markup_movie.h"

namespace {

std::string makeDocument(int pages, int elementsPerPage) {
    std::mt19937 rng(1234);
    auto coord = [&](int limit) { return int(rng() % unsigned(limit)); };
    // n random points "x,y;x,y;..." on a letter-size page.
    auto points = [&](int n) {
        std::string list;
        for (int i = 0; i < n; ++i) {
            if (i) list += ';';
            list += std::to_string(coord(12000)) + ',' + std::to_string(coord(15000));
        }
        return list;
    };
    // n points that wander from a random start, as the outlines of real drawings do.
    auto nearbyPoints = [&](int n) {
        std::string list;
        int x = coord(12000), y = coord(15000);
        for (int i = 0; i < n; ++i) {
            if (i) list += ';';
            x = std::clamp(x + coord(3000) - 1500, 0, 12000);
            y = std::clamp(y + coord(3000) - 1500, 0, 15000);
            list += std::to_string(x) + ',' + std::to_string(y);
        }
        return list;
    };
    std::string doc = "<Media width=\"12240\" height=\"15840\">\n";
    char buf[512];
    for (int p = 0; p < pages; ++p) {
        doc += "<Frame>\n";
        int elements = 0;
        int shape = 0;
        while (elements < elementsPerPage) {
            const bool masked = shape % 10 == 0;
            const bool clip = shape % 15 == 7;
            if (masked) {
                std::snprintf(buf, sizeof buf,
                              "<Shape id=\"m%d_%d\" flags=\"noplace\"><FillColor side=\"right\" "
                              "color=\"#000000\"/><Rect pos=\"%d,%d\" size=\"%d,%d\"/></Shape>\n"
                              "<Mask id=\"m%d_%d\">\n",
                              p, shape, coord(6000), coord(8000), 500 + coord(5000),
                              500 + coord(6000), p, shape);
                doc += buf;
                elements += 3;
            }
            if (clip) doc += "<MovieClip>\n";
            std::snprintf(buf, sizeof buf,
                          "<Shape><LineStyle color=\"#%06X\" width=\"%d\"/>"
                          "<FillColor side=\"right\" color=\"#%06X\"/>\n",
                          unsigned(rng() & 0xFFFFFF), 10 + coord(60), unsigned(rng() & 0xFFFFFF));
            doc += buf;
            elements += 2;
            for (int e = 0; e < 40; ++e, ++elements) {
                switch (e % 5) {
                    case 0: doc += "<MoveTo pos=\"" + points(1) + "\"/>"; break;
                    case 1: doc += "<LinexTo path=\"" + points(16) + "\"/>"; break;
                    case 2: doc += "<CurvexTo path=\"" + nearbyPoints(8) + "\"/>"; break;
                    case 3: doc += "<CurvexTo type=\"bezier3\" path=\"" + nearbyPoints(12) + "\"/>"; break;
                    default:
                        std::snprintf(buf, sizeof buf, "<Rect pos=\"%d,%d\" size=\"%d,%d\"/>",
                                      coord(12000), coord(15000), 1 + coord(2000), 1 + coord(2000));
                        doc += buf;
                        break;
                }
                doc += '\n';
            }
            doc += "</Shape>\n";
            if (clip) doc += "</MovieClip>\n";
            if (masked) doc += "</Mask>\n";
            ++shape;
        }
        doc += "</Frame>\n";
    }
    doc += "</Media>\n";
    return doc;
}

void BM_ConvertVectorDocument(benchmark::State& state) {
    const std::string doc = makeDocument(100, 2000);
    tessaly::MarkupMovieOptions options;
    options.jobDirectory = "./";
    size_t movieSize = 0;
    for (auto _ : state) {
        std::vector<uint8_t> movie;
        std::string error;
        if (!tessaly::convertMarkupText(doc, options, &movie, &error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        movieSize = movie.size();
        benchmark::DoNotOptimize(movie.data());
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(doc.size()));
    state.counters["markup_MB"] = double(doc.size()) / 1e6;
    state.counters["movie_MB"] = double(movieSize) / 1e6;
    state.counters["peak_RSS_MB"] = double(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_ConvertVectorDocument)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
