#pragma once

#include <cstdint>
#include <vector>

#include "bins/GenesBin.hpp"
#include "compare/ComparisonParameters.hpp"
#include "compare/SampleBitsets.hpp"

namespace varnosk {

// The groups that extractGroups finds on the sorted concordant pairs of a bin, found without
// storing the pairs: every gene not yet in a group keeps only its strongest pair with a gene
// not yet in a group, recomputed when that partner joins one. Memory grows with the bin
// size, not its square, for about one more row of comparisons per recomputed gene. Runs on
// every thread.
std::vector<std::vector<std::uint32_t>> extractGroupsByBestPartners(const GenesBin& bin, const SampleBitsets& bitsets,
                                                                    std::uint64_t min_group_size, double min_concordance,
                                                                    const ComparisonParameters& parameters);

}  // namespace varnosk
