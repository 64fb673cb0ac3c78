#include "seeds/SeedsCreator.hpp"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "common/ParallelSlots.hpp"
#include "compare/RepresentativeGenes.hpp"

namespace varnosk {

// Pairs can number hundreds of millions in a large bin: no padding beyond what they hold.
static_assert(sizeof(GenesPair) == 12);

SeedsCreator::SeedsCreator(std::uint64_t min_seed_size, double min_concordance,
                           const ComparisonParameters& parameters)
    : min_concordance_(min_concordance), min_seed_size_(min_seed_size), comparator_(parameters) {}

SeedList SeedsCreator::createSeeds(const GenesBin& bin) {
    SeedList seeds;
    const std::size_t n = bin.size();
    // Neither a group nor a recruitment can reach min_seed_size: spare the n^2/2 comparisons.
    if (n == 0 || n < min_seed_size_) return seeds;
    if (n > UINT32_MAX) {
        throw std::runtime_error("error: a genes bin of " + std::to_string(n) + " genes is too large.");
    }

    // Pair step. The buffer keeps its capacity from bin to bin and grows only with the pairs
    // found. A NaN concordance is not below the minimum, so its pair is kept.
    pairs_.clear();
    for (std::size_t i = 0; i < n; ++i) {
        const Gene& gene1 = *bin[i];
        for (std::size_t j = i + 1; j < n; ++j) {
            const ComparisonResult& result = comparator_.compare(gene1, *bin[j], 0);
            if (result.valid && !(result.concordance < min_concordance_)) {
                pairs_.push_back({static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(j),
                                  static_cast<float>(result.concordance)});
            }
        }
    }

    // Extraction step: preliminary seeds from the pair graph, largest first (stable).
    sortPairsStrongestFirst(pairs_);
    const std::vector<std::vector<std::uint32_t>> groups = extractGroups(pairs_, n, min_seed_size_);
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
    seeds.reserve(preliminary.size());
    GeneList recruited;
    for (std::unique_ptr<Seed>& candidate : preliminary) {
        recruited.clear();
        for (const Gene* gene : bin) {
            const ComparisonResult& result = comparator_.compare(candidate->representative, *gene, 0);
            if (isCoAbundant(result, min_concordance_)) recruited.push_back(gene);
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
    std::vector<SeedList> slots = computeInParallelSlots<SeedList>(
        bins.size(), [&] { return SeedsCreator(min_seed_size, min_concordance, parameters); },
        [&](SeedsCreator& creator, std::size_t b) { return creator.createSeeds(bins[b]); },
        [&](std::uint64_t finished, std::uint64_t total) { progress.update(finished, total); });

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
