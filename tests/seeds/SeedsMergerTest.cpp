#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <sstream>
#include <vector>

#include "TestSupport.hpp"
#include "compare/GenesComparator.hpp"
#include "compare/RepresentativeGenes.hpp"
#include "seeds/SeedsMerger.hpp"

namespace varnosk {
namespace {

using test::makeGene;

constexpr float kThreshold = 1.0f;

// Profiles on 8 samples (square-root scale, detection threshold 1). A and B agree wherever
// both are detected (B's 0.5 in sample 0 is below every threshold), C is present in sample 0
// where A is absent, so A-C is not a valid pair while B-C is a concordant one.
const std::vector<float> kProfileA = {0, 2, 3, 4, 5, 6, 7, 8};
const std::vector<float> kProfileB = {0.5f, 2, 3, 4, 5, 6, 7, 8};
const std::vector<float> kProfileC = {3, 2, 3, 4, 5, 6, 7, 8};

class SeedsMergerTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::configureComparison({.num_samples = 8});
    }

    static std::unique_ptr<Seed> seed(GeneList genes, const Gene& representative) {
        auto result = std::make_unique<Seed>();
        result->genes = std::move(genes);
        result->representative = representative;
        return result;
    }

    static std::vector<std::uint64_t> ids(const Seed& seed) {
        std::vector<std::uint64_t> result;
        for (const Gene* gene : seed.genes) result.push_back(gene->id);
        return result;
    }
};

TEST_F(SeedsMergerTest, MergedSeedIsReexaminedAndAbsorbsFurtherPartners) {
    // Stored with decreasing ids so that address order and id order disagree.
    std::vector<Gene> genes = {makeGene(8, "g8", kProfileA, kThreshold), makeGene(7, "g7", kProfileC, kThreshold),
                               makeGene(6, "g6", kProfileA, kThreshold), makeGene(5, "g5", kProfileA, kThreshold),
                               makeGene(1, "g1", kProfileB, kThreshold)};
    const Gene& g8 = genes[0];
    const Gene& g7 = genes[1];
    const Gene& g6 = genes[2];
    const Gene& g5 = genes[3];
    const Gene& g1 = genes[4];

    GenesComparator comparator;
    ASSERT_FALSE(comparator.compare(g5, g7, 0).valid);
    ASSERT_TRUE(comparator.compare(g5, g1, 0).valid);
    ASSERT_GE(comparator.compare(g5, g1, 0).concordance, 0.9);
    ASSERT_TRUE(comparator.compare(g1, g7, 0).valid);
    ASSERT_GE(comparator.compare(g1, g7, 0).concordance, 0.9);

    const auto build = [&] {
        SeedList seeds;
        seeds.push_back(seed({&g5, &g6, &g8}, g5));  // largest, taken first; partner of B only
        seeds.push_back(seed({&g6, &g1}, g1));       // shares g6 with the first seed
        seeds.push_back(seed({&g7}, g7));            // partner of B's profile, not of A's
        return seeds;
    };

    // A absorbs B; the union's first gene (g1, profile B) becomes the representative, which
    // then absorbs C. The size limit is applied only to the final seed.
    SeedList seeds = build();
    std::ostringstream progress;
    SeedsMerger{0.9, 5}.mergeSeeds(seeds, progress);
    ASSERT_EQ(seeds.size(), 1u);
    EXPECT_EQ(ids(*seeds[0]), (std::vector<std::uint64_t>{1, 5, 6, 7, 8}));
    EXPECT_EQ(seeds[0]->representative.id, 1u);
    EXPECT_EQ(progress.str(), "Progress: 0%\rProgress: 33%\rProgress: 66%\rProgress: 100%");

    SeedList too_small = build();
    std::ostringstream ignored;
    SeedsMerger{0.9, 6}.mergeSeeds(too_small, ignored);
    EXPECT_TRUE(too_small.empty());
}

