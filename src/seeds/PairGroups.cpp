#include "seeds/PairGroups.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include <boost/dynamic_bitset.hpp>

namespace varnosk {

template <typename Position>
PairGroups<Position>::PairGroups(std::size_t num_genes, std::uint64_t min_group_size)
    : taken_(num_genes), min_group_size_(min_group_size) {
    if (num_genes > kMaxGenesFor<Position>) throw std::logic_error("PairGroups: too many genes for the positions.");
}

template <typename Position>
void PairGroups<Position>::extend(std::vector<Pair>& candidates, const std::optional<Pair>& floor, PairJudge& judge,
                                  const PartnersOf& partners_of) {
    const auto remains = [this](const Pair& pair) { return !taken_.test(pair.first) && !taken_.test(pair.second); };
    const auto stronger = [](const Pair& a, const Pair& b) { return isStrongerPair(a, b); };
    const auto weaker = [](const Pair& a, const Pair& b) { return isStrongerPair(b, a); };
    // Candidates [next, sorted_end) are sorted strongest first; those after them, in any
    // order, are all weaker. Most pairs lose a gene to a group before their turn comes, so
    // the candidates are sorted a share at a time, the ones that lost a gene dropped first.
    constexpr std::size_t kMinShare = 1024;
    constexpr std::size_t kShareDivisor = 8;
    std::size_t next = 0;
    std::size_t sorted_end = 0;
    const auto next_remaining = [&] {
        for (;;) {
            while (next < sorted_end && !remains(candidates[next])) ++next;
            if (next < sorted_end) return true;
            const auto rest = candidates.begin() + static_cast<std::ptrdiff_t>(sorted_end);
            candidates.erase(std::remove_if(rest, candidates.end(), [&](const Pair& pair) { return !remains(pair); }),
                             candidates.end());
            const std::size_t num_left = candidates.size() - sorted_end;
            if (num_left == 0) return false;
            const std::size_t share = std::min(num_left, std::max(kMinShare, num_left / kShareDivisor));
            const auto share_end = rest + static_cast<std::ptrdiff_t>(share);
            if (share < num_left) std::nth_element(rest, share_end, candidates.end(), stronger);
            std::sort(rest, share_end, stronger);
            sorted_end += share;
        }
    };
    for (;;) {
        while (!kept_.empty() && !remains(kept_.front())) {
            std::pop_heap(kept_.begin(), kept_.end(), weaker);
            kept_.pop_back();
        }
        const bool unjudged = next_remaining();
        // The strongest kept pair is the first remaining one once it comes before every pair
        // not judged, taken at its bound. A concordance that is not a number follows every
        // number, so such a pair waits for the end.
        if (!kept_.empty()) {
            const Pair& strongest = kept_.front();
            const bool beats_candidates = !unjudged || isStrongerPair(strongest, candidates[next]);
            const bool beats_rest = !floor || isStrongerPair(strongest, *floor);
            if (beats_candidates && beats_rest) {
                const std::uint32_t pivot = strongest.first;
                group_.assign(1, pivot);
                taken_.set(pivot);
                partners_of(pivot, group_);
                for (std::size_t k = 1; k < group_.size(); ++k) taken_.set(group_[k]);
                // Every pair touching the group goes, even when the group was too small for a seed.
                if (group_.size() >= min_group_size_) {
                    std::sort(group_.begin(), group_.end());
                    groups_.push_back(group_);
                }
                continue;
            }
        }
        if (!unjudged) break;
        const Pair candidate = candidates[next++];
        if (const auto concordance = judge.concordance(candidate.first, candidate.second)) {
            kept_.push_back({candidate.first, candidate.second, *concordance});
            std::push_heap(kept_.begin(), kept_.end(), weaker);
        }
    }
    candidates.clear();
}

template <typename Position>
std::vector<std::vector<std::uint32_t>> extractGroups(std::vector<PairOf<Position>>& candidates, std::size_t num_genes,
                                                      std::uint64_t min_group_size, PairJudge& judge) {
    PairGroups<Position> pass(num_genes, min_group_size);
    // The pivot's remaining partners are among its candidate neighbours not yet taken.
    std::vector<std::uint64_t> offsets(num_genes + 1, 0);
    for (const PairOf<Position>& pair : candidates) {
        ++offsets[pair.first + 1];
        ++offsets[pair.second + 1];
    }
    for (std::size_t g = 0; g < num_genes; ++g) offsets[g + 1] += offsets[g];
    std::vector<Position> neighbours(offsets[num_genes]);
    {
        std::vector<std::uint64_t> next(offsets.begin(), offsets.end() - 1);
        for (const PairOf<Position>& pair : candidates) {
            neighbours[next[pair.first]++] = pair.second;
            neighbours[next[pair.second]++] = pair.first;
        }
    }
    pass.extend(candidates, std::nullopt, judge, [&](std::uint32_t pivot, std::vector<std::uint32_t>& partners) {
        for (std::uint64_t k = offsets[pivot]; k < offsets[pivot + 1]; ++k) {
            const std::uint32_t partner = neighbours[k];
            if (pass.isTaken(partner)) continue;
            if (judge.concordance(std::min(pivot, partner), std::max(pivot, partner))) {
                partners.push_back(partner);
            }
        }
    });
    return pass.takeGroups();
}

template class PairGroups<std::uint16_t>;
template class PairGroups<std::uint32_t>;
template std::vector<std::vector<std::uint32_t>> extractGroups(std::vector<PairOf<std::uint16_t>>&, std::size_t,
                                                               std::uint64_t, PairJudge&);
template std::vector<std::vector<std::uint32_t>> extractGroups(std::vector<PairOf<std::uint32_t>>&, std::size_t,
                                                               std::uint64_t, PairJudge&);

}  // namespace varnosk
