#include "app/job_monitor.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <locale.h>
#include <sys/stat.h>

#include <random>
#else
#include <fcntl.h>
#include <locale.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

#include "composer/conversion_job.h"
#include "support/directories.h"
#include "support/files.h"
#include "support/paths.h"
#include "support/text.h"

namespace tessaly::app {

namespace {

constexpr std::string_view kReceivingStatus = " Receiving pages...";
constexpr std::string_view kIdleStatus = " Idle...";
constexpr std::string_view kWorkingStatus = " Working...";
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr size_t kStatusLimit = 64;
constexpr uint64_t kLowDiskSpaceMb = 20;

constexpr std::string_view kErrorTitle = "Tessaly Error";
constexpr std::string_view kPlayerDownload = "https://ruffle.rs/#downloads";
constexpr std::string_view kSupportAddress = "support@tessaly.org";

std::string failureMessage() {
    std::string text =
        "An error occurred during Tessaly Printing. A few suggestions about the problem:\n"
        "- If the application from where you printed has a 'Print Preview' option, can you see the document properly\n"
        "  when doing a 'Print Preview'?\n"
        "- If hardware printers are available on your system, does the document print correctly to another printer?\n"
        "- Have you checked the Frequently Asked Questions list for a similar situation?\n\n"
        "If the above suggestions did not help, please contact ";
    text += kSupportAddress;
    text += " with a description of the problem.\n\nTessaly will now close.";
    return text;
}

constexpr std::string_view kDiskSpaceMessage =
    "An error occurred during Tessaly Printing - this usually means you've run out of disk space\n"
    "on your Tessaly installation directory (you currently have less than 20 MB of free disk space).\n"
    "Printing complex documents or documents with a large number of pages will require a larger amount\n"
    "of free disk space - please clear some disk space and try again.\n\n"
    "Tessaly will now close.";

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

// A decimal number that fits 32 bits, with nothing but blanks after it.
std::optional<uint32_t> parseCount(std::string_view text) {
    uint64_t value = 0;
    size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
        if (value > UINT32_MAX) return std::nullopt;
    }
    if (i == 0) return std::nullopt;
    for (; i < text.size(); ++i) {
        if (text[i] != ' ' && text[i] != '\t' && text[i] != '\r' && text[i] != '\n') return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

#ifdef _WIN32
std::wstring widePath(const std::string& path) {
    const std::u16string wide = pathFromUtf8(path);
    return std::wstring(wide.begin(), wide.end());
}

bool fileExists(const std::string& path) {
    return ::GetFileAttributesW(widePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The size of a regular file; nothing when it is missing.
std::optional<uint64_t> fileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (!::GetFileAttributesExW(widePath(path).c_str(), GetFileExInfoStandard, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    return (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

std::string temporaryDirectory(const std::string& configured) {
    std::string dir = configured;
    if (dir.empty()) {
        wchar_t buffer[MAX_PATH + 1];
        const DWORD n = ::GetTempPathW(MAX_PATH + 1, buffer);
        dir = n > 0 && n <= MAX_PATH ? toUtf8(std::u16string(buffer, buffer + n)) : std::string(".");
        for (char& c : dir)
            if (c == '\\') c = '/';
    }
    appendSeparator(dir);
    return dir;
}
#else
bool fileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// The size of a regular file; nothing when it is missing.
std::optional<uint64_t> fileSize(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return static_cast<uint64_t>(info.st_size);
}

std::string temporaryDirectory(const std::string& configured) {
    std::string dir = configured;
    if (dir.empty()) {
        const char* env = std::getenv("TMPDIR");
        dir = env && *env ? env : "/tmp";
    }
    appendSeparator(dir);
    return dir;
}
#endif

}  // namespace

// ---------------------------------------------------------------------------

void PollingTimer::start(unsigned intervalMs) {
    interval_ = intervalMs;
    running_ = true;
    next_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(interval_);
}

void PollingTimer::wakeSoon() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        woken_ = true;
    }
    wake_.notify_all();
}

bool PollingTimer::waitForTick() {
    if (!running_) return false;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait_until(lock, next_, [this] { return woken_; });
        woken_ = false;
    }
    // A late or early tick is not made up for: the next one is an interval from now.
    next_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(interval_);
    return true;
}

JobStatus parseJobStatus(std::string_view text) {
    JobStatus status;
    if (text.size() == 5 && startsWithIgnoringCase(text, "error")) {
        status.kind = JobStatus::error;
    } else if (startsWithIgnoringCase(text, "end")) {
        status.kind = JobStatus::end;
        if (text.size() > 4 && text[3] == ':') status.number = parseCount(text.substr(4)).value_or(0);
    } else if (const auto page = parseCount(text)) {
        status.kind = JobStatus::pages;
        status.number = *page;
    } else {
        status.kind = JobStatus::other;
    }
    return status;
}

JobStatus readJobStatus(const std::string& jobDirectory) {
    char bytes[kStatusLimit];
    const int64_t n = readFileHead(jobDirectory + "_status", bytes, sizeof bytes);
    if (n < 0 || static_cast<size_t>(n) >= kStatusLimit) return {};
    return parseJobStatus(std::string_view(bytes, static_cast<size_t>(n)));
}

int deleteJobDirectory(const std::string& jobDirectory) {
    std::string path = jobDirectory;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return removeTree(pathFromUtf8(path), false);
}

std::optional<uint64_t> freeDiskSpace(const std::string& path) {
#ifdef _WIN32
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(widePath(path).c_str(), &available, nullptr, nullptr)) return std::nullopt;
    return static_cast<uint64_t>(available.QuadPart);
#else
    struct statvfs info {};
    if (::statvfs(path.c_str(), &info) != 0) return std::nullopt;
    return static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
#endif
}

// ---------------------------------------------------------------------------
// The worker thread and what it shares with the user-interface thread. The
// page counter may be read at any time; everything else the worker writes is
// read only after the finished flag, which it sets last (release) and the
// tick reads with acquire.

struct JobMonitor::Worker {
    std::string baseDirectory, jobDirectory, outputPath;
    int priority = 0;

    std::atomic<uint32_t> currentPage{1};

    float docWidth = 0, docHeight = 0;
    uint32_t backgroundColor = 0;
    unsigned version = 0;
    bool compressed = false;
    uint32_t pageCount = 0;
    int result = 0;

    std::atomic<bool> finished{false};
};

namespace {

// Windows' lower thread priorities, as nice values of this thread.
void lowerThreadPriority(int priority) {
    if (priority != -1 && priority != -2) return;
#ifdef _WIN32
    (void)::SetThreadPriority(::GetCurrentThread(),
                              priority == -1 ? THREAD_PRIORITY_BELOW_NORMAL : THREAD_PRIORITY_LOWEST);
#else
    const int nice = priority == -1 ? 10 : 19;
    (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), nice);
#endif
}

template <typename W>
void runWorker(W& worker) {
    lowerThreadPriority(worker.priority);
    // Decimal points are points whatever the process locale says.
#ifdef _WIN32
    // The run-time's locale is made this thread's own first.
    (void)::_configthreadlocale(_ENABLE_PER_THREAD_LOCALE);
    (void)::setlocale(LC_NUMERIC, "C");
#else
    const locale_t cLocale = ::newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(nullptr));
    const locale_t previous = cLocale ? ::uselocale(cLocale) : static_cast<locale_t>(nullptr);
#endif
    int result = 0;
    try {
        auto job = std::make_unique<ConversionJob>();
        if (!job->setBaseDirectory(worker.baseDirectory)) {
            result = -2;
        } else if (!job->openJob(worker.jobDirectory)) {
            result = -1;
        } else {
            job->setPageCounter(&worker.currentPage);
            result = job->convert(worker.outputPath);
            if (result > 0) {
                worker.docWidth = job->docPixelWidth;
                worker.docHeight = job->docPixelHeight;
                worker.backgroundColor = job->backgroundColor;
                worker.version = job->version;
                worker.compressed = job->compressed;
                worker.pageCount = static_cast<uint32_t>(job->index().pages.size());
                result = 1;
            }
        }
    } catch (const std::bad_alloc&) {
        result = -3;
    } catch (...) {
        result = 0;
    }
#ifndef _WIN32
    if (previous) ::uselocale(previous);
    if (cLocale) ::freelocale(cLocale);
#endif
    worker.result = result;
    worker.finished.store(true, std::memory_order_release);
}

}  // namespace

// ---------------------------------------------------------------------------

JobMonitor::JobMonitor(UserInterface& ui, MonitorTimer& timer, MonitorConfig config)
    : ui_(ui), timer_(timer), config_(std::move(config)) {
    appendSeparator(config_.baseDirectory);
    appendSeparator(config_.spoolDirectory);
    jobSettings_.setBaseDirectory(config_.baseDirectory);
}

JobMonitor::~JobMonitor() {
    joinWorker();
    releaseJob();
}

void JobMonitor::startTimer() {
    timer_.stop();
    timer_.start(kMonitorIntervalMs);
}

void JobMonitor::stopTimer() { timer_.stop(); }

void JobMonitor::releaseJob() {
    if (jobMutex_.owned()) (void)jobMutex_.release();
    jobMutex_.close();
}

int JobMonitor::fail() {
    state_ = MonitorState::Failed;
    outcomeShown_ = false;
    return 0;
}

int JobMonitor::tick() {
    const MonitorState before = state_;
    switch (state_) {
        case MonitorState::Start:
            shownPage_ = 1;
            ui_.enableMovieCommands(false);
            ui_.setStatusText(config_.attached ? kReceivingStatus : kIdleStatus);
            ui_.loadMovie(config_.baseDirectory + (config_.attached ? "Working.swf" : "Searching.swf"), kWhite,
                          config_.preferences.flashAlign, true);
            state_ = MonitorState::Searching;
            (void)stepSearching();
            break;
        case MonitorState::Searching: (void)stepSearching(); break;
        case MonitorState::Receiving: stepReceiving(); break;
        case MonitorState::Converting: stepConverting(); break;
        case MonitorState::Done:
        case MonitorState::Failed: stepFinished(); break;
    }
    return state_ == MonitorState::Failed && before != MonitorState::Failed ? 0 : 1;
}

int JobMonitor::stepSearching() {
    FindHandle find;
    if (!find.begin(pathFromUtf8(config_.spoolDirectory))) return fail();
    DirectoryEntry entry;
    while (find.next(entry)) {
        if (!entry.isDirectory || entry.name.empty() || entry.name == u"." || entry.name == u"..") continue;
        if (entry.name.front() == u'_') continue;
        const std::string name = toUtf8(entry.name);
        const std::string directory = config_.spoolDirectory + name + "/";
        const JobStatus status = readJobStatus(directory);
        if (status.kind == JobStatus::unreadable) continue;
        // A failed job is removed whoever holds it: nobody can convert it.
        if (status.kind == JobStatus::error) {
            (void)deleteJobDirectory(directory);
            continue;
        }
        NamedMutex mutex;
        if (!mutex.create("tessaly" + name, true)) continue;
        if (mutex.alreadyExists() || !mutex.owned()) continue;
        if (fileExists(directory + "_deleteme")) {
            if (status.kind == JobStatus::end && name.front() != '-') (void)deleteJobDirectory(directory);
            continue;
        }
        // The job may have been finished and deleted by the instance that held
        // the mutex between our status read and our claim: look again.
        if (readJobStatus(directory).kind == JobStatus::unreadable) continue;
        jobMutex_ = std::move(mutex);
        jobDirectory_ = directory;
        jobName_ = name;
        shownPage_ = 1;
        ui_.setStatusText(kReceivingStatus);
        ui_.loadMovie(config_.baseDirectory + "Working.swf", kWhite, config_.preferences.flashAlign, true);
        state_ = MonitorState::Receiving;
        return 1;
    }
    return 1;
}

void JobMonitor::stepReceiving() {
    const JobStatus status = readJobStatus(jobDirectory_);
    switch (status.kind) {
        case JobStatus::unreadable: (void)fail(); return;
        case JobStatus::error:
            (void)deleteJobDirectory(jobDirectory_);
            forgetJob(false);
            (void)fail();
            return;
        case JobStatus::end:
            if (!startConversion()) {
                (void)fail();
                return;
            }
            shownPage_ = 1;
            totalPages_ = status.number;
            state_ = MonitorState::Converting;
            return;
        case JobStatus::pages:
            if (status.number != shownPage_) {
                shownPage_ = status.number;
                ui_.setPlayerVariable("Text", formatNarrow("Receiving Page %u...", shownPage_));
            }
            return;
        case JobStatus::other: return;
    }
}

int JobMonitor::reserveTemporaryOutput() {
    removeMovieFiles();
    delivered_ = false;
#ifdef _WIN32
    // No mkstemp: a random name, created only when it is new.
    std::random_device random;
    std::string pattern;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        pattern = temporaryDirectory(config_.temporaryDirectory) + formatNarrow("tessalydoc%06x", random() & 0xFFFFFF);
        fd = ::_wopen(widePath(pattern).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (fd < 0 && errno != EEXIST) return 0;
    }
    if (fd < 0) return 0;
    const bool written = ::_write(fd, "*", 1) == 1;
    ::_close(fd);
#else
    std::string pattern = temporaryDirectory(config_.temporaryDirectory) + "tessalydocXXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) return 0;
    const bool written = ::write(fd, "*", 1) == 1;
    ::close(fd);
#endif
    temporaryPath_ = pattern;
    movie_.moviePath = temporaryPath_ + ".swf";
    return written ? 1 : 0;
}

int JobMonitor::startConversion() {
    if (!reserveTemporaryOutput()) return 0;
    ui_.setStatusText(kWorkingStatus);
    joinWorker();
    auto worker = std::make_shared<Worker>();
    worker->baseDirectory = config_.baseDirectory;
    worker->jobDirectory = jobDirectory_;
    worker->outputPath = temporaryPath_;
    worker->priority = config_.preferences.encodingPriority;
    try {
        // The timer outlives the monitor, which joins the thread.
        workerThread_ = std::thread([worker, &timer = timer_] {
            runWorker(*worker);
            timer.wakeSoon();
        });
    } catch (const std::system_error&) {
        return 0;
    }
    worker_ = std::move(worker);
    return 1;
}

void JobMonitor::showProgress(uint32_t current) {
    if (totalPages_ > 0) {
        const uint32_t page = std::min(current, totalPages_);
        ui_.setPlayerVariable("Text", formatNarrow("Working Page %u of %u...", page, totalPages_));
        ui_.setPlayerVariable("PageNum", std::to_string(page));
        ui_.setPlayerVariable("PageTotal", std::to_string(totalPages_));
    } else {
        ui_.setPlayerVariable("Text", formatNarrow("Working Page %u...", current));
        ui_.setPlayerVariable("PageNum", std::to_string(current));
    }
}

void JobMonitor::stepConverting() {
    if (!worker_) {
        (void)fail();
        return;
    }
    if (!worker_->finished.load(std::memory_order_acquire)) {
        showProgress(worker_->currentPage.load(std::memory_order_relaxed));
        return;
    }
    finishConversion();
}

void JobMonitor::finishConversion() {
    stopTimer();
    joinWorker();
    const std::shared_ptr<Worker> worker = std::move(worker_);
    bool done = false;
    if (worker->result > 0) {
        const auto temporarySize = fileSize(temporaryPath_);
        if (!temporarySize || *temporarySize == 0) {
            (void)fail();
            startTimer();
            return;
        }
        if (jobSettings_.loadSettings(jobDirectory_ + "media.settings") &&
            ConversionJob::finishMovie(jobSettings_.interfaceSettings, temporaryPath_, movie_.moviePath,
                                       worker->compressed)) {
            const uint64_t size = fileSize(movie_.moviePath).value_or(0);
            if (size > 0) {
                movie_.docWidth = worker->docWidth;
                movie_.docHeight = worker->docHeight;
                movie_.backgroundColor = worker->backgroundColor;
                movie_.version = worker->version;
                compressed_ = worker->compressed;
                // A plain "end" gives no total: the converter counted the pages.
                moviePages_ = totalPages_ > 0 ? totalPages_ : worker->pageCount;
                showFinishedMovie(size);
                hasMovie_ = true;
                done = true;
                delivered_ = config_.deliverBeforeRelease && config_.deliverBeforeRelease(*this);
            }
        }
    }
    if (done) {
        state_ = MonitorState::Done;
        outcomeShown_ = false;
    } else {
        (void)fail();
    }
    forgetJob(true);
    startTimer();
}

void JobMonitor::showFinishedMovie(uint64_t size) {
    ui_.setStatusText(formatNarrow(" %u %s - %.1f KB Size - Flash %u%s compatible%s", moviePages_,
                                   moviePages_ == 1 ? "Page" : "Pages", static_cast<double>(size) / 1024.0,
                                   movie_.version, movie_.version < 6 ? "+" : "",
                                   compressed_ ? " (compressed) " : ""));
    // No warning when the player cannot tell its version.
    const uint32_t installed = ui_.playerVersion() >> 16;
    if (ui_.playerVersion() != 0 && installed < movie_.version) {
        std::string text = formatNarrow(
            "The generated Flash movie needs Flash player version %u, while your\n"
            "currently installed Flash player version is %u.\n"
            "Since the Flash movie was generated for a latter version of the player\n"
            "it might not display correctly on your system.\n\n"
            "To download the latest version of the Flash player, please visit:\n",
            movie_.version, installed);
        text += kPlayerDownload;
        showMessage(ui_, text, "Flash Player Version Problem", MessageIcon::warning);
    }
    ui_.loadMovie(movie_.moviePath, movie_.backgroundColor, config_.preferences.flashAlign, true);
}

int JobMonitor::refinishMovie() {
    if (state_ != MonitorState::Done || !hasMovie_ || temporaryPath_.empty() || movie_.moviePath.empty()) return 0;
    // The movie file is replaced whole: a failure leaves the one shown.
    if (!ConversionJob::finishMovie(jobSettings_.interfaceSettings, temporaryPath_, movie_.moviePath, compressed_))
        return 0;
    const uint64_t size = fileSize(movie_.moviePath).value_or(0);
    if (size == 0) return 0;
    showFinishedMovie(size);
    // What was saved before is not this movie.
    saved_ = false;
    return 1;
}

void JobMonitor::stepFinished() {
    stopTimer();
    if (outcomeShown_) return;
    outcomeShown_ = true;
    if (state_ == MonitorState::Failed) {
        const auto freeSpace =
            config_.freeSpace ? config_.freeSpace(config_.spoolDirectory) : freeDiskSpace(config_.spoolDirectory);
        const bool lowSpace = !freeSpace || *freeSpace / (1024 * 1024) < kLowDiskSpaceMb;
        const std::string text = lowSpace ? std::string(kDiskSpaceMessage) : failureMessage();
        showMessage(ui_, text, kErrorTitle, MessageIcon::warning);
        ui_.closeWindow();
        return;
    }
    if (delivered_) {
        saved_ = true;
        return;
    }
    if (config_.automaticOutput && config_.automaticOutput(*this)) {
        saved_ = true;
        ui_.closeWindow();
        return;
    }
    saved_ = false;
    ui_.enableMovieCommands(true);
    if (config_.preferences.startMode == 1) ui_.restoreWindow();
}

void JobMonitor::forgetJob(bool deleteDirectory) {
    if (deleteDirectory && !jobName_.empty()) {
        if (jobName_.front() != '-') {
            (void)deleteJobDirectory(jobDirectory_);
        } else {
            // A job that is kept is marked as done with, or every later scan
            // would claim and convert it again.
            (void)writeWholeFile(jobDirectory_ + "_deleteme", "asap", 4);
        }
    }
    jobDirectory_.clear();
    jobName_.clear();
    releaseJob();
}

void JobMonitor::removeMovieFiles() {
    if (!movie_.moviePath.empty()) std::remove(movie_.moviePath.c_str());
    if (!temporaryPath_.empty()) {
        std::remove(temporaryPath_.c_str());
        // The page View in Browser wrote beside the movie.
        std::remove((temporaryPath_ + ".htm").c_str());
    }
    movie_.moviePath.clear();
    temporaryPath_.clear();
    hasMovie_ = false;
}

void JobMonitor::joinWorker() {
    if (workerThread_.joinable()) workerThread_.join();
}

int JobMonitor::cleanUpOnClose() {
    stopTimer();
    const int closeSave = config_.preferences.closeSave;
    if ((state_ == MonitorState::Done || state_ == MonitorState::Failed) && hasMovie_ && !saved_ && closeSave != 0) {
        Message message{"The generated Flash movie was not saved - would you like to save it now?",
                        closeSave == 2 ? "Save Flash Movie with HTML?" : "Save Flash Movie?", MessageIcon::warning,
                        MessageButtons::yesNoCancel};
        message.topmost = true;
        const MessageAnswer answer = ui_.messageBox(message);
        if (answer == MessageAnswer::cancel) return 0;
        if (answer == MessageAnswer::yes && config_.saveMovie) (void)config_.saveMovie(*this, closeSave == 2);
    }
    // A conversion still running writes into the temporary output: it is
    // waited for so that its files can be removed.
    joinWorker();
    worker_.reset();
    removeMovieFiles();
    if (holdsJob()) {
        const bool beforeConverting = state_ == MonitorState::Start || state_ == MonitorState::Searching ||
                                      state_ == MonitorState::Receiving;
        if (beforeConverting) {
            (void)writeWholeFile(jobDirectory_ + "_deleteme", "asap", 4);
            forgetJob(false);
        } else {
            forgetJob(true);
        }
    }
    releaseJob();
    saved_ = true;
    shownPage_ = 1;
    return 1;
}

}  // namespace tessaly::app
