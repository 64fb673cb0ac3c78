#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
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
