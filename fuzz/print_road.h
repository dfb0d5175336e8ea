#pragma once
// The printing road for the fuzz targets that print: the real driver beside
// the program, a scratch value store and spool directory per input, and the
// check that the one job written ends well and converts into a movie.

#include <dlfcn.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "platform/registry.h"
#include "support/text.h"
#include "tool_common.h"

namespace print_road {

namespace fs = std::filesystem;

[[noreturn]] inline void stop(const std::string& why) {
    std::fprintf(stderr, "fuzz: %s\n", why.c_str());
    std::fflush(stderr);
    __builtin_trap();
}

// The driver beside the program (build/lib), loaded once and kept loaded:
// the spool host unloads its own handle at the end of every job, and an
// instrumented library must not go away under the fuzzer's counters.
inline const std::string& driverPath() {
    static const std::string path = [] {
        const std::string p =
            (tessaly::tools::programDirectory().parent_path() / "lib" / "libpagesmith.so").string();
        if (!::dlopen(p.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) stop("cannot load " + p);
        return p;
    }();
    return path;
}

// One scratch directory per input: the value store and the spool directory.
struct Scratch {
    fs::path root;
    Scratch() {
        char pattern[] = "/tmp/fuzz-print-XXXXXX";
        if (!::mkdtemp(pattern)) stop("cannot make a scratch directory");
        root = pattern;
        fs::create_directories(root / "spool");
        ::setenv("TESSALY_REGISTRY_ROOT", (root / "registry").c_str(), 1);
        tessaly::ValueStore store((root / "registry").string());
        if (store.writeString("SpoolPath", tessaly::toWide((root / "spool").string())) != tessaly::kRegistryOk ||
            store.writeString("BasePath", tessaly::toWide(tessaly::tools::defaultBaseDirectory())) !=
                tessaly::kRegistryOk)
            stop("cannot write the value store");
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    // The one job of the spool directory must have ended with all its pages
    // and convert into a movie.
    void checkJob(int pages) const {
        std::vector<fs::path> jobs;
        for (const auto& entry : fs::directory_iterator(root / "spool"))
            if (entry.is_directory()) jobs.push_back(entry.path());
        if (jobs.size() != 1) stop("expected one job directory, found " + std::to_string(jobs.size()));
        std::ifstream statusFile(jobs[0] / "_status");
        const std::string status((std::istreambuf_iterator<char>(statusFile)), {});
        if (status != "end:" + std::to_string(pages)) stop("the job's status is \"" + status + "\"");
        std::string failedPath, reason;
        if (!tessaly::tools::convertJobToMovie(jobs[0].string() + "/", (root / "movie.swf").string(), {},
                                               &failedPath, &reason))
            stop("the job does not convert: " + failedPath + ": " + reason);
    }
};

}  // namespace print_road
