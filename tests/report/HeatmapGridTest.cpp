#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report/HeatmapGrid.hpp"

using namespace varnosk;

TEST(HeatmapGrid, AveragesBlocksInTableOrderThenOrdersTheColumns) {
    struct Case {
        std::string what;
        std::size_t num_samples, max_rows, max_columns;
        std::vector<double> table;  // MSPs x samples
        std::size_t rows, columns;
        std::vector<std::size_t> blocks;
        std::vector<double> cells;
    };
    const std::vector<Case> cases = {
        {"every sample a column of its own, similar ones side by side",
         4,
         10,
         10,
         {0.0, 1.0, 0.1, 0.9},
         1,
         4,
         {0, 2, 3, 1},
         {0.0, 0.1, 0.9, 1.0}},
        // ordered first, the samples would pair as (0, 4), (1, 5), (3, 2)
        {"pairs of samples averaged before ordering",
         6,
         10,
         3,
         {0.0, 0.4, 1.0, 0.6, 0.1, 0.5},
         1,
         3,
         {0, 2, 1},
         {0.2, 0.3, 0.8}},
        {"the last blocks hold fewer MSPs and samples",
         5,
         2,
         2,
         {1, 2, 3, 4, 5, 3, 4, 5, 6, 7, 10, 10, 10, 0, 0},
         2,
         2,
         {0, 1},
         {3.0, 5.5, 10.0, 0.0}},
        {"ties keep the table order",
         3,
         10,
         10,
         {0.5, 0.5, 0.5, 0.1, 0.1, 0.1},
         2,
         3,
         {0, 1, 2},
         {0.5, 0.5, 0.5, 0.1, 0.1, 0.1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const HeatmapGrid grid = heatmapGrid({c.num_samples, c.table}, c.max_rows, c.max_columns);
        EXPECT_EQ(grid.rows, c.rows);
        EXPECT_EQ(grid.columns, c.columns);
        EXPECT_EQ(grid.column_blocks, c.blocks);
        ASSERT_EQ(grid.values.size(), c.cells.size());
        for (std::size_t i = 0; i < c.cells.size(); ++i) EXPECT_NEAR(grid.values[i], c.cells[i], 1e-12) << i;
    }
}

TEST(HeatmapGrid, EachDrawnColumnKnowsTheSamplesItAverages) {
    // three samples a column, the last alone; the third column is drawn second
    const HeatmapGrid grid = heatmapGrid({7, {0.0, 0.0, 0.0, 1.0, 1.0, 1.0, 0.1}}, 10, 3);
    ASSERT_EQ(grid.column_blocks, (std::vector<std::size_t>{0, 2, 1}));
    const std::vector<std::size_t> first = {0, 6, 3}, last = {2, 6, 5};
    for (std::size_t c = 0; c < grid.columns; ++c) {
        EXPECT_EQ(grid.firstSample(c), first[c]) << c;
        EXPECT_EQ(grid.lastSample(c), last[c]) << c;
    }
}
