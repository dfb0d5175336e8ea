#pragma once
// Files dropped on the window are printed to the Tessaly printer as the
// command line's files are, one after another on a thread of their own so
// that the window goes on while a file prints.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/automatic_printing.h"
#include "app/job_monitor.h"
#include "app/user_interface.h"

namespace tessaly::app {

// The local files a drop's "text/uri-list" names, in order: file: addresses
// on this machine (no host, or "localhost"), percent-decoded. Comment lines,
// other schemes, other hosts and names that decode to a NUL or to a relative
// path are left out.
std::vector<std::string> filesFromUriList(std::string_view uriList);

// What the window does once the files dropped on it went to the printer:
// an instance that holds no job yet closes (the printed files start
// instances of their own); one receiving or converting a job goes on polling;
// one that shows a result leaves everything as it is.
enum class AfterDrop { closeWindow, restartTimer, leave };
AfterDrop afterDroppedFiles(MonitorState state);

// Prints dropped files in the order they came; a file that fails to print
// is said ("Printing Error"), as the print program's own account of it goes
// to no one. The messages printing shows
// are kept until the window takes them on its own thread; `wake` is called
// (from the printing thread) when there are some, or when a batch ends.
class DroppedFilePrinter {
public:
    struct Shown {
        std::string text, title;
        MessageIcon icon = MessageIcon::plain;
        bool topmost = false;
    };

    DroppedFilePrinter(FilePrinter print, std::function<void()> wake);
    // Waits for the file printing now; files still waiting are not printed.
    ~DroppedFilePrinter();
    DroppedFilePrinter(const DroppedFilePrinter&) = delete;
    DroppedFilePrinter& operator=(const DroppedFilePrinter&) = delete;

    void print(std::vector<std::string> files);
    // The messages shown since the last call.
    std::vector<Shown> takeMessages();
    // No file printing or waiting.
    bool idle();

private:
    class Collector;
    void run();

    FilePrinter print_;
    std::function<void()> wake_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> waiting_;
    std::vector<Shown> messages_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace tessaly::app
