#include "seeds/SeedsCreator.hpp"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>

#include "app/ProgressLine.hpp"
#include "compare/RepresentativeGenes.hpp"
#include "seeds/PairGraph.hpp"

namespace varnosk {

// Pairs can number hundreds of millions in a large bin: no padding beyond what they hold.
static_assert(sizeof(GenesPair) == 12);

SeedsCreator::SeedsCreator(std::uint64_t min_seed_size, double min_concordance)
    : min_concordance_(min_concordance), min_seed_size_(min_seed_size) {}

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
        if (auto seed = selectRepresentativeGenes(members)) preliminary.push_back(std::move(seed));
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
            if (auto seed = selectRepresentativeGenes(recruited)) seeds.push_back(std::move(seed));
        }
    }
    return seeds;
}

SeedList createAllSeeds(const GenesBinList& bins, std::uint64_t min_seed_size, double min_concordance,
                        std::ostream& progress_out) {
    const std::size_t num_bins = bins.size();
    std::vector<SeedList> slots(num_bins);
    std::uint64_t num_seeds = 0;
    std::uint64_t finished_bins = 0;
    // An exception must not leave a parallel region: keep the first and rethrow it after.
    std::exception_ptr failure;
    std::atomic<bool> failed{false};

#pragma omp parallel
    {
        // Built before the loop, also by a thread that will get no bin.
        SeedsCreator creator(min_seed_size, min_concordance);
#pragma omp for schedule(dynamic, 1)
        for (std::size_t b = 0; b < num_bins; ++b) {
            if (failed.load(std::memory_order_relaxed)) continue;
            try {
                slots[b] = creator.createSeeds(bins[b]);
            } catch (...) {
#pragma omp critical
                {
                    if (!failure) failure = std::current_exception();
                }
                failed.store(true, std::memory_order_relaxed);
                continue;
            }
#pragma omp critical
            {
                num_seeds += slots[b].size();
                ++finished_bins;
                progress::update(progress_out, finished_bins, num_bins);
            }
        }
    }
    if (failure) std::rethrow_exception(failure);

    SeedList seeds;
    seeds.reserve(num_seeds);
    for (SeedList& slot : slots) {
        for (std::unique_ptr<Seed>& seed : slot) seeds.push_back(std::move(seed));
    }
    return seeds;
}

}  // namespace varnosk
