#pragma once

#include <cstdint>
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

// The steps of createGenesBins for bins that are on, for genes held in parts: each part's
// dominant samples, then the bins of a part in the order that the genes per sample of all
// parts together (`sizes`) give, each holding that part's genes in input order.
struct DominantSamples {
    std::vector<std::uint32_t> of_gene;    // per gene, its dominant sample
    std::vector<std::uint64_t> histogram;  // per sample, the genes it dominates
};
DominantSamples findDominantSamples(const GeneList& genes, const std::vector<double>& sample_divisors);
GenesBinList binsInSizeOrder(const GeneList& genes, const std::vector<std::uint32_t>& dominant,
                             const std::vector<std::uint64_t>& sizes);

}  // namespace varnosk
