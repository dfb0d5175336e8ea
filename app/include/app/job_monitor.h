#pragma once
// The job monitor: finds the jobs the printer driver writes into the spool
// directory, claims each one for this instance with the named mutex
// "tessaly<name>", follows its status file while pages arrive, converts it on
// a worker thread and shows the finished movie. It runs one step per tick of
// a 500 ms timer on the user-interface thread; the timer is an interface so
// that a window, a console loop or a test drives the ticks.
//
// Job directory: <spool directory><name>/ with the status file "_status"
// ("begin", the number of the page being written, "end" or "end:N", "error").
// An instance that gives a job up writes "_deleteme" ("asap") into it; a
// later scan deletes such a job once its status says "end". Directories whose
// names begin with "_" are not jobs; a job whose name begins with "-" is never
// deleted by the monitor: once finished it is marked with "_deleteme" instead,
// so that no scan takes it again.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "app/html_writer.h"
#include "app/user_interface.h"
#include "composer/settings.h"
#include "platform/named_mutex.h"

namespace tessaly::app {

enum class MonitorState { Start, Searching, Receiving, Converting, Done, Failed };

inline constexpr unsigned kMonitorTimerId = 29315;
inline constexpr unsigned kMonitorIntervalMs = 500;

// The timer that drives tick(): set with an interval, killed by stop.
class MonitorTimer {
public:
    virtual ~MonitorTimer() = default;
    // Sets the timer; a running one is killed first.
    virtual void start(unsigned intervalMs) = 0;
    virtual void stop() = 0;
    virtual bool running() const = 0;
    // Called from the worker thread when the conversion has ended: a timer
    // that can may expire at once, so the movie is finished without waiting
    // out the interval. Must be safe to call from any thread.
    virtual void wakeSoon() {}
};

// A timer for a loop without a window: waitForTick sleeps until the next
// expiry of a running timer.
class PollingTimer : public MonitorTimer {
public:
    void start(unsigned intervalMs) override;
    void stop() override { running_ = false; }
    bool running() const override { return running_; }
    void wakeSoon() override;
    // Sleeps until the timer is due (or woken) and schedules the next expiry;
    // false at once when the timer is not running.
    bool waitForTick();

private:
    bool running_ = false;
    unsigned interval_ = kMonitorIntervalMs;
    std::chrono::steady_clock::time_point next_{};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool woken_ = false;
};

// What a job's status file says.
struct JobStatus {
    enum Kind { unreadable, error, end, pages, other };
    Kind kind = unreadable;
    // pages: the page being written; end: the total after "end:", 0 when unknown.
    uint32_t number = 0;
};
// Reads the text of a status file (compared ignoring case).
JobStatus parseJobStatus(std::string_view text);
// Reads "_status" in the job directory (ending in "/"); 64 bytes or more
// count as unreadable.
JobStatus readJobStatus(const std::string& jobDirectory);

// Deletes a job directory with its contents. Refuses paths longer than 256
// characters and stops at the first entry that cannot be deleted: 1 or 0.
[[nodiscard]] int deleteJobDirectory(const std::string& jobDirectory);

// Free space in bytes of the file system holding the path; nothing when it
// cannot be read.
std::optional<uint64_t> freeDiskSpace(const std::string& path);

// The user's preferences the monitor reads (stored values and ranges with
// the preferences).
struct MonitorPreferences {
    int startMode = 2;         // 3 maximized, 2 normal, 1 minimized until done, 0 minimized
    int closeSave = 1;         // 0 don't prompt, 1 prompt and save Flash, 2 prompt and save HTML
    int encodingPriority = 0;  // 0 normal, -1 low, -2 very low
    int flashAlign = kFlashAlignTop;
};

class JobMonitor;

struct MonitorConfig {
    std::string baseDirectory;   // the installation's data, ending in "/"
    std::string spoolDirectory;  // ending in "/"; entry names are appended to it
    bool attached = false;
    MonitorPreferences preferences;
    // Where the temporary output is reserved; empty: $TMPDIR, else /tmp.
    std::string temporaryDirectory;
    // Free space of the spool directory's file system; freeDiskSpace when empty.
    std::function<std::optional<uint64_t>(const std::string&)> freeSpace;
    // Automatic output of a finished movie: true when it took the movie.
    std::function<bool(JobMonitor&)> automaticOutput;
    // Delivery of a finished movie while the job is still held, before its
    // directory is deleted and its mutex released: true when the movie was
    // kept somewhere for good (then it counts as saved, and the step after
    // neither offers it to automatic output nor enables the commands). A process without a
    // user to hand the movie to uses it so that dying at any moment loses no
    // job: until the movie is kept, the job stays in the spool directory.
    std::function<bool(JobMonitor&)> deliverBeforeRelease;
    // Saving on the close prompt's Yes (html: with an HTML page): true when saved.
    std::function<bool(JobMonitor&, bool html)> saveMovie;
};

class JobMonitor {
public:
    JobMonitor(UserInterface& ui, MonitorTimer& timer, MonitorConfig config);
    // Waits for a running conversion to end, then releases what is held
    // (without the clean-up's prompt or deletions).
    ~JobMonitor();
    JobMonitor(const JobMonitor&) = delete;
    JobMonitor& operator=(const JobMonitor&) = delete;

