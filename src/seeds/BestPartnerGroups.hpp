#pragma once

#include <cstdint>
#include <vector>

#include "bins/GenesBin.hpp"
#include "compare/ComparisonParameters.hpp"
#include "compare/SampleBitsets.hpp"
#include "seeds/PairGraph.hpp"

namespace varnosk {

// The groups that extractGroups finds on the sorted concordant pairs of a bin, found without
// storing the pairs: every gene not yet in a group keeps only its strongest pair with a gene
// not yet in a group, recomputed when that partner joins one. Memory grows with the bin
// size, not its square, for about one more row of comparisons per recomputed gene. Runs on
// every thread.
std::vector<std::vector<std::uint32_t>> extractGroupsByBestPartners(const GenesBin& bin, const SampleBitsets& bitsets,
                                                                    std::uint64_t min_group_size, double min_concordance,
                                                                    const ComparisonParameters& parameters);

// The two steps of extractGroupsByBestPartners, for a bin whose rows several processes share.
// First, per gene of the bin, its strongest concordant pair among the pairs of rows
// [row_begin, row_end) (first index kNoPartner when it has none); the stronger of each gene's
// pairs over all rows, taken in any order, is its strongest pair in the bin.
constexpr std::uint32_t kNoPartner = 0xFFFFFFFFu;
std::vector<GenesPair> strongestPairsOfRows(const GenesBin& bin, const SampleBitsets& bitsets, std::size_t row_begin,
                                            std::size_t row_end, double min_concordance,
                                            const ComparisonParameters& parameters);
void keepStrongerPairs(std::vector<GenesPair>& strongest, const std::vector<GenesPair>& other);
// Then the groups, from every gene's strongest pair in the bin.
std::vector<std::vector<std::uint32_t>> groupsFromStrongestPairs(const GenesBin& bin, const SampleBitsets& bitsets,
                                                                 std::vector<GenesPair> best,
                                                                 std::uint64_t min_group_size, double min_concordance,
                                                                 const ComparisonParameters& parameters);

}  // namespace varnosk
