#pragma once

#include <ostream>

#include "seeds/Seed.hpp"

namespace varnosk {

// Picks, from the largest seed down, the seeds not significantly co-abundant (with a nested
// presence pattern) with a larger selected one.
struct CoreSeedsExtractor {
    double min_concordance = 0.0;
    double min_robust_concordance = 0.0;

    // Returns the core seeds, largest first; draws its progress line.
    SeedRefs extractCoreSeeds(SeedRefs seeds, std::ostream& progress_out) const;
};

}  // namespace varnosk
