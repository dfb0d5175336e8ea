#pragma once
// The user interface without a screen: questions are answered from a script
// given in advance, and everything shown is recorded (and, when a stream is
// given, printed as lines), for tests and for scripted or server use.

#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/user_interface.h"

namespace tessaly::app {

class HeadlessUserInterface : public UserInterface {
public:
    // A message that was shown, with the answer it got.
    struct ShownMessage {
        std::string text;
        std::string title;
        MessageIcon icon = MessageIcon::plain;
        MessageButtons buttons = MessageButtons::ok;
        MessageAnswer answer = MessageAnswer::ok;
    };
    struct LoadedMovie {
        std::string path;
        uint32_t background = 0;
        int align = 0;
        bool force = false;
    };

    // log, when given, receives one line per status text and message.
    explicit HeadlessUserInterface(std::FILE* log = nullptr) : log_(log) {}

    // Answers for the next questions, in order. A question with no scripted
    // answer left, or whose answer is not one of its buttons, gets the
    // answer that closing the box gives (cancel, or no for Yes/No).
    void scriptAnswers(std::vector<MessageAnswer> answers);
    // Paths for the next save dialogs, in order; nothing scripted cancels.
    void scriptSavePaths(std::vector<std::string> paths);
    void setPlayerVersion(uint32_t version) { playerVersion_ = version; }

    MessageAnswer messageBox(const Message& message) override;
    void setStatusText(std::string_view text) override;
    void enableMovieCommands(bool enable) override { commandsEnabled_ = enable; }
    void restoreWindow() override { ++restoreCount_; }
    void closeWindow() override { closeRequested_ = true; }
    void loadMovie(std::string_view path, uint32_t background, int align, bool force) override;
    void setPlayerVariable(std::string_view name, std::string_view value) override;
    uint32_t playerVersion() override { return playerVersion_; }
    std::optional<std::string> saveFileName(std::string_view title, std::string_view initialPath,
                                            std::string_view filter) override;

    const std::vector<ShownMessage>& messages() const { return messages_; }
    const std::vector<std::string>& statusTexts() const { return statusTexts_; }
    std::string statusText() const { return statusTexts_.empty() ? std::string() : statusTexts_.back(); }
    const std::vector<LoadedMovie>& movies() const { return movies_; }
    // The last value each player variable was set to; empty when never set.
    std::string playerVariable(const std::string& name) const;
    // Every value the variable was given, in order.
    const std::vector<std::string>& playerVariableHistory(const std::string& name) const;
    bool commandsEnabled() const { return commandsEnabled_; }
    int restoreCount() const { return restoreCount_; }
    bool closeRequested() const { return closeRequested_; }
    void clearCloseRequest() { closeRequested_ = false; }
    // The titles of the save dialogs shown.
    const std::vector<std::string>& saveDialogs() const { return saveDialogs_; }

private:
    std::FILE* log_ = nullptr;
    std::deque<MessageAnswer> answers_;
    std::deque<std::string> savePaths_;
    std::vector<ShownMessage> messages_;
    std::vector<std::string> statusTexts_;
    std::vector<LoadedMovie> movies_;
    std::map<std::string, std::vector<std::string>> variables_;
    std::vector<std::string> saveDialogs_;
    uint32_t playerVersion_ = 0;
    bool commandsEnabled_ = false;
    int restoreCount_ = 0;
    bool closeRequested_ = false;
};

}  // namespace tessaly::app
