#include "seeds/SeedsMerger.hpp"

#include <algorithm>
#include <memory>
#include <utility>

#include "common/GreedyPass.hpp"
#include "compare/GenesComparator.hpp"
#include "compare/RepresentativeGenes.hpp"

namespace varnosk {
namespace {

// The member genes of `seed` and its partners, each gene once, ordered by gene id (file
// order). Ordering by id rather than by address keeps the merged seed, and so every later
// result, the same from one run to the next.
GeneList unionOfGenes(const Seed& seed, const SeedList& partners) {
    std::size_t total = seed.genes.size();
    for (const auto& partner : partners) total += partner->genes.size();
    GeneList genes;
    genes.reserve(total);
    genes.insert(genes.end(), seed.genes.begin(), seed.genes.end());
    for (const auto& partner : partners) genes.insert(genes.end(), partner->genes.begin(), partner->genes.end());
    std::stable_sort(genes.begin(), genes.end(), [](const Gene* a, const Gene* b) { return a->id < b->id; });
    genes.erase(std::unique(genes.begin(), genes.end(), [](const Gene* a, const Gene* b) { return a->id == b->id; }),
                genes.end());
    return genes;
}

}  // namespace

void SeedsMerger::mergeSeeds(SeedList& seeds, const ComparisonParameters& parameters, ProgressSink& progress) const {
    // Smallest first, so the largest seed sits at the end; equal sizes keep creation order
    // and the later one is examined first.
    std::stable_sort(seeds.begin(), seeds.end(),
                     [](const auto& a, const auto& b) { return a->genes.size() < b->genes.size(); });

    GenesComparator comparator(parameters);

    const std::uint64_t total = seeds.size();
    SeedList kept;
    const auto is_partner = [&](const std::unique_ptr<Seed>& seed, const std::unique_ptr<Seed>& other) {
        // A not-a-number concordance fails the comparison and makes no partner.
        return isCoAbundant(comparator.compare(seed->representative, other->representative, 0), min_concordance);
    };
    const auto on_taken = [&](std::unique_ptr<Seed> seed, SeedList& partners) {
        if (partners.empty()) {
            if (seed->genes.size() >= min_seed_size) kept.push_back(std::move(seed));
        } else {
            // The merged seed goes back at the end of the list, so it is taken next and
            // meets every remaining seed again; its size is judged only once it stands alone.
            // (A union is empty only if every seed involved had no gene; then nothing is left.)
            if (auto merged = selectRepresentativeGenes(unionOfGenes(*seed, partners), comparator)) {
                seeds.push_back(std::make_unique<Seed>(std::move(*merged)));
            }
        }
        progress.update(total - seeds.size(), total);
    };
    greedyPass(seeds, is_partner, on_taken);

    seeds = std::move(kept);
}

}  // namespace varnosk
