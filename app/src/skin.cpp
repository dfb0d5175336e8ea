#include "app/skin.h"

#include <algorithm>

namespace tessaly::app {

namespace {

constexpr int kColumnStart[3] = {0, 15, 473};
constexpr int kColumnWidth[3] = {15, 458, 15};
constexpr int kRowStart[5] = {0, 15, 67, 82, 134};
constexpr int kRowHeight[5] = {15, 52, 15, 52, 15};

}  // namespace

bool skinAccepted(int width, int height) { return width > 2 && height > 4; }

std::vector<SkinCell> skinCells(int skinWidth, int skinHeight, const SkinLayout& layout) {
    std::vector<SkinCell> cells;
    if (!skinAccepted(skinWidth, skinHeight)) return cells;
    const int m = layout.margin, h = layout.barHeight;
    const int w = layout.clientWidth, height = layout.clientHeight;
    // Where each source row and column goes.
    const int rowTop[5] = {0, m, m + h, h + 2 * m, height - m};
    const int rowHeight[5] = {m, h, m, height - 3 * m - h, m};
    const int columnLeft[3] = {0, m, w - m};
    const int columnWidth[3] = {m, w - 2 * m, m};
    for (int row = 0; row < 5; ++row) {
        for (int column = 0; column < 3; ++column) {
            SkinCell cell;
            cell.source.x = kColumnStart[column];
            cell.source.y = kRowStart[row];
            cell.source.width = std::min(kColumnWidth[column], skinWidth - cell.source.x);
            cell.source.height = std::min(kRowHeight[row], skinHeight - cell.source.y);
            cell.target = {columnLeft[column], rowTop[row], columnWidth[column], rowHeight[row]};
            if (cell.source.width <= 0 || cell.source.height <= 0) continue;
            if (cell.target.width <= 0 || cell.target.height <= 0) continue;
            cells.push_back(cell);
        }
    }
    return cells;
}

}  // namespace tessaly::app
