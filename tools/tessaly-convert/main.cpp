// tessaly-convert: markup to SWF movie from the command line.

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "composer/markup_movie.h"
#include "support/atomic_file.h"
#include "tool_common.h"

namespace fs = std::filesystem;

namespace {

int fail(const std::string& file, const std::string& reason) {
    std::fprintf(stderr, "tessaly-convert: %s: %s\n", file.c_str(), reason.c_str());
    return 1;
}

const char kUsage[] =
    "Usage: tessaly-convert JOB_DIR -o OUT.swf [--base DIR]\n"
    "       tessaly-convert --raw PAGE.mml -o OUT.swf [--dump]\n"
    "\n"
    "Converts a print job directory (media.mml, media.settings, page images and\n"
    "font files) into the finished movie, or one markup document, as it stands,\n"
    "into an SWF movie.\n"
    "\n"
    "  JOB_DIR          the job directory to convert; it is only read\n"
    "  --base DIR       the data directory (settings, page layouts, interfaces);\n"
    "                   by default the one that belongs to this program\n"
    "  --raw PAGE.mml   the markup document to convert; relative src paths in it\n"
    "                   resolve against its directory\n"
    "  -o OUT.swf       the movie to write (replaced only when the conversion succeeds)\n"
    "  --dump           with --raw: print the movie's characters and timeline\n"
    "  -h, --help       show this help\n";

// Converts a job directory into OUT.
int convertJob(const std::string& jobDir, const std::string& output, const std::string& base) {
    std::string failedPath, reason;
    if (!tessaly::tools::convertJobToMovie(jobDir, output, base, &failedPath, &reason)) {
        return fail(failedPath, reason);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string input, output, jobDir, base;
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
        } else if (!std::strcmp(arg, "--base") && i + 1 < argc) {
            base = argv[++i];
        } else if (arg[0] != '-' && jobDir.empty()) {
            jobDir = arg;
        } else {
            std::fprintf(stderr, "tessaly-convert: unknown or incomplete argument '%s'\n%s", arg,
                         kUsage);
            return 1;
        }
    }
    if (!jobDir.empty() && input.empty() && !output.empty() && !dump) return convertJob(jobDir, output, base);
    if (input.empty() || !jobDir.empty() || (output.empty() && !dump)) {
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
