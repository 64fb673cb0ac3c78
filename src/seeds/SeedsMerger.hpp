#pragma once

#include <cstdint>

#include "common/ProgressSink.hpp"
#include "compare/ComparisonParameters.hpp"
#include "seeds/Seed.hpp"

namespace varnosk {

// Fuses seeds whose representatives are co-abundant, largest first; keeps the seeds that
// end without partner and reach min_seed_size.
struct SeedsMerger {
    double min_concordance = 0.0;
    std::uint64_t min_seed_size = 0;

    // Replaces the content of `seeds` by the merged and kept seeds; reports the share of the
    // seeds examined.
    void mergeSeeds(SeedList& seeds, const ComparisonParameters& parameters, ProgressSink& progress) const;
};

}  // namespace varnosk
