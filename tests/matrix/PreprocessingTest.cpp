#include "matrix/Preprocessing.hpp"

#include <gtest/gtest.h>
#include <omp.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestSupport.hpp"
#include "matrix/RareGenesFilter.hpp"

namespace varnosk {
namespace {

std::unique_ptr<Gene> rawGene(std::uint64_t id, std::string name, std::vector<float> counts) {
    auto gene = std::make_unique<Gene>();
    gene->id = id;
    gene->name = std::move(name);
    gene->counts = std::move(counts);
    return gene;
}

// Restores the process-wide threshold and thread count that a test changes.
class Preprocessing : public ::testing::Test {
protected:
    void TearDown() override {
        setGeneDetectionThreshold(saved_limit_);
        omp_set_num_threads(saved_threads_);
    }
    double saved_limit_ = std::pow(static_cast<double>(geneDetectionThreshold()), 2.0);
    int saved_threads_ = omp_get_max_threads();
};

class RareGenesFilter : public Preprocessing {};

// A matrix whose sums depend on the order of the additions: values of very different
// magnitudes that are not exact in binary.
CountMatrix awkwardMatrix(std::size_t num_genes, std::size_t num_samples) {
    CountMatrix genes;
    std::uint64_t state = 99;
    for (std::size_t g = 0; g < num_genes; ++g) {
        std::vector<float> counts(num_samples);
        for (auto& count : counts) {
            state = state * 6364136223846793005ULL + 1442695040888963407ULL;
            const auto bits = state >> 40;
            count = bits % 3 == 0 ? 0.0f : static_cast<float>(bits % 100000) * (bits % 7 == 0 ? 1e4f : 0.013f);
        }
        genes.push_back(rawGene(g + 1, "g" + std::to_string(g + 1), std::move(counts)));
    }
    return genes;
}

TEST_F(Preprocessing, CountEqualToTheThresholdIsDetected) {
    setGeneDetectionThreshold(7.0);
    const float threshold = geneDetectionThreshold();
    EXPECT_EQ(threshold, static_cast<float>(std::sqrt(7.0)));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Gene gene = *rawGene(1, "g", {threshold, std::nextafter(threshold, 0.0f), 0.0f, nan, 100.0f,
                                  std::nextafter(threshold, 10.0f)});
    computeDetectedSamples(gene);
    EXPECT_EQ(gene.detected_samples, (std::vector<std::uint32_t>{0, 4, 5}));
    EXPECT_EQ(gene.prevalence(), 3u);

    // Recomputing replaces the list; a gene of zeros has none.
    gene.counts.assign(6, 0.0f);
    computeDetectedSamples(gene);
    EXPECT_TRUE(gene.detected_samples.empty());
}

TEST_F(Preprocessing, MappedReadsAreTheRootOfEachSampleRawSum) {
    CountMatrix genes;
    genes.push_back(rawGene(1, "a", {60.0f, 0.0f, 1.0f}));
    genes.push_back(rawGene(2, "b", {40.0f, 9.0f, 2.0f}));
    // Detected nowhere: removed by the filter, but its reads were mapped all the same.
    genes.push_back(rawGene(3, "rare", {0.0f, 0.0f, 1.0f}));
    EXPECT_TRUE(computeMappedReads(CountMatrix{}).empty());

    setGeneDetectionThreshold(6.0);
    const std::vector<double> mapped = computeMappedReads(genes);
    applySqrtTransform(genes);
    computeDetectedSamples(genes);
    test::TempDir dir;
    filterRareGenes(genes, 2, dir.str(), "genes_filtered_out.tsv");

    ASSERT_EQ(genes.size(), 1u);
    EXPECT_EQ(genes[0]->name, "b");
    EXPECT_EQ(mapped, (std::vector<double>{10.0, 3.0, 2.0}));
}

TEST_F(RareGenesFilter, KeepsGenesAtMinPrevalenceInOrderAndListsTheOthers) {
    setGeneDetectionThreshold(9.0);  // threshold 3 on the square-root scale
    CountMatrix genes;
    genes.push_back(rawGene(1, "two_samples", {3.0f, 3.0f, 0.0f, 0.0f}));
    genes.push_back(rawGene(2, "three_samples", {3.0f, 4.0f, 5.0f, 0.0f}));
    genes.push_back(rawGene(3, "zeros", {0.0f, 0.0f, 0.0f, 0.0f}));
    genes.push_back(rawGene(4, "four_samples", {9.0f, 9.0f, 9.0f, 9.0f}));
    genes.push_back(rawGene(5, "below_threshold", {2.9f, 2.9f, 2.9f, 2.9f}));
    genes.push_back(rawGene(6, "also_three", {0.0f, 3.0f, 3.0f, 3.0f}));
    computeDetectedSamples(genes);

    test::TempDir dir;
    filterRareGenes(genes, 3, dir.str(), "genes_filtered_out.tsv");

    ASSERT_EQ(genes.size(), 3u);
    EXPECT_EQ(genes[0]->name, "three_samples");
    EXPECT_EQ(genes[1]->name, "four_samples");
    EXPECT_EQ(genes[2]->name, "also_three");
    EXPECT_EQ(genes[2]->id, 6u);
    EXPECT_EQ(test::readFile(dir.path() / "genes_filtered_out.tsv"),
              "gene_id\tgene_name\n1\ttwo_samples\n3\tzeros\n5\tbelow_threshold\n");
}

TEST_F(RareGenesFilter, NothingRemovedLeavesOnlyTheHeader) {
    setGeneDetectionThreshold(6.0);
    CountMatrix genes;
    genes.push_back(rawGene(1, "a", {5.0f, 5.0f}));
    genes.push_back(rawGene(2, "b", {6.0f, 7.0f}));
    computeDetectedSamples(genes);
    test::TempDir dir;
    filterRareGenes(genes, 2, dir.str(), "genes_filtered_out.tsv");
    EXPECT_EQ(genes.size(), 2u);
    EXPECT_EQ(test::readFile(dir.path() / "genes_filtered_out.tsv"), "gene_id\tgene_name\n");
}

TEST_F(RareGenesFilter, UnwritableFilteredOutTableIsAnError) {
    CountMatrix genes;
    genes.push_back(rawGene(1, "a", {0.0f, 0.0f}));
    test::TempDir dir;
    const std::string missing = (dir.path() / "missing").string();
    try {
        filterRareGenes(genes, 2, missing, "genes_filtered_out.tsv");
        FAIL() << "a table that cannot be written was reported as written";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "error: " + missing + "/genes_filtered_out.tsv could not be written.");
    }
}

TEST_F(Preprocessing, ResultsDoNotDependOnTheNumberOfThreads) {
    setGeneDetectionThreshold(6.0);
    struct Run {
        std::vector<double> mapped;
        CountMatrix genes;
    };
    auto run = [](int threads) {
        omp_set_num_threads(threads);
        Run result;
        result.genes = awkwardMatrix(5000, 71);
        result.mapped = computeMappedReads(result.genes);
        applySqrtTransform(result.genes);
        computeDetectedSamples(result.genes);
        return result;
    };
    const Run single = run(1);

    // The sums must be those of one pass in gene order, not merely repeatable.
    const CountMatrix raw = awkwardMatrix(5000, 71);
    for (std::size_t s = 0; s < 71; ++s) {
        double sum = 0.0;
        for (const auto& gene : raw) sum += static_cast<double>(gene->counts[s]);
        ASSERT_EQ(std::bit_cast<std::uint64_t>(single.mapped[s]), std::bit_cast<std::uint64_t>(std::sqrt(sum)));
    }

    for (const int threads : {2, 3, 8}) {
        const Run parallel = run(threads);
        ASSERT_EQ(parallel.mapped.size(), single.mapped.size());
        for (std::size_t s = 0; s < single.mapped.size(); ++s) {
            EXPECT_EQ(std::bit_cast<std::uint64_t>(parallel.mapped[s]), std::bit_cast<std::uint64_t>(single.mapped[s]))
                << threads << " threads, sample " << s;
        }
        for (std::size_t g = 0; g < single.genes.size(); ++g) {
            ASSERT_EQ(parallel.genes[g]->counts, single.genes[g]->counts) << threads << " threads, gene " << g;
            ASSERT_EQ(parallel.genes[g]->detected_samples, single.genes[g]->detected_samples)
                << threads << " threads, gene " << g;
        }
    }
}

}  // namespace
}  // namespace varnosk
