#include "seeds/PairGraph.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include <boost/dynamic_bitset.hpp>

namespace varnosk {

void sortPairsStrongestFirst(std::vector<StoredPair>& pairs) {
    // A total order whose ties fall back on creation order: the result of a stable sort of
    // pairs in creation order, without its buffer of as many pairs again.
    // Through a lambda, so that the sort inlines the comparison (a function pointer stays a call).
    std::sort(pairs.begin(), pairs.end(), [](const StoredPair& a, const StoredPair& b) { return isStrongerPair(a, b); });
}

std::vector<std::vector<std::uint32_t>> extractGroups(std::vector<StoredPair>& pairs, std::size_t num_genes,
                                                      std::uint64_t min_group_size) {
    if (num_genes > kMaxStoredPairGenes) throw std::logic_error("extractGroups: too many genes for stored pairs.");
    // A pair remains while neither of its genes has joined a group, so the first remaining
    // pair is found by one forward scan, and the pivot's remaining pairs are exactly its
    // adjacency entries to genes not yet taken: linear in the number of pairs.
    std::vector<std::uint64_t> offsets(num_genes + 1, 0);
    for (const StoredPair& pair : pairs) {
        ++offsets[pair.first + 1];
        ++offsets[pair.second + 1];
    }
    for (std::size_t g = 0; g < num_genes; ++g) offsets[g + 1] += offsets[g];
    std::vector<std::uint16_t> neighbours(offsets[num_genes]);
    {
        std::vector<std::uint64_t> next(offsets.begin(), offsets.end() - 1);
        for (const StoredPair& pair : pairs) {
            neighbours[next[pair.first]++] = pair.second;
            neighbours[next[pair.second]++] = pair.first;
        }
    }

    std::vector<std::vector<std::uint32_t>> groups;
    boost::dynamic_bitset<> taken(num_genes);
    std::vector<std::uint32_t> group;
    for (const StoredPair& pair : pairs) {
        if (taken.test(pair.first) || taken.test(pair.second)) continue;
        const std::uint32_t pivot = pair.first;
        group.clear();
        taken.set(pivot);
        group.push_back(pivot);
        for (std::uint64_t k = offsets[pivot]; k < offsets[pivot + 1]; ++k) {
            if (!taken.test_set(neighbours[k])) group.push_back(neighbours[k]);
        }
        // Every pair touching the group goes, even when the group was too small for a seed.
        if (group.size() >= min_group_size) {
            std::sort(group.begin(), group.end());
            groups.push_back(group);
        }
    }
    pairs.clear();
    return groups;
}

}  // namespace varnosk
