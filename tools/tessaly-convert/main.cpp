// tessaly-convert: markup to SWF movie from the command line.

#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "composer/markup_movie.h"
#include "support/atomic_file.h"

namespace {

const char kUsage[] =
    "Usage: tessaly-convert --raw PAGE.mml -o OUT.swf [--dump]\n"
    "\n"
    "Converts one markup document, as it stands, into an SWF movie.\n"
    "\n"
    "  --raw PAGE.mml   the markup document to convert; relative src paths in it\n"
    "                   resolve against its directory\n"
    "  -o OUT.swf       the movie to write (replaced only when the conversion succeeds)\n"
    "  --dump           print the movie's characters and timeline to standard output\n"
    "  -h, --help       show this help\n";

int fail(const std::string& file, const std::string& reason) {
    std::fprintf(stderr, "tessaly-convert: %s: %s\n", file.c_str(), reason.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string input, output;
    bool dump = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!std::strcmp(arg, "-h") || !std::strcmp(arg, "--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (!std::strcmp(arg, "--raw") && i + 1 < argc) {
            input = argv[++i];
        } else if (!std::strcmp(arg, "-o") && i + 1 < argc) {
            output = argv[++i];
        } else if (!std::strcmp(arg, "--dump")) {
            dump = true;
        } else {
            std::fprintf(stderr, "tessaly-convert: unknown or incomplete argument '%s'\n%s", arg,
                         kUsage);
            return 1;
        }
    }
    if (input.empty() || (output.empty() && !dump)) {
        std::fputs(kUsage, stderr);
        return 1;
    }

    tessaly::MarkupMovieOptions options;
    if (dump) options.dump = stdout;
    std::vector<uint8_t> movie;
    std::string error;
    if (!tessaly::convertMarkupFile(input, options, &movie, &error)) return fail(input, error);
    if (!output.empty() &&
        !tessaly::writeFileAtomically(output, {std::span<const uint8_t>(movie)})) {
        return fail(output, "cannot write the movie");
    }
    return 0;
}
