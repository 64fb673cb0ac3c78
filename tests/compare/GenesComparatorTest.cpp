// Boundaries of the comparison rules on hand-made genes; their values on real data are pinned
// end to end by the golden tables.
#include "compare/GenesComparator.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <tuple>
#include <vector>

#include "TestSupport.hpp"
#include "compare/KeySelection.hpp"
#include "compare/Median.hpp"

namespace varnosk {
namespace {

// Detection threshold 1 on the square-root scale.
ComparisonParameters parameters(std::uint32_t num_samples, std::uint64_t min_prevalence = 2,
                                std::uint64_t for_outliers = 5, double max_outliers_fraction = 0.25) {
    ComparisonParameters p = test::testParameters(num_samples, max_outliers_fraction);
    p.min_prevalence = min_prevalence;
    p.min_prevalence_for_outliers = for_outliers;
    return p;
}

Gene gene(std::vector<float> counts) { return test::makeGene(1, "g", std::move(counts), 1.0f); }

TEST(GenesComparator, RatioRefinementStopsOnConvergenceOrAfterThreeIterations) {
    GenesComparator three(parameters(3));
    // First median 2.01/2 is within 1% of 1: one iteration, although a second one (with the
    // raised gene2 threshold dropping the first sample) would move the ratio.
    const ComparisonResult& converged = three.compare(gene({1, 2, 3}), gene({1.0f, 2.01f, 3.03f}), 0);
    EXPECT_EQ(converged.abundance_ratio, static_cast<float>(2.01f / 2.0f));
    EXPECT_EQ(converged.gene2_threshold, static_cast<float>(2.01f / 2.0f));
    // Medians 5.5, 8, 9 (gene2 thresholds dropping the low samples each time); a fourth
    // iteration would give 9.5.
    GenesComparator ten(parameters(10));
    const ComparisonResult& capped =
        ten.compare(gene(std::vector<float>(10, 1.0f)), gene({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}), 0);
    EXPECT_TRUE(capped.valid);
    EXPECT_EQ(capped.abundance_ratio, 9.0);
    EXPECT_EQ(capped.gene1_threshold, 1.0);
    EXPECT_EQ(capped.gene2_threshold, 9.0);
    EXPECT_EQ(capped.num_codetected_samples, 2u);
    EXPECT_THROW(ten.compare(gene({1, 2, 3, 4}), gene({1, 2, 3, 4, 5}), 0), std::invalid_argument);

    // Even counts: quotients 2, 2.5, 3, 10 average the two middle ones; with 2, 3, 3, 10 the
    // key below the middle is the middle value again. The raised gene2 threshold keeps every
    // sample, so the first median stands.
    GenesComparator four(parameters(4));
    for (const auto& [counts, expected] : {std::pair{std::vector<float>{4, 5, 6, 20}, 2.75}, {{4, 6, 6, 20}, 3.0}}) {
        const ComparisonResult& even = four.compare(gene({2, 2, 2, 2}), gene(counts), 0);
        EXPECT_TRUE(even.valid);
        EXPECT_EQ(even.abundance_ratio, expected);
        EXPECT_EQ(even.gene2_threshold, expected);
        EXPECT_EQ(even.num_codetected_samples, 4u);
    }
}

TEST(GenesComparator, SampleClassificationUsesStrictTestsForSingleGenePresence) {
    GenesComparator comparator(parameters(7));
    // Samples: co-detected twice; gene1 only; gene1 exactly at its threshold with gene2 zero
    // (counted nowhere); gene1 zero with gene2 non-zero below its threshold (nowhere); both
    // absent; both non-zero below the thresholds.
    const Gene g1 = gene({2.0f, 3.0f, 5.0f, 1.0f, 0.0f, 0.0f, 0.5f});
    const Gene g2 = gene({2.0f, 3.0f, 0.0f, 0.0f, 0.5f, 0.0f, 0.5f});
    EXPECT_FALSE(comparator.compare(g1, g2, 0).valid);
    EXPECT_TRUE(comparator.compare(g1, g2, 1).valid);
    const ComparisonResult& full = comparator.compareFull(g1, g2);
    EXPECT_TRUE(full.valid);
    EXPECT_EQ(std::tuple(full.num_codetected_samples, full.num_nonzero_samples, full.num_gene1_only_samples,
                         full.num_gene2_only_samples, full.num_both_absent_samples, full.num_exclusive_samples),
              std::tuple(2u, 3u, 1u, 0u, 1u, 1u));
    // the concordance covers the non-zero sample below the thresholds too: (0.5, 0.5) lies on
    // the line, so it stays 1
    EXPECT_EQ(full.concordance, 1.0);

    // min_prevalence is inclusive, and checked before the ratio is estimated
    GenesComparator three(parameters(6, 3));
    const Gene h = gene({2, 3, 4, 0, 0, 0});
    EXPECT_TRUE(three.compare(h, gene({2, 3, 4.5f, 0, 0, 0}), 0).valid);
    const ComparisonResult& fewer = three.compare(h, gene({2, 3, 0.5f, 0, 0, 0}), 0);
    EXPECT_FALSE(fewer.valid);
    EXPECT_EQ(fewer.num_codetected_samples, 2u);
    EXPECT_EQ(fewer.abundance_ratio, 1.0);
    EXPECT_FALSE(three.compareFull(h, gene({2, 3, 0.5f, 0, 0, 0})).valid);
}

TEST(GenesComparator, OutlierAllowanceRoundsTheFractionOfCodetectedSamples) {
    // Ten proportional samples: every residual is 0, so the fences only let those through.
    const Gene g1 = gene({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    const Gene g2 = gene({2, 4, 6, 8, 10, 12, 14, 16, 18, 20});
    for (const auto& [fraction, for_outliers, expected] :
         {std::tuple{0.25, 5u, 3u}, {0.05, 5u, 1u}, {0.5, 8u, 2u}, {0.0, 5u, 0u}, {0.5, 11u, 0u}}) {
        GenesComparator comparator(parameters(10, 2, for_outliers, fraction));
        const ComparisonResult& result = comparator.compareFull(g1, g2);
        EXPECT_EQ(result.max_outliers, expected) << fraction << " " << for_outliers;
        // below min_prevalence_for_outliers the outlier step does not run at all
        EXPECT_EQ(result.num_inliers, for_outliers <= 10 ? 10u : 0u);
    }
}

TEST(GenesComparator, QuartilesOfHalvesSetTukeyFencesInclusive) {
    // Co-detected residuals 2 x (1 .. n) centred on 0 with a ratio of exactly 1. n = 7:
    // halves {-6,-4,-2} and {2,4,6} give Q1 = -4, Q3 = 4, fences -16 and 16; n = 8: residuals
    // -7 .. 7 by 2 give the same. Four non-zero samples below a threshold probe the fences.
    for (auto [x, y] :
         {std::pair<std::vector<float>, std::vector<float>>{{10, 8, 4, 3, 2, 2, 2}, {4, 4, 2, 3, 4, 6, 8}},
          {{10, 8, 5, 2, 2, 2, 2, 2}, {3, 3, 2, 1, 3, 5, 7, 9}}}) {
        const std::size_t n = x.size();
        x.insert(x.end(), {16.5f, 0.5f, 17.0f, 0.5f});
        y.insert(y.end(), {0.5f, 16.5f, 0.5f, 17.0f});
        GenesComparator comparator(parameters(static_cast<std::uint32_t>(x.size()), 2, 5, 0.5));
        const ComparisonResult& result = comparator.compareFull(gene(x), gene(y));
        SCOPED_TRACE(n);
        ASSERT_TRUE(result.valid);
        ASSERT_EQ(result.abundance_ratio, 1.0);
        EXPECT_EQ(result.num_codetected_samples, n);
        // Both probes on a fence are inliers; beyond the lower fence with gene2 below the
        // detection threshold is neither; beyond the upper fence with gene2 above its
        // threshold is an outlier.
        EXPECT_EQ(result.num_inliers, n + 2);
        EXPECT_EQ(result.num_outliers, 1u);
    }
}

TEST(GenesComparator, RobustConcordanceDiscountsFewOutliers) {
    // Proportional (ratio 2) except one sample where gene2 is far too high.
    const Gene g1 = gene({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    const Gene g2 = gene({2, 4, 6, 8, 10, 12, 14, 16, 18, 60});
    GenesComparator comparator(parameters(10, 2, 5, 0.25));
    const ComparisonResult robust = comparator.compareFull(g1, g2);
    ASSERT_TRUE(robust.valid);
    EXPECT_EQ(robust.num_outliers, 1u);
    EXPECT_EQ(robust.num_inliers, 9u);
    EXPECT_LT(robust.concordance, 0.9);
    EXPECT_EQ(robust.robust_concordance, 1.0);  // the nine inliers lie on y = 2x
    EXPECT_EQ(robust.concordance_pvalue, 0.0);
    // the two-step form leaves the p-values at 1.0, then completes the same result
    EXPECT_EQ(comparator.compareFullWithoutPValues(g1, g2).combined_pvalue, 1.0);
    const ComparisonResult& completed = comparator.addPValues();
    EXPECT_EQ(std::tuple(completed.concordance_pvalue, completed.cooccurrence_pvalue, completed.combined_pvalue),
              std::tuple(robust.concordance_pvalue, robust.cooccurrence_pvalue, robust.combined_pvalue));

    // no allowance: the outlier counts in full
    GenesComparator strict(parameters(10, 2, 5, 0.0));
    const ComparisonResult& plain = strict.compareFull(g1, g2);
    EXPECT_EQ(plain.max_outliers, 0u);
    EXPECT_EQ(plain.robust_concordance, robust.concordance);
    EXPECT_EQ(plain.concordance, robust.concordance);
    EXPECT_GT(plain.concordance_pvalue, 0.0);
}

// The selection partitions around sampled pivots; ties (equal ratios are common), a run of
// minimum values that ends right at the middle, and sorted input are where it can go wrong.
TEST(MedianBySelection, MatchesSortedMedianWithTiesAndSortedInput) {
    std::mt19937 rng(7);
    for (std::size_t n = 1; n <= 300; ++n) {
        for (const unsigned distinct : {0u, 1u, 3u, 1000u}) {
            std::vector<double> values(n);
            for (std::size_t i = 0; i < n; ++i) {
                const auto draw = static_cast<double>(rng() % (distinct == 0 ? 1000 : distinct));
                values[i] = distinct == 0 ? (i < n / 2 ? 0.0 : 1.0 + draw) : draw;
            }
            if (distinct == 0 || n % 2 == 0) std::shuffle(values.begin(), values.end(), rng);
            if (distinct != 0 && n % 3 == 0) std::sort(values.begin(), values.end());
            std::vector<double> sorted = values;
            std::sort(sorted.begin(), sorted.end());
            const double expected = n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) * 0.5;
            EXPECT_EQ(medianBySelection(values.data(), n), expected) << n << " values, " << distinct << " distinct";
        }
    }
}

// The networks sort every size they take, padding the rest; ties and sorted runs included.
TEST(SortByNetwork, SortsEverySizeLikeTheLibrary) {
    std::mt19937 rng(5);
    for (std::size_t n = 1; n <= 32; ++n) {
        for (const unsigned distinct : {1u, 3u, 1000u}) {
            std::vector<double> values(n);
            for (double& value : values) value = static_cast<double>(rng() % distinct) - 1.5;
            if (n % 3 == 0) std::sort(values.begin(), values.end(), std::greater<>());
            std::vector<double> sorted = values;
            std::sort(sorted.begin(), sorted.end());
            if (n <= 16) {
                std::vector<double> small = values;
                sortByNetwork<16>(small.data(), n);
                EXPECT_EQ(small, sorted) << n << " values, " << distinct << " distinct";
            }
            sortByNetwork<32>(values.data(), n);
            EXPECT_EQ(values, sorted) << n << " values, " << distinct << " distinct";
        }
    }
}

// The key selection partitions four lanes at a time and finishes small ranges by counting:
// every rank of every size around the lane and cut-off boundaries, ties, sorted runs, and
// keys with the top bit set (negative or not-a-number patterns) that signed lanes would
// misorder.
TEST(SelectKey, MatchesSortedKeysAndLeavesThemUnchanged) {
    std::mt19937 rng(11);
    std::vector<std::uint32_t> scratch[3];
    for (auto& array : scratch) array.resize(400);
    const KeyScratch arrays{{scratch[0].data(), scratch[1].data(), scratch[2].data()}};
    for (std::size_t n = 1; n <= 200; n += n < 40 ? 1 : 7) {
        for (const unsigned distinct : {1u, 3u, 1000u, 0u}) {
            std::vector<std::uint32_t> keys(n);
            for (std::size_t i = 0; i < n; ++i) {
                const auto draw = static_cast<std::uint32_t>(rng() % (distinct == 0 ? 1000u : distinct));
                keys[i] =
                    distinct == 0 ? (draw % 2 == 0 ? 0xFFC00000u - draw : 0x3F800000u + draw) : 0x40000000u + draw;
            }
            if (n % 3 == 0) std::sort(keys.begin(), keys.end());
            if (n % 5 == 0) std::reverse(keys.begin(), keys.end());
            const std::vector<std::uint32_t> original = keys;
            std::vector<std::uint32_t> sorted = keys;
            std::sort(sorted.begin(), sorted.end());
            for (std::size_t k = 0; k < n; ++k) {
                ASSERT_EQ(selectKey(keys.data(), n, k, arrays), sorted[k])
                    << n << " keys, " << distinct << " distinct, k " << k;
            }
            EXPECT_EQ(keys, original);
        }
    }
}

}  // namespace
}  // namespace varnosk
