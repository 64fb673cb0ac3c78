// Decision rules at their exact thresholds, which real data never hits. Each case changes one
// field of a comparison that passes every test.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "msp/GeneCategory.hpp"
#include "seeds/CoreSeedsExtractor.hpp"

namespace varnosk {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
using Change = void (*)(ComparisonResult&);

// Concordances 0.95 and 0.97, exclusive samples on both sides, every p-value tiny.
ComparisonResult passing(Change change) {
    ComparisonResult r;
    r.valid = true;
    r.concordance = 0.95;
    r.robust_concordance = 0.97;
    r.num_gene1_only_samples = 2;
    r.num_gene2_only_samples = 3;
    r.num_exclusive_samples = 5;
    r.cooccurrence_pvalue = 1e-20;
    r.concordance_pvalue = 1e-20;
    r.combined_pvalue = 1e-30;
    change(r);
    return r;
}

TEST(CoreSeedRule, NestedCoAbundanceNeedsAllFourConditions) {
    const struct {
        const char* what;
        Change change;
        bool discards;
    } cases[] = {
        {"exclusive samples on one side", [](ComparisonResult& r) { r.num_gene2_only_samples = 0; }, true},
        {"only gene2-only samples", [](ComparisonResult& r) { r.num_gene1_only_samples = 0; }, true},
        {"exclusive samples on both sides", [](ComparisonResult&) {}, false},
        {"invalid",
         [](ComparisonResult& r) {
             r.valid = false;
             r.num_gene2_only_samples = 0;
         },
         false},
        {"both concordances low",
         [](ComparisonResult& r) {
             r.concordance = 0.89;
             r.robust_concordance = 0.94;
             r.num_gene2_only_samples = 0;
         },
         false},
        {"concordance exactly at its minimum",
         [](ComparisonResult& r) {
             r.concordance = 0.9;
             r.robust_concordance = 0;
             r.num_gene2_only_samples = 0;
         },
         true},
        {"NaN concordance, robust concordance exactly at its minimum",
         [](ComparisonResult& r) {
             r.concordance = kNaN;
             r.robust_concordance = 0.95;
             r.num_gene2_only_samples = 0;
         },
         true},
        {"NaN concordance, robust concordance low",
         [](ComparisonResult& r) {
             r.concordance = kNaN;
             r.robust_concordance = 0.94;
             r.num_gene2_only_samples = 0;
         },
         false},
        {"co-occurrence p-value exactly 1e-10",
         [](ComparisonResult& r) {
             r.cooccurrence_pvalue = 1e-10;
             r.num_gene2_only_samples = 0;
         },
         false},
        {"co-occurrence p-value NaN",
         [](ComparisonResult& r) {
             r.cooccurrence_pvalue = kNaN;
             r.num_gene2_only_samples = 0;
         },
         false},
    };
    for (const auto& c : cases) EXPECT_EQ(isNestedCoAbundant(passing(c.change), 0.9, 0.95), c.discards) << c.what;
}

TEST(GeneClassification, FirstApplicableRuleDecides) {
    const struct {
        const char* what;
        Change change;
        GeneCategory expected;
    } cases[] = {
        {"all tests pass", [](ComparisonResult&) {}, GeneCategory::SharedAccessory},
        {"invalid", [](ComparisonResult& r) { r.valid = false; }, GeneCategory::NotTaken},
        {"both concordances low",
         [](ComparisonResult& r) {
             r.concordance = 0.89;
             r.robust_concordance = 0.94;
         },
         GeneCategory::NotTaken},
        {"both concordances NaN",
         [](ComparisonResult& r) {
             r.concordance = kNaN;
             r.robust_concordance = kNaN;
         },
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
         [](ComparisonResult& r) {
             r.cooccurrence_pvalue = 1e-10;
             r.combined_pvalue = 1e-12;
         },
         GeneCategory::NotTaken},
        {"both co-occurrence tests NaN",
         [](ComparisonResult& r) {
             r.cooccurrence_pvalue = kNaN;
             r.combined_pvalue = kNaN;
         },
         GeneCategory::NotTaken},
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
         [](ComparisonResult& r) {
             r.concordance = 0.99;
             r.robust_concordance = 0.94;
         },
         GeneCategory::NotTaken},
        {"robust concordance exactly at its minimum",
         [](ComparisonResult& r) {
             r.concordance = 0.5;
             r.robust_concordance = 0.95;
         },
         GeneCategory::SharedAccessory},
    };
    for (const auto& c : cases) EXPECT_EQ(classifyGene(passing(c.change), 0.9, 0.95), c.expected) << c.what;
}

}  // namespace
}  // namespace varnosk
