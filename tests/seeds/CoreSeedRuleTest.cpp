#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "seeds/CoreSeedRule.hpp"

namespace varnosk {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Each case changes one field of a comparison that meets all four conditions.
TEST(CoreSeedRule, AllFourConditionsAreNeeded) {
    using Change = void (*)(ComparisonResult&);
    struct Case {
        const char* what;
        Change change;
        bool discards;
    };
    const Case cases[] = {
        {"all conditions hold", [](ComparisonResult&) {}, true},
        {"invalid", [](ComparisonResult& r) { r.valid = false; }, false},
        {"both concordances low",
         [](ComparisonResult& r) { r.concordance = 0.89; r.robust_concordance = 0.94; }, false},
        {"concordance exactly at its minimum",
         [](ComparisonResult& r) { r.concordance = 0.9; r.robust_concordance = 0; }, true},
        {"NaN concordance, robust concordance high", [](ComparisonResult& r) { r.concordance = kNaN; }, true},
        {"NaN concordance, robust concordance low",
         [](ComparisonResult& r) { r.concordance = kNaN; r.robust_concordance = 0.94; }, false},
        {"exclusive samples on both sides", [](ComparisonResult& r) { r.num_gene2_only_samples = 1; }, false},
        {"only gene2-only samples",
         [](ComparisonResult& r) { r.num_gene1_only_samples = 0; r.num_gene2_only_samples = 3; }, true},
        {"co-occurrence p-value exactly 1e-10", [](ComparisonResult& r) { r.cooccurrence_pvalue = 1e-10; }, false},
        {"co-occurrence p-value NaN", [](ComparisonResult& r) { r.cooccurrence_pvalue = kNaN; }, false},
    };
    for (const Case& test_case : cases) {
        ComparisonResult result;
        result.valid = true;
        result.concordance = 0.95;
        result.robust_concordance = 0.95;
        result.num_gene1_only_samples = 4;
        result.num_gene2_only_samples = 0;
        result.cooccurrence_pvalue = 1e-11;
        test_case.change(result);
        EXPECT_EQ(isNestedCoAbundant(result, 0.9, 0.95), test_case.discards) << test_case.what;
    }
}

}  // namespace
}  // namespace varnosk
