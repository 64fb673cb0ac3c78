#include "seeds/BandedGroups.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include <omp.h>

#include "common/ParallelSlots.hpp"
#include "seeds/PairGraph.hpp"
#include "seeds/PairJudge.hpp"
#include "seeds/SeedsCreator.hpp"

namespace varnosk {
namespace {

// Row blocks of a band: enough to balance the threads.
constexpr std::size_t kRowBlocks = 64;

// Candidate pairs (bounds in place of concordances), and the first pair of their range left
// out in the order of isStrongerPair: every pair left out is it or comes after it.
struct Band {
    std::vector<StoredPair> pairs;
    std::optional<StoredPair> floor;

    bool admits(const StoredPair& pair) const { return !floor || isStrongerPair(pair, *floor); }
    void raiseFloorTo(const StoredPair& pair) {
        if (!floor || isStrongerPair(pair, *floor)) floor = pair;
    }
};

// Keeps the first `limit` pairs in the order of isStrongerPair, a total order (no two pairs
// share their genes), so that a trim always leaves exactly `limit` pairs, ties or not.
void trim(Band& band, std::size_t limit) {
    if (band.pairs.size() <= limit) return;
    const auto stronger = [](const StoredPair& a, const StoredPair& b) { return isStrongerPair(a, b); };
    const auto cut = band.pairs.begin() + static_cast<std::ptrdiff_t>(limit);
    std::nth_element(band.pairs.begin(), cut, band.pairs.end(), stronger);
    band.raiseFloorTo(*cut);
    band.pairs.erase(cut, band.pairs.end());
}

// The first `limit` candidate pairs among `genes` (ascending bin positions) from `ceiling`
// on, in the order of isStrongerPair on their bounds (from the start when there is none: the
// first band).
Band gatherBand(const GenesBin& bin, const SampleBitsets& bitsets, const std::vector<std::uint32_t>& genes,
                const std::optional<StoredPair>& ceiling, std::size_t limit, double min_concordance,
                const ComparisonParameters& parameters) {
    // On one thread (inside a parallel region) a single block, so that no pair is held twice.
    const std::size_t num_blocks = omp_in_parallel() ? 1 : kRowBlocks;
    const std::size_t block_limit = std::max<std::size_t>(1, limit / num_blocks);
    const std::vector<std::size_t> cuts = rowCuts(genes.size(), 0, genes.size(), num_blocks);
    std::vector<Band> blocks = computeInParallelSlots<Band>(
        num_blocks, [&] { return PairJudge(bin, bitsets, min_concordance, parameters); },
        [&](PairJudge& judge, std::size_t k) {
            Band block;
            for (std::size_t r = cuts[k]; r < cuts[k + 1]; ++r) {
                const std::uint32_t first = genes[r];
                judge.forEachCandidateOf(first, genes.data() + r + 1, genes.size() - r - 1,
                                         [&](std::uint32_t second, float bound) {
                                             const StoredPair pair{static_cast<std::uint16_t>(first),
                                                                   static_cast<std::uint16_t>(second), bound};
                                             if (ceiling && isStrongerPair(pair, *ceiling)) return;
                                             if (!block.admits(pair)) return;
                                             block.pairs.push_back(pair);
                                             if (block.pairs.size() >= block_limit + block_limit / 4 + 1) {
                                                 trim(block, block_limit);
                                             }
                                         });
            }
            return block;
        },
        [](std::uint64_t, std::uint64_t) {});
    if (blocks.size() == 1) {
        trim(blocks.front(), limit);
        return std::move(blocks.front());
    }
    Band band;
    for (const Band& block : blocks) {
        if (block.floor) band.raiseFloorTo(*block.floor);
    }
    for (Band& block : blocks) {
        for (const StoredPair& pair : block.pairs) {
            if (band.admits(pair)) band.pairs.push_back(pair);
        }
        std::vector<StoredPair>().swap(block.pairs);
    }
    trim(band, limit);
    return band;
}

}  // namespace

std::vector<std::vector<std::uint32_t>> extractGroupsInBands(const GenesBin& bin, const SampleBitsets& bitsets,
                                                             std::uint64_t min_group_size, double min_concordance,
                                                             const ComparisonParameters& parameters,
                                                             std::size_t max_candidates) {
    const std::size_t n = bin.size();
    PairJudge judge(bin, bitsets, min_concordance, parameters);
    PairGroups pass(n, min_group_size);
    std::vector<std::uint32_t> genes(n);
    for (std::size_t g = 0; g < n; ++g) genes[g] = static_cast<std::uint32_t>(g);
    // Past the first band, the pivot's partners may be in any band: its row is judged whole.
    std::vector<std::uint32_t> others;
    const auto partners_in_row = [&](std::uint32_t pivot, std::vector<std::uint32_t>& partners) {
        others.clear();
        for (std::size_t g = 0; g < n; ++g) {
            if (g != pivot && !pass.isTaken(static_cast<std::uint32_t>(g))) others.push_back(static_cast<std::uint32_t>(g));
        }
        judge.forEachCandidateOf(pivot, others.data(), others.size(), [&](std::uint32_t partner, float) {
            if (judge.concordance(std::min(pivot, partner), std::max(pivot, partner))) partners.push_back(partner);
        });
    };
    std::optional<StoredPair> ceiling;
    for (;;) {
        Band band = gatherBand(bin, bitsets, genes, ceiling, max_candidates, min_concordance, parameters);
        const bool complete = !band.floor;
        if (complete && !ceiling) return extractGroups(band.pairs, n, min_group_size, judge);
        pass.extend(band.pairs, band.floor, judge, partners_in_row);
        if (complete) break;
        ceiling = band.floor;
        genes.erase(std::remove_if(genes.begin(), genes.end(), [&](std::uint32_t g) { return pass.isTaken(g); }),
                    genes.end());
    }
    return pass.takeGroups();
}

}  // namespace varnosk
