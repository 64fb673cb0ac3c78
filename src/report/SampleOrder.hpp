#pragma once

#include <cstddef>
#include <vector>

namespace varnosk {

// An order of the `num_columns` columns of a row-major table (`values`, num_rows x
// num_columns) in which similar columns sit together: greedy nearest neighbour from column
// 0, each step taking the unplaced column nearest (squared Euclidean distance) to the last
// placed one, the lowest index on ties. Deterministic; O(columns^2 x rows).
std::vector<std::size_t> nearestNeighbourOrder(const std::vector<double>& values, std::size_t num_rows,
                                               std::size_t num_columns);

}  // namespace varnosk
