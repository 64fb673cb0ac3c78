#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.hpp"
#include "seeds/SeedsPrinter.hpp"

namespace varnosk {
namespace {

// `count` seeds of one gene each; gene k is named gk.
struct OneGeneSeeds {
    std::vector<Gene> genes;
    std::vector<Seed> seeds;
    explicit OneGeneSeeds(std::size_t count) : genes(count), seeds(count) {
        for (std::size_t k = 0; k < count; ++k) {
            genes[k].id = k + 1;
            genes[k].name = std::to_string(k + 1).insert(0, 1, 'g');
        }
        for (std::size_t k = 0; k < count; ++k) seeds[k].genes = {&genes[k]};
    }
    SeedRefs refs() const {
        SeedRefs out;
        for (const Seed& seed : seeds) out.push_back(&seed);
        return out;
    }
};

std::vector<std::string> firstColumn(const std::string& table) {
    std::vector<std::string> names;
    std::istringstream lines(table);
    std::string line;
    std::getline(lines, line);  // header
    while (std::getline(lines, line)) names.push_back(line.substr(0, line.find('\t')));
    return names;
}

TEST(SeedsPrinter, NameWidthIsCeilOfLog10OfSeedCount) {
    struct Case {
        std::size_t count;
        std::string first;
        std::string ninth;  // where the padding shows, when there is a ninth seed
        std::string last;
    };
    for (const Case& c : {Case{1, "seed1", "", "seed1"}, Case{2, "seed1", "", "seed2"},
                          Case{10, "seed1", "seed9", "seed10"}, Case{11, "seed01", "seed09", "seed11"},
                          Case{100, "seed01", "seed09", "seed100"}, Case{101, "seed001", "seed009", "seed101"}}) {
        SCOPED_TRACE(c.count);
        OneGeneSeeds data(c.count);
        test::TempDir dir;
        printSeeds({dir.str(), "all_seeds.tsv", "seed"}, data.refs());
        const std::vector<std::string> names = firstColumn(test::readFile(dir.path() / "all_seeds.tsv"));
        ASSERT_EQ(names.size(), c.count);
        EXPECT_EQ(names.front(), c.first);
        EXPECT_EQ(names.back(), c.last);
        if (!c.ninth.empty()) {
            EXPECT_EQ(names[8], c.ninth);
        }
    }
}

TEST(SeedsPrinter, LargestSeedsFirstEqualSizesInCallerOrder) {
    std::vector<Gene> genes(5);
    for (std::size_t k = 0; k < genes.size(); ++k) {
        genes[k].id = 10 + k;
        genes[k].name = "gene_";
        genes[k].name += std::to_string(k);
    }
    Seed small{{&genes[4]}, {}};
    Seed big{{&genes[3], &genes[0], &genes[2]}, {}};
    Seed pair_a{{&genes[1], &genes[4]}, {}};
    Seed pair_b{{&genes[0], &genes[1]}, {}};
    Seed empty{{}, {}};
    test::TempDir dir;
    printSeeds({dir.str(), "t.tsv", "msp_"}, {&small, &pair_a, &empty, &big, &pair_b});
    EXPECT_EQ(test::readFile(dir.path() / "t.tsv"),
              "cluster_name\tgene_id\tgene_name\n"
              "msp_1\t13\tgene_3\nmsp_1\t10\tgene_0\nmsp_1\t12\tgene_2\n"
              "msp_2\t11\tgene_1\nmsp_2\t14\tgene_4\n"
              "msp_3\t10\tgene_0\nmsp_3\t11\tgene_1\n"
              "msp_4\t14\tgene_4\n");
}

TEST(SeedsPrinter, EmptyListWritesOnlyTheHeader) {
    test::TempDir dir;
    printSeeds({dir.str(), "all_core_seeds.tsv", "seed"}, {});
    EXPECT_EQ(test::readFile(dir.path() / "all_core_seeds.tsv"), "cluster_name\tgene_id\tgene_name\n");
}

}  // namespace
}  // namespace varnosk
