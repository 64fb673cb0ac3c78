#pragma once

#include <cstdint>
#include <vector>

namespace varnosk {

// One concordant pair of genes of a bin (positions in the bin, first < second).
struct GenesPair {
    std::uint32_t first;
    std::uint32_t second;
    float concordance;
};

// The order of sortPairsStrongestFirst between two pairs given in creation order or not:
// creation order is first ascending, then second ascending.
inline bool isStrongerPair(const GenesPair& a, const GenesPair& b) {
    const bool a_nan = a.concordance != a.concordance;
    const bool b_nan = b.concordance != b.concordance;
    if (a_nan != b_nan) return b_nan;
    if (!a_nan && a.concordance != b.concordance) return a.concordance > b.concordance;
    return a.first != b.first ? a.first < b.first : a.second < b.second;
}

// Strongest pair first by stored concordance; ties in creation order (first ascending, then
// second). Pairs whose concordance is not a number follow every numeric one, in creation order.
void sortPairsStrongestFirst(std::vector<GenesPair>& pairs);

// One greedy pass over the pair graph of a bin of `num_genes` genes: the pivot is the first
// gene of the first remaining pair; it and its remaining neighbours form a group, whose
// pairs are then all removed (order kept) whatever the group's size. Returns the groups of
// at least `min_group_size` genes in the order found, each as ascending bin positions.
// `pairs` must already be sorted; it is consumed.
std::vector<std::vector<std::uint32_t>> extractGroups(std::vector<GenesPair>& pairs, std::size_t num_genes,
                                                      std::uint64_t min_group_size);

}  // namespace varnosk
