// The pair screens may only turn away pairs the comparisons would not keep. The concordance
// screen of MSP creation: pairs whose full comparison meets neither concordance minimum. Checked against compareFull on generated pairs built to sit near the
// thresholds: proportional pairs with growing noise, with gross outliers the outlier step can
// discount, with many counts at or below the detection threshold (dropped without limit), of
// both ratio directions, and with few samples in common. A screen that ignores the outlier
// step must fail the same check, or the check would prove nothing. The concordance bound of
// seeds creation: never below the concordance compare stores, also on genes nearly constant
// over large counts, where its one-pass sums cancel.
#include "compare/ConcordanceScreen.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "TestSupport.hpp"
#include "compare/ComparisonParameters.hpp"
#include "compare/GenesComparator.hpp"

namespace varnosk {
namespace {

constexpr double kMinConcordance = 0.85;
constexpr double kMinRobustConcordance = 0.9;

struct GenePair {
    Gene first;
    Gene second;
};

// Counts on the square-root scale of raw Poisson counts.
class PairMaker {
public:
    PairMaker(std::uint32_t num_samples, float threshold, std::uint64_t seed)
        : num_samples_(num_samples), threshold_(threshold), random_(seed) {}

    // kind 0: proportional with noise; 1: the same with gross outliers; 2: low depth (many
    // counts at or below the threshold); 3: unrelated; 4: the species in few samples; 5:
    // large counts varying by a few parts in ten million; 6: one profile, twice as high in the
    // second gene (concordance exactly 1); 7: the same with one count moved by one unit in
    // the last place.
    GenePair make(int kind) {
        if (kind == 5) return nearlyConstant();
        if (kind >= 6) {
            GenePair pair = make(0);
            std::vector<float> y = pair.first.counts;
            for (float& count : y) count *= 2.0f;
            if (kind == 7) {
                for (float& count : y) {
                    if (count > 0.0f) {
                        count = std::nextafter(count, 0.0f);
                        break;
                    }
                }
            }
            pair.second = test::makeGene(2, "y", std::move(y), threshold_);
            return pair;
        }
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        std::normal_distribution<double> normal(0.0, 1.0);
        const double noise = std::vector<double>{0.02, 0.1, 0.2, 0.35, 0.6}[random_() % 5];
        const double ratio = std::exp(normal(random_) * 1.5);
        const double depth = kind == 2 ? 4.0 : 40.0 * std::exp(normal(random_));
        const double presence = kind == 4 ? 0.15 : 0.3 + 0.7 * unit(random_);
        std::vector<float> x(num_samples_), y(num_samples_);
        for (std::uint32_t s = 0; s < num_samples_; ++s) {
            if (unit(random_) > presence) continue;
            const double abundance = depth * std::exp(normal(random_));
            const double other = kind == 3 ? depth * std::exp(normal(random_)) : abundance;
            x[s] = poissonRoot(abundance);
            y[s] = poissonRoot(ratio * other * std::exp(noise * normal(random_)));
        }
        if (kind == 1) {
            const std::uint32_t num_outliers = 1 + static_cast<std::uint32_t>(random_() % 6);
            for (std::uint32_t o = 0; o < num_outliers; ++o) {
                const std::uint32_t s = static_cast<std::uint32_t>(random_() % num_samples_);
                (o % 2 == 0 ? y : x)[s] *= static_cast<float>(2.0 + 6.0 * unit(random_));
            }
        }
        return {test::makeGene(1, "x", std::move(x), threshold_), test::makeGene(2, "y", std::move(y), threshold_)};
    }

private:
    GenePair nearlyConstant() {
        std::uniform_real_distribution<float> wobble(-1.0f, 1.0f);
        std::vector<float> x(num_samples_), y(num_samples_);
        const float level = 100000.0f + static_cast<float>(random_() % 1000);
        const float ratio = 1.0f + static_cast<float>(random_() % 3);
        for (std::uint32_t s = 0; s < num_samples_; ++s) {
            const float shared = wobble(random_);
            x[s] = level + 0.05f * shared + 0.01f * wobble(random_);
            y[s] = ratio * (level + 0.05f * shared) + 0.01f * wobble(random_);
        }
        return {test::makeGene(1, "x", std::move(x), threshold_), test::makeGene(2, "y", std::move(y), threshold_)};
    }

    float poissonRoot(double mean) {
        if (mean <= 0.0) return 0.0f;
        return std::sqrt(static_cast<float>(std::poisson_distribution<std::uint64_t>(mean)(random_)));
    }

