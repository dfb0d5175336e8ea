// tessaly-print: prints a PDF or a drawing through the printer driver, the
// way the spooler runs a print job, and converts the job into a movie.

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
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
#include <thread>
#include <vector>

#include "app/html_writer.h"
#include "composer/settings.h"
#include "pdf/pdf_document.h"
#include "platform/gdi_engine_control.h"
#include "platform/printer_registry.h"
#include "platform/registry.h"
#include "platform/spool_host.h"
#include "platform/user_spool.h"
#include "script/print_script.h"
#include "support/files.h"
#include "support/memory.h"
#include "support/text.h"
#include "tool_common.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "Usage: tessaly-print FILE.pdf [options] [-o MOVIE.swf]\n"
    "       tessaly-print --to-printer FILE.pdf [options]\n"
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
    "  --turn DEG          with a PDF: turn every page clockwise by 90, 180 or 270\n"
    "                      degrees on top of its own rotation\n"
    "  --dpi N             resolution (1 to 2400); default: the printer's\n"
    "  --image, --vector   pages as page images or as vector content; default: the\n"
    "                      movie settings'\n"
    "  --spool DIR         the spool directory; default: the registry's SpoolPath\n"
    "                      (a private temporary one for a PDF)\n"
    "  --driver PATH       the driver library; default: TESSALY_DRIVER, else\n"
    "                      ../lib/libpagesmith.so or ../lib/tessaly/libpagesmith.so\n"
    "                      from this program's directory\n"
    "  --page-rasters      with --vector: the driver also writes the raster it\n"
    "                      rendered of each page (altpage<n>.bag in the job\n"
    "                      directory) to compare the vector pages with; the movie\n"
    "                      made with -o leaves these rasters out\n"
    "  --band-limit BYTES  largest surface the engine may allocate (forces banding)\n"
    "  --title TEXT        the document's name\n"
    "  --interface NAME    the viewer interface of the movie (a NAME.interface of\n"
    "                      the data directory's interface/), or none; default:\n"
    "                      the printer's, else the installed viewer (Viewer)\n"
    "  --layout NAME       the page layout drawn around each page (a PageLayout of\n"
    "                      Tessaly.settings, e.g. \"No border\"); default: the\n"
    "                      printer's\n"
    "  --to-printer        print the PDF into the printer's spool directory (the\n"
    "                      registry's SpoolPath, or the user's own directory under\n"
    "                      it when SpoolPerUser is 1, or --spool) and leave the job to\n"
    "                      the monitor there, as printing from an application does\n"
    "  -o MOVIE.swf        convert the job into this movie\n"
"  --html PAGE.htm     convert the job and write an HTML page that plays the\n"
"                      movie, with the movie beside it under the page's name\n"
"                      (PAGE.swf); PAGE.html is kept, another name gets .htm\n"
"  --template NAME     with --html: the page's template, a file of the data\n"
"                      directory's \"HTML Template/\" or a path; default: the\n"
"                      preferred one (PrinterHTMLTemplate), else Full Window.htm\n"
    "  --base DIR          with -o: the data directory; default: this program's\n"
    "  -h, --help          show this help\n";

// The viewer interface that installing the printer sets up as the default.
constexpr const char* kInstalledInterface = "Viewer";

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

// Where temporary directories go: $TMPDIR, else /tmp.
std::string temporaryFolder() {
    std::error_code ec;
    const fs::path folder = fs::temp_directory_path(ec);
    return ec ? std::string("/tmp") : folder.string();
}

