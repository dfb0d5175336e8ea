#pragma once
// The window's skin: a bitmap laid out for 488 x 149 pixels, cut into a grid
// of 3 columns (15, 458, 15 pixels) and 5 rows (15, 52, 15, 52, 15 pixels)
// whose cells are stretched onto the window's areas: the margins, the band
// behind the button bar, the player area. Plain arithmetic; the window draws.

#include <vector>

#include "app/preferences.h"

namespace tessaly::app {

// A skin is used only when it is more than 2 pixels wide and 4 high.
bool skinAccepted(int width, int height);

// One cell: the part of the skin and where it is stretched to.
struct SkinCell {
    WindowRect source;
    WindowRect target;
    bool operator==(const SkinCell&) const = default;
};

// The window's layout: the client area, the margin m (the button bar's top)
// and the bar's height h (from the buttons' top to the status text's bottom).
struct SkinLayout {
    int clientWidth = 0, clientHeight = 0;
    int margin = 0, barHeight = 0;
};

// The cells to draw, row by row. A cell reaching beyond a skin smaller than
// the grid takes only what the skin holds; a cell with nothing to take, or
// nowhere to go (a window too small for it), is left out, and the white
// background shows there.
std::vector<SkinCell> skinCells(int skinWidth, int skinHeight, const SkinLayout& layout);

}  // namespace tessaly::app
