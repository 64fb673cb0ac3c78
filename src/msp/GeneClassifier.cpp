#include "msp/GeneClassifier.hpp"

#include <optional>

namespace varnosk {

GeneClassifier::GeneClassifier(const ComparisonParameters& parameters, double min_concordance,
                               double min_robust_concordance)
    : min_concordance_(min_concordance),
      min_robust_concordance_(min_robust_concordance),
      comparator_(parameters),
      screen_(parameters, min_concordance, min_robust_concordance) {}

GeneCategory GeneClassifier::classify(const Gene& representative, const Gene& gene) {
    const std::optional<RatioEstimate> ratio = comparator_.abundanceRatio(representative, gene);
    if (!ratio || !screen_.mayMeetThresholds(representative, gene, *ratio)) return GeneCategory::NotTaken;
    const ComparisonResult& result = comparator_.completeFullWithoutPValues(representative, gene);
    // Genes without exclusive samples are core candidates whatever the p-values: only the
    // others that meet the concordance thresholds need them.
    if (result.valid && meetsConcordanceThresholds(result, min_concordance_, min_robust_concordance_) &&
        result.num_exclusive_samples > 0) {
        comparator_.addPValues();
    }
    return classifyGene(result, min_concordance_, min_robust_concordance_);
}

}  // namespace varnosk
