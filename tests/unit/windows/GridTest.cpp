#include "windows/Grid.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace qv {
namespace {

TEST(GridParse, AcceptsTheThreeSeparatorsAndRejectsEverythingElse) {
    struct Case {
        std::string text;
        std::optional<Grid> expected;
    };
    const std::vector<Case> cases = {
        {"3x2", Grid{3, 2}},
        {"3X2", Grid{3, 2}},
        {"3\xC3\x97" "2", Grid{3, 2}},  // 3×2
        {"1x1", Grid{1, 1}},
        {"8x8", Grid{8, 8}},
        {"1x8", Grid{1, 8}},
        {"03x02", Grid{3, 2}},
        {"x2", std::nullopt},
        {"3x", std::nullopt},
        {"3x2x1", std::nullopt},
        {"9x1", std::nullopt},
        {"1x9", std::nullopt},
        {"0x3", std::nullopt},
        {"3x0", std::nullopt},
        {"3 x 2", std::nullopt},
        {"3x2 ", std::nullopt},
        {"-3x2", std::nullopt},
        {"+3x2", std::nullopt},
        {"", std::nullopt},
        {"32", std::nullopt},
        {"x", std::nullopt},
        {"\xC3\x97", std::nullopt},
        {"3\xC3\x97", std::nullopt},
        {"\xC3\x97" "2", std::nullopt},
        {"3\xC3\x97" "2\xC3\x97" "1", std::nullopt},
        {"3x\xC3\x97" "2", std::nullopt},
        {"3\xC3" "2", std::nullopt},                 // half a multiplication sign
        {"99999999999999999999x1", std::nullopt},  // far beyond any integer: rejected, not wrapped
        {"4294967299x1", std::nullopt},            // 2^32 + 3 would wrap to 3 in 32 bits
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseGrid(c.text), c.expected) << '"' << c.text << '"';
    }
}

TEST(GridParse, TextIsTheNormalisedForm) {
    EXPECT_EQ(parseGrid("3X2")->text(), "3x2");
    EXPECT_EQ(parseGrid("4\xC3\x97" "4")->text(), "4x4");
    EXPECT_EQ(parseGrid("02x1")->text(), "2x1");
}

TEST(GridCell, KnownSizes) {
    const ScreenRect work{0, 0, 1920, 1040};
    const Grid grid{3, 2};
    EXPECT_EQ(grid.cell(work, 0), (ScreenRect{0, 0, 640, 520}));
    EXPECT_EQ(grid.cell(work, 4), (ScreenRect{640, 520, 1280, 1040}));
    EXPECT_EQ(grid.cell(work, 5), (ScreenRect{1280, 520, 1920, 1040}));

    const ScreenRect narrow{100, 50, 1100, 1050};
    std::vector<std::int32_t> widths;
    for (std::int32_t i = 0; i < 3; ++i) widths.push_back(Grid{3, 1}.cell(narrow, i).width());
    EXPECT_EQ(widths, (std::vector<std::int32_t>{334, 333, 333}));
    EXPECT_EQ(Grid({3, 1}).cell(narrow, 1), (ScreenRect{434, 50, 767, 1050}));
}

TEST(GridCell, OutOfRangeGridOrIndexGivesAnEmptyRectangle) {
    const ScreenRect work{0, 0, 1920, 1040};
    const ScreenRect none{};
    for (std::int32_t index : {-1, 4, 100}) EXPECT_EQ(Grid({2, 2}).cell(work, index), none) << index;
    EXPECT_EQ(Grid({0, 2}).cell(work, 0), none);
    EXPECT_EQ(Grid({9, 1}).cell(work, 0), none);
    EXPECT_EQ(Grid({1, 9}).cell(work, 0), none);
}

// For every grid from 1x1 to 8x8 over uneven work areas, the cells tile the
// work area exactly: each cell starts where its neighbour ends, the outer
// cells meet the edges, and the wider columns and taller rows come first.
TEST(GridCell, CellsTileTheWorkAreaExactlyWithLeftoverToTheFirstColumnsAndRows) {
    const std::vector<ScreenRect> areas = {
        {0, 0, 1919, 1079}, {-1283, 17, -1283 + 1283, 17 + 1001}, {5760, -31, 5760 + 2557, -31 + 1397}, {3, 5, 10, 10},
    };
    for (const ScreenRect& work : areas) {
        for (std::int32_t columns = 1; columns <= 8; ++columns) {
            for (std::int32_t rows = 1; rows <= 8; ++rows) {
                const Grid grid{columns, rows};
                SCOPED_TRACE(grid.text() + " over " + std::to_string(work.width()) + "x" +
                             std::to_string(work.height()));
                std::int64_t area = 0;
                for (std::int32_t i = 0; i < grid.cellCount(); ++i) {
                    const std::int32_t c = i % columns;
                    const std::int32_t r = i / columns;
                    const ScreenRect cell = grid.cell(work, i);
                    area += std::int64_t(cell.width()) * cell.height();

                    EXPECT_EQ(cell.left, c == 0 ? work.left : grid.cell(work, i - 1).right);
                    if (c == columns - 1) {
                        EXPECT_EQ(cell.right, work.right);
                    }
                    EXPECT_EQ(cell.top, r == 0 ? work.top : grid.cell(work, i - columns).bottom);
                    if (r == rows - 1) {
                        EXPECT_EQ(cell.bottom, work.bottom);
                    }

                    // The same column and row line up across the grid.
                    EXPECT_EQ(cell.left, grid.cell(work, c).left);
                    EXPECT_EQ(cell.top, grid.cell(work, r * columns).top);

                    // One leftover pixel each to the first columns and rows.
                    EXPECT_EQ(cell.width(), work.width() / columns + (c < work.width() % columns ? 1 : 0));
                    EXPECT_EQ(cell.height(), work.height() / rows + (r < work.height() % rows ? 1 : 0));
                }
                EXPECT_EQ(area, std::int64_t(work.width()) * work.height());
            }
        }
    }
}

} // namespace
} // namespace qv
