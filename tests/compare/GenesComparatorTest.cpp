#include "compare/GenesComparator.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <random>
#include <vector>

#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/students_t.hpp>

#include "TestSupport.hpp"
#include "compare/Median.hpp"

namespace varnosk {
namespace {

using test::makeGene;

struct Parameters {
    double detection_limit = 1.0;  // threshold 1 on the square-root scale
    std::uint64_t min_prevalence = 2;
    std::uint64_t min_prevalence_for_outliers = 5;
    double max_outliers_fraction = 0.25;
};

// What the comparators of a test are built with; set by configure().
ComparisonParameters current;

void configure(std::uint64_t num_samples, const Parameters& parameters = {}) {
    current = test::testParameters(static_cast<std::uint32_t>(num_samples), parameters.max_outliers_fraction);
    current.detection_threshold = detectionThreshold(parameters.detection_limit);
    current.min_prevalence = parameters.min_prevalence;
    current.min_prevalence_for_outliers = parameters.min_prevalence_for_outliers;
}

Gene gene(std::vector<float> counts) {
    return makeGene(1, "g", std::move(counts), current.detection_threshold);
}

bool same(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

// ---------------------------------------------------------------------------------------
// An independent, slow rendering of the comparison rules: separate vectors, full sorts,
// library set intersection, p-values from freshly built distributions and lgamma.

double sortedMedian(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) * 0.5;
}

double referenceConcordance(const std::vector<double>& x, const std::vector<double>& y, double a) {
    const double k = static_cast<double>(x.size());
    double sx = 0.0, sy = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        sx += x[i];
        sy += y[i];
    }
    const double mx = sx / k, my = sy / k;
    double vx = 0.0, vy = 0.0, c = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        vx += (x[i] - mx) * (x[i] - mx);
        vy += (y[i] - my) * (y[i] - my);
        c += (x[i] - mx) * (y[i] - my);
    }
    vx /= k - 1;
    vy /= k - 1;
    c /= k - 1;
    return 2 * a * c / ((a * mx - my) * (a * mx - my) + a * a * vx + vy);
}

