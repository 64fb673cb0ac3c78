#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "bins/GenesBin.hpp"
#include "common/ProgressSink.hpp"
#include "compare/ComparisonParameters.hpp"
#include "compare/SampleBitsets.hpp"
#include "seeds/PairGroups.hpp"
#include "seeds/PairJudge.hpp"

namespace varnosk {

// How a bin is grouped, whatever its size and whether processes share its rows: the greedy
// pass over its concordant pairs (see PairGroups) fed with candidate pairs in bands of
// decreasing bounds, the strongest first, each gathered among the genes not yet taken only
// when the pass reaches it. Memory stays within about `max_candidates` pairs at a time; a bin
// whose candidates fit at once goes in one band. Positions take 16 bits up to
// kMaxStoredPairGenes genes and 32 bits beyond (pairs of 12 bytes instead of 8, so two thirds
// as many per band).

// The candidate pairs of a band (bounds in place of concordances), and the first pair of
// their range left out in the order of isStrongerPair: every pair left out is it or after it.
template <typename Position>
struct Band {
    using Pair = PairOf<Position>;
    std::vector<Pair> pairs;
    std::optional<Pair> floor;

    bool admits(const Pair& pair) const { return !floor || isStrongerPair(pair, *floor); }
    void raiseFloorTo(const Pair& pair) {
        if (!floor || isStrongerPair(pair, *floor)) floor = pair;
    }
};

// What the pass asks for next: the candidate pairs among `genes` (ascending bin positions, the
// genes not yet taken) from `ceiling` on (from the start for the first band), at most `limit`.
template <typename Position>
struct BandRequest {
    std::vector<std::uint32_t> genes;
    std::optional<PairOf<Position>> ceiling;
    std::size_t limit = 0;
};

// The band of a request over the rows [row_begin, row_end) of its genes (a row pairs a gene
// with the genes after it), the rows split over the threads when called outside a parallel
// region, each block of rows done reported to `progress` when there is one.
template <typename Position>
Band<Position> gatherBand(const GenesBin& bin, const SampleBitsets& bitsets, const BandRequest<Position>& request,
                          std::size_t row_begin, std::size_t row_end, double min_concordance,
                          const ComparisonParameters& parameters, ProgressSink* progress = nullptr);

// The band of all rows from the bands of disjoint row ranges, within `limit` pairs.
template <typename Position>
Band<Position> mergeBands(std::vector<Band<Position>> parts, std::size_t limit);

// The pass itself, one band at a time: nextRequest says what to gather (nothing once the
// groups are known), take hands it the band. Judges pairs on the calling thread.
template <typename Position>
class BandedPass {
public:
    BandedPass(const GenesBin& bin, const SampleBitsets& bitsets, std::uint64_t min_group_size, double min_concordance,
               const ComparisonParameters& parameters, std::size_t max_candidates);

    const BandRequest<Position>* nextRequest() const { return done_ ? nullptr : &request_; }
    void take(Band<Position> band);
    std::vector<std::vector<std::uint32_t>> takeGroups();

private:
    void partnersInRow(std::uint32_t pivot, std::vector<std::uint32_t>& partners);

    std::size_t num_genes_;
    std::uint64_t min_group_size_;
    PairJudge judge_;
    PairGroups<Position> pass_;
    BandRequest<Position> request_;
    bool done_ = false;
    std::optional<std::vector<std::vector<std::uint32_t>>> one_band_groups_;
    std::vector<std::uint32_t> others_;
};

// Candidate pairs of a bin of that many genes a band holds, for a budget of `max_candidates`
// pairs of 8 bytes.
std::size_t bandLimit(std::size_t num_genes, std::size_t max_candidates);

// The whole pass on this process. The first band, which meets every pair of the bin, reports
// its rows to `progress` when there is one.
std::vector<std::vector<std::uint32_t>> extractGroupsInBands(const GenesBin& bin, const SampleBitsets& bitsets,
                                                             std::uint64_t min_group_size, double min_concordance,
                                                             const ComparisonParameters& parameters,
                                                             std::size_t max_candidates,
                                                             ProgressSink* progress = nullptr);
// The same with positions of a given width (extractGroupsInBands picks it by the bin's size).
template <typename Position>
std::vector<std::vector<std::uint32_t>> extractGroupsInBandsOf(const GenesBin& bin, const SampleBitsets& bitsets,
                                                               std::uint64_t min_group_size, double min_concordance,
                                                               const ComparisonParameters& parameters,
                                                               std::size_t max_candidates,
                                                               ProgressSink* progress = nullptr);

}  // namespace varnosk
