#include "seeds/SeedsCreator.hpp"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>

#include <omp.h>

#include "common/ParallelSlots.hpp"
#include "compare/RepresentativeGenes.hpp"
#include "seeds/BandedGroups.hpp"

namespace varnosk {

std::uint64_t numPairs(std::size_t n) { return n < 2 ? 0 : static_cast<std::uint64_t>(n) * (n - 1) / 2; }

std::vector<std::size_t> rowCuts(std::size_t n, std::size_t begin, std::size_t end, std::size_t parts) {
    std::uint64_t total = 0;
    for (std::size_t i = begin; i < end; ++i) total += n - 1 - i;
    std::vector<std::size_t> cuts{begin};
    std::uint64_t done = 0;
    for (std::size_t i = begin; i < end && cuts.size() < parts; ++i) {
        done += n - 1 - i;
        while (cuts.size() < parts && done * parts >= total * cuts.size()) cuts.push_back(i + 1);
    }
    while (cuts.size() < parts) cuts.push_back(end);
    cuts.push_back(end);
    return cuts;
}

SeedsCreator::SeedsCreator(std::uint64_t min_seed_size, double min_concordance, const ComparisonParameters& parameters)
    : min_concordance_(min_concordance), min_seed_size_(min_seed_size), comparator_(parameters) {}

bool SeedsCreator::skipsBin(std::size_t n) const {
    if (n > UINT32_MAX) {
        throw std::runtime_error("error: a genes bin of " + std::to_string(n) + " genes is too large.");
    }
    // Neither a group nor a recruitment can reach min_seed_size: spare the n^2/2 comparisons.
    return n == 0 || n < min_seed_size_;
}

SeedList SeedsCreator::createSeeds(const GenesBin& bin, ProgressSink* progress) {
    if (skipsBin(bin.size())) return {};
    bitsets_.build(bin, comparator_.parameters(), true);
    // A bin run alone has the memory of every thread for its band.
    const std::size_t max_candidates = omp_in_parallel() ? kMaxCandidatesPerThread : kMaxCandidatesPerBin;
    return seedsFromGroups(bin, bitsets_,
                           extractGroupsInBands(bin, bitsets_, min_seed_size_, min_concordance_,
                                                comparator_.parameters(), max_candidates, progress));
}

SeedList SeedsCreator::seedsFromGroups(const GenesBin& bin, const SampleBitsets& bitsets,
                                       const std::vector<std::vector<std::uint32_t>>& groups) {
    // Extraction step: preliminary seeds from the groups, largest first (stable).
    SeedList preliminary;
    preliminary.reserve(groups.size());
    for (const std::vector<std::uint32_t>& group : groups) {
        GeneList members;
        members.reserve(group.size());
        for (const std::uint32_t position : group) members.push_back(bin[position]);
        if (auto seed = selectRepresentativeGenes(members, comparator_)) {
            preliminary.push_back(std::make_unique<Seed>(std::move(*seed)));
        }
    }
    std::stable_sort(preliminary.begin(), preliminary.end(),
                     [](const std::unique_ptr<Seed>& a, const std::unique_ptr<Seed>& b) {
                         return a->genes.size() > b->genes.size();
                     });

    // Recruitment step: each preliminary representative gathers every concordant gene of the
    // bin, members of other seeds included; a NaN concordance does not qualify here.
    SeedList seeds;
    seeds.reserve(preliminary.size());
    GeneList recruited;
    for (std::unique_ptr<Seed>& candidate : preliminary) {
        recruited.clear();
        const GeneList representative{&candidate->representative};
        representative_bits_.build(representative, comparator_.parameters(), true);
        for (std::size_t j = 0; j < bin.size(); ++j) {
            if (representative_bits_.rejectsBounded(0, bitsets, j)) continue;
            const ComparisonResult& result = comparator_.compare(candidate->representative, *bin[j], 0);
            if (isCoAbundant(result, min_concordance_)) recruited.push_back(bin[j]);
        }
        candidate.reset();
        if (recruited.size() >= min_seed_size_ && !recruited.empty()) {
            if (auto seed = selectRepresentativeGenes(recruited, comparator_)) {
                seeds.push_back(std::make_unique<Seed>(std::move(*seed)));
            }
        }
    }
    return seeds;
}

SeedList createAllSeeds(const GenesBinList& bins, std::uint64_t min_seed_size, double min_concordance,
                        const ComparisonParameters& parameters, ProgressSink& progress) {
    // A bin with a large share of all pairs would leave the other threads idle at the end:
    // its rows are split over them instead, one bin at a time. Each bin's seeds depend on the
    // bin alone, so the split never changes the tables.
    constexpr std::uint64_t kLargeShare = 32;
    constexpr std::size_t kMinLargeBin = 64;
    std::uint64_t total_pairs = 0;
    for (const GenesBin& bin : bins) total_pairs += numPairs(bin.size());
    std::vector<std::size_t> large;
    std::vector<std::size_t> small;
    for (std::size_t b = 0; b < bins.size(); ++b) {
        const bool is_large = numPairs(bins[b].size()) * kLargeShare > total_pairs && bins[b].size() >= kMinLargeBin;
        (is_large ? large : small).push_back(b);
    }

    // Progress in thousandths of a bin, so that a large bin moves the line as its rows go.
    constexpr std::uint64_t kSteps = 1000;
    const std::uint64_t total_steps = bins.size() * kSteps;
    std::vector<SeedList> slots(bins.size());
    std::uint64_t finished = 0;
    SeedsCreator creator(min_seed_size, min_concordance, parameters);
    struct WithinBin : ProgressSink {
        ProgressSink& outer;
        std::uint64_t before;
        std::uint64_t total;
        WithinBin(ProgressSink& outer_sink, std::uint64_t steps_before, std::uint64_t total_steps)
            : outer(outer_sink), before(steps_before), total(total_steps) {}
        void update(std::uint64_t done, std::uint64_t of) override { outer.update(before + done * kSteps / of, total); }
    };
    for (const std::size_t b : large) {
        WithinBin within(progress, finished * kSteps, total_steps);
        slots[b] = creator.createSeeds(bins[b], &within);
        progress.update(++finished * kSteps, total_steps);
    }
    const std::uint64_t finished_large = finished;
    std::vector<SeedList> small_slots = computeInParallelSlots<SeedList>(
        small.size(), [&] { return SeedsCreator(min_seed_size, min_concordance, parameters); },
        [&](SeedsCreator& worker, std::size_t k) { return worker.createSeeds(bins[small[k]]); },
        [&](std::uint64_t done, std::uint64_t) { progress.update((finished_large + done) * kSteps, total_steps); });
    for (std::size_t k = 0; k < small.size(); ++k) slots[small[k]] = std::move(small_slots[k]);

    std::size_t num_seeds = 0;
    for (const SeedList& slot : slots) num_seeds += slot.size();
    SeedList seeds;
    seeds.reserve(num_seeds);
    for (SeedList& slot : slots) {
        for (std::unique_ptr<Seed>& seed : slot) seeds.push_back(std::move(seed));
    }
    return seeds;
}

}  // namespace varnosk