// --spool, --interface, --layout: the driver reads the spool directory and
// the movie settings from the value store, so the job is printed with a
// private copy of the values this user sees, plus the values asked for. A
// one-shot value the driver consumed from the copy is consumed from the
// user's view of the store too.
class SpoolOverride {
public:
    ~SpoolOverride() {
        if (root_.empty()) return;
        tessaly::ValueStore copy(root_);
        for (const char* name : {"MSNextOutputLocation", "MSNextOutputFlags"}) {
            tessaly::RegistryType type;
            if (original_.type(name, &type) == tessaly::kRegistryOk &&
                copy.type(name, &type) == tessaly::kRegistryNotFound) {
                (void)original_.deleteValue(name);
            }
        }
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    // The spool directory when not empty, and the text values given.
    bool apply(const std::string& spool, const std::vector<std::pair<std::string, std::string>>& values,
               std::string* error) {
        original_ = tessaly::ValueStore::configured();
        std::string pattern = temporaryFolder() + "/tessaly-print-registry-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            *error = std::string("cannot make a private registry: ") + std::strerror(errno);
            return false;
        }
        root_ = pattern;
        if (const int r = original_.copyValuesTo(root_)) {
            *error = "cannot copy the registry " + original_.root() + " (error " + std::to_string(r) + ")";
            return false;
        }
        std::error_code ec;
        tessaly::ValueStore copy(root_);
        if (!spool.empty()) {
            const fs::path absolute = fs::absolute(spool, ec);
            if (copy.writeString("SpoolPath", tessaly::toWide(absolute.string())) != tessaly::kRegistryOk) {
                *error = "cannot set the spool directory";
                return false;
            }
            // The directory given is the one the job goes into, whoever prints.
            const int perUser = copy.deleteValue("SpoolPerUser");
            if (perUser != tessaly::kRegistryOk && perUser != tessaly::kRegistryNotFound) {
                *error = "cannot set the spool directory";
                return false;
            }
        }
        for (const auto& [name, value] : values) {
            if (copy.writeString(name, tessaly::toWide(value)) != tessaly::kRegistryOk) {
                *error = "cannot set " + name;
                return false;
            }
        }
        setenv("TESSALY_REGISTRY_ROOT", root_.c_str(), 1);
        return true;
    }

private:
    tessaly::ValueStore original_{std::string()};
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
// The settings name the interface, read from the data directory `base`.
std::string findJob(const std::string& spool, const std::set<std::string>& before, int32_t jobId,
                    const std::string& base) {
    for (const std::string& name : jobDirectories(spool)) {
        if (before.count(name)) continue;
        const std::string dir = spool + name + "/";
        tessaly::JobSettings settings;
        settings.setBaseDirectory(base);
        std::string text;
        if (readText(dir + "media.settings", text, 1 << 20) && settings.readSettingsText(text) &&
            settings.sourceId == jobId) {
            return dir;
        }
    }
    return {};
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
        std::string pattern = temporaryFolder() + "/" + prefix + "-XXXXXX";
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
// The paper is never narrower than a pixel at the job's resolution (a PDF
// page may be a point wide).
int gMinimumTenths = 1;
int tenthsOfPoints(double pt) {
    return std::clamp(static_cast<int>(std::lround(pt / 72 * 254)), std::min(gMinimumTenths, 32767), 32767);
}

// The names of the interfaces (NAME.interface) in the data directory's
// interface folder, and of the page layouts of its global settings file,
// for --interface and --layout.
std::vector<std::string> interfaceNames(const std::string& base) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(base + "interface", ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().extension() == ".interface") names.push_back(it->path().stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> layoutNames(const std::string& base) {
    std::string text;
    std::vector<std::string> names;
    if (!readText(base + "Tessaly.settings", text, 16u << 20)) return names;
    const std::string tag = "<PageLayout name=\"";
    for (size_t at = text.find(tag); at != std::string::npos; at = text.find(tag, at + 1)) {
        const size_t from = at + tag.size(), to = text.find('"', from);
        if (to != std::string::npos) names.push_back(text.substr(from, to - from));
    }
    return names;
}

std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& name : names) out += (out.empty() ? "" : ", ") + name;
    return out.empty() ? std::string("none") : out;
}

// A page larger than this many pixels at the job's resolution lowers the
// resolution of the job (a 129-inch page at 300 dpi would be 1.5 billion
// pixels); the surface the driver draws into is capped as well, so that a
// large page is drawn in bands.
constexpr double kMaxPagePixels = double(1 << 28);
constexpr uint64_t kDefaultSurfaceBytes = uint64_t(256) << 20;

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
    bool shown() const { return shown_; }

private:
    bool shown_;
    bool open_ = false;
};