ComparisonResult reference(const Gene& g1, const Gene& g2, bool full, std::uint64_t max_exclusive,
                           const Parameters& p) {
    const double dl = static_cast<float>(std::sqrt(p.detection_limit));
    ComparisonResult r;
    r.gene1_threshold = r.gene2_threshold = dl;
    std::vector<std::uint32_t> k;
    for (std::uint32_t s = 0; s < g1.counts.size(); ++s) {
        if (g1.counts[s] >= dl && g2.counts[s] >= dl) k.push_back(s);
    }
    r.num_codetected_samples = k.size();
    if (k.size() < p.min_prevalence) return r;
    const auto& x = g1.counts;
    const auto& y = g2.counts;
    double a = 1.0, t1 = dl, t2 = dl;
    for (int iteration = 1; iteration <= 3; ++iteration) {
        std::vector<double> ratios;
        for (auto s : k) {
            if (double(x[s]) >= t1 && double(y[s]) >= t2) ratios.push_back(double(float(y[s] / x[s])));
        }
        if (ratios.size() < p.min_prevalence) return r;
        const double m = sortedMedian(ratios);
        const double previous = a;
        a = m;
        t1 = m < 1.0 ? dl / m : dl;
        t2 = m < 1.0 ? dl : dl * m;
        r.abundance_ratio = a;
        r.gene1_threshold = t1;
        r.gene2_threshold = t2;
        if (std::abs((m - previous) / previous) < 0.01) break;
    }
    std::vector<std::size_t> z;
    std::vector<bool> codetected;
    r.num_codetected_samples = 0;
    for (std::size_t s = 0; s < x.size(); ++s) {
        const double xs = x[s], ys = y[s];
        if (xs != 0 && ys != 0) {
            z.push_back(s);
            codetected.push_back(xs >= t1 && ys >= t2);
            r.num_codetected_samples += codetected.back() ? 1 : 0;
        } else if (xs > t1 && ys == 0) {
            ++r.num_gene1_only_samples;
        } else if (xs == 0 && ys > t2) {
            ++r.num_gene2_only_samples;
        } else if (xs == 0 && ys == 0) {
            ++r.num_both_absent_samples;
        }
    }
    r.num_nonzero_samples = z.size();
    r.num_exclusive_samples = r.num_gene1_only_samples + r.num_gene2_only_samples;
    if (r.num_codetected_samples < p.min_prevalence) return r;
    if (!full && r.num_exclusive_samples > max_exclusive) return r;
    std::vector<double> zx, zy;
    for (auto s : z) {
        zx.push_back(x[s]);
        zy.push_back(y[s]);
    }
    r.concordance = r.robust_concordance = referenceConcordance(zx, zy, a);
    r.valid = true;
    if (!full) return r;
    const std::uint64_t n = r.num_codetected_samples;
    if (n >= p.min_prevalence_for_outliers) {
        std::vector<double> residuals, v;
        for (std::size_t i = 0; i < z.size(); ++i) {
            residuals.push_back(zy[i] - a * zx[i]);
            if (codetected[i]) v.push_back(residuals.back());
        }
        r.max_outliers = std::min<std::uint64_t>(
            n - p.min_prevalence_for_outliers,
            static_cast<std::uint64_t>(std::floor(double(n) * p.max_outliers_fraction + 0.5)));
        std::sort(v.begin(), v.end());
        const std::size_t h = n / 2;
        const double q1 = sortedMedian({v.begin(), v.begin() + h});
        const double q3 = sortedMedian({v.begin() + h + n % 2, v.end()});
        const double lower = q1 - 1.5 * (q3 - q1), upper = q3 + 1.5 * (q3 - q1);
        std::vector<double> ix, iy;
        for (std::size_t i = 0; i < z.size(); ++i) {
            const std::size_t s = z[i];
            if (residuals[i] >= lower && residuals[i] <= upper) {
                ix.push_back(zx[i]);
                iy.push_back(zy[i]);
            } else if ((x[s] > t1 && y[s] > float(dl)) || y[s] > t2) {
                ++r.num_outliers;
            }
        }
        r.num_inliers = ix.size();
        if (r.num_outliers < r.max_outliers) {
            const double inlier = referenceConcordance(ix, iy, a);
            if (!std::isnan(inlier)) r.robust_concordance = std::max(inlier, r.concordance);
        }
    }
    const double rc = r.robust_concordance;
    if (std::isnan(rc) || n <= 2) {
        r.concordance_pvalue = NAN;
    } else if (std::abs(rc - 1) <= 2.220446049250313e-16 || rc > 1) {
        r.concordance_pvalue = 0.0;
    } else if (std::abs(rc + 1) <= 2.220446049250313e-16 || rc < -1) {
        r.concordance_pvalue = 1.0;
    } else {
        const boost::math::students_t_distribution<double> t(double(n - 2));
        r.concordance_pvalue = 1 - boost::math::cdf(t, rc * std::sqrt(double(n - 2)) / std::sqrt(1 - rc * rc));
    }
    const double k11 = double(n), k10 = double(r.num_gene1_only_samples), k01 = double(r.num_gene2_only_samples),
                 k00 = double(r.num_both_absent_samples);
    auto lf = [](double v) { return std::lgamma(v + 1); };
    double fisher = 0.0;
    for (double i = 0; i <= std::min(k10, k01); ++i) {
        fisher += std::exp(lf(k11 + k10) + lf(k01 + k00) + lf(k11 + k01) + lf(k10 + k00) - lf(k11 + i) -
                           lf(k10 - i) - lf(k01 - i) - lf(k00 + i) - lf(k11 + k10 + k01 + k00));
    }
    r.cooccurrence_pvalue = fisher;
    if (std::isnan(r.concordance_pvalue)) {
        r.combined_pvalue = NAN;
    } else if (r.concordance_pvalue == 0 || fisher == 0) {
        r.combined_pvalue = 0.0;
    } else {
        const double chi = std::max(0.0, -2 * (std::log(r.concordance_pvalue) + std::log(fisher)));
        r.combined_pvalue = 1 - boost::math::cdf(boost::math::chi_squared_distribution<double>(4), chi);
    }
    return r;
}

