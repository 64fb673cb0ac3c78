#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "bins/GenesBin.hpp"
#include "compare/GenesComparator.hpp"
#include "seeds/Seed.hpp"

namespace varnosk {

// One concordant pair of genes of a bin (positions in the bin, first < second).
struct GenesPair {
    std::uint32_t first;
    std::uint32_t second;
    float concordance;
};

// Turns one bin into seeds. One worker per thread: it owns its comparator and pair
// buffer, reused from bin to bin.
class SeedsCreator {
public:
    SeedsCreator(std::uint64_t min_seed_size, double min_concordance);

    SeedList createSeeds(const GenesBin& bin);

private:
    double min_concordance_;
    std::uint64_t min_seed_size_;
    GenesComparator comparator_;
    std::vector<GenesPair> pairs_;
};

// The parallel stage over all bins (dynamic schedule, one bin at a time): returns the seeds
// of every bin concatenated in bin order, drawing the progress line on `progress_out`
// (the caller has written "Progress: 0%").
SeedList createAllSeeds(const GenesBinList& bins, std::uint64_t min_seed_size, double min_concordance,
                        std::ostream& progress_out);

}  // namespace varnosk
