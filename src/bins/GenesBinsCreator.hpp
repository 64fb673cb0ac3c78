#pragma once

#include <vector>

#include "bins/GenesBin.hpp"

namespace varnosk {

// Splits genes into bins by dominant sample (the first largest count / divisor), or puts
// them all in one bin when disabled.
struct GenesBinsCreator {
    bool enabled = true;
    bool normalize_counts = false;  // carried for the record; its effect comes through the divisors
};

// Bins sorted by size, largest first (stable: equal sizes in sample order); one bin per
// sample, empty ones included, when enabled; one bin when disabled; none for no gene.
GenesBinList createGenesBins(const GenesBinsCreator& creator, const GeneList& genes,
                             const std::vector<double>& sample_divisors);

}  // namespace varnosk
