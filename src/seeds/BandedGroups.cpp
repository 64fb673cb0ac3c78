#include "seeds/BandedGroups.hpp"

#include <algorithm>
#include <limits>

#include <omp.h>

#include "common/ParallelSlots.hpp"
#include "seeds/SeedsCreator.hpp"

namespace varnosk {
namespace {

// Row blocks of a band: enough to balance the threads.
constexpr std::size_t kRowBlocks = 64;

// Keeps the first `limit` pairs in the order of isStrongerPair, a total order (no two pairs
// share their genes), so that a trim always leaves exactly `limit` pairs, ties or not.
template <typename Position>
void trim(Band<Position>& band, std::size_t limit) {
    if (band.pairs.size() <= limit) return;
    const auto stronger = [](const PairOf<Position>& a, const PairOf<Position>& b) { return isStrongerPair(a, b); };
    const auto cut = band.pairs.begin() + static_cast<std::ptrdiff_t>(limit);
    std::nth_element(band.pairs.begin(), cut, band.pairs.end(), stronger);
    band.raiseFloorTo(*cut);
    band.pairs.erase(cut, band.pairs.end());
}

}  // namespace

std::size_t bandLimit(std::size_t num_genes, std::size_t max_candidates) {
    return withPairPositions(num_genes, [&](auto position) {
        return std::max<std::size_t>(1, max_candidates * sizeof(StoredPair) / sizeof(PairOf<decltype(position)>));
    });
}

template <typename Position>
Band<Position> mergeBands(std::vector<Band<Position>> parts, std::size_t limit) {
    // Every pair a part left out comes after its floor, so after the first of the floors.
    Band<Position> band;
    for (const Band<Position>& part : parts) {
        if (part.floor) band.raiseFloorTo(*part.floor);
    }
    for (Band<Position>& part : parts) {
        for (const PairOf<Position>& pair : part.pairs) {
            if (band.admits(pair)) band.pairs.push_back(pair);
        }
        std::vector<PairOf<Position>>().swap(part.pairs);
    }
    trim(band, limit);
    return band;
}

template <typename Position>
Band<Position> gatherBand(const GenesBin& bin, const SampleBitsets& bitsets, const BandRequest<Position>& request,
                          std::size_t row_begin, std::size_t row_end, double min_concordance,
                          const ComparisonParameters& parameters, ProgressSink* progress) {
    const std::vector<std::uint32_t>& genes = request.genes;
    const std::optional<PairOf<Position>>& ceiling = request.ceiling;
    // On one thread (inside a parallel region) a single block, so that no pair is held twice.
    const std::size_t num_blocks = omp_in_parallel() ? 1 : kRowBlocks;
    const std::size_t block_limit = std::max<std::size_t>(1, request.limit / num_blocks);
    const std::vector<std::size_t> cuts = rowCuts(genes.size(), row_begin, row_end, num_blocks);
    std::vector<Band<Position>> blocks = computeInParallelSlots<Band<Position>>(
        num_blocks, [&] { return PairJudge(bin, bitsets, min_concordance, parameters); },
        [&](PairJudge& judge, std::size_t k) {
            Band<Position> block;
            for (std::size_t r = cuts[k]; r < cuts[k + 1]; ++r) {
                const std::uint32_t first = genes[r];
                judge.forEachCandidateOf(
                    first, genes.data() + r + 1, genes.size() - r - 1,
                    [&](std::uint32_t second, float bound) {
                        const PairOf<Position> pair{static_cast<Position>(first), static_cast<Position>(second), bound};
                        if (ceiling && isStrongerPair(pair, *ceiling)) return;
                        if (!block.admits(pair)) return;
                        block.pairs.push_back(pair);
                        if (block.pairs.size() >= block_limit + block_limit / 4 + 1) {
                            trim(block, block_limit);
                        }
                    },
                    [&] {
                        // a bound below the block's floor is left out
                        return block.floor ? block.floor->concordance : -std::numeric_limits<float>::infinity();
                    });
            }
            return block;
        },
        [progress](std::uint64_t done, std::uint64_t total) {
            if (progress != nullptr) progress->update(done, total);
        });
    return mergeBands(std::move(blocks), request.limit);
}

template <typename Position>
BandedPass<Position>::BandedPass(const GenesBin& bin, const SampleBitsets& bitsets, std::uint64_t min_group_size,
                                 double min_concordance, const ComparisonParameters& parameters,
                                 std::size_t max_candidates)
    : num_genes_(bin.size()),
      min_group_size_(min_group_size),
      judge_(bin, bitsets, min_concordance, parameters),
      pass_(bin.size(), min_group_size) {
    request_.genes.resize(num_genes_);
    for (std::size_t g = 0; g < num_genes_; ++g) request_.genes[g] = static_cast<std::uint32_t>(g);
    request_.limit = max_candidates;
}

template <typename Position>
void BandedPass<Position>::partnersInRow(std::uint32_t pivot, std::vector<std::uint32_t>& partners) {
    // Past the first band, the pivot's partners may be in any band: its row is judged whole.
    others_.clear();
    for (std::size_t g = 0; g < num_genes_; ++g) {
        const auto gene = static_cast<std::uint32_t>(g);
        if (gene != pivot && !pass_.isTaken(gene)) others_.push_back(gene);
    }
    judge_.forEachCandidateOf(pivot, others_.data(), others_.size(), [&](std::uint32_t partner, float) {
        if (judge_.concordance(std::min(pivot, partner), std::max(pivot, partner))) partners.push_back(partner);
    });
}

template <typename Position>
void BandedPass<Position>::take(Band<Position> band) {
    const bool complete = !band.floor;
    if (complete && !request_.ceiling) {
        // Every candidate at once: the pivot's partners are among its own candidates.
        one_band_groups_ = extractGroups(band.pairs, num_genes_, min_group_size_, judge_);
        done_ = true;
        return;
    }
    pass_.extend(band.pairs, band.floor, judge_,
                 [this](std::uint32_t pivot, std::vector<std::uint32_t>& partners) { partnersInRow(pivot, partners); });
    if (complete) {
        done_ = true;
        return;
    }
    request_.ceiling = band.floor;
    std::vector<std::uint32_t>& genes = request_.genes;
    genes.erase(std::remove_if(genes.begin(), genes.end(), [&](std::uint32_t g) { return pass_.isTaken(g); }),
                genes.end());
}

template <typename Position>
std::vector<std::vector<std::uint32_t>> BandedPass<Position>::takeGroups() {
    if (one_band_groups_) return std::move(*one_band_groups_);
    return pass_.takeGroups();
}

template <typename Position>
std::vector<std::vector<std::uint32_t>> extractGroupsInBandsOf(const GenesBin& bin, const SampleBitsets& bitsets,
                                                               std::uint64_t min_group_size, double min_concordance,
                                                               const ComparisonParameters& parameters,
                                                               std::size_t max_candidates, ProgressSink* progress) {
    BandedPass<Position> pass(bin, bitsets, min_group_size, min_concordance, parameters, max_candidates);
    for (bool first = true; const BandRequest<Position>* request = pass.nextRequest(); first = false) {
        pass.take(gatherBand(bin, bitsets, *request, 0, request->genes.size(), min_concordance, parameters,
                             first ? progress : nullptr));
    }
    return pass.takeGroups();
}

std::vector<std::vector<std::uint32_t>> extractGroupsInBands(const GenesBin& bin, const SampleBitsets& bitsets,
                                                             std::uint64_t min_group_size, double min_concordance,
                                                             const ComparisonParameters& parameters,
                                                             std::size_t max_candidates, ProgressSink* progress) {
    const std::size_t limit = bandLimit(bin.size(), max_candidates);
    return withPairPositions(bin.size(), [&](auto position) {
        return extractGroupsInBandsOf<decltype(position)>(bin, bitsets, min_group_size, min_concordance, parameters,
                                                          limit, progress);
    });
}

#define VARNOSK_BANDS_OF(Position)                                                                                    \
    template Band<Position> gatherBand(const GenesBin&, const SampleBitsets&, const BandRequest<Position>&,           \
                                       std::size_t, std::size_t, double, const ComparisonParameters&, ProgressSink*); \
    template Band<Position> mergeBands(std::vector<Band<Position>>, std::size_t);                                     \
    template class BandedPass<Position>;                                                                              \
    template std::vector<std::vector<std::uint32_t>> extractGroupsInBandsOf<Position>(                                \
        const GenesBin&, const SampleBitsets&, std::uint64_t, double, const ComparisonParameters&, std::size_t,       \
        ProgressSink*);
VARNOSK_BANDS_OF(std::uint16_t)
VARNOSK_BANDS_OF(std::uint32_t)
#undef VARNOSK_BANDS_OF

}  // namespace varnosk
