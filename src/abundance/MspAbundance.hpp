#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "matrix/RawCounts.hpp"
#include "msp/Msp.hpp"

namespace varnosk {

// How the abundance of a species in a sample is estimated from its core genes.
struct AbundanceParameters {
    std::uint64_t num_core_genes = 100;  // the first (best) core genes used, at least 1
    double min_detected_share = 0.1;     // share of them that must be non-zero, 0 to 1
};

// One value per MSP (rows, MSP order) and sample (columns, matrix order).
struct AbundanceTable {
    std::size_t num_samples = 0;
    std::vector<double> values;  // row after row

    double at(std::size_t msp, std::size_t sample) const { return values[msp * num_samples + sample]; }
    std::size_t numMsps() const { return num_samples == 0 ? 0 : values.size() / num_samples; }
};

// Hands visit every gene of `genes` with its raw counts, in the order of `genes`.
using RawCountsFeed = std::function<void(const GeneList& genes, const RawCountsVisitor& visit)>;

// The genes whose raw counts the abundance needs: the first num_core_genes core genes of
// every MSP, each gene once, by ascending id (file order).
GeneList abundanceGenes(const MspList& msps, std::uint64_t num_core_genes);

// The abundance of each MSP in each sample: the mean raw count of its first N core genes
// (N = num_core_genes, or all of them when there are fewer), and 0 where fewer than
// min_detected_share of those N genes have a non-zero count (that is, where non-zero / N <
// the share, so a share written as k/N is met by k genes exactly). Sums are taken in double
// precision in file order, so the values do not depend on the number of threads. `feed`
// must hand the genes of abundanceGenes(msps, N).
AbundanceTable computeAbundance(const MspList& msps, const AbundanceParameters& parameters, std::size_t num_samples,
                                const RawCountsFeed& feed);

// Each sample's column divided by its sum over the MSPs (summed in MSP order); 0 where that
// sum is 0.
AbundanceTable relativeAbundance(const AbundanceTable& abundance);

}  // namespace varnosk
