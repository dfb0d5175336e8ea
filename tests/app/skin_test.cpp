// The skin's grid onto the window: a skin of the size it is laid out for is
// drawn 1:1 in its corners and stretched in between; a bitmap too small is
// refused; a smaller skin gives what it holds; a small window drops the
// cells it has no room for.

#include "app/skin.h"

#include <gtest/gtest.h>

namespace tessaly::app {
namespace {

TEST(Skin, FullSizeSkinCornersOneToOneMiddleStretched) {
    // Margin 15 and a bar of 52: the skin's own proportions around a 700 x 500 client area.
    const SkinLayout layout{700, 500, 15, 52};
    const std::vector<SkinCell> cells = skinCells(488, 149, layout);
    ASSERT_EQ(cells.size(), 15u);
    // The four corners.
    EXPECT_EQ(cells[0], (SkinCell{{0, 0, 15, 15}, {0, 0, 15, 15}}));
    EXPECT_EQ(cells[2], (SkinCell{{473, 0, 15, 15}, {685, 0, 15, 15}}));
    EXPECT_EQ(cells[12], (SkinCell{{0, 134, 15, 15}, {0, 485, 15, 15}}));
    EXPECT_EQ(cells[14], (SkinCell{{473, 134, 15, 15}, {685, 485, 15, 15}}));
    // Behind the bar: its height kept, its width stretched.
    EXPECT_EQ(cells[4], (SkinCell{{15, 15, 458, 52}, {15, 15, 670, 52}}));
    // The band under the bar, then the player area down to the last margin.
    EXPECT_EQ(cells[7], (SkinCell{{15, 67, 458, 15}, {15, 67, 670, 15}}));
    EXPECT_EQ(cells[10], (SkinCell{{15, 82, 458, 52}, {15, 82, 670, 500 - 3 * 15 - 52}}));
    EXPECT_EQ(cells[9], (SkinCell{{0, 82, 15, 52}, {0, 82, 15, 403}}));
    // Nothing left uncovered: the rows meet and end at the bottom.
    EXPECT_EQ(cells[9].target.y + cells[9].target.height, cells[12].target.y);
    EXPECT_EQ(cells[12].target.y + cells[12].target.height, 500);
}

TEST(Skin, TooSmallBitmapsAreRefused) {
    EXPECT_FALSE(skinAccepted(2, 2));
    EXPECT_FALSE(skinAccepted(2, 100));
    EXPECT_FALSE(skinAccepted(100, 4));
    EXPECT_TRUE(skinAccepted(3, 5));
    EXPECT_TRUE(skinCells(2, 2, SkinLayout{700, 500, 15, 52}).empty());
}

TEST(Skin, SmallerSkinAndSmallWindowKeepInside) {
    // 20 x 20: the left column whole, the middle column's first 5 pixels,
    // nothing of the right column; rows beyond 20 pixels are gone.
    const std::vector<SkinCell> cells = skinCells(20, 20, SkinLayout{700, 500, 15, 52});
    ASSERT_EQ(cells.size(), 4u);
    EXPECT_EQ(cells[1].source, (WindowRect{15, 0, 5, 15}));
    EXPECT_EQ(cells[3].source, (WindowRect{15, 15, 5, 5}));
    for (const SkinCell& cell : cells) {
        EXPECT_LE(cell.source.x + cell.source.width, 20);
        EXPECT_LE(cell.source.y + cell.source.height, 20);
    }
    // A window no taller than its margins and bar has no player row.
    const std::vector<SkinCell> flat = skinCells(488, 149, SkinLayout{300, 97, 15, 52});
    for (const SkinCell& cell : flat) {
        EXPECT_GT(cell.target.height, 0);
        EXPECT_NE(cell.source.y, 82);
    }
    EXPECT_EQ(flat.size(), 12u);
}

}  // namespace
}  // namespace tessaly::app
