#include "seeds/PairGraph.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace varnosk {
namespace {

using Groups = std::vector<std::vector<std::uint32_t>>;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(SeedsExtraction, SortsStrongestFirstTiesAndNaNInCreationOrder) {
    std::vector<GenesPair> pairs{{0, 1, 0.8f}, {0, 2, kNaN}, {0, 3, 0.9f}, {1, 2, 0.8f},
                                 {1, 3, kNaN}, {2, 3, 0.95f}, {2, 4, 0.9f}};
    sortPairsStrongestFirst(pairs);
    std::vector<std::uint32_t> codes;  // first * 100 + second
    for (const GenesPair& pair : pairs) codes.push_back(pair.first * 100 + pair.second);
    EXPECT_EQ(codes, (std::vector<std::uint32_t>{203, 3, 204, 1, 102, 2, 103}));
}

TEST(SeedsExtraction, PivotTakesItsNeighboursAndEveryGroupRemovesItsPairs) {
    // Strongest pair (3, 5): pivot 3, whose neighbours stand on either side of it. Group
    // {1, 3, 5, 7} removes (0, 1) and (5, 6) with it; pivot 2 then takes 4 only.
    std::vector<GenesPair> pairs{{3, 5, 0.99f}, {1, 3, 0.9f}, {3, 7, 0.8f}, {0, 1, 0.97f},
                                 {5, 6, 0.96f}, {2, 4, 0.85f}, {4, 6, 0.75f}};
    EXPECT_EQ(extractGroups(pairs, 8, 2), (Groups{{1, 3, 5, 7}, {2, 4}}));
    EXPECT_TRUE(pairs.empty());
    // The strongest pair's group {0, 1} is too small: gene 1 must still not join 2's group.
    for (const auto& [min_size, expected] : {std::pair{3u, Groups{{2, 3, 4}}}, {4u, Groups{}}}) {
        std::vector<GenesPair> chain{{0, 1, 0.99f}, {1, 2, 0.95f}, {2, 3, 0.9f}, {2, 4, 0.9f}, {3, 4, 0.9f}};
        EXPECT_EQ(extractGroups(chain, 5, min_size), expected) << min_size;
    }
    // created first, NaN pairs still come last, and still form groups
    std::vector<GenesPair> nan_first{{0, 1, kNaN}, {0, 2, kNaN}, {3, 4, 0.7f}, {4, 5, 0.71f}};
    sortPairsStrongestFirst(nan_first);
    EXPECT_EQ(extractGroups(nan_first, 6, 3), (Groups{{3, 4, 5}, {0, 1, 2}}));
}

}  // namespace
}  // namespace varnosk
