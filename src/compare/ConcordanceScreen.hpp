#pragma once

#include <cstdint>
#include <vector>

#include "compare/ComparisonParameters.hpp"
#include "compare/GenesComparator.hpp"
#include "matrix/Gene.hpp"

namespace varnosk {

// Settles most pairs of MSP creation from their abundance ratio alone: once the ratio is
// known, one pass over the samples where both genes are non-zero shows that neither the
// concordance nor the robust concordance of compareFull can reach its minimum, without the
// quartiles and fences of the outlier step. It errs only towards "may": a pair it lets
// through is then compared in full, so the decisions are those of compareFull. One screen per
// thread: it owns its scratch space, so a call allocates nothing.
class ConcordanceScreen {
public:
    ConcordanceScreen(const ComparisonParameters& parameters, double min_concordance, double min_robust_concordance);

    // False only when compareFull(gene1, gene2) is certain to give a concordance below
    // min_concordance and a robust concordance below min_robust_concordance; `estimate` is
    // the comparator's abundanceRatio of the same pair.
    bool mayMeetThresholds(const Gene& gene1, const Gene& gene2, const RatioEstimate& estimate);

private:
    ComparisonParameters parameters_;
    double min_concordance_;
    double min_robust_concordance_;
    std::vector<double> residuals_;  // squared residuals of the non-zero samples
};

}  // namespace varnosk
