// Boundaries the golden tables do not reach: a share met exactly, MSPs detected nowhere.
#include "abundance/MspAbundance.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <vector>

#include "TestSupport.hpp"
#include "abundance/MspSummary.hpp"

namespace varnosk {
namespace {

struct HandMadeMatrix {
    std::vector<std::unique_ptr<Gene>> genes;
    const Gene* add(std::vector<float> raw) {
        genes.push_back(std::make_unique<Gene>(test::makeGene(genes.size() + 1, "g", std::move(raw), 1.0f)));
        return genes.back().get();
    }
    // the counts are the raw ones: makeGene takes them as given
    RawCountsFeed feed() const {
        return [](const GeneList& asked, const RawCountsVisitor& visit) {
            for (const Gene* gene : asked) visit(*gene, gene->counts);
        };
    }
};

MspList mspsOf(const std::vector<GeneList>& cores) {
    MspList msps;
    for (const GeneList& core : cores) {
        auto msp = std::make_unique<Msp>();
        msp->representative = *core.front();
        msp->core_genes = core;
        msp->num_genes = core.size();
        msps.push_back(std::move(msp));
    }
    return msps;
}

TEST(MspAbundance, MeanOfTheFirstCoreGenesWhereEnoughOfThemAreNonZero) {
    HandMadeMatrix m;
    // 0.3 * 10 rounds above 3 in double precision: 3 genes of 10 must still reach 0.3
    GeneList ten;
    for (int g = 0; g < 10; ++g) ten.push_back(m.add({g < 3 ? 1.0f : 0.0f, g < 2 ? 1.0f : 0.0f, 0.0f}));
    const Gene* shared = m.add({0, 0, 0});
    const Gene* b = m.add({0, 1.5f, 0});
    const MspList msps = mspsOf({ten, {b, shared}});  // fewer core genes than N: both used
    const AbundanceTable abundance = computeAbundance(msps, {100, 0.3}, 3, m.feed());
    EXPECT_EQ(abundance.values, (std::vector<double>{0.3, 0, 0, 0, 0.75, 0}));
    EXPECT_EQ(relativeAbundance(abundance).values, (std::vector<double>{1, 0, 0, 0, 1, 0}));

    // detected nowhere: relative abundances stay 0, and there is no mean
    const AbundanceTable nowhere = computeAbundance(msps, {100, 1.0}, 3, m.feed());
    EXPECT_EQ(nowhere.values, std::vector<double>(6, 0.0));
    EXPECT_EQ(relativeAbundance(nowhere).values, std::vector<double>(6, 0.0));
    const std::vector<MspSummary> summaries = summarizeMsps(msps, nowhere, test::testParameters(3));
    ASSERT_EQ(summaries.size(), 2u);
    EXPECT_EQ(summaries[1].detected_samples, 0u);
    EXPECT_TRUE(std::isnan(summaries[1].mean_abundance));
}

}  // namespace
}  // namespace varnosk
