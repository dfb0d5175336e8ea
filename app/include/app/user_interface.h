#pragma once
// What the application's logic asks of the user interface. The logic never
// calls a toolkit: it shows its messages and asks its questions through this
// interface, which the application implements over its toolkit, and which a
// tool or a test implements without one.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly::app {

enum class MessageIcon { plain, information, warning, error, question };
enum class MessageButtons { ok, okCancel, yesNo, yesNoCancel };
enum class MessageAnswer { ok, cancel, yes, no };

struct Message {
    std::string_view text;
    std::string_view title;
    MessageIcon icon = MessageIcon::plain;
    MessageButtons buttons = MessageButtons::ok;
    // Above every other window.
    bool topmost = false;
    // Not owned by the main window (shown while it is hidden or gone).
    bool ownerless = false;
};

class UserInterface {
public:
    virtual ~UserInterface() = default;
    // Shows the message and waits for the answer: one of the buttons asked
    // for; closing the box counts as cancel (no for Yes/No).
    virtual MessageAnswer messageBox(const Message& message) = 0;

    // The main window's status line.
    virtual void setStatusText(std::string_view /*text*/) {}
    // Enables or disables, together, the commands that need a finished movie
    // (saving, viewing, the interface's options).
    virtual void enableMovieCommands(bool /*enable*/) {}
    // Brings a window that waits minimised back to normal size.
    virtual void restoreWindow() {}
    // Asks the window to close; its close runs the owner's clean-up.
    virtual void closeWindow() {}

    // The player. Loads the movie file with the background colour (0xRRGGBB)
    // and vertical alignment (0 centre, 1 top, 2 bottom); force reloads a
    // movie of the same name.
    virtual void loadMovie(std::string_view /*path*/, uint32_t /*background*/, int /*align*/, bool /*force*/) {}
    // Sets a variable of the movie playing.
    virtual void setPlayerVariable(std::string_view /*name*/, std::string_view /*value*/) {}
    // The player's version, major in the high 16 bits; 0 when unknown.
    virtual uint32_t playerVersion() { return 0; }

    // A save dialog: the path chosen, or nothing when cancelled. filter lists
    // description and pattern pairs separated by "|".
    virtual std::optional<std::string> saveFileName(std::string_view /*title*/, std::string_view /*initialPath*/,
                                                    std::string_view /*filter*/) {
        return std::nullopt;
    }
};

// A plain message with an OK button.
inline void showMessage(UserInterface& ui, std::string_view text, std::string_view title,
                        MessageIcon icon = MessageIcon::plain) {
    (void)ui.messageBox(Message{text, title, icon, MessageButtons::ok});
}

// A warning asking Yes or No; true for Yes.
inline bool askYesNo(UserInterface& ui, std::string_view text, std::string_view title,
                     MessageIcon icon = MessageIcon::warning) {
    return ui.messageBox(Message{text, title, icon, MessageButtons::yesNo}) == MessageAnswer::yes;
}

}  // namespace tessaly::app
