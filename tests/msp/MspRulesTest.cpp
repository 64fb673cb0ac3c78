#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "msp/MspRules.hpp"

namespace varnosk {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

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
