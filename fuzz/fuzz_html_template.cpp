// Arbitrary bytes as an HTML template, made into the page of a movie. A
// template without braces comes back unchanged; every page is at most the
// template with each placeholder replaced by the longest value.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/html_writer.h"

using namespace tessaly::app;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    MovieFacts movie;
    movie.docWidth = 612.5;
    movie.docHeight = size ? double(data[0]) : 0;  // a zero height too
    SavePreferences preferences;
    preferences.flashAlign = size > 1 ? data[1] % 4 : 0;
    std::string page;
    int row = 0;
    if (!makeHtmlPage(text, "movie file.swf", movie, preferences, page, &row)) {
        if (row < 1 || row > 8) __builtin_trap();
        return 0;
    }
    if (text.find_first_of("{}") == std::string_view::npos && page != text) __builtin_trap();
    // No value is longer than 400 characters (a ratio of an extreme size).
    if (page.size() > size * 401) __builtin_trap();
    (void)isHtmlTemplate(text);
    (void)htmlFileNames(text);
    return 0;
}
