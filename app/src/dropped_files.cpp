#include "app/dropped_files.h"

#include "platform/registry.h"

namespace tessaly::app {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view start) {
    if (text.size() < start.size()) return false;
    for (size_t i = 0; i < start.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != start[i]) return false;
    }
    return true;
}

// The local path a file: address names; empty when it names none.
std::string localPath(std::string_view uri) {
    if (!startsWithIgnoringCase(uri, "file:")) return {};
    std::string_view rest = uri.substr(5);
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        const size_t slash = rest.find('/');
        if (slash == std::string_view::npos) return {};
        const std::string_view host = rest.substr(0, slash);
        if (!host.empty() && !(host.size() == 9 && startsWithIgnoringCase(host, "localhost"))) return {};
        rest.remove_prefix(slash);
    }
    // A query or fragment is no part of a file name.
    rest = rest.substr(0, rest.find_first_of("?#"));
    std::string path;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '\0') return {};  // a name cannot hold one
        if (rest[i] != '%') {
            path += rest[i];
            continue;
        }
        if (i + 2 >= rest.size()) return {};
        const int high = hexValue(rest[i + 1]), low = hexValue(rest[i + 2]);
        if (high < 0 || low < 0) return {};
        const char c = char(high * 16 + low);
        if (c == '\0') return {};
        path += c;
        i += 2;
    }
    if (path.empty() || path.front() != '/') return {};
    return path;
}

}  // namespace

std::vector<std::string> filesFromUriList(std::string_view uriList) {
    std::vector<std::string> files;
    size_t at = 0;
    while (at < uriList.size()) {
        size_t end = uriList.find('\n', at);
        if (end == std::string_view::npos) end = uriList.size();
        std::string_view line = uriList.substr(at, end - at);
        at = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        if (line.empty() || line.front() == '#') continue;
        std::string path = localPath(line);
        if (!path.empty()) files.push_back(std::move(path));
    }
    return files;
}

// The user interface printing talks to: it keeps the messages for the
// window, which shows them on its own thread. Its questions are answered as
// closing the box would.
class DroppedFilePrinter::Collector : public UserInterface {
public:
    explicit Collector(DroppedFilePrinter& owner) : owner_(owner) {}
    MessageAnswer messageBox(const Message& message) override {
        {
            std::lock_guard lock(owner_.mutex_);
            owner_.messages_.push_back(
                {std::string(message.text), std::string(message.title), message.icon, message.topmost});
        }
        if (owner_.wake_) owner_.wake_();
        switch (message.buttons) {
            case MessageButtons::ok: return MessageAnswer::ok;
            case MessageButtons::yesNo: return MessageAnswer::no;
            default: return MessageAnswer::cancel;
        }
    }

private:
    DroppedFilePrinter& owner_;
};

AfterDrop afterDroppedFiles(MonitorState state) {
    switch (state) {
        case MonitorState::Start:
        case MonitorState::Searching: return AfterDrop::closeWindow;
        case MonitorState::Receiving:
        case MonitorState::Converting: return AfterDrop::restartTimer;
        case MonitorState::Done:
        case MonitorState::Failed: return AfterDrop::leave;
    }
    return AfterDrop::leave;
}

DroppedFilePrinter::DroppedFilePrinter(FilePrinter print, std::function<void()> wake)
    : print_(std::move(print)), wake_(std::move(wake)) {}

DroppedFilePrinter::~DroppedFilePrinter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        waiting_.clear();
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void DroppedFilePrinter::print(std::vector<std::string> files) {
    if (files.empty()) return;
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    for (std::string& file : files) waiting_.push_back(std::move(file));
    if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
    changed_.notify_all();
}

std::vector<DroppedFilePrinter::Shown> DroppedFilePrinter::takeMessages() {
    std::lock_guard lock(mutex_);
    std::vector<Shown> taken;
    taken.swap(messages_);
    return taken;
}

bool DroppedFilePrinter::idle() {
    std::lock_guard lock(mutex_);
    return waiting_.empty() && !busy_;
}

void DroppedFilePrinter::run() {
    Collector ui(*this);
    ValueStore store = ValueStore::configured();
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        if (stopping_) return;
        CommandLine line;
        line.files.push_back(std::move(waiting_.front()));
        waiting_.pop_front();
        busy_ = true;
        lock.unlock();
        // A file that could not be printed is said: nobody reads what the
        // print program wrote about it.
        const FilePrinter print = [&](const std::string& path) {
            const PrintResult result = print_(path);
            if (result == PrintResult::failed) {
                const std::string text = "Could not print this file:\n" + path;
                Message message{text, "Printing Error", MessageIcon::warning};
                (void)ui.messageBox(message);
            }
            return result;
        };
        (void)printCommandLineFiles(line, ui, store, print);
        lock.lock();
        busy_ = false;
        if (waiting_.empty() && wake_) {
            lock.unlock();
            wake_();
            lock.lock();
        }
    }
}

}  // namespace tessaly::app
