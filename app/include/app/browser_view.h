#pragma once
// Showing the finished movie in the user's web browser, and the help pages.
// The page for the browser is written beside the temporary movie and plays
// it where it lies; the browser itself is started by a launcher that the
// window supplies (xdg-open on the desktop), so this logic needs no toolkit.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/html_writer.h"
#include "app/user_interface.h"

namespace tessaly::app {

class JobMonitor;

// Opens a file in the desktop's default application; false when that could
// not even be started.
using Launcher = std::function<bool(const std::string& path)>;

inline constexpr std::string_view kBrowserPageFailedText = "Could not create a temporary HTML file.\n";
inline constexpr std::string_view kBrowserPageFailedTitle = "Error Viewing in Browser";
inline constexpr std::string_view kBrowserOpenFailedText =
    "Could not open encoded Flash on your current Web Browser - make sure your default Web Browser is correctly "
    "installed";
inline constexpr std::string_view kBrowserOpenFailedTitle = "Error Opening Flash on Browser";

// The page shown in the browser for a temporary output: its path + ".htm".
// Empty when there is no temporary output.
std::string browserPagePath(std::string_view temporaryOutputPath);

// View in Browser with the template named (the preferred one when none is):
// only while the monitor shows a finished movie. The page shown before,
// *shownPage, is deleted first; the new page plays the temporary movie
// without copying it. A failure is shown and leaves no page behind. 1 when
// the browser was started, with *shownPage naming the page until the next
// view or the window's close (the monitor's clean-up deletes it).
[[nodiscard]] int viewInBrowser(JobMonitor& monitor, UserInterface& ui, SavePreferences& preferences,
                                std::optional<std::string_view> templateName, const Launcher& open,
                                std::string* shownPage);

// The help pages (HTML files in the base directory's "Help/" folder).
enum class HelpTopic { contents, search, printing, settings, tips };

// The page's file name in the help folder.
std::string_view helpPageName(HelpTopic topic);

// base directory + "Help/" + the page's file name.
std::string helpPagePath(std::string_view baseDirectory, HelpTopic topic);

// Opens the page; a failure is not reported (false).
bool openHelp(std::string_view baseDirectory, HelpTopic topic, const Launcher& open);

}  // namespace tessaly::app
