#pragma once

#include <cstdint>
#include <vector>

#include "bins/GenesBin.hpp"
#include "common/ProgressSink.hpp"
#include "compare/GenesComparator.hpp"
#include "compare/SampleBitsets.hpp"
#include "seeds/PairGroups.hpp"
#include "seeds/Seed.hpp"

namespace varnosk {

// Turns one bin into seeds. One worker per thread: it owns its comparator, bitsets and pair
// buffer, reused from bin to bin.
class SeedsCreator {
public:
    SeedsCreator(std::uint64_t min_seed_size, double min_concordance, const ComparisonParameters& parameters);

    // The whole bin: on the calling thread inside a parallel region, with its rows split over
    // the threads outside one, reporting its first band's rows (most of its work) to
    // `progress` when there is one.
    SeedList createSeeds(const GenesBin& bin, ProgressSink* progress = nullptr);

    // Representatives and recruitment on the groups extracted from the bin's pairs.
    SeedList seedsFromGroups(const GenesBin& bin, const SampleBitsets& bitsets,
                             const std::vector<std::vector<std::uint32_t>>& groups);

    // Candidate pairs a thread holds at once (3.2 MB, a quarter more while they are gathered,
    // and 4 bytes a pair of adjacency when they are all of their bin's); a bin grouped with
    // every thread, or every process, holds four times as many.
    static constexpr std::size_t kMaxCandidatesPerThread = 400'000;
    static constexpr std::size_t kMaxCandidatesPerBin = 4 * kMaxCandidatesPerThread;

    // Whether a bin of that many genes can make no seed (throws when it is too large to handle).
    bool skipsBin(std::size_t num_genes) const;

private:
    double min_concordance_;
    std::uint64_t min_seed_size_;
    GenesComparator comparator_;
    SampleBitsets bitsets_;
    SampleBitsets representative_bits_;
};

// The pairs of a bin of n genes: n(n - 1)/2.
std::uint64_t numPairs(std::size_t n);

// Cuts rows [begin, end) of a bin of n genes (row i has n - 1 - i pairs) into `parts` ranges
// of about equal pairs, some possibly empty: parts + 1 cuts, the first `begin`, the last `end`.
std::vector<std::size_t> rowCuts(std::size_t n, std::size_t begin, std::size_t end, std::size_t parts);

// The parallel stage over all bins: large bins one at a time with their rows split over the
// threads, the others one bin per thread. Returns the seeds of every bin concatenated in bin
// order, reporting the share of the bins done.
SeedList createAllSeeds(const GenesBinList& bins, std::uint64_t min_seed_size, double min_concordance,
                        const ComparisonParameters& parameters, ProgressSink& progress);

}  // namespace varnosk
