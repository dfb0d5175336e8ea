#include "app/headless_ui.h"

#include <utility>

namespace tessaly::app {

namespace {

bool offered(MessageButtons buttons, MessageAnswer answer) {
    switch (buttons) {
        case MessageButtons::ok: return answer == MessageAnswer::ok;
        case MessageButtons::okCancel: return answer == MessageAnswer::ok || answer == MessageAnswer::cancel;
        case MessageButtons::yesNo: return answer == MessageAnswer::yes || answer == MessageAnswer::no;
        case MessageButtons::yesNoCancel: return answer != MessageAnswer::ok;
    }
    return false;
}

MessageAnswer closingAnswer(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::ok: return MessageAnswer::ok;
        case MessageButtons::yesNo: return MessageAnswer::no;
        default: return MessageAnswer::cancel;
    }
}

const char* answerName(MessageAnswer answer) {
    switch (answer) {
        case MessageAnswer::ok: return "ok";
        case MessageAnswer::cancel: return "cancel";
        case MessageAnswer::yes: return "yes";
        case MessageAnswer::no: return "no";
    }
    return "?";
}

}  // namespace

void HeadlessUserInterface::scriptAnswers(std::vector<MessageAnswer> answers) {
    answers_.assign(answers.begin(), answers.end());
}

void HeadlessUserInterface::scriptSavePaths(std::vector<std::string> paths) {
    savePaths_.assign(std::make_move_iterator(paths.begin()), std::make_move_iterator(paths.end()));
}

MessageAnswer HeadlessUserInterface::messageBox(const Message& message) {
    MessageAnswer answer = closingAnswer(message.buttons);
    if (!answers_.empty()) {
        if (offered(message.buttons, answers_.front())) answer = answers_.front();
        answers_.pop_front();
    }
    messages_.push_back({std::string(message.text), std::string(message.title), message.icon, message.buttons, answer});
    if (log_) {
        std::fprintf(log_, "message: %.*s: %.*s [%s]\n", static_cast<int>(message.title.size()), message.title.data(),
                     static_cast<int>(message.text.size()), message.text.data(), answerName(answer));
        std::fflush(log_);
    }
    return answer;
}

void HeadlessUserInterface::setStatusText(std::string_view text) {
    statusTexts_.emplace_back(text);
    if (log_) {
        std::fprintf(log_, "status:%.*s\n", static_cast<int>(text.size()), text.data());
        std::fflush(log_);
    }
}

void HeadlessUserInterface::loadMovie(std::string_view path, uint32_t background, int align, bool force) {
    movies_.push_back({std::string(path), background, align, force});
}

void HeadlessUserInterface::setPlayerVariable(std::string_view name, std::string_view value) {
    auto& history = variables_[std::string(name)];
    const bool changed = history.empty() || history.back() != value;
    history.emplace_back(value);
    if (log_ && changed && name == "Text") {
        std::fprintf(log_, "progress: %.*s\n", static_cast<int>(value.size()), value.data());
        std::fflush(log_);
    }
}

std::string HeadlessUserInterface::playerVariable(const std::string& name) const {
    const auto it = variables_.find(name);
    return it == variables_.end() || it->second.empty() ? std::string() : it->second.back();
}

const std::vector<std::string>& HeadlessUserInterface::playerVariableHistory(const std::string& name) const {
    static const std::vector<std::string> none;
    const auto it = variables_.find(name);
    return it == variables_.end() ? none : it->second;
}

std::optional<std::string> HeadlessUserInterface::saveFileName(std::string_view title, std::string_view /*initialPath*/,
                                                               std::string_view /*filter*/) {
    saveDialogs_.emplace_back(title);
    if (savePaths_.empty()) return std::nullopt;
    std::string path = std::move(savePaths_.front());
    savePaths_.pop_front();
    return path;
}

}  // namespace tessaly::app