// Every field bit for bit, except the p-values, whose reference uses lgamma rather than a
// running sum of logarithms.
// compare may stop as soon as a pair cannot qualify, so of its invalid results only the
// verdict is defined (no caller reads the rest).
void expectSameResult(const ComparisonResult& actual, const ComparisonResult& expected, int pair,
                      bool only_verdict_if_invalid = false) {
    SCOPED_TRACE(::testing::Message() << "pair " << pair);
    EXPECT_EQ(actual.valid, expected.valid);
    if (only_verdict_if_invalid && !expected.valid) return;
    EXPECT_PRED2(same, actual.abundance_ratio, expected.abundance_ratio);
    EXPECT_PRED2(same, actual.gene1_threshold, expected.gene1_threshold);
    EXPECT_PRED2(same, actual.gene2_threshold, expected.gene2_threshold);
    EXPECT_EQ(actual.num_codetected_samples, expected.num_codetected_samples);
    EXPECT_EQ(actual.num_nonzero_samples, expected.num_nonzero_samples);
    EXPECT_EQ(actual.num_gene1_only_samples, expected.num_gene1_only_samples);
    EXPECT_EQ(actual.num_gene2_only_samples, expected.num_gene2_only_samples);
    EXPECT_EQ(actual.num_both_absent_samples, expected.num_both_absent_samples);
    EXPECT_EQ(actual.num_exclusive_samples, expected.num_exclusive_samples);
    EXPECT_EQ(actual.max_outliers, expected.max_outliers);
    EXPECT_EQ(actual.num_outliers, expected.num_outliers);
    EXPECT_EQ(actual.num_inliers, expected.num_inliers);
    EXPECT_PRED2(same, actual.concordance, expected.concordance);
    EXPECT_PRED2(same, actual.robust_concordance, expected.robust_concordance);
    for (const auto& [a, e] : {std::pair{actual.concordance_pvalue, expected.concordance_pvalue},
                               {actual.cooccurrence_pvalue, expected.cooccurrence_pvalue},
                               {actual.combined_pvalue, expected.combined_pvalue}}) {
        if (std::isnan(e)) {
            EXPECT_TRUE(std::isnan(a));
        } else {
            EXPECT_NEAR(a, e, 1e-9 * std::max(e, 1e-300) + 1e-15);
        }
    }
}

// Square-root counts of one gene of a species: Poisson reads around abundance x gene factor,
// plus occasional reads in samples where the species is absent (a shared gene).
std::vector<float> sampleGene(const std::vector<double>& abundance, double factor, double stray, std::mt19937& rng) {
    std::vector<float> counts(abundance.size());
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (std::size_t s = 0; s < abundance.size(); ++s) {
        double mean = abundance[s] * factor;
        if (mean == 0.0 && unit(rng) < stray) mean = 20.0;
        if (mean > 0.0 && unit(rng) < 0.03) mean *= 12.0;  // an outlier sample
        const auto reads = mean > 0.0 ? std::poisson_distribution<int>(mean)(rng) : 0;
        counts[s] = std::sqrt(static_cast<float>(reads));
    }
    return counts;
}

std::vector<double> sampleSpecies(std::size_t num_samples, double presence, std::mt19937& rng) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::lognormal_distribution<double> level(3.0, 1.5);
    std::vector<double> abundance(num_samples, 0.0);
    for (auto& a : abundance) {
        if (unit(rng) < presence) a = level(rng);
    }
    return abundance;
}

// ---------------------------------------------------------------------------------------

TEST(GenesComparator, RatioRefinementStopsOnConvergenceOrAfterThreeIterations) {
    configure(3);
    GenesComparator comparator(current);
    // First median 2.01/2 is within 1% of 1: one iteration, although a second one (with the
    // raised gene2 threshold dropping the first sample) would move the ratio.
    const ComparisonResult& converged = comparator.compare(gene({1, 2, 3}), gene({1.0f, 2.01f, 3.03f}), 0);
    const double first_median = static_cast<float>(2.01f / 2.0f);
    EXPECT_EQ(converged.abundance_ratio, first_median);
    EXPECT_EQ(converged.gene2_threshold, first_median);

    // Medians 5.5, 8, 9 (gene2 thresholds dropping the low samples each time); a fourth
    // iteration would give 9.5.
    configure(10);
    GenesComparator ten(current);
    const ComparisonResult& capped =
        ten.compare(gene({1, 1, 1, 1, 1, 1, 1, 1, 1, 1}), gene({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}), 0);
    EXPECT_EQ(capped.abundance_ratio, 9.0);
    EXPECT_EQ(capped.gene1_threshold, 1.0);
    EXPECT_EQ(capped.gene2_threshold, 9.0);
    EXPECT_EQ(capped.num_codetected_samples, 2u);
    EXPECT_TRUE(capped.valid);
}

