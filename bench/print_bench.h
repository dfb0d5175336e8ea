#pragma once
// What the printing benchmarks share: a printer of their own (a scratch value
// store whose spool directory and data folder the driver and the converter
// use, vector pages without preview clips), set-up failures that stop the
// run, and the process's peak resident memory.

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>

#include "composer/conversion_job.h"
#include "platform/registry.h"
#include "platform/spool_host.h"
#include "support/text.h"

namespace tessaly::bench {

[[noreturn]] inline void setupFailed(const std::string& what) {
    std::fprintf(stderr, "benchmark set-up: %s\n", what.c_str());
    std::exit(1);
}

inline double peakRssMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

struct ScratchPrinter {
    std::filesystem::path root;

    explicit ScratchPrinter(const std::string& name) {
        namespace fs = std::filesystem;
        root = fs::temp_directory_path() / (name + "_" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "spool");
        setenv("TESSALY_REGISTRY_ROOT", (root / "registry").c_str(), 1);
        ValueStore store((root / "registry").string());
        if (store.writeString("SpoolPath", toWide((root / "spool").string())) != kRegistryOk ||
            store.writeString("BasePath", toWide(std::string(TESSALY_SOURCE_DIR) + "/data/")) != kRegistryOk ||
            // No preview clips: previews would keep page images in vector mode too.
            store.writeDword("MSEncodeFlags", 0x002) != kRegistryOk) {
            setupFailed("cannot write the value store");
        }
    }
    ~ScratchPrinter() { std::filesystem::remove_all(root); }
    ScratchPrinter(const ScratchPrinter&) = delete;
    ScratchPrinter& operator=(const ScratchPrinter&) = delete;

    // The job directory the driver wrote into the spool directory.
    std::filesystem::path job() const {
        for (const auto& entry : std::filesystem::directory_iterator(root / "spool")) return entry.path();
        setupFailed("no job directory");
    }

    void clearSpool() {
        for (const auto& entry : std::filesystem::directory_iterator(root / "spool"))
            std::filesystem::remove_all(entry.path());
    }
};

// Opens the driver on Letter paper at `dpi` for vector pages; set-up fails
// otherwise.
inline void openVectorPrinter(SpoolHost& host, int dpi) {
    SpoolOptions options;
    options.driverPath = std::string(TESSALY_LIB_DIR) + "/libpagesmith.so";
    options.request.paperName = "Letter";
    options.request.dpi = dpi;
    options.request.imagePages = false;
    std::string error;
    if (!host.open(options, &error)) setupFailed(error);
}

// Converts the job in `job` into `movie` (finished, as the application saves
// it) once per iteration and counts pages per second; false after an error,
// which the state then reports.
inline bool convertJobLoop(benchmark::State& state, const std::filesystem::path& job,
                           const std::filesystem::path& movie, int pages) {
    const std::string base = std::string(TESSALY_SOURCE_DIR) + "/data/";
    const std::string temp = movie.string() + ".part";
    for (auto _ : state) {
        ConversionJob conversion;
        (void)conversion.setBaseDirectory(base);
        if (!conversion.openJob(job.string() + "/") || !conversion.convert(temp) ||
            !ConversionJob::finishMovie(conversion.settings().interfaceSettings, temp, movie.string(),
                                        conversion.compressed)) {
            state.SkipWithError(conversion.errorText().c_str());
            return false;
        }
    }
    state.counters["pages_per_second"] =
        benchmark::Counter(double(pages) * double(state.iterations()), benchmark::Counter::kIsRate);
    return std::filesystem::exists(movie);
}

}  // namespace tessaly::bench
