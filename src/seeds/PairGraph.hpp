#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace varnosk {

// One concordant pair of genes of a bin (positions in the bin, first < second).
template <typename Position>
struct PairOf {
    Position first;
    Position second;
    float concordance;
};
using GenesPair = PairOf<std::uint32_t>;
// The pairs of a bin small enough to store them all (they can number millions): positions
// fit in 16 bits, 8 bytes a pair instead of 12.
using StoredPair = PairOf<std::uint16_t>;
inline constexpr std::size_t kMaxStoredPairGenes = std::size_t{UINT16_MAX} + 1;

// The order of sortPairsStrongestFirst between two pairs given in creation order or not:
// creation order is first ascending, then second ascending.
template <typename Position>
inline bool isStrongerPair(const PairOf<Position>& a, const PairOf<Position>& b) {
    const bool a_nan = a.concordance != a.concordance;
    const bool b_nan = b.concordance != b.concordance;
    if (a_nan != b_nan) return b_nan;
    if (!a_nan && a.concordance != b.concordance) return a.concordance > b.concordance;
    return a.first != b.first ? a.first < b.first : a.second < b.second;
}

// Strongest pair first by stored concordance; ties in creation order (first ascending, then
// second). Pairs whose concordance is not a number follow every numeric one, in creation order.
void sortPairsStrongestFirst(std::vector<StoredPair>& pairs);

// One greedy pass over the pair graph of a bin of `num_genes` genes: the pivot is the first
// gene of the first remaining pair; it and its remaining neighbours form a group, whose
// pairs are then all removed (order kept) whatever the group's size. Returns the groups of
// at least `min_group_size` genes in the order found, each as ascending bin positions.
// `pairs` must already be sorted; it is consumed. At most kMaxStoredPairGenes genes.
std::vector<std::vector<std::uint32_t>> extractGroups(std::vector<StoredPair>& pairs, std::size_t num_genes,
                                                      std::uint64_t min_group_size);

}  // namespace varnosk
