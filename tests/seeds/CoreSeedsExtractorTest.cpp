#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <vector>

#include "TestSupport.hpp"
#include "compare/GenesComparator.hpp"
#include "seeds/CoreSeedRule.hpp"
#include "seeds/CoreSeedsExtractor.hpp"

namespace varnosk {
namespace {

using test::makeGene;

constexpr std::uint32_t kSamples = 80;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The same abundance pattern, present on samples [first, last) and absent elsewhere, so
// that any two such profiles agree exactly where both are present.
Gene presentOn(std::uint64_t id, std::uint32_t first, std::uint32_t last) {
    std::vector<float> counts(kSamples, 0.0f);
    for (std::uint32_t s = first; s < last; ++s) counts[s] = static_cast<float>(2 + (s * 7) % 11);
    return makeGene(id, "g" + std::to_string(id), counts, 1.0f);
}

class CoreSeedsExtractorTest : public ::testing::Test {
protected:
    void SetUp() override {
        GenesComparator::setDetectionLimit(1.0);
        GenesComparator::setMinPrevalence(3);
        GenesComparator::setMinPrevalenceForOutliers(5);
        GenesComparator::setMaxOutliersFraction(0.0);
        GenesComparator::setNumSamples(kSamples);
    }

    static Seed seed(const Gene& representative, std::size_t size) {
        Seed result;
        result.representative = representative;
        result.genes.assign(size, &representative);
        return result;
    }

