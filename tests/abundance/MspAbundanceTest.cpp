#include "abundance/MspAbundance.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.hpp"
#include "abundance/MspSummary.hpp"

namespace varnosk {
namespace {

// Genes of a hand-made matrix with their raw counts, handed in the order asked for.
class HandMadeMatrix {
public:
    const Gene* add(std::vector<float> raw) {
        const std::uint64_t id = genes_.size() + 1;
        std::string name(1, 'g');
        name += std::to_string(id);
        genes_.push_back(std::make_unique<Gene>(test::makeGene(id, std::move(name), raw, 1.0f)));
        raw_[genes_.back().get()] = std::move(raw);
        return genes_.back().get();
    }
    RawCountsFeed feed() {
        return [this](const GeneList& genes, const RawCountsVisitor& visit) {
            asked = genes;
            for (const Gene* gene : genes) visit(*gene, raw_.at(gene));
        };
    }
    GeneList asked;

private:
    std::vector<std::unique_ptr<Gene>> genes_;
    std::map<const Gene*, std::vector<float>> raw_;
};

std::unique_ptr<Msp> mspOf(GeneList core) {
    auto msp = std::make_unique<Msp>();
    msp->representative = *core.front();
    msp->core_genes = std::move(core);
    msp->num_genes = msp->core_genes.size();
    return msp;
}

TEST(MspAbundance, MeanOfTheFirstCoreGenesWhereEnoughOfThemAreNonZero) {
    HandMadeMatrix matrix;
    // samples: one where 1 of 4 genes is non-zero, one where 2 of 4 are, one all zero
    const Gene* a1 = matrix.add({2, 2, 0});
    const Gene* a2 = matrix.add({0, 4, 0});
    const Gene* shared = matrix.add({0, 0, 0});
    const Gene* a4 = matrix.add({0, 0, 0});
    const Gene* a5 = matrix.add({1000, 1000, 0});  // fifth core gene: beyond N, never used
    const Gene* b2 = matrix.add({0, 1.5f, 0});
    MspList msps;
    // core genes are listed best first, not in file order
    msps.push_back(mspOf({a4, a2, a1, shared, a5}));
    msps.push_back(mspOf({b2, shared}));  // fewer core genes than N: both used

    const AbundanceTable abundance = computeAbundance(msps, {4, 0.5}, 3, matrix.feed());
    // each needed gene once, in file order, the fifth core gene not at all
    EXPECT_EQ(matrix.asked, (GeneList{a1, a2, shared, a4, b2}));
    EXPECT_EQ(abundance.values, (std::vector<double>{0, 1.5, 0,      // 1/4 < 0.5; 2/4 reaches it: (2+4)/4
                                                     0, 0.75, 0}));  // 0/2; 1/2 reaches it: 1.5/2

    const AbundanceTable relative = relativeAbundance(abundance);
    EXPECT_EQ(relative.values, (std::vector<double>{0, 1.5 / 2.25, 0, 0, 0.75 / 2.25, 0}));

    const std::vector<MspSummary> summaries = summarizeMsps(msps, abundance, test::testParameters(3));
    ASSERT_EQ(summaries.size(), 2u);
    EXPECT_EQ(summaries[0].detected_samples, 1u);
    EXPECT_EQ(summaries[0].mean_abundance, 1.5);

    // detected nowhere: no mean
    const AbundanceTable strict = computeAbundance(msps, {4, 1.0}, 3, matrix.feed());
    EXPECT_EQ(strict.values, std::vector<double>(6, 0.0));
    EXPECT_EQ(relativeAbundance(strict).values, std::vector<double>(6, 0.0));
    const std::vector<MspSummary> nowhere = summarizeMsps(msps, strict, test::testParameters(3));
    EXPECT_EQ(nowhere[1].detected_samples, 0u);
    EXPECT_TRUE(std::isnan(nowhere[1].mean_abundance));
}

TEST(MspAbundance, ShareWrittenAsAFractionOfTheGenesIsMetExactly) {
    // 0.3 * 10 rounds above 3 in double precision; 3 genes of 10 must still reach 0.3
    HandMadeMatrix matrix;
    GeneList core;
    for (int g = 0; g < 10; ++g) core.push_back(matrix.add({g < 3 ? 1.0f : 0.0f, g < 2 ? 1.0f : 0.0f}));
    MspList msps;
    msps.push_back(mspOf(core));
    const AbundanceTable abundance = computeAbundance(msps, {100, 0.3}, 2, matrix.feed());
    EXPECT_EQ(abundance.values, (std::vector<double>{0.3, 0}));
}

}  // namespace
}  // namespace varnosk
