#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "seeds/PairJudge.hpp"

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

// Whether pair a comes before pair b in the order of the pairs of a bin, strongest first: by
// stored concordance, ties in creation order (first ascending, then second). Pairs whose
// concordance is not a number follow every numeric one, in creation order.
template <typename Position>
inline bool isStrongerPair(const PairOf<Position>& a, const PairOf<Position>& b) {
    const bool a_nan = a.concordance != a.concordance;
    const bool b_nan = b.concordance != b.concordance;
    if (a_nan != b_nan) return b_nan;
    if (!a_nan && a.concordance != b.concordance) return a.concordance > b.concordance;
    return a.first != b.first ? a.first < b.first : a.second < b.second;
}

// One greedy pass over the pairs of a bin of `num_genes` genes that the judge keeps, in the
// order of isStrongerPair: the pivot is the first gene of the first remaining pair; it and
// its remaining partners form a group, whose pairs are then all removed (order kept)
// whatever the group's size. Returns the groups of at least `min_group_size` genes in the
// order found, each as ascending bin positions. At most kMaxStoredPairGenes genes.
// `candidates` holds every pair the judge may keep, each with a bound at least its stored
// concordance in place of it, in any order; it is consumed. Pairs are
// judged only as far as the order of the kept ones needs: a pair whose bound is below the
// strongest kept pair found so far can wait, and most never need judging, their genes taken.
std::vector<std::vector<std::uint32_t>> extractGroups(std::vector<StoredPair>& candidates, std::size_t num_genes,
                                                      std::uint64_t min_group_size, PairJudge& judge);

}  // namespace varnosk
