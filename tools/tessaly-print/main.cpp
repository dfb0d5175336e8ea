// tessaly-print: prints a PDF or a drawing through the printer driver, the
// way the spooler runs a print job, and converts the job into a movie.

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "composer/settings.h"
#include "pdf/pdf_document.h"
#include "platform/gdi_engine_control.h"
#include "platform/registry.h"
#include "platform/spool_host.h"
#include "script/print_script.h"
#include "support/files.h"
#include "support/memory.h"
#include "support/text.h"
#include "tool_common.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "Usage: tessaly-print FILE.pdf [options] [-o MOVIE.swf]\n"
    "       tessaly-print (--test-document | --script FILE) [options] [-o MOVIE.swf]\n"
    "\n"
    "Prints a PDF through the printer driver into a job directory in a private\n"
    "temporary spool directory and converts the job into a movie (default: the\n"
    "PDF's name with .swf). Each PDF page is printed on paper of its own size.\n"
    "\n"
    "A drawing (a print script or the test document) is printed into a job\n"
    "directory under the spool directory, whose path is printed; with -o the job\n"
    "is converted into a movie.\n"
    "\n"
    "  --pages RANGE       PDF pages to print, as 1-3,5,8- ; default: all\n"
    "  --password TEXT     the password of an encrypted PDF\n"
    "  --keep-job DIR      with a PDF: keep a copy of the job directory in DIR\n"
    "  --test-document     the built-in test document (three Letter pages)\n"
    "  --script FILE       a print script (see printer/script/include/script/print_script.h)\n"
    "  --paper NAME|WxHmm  a paper of the driver's table (A4, Letter, ...) or a size\n"
    "                      in millimetres (100x150mm); default: each PDF page's\n"
    "                      own size (pages are fitted onto this paper), the\n"
    "                      script's, else the printer's\n"
    "  --landscape         landscape orientation\n"
    "  --dpi N             resolution (1 to 2400); default: the printer's\n"
    "  --image, --vector   pages as page images or as vector content; default: the\n"
    "                      movie settings'\n"
    "  --spool DIR         the spool directory; default: the registry's SpoolPath\n"
    "                      (a private temporary one for a PDF)\n"
    "  --driver PATH       the driver library; default: ../lib/libpagesmith.so\n"
    "                      beside this program\n"
    "  --page-rasters      with --vector: the driver also writes the raster it\n"
    "                      rendered of each page (altpage<n>.bag in the job\n"
    "                      directory) to compare the vector pages with; the movie\n"
    "                      made with -o leaves these rasters out\n"
    "  --band-limit BYTES  largest surface the engine may allocate (forces banding)\n"
    "  --title TEXT        the document's name\n"
    "  -o MOVIE.swf        convert the job into this movie\n"
    "  --base DIR          with -o: the data directory; default: this program's\n"
    "  -h, --help          show this help\n";

int fail(const std::string& message) {
    std::fprintf(stderr, "tessaly-print: %s\n", message.c_str());
    return 1;
}

// "100x150mm", "100x150" or "210.5 x 297": tenths of a millimetre.
bool parsePaperSize(const std::string& text, int* widthTenths, int* lengthTenths) {
    std::string t;
    for (char c : text) {
        if (c != ' ') t.push_back(c);
    }
    if (t.size() > 2 && t.compare(t.size() - 2, 2, "mm") == 0) t.resize(t.size() - 2);
    const size_t x = t.find_first_of("xX");
    if (x == std::string::npos) return false;
    char* end = nullptr;
    const std::string a = t.substr(0, x), b = t.substr(x + 1);
    if (a.empty() || b.empty()) return false;
    const double w = std::strtod(a.c_str(), &end);
    if (*end) return false;
    const double h = std::strtod(b.c_str(), &end);
    if (*end) return false;
    if (!(w >= 0.1 && w <= 3276.7 && h >= 0.1 && h <= 3276.7)) return false;
    *widthTenths = static_cast<int>(w * 10 + 0.5);
    *lengthTenths = static_cast<int>(h * 10 + 0.5);
    return true;
}

bool applyPaper(const std::string& paper, tessaly::PrintRequest& request, std::string* error) {
    if (std::isdigit(static_cast<unsigned char>(paper[0]))) {
        if (tessaly::paperCodeForName(paper) != 0) {
            request.paperName = paper;
            return true;
        }
        if (!parsePaperSize(paper, &request.paperWidthTenths, &request.paperLengthTenths)) {
            *error = "bad paper size '" + paper + "' (expected WxHmm, 0.1 to 3276.7 mm)";
            return false;
        }
        return true;
    }
    if (tessaly::paperCodeForName(paper) == 0) {
        *error = "unknown paper '" + paper + "'";
        return false;
    }
    request.paperName = paper;
    return true;
}

