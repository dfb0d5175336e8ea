#pragma once
// The page that hosts the movie player (Ruffle) in the window's web view, and
// the small texts the window builds for its menus. Nothing here needs a
// toolkit, so the texts are tested without a screen.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::app {

// One movie for the player: a new player instance plays it.
struct PlayerPage {
    std::string movieUrl;    // empty: a blank player area
    uint32_t background = 0xFFFFFF;
    int align = 0;           // 0 centre, 1 top, 2 bottom
    bool contextMenu = true;
    // Sent with every message about this movie, so that the window tells a
    // movie it has replaced from the current one.
    unsigned generation = 0;
};

// The page that hosts the player: it loads Ruffle from rufflePath once and
// posts "0|host" when the player can start (else "0|host-failed:…") to the
// window's "tessaly" message handler. Each movie then comes through
// loadMovieScript; its messages ("ready", "failed:…", "set:<name>") follow
// its generation and "|".
std::string playerPageHtml(std::string_view rufflePath);

// The script that replaces the player with a new one playing the movie, with
// script access for the progress movies' "SetVariable" callback.
std::string loadMovieScript(const PlayerPage& page);

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
