#pragma once
// Saving the finished movie on the user's request: as an SWF file, or as an
// HTML page with the movie beside it. The save dialogs and messages go
// through the user interface; the last file saved is remembered in the
// preferences and, when a store is given, in the value store.

#include <optional>
#include <string>
#include <string_view>

#include "app/html_writer.h"

namespace tessaly {
class ValueStore;
}

namespace tessaly::app {

class JobMonitor;

inline constexpr std::string_view kSaveFlashTitle = "Save Flash";
inline constexpr std::string_view kSaveFlashFilter = "Flash Files|*.swf|All Files|*.*";
inline constexpr std::string_view kSaveHtmlTitle = "Save HTML";
inline constexpr std::string_view kSaveHtmlFilter = "HTML Files|*.html;*.htm|All Files|*.*";

// The chosen file name with ".swf" appended unless it already ends in it
// (in any case).
std::string flashFileName(std::string_view chosen);

// Where the save dialogs start: the folder of the last file saved, else the
// base directory.
std::string initialSaveFolder(const SavePreferences& preferences, std::string_view baseDirectory);

// The Save command: asks for a file name and copies the movie there,
// replacing a file of that name. 1 when saved; 0 when cancelled or failed
// (a failure is shown, and leaves the movie unsaved).
[[nodiscard]] int saveFlash(SaveContext& context, ValueStore* store = nullptr);

// The Save HTML command with the template named, or the preferred one: asks
// for a file name and writes the page with the movie beside it. 1 when
// saved; 0 when cancelled or failed.
[[nodiscard]] int saveHtml(SaveContext& context, std::optional<std::string_view> templateName = std::nullopt,
                           ValueStore* store = nullptr);

// Saving a monitor's finished movie (the close prompt's Yes): Save, or Save
// HTML with the preferred template; marks the monitor's movie saved on
// success. Nothing to save unless the monitor holds a finished movie.
[[nodiscard]] int saveMonitorMovie(JobMonitor& monitor, UserInterface& ui, SavePreferences& preferences, bool html,
                                   ValueStore* store = nullptr);

}  // namespace tessaly::app
