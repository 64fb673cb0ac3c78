#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "bins/GenesBin.hpp"
#include "compare/ComparisonParameters.hpp"
#include "compare/SampleBitsets.hpp"

namespace varnosk {

// The groups of the greedy pass over the concordant pairs of a bin (see PairGroups), in
// memory for at most about `max_candidates` candidate pairs at a time whatever the bin's
// size: candidates come in bands of decreasing bounds, the strongest first, and a band is
// gathered only when the pass reaches it, among the genes not yet taken. A bin whose
// candidates fit at once goes in one band. Rows are split over the threads when called
// outside a parallel region. At most kMaxStoredPairGenes genes.
std::vector<std::vector<std::uint32_t>> extractGroupsInBands(const GenesBin& bin, const SampleBitsets& bitsets,
                                                             std::uint64_t min_group_size, double min_concordance,
                                                             const ComparisonParameters& parameters,
                                                             std::size_t max_candidates);

}  // namespace varnosk
