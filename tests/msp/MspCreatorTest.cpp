#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <limits>
#include <memory>
#include <sstream>
#include <vector>

#include "TestSupport.hpp"
#include "compare/GenesComparator.hpp"
#include "compare/RepresentativeGenes.hpp"
#include "msp/MspCreator.hpp"
#include "msp/MspRules.hpp"

namespace varnosk {
namespace {

using test::makeGene;

constexpr std::uint32_t kSamples = 80;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// One abundance pattern, scaled, present on samples [first, last) and absent elsewhere:
// two such profiles agree (up to the scale) wherever both are present.
Gene presentOn(std::uint64_t id, std::uint32_t first, std::uint32_t last, float scale = 1.0f) {
    std::vector<float> counts(kSamples, 0.0f);
    for (std::uint32_t s = first; s < last; ++s) counts[s] = scale * static_cast<float>(2 + (s * 7) % 11);
    return makeGene(id, "gene", counts, 1.0f);
}

std::vector<std::uint64_t> ids(const GeneList& genes) {
    std::vector<std::uint64_t> result;
    for (const Gene* gene : genes) result.push_back(gene->id);
    return result;
}

class MspCreatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::configureComparison({.num_samples = kSamples});

        // Against a representative present on samples 0..49:
        genes_ = {presentOn(1, 5, 55),           // both sides exclusive: shared accessory
                  presentOn(2, 0, 40),           // absent where the representative is: accessory
                  presentOn(3, 0, 50),           // same presence: core
                  presentOn(4, 60, 80),          // never together: not taken
                  presentOn(5, 0, 60),           // also present elsewhere: shared core
                  presentOn(6, 0, 50, 4.0f)};    // same presence, four times as abundant: core
        for (const Gene& gene : genes_) gene_list_.push_back(&gene);
    }

    static Seed coreSeed(const Gene& representative, GeneList members) {
        Seed seed;
        seed.representative = representative;
        seed.genes = std::move(members);
        return seed;
    }

    static std::unique_ptr<Msp> msp(const Gene& representative, std::size_t core_size, std::uint64_t num_genes) {
        auto result = std::make_unique<Msp>();
        result->representative = representative;
        result->core_genes.assign(core_size, &representative);
        result->num_genes = num_genes;
        return result;
    }

    std::vector<Gene> genes_;
    GeneList gene_list_;
    const MspCreator creator_{0.9, 0.95};
};

TEST_F(MspCreatorTest, ClassesEveryGeneAgainstTheRepresentative) {
    const Gene representative = presentOn(100, 0, 50);
    // The seed's own member (gene 4) is not taken just for being a member.
    const auto msp = creator_.createMsp(coreSeed(representative, {&genes_[3]}), gene_list_);
    ASSERT_NE(msp, nullptr);
    EXPECT_EQ(ids(msp->core_genes), (std::vector<std::uint64_t>{3, 6}));
    EXPECT_EQ(ids(msp->accessory_genes), (std::vector<std::uint64_t>{2}));
    EXPECT_EQ(ids(msp->shared_core_genes), (std::vector<std::uint64_t>{5}));
    EXPECT_EQ(ids(msp->shared_accessory_genes), (std::vector<std::uint64_t>{1}));
    EXPECT_EQ(msp->num_genes, 5u);
    // Fewer than 10 core genes: the first of them stands for the MSP.
    EXPECT_EQ(msp->representative.id, 3u);
    EXPECT_EQ(msp->representative.counts, genes_[2].counts);
}

TEST_F(MspCreatorTest, CoreSeedWithoutCoreCandidateBuildsNoMspOthersStay) {
    // Present only where gene 4 is; gene 4 is co-present everywhere but not concordant.
    std::vector<float> counts(kSamples, 0.0f);
    for (std::uint32_t s = 60; s < 80; ++s) counts[s] = static_cast<float>(s % 2 == 0 ? 2 : 12);
    const Gene lonely = makeGene(200, "lonely", counts, 1.0f);
    EXPECT_EQ(creator_.createMsp(coreSeed(lonely, {}), gene_list_), nullptr);
    EXPECT_EQ(creator_.createMsp(coreSeed(genes_[2], {}), {}), nullptr);

    const Gene representative = presentOn(100, 0, 50);
    const Seed empty = coreSeed(lonely, {});
    const Seed full = coreSeed(representative, {});
    std::ostringstream progress;
    const MspList msps = creator_.createMsps({&empty, &full}, gene_list_, progress);
    ASSERT_EQ(msps.size(), 1u);
    EXPECT_EQ(ids(msps[0]->core_genes), (std::vector<std::uint64_t>{3, 6}));
    EXPECT_EQ(progress.str(), "Progress: 0%\rProgress: 50%\rProgress: 100%");

    std::ostringstream no_seeds_progress;
    EXPECT_TRUE(creator_.createMsps({}, gene_list_, no_seeds_progress).empty());
    EXPECT_EQ(no_seeds_progress.str(), "Progress: 0%");
}

