#include "seeds/PairGraph.hpp"

#include <algorithm>
#include <cmath>

#include <boost/dynamic_bitset.hpp>

namespace varnosk {

void sortPairsStrongestFirst(std::vector<GenesPair>& pairs) {
    // A strict weak ordering even with NaN present, which a plain '>' is not.
    std::stable_sort(pairs.begin(), pairs.end(), [](const GenesPair& a, const GenesPair& b) {
        if (std::isnan(b.concordance)) return !std::isnan(a.concordance);
        return a.concordance > b.concordance;
    });
}

std::vector<std::vector<std::uint32_t>> extractGroups(std::vector<GenesPair>& pairs, std::size_t num_genes,
                                                      std::uint64_t min_group_size) {
    std::vector<std::vector<std::uint32_t>> groups;
    boost::dynamic_bitset<> marked(num_genes);
    std::vector<std::uint32_t> group;  // the marked positions, to clear them without a full reset

    while (!pairs.empty()) {
        const std::uint32_t pivot = pairs.front().first;
        group.clear();
        marked.set(pivot);
        group.push_back(pivot);
        for (const GenesPair& pair : pairs) {
            std::uint32_t neighbour;
            if (pair.first == pivot) {
                neighbour = pair.second;
            } else if (pair.second == pivot) {
                neighbour = pair.first;
            } else {
                continue;
            }
            if (!marked.test_set(neighbour)) group.push_back(neighbour);
        }

        if (group.size() >= min_group_size) {
            std::sort(group.begin(), group.end());
            groups.push_back(group);
        }

        // Every pair touching the group goes, even when the group was too small for a seed.
        const auto kept = std::remove_if(pairs.begin(), pairs.end(), [&marked](const GenesPair& pair) {
            return marked.test(pair.first) || marked.test(pair.second);
        });
        pairs.erase(kept, pairs.end());

        for (const std::uint32_t position : group) marked.reset(position);
    }
    return groups;
}

}  // namespace varnosk