// An interrupt (^C) or a termination request while a PDF prints: the job
// stops at the next page and everything made so far goes away. A second one
// ends the program at once.
volatile sig_atomic_t gStopped = 0;

void stopRequested(int) { gStopped = 1; }

void catchStopRequests() {
    struct sigaction action {};
    action.sa_handler = stopRequested;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    (void)sigaction(SIGINT, &action, nullptr);
    (void)sigaction(SIGTERM, &action, nullptr);
}

// Messages of the HTML writer, one line each on stderr; no questions are
// asked (the page is written in automatic mode).
class ConsoleUi : public tessaly::app::UserInterface {
public:
    tessaly::app::MessageAnswer messageBox(const tessaly::app::Message& message) override {
        std::string text(message.text);
        for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos;) {
            const size_t end = text.find_first_not_of('\n', at);
            text.replace(at, (end == std::string::npos ? text.size() : end) - at, " ");
        }
        std::fprintf(stderr, "tessaly-print: %.*s: %s\n", int(message.title.size()), message.title.data(),
                     text.c_str());
        return message.buttons == tessaly::app::MessageButtons::ok ? tessaly::app::MessageAnswer::ok
                                                                   : tessaly::app::MessageAnswer::yes;
    }
};

// The preferences the HTML page is made with, from the value store; the
// template given on the command line wins.
tessaly::app::SavePreferences htmlPreferences(const std::optional<std::string>& templateName) {
    tessaly::app::SavePreferences preferences;
    const tessaly::ValueStore store = tessaly::ValueStore::configured();
    std::u16string name;
    if (templateName) {
        preferences.htmlTemplate = *templateName;
    } else if (store.readString("PrinterHTMLTemplate", &name) == tessaly::kRegistryOk && !name.empty()) {
        preferences.htmlTemplate = tessaly::toUtf8(name);
    }
    uint32_t value = 0;
    if (store.readDword("PrinterShowFlashPopup", &value) == tessaly::kRegistryOk) {
        preferences.showFlashPopup = value != 0;
    }
    if (store.readDword("PrinterFlashAlign", &value) == tessaly::kRegistryOk && value <= 2) {
        preferences.flashAlign = int(value);
    }
    return preferences;
}

}  // namespace

