// The job monitor's delay on top of the conversion: from the moment a 20-page
// job's status says "end:20" to the finished movie, with the real 500 ms
// timer, compared with converting the same job directly.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/headless_ui.h"
#include "app/job_monitor.h"
#include "composer/conversion_job.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kPages = 20;

void writeJob(const fs::path& dir, const char* status) {
    fs::create_directories(dir);
    std::ofstream mml(dir / "media.mml", std::ios::binary);
    mml << "<Media width=\"12240\" height=\"15840\">\n";
    for (int page = 0; page < kPages; ++page) {
        mml << "<Frame>";
        for (int i = 0; i < 40; ++i) {
            mml << "<Shape><FillColor color=\"#" << (i % 2 ? "1F4E79" : "C0504D") << "\"/><Rect x=\""
                << 200 + i * 250 << "\" y=\"" << 400 + page * 100 << "\" width=\"200\" height=\"3000\"/></Shape>";
        }
        mml << "</Frame>\n";
    }
    mml << "</Media>\n";
    std::ofstream(dir / "_status", std::ios::binary) << status;
}

void BM_MonitorDeliveryDelay(benchmark::State& state) {
    const fs::path scratch = fs::temp_directory_path() / ("tessaly_bench_monitor_" + std::to_string(::getpid()));
    fs::create_directories(scratch / "spool");
    fs::create_directories(scratch / "run");
    fs::permissions(scratch / "run", fs::perms::owner_all);
    setenv("TESSALY_REGISTRY_ROOT", (scratch / "registry").c_str(), 1);
    setenv("TESSALY_RUNTIME_DIR", (scratch / "run").c_str(), 1);
    const std::string base = std::string(TESSALY_SOURCE_DIR) + "/data/";
    double convertMs = 0, totalMs = 0;
    int64_t runs = 0;
    for (auto _ : state) {
        // The conversion alone.
        writeJob(scratch / "direct", "end:20");
        auto start = Clock::now();
        {
            tessaly::ConversionJob job;
            (void)job.setBaseDirectory(base);
            if (!job.openJob((scratch / "direct").string()) || !job.convert((scratch / "direct.swf").string())) {
                state.SkipWithError("the job did not convert");
                break;
            }
        }
        convertMs += std::chrono::duration<double, std::milli>(Clock::now() - start).count();

        // The same job through the monitor, claimed while its pages arrive.
        writeJob(scratch / "spool" / "job", "20");
        tessaly::app::HeadlessUserInterface ui;
        tessaly::app::PollingTimer timer;
        tessaly::app::MonitorConfig config;
        config.baseDirectory = base;
        config.spoolDirectory = (scratch / "spool").string() + "/";
        tessaly::app::JobMonitor monitor(ui, timer, config);
        (void)monitor.tick();
        monitor.startTimer();
        std::ofstream(scratch / "spool" / "job" / "_status", std::ios::binary) << "end:20";
        start = Clock::now();
        while (monitor.state() != tessaly::app::MonitorState::Done &&
               monitor.state() != tessaly::app::MonitorState::Failed && timer.waitForTick()) {
            (void)monitor.tick();
        }
        totalMs += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (monitor.state() != tessaly::app::MonitorState::Done) {
            state.SkipWithError("the monitor did not finish the job");
            break;
        }
        monitor.setSaved(true);
        (void)monitor.cleanUpOnClose();
        ++runs;
    }
    if (runs > 0) {
        state.counters["convert_ms"] = convertMs / double(runs);
        state.counters["delivered_ms"] = totalMs / double(runs);
        state.counters["delay_ms"] = (totalMs - convertMs) / double(runs);
    }
    std::error_code ec;
    fs::remove_all(scratch, ec);
}
BENCHMARK(BM_MonitorDeliveryDelay)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