TEST(GenesComparator, SampleClassificationUsesStrictTestsForSingleGenePresence) {
    configure(7);
    GenesComparator comparator(current);
    // Samples: co-detected twice; gene1 only; gene1 exactly at its threshold with gene2 zero
    // (counted nowhere); gene1 zero with gene2 non-zero below its threshold (nowhere); both
    // absent; both non-zero below the thresholds.
    const Gene g1 = gene({2.0f, 3.0f, 5.0f, 1.0f, 0.0f, 0.0f, 0.5f});
    const Gene g2 = gene({2.0f, 3.0f, 0.0f, 0.0f, 0.5f, 0.0f, 0.5f});
    EXPECT_FALSE(comparator.compare(g1, g2, 0).valid);
    EXPECT_TRUE(comparator.compare(g1, g2, 1).valid);
    const ComparisonResult& full = comparator.compareFull(g1, g2);
    EXPECT_TRUE(full.valid);
    EXPECT_EQ(full.num_codetected_samples, 2u);
    EXPECT_EQ(full.num_nonzero_samples, 3u);
    EXPECT_EQ(full.num_gene1_only_samples, 1u);
    EXPECT_EQ(full.num_gene2_only_samples, 0u);
    EXPECT_EQ(full.num_both_absent_samples, 1u);
    EXPECT_EQ(full.num_exclusive_samples, 1u);
    // The concordance covers the non-zero sample below the thresholds too: (0.5, 0.5) lies on
    // the line, so it stays 1.
    EXPECT_EQ(full.concordance, 1.0);
}

TEST(GenesComparator, MinPrevalenceIsInclusive) {
    configure(6, {.min_prevalence = 3});
    GenesComparator comparator(current);
    const Gene g1 = gene({2, 3, 4, 0, 0, 0});
    EXPECT_TRUE(comparator.compare(g1, gene({2, 3, 4.5f, 0, 0, 0}), 0).valid);
    const ComparisonResult& fewer = comparator.compare(g1, gene({2, 3, 0.5f, 0, 0, 0}), 0);
    EXPECT_FALSE(fewer.valid);
    EXPECT_EQ(fewer.num_codetected_samples, 2u);
    EXPECT_EQ(fewer.abundance_ratio, 1.0);  // failed before the ratio was estimated
    EXPECT_FALSE(comparator.compareFull(g1, gene({2, 3, 0.5f, 0, 0, 0})).valid);
}