    // One step of the state machine; 0 when the state became Failed in it.
    [[nodiscard]] int tick();
    void startTimer();
    void stopTimer();
    // Releases and closes the job mutex.
    void releaseJob();
    // The clean-up when the window closes: 0 when the user cancelled the
    // close at the save prompt.
    [[nodiscard]] int cleanUpOnClose();

    MonitorState state() const { return state_; }
    bool attached() const { return config_.attached; }
    const MonitorConfig& config() const { return config_; }
    MonitorPreferences& preferences() { return config_.preferences; }

    // The job held, if any.
    bool holdsJob() const { return !jobDirectory_.empty(); }
    const std::string& jobName() const { return jobName_; }
    const std::string& jobDirectory() const { return jobDirectory_; }
    uint32_t totalPages() const { return totalPages_; }

    // The finished movie: its file, size, colour and version.
    bool hasMovie() const { return hasMovie_; }
    const MovieFacts& movie() const { return movie_; }
    bool movieCompressed() const { return compressed_; }
    uint32_t moviePages() const { return moviePages_; }
    const std::string& temporaryOutputPath() const { return temporaryPath_; }
    // The settings the job was printed with (loaded when it finished); kept
    // after the job directory is gone, and changed by the interface's options.
    const JobSettings& jobSettings() const { return jobSettings_; }
    JobSettings& jobSettings() { return jobSettings_; }
    // Finishes the shown movie again from the kept conversion output with the
    // job's interface settings as they are now, and reloads it into the
    // player. The movie then counts as not saved. 1, or 0 when no movie is
    // shown or finishing failed (the movie shown before stays).
    [[nodiscard]] int refinishMovie();
    bool saved() const { return saved_; }
    void setSaved(bool saved) { saved_ = saved; }

private:
    struct Worker;

    [[nodiscard]] int fail();
    int stepSearching();
    void stepReceiving();
    void stepConverting();
    void stepFinished();
    [[nodiscard]] int startConversion();
    [[nodiscard]] int reserveTemporaryOutput();
    void finishConversion();
    void showFinishedMovie(uint64_t size);
    void forgetJob(bool deleteDirectory);
    void removeMovieFiles();
    void joinWorker();
    void showProgress(uint32_t current);

    UserInterface& ui_;
    MonitorTimer& timer_;
    MonitorConfig config_;
    MonitorState state_ = MonitorState::Start;

    std::string jobDirectory_, jobName_;
    NamedMutex jobMutex_;
    uint32_t shownPage_ = 1;
    uint32_t totalPages_ = 0;

    std::string temporaryPath_;
    std::shared_ptr<Worker> worker_;
    std::thread workerThread_;

    MovieFacts movie_;
    bool compressed_ = false;
    bool hasMovie_ = false;
    uint32_t moviePages_ = 0;
    JobSettings jobSettings_;
    bool saved_ = true;
    bool delivered_ = false;
    bool outcomeShown_ = false;
};

}  // namespace tessaly::app