// --spool: the driver reads the spool directory from the value store, so the
// job is printed with a private copy of the store that names DIR. A one-shot
// value the driver consumed from the copy is consumed from the store too.
class SpoolOverride {
public:
    ~SpoolOverride() {
        if (root_.empty()) return;
        tessaly::ValueStore original(original_);
        tessaly::ValueStore copy(root_);
        for (const char* name : {"MSNextOutputLocation", "MSNextOutputFlags"}) {
            tessaly::RegistryType type;
            if (original.type(name, &type) == tessaly::kRegistryOk &&
                copy.type(name, &type) == tessaly::kRegistryNotFound) {
                (void)original.deleteValue(name);
            }
        }
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    bool apply(const std::string& spool, std::string* error) {
        original_ = tessaly::ValueStore::configuredRoot();
        char pattern[] = "/tmp/tessaly-print-registry-XXXXXX";
        if (!mkdtemp(pattern)) {
            *error = std::string("cannot make a private registry: ") + std::strerror(errno);
            return false;
        }
        root_ = pattern;
        std::error_code ec;
        if (fs::is_directory(original_, ec)) {
            fs::copy(original_, root_, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
            if (ec) {
                *error = "cannot copy the registry " + original_ + ": " + ec.message();
                return false;
            }
        }
        const fs::path absolute = fs::absolute(spool, ec);
        if (tessaly::ValueStore(root_).writeString("SpoolPath", tessaly::toWide(absolute.string())) !=
            tessaly::kRegistryOk) {
            *error = "cannot set the spool directory";
            return false;
        }
        setenv("TESSALY_REGISTRY_ROOT", root_.c_str(), 1);
        return true;
    }

private:
    std::string original_;
    std::string root_;
};

// A whole text file of at most maxBytes; false when it cannot be read.
bool readText(const std::string& path, std::string& out, uint64_t maxBytes) {
    tessaly::SizedBlock block;
    if (!tessaly::readWholeFile(path, block, maxBytes)) return false;
    out.assign(reinterpret_cast<const char*>(block.data.get()), block.length);
    return true;
}

std::set<std::string> jobDirectories(const std::string& spool) {
    std::set<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(spool, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() == 8 && name.find_first_not_of("0123456789") == std::string::npos) names.insert(name);
    }
    return names;
}

// The job directory this process made: a new one whose settings carry our
// job id (other hosts may print into the same spool directory at once).
std::string findJob(const std::string& spool, const std::set<std::string>& before, int32_t jobId) {
    for (const std::string& name : jobDirectories(spool)) {
        if (before.count(name)) continue;
        const std::string dir = spool + name + "/";
        tessaly::JobSettings settings;
        std::string text;
        if (readText(dir + "media.settings", text, 1 << 20) && settings.readSettingsText(text) &&
            settings.sourceId == jobId) {
            return dir;
        }
    }
    return {};
}

int convert(const std::string& jobDir, const std::string& output, const std::string& base, uint32_t leaveOut) {
    std::string failedPath, reason;
    if (!tessaly::tools::convertJobToMovie(jobDir, output, base, &failedPath, &reason, leaveOut)) {
        return fail(failedPath + ": " + reason);
    }
    return 0;
}

// A directory of our own that goes away with this object.
class TemporaryDirectory {
public:
    ~TemporaryDirectory() {
        if (path_.empty()) return;
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    bool make(const char* prefix, std::string* error) {
        std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            *error = std::string("cannot make a temporary directory: ") + std::strerror(errno);
            return false;
        }
        path_ = pattern;
        return true;
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Tenths of a millimetre of a length in points, within a device mode's range.
int tenthsOfPoints(double pt) { return std::clamp(static_cast<int>(std::lround(pt / 72 * 254)), 1, 32767); }

// Progress on a terminal, rewritten in place; nothing when stderr is not one.
class Progress {
public:
    Progress() : shown_(isatty(STDERR_FILENO) != 0) {}
    ~Progress() { done(); }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    void say(const std::string& text) {
        if (!shown_) return;
        std::fprintf(stderr, "\r%-60s", text.c_str());
        std::fflush(stderr);
        open_ = true;
    }
    void done() {
        if (!open_) return;
        std::fputc('\n', stderr);
        open_ = false;
    }

private:
    bool shown_;
    bool open_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    std::string scriptPath, pdfPath, paper, spool, driver, output, base, title, bandLimit, pageRange, keepJob;
    std::optional<std::string> password;
    bool testDocument = false, landscape = false;
    tessaly::PrintRequest request;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--test-document") {
            testDocument = true;
        } else if (arg == "--script" && hasValue) {
            scriptPath = argv[++i];
        } else if (arg == "--paper" && hasValue) {
            paper = argv[++i];
        } else if (arg == "--landscape") {
            landscape = true;
        } else if (arg == "--dpi" && hasValue) {
            char* end = nullptr;
            const long dpi = std::strtol(argv[++i], &end, 10);
            if (*end || dpi < 1 || dpi > 2400) return fail(std::string("bad resolution '") + argv[i] + "' (1 to 2400)");
            request.dpi = static_cast<int>(dpi);
        } else if (arg == "--image" || arg == "--vector") {
            request.imagePages = arg == "--image";
        } else if (arg == "--page-rasters") {
            request.pageRasters = true;
        } else if (arg == "--spool" && hasValue) {
            spool = argv[++i];
        } else if (arg == "--driver" && hasValue) {
            driver = argv[++i];
        } else if (arg == "--band-limit" && hasValue) {
            bandLimit = argv[++i];
            if (bandLimit.empty() || bandLimit.find_first_not_of("0123456789") != std::string::npos) {
                return fail("bad band limit '" + bandLimit + "' (bytes)");
            }
        } else if (arg == "--title" && hasValue) {
            title = argv[++i];
        } else if (arg == "--pages" && hasValue) {
            pageRange = argv[++i];
        } else if (arg == "--password" && hasValue) {
            password = argv[++i];
        } else if (arg == "--keep-job" && hasValue) {
            keepJob = argv[++i];
        } else if (arg == "-o" && hasValue) {
            output = argv[++i];
        } else if (arg == "--base" && hasValue) {
            base = argv[++i];
        } else if (!arg.empty() && arg[0] != '-' && pdfPath.empty()) {
            pdfPath = arg;
        } else {
            std::fprintf(stderr, "tessaly-print: unknown or incomplete argument '%s'\n%s", arg.c_str(), kUsage);
            return 1;
        }
    }
    if (request.pageRasters && request.imagePages.value_or(false)) {
        return fail("--page-rasters goes with vector pages (image pages are rasters already)");
    }
    if (int(testDocument) + int(!scriptPath.empty()) + int(!pdfPath.empty()) != 1) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    const bool isPdf = !pdfPath.empty();
    if (!isPdf && (!pageRange.empty() || password || !keepJob.empty())) {
        return fail("--pages, --password and --keep-job go with a PDF");
    }

