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
    return makeGene(id, "gene", counts, 1.0f);
}

class CoreSeedsExtractorTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::configureComparison({.num_samples = kSamples});
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

// Each case changes one field of a comparison that meets all four conditions.
TEST(CoreSeedRule, AllFourConditionsAreNeeded) {
    using Change = void (*)(ComparisonResult&);
    struct Case {
        const char* what;
        Change change;
        bool discards;
    };
    const Case cases[] = {
        {"all conditions hold", [](ComparisonResult&) {}, true},
        {"invalid", [](ComparisonResult& r) { r.valid = false; }, false},
        {"both concordances low",
         [](ComparisonResult& r) { r.concordance = 0.89; r.robust_concordance = 0.94; }, false},
        {"concordance exactly at its minimum",
         [](ComparisonResult& r) { r.concordance = 0.9; r.robust_concordance = 0; }, true},
        {"NaN concordance, robust concordance high", [](ComparisonResult& r) { r.concordance = kNaN; }, true},
        {"NaN concordance, robust concordance low",
         [](ComparisonResult& r) { r.concordance = kNaN; r.robust_concordance = 0.94; }, false},
        {"exclusive samples on both sides", [](ComparisonResult& r) { r.num_gene2_only_samples = 1; }, false},
        {"only gene2-only samples",
         [](ComparisonResult& r) { r.num_gene1_only_samples = 0; r.num_gene2_only_samples = 3; }, true},
        {"co-occurrence p-value exactly 1e-10", [](ComparisonResult& r) { r.cooccurrence_pvalue = 1e-10; }, false},
        {"co-occurrence p-value NaN", [](ComparisonResult& r) { r.cooccurrence_pvalue = kNaN; }, false},
    };
    for (const Case& test_case : cases) {
        ComparisonResult result;
        result.valid = true;
        result.concordance = 0.95;
        result.robust_concordance = 0.95;
        result.num_gene1_only_samples = 4;
        result.num_gene2_only_samples = 0;
        result.cooccurrence_pvalue = 1e-11;
        test_case.change(result);
        EXPECT_EQ(isNestedCoAbundant(result, 0.9, 0.95), test_case.discards) << test_case.what;
    }
}

}  // namespace
}  // namespace varnosk
