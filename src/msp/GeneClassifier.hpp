#pragma once

#include "compare/ComparisonParameters.hpp"
#include "compare/ConcordanceScreen.hpp"
#include "compare/GenesComparator.hpp"
#include "matrix/Gene.hpp"
#include "msp/GeneCategory.hpp"

namespace varnosk {

// The category of a gene against a core seed's representative (classifyGene of their full
// comparison), for one thread: most pairs are settled from their abundance ratio by the
// concordance screen, and only the rest are compared in full, which gives the same
// categories in a fraction of the time.
class GeneClassifier {
public:
    GeneClassifier(const ComparisonParameters& parameters, double min_concordance, double min_robust_concordance);

    GeneCategory classify(const Gene& representative, const Gene& gene);

private:
    double min_concordance_;
    double min_robust_concordance_;
    GenesComparator comparator_;
    ConcordanceScreen screen_;
};

}  // namespace varnosk