TEST_F(MspCreatorTest, ResultDoesNotDependOnTheNumberOfThreads) {
    // Overlapping presence ranges: genes in every category, and MSPs co-abundant with others.
    std::vector<Gene> genes;
    for (std::uint32_t j = 0; j < 30; ++j) {
        genes.push_back(presentOn(300 + j, (j * 5) % 40, 40 + (j * 3) % 40, static_cast<float>(1 + j % 4)));
    }
    GeneList gene_list;
    for (const Gene& gene : genes) gene_list.push_back(&gene);
    std::vector<Gene> representatives;
    for (std::uint32_t i = 0; i < 12; ++i) {
        representatives.push_back(presentOn(100 + i, (i * 5) % 40, 40 + (i * 3) % 40));
    }
    std::vector<Seed> seeds;
    for (const Gene& representative : representatives) seeds.push_back(coreSeed(representative, {}));
    SeedRefs core_seeds;
    for (const Seed& seed : seeds) core_seeds.push_back(&seed);

    const auto run = [&](int threads) {
        const int previous = omp_get_max_threads();
        omp_set_num_threads(threads);
        std::ostringstream progress;
        const MspList msps = creator_.createMsps(core_seeds, gene_list, progress);
        omp_set_num_threads(previous);
        std::vector<std::vector<std::uint64_t>> lists;
        for (const auto& msp : msps) {
            lists.push_back(ids(msp->core_genes));
            lists.push_back(ids(msp->accessory_genes));
            lists.push_back(ids(msp->shared_core_genes));
            lists.push_back(ids(msp->shared_accessory_genes));
        }
        return lists;
    };
    const auto single = run(1);
    ASSERT_GT(single.size(), 4u);  // more than one MSP survives
    EXPECT_EQ(run(4), single);
    EXPECT_EQ(run(3), single);
}

TEST_F(MspCreatorTest, RedundantMspWithTheLargerCoreIsRemovedTiesKeepTheLaterOne) {
    const Gene profile = presentOn(1, 0, 50);
    const Gene same_profile = presentOn(2, 0, 50, 2.0f);

    MspList unequal;
    unequal.push_back(msp(profile, 1, 9));
    unequal.push_back(msp(same_profile, 3, 3));
    const Msp* smaller_core = unequal[0].get();
    MspList kept = removeRedundantMsps(std::move(unequal), 0.9);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].get(), smaller_core);

    MspList tie;
    tie.push_back(msp(profile, 2, 2));
    tie.push_back(msp(same_profile, 2, 2));
    const Msp* later = tie[1].get();
    kept = removeRedundantMsps(std::move(tie), 0.9);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].get(), later);
}

TEST_F(MspCreatorTest, RedundancyTestsTheSmallerCoreAgainstTheLargerAtTheMinimumConcordance) {
    const Gene first = genes_[2];
    // Ratios 0.9 and 1.1 in equal numbers: the median ratio of noisy to first is not the
    // inverse of the reverse one, so the two directions give different concordances.
    std::vector<float> noisy_counts = first.counts;
    for (std::size_t s = 0; s < noisy_counts.size(); ++s) noisy_counts[s] *= (s % 2 == 0 ? 0.9f : 1.1f);
    const Gene noisy = makeGene(7, "noisy", noisy_counts, 1.0f);
    GenesComparator comparator;
    const ComparisonResult& result = comparator.compare(noisy, first, 0);
    ASSERT_TRUE(result.valid);
    const double concordance = result.concordance;
    ASSERT_LT(concordance, 0.9999);
    ASSERT_NE(comparator.compare(first, noisy, 0).concordance, concordance);

    const auto build = [&] {
        MspList msps;
        msps.push_back(msp(first, 2, 2));
        msps.push_back(msp(noisy, 1, 1));
        return msps;
    };
    EXPECT_EQ(removeRedundantMsps(build(), concordance).size(), 1u);
    EXPECT_EQ(removeRedundantMsps(build(), std::nextafter(concordance, 2.0)).size(), 2u);
}

