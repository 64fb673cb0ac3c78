#include <gtest/gtest.h>
#include <omp.h>

#include <random>
#include <string>
#include <vector>

#include "TestSupport.hpp"
#include "bins/GenesBinsCreator.hpp"
#include "bins/GenesBinsPrinter.hpp"

namespace varnosk {
namespace {

using test::makeGene;

// Genes own their storage here; the bins refer to them.
struct Genes {
    std::vector<Gene> storage;
    GeneList list() const {
        GeneList out;
        for (const Gene& gene : storage) out.push_back(&gene);
        return out;
    }
    void add(std::vector<float> counts) {
        const std::uint64_t id = storage.size() + 1;
        std::string name = "g";  // built in two steps: "g" + to_string trips a g++ 12 -Wrestrict false positive
        name += std::to_string(id);
        storage.push_back(makeGene(id, std::move(name), std::move(counts), 1.0f));
    }
};

std::vector<std::uint64_t> ids(const GenesBin& bin) {
    std::vector<std::uint64_t> out;
    for (const Gene* gene : bin) out.push_back(gene->id);
    return out;
}

const std::vector<double> kOnes5(5, 1.0);

TEST(GenesBinsCreator, SplitsByDominantSampleLargestBinFirst) {
    // Seven genes peak in sample 3, two in sample 1, interleaved in the input.
    Genes genes;
    for (int i = 0; i < 9; ++i) {
        if (i == 2 || i == 6) {
            genes.add({1, 9, 2, 3, 0});
        } else {
            genes.add({1, 2, 3, 8.0f + static_cast<float>(i), 4});
        }
    }
    const GenesBinList bins = createGenesBins({true, false}, genes.list(), kOnes5);
    ASSERT_EQ(bins.size(), 5u);
    EXPECT_EQ(ids(bins[0]), (std::vector<std::uint64_t>{1, 2, 4, 5, 6, 8, 9}));
    EXPECT_EQ(ids(bins[1]), (std::vector<std::uint64_t>{3, 7}));
    for (std::size_t b = 2; b < 5; ++b) EXPECT_TRUE(bins[b].empty());
}

TEST(GenesBinsCreator, TiesGoToLowerSampleAndEqualBinsKeepSampleOrder) {
    Genes genes;
    genes.add({0, 5, 7, 7, 1});  // tie between samples 2 and 3: sample 2
    genes.add({1, 1, 1, 1, 6});  // sample 4
    genes.add({3, 3, 3, 3, 3});  // all equal: sample 0
    genes.add({9, 2, 2, 2, 2});  // sample 0
    genes.add({0, 0, 4, 0, 0});  // sample 2
    genes.add({0, 0, 0, 0, 2});  // sample 4
    const GenesBinList bins = createGenesBins({true, false}, genes.list(), kOnes5);
    ASSERT_EQ(bins.size(), 5u);
    // Three bins of two genes, in sample order 0, 2, 4.
    EXPECT_EQ(ids(bins[0]), (std::vector<std::uint64_t>{3, 4}));
    EXPECT_EQ(ids(bins[1]), (std::vector<std::uint64_t>{1, 5}));
    EXPECT_EQ(ids(bins[2]), (std::vector<std::uint64_t>{2, 6}));
}

TEST(GenesBinsCreator, DivisorsDecideTheDominantSample) {
    Genes genes;
    genes.add({4, 3});
    genes.add({0, 1});
    const GenesBinList plain = createGenesBins({true, true}, genes.list(), {1.0, 1.0});
    ASSERT_EQ(plain.size(), 2u);
    EXPECT_EQ(ids(plain[0]), (std::vector<std::uint64_t>{1}));
    EXPECT_EQ(ids(plain[1]), (std::vector<std::uint64_t>{2}));
    // 4 / 4 = 1 against 3 / 1 = 3: gene 1 moves to sample 1.
    const GenesBinList scaled = createGenesBins({true, true}, genes.list(), {4.0, 1.0});
    ASSERT_EQ(scaled.size(), 2u);
    EXPECT_EQ(ids(scaled[0]), (std::vector<std::uint64_t>{1, 2}));
    EXPECT_TRUE(scaled[1].empty());
}

TEST(GenesBinsCreator, EmptySampleUnderNormalisationNeverWins) {
    // Sample 0 has no raw count at all: divisor 0, ratio 0/0 for every gene.
    Genes genes;
    genes.add({0, 2, 5, 1});  // sample 2, not sample 0
    genes.add({0, 0, 0, 3});  // sample 3
    genes.add({0, 0, 0, 0});  // first numeric ratio: sample 1
    const GenesBinList bins = createGenesBins({true, true}, genes.list(), {0.0, 1.0, 1.0, 1.0});
    ASSERT_EQ(bins.size(), 4u);
    EXPECT_EQ(ids(bins[0]), (std::vector<std::uint64_t>{3}));
    EXPECT_EQ(ids(bins[1]), (std::vector<std::uint64_t>{1}));
    EXPECT_EQ(ids(bins[2]), (std::vector<std::uint64_t>{2}));
    EXPECT_TRUE(bins[3].empty());

    // Every ratio not a number: sample 0; a positive count over 0 is infinite and wins.
    Genes none;
    none.add({0, 0});
    none.add({0, 1});
    const GenesBinList split = createGenesBins({true, true}, none.list(), {0.0, 0.0});
    ASSERT_EQ(split.size(), 2u);
    EXPECT_EQ(ids(split[0]), (std::vector<std::uint64_t>{1}));
    EXPECT_EQ(ids(split[1]), (std::vector<std::uint64_t>{2}));
}

TEST(GenesBinsCreator, DisabledOrEmptyInput) {
    Genes genes;
    genes.add({1, 9, 0});
    genes.add({9, 1, 0});
    genes.add({0, 0, 9});
    const GenesBinList one = createGenesBins({false, false}, genes.list(), {1.0, 1.0, 1.0});
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(ids(one[0]), (std::vector<std::uint64_t>{1, 2, 3}));

    EXPECT_TRUE(createGenesBins({true, false}, {}, {1.0, 1.0, 1.0}).empty());
    EXPECT_TRUE(createGenesBins({false, false}, {}, {1.0, 1.0, 1.0}).empty());
}

TEST(GenesBinsCreator, RejectsGeneWithWrongNumberOfCounts) {
    Genes genes;
    genes.add({1, 2, 3});
    genes.add({1, 2});
    EXPECT_THROW(createGenesBins({true, false}, genes.list(), {1.0, 1.0, 1.0}), std::runtime_error);
}

TEST(GenesBinsCreator, SameBinsWhateverTheThreadCount) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> value(0, 6);  // small range: many ties
    Genes genes;
    for (int g = 0; g < 2000; ++g) {
        std::vector<float> counts(9);
        for (float& c : counts) c = static_cast<float>(value(random));
        genes.add(counts);
    }
    const std::vector<double> divisors{1.0, 2.0, 1.0, 0.5, 1.0, 1.0, 3.0, 1.0, 1.0};
    const int saved = omp_get_max_threads();
    omp_set_num_threads(1);
    const GenesBinList serial = createGenesBins({true, true}, genes.list(), divisors);
    omp_set_num_threads(3);
    const GenesBinList parallel = createGenesBins({true, true}, genes.list(), divisors);
    omp_set_num_threads(saved);
    EXPECT_EQ(serial, parallel);
    std::size_t total = 0;
    for (std::size_t b = 0; b < serial.size(); ++b) {
        total += serial[b].size();
        if (b > 0) {
            EXPECT_GE(serial[b - 1].size(), serial[b].size());
        }
    }
    EXPECT_EQ(total, 2000u);
}

TEST(GenesBinsPrinter, WritesEveryGeneWithItsBinPosition) {
    Genes genes;
    genes.add({1, 2});
    genes.add({2, 1});
    genes.add({3, 1});
    const GeneList all = genes.list();
    const GenesBinList bins{{all[2], all[0]}, {}, {all[1]}};
    test::TempDir dir;
    printGenesBins(bins, dir.str(), "genes_bins.tsv");
    EXPECT_EQ(test::readFile(dir.path() / "genes_bins.tsv"),
              "gene_id\tgene_name\tbin_id\n3\tg3\t1\n1\tg1\t1\n2\tg2\t3\n");

    printGenesBins({}, dir.str(), "empty.tsv");
    EXPECT_EQ(test::readFile(dir.path() / "empty.tsv"), "gene_id\tgene_name\tbin_id\n");
}

}  // namespace
}  // namespace varnosk
