// Converting a text document with the raw markup conversion: 50 pages of
// about 3,000 characters each, in lines of words set in three system fonts
// (Arial, Arial bold, Liberation Serif italic), each line with its baseline
// position and some with explicit character positions, as a printed letter
// or report arrives. The counters give the DefineFont2 sizes read back from
// the movie and the movie size per page.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "composer/markup_movie.h"

namespace {

constexpr int kPages = 50;
constexpr int kCharsPerPage = 3000;

const char* const kWords[] = {
    "the", "of", "and", "to", "in", "a", "is", "that", "for", "it", "as", "was", "with", "be", "by",
    "on", "not", "he", "this", "are", "or", "his", "from", "at", "which", "but", "have", "an",
    "they", "you", "were", "their", "one", "all", "we", "can", "her", "has", "there", "been",
    "quarterly", "Report", "delivery", "invoice", "Amount", "schedule", "customers", "WAVE",
    "Jackdaws", "AVATAR", "Total:", "(2024)", "99.5%", "caf&#xe9;", "na&#xef;ve", "Stra&#xdf;e",
    "r&#xe9;sum&#xe9;", "\"quoted\"", "&amp;", "T&#xfc;rk", "Zoning", "fjords", "vexed", "Quick",
    "xylophone", "&#x2014;", "Lyon", "Warsaw", "Yield", "VAT", "12,345.67", "page", "Section", "4.2"};

struct FontChoice {
    const char* attributes;
    int averageAdvance;  // twips per character at the line's size, for explicit positions
};

const FontChoice kFonts[] = {
    {R"(font="Arial" size="220")", 110},
    {R"(font="Arial" style="bold" size="240")", 130},
    {R"(font="Liberation Serif" style="italic" size="220")", 100},
};

// One character of markup text (an entity counts as one).
size_t visibleLength(const std::string& word) {
    size_t n = 0;
    for (size_t i = 0; i < word.size(); ++i, ++n) {
        if (word[i] == '&') i = std::min(word.find(';', i), word.size() - 1);
    }
    return n;
}

std::string makeDocument() {
    std::mt19937 rng(4321);
    std::string doc = "<Media width=\"12240\" height=\"15840\">\n";
    const size_t wordCount = sizeof kWords / sizeof kWords[0];
    for (int p = 0; p < kPages; ++p) {
        doc += "<Frame>\n";
        int chars = 0;
        int line = 0;
        while (chars < kCharsPerPage) {
            // About 75 characters a line.
            std::string text;
            size_t length = 0;
            while (length < 70) {
                std::string word = kWords[rng() % wordCount];
                if (!text.empty()) {
                    text += ' ';
                    ++length;
                }
                length += visibleLength(word);
                text += word;
            }
            const FontChoice& font = kFonts[(line / 3 + rng() % 2) % 3];
            const int y = 1000 + line * 300;
            char head[256];
            std::snprintf(head, sizeof head, "<Text %s pos=\"1080,%d\"%s", font.attributes, y,
                          line % 7 == 3 ? " color=\"#1F3F7F\"" : "");
            doc += head;
            if (line % 4 == 1) {
                // Justified lines arrive with every character's position.
                doc += " charpos=\"";
                for (size_t i = 0; i < length; ++i) {
                    if (i) doc += ';';
                    doc += std::to_string(int(i) * font.averageAdvance + int(rng() % 7)) + ",0";
                }
                doc += '"';
            }
            doc += '>';
            doc += text;
            doc += "</Text>\n";
            chars += int(length);
            ++line;
        }
        doc += "</Frame>\n";
    }
    doc += "</Media>\n";
    return doc;
}

uint32_t readU32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// Body sizes of the movie's DefineFont2 tags and the number of DefineText and
// DefineText2 tags (top level; the movie is uncompressed).
std::vector<uint32_t> fontTagSizes(const std::vector<uint8_t>& movie, int* texts) {
    std::vector<uint32_t> sizes;
    *texts = 0;
    if (movie.size() < 9 || movie[0] != 'F') return sizes;
    const unsigned nbits = movie[8] >> 3;
    size_t at = 8 + (5 + 4 * nbits + 7) / 8 + 4;
    while (at + 2 <= movie.size()) {
        const unsigned word = movie[at] | unsigned(movie[at + 1]) << 8;
        uint32_t length = word & 0x3F;
        at += 2;
        if (length == 0x3F) {
            if (at + 4 > movie.size()) break;
            length = readU32(movie, at);
            at += 4;
        }
        if ((word >> 6) == 48) sizes.push_back(length);
        if ((word >> 6) == 11 || (word >> 6) == 33) ++*texts;
        if ((word >> 6) == 0) break;
        at += length;
    }
    return sizes;
}

void BM_ConvertTextDocument(benchmark::State& state) {
    const std::string doc = makeDocument();
    tessaly::MarkupMovieOptions options;
    options.jobDirectory = "./";
    std::vector<uint8_t> movie;
    for (auto _ : state) {
        std::string error;
        movie.clear();
        if (!tessaly::convertMarkupText(doc, options, &movie, &error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        benchmark::DoNotOptimize(movie.data());
    }
    int texts = 0;
    const std::vector<uint32_t> fonts = fontTagSizes(movie, &texts);
    uint32_t total = 0;
    for (size_t i = 0; i < fonts.size(); ++i) {
        total += fonts[i];
        state.counters["font" + std::to_string(i + 1) + "_KB"] = double(fonts[i]) / 1024.0;
    }
    state.counters["fonts"] = double(fonts.size());
    state.counters["texts"] = double(texts);
    state.counters["fonts_KB"] = double(total) / 1024.0;
    state.counters["markup_KB_per_page"] = double(doc.size()) / 1024.0 / kPages;
    state.counters["movie_KB_per_page"] = double(movie.size()) / 1024.0 / kPages;
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(doc.size()));
}
BENCHMARK(BM_ConvertTextDocument)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
