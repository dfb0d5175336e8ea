#include "app/player_page.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

namespace tessaly::app {

namespace {

std::string colour(uint32_t rgb) {
    char text[8];
    std::snprintf(text, sizeof text, "#%06X", static_cast<unsigned>(rgb & 0xFFFFFF));
    return text;
}

}  // namespace

std::string javaScriptString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        // "</script>" and "<!--" must not end or change the script element.
        case '<': out += "\\x3C"; break;
        case '>': out += "\\x3E"; break;
        default:
            if (u < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\x%02X", u);
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    // U+2028 and U+2029 pass through: modern JavaScript allows them in strings.
    out += '"';
    return out;
}

std::string playerPageHtml(std::string_view rufflePath) {
    std::string html;
    html += "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n<style>html,body{margin:0;width:100%;height:100%;"
            "overflow:hidden;background:#FFFFFF}ruffle-player{display:block;width:100%;height:100%}</style>\n";
    html += "<script>\n"
            "window.RufflePlayer = window.RufflePlayer || {};\n"
            "window.RufflePlayer.config = {autoplay: 'on', unmuteOverlay: 'hidden', splashScreen: false,"
            " warnOnUnsupportedContent: false, letterbox: 'on', logLevel: 'error'};\n"
            "window.tessalyGeneration = 0;\n"
            "function tessalyPost(generation, text) {\n"
            "  try { window.webkit.messageHandlers.tessaly.postMessage(generation + '|' + text); } catch (e) {}\n"
            "}\n"
            "window.tessalyPending = [];\n"
            "function tessalyFlush() {\n"
            "  const player = document.getElementById('player');\n"
            "  while (player && typeof player.SetVariable === 'function' && window.tessalyPending.length) {\n"
            "    const [name, value] = window.tessalyPending[0];\n"
            "    try { player.SetVariable(name, value); } catch (e) { break; }\n"
            "    window.tessalyPending.shift();\n"
            "    tessalyPost(window.tessalyGeneration, 'set:' + name);\n"
            "  }\n"
            "  if (window.tessalyPending.length && !window.tessalyTimer)\n"
            "    window.tessalyTimer = setTimeout(() => { window.tessalyTimer = 0; tessalyFlush(); }, 50);\n"
            "}\n"
            "function tessalySet(name, value) {\n"
            "  window.tessalyPending.push([name, value]);\n"
            "  tessalyFlush();\n"
            "}\n"
            // A new player instance for every movie; the player's code stays
            // loaded in the page, so only the movie is fetched.
            "function tessalyLoad(generation, url, options) {\n"
            "  window.tessalyGeneration = generation;\n"
            "  window.tessalyPending = [];\n"
            "  document.body.style.background = options.backgroundColor;\n"
            "  const old = document.getElementById('player');\n"
            "  if (old) old.remove();\n"
            "  let player;\n"
            "  try { player = window.RufflePlayer.newest().createPlayer(); }\n"
            "  catch (e) { tessalyPost(generation, 'failed:' + e); return; }\n"
            "  player.id = 'player';\n"
            "  document.body.appendChild(player);\n"
            "  if (!url) { tessalyPost(generation, 'ready'); return; }\n"
            "  player.addEventListener('loadedmetadata', () => tessalyPost(generation, 'ready'));\n"
            "  player.addEventListener('loadeddata', () => tessalyFlush());\n"
            "  options.url = url;\n"
            "  player.load(options).catch((e) => {\n"
            "    if (window.tessalyGeneration === generation) tessalyPost(generation, 'failed:' + e);\n"
            "  });\n"
            "}\n"
            "</script>\n";
    html += "<script src=" + javaScriptString(rufflePath) +
            " onload=\"tessalyPost(0, window.RufflePlayer.newest ? 'host' : 'host-failed:the player could not be "
            "loaded')\" onerror=\"tessalyPost(0, 'host-failed:the player could not be loaded')\"></script>\n";
    html += "</head><body></body></html>\n";
    return html;
}

std::string loadMovieScript(const PlayerPage& page) {
    const std::string background = colour(page.background);
    const char* salign = page.align == 1 ? "T" : page.align == 2 ? "B" : "";
    return "tessalyLoad(" + std::to_string(page.generation) + ", " + javaScriptString(page.movieUrl) +
           ", {allowScriptAccess: true, allowNetworking: 'all', backgroundColor: " + javaScriptString(background) +
           ", salign: " + javaScriptString(salign) + ", contextMenu: " + (page.contextMenu ? "'on'" : "'off'") +
           "});";
}

std::string setVariableScript(std::string_view name, std::string_view value) {
    return "tessalySet(" + javaScriptString(name) + ", " + javaScriptString(value) + ");";
}

MenuText menuText(std::string_view text) {
    MenuText result;
    const size_t tab = text.find('\t');
    if (tab != std::string_view::npos) {
        result.accelerator = std::string(text.substr(tab + 1));
        text = text.substr(0, tab);
    }
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') {
                result.label += '&';
                ++i;
            } else {
                result.label += '_';
            }
        } else if (c == '_') {
            result.label += "__";
        } else {
            result.label += c;
        }
    }
    return result;
}

std::vector<std::string> templateNames(const std::string& folder) {
    constexpr size_t kMaxTemplates = 60;
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".htm") == 0 && !it->is_directory(ec))
            names.push_back(name.substr(0, name.size() - 4));
    }
    // Byte order: upper case before lower case.
    std::sort(names.begin(), names.end());
    if (names.size() > kMaxTemplates) names.resize(kMaxTemplates);
    return names;
}

}  // namespace tessaly::app
