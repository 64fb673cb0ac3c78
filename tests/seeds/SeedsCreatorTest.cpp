#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.hpp"
#include "compare/GenesComparator.hpp"
#include "compare/RepresentativeGenes.hpp"
#include "seeds/PairGraph.hpp"
#include "seeds/SeedsCreator.hpp"

namespace varnosk {
namespace {

using Groups = std::vector<std::vector<std::uint32_t>>;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

std::string label(const char* prefix, int number) {
    std::string out(prefix);
    out += std::to_string(number);
    return out;
}

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

// Seeds creation on genes with square-root counts, detection threshold 1, at least three
// co-detected samples per comparison, representatives from the best ten genes.
class SeedsCreatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::configureComparison({.num_samples = kSamples, .max_outliers_fraction = 0.1});
    }

    static constexpr std::size_t kSamples = 12;

    const Gene* add(const std::string& name, std::vector<float> counts) {
        EXPECT_EQ(counts.size(), kSamples);
        genes_.push_back(std::make_unique<Gene>(test::makeGene(genes_.size() + 1, name, std::move(counts), 1.0f)));
        return genes_.back().get();
    }

    // Two profiles that are not concordant (0.85) and one between them concordant with
    // both (0.96); 12 scaled copies of each outer profile, interleaved, the middle one last.
    GenesBin twoGroupsSharingOneGene() {
        const std::vector<float> a{2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
        const std::vector<float> b{4, 2, 6, 3, 8, 5, 10, 7, 12, 9, 13, 11};
        GenesBin bin;
        for (int i = 0; i < 12; ++i) {
            bin.push_back(add(label("A", i), scaled(a, 1.0f + 0.25f * static_cast<float>(i))));
            bin.push_back(add(label("B", i), scaled(b, 1.0f + 0.2f * static_cast<float>(i))));
        }
        std::vector<float> middle(a.size());
        for (std::size_t s = 0; s < a.size(); ++s) middle[s] = (a[s] + b[s]) / 2;
        bin.push_back(add("X", middle));
        return bin;
    }

    // A pivot P concordant with ten genes Y1..Y10 that fall into two mutually exclusive
    // sets: Y1..Y6 are absent from sample 0, Y7..Y10 present there, P barely there. The
    // group's median profile is absent from sample 0 and so recruits P and Y1..Y6 only.
    GenesBin starWithLopsidedMedian() {
        std::vector<float> profile(kSamples);
        for (std::size_t s = 0; s < profile.size(); ++s) profile[s] = 2.0f + static_cast<float>(s);
        GenesBin bin;
        std::vector<float> pivot = profile;
        pivot[0] = 0.5f;
        bin.push_back(add("P", pivot));
        for (int k = 1; k <= 10; ++k) {
            std::vector<float> y = profile;
            y[k] += 1.5f;
            y[0] = k <= 6 ? 0.0f : 3.0f;
            bin.push_back(add(label("Y", k), y));
        }
        return bin;
    }

    static std::vector<float> scaled(const std::vector<float>& profile, float factor) {
        std::vector<float> out = profile;
        for (float& value : out) value *= factor;
        return out;
    }

    static std::vector<std::string> names(const Seed& seed) {
        std::vector<std::string> out;
        for (const Gene* gene : seed.genes) out.push_back(gene->name);
        std::sort(out.begin(), out.end());
        return out;
    }

    std::vector<std::unique_ptr<Gene>> genes_;
};

TEST_F(SeedsCreatorTest, WholeConcordantBinGivesOneSeed) {
    const std::vector<float> profile{1, 3, 2, 5, 4, 7, 6, 8, 9, 2, 5, 3};
    GenesBin bin;
    for (int i = 0; i < 12; ++i) {
        bin.push_back(add(label("g", i), scaled(profile, 1.0f + 0.5f * static_cast<float>(i))));
    }
    SeedsCreator creator(10, 0.9);
    const SeedList seeds = creator.createSeeds(bin);
    ASSERT_EQ(seeds.size(), 1u);
    EXPECT_EQ(seeds[0]->genes.size(), 12u);

    // The same bin below the minimum size, and an empty bin, give nothing.
    SeedsCreator strict(13, 0.9);
    EXPECT_TRUE(strict.createSeeds(bin).empty());
    EXPECT_TRUE(creator.createSeeds({}).empty());
}

TEST_F(SeedsCreatorTest, GeneConcordantWithTwoRepresentativesJoinsBothSeeds) {
    const GenesBin bin = twoGroupsSharingOneGene();
    SeedsCreator creator(10, 0.9);
    const SeedList seeds = creator.createSeeds(bin);
    ASSERT_EQ(seeds.size(), 2u);
    std::vector<std::string> a{"X"}, b{"X"};
    for (int i = 0; i < 12; ++i) {
        a.push_back(label("A", i));
        b.push_back(label("B", i));
    }
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    // X joined the A group during extraction (13 genes, found first), then B recruited it.
    EXPECT_EQ(names(*seeds[0]), a);
    EXPECT_EQ(names(*seeds[1]), b);
}

TEST_F(SeedsCreatorTest, SeedVanishesWhenItsRepresentativeRecruitsTooFew) {
    const GenesBin bin = starWithLopsidedMedian();
    // The preliminary group holds all 11 genes, but its representative takes back only 7.
    SeedsCreator lenient(7, 0.9);
    const SeedList seeds = lenient.createSeeds(bin);
    ASSERT_EQ(seeds.size(), 1u);
    EXPECT_EQ(names(*seeds[0]), (std::vector<std::string>{"P", "Y1", "Y2", "Y3", "Y4", "Y5", "Y6"}));

    SeedsCreator creator(10, 0.9);
    EXPECT_TRUE(creator.createSeeds(bin).empty());
}

TEST_F(SeedsCreatorTest, AllSeedsInBinOrderWhateverTheThreadCount) {
    const std::vector<float> profile{1, 3, 2, 5, 4, 7, 6, 8, 9, 2, 5, 3};
    GenesBin whole;
    for (int i = 0; i < 11; ++i) {
        whole.push_back(add(label("w", i), scaled(profile, 1.0f + 0.5f * static_cast<float>(i))));
    }
    const GenesBinList bins{twoGroupsSharingOneGene(), starWithLopsidedMedian(), {}, whole,
                            GenesBin(whole.begin(), whole.begin() + 5)};

    auto run = [&](int threads, std::string& progress) {
        const int saved = omp_get_max_threads();
        omp_set_num_threads(threads);
        std::ostringstream out;
        SeedList seeds = createAllSeeds(bins, 10, 0.9, out);
        omp_set_num_threads(saved);
        progress = out.str();
        return seeds;
    };
    std::string progress1, progress3;
    const SeedList one = run(1, progress1);
    const SeedList three = run(3, progress3);

    ASSERT_EQ(one.size(), 3u);
    EXPECT_EQ(names(*one[0]).size(), 13u);
    EXPECT_EQ(names(*one[0])[0], "A0");
    EXPECT_EQ(names(*one[1])[0], "B0");
    EXPECT_EQ(names(*one[2]).size(), 11u);
    EXPECT_EQ(names(*one[2])[0], "w0");
    ASSERT_EQ(three.size(), one.size());
    for (std::size_t k = 0; k < one.size(); ++k) {
        EXPECT_EQ(one[k]->genes, three[k]->genes);  // same genes in the same ranked order
        EXPECT_EQ(one[k]->representative.counts, three[k]->representative.counts);
    }
    EXPECT_EQ(progress1, "\rProgress: 20%\rProgress: 40%\rProgress: 60%\rProgress: 80%\rProgress: 100%");
    EXPECT_EQ(progress3.substr(progress3.size() - 15), "\rProgress: 100%");

    std::ostringstream quiet;
    EXPECT_TRUE(createAllSeeds({}, 10, 0.9, quiet).empty());
    EXPECT_EQ(quiet.str(), "");
}

}  // namespace
}  // namespace varnosk
