#pragma once
// The HTML writer: a page made from an HTML template that plays a movie.
// Saving HTML, viewing in the browser and automatic output all go through
// writeHtml. A template is any file that contains "{FlashMovie}"; the
// placeholders it may use are set by setHtmlVariables.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/user_interface.h"

namespace tessaly {
class VariableTable;
}

namespace tessaly::app {

inline constexpr std::string_view kDefaultHtmlTemplate = "Full Window.htm";
// The folder of the installation's base directory that holds the templates.
inline constexpr std::string_view kHtmlTemplateFolder = "HTML Template/";
// A file that is no template (it lacks the movie's placeholder), and the
// title of the message that a template was not found.
inline constexpr std::string_view kInvalidTemplateText =
    "The HTML Template File doesn't seem to be a valid template.\n"
    "Please see the included Help to learn how to create an HTML template.";
inline constexpr std::string_view kInvalidTemplateTitle = "Invalid HTML Template File";
inline constexpr std::string_view kTemplateNotFoundTitle = "HTML Template Not Found";

// Vertical alignment of the movie in the player (the stored preference).
enum FlashAlign : int { kFlashAlignCentre = 0, kFlashAlignTop = 1, kFlashAlignBottom = 2 };

// The finished movie the page plays.
struct MovieFacts {
    std::string moviePath;  // the movie file, copied beside a saved page
    double docWidth = 0;    // movie pixels
    double docHeight = 0;
    uint32_t backgroundColor = 0xFFFFFF;  // 0xRRGGBB
    unsigned version = 5;                 // the player version the movie needs
};

// The user's preferences that saving reads, and the one it updates.
struct SavePreferences {
    std::string htmlTemplate = std::string(kDefaultHtmlTemplate);  // a name or an absolute path
    bool showFlashPopup = true;
    int flashAlign = kFlashAlignTop;
    // The last SWF or HTML file saved; none before the first save.
    std::optional<std::string> lastSaveFilename;
};

// Everything a save needs besides its own arguments.
struct SaveContext {
    UserInterface& ui;
    std::string baseDirectory;  // the installation's data directory, ending in "/"
    MovieFacts movie;
    SavePreferences& preferences;
    // Automatic output: questions are answered without asking.
    bool automatic = false;
};

// The files a page saved at a chosen path consists of.
struct HtmlFileNames {
    std::string htmlPath;  // the chosen path, with ".htm" appended unless it names an .htm(l) file
    std::string swfPath;   // the base name + ".swf" beside it
    std::string baseName;  // the chosen file name up to its last "."
};
HtmlFileNames htmlFileNames(std::string_view chosenPath);

// An absolute path as it is, anything else inside the base directory's
// template folder.
std::string htmlTemplatePath(std::string_view baseDirectory, std::string_view name);

// True when the text has "{FlashMovie}" in it, in any case.
bool isHtmlTemplate(std::string_view text);

// Sets the template variables for a page playing the movie file flashMovie
// (a name, without folder), in their order. 1, or 0 with the 1-based row
// of the first one that could not be stored in *failedRow.
[[nodiscard]] int setHtmlVariables(VariableTable& table, std::string_view flashMovie, const MovieFacts& movie,
                                   const SavePreferences& preferences, int* failedRow = nullptr);

// The page a template makes for the movie file flashMovie: its placeholders
// replaced by the variables, unknown ones kept. 1, or 0 with *failedRow
// naming what could not be stored: a variable's row (1 to 7) or 8 for the
// page itself.
[[nodiscard]] int makeHtmlPage(std::string_view templateText, std::string_view flashMovie, const MovieFacts& movie,
                               const SavePreferences& preferences, std::string& page, int* failedRow = nullptr);

// Writes the page at htmlPath from the template (the preferred one when none
// is named). Without viewMoviePath the page is saved: the movie is copied
// beside it under the page's base name, asking first before an existing SWF
// is replaced for a new page. With viewMoviePath the page plays that movie
// and nothing is copied. Every failure is shown through the context's user
// interface. 1 on success, 0 on failure or when the user declined.
[[nodiscard]] int writeHtml(SaveContext& context, std::string_view htmlPath,
                            std::optional<std::string_view> viewMoviePath = std::nullopt,
                            std::optional<std::string_view> templateName = std::nullopt);

// Copies a file over another so that the target is either left as it was or
// replaced whole. Copying a file onto itself succeeds without touching it.
// 1 or 0.
[[nodiscard]] int replaceWithCopy(const std::string& from, const std::string& to);

}  // namespace tessaly::app
