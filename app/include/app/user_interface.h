#pragma once
// What the application's logic asks of the user interface. The logic never
// calls a toolkit: it shows its messages and asks its questions through this
// interface, which the application implements over its toolkit, and which a
// tool or a test implements without one.

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
