#include "compare/ComparisonStatistics.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace varnosk {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(ComparisonStatistics, TablesHoldLogFactorialsAndOneDistributionPerSampleCount) {
    const LogFactorialTable log_factorial(170);
    EXPECT_EQ(log_factorial[0], 0.0);
    EXPECT_EQ(log_factorial[1], 0.0);
    for (std::uint32_t k : {2u, 5u, 20u, 170u}) {
        EXPECT_NEAR(log_factorial[k], std::lgamma(k + 1.0), 1e-12 * std::lgamma(k + 1.0)) << k;
    }
    const StudentTTable student_t(12);
    EXPECT_EQ(student_t.forSamples(3).degrees_of_freedom(), 1.0);
    EXPECT_EQ(student_t.forSamples(12).degrees_of_freedom(), 10.0);
    // Fewer than three samples: no distribution, and building the table must not fail.
    EXPECT_EQ(StudentTTable(2).numSamples(), 2u);
    EXPECT_EQ(StudentTTable(0).numSamples(), 0u);
}

TEST(ComparisonStatistics, ConcordancePValueBoundsAndSymmetry) {
    const StudentTTable table(50);
    EXPECT_EQ(concordancePValue(table, 1.0, 10), 0.0);
    EXPECT_EQ(concordancePValue(table, -1.0, 10), 1.0);
    EXPECT_DOUBLE_EQ(concordancePValue(table, 0.0, 10), 0.5);
    EXPECT_TRUE(std::isnan(concordancePValue(table, 0.5, 2)));
    EXPECT_TRUE(std::isnan(concordancePValue(table, kNaN, 10)));
    // Within one machine epsilon of the bounds, and beyond them through rounding: the bound's
    // value, never a thrown error or not-a-number.
    EXPECT_EQ(concordancePValue(table, std::nextafter(1.0, 0.0), 10), 0.0);
    EXPECT_EQ(concordancePValue(table, 1.0 + 1e-12, 10), 0.0);
    EXPECT_EQ(concordancePValue(table, -1.0 - 1e-12, 10), 1.0);
    // One-sided test of r > 0: opposite correlations give complementary p-values, and a
    // stronger correlation or more samples give a smaller one.
    for (double r : {0.1, 0.5, 0.9}) {
        EXPECT_NEAR(concordancePValue(table, r, 12) + concordancePValue(table, -r, 12), 1.0, 1e-14) << r;
    }
    EXPECT_LT(concordancePValue(table, 0.9, 12), concordancePValue(table, 0.5, 12));
    EXPECT_LT(concordancePValue(table, 0.5, 40), concordancePValue(table, 0.5, 12));
    // r = 0.5 over 3 samples: t = 0.5 / sqrt(0.75) with 1 degree of freedom, whose upper
    // tail is 1/2 - atan(t) / pi (Cauchy).
    EXPECT_NEAR(concordancePValue(table, 0.5, 3), 0.5 - std::atan(0.5 / std::sqrt(0.75)) / M_PI, 1e-14);
}

TEST(ComparisonStatistics, CooccurrencePValueIsUpperTailOfHypergeometric) {
    const LogFactorialTable table(20);
    // (5! 5!) / 10!: the only table with these margins and at least 5 co-presences.
    EXPECT_NEAR(cooccurrencePValue(table, 5, 0, 0, 5), 1.0 / 252.0, 1e-15);
    // k10 = 0: a single term, C(5,3) C(5,0) / C(10,3) = 1/12.
    EXPECT_NEAR(cooccurrencePValue(table, 3, 0, 2, 5), 1.0 / 12.0, 1e-15);
    EXPECT_NEAR(cooccurrencePValue(table, 3, 2, 0, 5), 1.0 / 12.0, 1e-15);
    // Three terms: P(X >= 2) for X ~ hypergeometric(10, 4, 4) = (90 + 24 + 1) / 210.
    EXPECT_NEAR(cooccurrencePValue(table, 2, 2, 2, 4), 115.0 / 210.0, 1e-14);
    // No co-presence at all: every table is at least as extreme.
    EXPECT_NEAR(cooccurrencePValue(table, 0, 6, 4, 10), 1.0, 1e-12);
}

TEST(ComparisonStatistics, CombinedPValueFollowsFishersMethod) {
    EXPECT_EQ(combinePValues(1.0, 1.0), 1.0);
    EXPECT_EQ(combinePValues(0.0, 0.3), 0.0);
    EXPECT_EQ(combinePValues(0.3, 0.0), 0.0);
    EXPECT_TRUE(std::isnan(combinePValues(0.3, kNaN)));
    EXPECT_TRUE(std::isnan(combinePValues(kNaN, 0.3)));
    // A co-occurrence p-value rounded slightly above 1 still combines to at most 1.
    EXPECT_EQ(combinePValues(1.0 + 1e-15, 1.0), 1.0);
    // Chi-squared with 4 degrees of freedom: the upper tail at -2 ln q is q (1 - ln q), up to
    // the absolute rounding of 1 - cdf.
    for (const auto& [p1, p2] : {std::pair{0.5, 0.5}, {0.01, 0.9}, {1e-6, 1e-3}, {0.2, 1.0}}) {
        const double q = p1 * p2;
        const double expected = q * (1.0 - std::log(q));
        EXPECT_NEAR(combinePValues(p1, p2), expected, 1e-12 * expected + 1e-15) << p1 << " " << p2;
    }
}

}  // namespace
}  // namespace varnosk
