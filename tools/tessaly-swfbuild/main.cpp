// tessaly-swfbuild: builds an SWF movie (an interface or progress movie) from
// its XML source.

#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "support/atomic_file.h"
#include "swfbuild/movie_builder.h"

namespace {

const char kUsage[] =
    "Usage: tessaly-swfbuild SOURCE.xml -o OUT.swf\n"
    "\n"
    "Builds the movie that SOURCE.xml describes (shapes, sprites, buttons, text\n"
    "fields, placements, labels, exports and assembled actions). Included files\n"
    "and action files are found beside the file that names them. OUT.swf is\n"
    "replaced only when the whole movie could be built.\n"
    "\n"
    "  -o OUT.swf   the movie to write\n"
    "  -h, --help   show this help\n";

}  // namespace

int main(int argc, char** argv) {
    std::string input, output;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!std::strcmp(arg, "-h") || !std::strcmp(arg, "--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (!std::strcmp(arg, "-o") && i + 1 < argc) {
            output = argv[++i];
        } else if (arg[0] != '-' && input.empty()) {
            input = arg;
        } else {
            std::fprintf(stderr, "tessaly-swfbuild: unknown or incomplete argument '%s'\n%s", arg, kUsage);
            return 1;
        }
    }
    if (input.empty() || output.empty()) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    tessaly::MovieBuilder builder;
    std::vector<uint8_t> movie;
    if (!builder.buildFile(input, movie)) {
        std::fprintf(stderr, "tessaly-swfbuild: %s\n", builder.errorText().c_str());
        return 1;
    }
    if (!tessaly::writeFileAtomically(output, {std::span<const uint8_t>(movie)})) {
        std::fprintf(stderr, "tessaly-swfbuild: %s: cannot be written\n", output.c_str());
        return 1;
    }
    return 0;
}
