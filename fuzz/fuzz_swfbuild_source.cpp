// Arbitrary bytes as a movie source for tessaly-swfbuild and as action text
// for its assembler: either builds or says why, never more.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "swfbuild/action_assembler.h"
#include "swfbuild/movie_builder.h"

using namespace tessaly;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // Includes and action files are looked up beside a file that is not there.
    MovieBuilder builder;
    std::vector<uint8_t> movie;
    if (builder.build(text, "/nonexistent/fuzz/movie.xml", movie)) {
        if (movie.size() < 21 || movie[0] != 'F') __builtin_trap();
        const uint32_t length = movie[4] | movie[5] << 8 | movie[6] << 16 | uint32_t(movie[7]) << 24;
        if (length != movie.size()) __builtin_trap();
    } else if (builder.errorText().empty()) {
        __builtin_trap();
    }

    ActionAssembler assembler;
    std::vector<uint8_t> code{0xAA};
    if (assembler.assemble(text, 1, code)) {
        if (code.empty() || code[0] != 0xAA) __builtin_trap();
    } else if (assembler.errorText().rfind("line ", 0) != 0 || code.size() != 1) {
        __builtin_trap();
    }
    return 0;
}
