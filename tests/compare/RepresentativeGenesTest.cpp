#include "compare/RepresentativeGenes.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "TestSupport.hpp"
#include "compare/GenesComparator.hpp"

namespace varnosk {
namespace {

using test::makeGene;

// Comparator and median genes share the threshold 1 on the square-root scale.
GenesComparator comparatorFor(std::uint32_t num_samples) {
    return GenesComparator(test::testParameters(num_samples, 0.25));
}

Gene gene(std::uint64_t id, std::vector<float> counts) {
    return makeGene(id, "gene" + std::to_string(id), std::move(counts), 1.0f);
}

GeneList refs(const std::vector<Gene>& genes) {
    GeneList list;
    for (const Gene& g : genes) list.push_back(&g);
    return list;
}

std::vector<std::uint64_t> ids(const GeneList& genes) {
    std::vector<std::uint64_t> result;
    for (const Gene* g : genes) result.push_back(g->id);
    return result;
}

// Genes k x profile for k = 1 .. count: all proportional, so every valid concordance is 1.
std::vector<Gene> proportionalGenes(std::size_t count, const std::vector<float>& profile) {
    std::vector<Gene> genes;
    for (std::size_t k = 1; k <= count; ++k) {
        std::vector<float> counts(profile);
        for (float& c : counts) c *= static_cast<float>(k);
        genes.push_back(gene(k, counts));
    }
    return genes;
}

TEST(RepresentativeGenes, MedianGeneTakesMiddleValueOrMeanOfTwoMiddles) {
    // Sample 0: values 1 .. 11 in scrambled order; sample 1: constant 0.5 (below detection);
    // sample 2: float max.
    const float big = std::numeric_limits<float>::max();
    std::vector<Gene> genes;
    for (std::uint64_t i = 0; i < 11; ++i) genes.push_back(gene(i + 1, {float((i * 7) % 11 + 1), 0.5f, big}));

    const Gene odd = computeMedianGene(refs(genes), 1.0f);
    EXPECT_EQ(odd.id, 0u);
    EXPECT_EQ(odd.name, "None");
    EXPECT_EQ(odd.counts, (std::vector<float>{6.0f, 0.5f, big}));
    EXPECT_EQ(odd.prevalence(), 2u);
    EXPECT_TRUE(odd.presence.isDetected(0) && !odd.presence.isDetected(1) && odd.presence.isDetected(2));

    genes.pop_back();  // values 1 .. 11 without (10 x 7) % 11 + 1 = 5
    const Gene even = computeMedianGene(refs(genes), 1.0f);
    // The mean of two middles is taken in double precision: float max does not overflow.
    EXPECT_EQ(even.counts, (std::vector<float>{6.5f, 0.5f, big}));
}

TEST(RepresentativeGenes, RankingPutsInvalidAtZeroAndNotANumberLast) {
    // The reference is flat (5) where the NaN genes are present, and small elsewhere: a gene
    // present only there, at an exact fraction of 5, is constant against a constant and
    // exactly on the line, so its concordance is 0 / 0.
    const Gene reference = gene(0, {1.1f, 1.2f, 1.3f, 1.4f, 5, 5, 5, 5});
    std::vector<Gene> genes{
        gene(1, {0, 0, 0, 0, 2.5f, 2.5f, 2.5f, 2.5f}),           // not a number
        gene(2, {0, 0, 0, 0, 0, 0, 9, 9}),                       // invalid: too few co-detected
        gene(3, {2.8f, 2.6f, 2.4f, 2.2f, 2, 1.9f, 2.1f, 2}),     // negative
        gene(4, {0, 0, 0, 0, 1.25f, 1.25f, 1.25f, 1.25f}),       // not a number
        gene(5, {1.2f, 1.3f, 1.4f, 1.5f, 5.2f, 4.9f, 5, 5.1f}),  // positive, below 1
        gene(6, {2.2f, 2.4f, 2.6f, 2.8f, 10, 10, 10, 10}),       // proportional: 1
        gene(7, {0, 0, 0, 0, 0, 9, 0, 9}),                       // invalid
    };
    GenesComparator comparator = comparatorFor(8);
    const auto concordance = [&](std::size_t i) { return comparator.compare(reference, genes[i], 0); };
    ASSERT_TRUE(std::isnan(concordance(0).concordance) && concordance(0).valid);
    ASSERT_FALSE(concordance(1).valid);
    ASSERT_TRUE(concordance(2).valid && concordance(2).concordance < 0);
    ASSERT_TRUE(std::isnan(concordance(3).concordance) && concordance(3).valid);
    ASSERT_TRUE(concordance(4).valid && concordance(4).concordance > 0 && concordance(4).concordance < 1);
    ASSERT_EQ(concordance(5).concordance, 1.0);
    ASSERT_FALSE(concordance(6).valid);

    EXPECT_EQ(ids(rankGenesByConcordance(refs(genes), reference, comparator)),
              (std::vector<std::uint64_t>{6, 5, 2, 7, 3, 1, 4}));
}

TEST(RepresentativeGenes, SmallOrEmptyGroupsAreNotRanked) {
    GenesComparator comparator = comparatorFor(4);
    EXPECT_FALSE(selectRepresentativeGenes({}, comparator).has_value());
    std::vector<Gene> genes;
    for (std::uint64_t id = 9; id >= 1; --id) genes.push_back(gene(id, {float(id), 0, 2, 3}));
    const auto seed = selectRepresentativeGenes(refs(genes), comparator);
    ASSERT_TRUE(seed.has_value());
    EXPECT_EQ(seed->genes, refs(genes));
    EXPECT_EQ(seed->representative.id, 9u);
    EXPECT_EQ(seed->representative.name, "gene9");
    EXPECT_EQ(seed->representative.counts, genes[0].counts);
    EXPECT_EQ(seed->representative.prevalence(), genes[0].prevalence());
}

TEST(RepresentativeGenes, ElevenGenesKeepAllMembersAndSummariseTheBestTen) {
    GenesComparator comparator = comparatorFor(5);
    std::vector<Gene> genes = proportionalGenes(10, {1, 2, 0, 3, 1.5f});
    // A member unrelated to the others, inserted first: it cannot be compared with the
    // median profile, so it is ranked after every positive concordance and left out of the
    // best ten.
    genes.insert(genes.begin(), gene(99, {0, 0, 40, 0, 0}));
    const Gene all_median = computeMedianGene(refs(genes), 1.0f);
    EXPECT_EQ(all_median.counts, (std::vector<float>{5, 10, 0, 15, 7.5f}));  // 6th smallest

    const auto seed = selectRepresentativeGenes(refs(genes), comparator);
    ASSERT_TRUE(seed.has_value());
    EXPECT_EQ(seed->genes.size(), 11u);
    EXPECT_EQ(seed->genes.back()->id, 99u);
    EXPECT_EQ(seed->representative.counts, (std::vector<float>{5.5f, 11, 0, 16.5f, 8.25f}));

    // With every member among the best, the representative is the median of all eleven.
    ComparisonParameters all_best = test::testParameters(5, 0.25);
    all_best.num_best_representative_genes = 11;
    GenesComparator all_best_comparator(all_best);
    EXPECT_EQ(selectRepresentativeGenes(refs(genes), all_best_comparator)->representative.counts, all_median.counts);
}

}  // namespace
}  // namespace varnosk
