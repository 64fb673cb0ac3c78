#pragma once

#include "common/ProgressSink.hpp"
#include "compare/ComparisonParameters.hpp"
#include "compare/ComparisonResult.hpp"
#include "seeds/Seed.hpp"

namespace varnosk {

// True when a smaller seed is significantly co-abundant with a selected core seed and their
// presence patterns are nested, so that it cannot be a core seed of its own. `result` is the
// full comparison with the core seed's representative as gene1. Every threshold test is
// false for a value that is not a number.
bool isNestedCoAbundant(const ComparisonResult& result, double min_concordance, double min_robust_concordance);

// Picks, from the largest seed down, the seeds not significantly co-abundant (with a nested
// presence pattern) with a larger selected one.
struct CoreSeedsExtractor {
    double min_concordance = 0.0;
    double min_robust_concordance = 0.0;

    // Returns the core seeds, largest first; reports the share of the seeds examined.
    SeedRefs extractCoreSeeds(SeedRefs seeds, const ComparisonParameters& parameters, ProgressSink& progress) const;
};

}  // namespace varnosk
