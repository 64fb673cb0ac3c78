#include "compare/SampleBitsets.hpp"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "TestSupport.hpp"
#include "compare/GenesComparator.hpp"
#include "matrix/Preprocessing.hpp"

namespace varnosk {
namespace {

// Random genes over 130 samples (three words, the last partial): many zeros, and counts on
// and around the detection threshold, where the single-precision tests could disagree.
GeneList randomGenes(std::vector<Gene>& storage, const ComparisonParameters& parameters, std::mt19937_64& rng) {
    const float t = parameters.detection_threshold;
    const std::vector<float> levels{
        0.0f, t, std::nextafter(t, 0.0f), std::nextafter(t, 10.0f), 0.5f * t, 2.0f * t, 5.0f * t, 9.0f * t};
    std::uniform_int_distribution<std::size_t> level(0, levels.size() - 1);
    std::uniform_real_distribution<float> noise(0.9f, 1.1f);
    std::bernoulli_distribution zero(0.5);
    for (std::size_t g = 0; g < storage.size(); ++g) {
        // Half the genes are noisy multiples of one profile, so that many pairs are valid.
        std::vector<float> counts(parameters.num_samples);
        for (std::size_t s = 0; s < counts.size(); ++s) {
            const float base = g % 2 == 0 ? levels[(s * 7) % levels.size()] * noise(rng) : levels[level(rng)];
            counts[s] = zero(rng) && g % 4 != 0 ? 0.0f : base;
        }
        storage[g] = test::makeGene(g + 1, "g", std::move(counts), t);
    }
    GeneList genes;
    for (const Gene& gene : storage) genes.push_back(&gene);
    return genes;
}

TEST(SampleBitsets, RejectsOnlyPairsTheComparatorRejects) {
    const ComparisonParameters parameters = test::testParameters(130, 0.1);
    std::mt19937_64 rng(7);
    std::vector<Gene> storage(120);
    const GeneList genes = randomGenes(storage, parameters, rng);
    SampleBitsets bits;
    bits.build(genes, parameters, true);
    GenesComparator comparator(parameters);
    std::size_t rejected = 0;
    std::size_t valid = 0;
    for (std::size_t i = 0; i < genes.size(); ++i) {
        for (std::size_t j = 0; j < genes.size(); ++j) {
            const bool bounded_valid = comparator.compare(*genes[i], *genes[j], 0).valid;
            const bool full_valid = comparator.compareFull(*genes[i], *genes[j]).valid;
            valid += bounded_valid;
            if (bits.rejectsBounded(i, bits, j)) {
                ++rejected;
                EXPECT_FALSE(bounded_valid) << i << " " << j;
            }
            if (bits.rejectsCodetection(i, bits, j)) {
                EXPECT_FALSE(full_valid) << i << " " << j;
            }
        }
    }
    // Both outcomes must be common for the test to mean anything.
    EXPECT_GT(rejected, genes.size() * genes.size() / 10);
    EXPECT_GT(valid, genes.size());
}

// The genes of a matrix share one block of bits; after genes are removed and the block is
// compacted, each gene's bits are still its own, and the detected bits read in place reject
// exactly what a copy of them rejects.
TEST(SampleBitsets, MatrixBitsCompactedAfterFilteringMatchEachGenesOwn) {
    ComparisonParameters parameters = test::testParameters(130, 0.1);
    parameters.min_prevalence = 15;  // so that both outcomes are common
    std::mt19937_64 rng(11);
    std::vector<Gene> storage(60);
    randomGenes(storage, parameters, rng);
    CountMatrix matrix;
    for (const Gene& gene : storage) matrix.push_back(std::make_unique<Gene>(gene));
    computeSamplePresence(matrix, parameters.detection_threshold);
    CountMatrix kept;
    for (std::size_t i = 0; i < matrix.size(); ++i) {
        if (i % 3 != 1) kept.push_back(std::move(matrix[i]));
    }
    matrix.clear();
    compactSamplePresence(kept);

    GeneList in_place;
    GeneList copies;
    for (const auto& gene : kept) {
        const Gene& own = storage[gene->id - 1];
        for (std::size_t s = 0; s < own.numSamples(); ++s) {
            const std::uint64_t bit = std::uint64_t{1} << (s % 64);
            ASSERT_EQ(gene->presence.detected()[s / 64] & bit, own.presence.detected()[s / 64] & bit) << gene->id;
            ASSERT_EQ(gene->presence.nonzero()[s / 64] & bit, own.presence.nonzero()[s / 64] & bit) << gene->id;
        }
        in_place.push_back(gene.get());
        copies.push_back(&own);
    }
    SampleBitsets read_in_place;
    read_in_place.build(in_place, parameters, false);
    SampleBitsets copied;
    copied.build(copies, parameters, false);
    std::size_t rejected = 0;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        for (std::size_t j = 0; j < kept.size(); ++j) {
            ASSERT_EQ(read_in_place.rejectsCodetection(i, read_in_place, j), copied.rejectsCodetection(i, copied, j));
            rejected += copied.rejectsCodetection(i, copied, j);
        }
    }
    EXPECT_GT(rejected, 0u);
    EXPECT_LT(rejected, kept.size() * kept.size());
}

}  // namespace
}  // namespace varnosk
