#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.hpp"
#include "msp/MspPrinter.hpp"

namespace varnosk {
namespace {

using test::readFile;
using test::TempDir;

const std::string kHeader = "msp_name\tgene_category\tgene_id\tgene_name\n";

Gene namedGene(std::uint64_t id, const std::string& name) {
    Gene gene;
    gene.id = id;
    gene.name = name;
    return gene;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

// The msp_name column of every line after the header.
std::vector<std::string> printedNames(std::size_t num_msps) {
    const Gene gene = namedGene(7, "g7");
    MspList msps;
    for (std::size_t i = 0; i < num_msps; ++i) {
        auto msp = std::make_unique<Msp>();
        msp->core_genes = {&gene};
        msp->num_genes = 1;
        msps.push_back(std::move(msp));
    }
    TempDir dir;
    MspPrinter(dir.str()).printMsps(msps);
    const auto all = lines(readFile(dir.path() / "all_msps.tsv"));
    std::vector<std::string> names;
    for (std::size_t i = 1; i < all.size(); ++i) names.push_back(all[i].substr(0, all[i].find('\t')));
    return names;
}

TEST(MspPrinter, PadsNamesToTheDigitCountOfTheNumberOfMsps) {
    const auto nine = printedNames(9);
    ASSERT_EQ(nine.size(), 9u);
    EXPECT_EQ(nine.front(), "msp_1");
    EXPECT_EQ(nine.back(), "msp_9");

    const auto ten = printedNames(10);
    ASSERT_EQ(ten.size(), 10u);
    EXPECT_EQ(ten.front(), "msp_01");
    EXPECT_EQ(ten[8], "msp_09");
    EXPECT_EQ(ten.back(), "msp_10");

    const auto hundred = printedNames(100);
    ASSERT_EQ(hundred.size(), 100u);
    EXPECT_EQ(hundred.front(), "msp_001");
    EXPECT_EQ(hundred[9], "msp_010");
    EXPECT_EQ(hundred[98], "msp_099");
    EXPECT_EQ(hundred.back(), "msp_100");
}

TEST(MspPrinter, EmptyListWritesOnlyTheHeader) {
    TempDir dir;
    MspPrinter(dir.str()).printMsps({});
    EXPECT_EQ(readFile(dir.path() / "all_msps.tsv"), kHeader);
}

TEST(MspPrinter, WritesCategoriesInFixedOrderAndGenesInListOrder) {
    const Gene g1 = namedGene(1, "alpha");
    const Gene g2 = namedGene(2, "beta");
    const Gene g3 = namedGene(3, "gamma");
    const Gene g4 = namedGene(4, "delta");
    const Gene g5 = namedGene(18446744073709551615ull, "big_id");

    MspList msps;
    auto first = std::make_unique<Msp>();
    first->core_genes = {&g3, &g1};
    first->accessory_genes = {&g2};
    first->shared_core_genes = {&g5};
    first->shared_accessory_genes = {&g4};
    first->num_genes = 5;
    msps.push_back(std::move(first));
    // Only core genes, and g2 again in another category than in the first MSP.
    auto second = std::make_unique<Msp>();
    second->core_genes = {&g4};
    second->shared_core_genes = {&g2};
    second->num_genes = 2;
    msps.push_back(std::move(second));

    TempDir dir;
    MspPrinter(dir.str()).printMsps(msps);
    EXPECT_EQ(readFile(dir.path() / "all_msps.tsv"),
              kHeader +
                  "msp_1\tcore\t3\tgamma\n"
                  "msp_1\tcore\t1\talpha\n"
                  "msp_1\taccessory\t2\tbeta\n"
                  "msp_1\tshared_core\t18446744073709551615\tbig_id\n"
                  "msp_1\tshared_accessory\t4\tdelta\n"
                  "msp_2\tcore\t4\tdelta\n"
                  "msp_2\tshared_core\t2\tbeta\n");
}

}  // namespace
}  // namespace varnosk
