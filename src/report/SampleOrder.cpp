#include "report/SampleOrder.hpp"

#include <limits>

namespace varnosk {

std::vector<std::size_t> nearestNeighbourOrder(const std::vector<double>& values, std::size_t num_rows,
                                               std::size_t num_columns) {
    std::vector<std::size_t> order;
    if (num_columns == 0) return order;
    order.reserve(num_columns);
    std::vector<bool> placed(num_columns, false);
    std::size_t last = 0;
    placed[0] = true;
    order.push_back(0);
    while (order.size() < num_columns) {
        std::size_t best = num_columns;
        double best_distance = std::numeric_limits<double>::infinity();
        for (std::size_t c = 0; c < num_columns; ++c) {
            if (placed[c]) continue;
            double distance = 0.0;
            for (std::size_t r = 0; r < num_rows; ++r) {
                const double d = values[r * num_columns + c] - values[r * num_columns + last];
                distance += d * d;
            }
            // strict comparison keeps the lowest index on ties; the first candidate is always taken
            if (best == num_columns || distance < best_distance) {
                best = c;
                best_distance = distance;
            }
        }
        placed[best] = true;
        order.push_back(best);
        last = best;
    }
    return order;
}

}  // namespace varnosk
