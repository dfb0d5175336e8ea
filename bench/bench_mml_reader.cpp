// Scanning a large job index: every tag visited in order, with the attribute
// reads the interpreter makes for each kind of element.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "composer/mml_reader.h"
#include "support/text.h"

namespace tessaly {
namespace {

std::string makeJobIndex(size_t targetBytes) {
    std::string doc;
    doc.reserve(targetBytes + 4096);
    doc += "<Media width=\"12240\" height=\"15840\">\n";
    char buf[512];
    unsigned seed = 12345;
    auto next = [&seed](unsigned range) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % range;
    };
    int page = 0;
    while (doc.size() < targetBytes) {
        std::snprintf(buf, sizeof buf, "<Frame width=\"12240\" height=\"15840\" alt=\"Page %d\">\n", ++page);
        doc += buf;
        for (int item = 0; item < 60; ++item) {
            const unsigned x = next(12000), y = next(15000);
            std::snprintf(buf, sizeof buf,
                          "<Shape depth=\"%d\">\n<LineStyle color=\"#%06X\" width=\"%u\"/>\n"
                          "<FillColor side=\"left\" color=\"#%06X\"/>\n<MoveTo pos=\"%u,%u\"/>\n"
                          "<LinexTo path=\"%u,%u;%u,%u;%u,%u;%u,%u\"/>\n"
                          "<Rect pos=\"%u,%u\" size=\"%u,%u\" order=\"clockwise\"/>\n</Shape>\n",
                          item * 2 + 1, next(0xFFFFFF), 10 + next(40), next(0xFFFFFF), x, y, x + 200, y,
                          x + 200, y + 300, x, y + 300, x, y, x + 20, y + 20, 50 + next(100), 50 + next(100));
            doc += buf;
            std::snprintf(buf, sizeof buf,
                          "<Text font=\"Arial\" size=\"%u\" style=\"bold\" color=\"#%06X\" depth=\"%d\" "
                          "pos=\"%u,%u\" charpos=\"0,120,240,360,480\">Hello &amp; world %d</Text>\n",
                          200 + next(100), next(0xFFFFFF), item * 2 + 2, x, y, item);
            doc += buf;
        }
        doc += "</Frame>\n";
    }
    doc += "</Media>\n";
    return doc;
}

const std::string& jobIndex() {
    static const std::string doc = makeJobIndex(20u << 20);
    return doc;
}

void BM_ScanJobIndex(benchmark::State& state) {
    MmlReader reader;
    if (!reader.loadText(jobIndex())) {
        state.SkipWithError("cannot load");
        return;
    }
    size_t checksum = 0;
    for (auto _ : state) {
        reader.rewind();
        while (reader.nextElement()) {
            const char* name = reader.currentName();
            double a = 0, b = 0;
            int32_t i = 0;
            MmlColor c;
            if (equalNoCase(name, "Shape")) {
                checksum += size_t(reader.attributeInteger("depth", &i));
                checksum += reader.attribute("src") != nullptr;
                checksum += reader.attribute("id") != nullptr;
                checksum += reader.attribute("matrix") != nullptr;
            } else if (equalNoCase(name, "LineStyle")) {
                checksum += size_t(reader.attributeColor("color", &c) + reader.attributeReal("width", &a));
            } else if (equalNoCase(name, "FillColor")) {
                const char* side = reader.attribute("side");
                checksum += side ? side[0] : 0;
                checksum += size_t(reader.attributeColor("color", &c));
            } else if (equalNoCase(name, "MoveTo")) {
                checksum += size_t(reader.attributePair("pos", &a, &b));
            } else if (equalNoCase(name, "LinexTo")) {
                const char* path = reader.attribute("path");
                checksum += path ? reader.valueLength() : 0;
            } else if (equalNoCase(name, "Rect")) {
                checksum += size_t(reader.attributePair("pos", &a, &b) + reader.attributePair("size", &a, &b));
                checksum += reader.attribute("pos1") != nullptr;
                checksum += reader.attribute("order") != nullptr;
            } else if (equalNoCase(name, "Text")) {
                checksum += reader.attribute("font") != nullptr;
                checksum += size_t(reader.attributeReal("size", &a));
                checksum += reader.attribute("style") != nullptr;
                checksum += size_t(reader.attributeColor("color", &c));
                checksum += reader.attribute("charpos") != nullptr;
                checksum += size_t(reader.attributePair("pos", &a, &b));
                checksum += reader.attribute("depth") != nullptr;
                const char16_t* text = reader.attributeWide(nullptr);
                checksum += text ? reader.valueLength() : 0;
            } else if (equalNoCase(name, "Frame")) {
                checksum += size_t(reader.attributeReal("width", &a) + reader.attributeReal("height", &b));
            }
        }
    }
    benchmark::DoNotOptimize(checksum);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(reader.length()));
}
BENCHMARK(BM_ScanJobIndex)->Unit(benchmark::kMillisecond);

void BM_FindNamedElements(benchmark::State& state) {
    MmlReader reader;
    if (!reader.loadText(jobIndex())) {
        state.SkipWithError("cannot load");
        return;
    }
    size_t count = 0;
    for (auto _ : state) {
        reader.rewind();
        while (reader.nextElement("Frame")) ++count;
    }
    benchmark::DoNotOptimize(count);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(reader.length()));
}
BENCHMARK(BM_FindNamedElements)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessaly
