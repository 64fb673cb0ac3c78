#include "seeds/PairGraph.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include <boost/dynamic_bitset.hpp>

namespace varnosk {

std::vector<std::vector<std::uint32_t>> extractGroups(std::vector<StoredPair>& candidates, std::size_t num_genes,
                                                      std::uint64_t min_group_size, PairJudge& judge) {
    if (num_genes > kMaxStoredPairGenes) throw std::logic_error("extractGroups: too many genes for stored pairs.");
    // A pair remains while neither of its genes has joined a group, and the pivot's remaining
    // partners are among its candidate neighbours not yet taken.
    std::vector<std::uint64_t> offsets(num_genes + 1, 0);
    for (const StoredPair& pair : candidates) {
        ++offsets[pair.first + 1];
        ++offsets[pair.second + 1];
    }
    for (std::size_t g = 0; g < num_genes; ++g) offsets[g + 1] += offsets[g];
    std::vector<std::uint16_t> neighbours(offsets[num_genes]);
    {
        std::vector<std::uint64_t> next(offsets.begin(), offsets.end() - 1);
        for (const StoredPair& pair : candidates) {
            neighbours[next[pair.first]++] = pair.second;
            neighbours[next[pair.second]++] = pair.first;
        }
    }

    boost::dynamic_bitset<> taken(num_genes);
    const auto remains = [&taken](const StoredPair& pair) { return !taken.test(pair.first) && !taken.test(pair.second); };
    // The kept pairs judged so far, the strongest on top.
    const auto stronger = [](const StoredPair& a, const StoredPair& b) { return isStrongerPair(a, b); };
    const auto weaker = [](const StoredPair& a, const StoredPair& b) { return isStrongerPair(b, a); };
    std::vector<StoredPair> kept;
    std::vector<std::vector<std::uint32_t>> groups;
    std::vector<std::uint32_t> group;
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
            candidates.erase(std::remove_if(rest, candidates.end(), [&](const StoredPair& pair) { return !remains(pair); }),
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
        while (!kept.empty() && !remains(kept.front())) {
            std::pop_heap(kept.begin(), kept.end(), weaker);
            kept.pop_back();
        }
        const bool unjudged = next_remaining();
        // The strongest kept pair is the first remaining one once every pair not judged has a
        // smaller bound (an equal one may still come first on a tie). A concordance that is not
        // a number follows every number, so such a pair waits for the end.
        if (!kept.empty() && (!unjudged || kept.front().concordance > candidates[next].concordance)) {
            const std::uint32_t pivot = kept.front().first;
            group.clear();
            taken.set(pivot);
            group.push_back(pivot);
            for (std::uint64_t k = offsets[pivot]; k < offsets[pivot + 1]; ++k) {
                const std::uint32_t partner = neighbours[k];
                if (taken.test(partner)) continue;
                if (judge.concordance(std::min(pivot, partner), std::max(pivot, partner))) {
                    taken.set(partner);
                    group.push_back(partner);
                }
            }
            // Every pair touching the group goes, even when the group was too small for a seed.
            if (group.size() >= min_group_size) {
                std::sort(group.begin(), group.end());
                groups.push_back(group);
            }
            continue;
        }
        if (!unjudged) break;
        const StoredPair candidate = candidates[next++];
        if (const auto concordance = judge.concordance(candidate.first, candidate.second)) {
            kept.push_back({candidate.first, candidate.second, *concordance});
            std::push_heap(kept.begin(), kept.end(), weaker);
        }
    }
    candidates.clear();
    return groups;
}

}  // namespace varnosk
