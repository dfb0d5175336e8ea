// From `lp` to the movie on the user's disk, through a CUPS server of the
// benchmark's own (cupsd on loopback, started by deploykit as it installs the
// printer): the server runs pdftopdf and the backend, the backend prints the
// job as its user through the driver into the user's spool directory, and the
// user's job monitor (`tessaly --headless`, started once and left watching)
// finds the job and delivers the movie.
//
// BM_LpToMovie10Pages: one iteration sends a 10-page PDF (the shipped
// examples joined with pdfunite: text, figures, transparency, a test page)
// with lp and waits until its movie is in the output folder. Needs root and
// cupsd; reports an error otherwise.

#include <benchmark/benchmark.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "private_cups_server.h"

namespace fs = std::filesystem;

namespace {

const std::string kBin = TESSALY_BIN_DIR;
const std::string kExamples = std::string(TESSALY_SOURCE_DIR) + "/examples/pdf/";

int runQuietly(const std::vector<std::string>& args, const fs::path& log) {
    const pid_t pid = tessaly::testing::spawn(args, log);
    return pid < 0 ? -1 : tessaly::testing::waitFor(pid);
}

size_t movieCount(const fs::path& dir) {
    size_t count = 0;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        count += it->path().extension() == ".swf";
    return count;
}

void BM_LpToMovie10Pages(benchmark::State& state) {
    tessaly::testing::PrivateCupsServer server;
    if (!server.prepare(kBin, TESSALY_DATA_DIR)) {
        state.SkipWithError("needs root, cupsd and lp");
        return;
    }
    const fs::path root = server.root(), log = root / "scratch/bench.log";
    const fs::path pdf = root / "scratch/ten-pages.pdf", out = root / "movies";
    fs::create_directories(out);
    fs::create_directories(root / "run");
    const int joined = runQuietly({"/usr/bin/pdfunite", kExamples + "libtasn1-manual.pdf", kExamples + "figures.pdf",
                                   kExamples + "cups-testpage.pdf", kExamples + "libtasn1-manual.pdf",
                                   (root / "scratch/eleven.pdf").string()},
                                  log);
    const int cut = runQuietly({"/usr/bin/pdfseparate", "-l", "10", (root / "scratch/eleven.pdf").string(),
                                (root / "scratch/page-%d.pdf").string()},
                               log);
    std::vector<std::string> unite = {"/usr/bin/pdfunite"};
    for (int i = 1; i <= 10; ++i) unite.push_back((root / ("scratch/page-" + std::to_string(i) + ".pdf")).string());
    unite.push_back(pdf.string());
    const int ten = joined == 0 && cut == 0 ? runQuietly(unite, log) : -1;
    const int installed =
        runQuietly({kBin + "/deploykit", "-i", "Tessaly", "Tessaly Driver", std::string(TESSALY_LIB_DIR) + "/libpagesmith.so",
                    kBin + "/../share/cups/Tessaly.ppd", "WinPrint", "TessalyPort"},
                   log);
    if (ten != 0 || installed != 0) {
        state.SkipWithError(("setting up failed: " + tessaly::testing::slurp(log)).c_str());
        server.stop();
        return;
    }
    // The user's monitor, watching the user's own directory under the spool.
    setenv("TESSALY_RUNTIME_DIR", (root / "run").c_str(), 1);
    const pid_t monitor =
        tessaly::testing::spawn({kBin + "/tessaly", "--headless", "--output-dir", out.string()}, root / "monitor.log");

    for (auto _ : state) {
        const size_t before = movieCount(out);
        const auto start = std::chrono::steady_clock::now();
        if (runQuietly({"/usr/bin/lp", "-d", "Tessaly", pdf.string()}, log) != 0) {
            state.SkipWithError(("lp failed: " + tessaly::testing::slurp(log)).c_str());
            break;
        }
        while (movieCount(out) == before) {
            if (std::chrono::steady_clock::now() - start > std::chrono::seconds(120)) {
                state.SkipWithError(("no movie after 120 s: " + tessaly::testing::slurp(root / "monitor.log") +
                                     tessaly::testing::slurp(root / "log/error_log").substr(0, 4000))
                                        .c_str());
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.counters["pages"] = 10;

    if (monitor > 0) {
        kill(monitor, SIGTERM);
        (void)tessaly::testing::waitFor(monitor);
    }
    unsetenv("TESSALY_RUNTIME_DIR");
    (void)runQuietly({kBin + "/deploykit", "-u", "Tessaly", "Tessaly Driver", std::string(TESSALY_LIB_DIR) + "/libpagesmith.so",
                      kBin + "/../share/cups/Tessaly.ppd", "WinPrint", "TessalyPort"},
                     log);
    server.stop();
}
BENCHMARK(BM_LpToMovie10Pages)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