    // The drawing: a PDF, or a script.
    std::string error;
    std::unique_ptr<tessaly::pdf::Document> document;
    std::vector<int> pages;
    tessaly::script::Script script;
    if (isPdf) {
        document = tessaly::pdf::Document::open(pdfPath, password, &error);
        if (!document) return fail(error);
        if (pageRange.empty()) {
            for (int p = 1; p <= document->pageCount(); ++p) pages.push_back(p);
        } else if (!tessaly::pdf::parsePageRange(pageRange, document->pageCount(), &pages, &error)) {
            return fail(error);
        }
        if (title.empty()) title = document->title();
        if (title.empty()) title = fs::path(pdfPath).filename().string();
        if (output.empty()) output = fs::path(pdfPath).replace_extension(".swf").string();
        // An output that cannot be written is known before any printing.
        std::error_code ec;
        const fs::path folder = fs::absolute(output, ec).parent_path();
        if (ec || access(folder.c_str(), W_OK) != 0)
            return fail("cannot write " + output + ": " + std::strerror(ec ? ec.value() : errno));
        if (paper.empty()) {
            // The first page's own size; the paper changes with the pages.
            const tessaly::pdf::PageSize size = document->pageSize(pages.front());
            const int width = tenthsOfPoints(size.widthPt), length = tenthsOfPoints(size.heightPt);
            request.paperWidthTenths = std::min(width, length);
            request.paperLengthTenths = std::max(width, length);
            if (!landscape) request.orientation = width > length ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
        }
    } else {
        std::string text;
        if (testDocument) {
            text = tessaly::script::testDocumentScript();
            if (title.empty()) title = "Tessaly test document";
        } else {
            if (!readText(scriptPath, text, 64u << 20)) return fail(scriptPath + ": cannot read the script");
            if (title.empty()) title = fs::path(scriptPath).filename().string();
        }
        if (!tessaly::script::parseScript(text, &script, &error)) return fail(scriptPath + ": " + error);
        if (script.pageCount == 0) return fail("the drawing has no pages");
        if (paper.empty()) paper = script.paper;
    }

    if (!paper.empty() && !applyPaper(paper, request, &error)) return fail(error);
    if (landscape || (!isPdf && script.landscape)) {
        request.orientation = (landscape || *script.landscape) ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    }

