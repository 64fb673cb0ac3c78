#include "taxonomy/MspTaxonomy.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace varnosk {
namespace {

// Ten annotated core genes (g0..g9) and one without annotation; `lineage_of(i)` is gene i's.
template <typename LineageOf>
MspLineage consensusOfTen(LineageOf lineage_of, double min_agreement) {
    GeneLineages lineages;
    std::vector<std::string> names;
    for (int i = 0; i < 10; ++i) {
        names.push_back(std::string("g").append(std::to_string(i)));
        lineages.emplace(names.back(), lineage_of(i));
    }
    names.push_back("unannotated");
    const std::vector<std::string_view> core(names.begin(), names.end());
    return consensusLineage(core, lineages, min_agreement);
}

TEST(MspTaxonomy, ARankIsNamedAtExactlyTheShareAndNotOneGeneShort) {
    // five in p__X, four in p__Z, one unnamed below the domain
    const auto exactly_half = [](int i) -> std::string {
        if (i < 5) return "d__Bacteria;p__X;c__Q";
        if (i < 9) return "d__Bacteria;p__Z;c__Q";
        return "d__Bacteria;p__";
    };
    const MspLineage half = consensusOfTen(exactly_half, 0.5);
    EXPECT_EQ(half.lineage, "d__Bacteria;p__X;c__Q");
    EXPECT_EQ(half.rank, "class");
    EXPECT_EQ(half.agreement, 0.5);
    EXPECT_EQ(half.annotated_core_genes, 10u);

    // one gene short at the class: stops at the phylum above
    const auto one_short = [&](int i) -> std::string { return i == 0 ? "d__Bacteria;p__X" : exactly_half(i); };
    const MspLineage phylum = consensusOfTen(one_short, 0.5);
    EXPECT_EQ(phylum.lineage, "d__Bacteria;p__X");
    EXPECT_EQ(phylum.rank, "phylum");
    EXPECT_EQ(phylum.agreement, 0.5);

    // a tie at the first rank names nothing
    const MspLineage tie = consensusOfTen([](int i) { return i < 5 ? "d__Bacteria" : "d__Archaea"; }, 0.3);
    EXPECT_EQ(tie.lineage, "");
    EXPECT_EQ(tie.annotated_core_genes, 10u);
}

}  // namespace
}  // namespace varnosk
