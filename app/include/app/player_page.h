#pragma once
// The page that hosts the movie player (Ruffle) in the window's web view, and
// the small texts the window builds for its menus. Nothing here needs a
// toolkit, so the texts are tested without a screen.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::app {

struct PlayerPage {
    std::string rufflePath;  // URL of ruffle.js
    std::string movieUrl;    // empty: a blank player area
    uint32_t background = 0xFFFFFF;
    int align = 0;           // 0 centre, 1 top, 2 bottom
    bool contextMenu = true;
    // Sent with every message, so that the window tells a page it has
    // replaced from the current one.
    unsigned generation = 0;
};

// The page: the player fills it, loads the movie with script access (the
// progress movies' "SetVariable" callback) and posts "ready" or "failed:…",
// each after its generation and "|", to the window's "tessaly" message
// handler.
std::string playerPageHtml(const PlayerPage& page);

// A JavaScript string literal holding text, safe inside a script element.
std::string javaScriptString(std::string_view text);

// The script that sets a variable of the playing movie; values set before
// the movie registered its callback are kept and set once it has.
std::string setVariableScript(std::string_view name, std::string_view value);

// A menu text with "&" before the mnemonic and the accelerator after a tab,
// as GTK's mnemonic label ("_" before the mnemonic, "__" for a literal
// underscore, "&&" for a literal ampersand) and the accelerator text.
struct MenuText {
    std::string label;
    std::string accelerator;
};
MenuText menuText(std::string_view text);

// The HTML templates in a folder: the names of the files ending in ".htm",
// without that ending, in ordinal order, at most 60.
std::vector<std::string> templateNames(const std::string& folder);

}  // namespace tessaly::app
