#pragma once

#include "compare/ComparisonResult.hpp"

namespace varnosk {

enum class GeneCategory { NotTaken, CoreCandidate, Accessory, SharedCore, SharedAccessory };

// The category of a gene against a core seed's representative, from their full comparison
// (representative as gene1). The first rule that applies decides; every threshold test is
// false for a value that is not a number.
GeneCategory classifyGene(const ComparisonResult& result, double min_concordance, double min_robust_concordance);

// Whether classifyGene needs the p-values of a full comparison: most genes fail the
// concordance thresholds, and those without exclusive samples are core candidates.
inline bool needsPValues(const ComparisonResult& result, double min_concordance, double min_robust_concordance) {
    return result.valid && meetsConcordanceThresholds(result, min_concordance, min_robust_concordance) &&
           result.num_exclusive_samples > 0;
}

}  // namespace varnosk
