#pragma once
// The Customize dialog's logic: how each drop-down's list position maps to
// the stored preference, which value a chosen HTML template is kept as, where
// the template chooser starts, and the template check on OK. The window only
// draws the controls and hands their state here.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "app/preferences.h"
#include "app/user_interface.h"

namespace tessaly::app {

inline constexpr std::string_view kCustomizeTitle = "Customize Tessaly";
inline constexpr std::string_view kHtmlSettingsGroup = "HTML Settings";
inline constexpr std::string_view kGeneralSettingsGroup = "General Settings";
inline constexpr std::string_view kSelectTemplateTitle = "Select HTML Template";
inline constexpr std::string_view kSelectTemplateFilter = "HTML Template Files|*.html;*.htm|All Files|*.*";

inline constexpr std::array<std::string_view, 2> kFlashPopupChoices = {"Hide Flash Popup", "Show Flash Popup"};
inline constexpr std::array<std::string_view, 3> kFlashAlignChoices = {"Center", "Top", "Bottom"};
inline constexpr std::array<std::string_view, 4> kStartModeChoices = {"Maximized", "Normal", "Minimized until Done",
                                                                      "Minimized"};
inline constexpr std::array<std::string_view, 3> kEncodingPriorityChoices = {"Normal", "Low", "Very Low"};
inline constexpr std::array<std::string_view, 3> kPromptOnCloseChoices = {"Don't Prompt for Saving", "Save Flash",
                                                                          "Save HTML"};

// The help text of each control, shown when the user asks about it.
inline constexpr std::string_view kTemplateHelp =
    "The location of the HTML template file to use when doing a straight HTML Save on the File menu.";
inline constexpr std::string_view kEncodingPriorityHelp =
    "The priority at which encoding of the Flash movie should be performed. If the other Windows applications "
    "behave slowly when Tessaly is working, lower this value.";
inline constexpr std::string_view kStartModeHelp =
    "Start Tessaly with a maximized, normal or minimized window. Or it can start minimized and then activate when "
    "done.";
inline constexpr std::string_view kPromptOnCloseHelp =
    "When closing and the generated Flash movie was not saved, should Tessaly prompt for saving?";
inline constexpr std::string_view kFlashPopupHelp =
    "Should the full Flash popup appear when the user right-clicks on the Flash movie?\nApplies when saving Flash "
    "with HTML and also on the built-in viewer.";
inline constexpr std::string_view kFlashAlignHelp =
    "Vertical alignment of the movie rectangle inside the player. If set to Top or Bottom, the movie will align to "
    "the top or bottom of the player window.\nApplies when saving Flash with HTML and also on the built-in viewer.";

// What the dialog's controls show: the template text and the list position
// of each drop-down.
struct CustomizeChoices {
    std::string htmlTemplate;
    int flashPopup = 1;
    int flashAlign = 1;
    int startMode = 1;
    int encodingPriority = 0;
    int promptOnClose = 1;
    bool operator==(const CustomizeChoices&) const = default;
};

// The controls' state for the preferences.
CustomizeChoices customizeChoices(const Preferences& preferences);
// The preferences with the controls' state taken in; a position outside its
// list leaves that preference as it was.
void applyCustomizeChoices(const CustomizeChoices& choices, Preferences& preferences);

// The value a template file chosen with "..." is kept as: only its file name
// when it lies in the base directory's template folder (the folder names
// compared ignoring case and slash direction, as long as the name then still
// finds the same file), otherwise the full path.
std::string templateValueForFile(std::string_view baseDirectory, std::string_view chosenPath);

// Where the template chooser starts: the folder of the current template,
// or the template folder when the value names none.
std::string templateChooserFolder(std::string_view baseDirectory, std::string_view currentValue);

enum class TemplateCheck { ok, notFound, invalid };
// Whether the template (a name in the template folder, or an absolute path)
// is a file holding "{FlashMovie}".
TemplateCheck checkHtmlTemplate(std::string_view baseDirectory, std::string_view value);

// The file chosen with "...": its value for the template field, or nothing
// (after the invalid-template message) when it is no template.
std::optional<std::string> acceptChosenTemplate(UserInterface& ui, std::string_view baseDirectory,
                                                std::string_view chosenPath);

// OK's check of the template field: 1 when the dialog may close; 0 after the
// message that says what is wrong.
[[nodiscard]] int confirmHtmlTemplate(UserInterface& ui, std::string_view baseDirectory, std::string_view value);

// The About dialog's texts.
inline constexpr std::string_view kAboutTitle = "About Tessaly";
inline constexpr std::string_view kMakerAddress = "https://tessaly.example/";
std::string aboutText();

}  // namespace tessaly::app
