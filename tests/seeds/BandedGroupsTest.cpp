#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <omp.h>

#include "TestSupport.hpp"
#include "seeds/BandedGroups.hpp"
#include "seeds/PairGroups.hpp"
#include "seeds/PairJudge.hpp"
#include "seeds/SeedsCreator.hpp"

namespace varnosk {
namespace {

// Genes of a few species (profiles scaled per gene, with noise and dropouts), unrelated genes,
// exact duplicates (equal concordances, so ties) and constant profiles (NaN concordances).
std::vector<Gene> mixedBin(std::uint32_t num_samples, std::mt19937_64& rng) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<std::vector<double>> species(4, std::vector<double>(num_samples));
    for (auto& profile : species) {
        for (double& value : profile) value = unit(rng) < 0.3 ? 0.0 : 2.0 + 30.0 * unit(rng);
    }
    std::vector<Gene> genes;
    const auto add = [&](std::vector<float> counts) {
        std::string name(1, 'g');
        name += std::to_string(genes.size());
        genes.push_back(test::makeGene(genes.size() + 1, std::move(name), std::move(counts), 1.0f));
    };
    for (int g = 0; g < 160; ++g) {
        std::vector<float> counts(num_samples);
        const double scale = 0.5 + 3.0 * unit(rng);
        for (std::uint32_t s = 0; s < num_samples; ++s) {
            const double noisy = species[g % species.size()][s] * scale * (0.8 + 0.4 * unit(rng));
            counts[s] = unit(rng) < 0.03 ? 0.0f : static_cast<float>(noisy);
        }
        add(counts);
        if (g % 9 == 0) add(counts);
    }
    for (int g = 0; g < 20; ++g) {
        std::vector<float> counts(num_samples);
        for (float& c : counts) c = unit(rng) < 0.5 ? 0.0f : static_cast<float>(1.0 + 40.0 * unit(rng));
        add(counts);
    }
    for (int g = 0; g < 4; ++g) add(std::vector<float>(num_samples, 5.0f));
    return genes;
}

// The plain reading of the greedy pass: every kept pair judged, sorted strongest first, and
// each remaining pair's first gene made the pivot of a group with all its remaining partners.
std::vector<std::vector<std::uint32_t>> groupsOfSortedPairs(std::vector<StoredPair> pairs, std::size_t num_genes,
                                                            std::uint64_t min_group_size) {
    std::sort(pairs.begin(), pairs.end(),
              [](const StoredPair& a, const StoredPair& b) { return isStrongerPair(a, b); });
    std::vector<bool> taken(num_genes, false);
    std::vector<std::vector<std::uint32_t>> groups;
    for (const StoredPair& pair : pairs) {
        if (taken[pair.first] || taken[pair.second]) continue;
        std::vector<std::uint32_t> group{pair.first};
        taken[pair.first] = true;
        for (const StoredPair& other : pairs) {
            const std::uint32_t partner = other.first == pair.first    ? other.second
                                          : other.second == pair.first ? other.first
                                                                       : pair.first;
            if (partner != pair.first && !taken[partner]) {
                taken[partner] = true;
                group.push_back(partner);
            }
        }
        std::sort(group.begin(), group.end());
        if (group.size() >= min_group_size) groups.push_back(group);
    }
    return groups;
}

// Every way the pass is fed against the plain one, on bins with ties and NaN concordances,
// where the order matters: all candidates at once, and bands from one pair or so to all of
// them in one, with positions of 16 and of 32 bits. The candidates' bounds must hold for every
// kept pair.
TEST(BandedGroups, SameGroupsAsSortingEveryPair) {
    constexpr std::uint32_t kSamples = 40;
    std::mt19937_64 rng(11);
    const int threads_before = omp_get_max_threads();
    for (const double min_concordance : {0.5, 0.8, 0.95}) {
        for (const std::uint64_t min_group_size : {1u, 3u, 10u}) {
            const std::vector<Gene> genes = mixedBin(kSamples, rng);
            GenesBin bin;
            for (const Gene& gene : genes) bin.push_back(&gene);
            const ComparisonParameters parameters = test::testParameters(kSamples, 0.1);
            SampleBitsets bitsets;
            bitsets.build(bin, parameters, true);
            PairJudge judge(bin, bitsets, min_concordance, parameters);
            std::vector<StoredPair> pairs;
            std::vector<StoredPair> candidates;
            std::size_t num_nan = 0;
            std::vector<std::uint32_t> positions(bin.size());
            for (std::uint32_t g = 0; g < bin.size(); ++g) positions[g] = g;
            for (std::uint32_t i = 0; i < bin.size(); ++i) {
                judge.forEachCandidateOf(
                    i, positions.data() + i + 1, bin.size() - i - 1, [&](std::uint32_t j, float bound) {
                        candidates.push_back({static_cast<std::uint16_t>(i), static_cast<std::uint16_t>(j), bound});
                    });
                for (std::uint32_t j = i + 1; j < bin.size(); ++j) {
                    if (const auto concordance = judge.concordance(i, j)) {
                        pairs.push_back({static_cast<std::uint16_t>(i), static_cast<std::uint16_t>(j), *concordance});
                        num_nan += std::isnan(*concordance) ? 1 : 0;
                    }
                }
            }
            EXPECT_GT(num_nan, 0u);
            EXPECT_LT(pairs.size(), candidates.size());
            for (const StoredPair& pair : pairs) {
                const auto candidate = std::find_if(candidates.begin(), candidates.end(), [&](const StoredPair& c) {
                    return c.first == pair.first && c.second == pair.second;
                });
                ASSERT_NE(candidate, candidates.end());
                // A concordance that is not a number comes after every bound.
                if (!std::isnan(pair.concordance)) {
                    EXPECT_GE(candidate->concordance, pair.concordance);
                }
            }
            const auto expected = groupsOfSortedPairs(pairs, bin.size(), min_group_size);
            ASSERT_FALSE(expected.empty());
            EXPECT_EQ(extractGroups(candidates, bin.size(), min_group_size, judge), expected);
            for (const int threads : {1, 4}) {
                omp_set_num_threads(threads);
                // From one band per pair or so to all of them in one.
                for (const std::size_t max_candidates : {1u, 40u, 500u, 100000u}) {
                    SCOPED_TRACE(::testing::Message()
                                 << "min_concordance " << min_concordance << ", min_group_size " << min_group_size
                                 << ", threads " << threads << ", max_candidates " << max_candidates);
                    EXPECT_EQ(
                        extractGroupsInBands(bin, bitsets, min_group_size, min_concordance, parameters, max_candidates),
                        expected);
                    EXPECT_EQ(extractGroupsInBandsOf<std::uint32_t>(bin, bitsets, min_group_size, min_concordance,
                                                                    parameters, max_candidates),
                              expected);
                }
            }
        }
    }
    omp_set_num_threads(threads_before);
}

// A bin that takes the stage alone moves the progress line while its pairs are met, not only
// when it is done.
TEST(BandedGroups, ALargeBinReportsItsRowsAsTheyGo) {
    constexpr std::uint32_t kSamples = 40;
    std::mt19937_64 rng(5);
    const std::vector<Gene> genes = mixedBin(kSamples, rng);
    GenesBin bin;
    for (const Gene& gene : genes) bin.push_back(&gene);
    struct Recorder : ProgressSink {
        std::vector<std::pair<std::uint64_t, std::uint64_t>> updates;
        void update(std::uint64_t done, std::uint64_t total) override { updates.emplace_back(done, total); }
    } recorder;
    createAllSeeds({bin}, 5, 0.8, test::testParameters(kSamples, 0.1), recorder);
    ASSERT_FALSE(recorder.updates.empty());
    EXPECT_EQ(recorder.updates.back().first, recorder.updates.back().second);
    const auto within = std::count_if(recorder.updates.begin(), recorder.updates.end(), [](const auto& update) {
        return update.first > 0 && update.first < update.second;
    });
    EXPECT_GT(within, 10);
    EXPECT_TRUE(std::is_sorted(recorder.updates.begin(), recorder.updates.end()));
}

}  // namespace
}  // namespace varnosk
