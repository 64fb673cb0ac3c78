#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

#include <boost/dynamic_bitset.hpp>

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
// The pairs of a bin of at most kMaxStoredPairGenes genes (the common case: they can number
// millions): positions fit in 16 bits, 8 bytes a pair instead of 12.
using StoredPair = PairOf<std::uint16_t>;
// A bin stores millions of pairs: no padding beyond what they hold.
static_assert(sizeof(StoredPair) == 8 && sizeof(GenesPair) == 12);

// The number of genes positions of that type can tell apart.
template <typename Position>
inline constexpr std::size_t kMaxGenesFor = std::size_t{std::numeric_limits<Position>::max()} + 1;
inline constexpr std::size_t kMaxStoredPairGenes = kMaxGenesFor<std::uint16_t>;

// f(position) with a value of the position type the pairs of a bin of that many genes take:
// 16 bits up to kMaxStoredPairGenes genes, 32 beyond.
template <typename F>
auto withPairPositions(std::size_t num_genes, F f) {
    if (num_genes <= kMaxStoredPairGenes) return f(std::uint16_t{});
    return f(std::uint32_t{});
}

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

// The greedy pass over the pairs of a bin of `num_genes` genes that a judge keeps, in the
// order of isStrongerPair: the pivot is the first gene of the first remaining pair; it and its
// remaining partners form a group, whose pairs are then all removed (order kept) whatever the
// group's size. The groups of at least `min_group_size` genes are kept in the order found,
// each as ascending bin positions. At most kMaxGenesFor<Position> genes.
//
// The pass is fed candidates: pairs the judge may keep, each with a bound at least its stored
// concordance in place of it, in any order. Pairs are judged only as far as the order of the
// kept ones needs: a pair that would come after the strongest kept pair found so far even with
// its bound for concordance (a tie goes to creation order) can wait, and most never need
// judging, their genes taken first.
template <typename Position>
class PairGroups {
public:
    using Pair = PairOf<Position>;

    PairGroups(std::size_t num_genes, std::uint64_t min_group_size);

    bool isTaken(std::uint32_t gene) const { return taken_.test(gene); }

    // Appends to `partners` the genes not taken whose pair with `pivot` the judge keeps.
    using PartnersOf = std::function<void(std::uint32_t pivot, std::vector<std::uint32_t>& partners)>;

    // Goes on with the pass over `candidates` (consumed), which must hold every pair not yet
    // judged whose genes are not taken and which, with its bound for concordance, comes before
    // `floor` in the order of isStrongerPair. Without a floor (every such pair) the pass ends;
    // otherwise it stops where a pair not given may come first, and the next call gives the
    // pairs from `floor` on.
    void extend(std::vector<Pair>& candidates, const std::optional<Pair>& floor, PairJudge& judge,
                const PartnersOf& partners_of);

    std::vector<std::vector<std::uint32_t>> takeGroups() { return std::move(groups_); }

private:
    boost::dynamic_bitset<> taken_;
    std::uint64_t min_group_size_;
    std::vector<Pair> kept_;  // pairs judged and kept, their genes not taken; strongest on top
    std::vector<std::vector<std::uint32_t>> groups_;
    std::vector<std::uint32_t> group_;
};

// The whole pass when `candidates` holds every pair the judge may keep: the pivot's partners
// are found among its candidates.
template <typename Position>
std::vector<std::vector<std::uint32_t>> extractGroups(std::vector<PairOf<Position>>& candidates, std::size_t num_genes,
                                                      std::uint64_t min_group_size, PairJudge& judge);

}  // namespace varnosk
