#pragma once
// The user's preferences, kept in the value store under the program's key:
// every value with its default and range, and the rules that place the main
// window from them. Plain logic: the window toolkit only supplies the screen
// sizes and applies the results.

#include <optional>
#include <string>
#include <vector>

#include "app/html_writer.h"
#include "app/job_monitor.h"

namespace tessaly {
class ValueStore;
}

namespace tessaly::app {

// A window rectangle in screen pixels.
struct WindowRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const WindowRect&) const = default;
};

struct WindowPoint {
    int x = 0, y = 0;
    bool operator==(const WindowPoint&) const = default;
};

struct Preferences {
    // The main window's rectangle; only when all four values were read.
    std::optional<WindowRect> window;
    // The Interface Options dialog's position; -1 when not placed.
    int ioPosX = -1, ioPosY = -1;
    int startMode = 2;         // 3 maximized, 2 normal, 1 minimized until done, 0 minimized
    int closeSave = 1;         // 0 don't prompt, 1 prompt and save Flash, 2 prompt and save HTML
    int encodingPriority = 0;  // 0 normal, -1 low, -2 very low
    std::string htmlTemplate = std::string(kDefaultHtmlTemplate);
    bool showFlashPopup = true;
    int flashAlign = kFlashAlignTop;
    std::optional<std::string> lastSaveFilename;

    MonitorPreferences monitor() const;
    SavePreferences save() const;
    // Takes back what saving changed (the last file saved).
    void takeSave(const SavePreferences& save);
};

// Reads every value; one that is missing, unreadable or out of its range
// takes its default.
Preferences loadPreferences(const ValueStore& store);

// How the window is when the preferences are stored.
struct WindowShowState {
    bool minimizedOrMaximized = false;
    // The Interface Options dialog exists.
    bool interfaceOptionsOpen = false;
};

// Writes the values: the window rectangle only when the window is neither
// minimised nor maximised, the Interface Options position (raised to at
// least 0) only while that dialog exists, everything else every time. Write
// failures are ignored, as a preference that cannot be kept is no error.
void storePreferences(ValueStore& store, const Preferences& preferences, const WindowShowState& show);

// Stores just the last file saved.
void storeLastSaveFilename(ValueStore& store, const std::string& path);

// The stored window rectangle fitted onto the screen: its size limited to
// the work area (the screen without panels), moved left and up so that it
// ends inside the screen, a negative coordinate raised to 1.
WindowRect placeWindow(WindowRect stored, int workWidth, int workHeight, int screenWidth, int screenHeight);

// How the window shows at start: only a start "attached" applies the start
// mode.
enum class StartShow { asPlaced, minimized, maximized };
StartShow startShow(const Preferences& preferences, bool attached);

// Where a new instance's window goes so that it does not cover another
// instance's window exactly: while another corner lies closer than 18
// pixels in both directions, 18 left and 18 down; when that would leave the
// screen, the current corner is kept.
inline constexpr int kCascadeStep = 18;
WindowPoint cascadeWindow(WindowPoint current, const std::vector<WindowPoint>& others, int screenHeight);

}  // namespace tessaly::app
