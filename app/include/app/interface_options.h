#pragma once
// The Interface Options dialog's logic over the interface settings of the
// movie shown: which parameters the list offers, what the value control
// shows, when an edit is committed and what is said when it cannot be, the
// factory options, and Apply, which has the movie rebuilt. The window draws
// the controls from this state and forwards the user's actions.
//
// Also the About Interface dialog's texts.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/user_interface.h"
#include "composer/settings.h"

namespace tessaly::app {

inline constexpr std::string_view kNoInterfaceOptions = "No options available...";
inline constexpr std::string_view kOptionsLabel = "&Options:";
inline constexpr std::string_view kValueLabel = "&Value:";
inline constexpr std::string_view kApplyLabel = "Apply";
inline constexpr std::string_view kFactoryDefaultsLabel = "&Factory Defaults";

// "Interface Options: <name>".
std::string interfaceOptionsTitle(std::string_view interfaceName);
// "About Interface <name>".
std::string aboutInterfaceTitle(std::string_view interfaceName);

// The entries of an options list ("a|b=text|c") as the drop-down shows
// them, each up to its "=".
std::vector<std::string> shownOptions(std::string_view options);
// The position of the entry equal to the value (ignoring case); -1 when none is.
int matchingOption(const std::vector<std::string>& shown, std::string_view value);

class InterfaceOptions {
public:
    // Works on the settings given, which must outlive it. rebuild finishes and
    // reloads the movie with the settings as they are: 1 or 0.
    InterfaceOptions(UserInterface& ui, JobSettings& settings, std::function<int()> rebuild);

    std::string title() const { return interfaceOptionsTitle(settings_.interfaceSettings.name); }

    // The list: the names of the parameters that are not hidden, in order;
    // "No options available..." alone when there are none.
    std::vector<std::string> listEntries() const;
    // False when the interface has no parameter to show: the controls are
    // then disabled and empty.
    bool hasOptions() const { return !visible_.empty(); }
    // The selected list row; -1 when there are no options.
    int selection() const { return selection_; }

    // What the value control shows for the selected parameter.
    struct ValueView {
        bool dropDown = false;             // the parameter has options
        std::string text;                  // the text field's text
        std::vector<std::string> entries;  // the drop-down's entries
        int current = -1;                  // the entry matching the value; -1 none
        std::string description;
    };
    // For the selected parameter as edited so far.
    ValueView valueView() const;

    // The user typed into the text field.
    void editText(std::string_view text);
    // The user chose a drop-down entry.
    void chooseEntry(int entry);
    bool changed() const { return changed_; }

    // What became of an attempt to commit an edit.
    enum class Outcome {
        ok,             // committed, or nothing to commit
        invalidNumber,  // the message was shown: the selection stays, the text field takes the focus
        failed,         // the movie could not be rebuilt
    };
    // The user selected another list row: the edit of the selected parameter
    // is committed first. On invalidNumber the selection stays where it was.
    Outcome select(int row);
    // Apply: commits the edit, then has the movie rebuilt.
    Outcome apply();

    // Factory Defaults is offered only when the interface has factory options.
    bool factoryDefaultsEnabled() const;
    // Asks, restores the factory options and shows the list again: 1 when
    // restored, 0 when declined or failed (the failure is shown).
    int restoreFactoryDefaults();

    // Shows the settings' parameters afresh (the first selected, no edit).
    void reload();

private:
    const InterfaceParam* selectedParam() const;
    Outcome commit();

    UserInterface& ui_;
    JobSettings& settings_;
    std::function<int()> rebuild_;
    std::vector<size_t> visible_;  // parameter indices of the list rows
    int selection_ = -1;
    bool changed_ = false;
    std::string editedText_;  // the text field's text, or the chosen entry's shown text
    int editedEntry_ = -1;
};

}  // namespace tessaly::app
