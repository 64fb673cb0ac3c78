#include "msp/GeneCategory.hpp"

namespace varnosk {

GeneCategory classifyGene(const ComparisonResult& result, double min_concordance, double min_robust_concordance) {
    if (!result.valid || !meetsConcordanceThresholds(result, min_concordance, min_robust_concordance)) {
        return GeneCategory::NotTaken;
    }
    // Present exactly where the representative is: no significance test needed.
    if (result.num_exclusive_samples == 0) return GeneCategory::CoreCandidate;
    if (!(result.cooccurrence_pvalue < kMaxCooccurrencePValue || result.combined_pvalue < kMaxCombinedPValue)) {
        return GeneCategory::NotTaken;
    }
    if (result.num_gene2_only_samples == 0) return GeneCategory::Accessory;
    if (result.num_gene1_only_samples == 0) return GeneCategory::SharedCore;
    if (result.concordance_pvalue < kMaxConcordancePValue && result.robust_concordance >= min_robust_concordance) {
        return GeneCategory::SharedAccessory;
    }
    return GeneCategory::NotTaken;
}

}  // namespace varnosk
