#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "abundance/MspAbundance.hpp"

namespace varnosk {

// The cells of the report's heatmap of an MSPs x samples table. Each cell is the mean of a
// block of consecutive MSPs and of consecutive samples, both in table order, so that at most
// max_rows x max_columns cells are drawn; the columns are then ordered so that similar ones
// sit together (nearestNeighbourOrder). Averaging before ordering keeps the ordering's cost
// bounded by the drawn cells, whatever the number of samples. While every sample has a column
// of its own, the columns are the samples themselves.
struct HeatmapGrid {
    std::size_t rows = 0, columns = 0, rows_per_cell = 1, columns_per_cell = 1, samples = 0;
    std::vector<double> values;              // rows x columns, row after row, columns in drawn order
    std::vector<std::size_t> column_blocks;  // for each drawn column, its block of samples

    // The first and the last sample averaged into drawn column `column`.
    std::size_t firstSample(std::size_t column) const { return column_blocks[column] * columns_per_cell; }
    std::size_t lastSample(std::size_t column) const {
        return std::min(samples, firstSample(column) + columns_per_cell) - 1;
    }
};

// max_rows and max_columns must be at least 1.
HeatmapGrid heatmapGrid(const AbundanceTable& table, std::size_t max_rows, std::size_t max_columns);

}  // namespace varnosk
