#pragma once

#include <memory>
#include <ostream>

#include "msp/Msp.hpp"
#include "seeds/Seed.hpp"

namespace varnosk {

// Builds one MSP per core seed, removes redundant MSPs and orders them by size.
struct MspCreator {
    double min_concordance = 0.0;
    double min_robust_concordance = 0.0;

    // Parallel over core seeds (dynamic schedule); draws its progress line.
    MspList createMsps(const SeedRefs& core_seeds, const GeneList& genes, std::ostream& progress_out) const;

    // The MSP of one core seed; nullptr when no gene is a core candidate. Thread-safe.
    std::unique_ptr<Msp> createMsp(const Seed& core_seed, const GeneList& genes) const;
};

}  // namespace varnosk