TEST_F(MspCreatorTest, KeptMspsAreOrderedByTotalSizeTiesInTheOrderTheyWereKept) {
    // Disjoint presence: none is redundant with another.
    const Gene a = presentOn(1, 0, 20);
    const Gene b = presentOn(2, 30, 50);
    const Gene c = presentOn(3, 60, 80);
    MspList msps;
    msps.push_back(msp(b, 2, 4));
    msps.push_back(msp(a, 1, 4));
    msps.push_back(msp(c, 3, 5));
    // Kept from the smallest core: a, b, c; then by total size with ties in that order.
    const MspList kept = removeRedundantMsps(std::move(msps), 0.9);
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[0]->representative.id, 3u);
    EXPECT_EQ(kept[1]->representative.id, 1u);
    EXPECT_EQ(kept[2]->representative.id, 2u);
}

// Each case changes one field of a gene that passes the concordance tests and, with
// exclusive samples on both sides, every significance test: a shared accessory gene.
TEST(GeneClassification, FirstApplicableRuleDecides) {
    using Change = void (*)(ComparisonResult&);
    struct Case {
        const char* what;
        Change change;
        GeneCategory expected;
    };
    const Case cases[] = {
        {"all tests pass", [](ComparisonResult&) {}, GeneCategory::SharedAccessory},
        {"invalid", [](ComparisonResult& r) { r.valid = false; }, GeneCategory::NotTaken},
        {"both concordances low", [](ComparisonResult& r) { r.concordance = 0.89; r.robust_concordance = 0.94; },
         GeneCategory::NotTaken},
        {"both concordances NaN", [](ComparisonResult& r) { r.concordance = kNaN; r.robust_concordance = kNaN; },
         GeneCategory::NotTaken},
        {"no exclusive sample, p-values 1.0",
         [](ComparisonResult& r) {
             r.num_gene1_only_samples = r.num_gene2_only_samples = r.num_exclusive_samples = 0;
             r.cooccurrence_pvalue = r.concordance_pvalue = r.combined_pvalue = 1.0;
             r.concordance = 0.9;  // the minimum itself
             r.robust_concordance = 0.2;
         },
         GeneCategory::CoreCandidate},
        {"no exclusive sample, robust concordance only",
         [](ComparisonResult& r) {
             r.num_gene1_only_samples = r.num_gene2_only_samples = r.num_exclusive_samples = 0;
             r.concordance = kNaN;
         },
         GeneCategory::CoreCandidate},
        {"both co-occurrence tests exactly at their levels",
         [](ComparisonResult& r) { r.cooccurrence_pvalue = 1e-10; r.combined_pvalue = 1e-12; }, GeneCategory::NotTaken},
        {"both co-occurrence tests NaN",
         [](ComparisonResult& r) { r.cooccurrence_pvalue = kNaN; r.combined_pvalue = kNaN; }, GeneCategory::NotTaken},
        {"no gene2-only sample, only the combined test passes",
         [](ComparisonResult& r) {
             r.num_gene2_only_samples = 0;
             r.num_exclusive_samples = 2;
             r.cooccurrence_pvalue = 1e-10;
             r.combined_pvalue = std::nextafter(1e-12, 0.0);
         },
         GeneCategory::Accessory},
        {"no gene1-only sample, only the co-occurrence test passes, concordance test fails",
         [](ComparisonResult& r) {
             r.num_gene1_only_samples = 0;
             r.num_exclusive_samples = 3;
             r.cooccurrence_pvalue = std::nextafter(1e-10, 0.0);
             r.combined_pvalue = 1e-12;
             r.concordance_pvalue = 1.0;
         },
         GeneCategory::SharedCore},
        {"concordance p-value exactly at its level", [](ComparisonResult& r) { r.concordance_pvalue = 1e-10; },
         GeneCategory::NotTaken},
        {"concordance p-value NaN", [](ComparisonResult& r) { r.concordance_pvalue = kNaN; }, GeneCategory::NotTaken},
        {"admitted by concordance, robust concordance below its minimum",
         [](ComparisonResult& r) { r.concordance = 0.99; r.robust_concordance = 0.94; }, GeneCategory::NotTaken},
        {"robust concordance exactly at its minimum",
         [](ComparisonResult& r) { r.concordance = 0.5; r.robust_concordance = 0.95; }, GeneCategory::SharedAccessory},
    };
    for (const Case& test_case : cases) {
        ComparisonResult result;
        result.valid = true;
        result.concordance = 0.95;
        result.robust_concordance = 0.97;
        result.num_gene1_only_samples = 2;
        result.num_gene2_only_samples = 3;
        result.num_exclusive_samples = 5;
        result.cooccurrence_pvalue = 1e-20;
        result.concordance_pvalue = 1e-20;
        result.combined_pvalue = 1e-30;
        test_case.change(result);
        EXPECT_EQ(classifyGene(result, 0.9, 0.95), test_case.expected) << test_case.what;
    }
}

}  // namespace
}  // namespace varnosk
