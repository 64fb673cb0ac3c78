#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <vector>

#include "seeds/PairGraph.hpp"

namespace varnosk {
namespace {

using Groups = std::vector<std::vector<std::uint32_t>>;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Each pair as first * 100 + second, to compare orders at a glance.
std::vector<std::uint32_t> codes(const std::vector<GenesPair>& pairs) {
    std::vector<std::uint32_t> out;
    for (const GenesPair& pair : pairs) out.push_back(pair.first * 100 + pair.second);
    return out;
}

// The first algorithm: the pivot's partners by a scan of every remaining pair, then every
// pair touching the group removed.
Groups rescanningExtraction(std::vector<GenesPair> pairs, std::size_t num_genes, std::uint64_t min_group_size) {
    Groups groups;
    while (!pairs.empty()) {
        const std::uint32_t pivot = pairs.front().first;
        std::vector<bool> marked(num_genes, false);
        std::vector<std::uint32_t> group{pivot};
        marked[pivot] = true;
        for (const GenesPair& pair : pairs) {
            const std::uint32_t other = pair.first == pivot ? pair.second : pair.second == pivot ? pair.first : pivot;
            if (!marked[other]) {
                marked[other] = true;
                group.push_back(other);
            }
        }
        if (group.size() >= min_group_size) {
            std::sort(group.begin(), group.end());
            groups.push_back(group);
        }
        std::erase_if(pairs, [&](const GenesPair& pair) { return marked[pair.first] || marked[pair.second]; });
    }
    return groups;
}

TEST(SeedsExtraction, SameGroupsAsRescanningOnRandomGraphs) {
    std::mt19937_64 rng(3);
    for (int round = 0; round < 200; ++round) {
        const std::size_t n = 2 + rng() % 40;
        const double density = static_cast<double>(rng() % 100) / 100.0;
        std::vector<GenesPair> pairs;
        for (std::uint32_t i = 0; i < n; ++i) {
            for (std::uint32_t j = i + 1; j < n; ++j) {
                if (static_cast<double>(rng() % 1000) / 1000.0 >= density) continue;
                // Few distinct values, so ties are frequent; some NaN.
                const float value = rng() % 10 == 0 ? kNaN : static_cast<float>(rng() % 5) / 4.0f;
                pairs.push_back({i, j, value});
            }
        }
        sortPairsStrongestFirst(pairs);
        const std::uint64_t min_size = 1 + rng() % 4;
        const Groups expected = rescanningExtraction(pairs, n, min_size);
        EXPECT_EQ(extractGroups(pairs, n, min_size), expected) << "round " << round;
    }
}

TEST(SeedsExtraction, SortsStrongestFirstTiesAndNaNInCreationOrder) {
    std::vector<GenesPair> pairs{{0, 1, 0.8f}, {0, 2, kNaN}, {0, 3, 0.9f}, {1, 2, 0.8f},
                                 {1, 3, kNaN}, {2, 3, 0.95f}, {2, 4, 0.9f}};
    sortPairsStrongestFirst(pairs);
    EXPECT_EQ(codes(pairs), (std::vector<std::uint32_t>{203, 3, 204, 1, 102, 2, 103}));
}

TEST(SeedsExtraction, PivotIsLowerGeneOfStrongestPairWithItsNeighbours) {
    // Strongest pair (3, 5): pivot 3, whose neighbours stand on either side of it.
    std::vector<GenesPair> pairs{{3, 5, 0.99f}, {1, 3, 0.9f}, {3, 7, 0.8f}, {0, 1, 0.97f},
                                 {5, 6, 0.96f}, {2, 4, 0.85f}, {4, 6, 0.75f}};
    const Groups groups = extractGroups(pairs, 8, 2);
    // Group {1, 3, 5, 7} removes (0, 1) and (5, 6) with it; then (2, 4) and (4, 6) remain:
    // pivot 2 takes 4 only, (4, 6) goes with it.
    EXPECT_EQ(groups, (Groups{{1, 3, 5, 7}, {2, 4}}));
    EXPECT_TRUE(pairs.empty());
}

TEST(SeedsExtraction, TooSmallGroupStillRemovesItsPairs) {
    // The strongest pair's group {0, 1} is too small; gene 1 must not join 2's group later.
    std::vector<GenesPair> pairs{{0, 1, 0.99f}, {1, 2, 0.95f}, {2, 3, 0.9f}, {2, 4, 0.9f}, {3, 4, 0.9f}};
    EXPECT_EQ(extractGroups(pairs, 5, 3), (Groups{{2, 3, 4}}));

    std::vector<GenesPair> again{{0, 1, 0.99f}, {1, 2, 0.95f}, {2, 3, 0.9f}, {2, 4, 0.9f}, {3, 4, 0.9f}};
    EXPECT_EQ(extractGroups(again, 5, 4), Groups{});
}

TEST(SeedsExtraction, NaNPairsComeLastButStillFormGroups) {
    // Created first, the NaN pairs must still not provide the first pivot.
    std::vector<GenesPair> pairs{{0, 1, kNaN}, {0, 2, kNaN}, {3, 4, 0.7f}, {4, 5, 0.71f}};
    sortPairsStrongestFirst(pairs);
    EXPECT_EQ(extractGroups(pairs, 6, 3), (Groups{{3, 4, 5}, {0, 1, 2}}));
}

}  // namespace
}  // namespace varnosk
