#include "report/HeatmapGrid.hpp"

#include <algorithm>

#include "report/SampleOrder.hpp"

namespace varnosk {

HeatmapGrid heatmapGrid(const AbundanceTable& table, std::size_t max_rows, std::size_t max_columns) {
    HeatmapGrid grid;
    const std::size_t msps = table.numMsps();
    const std::size_t samples = table.num_samples;
    grid.samples = samples;
    grid.rows_per_cell = std::max<std::size_t>(1, (msps + max_rows - 1) / max_rows);
    grid.rows = (msps + grid.rows_per_cell - 1) / grid.rows_per_cell;
    grid.columns_per_cell = std::max<std::size_t>(1, (samples + max_columns - 1) / max_columns);
    grid.columns = (samples + grid.columns_per_cell - 1) / grid.columns_per_cell;

    // one pass over the table, in table order
    std::vector<double> sums(grid.rows * grid.columns, 0.0);
    for (std::size_t m = 0; m < msps; ++m) {
        double* row = &sums[(m / grid.rows_per_cell) * grid.columns];
        for (std::size_t s = 0; s < samples; ++s) row[s / grid.columns_per_cell] += table.at(m, s);
    }
    for (std::size_t r = 0; r < grid.rows; ++r) {
        const std::size_t row_members = std::min(grid.rows_per_cell, msps - r * grid.rows_per_cell);
        for (std::size_t c = 0; c < grid.columns; ++c) {
            const std::size_t column_members = std::min(grid.columns_per_cell, samples - c * grid.columns_per_cell);
            sums[r * grid.columns + c] /= static_cast<double>(row_members * column_members);
        }
    }

    grid.column_blocks = nearestNeighbourOrder(sums, grid.rows, grid.columns);
    grid.values.resize(sums.size());
    for (std::size_t r = 0; r < grid.rows; ++r) {
        for (std::size_t c = 0; c < grid.columns; ++c) {
            grid.values[r * grid.columns + c] = sums[r * grid.columns + grid.column_blocks[c]];
        }
    }
    return grid;
}

}  // namespace varnosk
