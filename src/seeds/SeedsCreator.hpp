#pragma once

#include <cstdint>
#include <vector>

#include "bins/GenesBin.hpp"
#include "common/ProgressSink.hpp"
#include "compare/GenesComparator.hpp"
#include "seeds/PairGraph.hpp"
#include "seeds/Seed.hpp"

namespace varnosk {

// Turns one bin into seeds. One worker per thread: it owns its comparator and pair
// buffer, reused from bin to bin.
class SeedsCreator {
public:
    SeedsCreator(std::uint64_t min_seed_size, double min_concordance, const ComparisonParameters& parameters);

    SeedList createSeeds(const GenesBin& bin);

private:
    double min_concordance_;
    std::uint64_t min_seed_size_;
    GenesComparator comparator_;
    std::vector<GenesPair> pairs_;
};

// The parallel stage over all bins (one bin at a time): returns the seeds of every bin
// concatenated in bin order, reporting the share of the bins done.
SeedList createAllSeeds(const GenesBinList& bins, std::uint64_t min_seed_size, double min_concordance,
                        const ComparisonParameters& parameters, ProgressSink& progress);

}  // namespace varnosk