    std::uint32_t num_samples_;
    float threshold_;
    std::mt19937_64 random_;
};

struct Tally {
    int taken = 0;
    int missed = 0;     // taken by the full comparison, turned away by the screen
    int unrelated = 0;  // unrelated pairs with an abundance ratio
    int unrelated_screened_out = 0;
};

// Every generated pair through the full comparison (parameters) and through a screen built
// with screen_parameters.
Tally screenAgainstFullComparison(const ComparisonParameters& parameters, const ComparisonParameters& screen_parameters,
                                  int pairs_per_kind) {
    GenesComparator comparator(parameters);
    ConcordanceScreen screen(screen_parameters, kMinConcordance, kMinRobustConcordance);
    PairMaker maker(parameters.num_samples, parameters.detection_threshold, 20261209);
    Tally tally;
    for (int kind = 0; kind < 5; ++kind) {
        for (int i = 0; i < pairs_per_kind; ++i) {
            const GenePair pair = maker.make(kind);
            const ComparisonResult& result = comparator.compareFullWithoutPValues(pair.first, pair.second);
            const bool valid = result.valid;
            const bool taken = valid && meetsConcordanceThresholds(result, kMinConcordance, kMinRobustConcordance);
            const std::optional<RatioEstimate> ratio = comparator.abundanceRatio(pair.first, pair.second);
            // The ratio step alone rejects only pairs the full comparison finds invalid.
            EXPECT_TRUE(ratio || !valid);
            const bool may = ratio && screen.mayMeetThresholds(pair.first, pair.second, *ratio);
            if (taken) {
                ++tally.taken;
                tally.missed += may ? 0 : 1;
            } else if (kind == 3 && ratio) {
                ++tally.unrelated;
                tally.unrelated_screened_out += may ? 0 : 1;
            }
        }
    }
    return tally;
}

ComparisonParameters exampleParameters(std::uint32_t num_samples, double max_outliers_fraction) {
    ComparisonParameters p = test::testParameters(num_samples, max_outliers_fraction);
    p.detection_threshold = detectionThreshold(6.0);
    return p;
}

TEST(ConcordanceScreen, NeverTurnsAwayAPairTheFullComparisonTakes) {
    for (const std::uint32_t num_samples : {12u, 40u, 200u}) {
        for (const double fraction : {0.0, 0.1, 0.3}) {
            const ComparisonParameters parameters = exampleParameters(num_samples, fraction);
            const Tally tally = screenAgainstFullComparison(parameters, parameters, 400);
            SCOPED_TRACE(::testing::Message() << num_samples << " samples, outlier fraction " << fraction);
            EXPECT_EQ(tally.missed, 0);
            // Pairs are taken, and the screen settles unrelated pairs: most of them at the
            // example's outlier fraction, fewer as the allowance widens what it must cover.
            EXPECT_GT(tally.taken, 300);
            EXPECT_GT(tally.unrelated_screened_out, tally.unrelated / (fraction <= 0.1 ? 2 : 4));
        }
    }
}

TEST(ConcordanceBound, NeverBelowTheConcordanceCompareStores) {
    for (const std::uint32_t num_samples : {12u, 200u}) {
        const ComparisonParameters parameters = exampleParameters(num_samples, 0.1);
        GenesComparator comparator(parameters);
        PairMaker maker(num_samples, parameters.detection_threshold, 7);
        int compared = 0;
        for (int kind = 0; kind < 8; ++kind) {
            for (int i = 0; i < 300; ++i) {
                const GenePair pair = maker.make(kind);
                const float bound = comparator.concordanceBound(pair.first, pair.second);
                // The same from the genes' totals (over every sample where they share most).
                const float from_totals = comparator.concordanceBound(pair.first, pair.second, geneTotals(pair.first),
                                                                      geneTotals(pair.second));
                const ComparisonResult& result = comparator.compare(pair.first, pair.second, num_samples);
                if (!result.valid || std::isnan(result.concordance)) continue;
                ++compared;
                EXPECT_GE(bound, static_cast<float>(result.concordance)) << "kind " << kind << ", pair " << i;
                EXPECT_GE(from_totals, static_cast<float>(result.concordance)) << "kind " << kind << ", pair " << i;
                // No concordance is above 1, so neither is a bound: one profile is bounded exactly.
                EXPECT_LE(bound, 1.0f) << "kind " << kind << ", pair " << i;
                EXPECT_LE(from_totals, 1.0f) << "kind " << kind << ", pair " << i;
                // Told a floor, the bound is the same, or below the floor exactly when it is.
                for (const float below : {from_totals, std::nextafter(from_totals, 2.0f), 0.5f}) {
                    const float cut = comparator.concordanceBound(pair.first, pair.second, geneTotals(pair.first),
                                                                  geneTotals(pair.second), below);
                    if (from_totals < below) {
                        EXPECT_LT(cut, below) << "kind " << kind << ", pair " << i;
                    } else {
                        EXPECT_EQ(cut, from_totals) << "kind " << kind << ", pair " << i;
                    }
                }
                if (kind == 6) {
                    EXPECT_EQ(result.concordance, 1.0) << "pair " << i;
                }
            }
        }
        EXPECT_GT(compared, 1000);
    }
}

TEST(ConcordanceScreen, AScreenIgnoringTheOutlierStepIsCaught) {
    const ComparisonParameters parameters = exampleParameters(40, 0.3);
    const Tally tally = screenAgainstFullComparison(parameters, exampleParameters(40, 0.0), 400);
    EXPECT_GT(tally.missed, 0);
}

}  // namespace
}  // namespace varnosk