    // A PDF's job goes into a private spool directory that goes away at the
    // end (the movie is what the user asked for).
    TemporaryDirectory privateSpool;
    if (isPdf && spool.empty()) {
        if (!privateSpool.make("tessaly-print-spool", &error)) return fail(error);
        spool = privateSpool.path();
    }
    SpoolOverride spoolOverride;
    if (!spool.empty()) {
        std::error_code ec;
        fs::create_directories(spool, ec);
        if (!spoolOverride.apply(spool, &error)) return fail(error);
    }
    if (!bandLimit.empty()) tessaly::gdi::setSurfaceByteLimit(std::strtoull(bandLimit.c_str(), nullptr, 10));

    tessaly::SpoolOptions options;
    options.driverPath = driver.empty() ? (tessaly::tools::programDirectory().parent_path() / "lib" / "libpagesmith.so").string() : driver;
    options.request = request;
    tessaly::SpoolHost host;
    if (!host.open(options, &error)) return fail(error);

    std::string basePath, spoolPath;
    (void)tessaly::readInstallPaths(&basePath, &spoolPath);
    const std::set<std::string> before = jobDirectories(spoolPath);
    const int32_t jobId = static_cast<int32_t>(getpid() & 0x7FFFFFFF);

    tessaly::gdi::DeviceContext& dc = host.context();
    if (!dc.startDoc(tessaly::toWide(title), static_cast<DWORD>(jobId))) return fail("DrvStartDoc: " + dc.errorText());
    Progress progress;
    if (isPdf) {
        // Each page on paper of its own size, unless --paper chose one (then
        // pages are fitted onto it).
        const bool pageSizes = request.paperName.empty() && paper.empty();
        const tessaly::pdf::PageSize first = document->pageSize(pages.front());
        int paperWidth = tenthsOfPoints(first.widthPt), paperLength = tenthsOfPoints(first.heightPt);
        for (size_t n = 0; n < pages.size(); ++n) {
            const tessaly::pdf::PageSize size = document->pageSize(pages[n]);
            const int width = tenthsOfPoints(size.widthPt), length = tenthsOfPoints(size.heightPt);
            if (pageSizes && (std::abs(width - paperWidth) > 5 || std::abs(length - paperLength) > 5)) {
                if (!host.resetPaper(width, length, &error)) {
                    progress.done();
                    (void)dc.endDoc(true);
                    host.close();
                    return fail(pdfPath + ": page " + std::to_string(pages[n]) + ": " + error);
                }
                paperWidth = width;
                paperLength = length;
            }
            progress.say("printing page " + std::to_string(n + 1) + " of " + std::to_string(pages.size()));
            if (!document->playPage(pages[n], host.device(), dc, &error)) {
                progress.done();
                (void)dc.endDoc(true);
                host.close();
                return fail(pdfPath + ": " + error);
            }
        }
    } else {
        tessaly::script::PlayOptions play;
        play.baseDirectory = scriptPath.empty() ? std::string() : fs::path(scriptPath).parent_path().string();
        play.dpi = host.device().dpiY();
        const int played = tessaly::script::playScript(script, dc, play, &error);
        if (!played) {
            (void)dc.endDoc(true);
            host.close();
            return fail((scriptPath.empty() ? std::string("test document") : scriptPath) + ": " + error);
        }
    }
    if (!dc.endDoc()) return fail("DrvEndDoc: " + dc.errorText());
    host.close();

    const std::string jobDir = findJob(spoolPath, before, jobId);
    if (jobDir.empty()) return fail("the driver wrote no job directory under " + spoolPath);
    // A job the driver gave up on (a write error) says "error" in its status.
    std::string status;
    if (!readText(jobDir + "_status", status, 64) || status.rfind("end:", 0) != 0) {
        return fail(jobDir + ": the driver did not finish the job (status \"" + status + "\")");
    }
    if (!keepJob.empty()) {
        std::error_code ec;
        fs::create_directories(keepJob, ec);
        fs::copy(jobDir, keepJob, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
        if (ec) return fail("cannot keep the job in " + keepJob + ": " + ec.message());
    }
    if (!isPdf) {
        std::printf("%s\n", jobDir.c_str());
        std::fflush(stdout);
    }
    const uint32_t leaveOut = request.pageRasters ? tessaly::kMechPreview | tessaly::kMechPreviewList : 0;
    if (output.empty()) return 0;
    progress.say("converting " + std::to_string(isPdf ? pages.size() : size_t(script.pageCount)) + " pages");
    int result = 0;
    if (isPdf) {
        // The job is ours and temporary: the movie is what a failure names.
        std::string failedPath, reason;
        if (!tessaly::tools::convertJobToMovie(jobDir, output, base, &failedPath, &reason, leaveOut)) {
            progress.done();
            return fail("cannot make " + output + ": " + reason);
        }
    } else {
        result = convert(jobDir, output, base, leaveOut);
    }
    progress.done();
    if (result == 0 && isPdf) {
        std::printf("%s\n", output.c_str());
        std::fflush(stdout);
    }
    return result;
}