int main(int argc, char** argv) {
    std::string scriptPath, pdfPath, paper, spool, driver, output, base, title, bandLimit, pageRange, keepJob;
    std::optional<std::string> password, interfaceName, layoutName, templateName;
    std::string htmlPath;
    int turn = 0;
    bool testDocument = false, landscape = false, toPrinter = false, endOfOptions = false;
    tessaly::PrintRequest request;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (endOfOptions || (!arg.empty() && arg[0] != '-' && pdfPath.empty())) {
            if (!pdfPath.empty()) {
                std::fprintf(stderr, "tessaly-print: only one file is printed at a time\n");
                return 1;
            }
            pdfPath = arg;
        } else if (arg == "--") {
            endOfOptions = true;
        } else if (arg == "--to-printer") {
            toPrinter = true;
        } else if (arg == "--test-document") {
            testDocument = true;
        } else if (arg == "--script" && hasValue) {
            scriptPath = argv[++i];
        } else if (arg == "--paper" && hasValue) {
            paper = argv[++i];
        } else if (arg == "--landscape") {
            landscape = true;
        } else if (arg == "--turn" && hasValue) {
            const std::string value = argv[++i];
            if (value != "0" && value != "90" && value != "180" && value != "270")
                return fail("bad turn '" + value + "' (0, 90, 180 or 270)");
            turn = std::stoi(value);
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
        } else if (arg == "--interface" && hasValue) {
            interfaceName = argv[++i];
        } else if (arg == "--layout" && hasValue) {
            layoutName = argv[++i];
        } else if (arg == "--keep-job" && hasValue) {
            keepJob = argv[++i];
        } else if (arg == "--html" && hasValue) {
            htmlPath = argv[++i];
            if (htmlPath.empty()) return fail("--html needs a file name");
        } else if (arg == "--template" && hasValue) {
            templateName = argv[++i];
        } else if (arg == "-o" && hasValue) {
            output = argv[++i];
        } else if (arg == "--base" && hasValue) {
            base = argv[++i];
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
    if (toPrinter && (!isPdf || !output.empty() || !htmlPath.empty() || !keepJob.empty()))
        return fail("--to-printer prints a PDF and leaves the job to the monitor (no -o, --html, --keep-job)");
    if (!isPdf && (!pageRange.empty() || password || !keepJob.empty())) {
        return fail("--pages, --password and --keep-job go with a PDF");
    }
    // The interface and the page layout must be ones the data directory has.
    std::vector<std::pair<std::string, std::string>> movieValues;
    const std::string dataDirectory = base.empty() ? tessaly::tools::defaultBaseDirectory()
                                      : base.back() == '/'  ? base
                                                            : base + "/";
    if (!interfaceName) {
        // The installation's viewer, when the printer's value store names
        // none at all (a store that holds an empty name asks for none): what
        // installing the printer writes into the store.
        tessaly::RegistryType type;
        const std::vector<std::string> names = interfaceNames(dataDirectory);
        if (tessaly::ValueStore::configured().type("MSInterfaceName", &type) ==
                tessaly::kRegistryNotFound &&
            std::find(names.begin(), names.end(), kInstalledInterface) != names.end())
            interfaceName = kInstalledInterface;
    }
    if (interfaceName) {
        if (*interfaceName == "none") interfaceName = "";
        const std::vector<std::string> names = interfaceNames(dataDirectory);
        if (!interfaceName->empty() && std::find(names.begin(), names.end(), *interfaceName) == names.end())
            return fail("unknown interface '" + *interfaceName + "' (" + dataDirectory + "interface has: " +
                        joined(names) + "; or none)");
        movieValues.emplace_back("MSInterfaceName", *interfaceName);
    }
    if (layoutName) {
        const std::vector<std::string> names = layoutNames(dataDirectory);
        if (std::find(names.begin(), names.end(), *layoutName) == names.end())
            return fail("unknown page layout '" + *layoutName + "' (" + dataDirectory +
                        "Tessaly.settings has: " + joined(names) + ")");
        movieValues.emplace_back("MSLayoutName", *layoutName);
    }

    // The HTML page: its template must be one, and its folder writable. The
    // movie goes into a folder of ours unless -o names it; the page gets a
    // copy beside it.
    std::string error;
    std::optional<tessaly::app::SavePreferences> htmlSettings;
    TemporaryDirectory movieFolder;
    if (templateName && htmlPath.empty()) return fail("--template goes with --html");
    if (!htmlPath.empty()) {
        htmlSettings = htmlPreferences(templateName);
        const std::string templatePath = tessaly::app::htmlTemplatePath(dataDirectory, htmlSettings->htmlTemplate);
        std::string text;
        if (!readText(templatePath, text, 16u << 20)) return fail("cannot read the HTML template " + templatePath);
        if (!tessaly::app::isHtmlTemplate(text))
            return fail(templatePath + " is not an HTML template (it has no {FlashMovie})");
        std::error_code ec;
        const fs::path folder = fs::absolute(htmlPath, ec).parent_path();
        if (ec || access(folder.c_str(), W_OK) != 0)
            return fail("cannot write " + htmlPath + ": " + std::strerror(ec ? ec.value() : errno));
        if (output.empty()) {
            if (!movieFolder.make("tessaly-print-movie", &error)) return fail(error);
            output = movieFolder.path() + "/movie.swf";
        }
    }

    // The drawing: a PDF, or a script.
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
        if (output.empty() && !toPrinter) output = fs::path(pdfPath).replace_extension(".swf").string();
        // An output that cannot be written is known before any printing.
        std::error_code ec;
        const fs::path folder = fs::absolute(output, ec).parent_path();
        if (!toPrinter && (ec || access(folder.c_str(), W_OK) != 0))
            return fail("cannot write " + output + ": " + std::strerror(ec ? ec.value() : errno));
        // The largest page must fit the pixel cap at the job's resolution.
        const int dpi = request.dpi ? request.dpi
                                    : int(tessaly::readPrinterDefaults(
                                              tessaly::ValueStore::configured())
                                              .dpi);
        double largest = 0;
        int largestPage = pages.front();
        for (int p : pages) {
            const tessaly::pdf::PageSize each = document->pageSize(p, turn);
            if (each.widthPt * each.heightPt > largest) largest = each.widthPt * each.heightPt, largestPage = p;
        }
        const double pixels = largest / (72.0 * 72.0) * double(dpi) * double(dpi);
        if (dpi > 0 && pixels > kMaxPagePixels) {
            request.dpi = std::max(1, int(std::sqrt(kMaxPagePixels * 72.0 * 72.0 / largest)));
            std::fprintf(stderr, "tessaly-print: note: page %d is too large for %d dpi; the pages are printed at %d dpi\n",
                         largestPage, dpi, request.dpi);
        }
        // A paper side is at least one pixel at that resolution.
        gMinimumTenths = int(std::ceil(254.0 / double(request.dpi ? request.dpi : std::max(dpi, 1))));
        const tessaly::pdf::PageSize size = document->pageSize(pages.front(), turn);
        if (paper.empty() && size.widthPt > 0) {
            // The first page's own size; the paper changes with the pages.
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
    if (isPdf) catchStopRequests();
    TemporaryDirectory privateSpool;
    if (isPdf && spool.empty() && !toPrinter) {
        if (!privateSpool.make("tessaly-print-spool", &error)) return fail(error);
        spool = privateSpool.path();
    }
    // The printer's spool directory is the user's own when each user has
    // one; the driver is handed that directory.
    if (toPrinter && spool.empty() && !tessaly::currentUserSpoolDirectory(&spool, &error)) {
        return fail("the printer's spool directory: " + error);
    }
    SpoolOverride spoolOverride;
    if (!spool.empty() || !movieValues.empty()) {
        std::error_code ec;
        if (!spool.empty()) fs::create_directories(spool, ec);
        if (!spoolOverride.apply(spool, movieValues, &error)) return fail(error);
    }
    if (!bandLimit.empty()) {
        tessaly::gdi::setSurfaceByteLimit(std::strtoull(bandLimit.c_str(), nullptr, 10));
    } else if (isPdf && !std::getenv("TESSALY_GDI_SURFACE_LIMIT")) {
        tessaly::gdi::setSurfaceByteLimit(kDefaultSurfaceBytes);
    }

    tessaly::SpoolOptions options;
    options.driverPath = driver.empty() ? tessaly::embeddedDriverPath() : driver;
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
        const tessaly::pdf::PageSize first = document->pageSize(pages.front(), turn);
        int paperWidth = tenthsOfPoints(first.widthPt), paperLength = tenthsOfPoints(first.heightPt);
        for (size_t n = 0; n < pages.size(); ++n) {
            const tessaly::pdf::PageSize size = document->pageSize(pages[n], turn);
            const int width = tenthsOfPoints(size.widthPt), length = tenthsOfPoints(size.heightPt);
            const bool sized = size.widthPt > 0 && size.heightPt > 0;  // else it cannot be read
            if (pageSizes && sized && (std::abs(width - paperWidth) > 5 || std::abs(length - paperLength) > 5)) {
                if (!host.resetPaper(width, length, &error)) {
                    progress.done();
                    (void)dc.endDoc(true);
                    host.close();
                    return fail(pdfPath + ": page " + std::to_string(pages[n]) + ": " + error);
                }
                paperWidth = width;
                paperLength = length;
            }
            if (gStopped) {
                progress.done();
                (void)dc.endDoc(true);
                host.close();
                return fail(pdfPath + ": interrupted");
            }
            progress.say("printing page " + std::to_string(n + 1) + " of " + std::to_string(pages.size()));
            std::string note;
            tessaly::pdf::PlayOptions play;
            play.note = &note;
            play.turn = turn;
            if (!document->playPage(pages[n], host.device(), dc, &error, play)) {
                progress.done();
                (void)dc.endDoc(true);
                host.close();
                return fail(pdfPath + ": " + error);
            }
            if (!note.empty()) {
                progress.done();
                std::fprintf(stderr, "tessaly-print: note: %s: %s\n", pdfPath.c_str(), note.c_str());
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
    // The job is the monitor's now: it may already be converting it.
    if (toPrinter) return 0;

    const std::string jobDir = findJob(spoolPath, before, jobId, basePath);
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
    if (gStopped) return fail(pdfPath + ": interrupted");
    const size_t pageTotal = isPdf ? pages.size() : size_t(script.pageCount);
    progress.say("converting " + std::to_string(pageTotal) + " pages");
    // On a terminal, the pages converted so far, from a thread of its own.
    std::atomic<uint32_t> converted{0};
    std::atomic<bool> converting{true};
    std::thread watcher;
    if (progress.shown()) {
        watcher = std::thread([&] {
            uint32_t shown = 0;
            while (converting.load()) {
                const uint32_t now = std::min<uint32_t>(converted.load(), uint32_t(pageTotal));
                if (now != shown) {
                    shown = now;
                    progress.say("converting page " + std::to_string(now) + " of " + std::to_string(pageTotal));
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
    }
    int result = 0;
    std::string failedPath, reason;
    tessaly::tools::ConvertedMovie movie;
    const int convertedOk = tessaly::tools::convertJobToMovie(jobDir, output, base, &failedPath, &reason, leaveOut,
                                                              &converted, &movie);
    converting = false;
    if (watcher.joinable()) watcher.join();
    progress.done();
    if (!convertedOk) {
        // A PDF's job is ours and temporary: the movie is what a failure names.
        result = isPdf ? fail("cannot make " + (movieFolder.path().empty() ? output : htmlPath) + ": " + reason) : fail(failedPath + ": " + reason);
    }
    if (result == 0 && isPdf && movieFolder.path().empty()) {
        std::printf("%s\n", output.c_str());
        std::fflush(stdout);
    }
    if (result == 0 && htmlSettings) {
        // Written in automatic mode: an SWF of the page's name is replaced
        // without asking. When the page cannot be written, a movie copy made
        // for it goes away again.
        ConsoleUi ui;
        tessaly::app::SaveContext context{ui, dataDirectory, {}, *htmlSettings, true};
        context.movie = {output, movie.docWidth, movie.docHeight, movie.backgroundColor, movie.version};
        const tessaly::app::HtmlFileNames names = tessaly::app::htmlFileNames(htmlPath);
        const bool hadMovie = tessaly::fileExists(names.swfPath);
        if (!tessaly::app::writeHtml(context, htmlPath)) {
            std::error_code ec;
            if (!hadMovie) fs::remove(names.swfPath, ec);
            return 1;
        }
        std::printf("%s\n", names.htmlPath.c_str());
        std::fflush(stdout);
    }
    return result;
}