TEST(GenesComparator, OutlierAllowanceRoundsTheFractionOfCodetectedSamples) {
    // Ten proportional samples: every residual is 0, so the fences only let those through.
    const Gene g1 = gene({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    const Gene g2 = gene({2, 4, 6, 8, 10, 12, 14, 16, 18, 20});
    for (const auto& [fraction, for_outliers, expected] :
         {std::tuple{0.25, 5u, 3u}, {0.05, 5u, 1u}, {0.5, 8u, 2u}, {0.0, 5u, 0u}, {0.5, 11u, 0u}}) {
        configure(10, {.min_prevalence_for_outliers = for_outliers, .max_outliers_fraction = fraction});
        GenesComparator comparator(current);
        const ComparisonResult& result = comparator.compareFull(g1, g2);
        EXPECT_EQ(result.max_outliers, expected) << fraction << " " << for_outliers;
        // Below min_prevalence_for_outliers the outlier step does not run at all.
        EXPECT_EQ(result.num_inliers, for_outliers <= 10 ? 10u : 0u);
    }
}

// Co-detected residuals 2 x (1 .. n) shifted to centre on 0, with an abundance ratio of
// exactly 1; extra non-zero samples below a threshold are placed on and just beyond the
// fences that the quartiles of the halves give.
struct FenceCase {
    std::vector<float> x, y;
};

void addFenceProbes(FenceCase& c, double lower, double upper) {
    const auto l = static_cast<float>(lower);
    const auto u = static_cast<float>(upper);
    c.x.insert(c.x.end(), {0.5f - l, 0.5f, 1.0f - l, 0.5f});
    c.y.insert(c.y.end(), {0.5f, 0.5f + u, 0.5f, 1.0f + u});
}

TEST(GenesComparator, QuartilesOfHalvesSetTukeyFencesInclusive) {
    // n = 7: residuals -6 .. 6 by 2; halves {-6,-4,-2} and {2,4,6} give Q1 = -4, Q3 = 4,
    // fences -16 and 16. n = 8: residuals -7 .. 7 by 2; halves give Q1 = -4, Q3 = 4 too.
    FenceCase odd{{10, 8, 4, 3, 2, 2, 2}, {4, 4, 2, 3, 4, 6, 8}};
    FenceCase even{{10, 8, 5, 2, 2, 2, 2, 2}, {3, 3, 2, 1, 3, 5, 7, 9}};
    for (FenceCase* c : {&odd, &even}) {
        const std::size_t n = c->x.size();
        addFenceProbes(*c, -16.0, 16.0);
        configure(c->x.size(), {.min_prevalence_for_outliers = 5, .max_outliers_fraction = 0.5});
        GenesComparator comparator(current);
        const ComparisonResult& result = comparator.compareFull(gene(c->x), gene(c->y));
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
    configure(10, {.max_outliers_fraction = 0.25});
    GenesComparator comparator(current);
    const ComparisonResult& robust = comparator.compareFull(g1, g2);
    ASSERT_TRUE(robust.valid);
    EXPECT_EQ(robust.num_outliers, 1u);
    EXPECT_EQ(robust.num_inliers, 9u);
    EXPECT_LT(robust.concordance, 0.9);
    EXPECT_EQ(robust.robust_concordance, 1.0);  // the nine inliers lie on y = 2x
    EXPECT_EQ(robust.concordance_pvalue, 0.0);
    const double concordance = robust.concordance;

    // No allowance: the outlier counts in full.
    configure(10, {.max_outliers_fraction = 0.0});
    GenesComparator strict(current);
    const ComparisonResult& plain = strict.compareFull(g1, g2);
    EXPECT_EQ(plain.max_outliers, 0u);
    EXPECT_EQ(plain.robust_concordance, concordance);
    EXPECT_EQ(plain.concordance, concordance);
    EXPECT_GT(plain.concordance_pvalue, 0.0);
}

TEST(GenesComparator, RejectsGeneOfAnotherSampleCount) {
    configure(4);
    GenesComparator comparator(current);
    EXPECT_THROW(comparator.compare(gene({1, 2, 3, 4}), gene({1, 2, 3, 4, 5}), 0), std::invalid_argument);
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
            const double expected = sortedMedian(values);
            EXPECT_EQ(medianBySelection(values.data(), n), expected) << n << " values, " << distinct << " distinct";
        }
    }
}

TEST(GenesComparator, MatchesSlowReferenceOnRandomPairs) {
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    int num_valid_full = 0, num_valid_fast = 0, num_with_outliers = 0, num_robust_raised = 0;
    int pair = 0;
    for (const Parameters& p : {Parameters{6.0, 3, 5, 0.25}, Parameters{1.0, 2, 8, 0.5}, Parameters{10.0, 4, 6, 0.1}}) {
        for (std::size_t num_samples : {24u, 120u}) {
            configure(num_samples, p);
            GenesComparator comparator(current);
            for (int i = 0; i < 60; ++i, ++pair) {
                const auto species = sampleSpecies(num_samples, 0.3 + 0.5 * unit(rng), rng);
                const bool related = unit(rng) < 0.7;
                const auto other = related ? species : sampleSpecies(num_samples, 0.5, rng);
                const Gene g1 = gene(sampleGene(species, std::exp(unit(rng) * 2 - 1), 0.0, rng));
                const Gene g2 = gene(sampleGene(other, std::exp(unit(rng) * 3 - 1.5), unit(rng) < 0.3 ? 0.1 : 0.0, rng));
                expectSameResult(comparator.compare(g1, g2, 0), reference(g1, g2, false, 0, p), pair, true);
                num_valid_fast += comparator.compare(g1, g2, 2).valid ? 1 : 0;
                expectSameResult(comparator.compare(g1, g2, 2), reference(g1, g2, false, 2, p), pair, true);
                const ComparisonResult& full = comparator.compareFull(g1, g2);
                num_valid_full += full.valid ? 1 : 0;
                num_with_outliers += full.num_outliers > 0 ? 1 : 0;
                num_robust_raised += full.robust_concordance > full.concordance ? 1 : 0;
                expectSameResult(full, reference(g1, g2, true, 0, p), pair);
                // The two-step form leaves the p-values at 1.0, then completes the same result.
                EXPECT_EQ(comparator.compareFullWithoutPValues(g1, g2).combined_pvalue, 1.0);
                expectSameResult(comparator.addPValues(), reference(g1, g2, true, 0, p), pair);
            }
        }
    }
    // The pairs must exercise every branch, not only early failures.
    EXPECT_GT(num_valid_fast, pair / 5);
    EXPECT_GT(num_valid_full, pair / 3);
    EXPECT_GT(num_with_outliers, 10);
    EXPECT_GT(num_robust_raised, 10);
}

}  // namespace
}  // namespace varnosk
