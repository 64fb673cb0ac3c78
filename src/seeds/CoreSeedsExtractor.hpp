#pragma once

#include "common/ProgressSink.hpp"
#include "compare/ComparisonParameters.hpp"
#include "seeds/Seed.hpp"

namespace varnosk {

// Picks, from the largest seed down, the seeds not significantly co-abundant (with a nested
// presence pattern) with a larger selected one.
struct CoreSeedsExtractor {
    double min_concordance = 0.0;
    double min_robust_concordance = 0.0;

    // Returns the core seeds, largest first; reports the share of the seeds examined.
    SeedRefs extractCoreSeeds(SeedRefs seeds, const ComparisonParameters& parameters, ProgressSink& progress) const;
};

}  // namespace varnosk
