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
    if (needsPValues(result, min_concordance_, min_robust_concordance_)) comparator_.addPValues();
    return classifyGene(result, min_concordance_, min_robust_concordance_);
}

}  // namespace varnosk