TEST_F(SeedsMergerTest, SeedsWithoutPartnerAreKeptFromMinSizeLargestFirstLaterFirstOnTies) {
    // Disjoint presence: no pair of these representatives is comparable.
    const Gene x = makeGene(1, "x", {2, 3, 4, 0, 0, 0, 0, 0}, kThreshold);
    const Gene y = makeGene(2, "y", {0, 0, 0, 2, 3, 4, 0, 0}, kThreshold);
    const Gene z = makeGene(3, "z", {0, 0, 0, 0, 0, 2, 3, 4}, kThreshold);
    const Gene w = makeGene(4, "w", {4, 0, 0, 0, 0, 0, 2, 3}, kThreshold);

    SeedList seeds;
    seeds.push_back(seed({&x, &w}, x));
    seeds.push_back(seed({&y}, y));
    seeds.push_back(seed({&z, &w, &x}, z));
    seeds.push_back(seed({&w, &y}, w));
    std::ostringstream progress;
    SeedsMerger{0.5, 2}.mergeSeeds(seeds, progress);

    // y (1 gene) is below the minimum; of the two 2-gene seeds the later one comes first.
    ASSERT_EQ(seeds.size(), 3u);
    EXPECT_EQ(seeds[0]->representative.id, 3u);
    EXPECT_EQ(seeds[1]->representative.id, 4u);
    EXPECT_EQ(seeds[2]->representative.id, 1u);
    EXPECT_EQ(ids(*seeds[0]), (std::vector<std::uint64_t>{3, 4, 1}));  // unmerged seeds keep their genes as they were
    EXPECT_EQ(progress.str(), "Progress: 0%\rProgress: 25%\rProgress: 50%\rProgress: 75%\rProgress: 100%");
}

TEST_F(SeedsMergerTest, LargerRepresentativeAsGene1ReachingTheMinimumExactlyMakesAPartner) {
    // Ratios 0.9 and 1.1 in equal numbers: the median ratio one way is not the inverse of
    // the other, so the concordance depends on which representative is gene1.
    const Gene b1 = makeGene(1, "b1", {2, 3, 4, 5, 6, 7, 8, 9}, kThreshold);
    const Gene b2 = makeGene(2, "b2", {2, 3, 4, 5, 6, 7, 8, 9}, kThreshold);
    const Gene c = makeGene(3, "c", {1.8f, 3.3f, 3.6f, 5.5f, 5.4f, 7.7f, 7.2f, 9.9f}, kThreshold);
    GenesComparator comparator;
    const ComparisonResult& result = comparator.compare(b1, c, 0);
    ASSERT_TRUE(result.valid);
    const double concordance = result.concordance;
    ASSERT_LT(concordance, 0.99);
    ASSERT_NE(comparator.compare(c, b1, 0).concordance, concordance);

    const auto build = [&] {
        SeedList seeds;
        seeds.push_back(seed({&b1, &b2}, b1));
        seeds.push_back(seed({&c}, c));
        return seeds;
    };
    std::ostringstream progress;

    SeedList at_minimum = build();
    SeedsMerger{concordance, 1}.mergeSeeds(at_minimum, progress);
    ASSERT_EQ(at_minimum.size(), 1u);
    EXPECT_EQ(ids(*at_minimum[0]), (std::vector<std::uint64_t>{1, 2, 3}));

    SeedList just_above = build();
    SeedsMerger{std::nextafter(concordance, 2.0), 1}.mergeSeeds(just_above, progress);
    EXPECT_EQ(just_above.size(), 2u);
}

TEST_F(SeedsMergerTest, InvalidOrNotANumberComparisonIsNeverAPartner) {
    const Gene a = makeGene(1, "a", kProfileA, kThreshold);
    const Gene c = makeGene(2, "c", kProfileC, kThreshold);
    // Every pair of counts equal: the concordance is 0 / 0.
    const Gene flat1 = makeGene(3, "flat1", std::vector<float>(8, 2.0f), kThreshold);
    const Gene flat2 = makeGene(4, "flat2", std::vector<float>(8, 2.0f), kThreshold);
    GenesComparator comparator;
    ASSERT_FALSE(comparator.compare(a, c, 0).valid);
    ASSERT_TRUE(comparator.compare(flat1, flat2, 0).valid);
    ASSERT_TRUE(std::isnan(comparator.compare(flat1, flat2, 0).concordance));

    // With a minimum of -1 any valid number would make a partner.
    SeedList invalid_pair;
    invalid_pair.push_back(seed({&a}, a));
    invalid_pair.push_back(seed({&c}, c));
    std::ostringstream progress;
    SeedsMerger{-1.0, 1}.mergeSeeds(invalid_pair, progress);
    EXPECT_EQ(invalid_pair.size(), 2u);

    SeedList nan_pair;
    nan_pair.push_back(seed({&flat1}, flat1));
    nan_pair.push_back(seed({&flat2}, flat2));
    SeedsMerger{-1.0, 1}.mergeSeeds(nan_pair, progress);
    EXPECT_EQ(nan_pair.size(), 2u);
}

TEST_F(SeedsMergerTest, EmptyListDrawsOnlyTheStartOfTheProgressLine) {
    SeedList seeds;
    std::ostringstream progress;
    SeedsMerger{0.9, 1}.mergeSeeds(seeds, progress);
    EXPECT_TRUE(seeds.empty());
    EXPECT_EQ(progress.str(), "Progress: 0%");
}

}  // namespace
}  // namespace varnosk
