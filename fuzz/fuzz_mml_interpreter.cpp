// Interprets arbitrary markup into a movie: every element handler, the
// placement rules and the SWF writer on whatever the characters turn out to be.

#include <stdlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "composer/markup_movie.h"

namespace {

// The job directory of every run: it holds one small picture, "p.bmp" (4 x 3,
// 24-bit), so Image elements reach their second pass; nothing else is there,
// so the run never depends on files around it. Removed when the process ends.
struct JobDirectory {
    std::string path;

    JobDirectory() {
        char pattern[] = "/tmp/fuzz-mml-XXXXXX";
        if (!::mkdtemp(pattern)) std::abort();
        path = std::string(pattern) + "/";
        const uint32_t stride = 12, size = 54 + stride * 3;
        std::vector<uint8_t> bmp(size, 0x80);
        auto put32 = [&](size_t at, uint32_t v) {
            for (int i = 0; i < 4; ++i) bmp[at + size_t(i)] = uint8_t(v >> (8 * i));
        };
        std::fill(bmp.begin(), bmp.begin() + 54, 0);
        bmp[0] = 'B';
        bmp[1] = 'M';
        put32(2, size);
        put32(10, 54);
        put32(14, 40);
        put32(18, 4);
        put32(22, 3);
        bmp[26] = 1;
        bmp[28] = 24;
        std::FILE* f = std::fopen((path + "p.bmp").c_str(), "wb");
        if (!f || std::fwrite(bmp.data(), 1, bmp.size(), f) != bmp.size()) std::abort();
        std::fclose(f);
    }
    ~JobDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tessaly;
    static const JobDirectory job;
    MarkupMovieOptions options;
    options.jobDirectory = job.path;
    std::vector<uint8_t> movie;
    std::string error;
    // Results are not checked: the target only asks that every input is handled safely.
    (void)convertMarkupText(std::string_view(reinterpret_cast<const char*>(data), size), options,
                            &movie, &error);
    return 0;
}