    const CoreSeedsExtractor extractor{0.9, 0.95};
};

TEST_F(CoreSeedsExtractorTest, NestedSeedIsLeftOutInBothDirectionsOverlappingSeedsBothStay) {
    const Gene wide = presentOn(1, 0, 50);
    const Gene inside = presentOn(2, 0, 40);      // absent where `wide` is only in 40..49
    const Gene overlapping = presentOn(3, 5, 55);  // each of `wide` and it alone in 5 samples

    GenesComparator comparator;
    const ComparisonResult& nested = comparator.compareFull(wide, inside);
    ASSERT_TRUE(nested.valid);
    ASSERT_EQ(nested.num_gene2_only_samples, 0u);
    ASSERT_LT(nested.cooccurrence_pvalue, 1e-10);
    const ComparisonResult& crossing = comparator.compareFull(wide, overlapping);
    ASSERT_GT(crossing.num_gene1_only_samples, 0u);
    ASSERT_GT(crossing.num_gene2_only_samples, 0u);
    ASSERT_GE(crossing.concordance, 0.99);
    ASSERT_LT(crossing.cooccurrence_pvalue, 1e-10);

    // The wide seed is the larger one: the nested one has only gene1-only samples.
    const Seed wide_large = seed(wide, 3);
    const Seed inside_small = seed(inside, 2);
    const Seed overlapping_smallest = seed(overlapping, 1);
    std::ostringstream progress;
    EXPECT_EQ(extractor.extractCoreSeeds({&inside_small, &wide_large, &overlapping_smallest}, progress),
              (SeedRefs{&wide_large, &overlapping_smallest}));
    EXPECT_EQ(progress.str(), "Progress: 0%\rProgress: 66%\rProgress: 100%");

    // The nested seed is the larger one: the wide one has only gene2-only samples.
    const Seed inside_large = seed(inside, 3);
    const Seed wide_small = seed(wide, 2);
    EXPECT_EQ(extractor.extractCoreSeeds({&wide_small, &inside_large}, progress), (SeedRefs{&inside_large}));
}

TEST_F(CoreSeedsExtractorTest, CoreSeedIsGene1AndConcordanceAtTheMinimumDiscards) {
    const Gene wide = presentOn(1, 0, 50);
    // Ratios 0.9 and 1.1 in equal numbers: the concordance depends on the direction.
    std::vector<float> counts(kSamples, 0.0f);
    for (std::uint32_t s = 0; s < 40; ++s) counts[s] = wide.counts[s] * (s % 2 == 0 ? 0.9f : 1.1f);
    const Gene inside = makeGene(2, "inside", counts, 1.0f);
    GenesComparator comparator;
    const ComparisonResult& result = comparator.compareFull(wide, inside);
    ASSERT_TRUE(isNestedCoAbundant(result, 0.0, 0.0));
    const double concordance = result.concordance;
    ASSERT_NE(comparator.compareFull(inside, wide).concordance, concordance);

    const Seed large = seed(wide, 2);
    const Seed small = seed(inside, 1);
    std::ostringstream progress;
    // The robust minimum is out of reach, so the plain concordance decides.
    EXPECT_EQ(CoreSeedsExtractor({concordance, 2.0}).extractCoreSeeds({&large, &small}, progress),
              (SeedRefs{&large}));
    EXPECT_EQ(CoreSeedsExtractor({std::nextafter(concordance, 2.0), 2.0}).extractCoreSeeds({&large, &small}, progress),
              (SeedRefs{&large, &small}));
}

TEST_F(CoreSeedsExtractorTest, WithoutDiscardsEverySeedIsCoreLargestFirstLaterFirstOnTies) {
    const Gene a = presentOn(1, 0, 20);
    const Gene b = presentOn(2, 30, 50);
    const Gene c = presentOn(3, 60, 80);
    const Seed first = seed(a, 2);
    const Seed second = seed(b, 5);
    const Seed third = seed(c, 2);
    std::ostringstream progress;
    EXPECT_EQ(extractor.extractCoreSeeds({&first, &second, &third}, progress), (SeedRefs{&second, &third, &first}));
    EXPECT_EQ(progress.str(), "Progress: 0%\rProgress: 33%\rProgress: 66%\rProgress: 100%");
}

TEST_F(CoreSeedsExtractorTest, SingleSeedIsTheCoreSeedAndEmptyListGivesNone) {
    const Gene a = presentOn(1, 0, 20);
    const Seed only = seed(a, 1);
    std::ostringstream single_progress;
    EXPECT_EQ(extractor.extractCoreSeeds({&only}, single_progress), (SeedRefs{&only}));
    EXPECT_EQ(single_progress.str(), "Progress: 0%\rProgress: 100%");

    std::ostringstream empty_progress;
    EXPECT_TRUE(extractor.extractCoreSeeds({}, empty_progress).empty());
    EXPECT_EQ(empty_progress.str(), "Progress: 0%");
}

// A comparison that meets all four conditions; each case below breaks one.
ComparisonResult nestedResult() {
    ComparisonResult result;
    result.valid = true;
    result.concordance = 0.95;
    result.robust_concordance = 0.95;
    result.num_gene1_only_samples = 4;
    result.num_gene2_only_samples = 0;
    result.cooccurrence_pvalue = 1e-11;
    return result;
}

TEST(CoreSeedRule, AllFourConditionsAreNeeded) {
    EXPECT_TRUE(isNestedCoAbundant(nestedResult(), 0.9, 0.95));

    ComparisonResult invalid = nestedResult();
    invalid.valid = false;
    EXPECT_FALSE(isNestedCoAbundant(invalid, 0.9, 0.95));

    ComparisonResult both_sides = nestedResult();
    both_sides.num_gene2_only_samples = 1;
    EXPECT_FALSE(isNestedCoAbundant(both_sides, 0.9, 0.95));
    ComparisonResult other_side = nestedResult();
    other_side.num_gene1_only_samples = 0;
    other_side.num_gene2_only_samples = 3;
    EXPECT_TRUE(isNestedCoAbundant(other_side, 0.9, 0.95));

    ComparisonResult at_level = nestedResult();
    at_level.cooccurrence_pvalue = 1e-10;
    EXPECT_FALSE(isNestedCoAbundant(at_level, 0.9, 0.95));
    ComparisonResult nan_pvalue = nestedResult();
    nan_pvalue.cooccurrence_pvalue = kNaN;
    EXPECT_FALSE(isNestedCoAbundant(nan_pvalue, 0.9, 0.95));
}

TEST(CoreSeedRule, EitherConcordanceMayReachItsMinimum) {
    ComparisonResult at_minimum = nestedResult();
    at_minimum.concordance = 0.9;
    at_minimum.robust_concordance = 0.9;
    EXPECT_TRUE(isNestedCoAbundant(at_minimum, 0.9, 0.95));

    ComparisonResult robust_only = nestedResult();
    robust_only.concordance = 0.5;
    robust_only.robust_concordance = 0.95;
    EXPECT_TRUE(isNestedCoAbundant(robust_only, 0.9, 0.95));

    ComparisonResult nan_concordance = nestedResult();
    nan_concordance.concordance = kNaN;
    EXPECT_TRUE(isNestedCoAbundant(nan_concordance, 0.9, 0.95));
    nan_concordance.robust_concordance = 0.94;
    EXPECT_FALSE(isNestedCoAbundant(nan_concordance, 0.9, 0.95));

    ComparisonResult neither = nestedResult();
    neither.concordance = 0.89;
    neither.robust_concordance = 0.94;
    EXPECT_FALSE(isNestedCoAbundant(neither, 0.9, 0.95));
}

}  // namespace
}  // namespace varnosk
