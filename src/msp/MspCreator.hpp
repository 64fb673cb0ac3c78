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

    // Parallel over core seeds, one comparator per thread; reports the share of the core
    // seeds done.
    MspList createMsps(const SeedRefs& core_seeds, const GeneList& genes, const ComparisonParameters& parameters,
                       ProgressSink& progress) const;

    // The MSP of one core seed; nullptr when no gene is a core candidate.
    std::unique_ptr<Msp> createMsp(const Seed& core_seed, const GeneList& genes, GenesComparator& comparator) const;
};

}  // namespace varnosk
