// Interprets arbitrary markup into a movie: every element handler, the
// placement rules and the SWF writer on whatever the characters turn out to be.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "composer/markup_movie.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tessaly;
    MarkupMovieOptions options;
    // Relative src paths resolve into a directory that holds nothing, so the
    // run never depends on files around it.
    options.jobDirectory = "/nonexistent-tessaly-fuzz/";
    std::vector<uint8_t> movie;
    std::string error;
    convertMarkupText(std::string_view(reinterpret_cast<const char*>(data), size), options, &movie,
                      &error);
    return 0;
}
