#pragma once

#include <memory>

#include "common/ProgressSink.hpp"
#include "compare/GenesComparator.hpp"
#include "msp/Msp.hpp"
#include "seeds/Seed.hpp"

namespace varnosk {

// Builds one MSP per core seed, removes redundant MSPs and orders them by size.
struct MspCreator {
    double min_concordance = 0.0;
    double min_robust_concordance = 0.0;

    // Parallel over blocks of genes of every core seed, one comparator per thread, then over
    // core seeds for their cores; reports the share of the blocks done.
    MspList createMsps(const SeedRefs& core_seeds, const GeneList& genes, const ComparisonParameters& parameters,
                       ProgressSink& progress) const;
};

}  // namespace varnosk
