#include "seeds/CoreSeedsExtractor.hpp"

#include <algorithm>

#include "common/GreedyPass.hpp"
#include "compare/GenesComparator.hpp"

namespace varnosk {

bool isNestedCoAbundant(const ComparisonResult& result, double min_concordance, double min_robust_concordance) {
    if (!result.valid) return false;
    if (!meetsConcordanceThresholds(result, min_concordance, min_robust_concordance)) return false;
    // Each profile present in samples where the other is absent: two distinct species.
    if (result.num_gene1_only_samples != 0 && result.num_gene2_only_samples != 0) return false;
    return result.cooccurrence_pvalue < kMaxCooccurrencePValue;
}

SeedRefs CoreSeedsExtractor::extractCoreSeeds(SeedRefs seeds, const ComparisonParameters& parameters,
                                              ProgressSink& progress) const {
    // Smallest first, so the largest seed sits at the end; equal sizes keep merging order.
    std::stable_sort(seeds.begin(), seeds.end(),
                     [](const Seed* a, const Seed* b) { return a->genes.size() < b->genes.size(); });

    GenesComparator comparator(parameters);

    const std::uint64_t total = seeds.size();
    SeedRefs core_seeds;
    const auto is_discarded = [&](const Seed* core_seed, const Seed* other) {
        return isNestedCoAbundant(comparator.compareFull(core_seed->representative, other->representative),
                                  min_concordance, min_robust_concordance);
    };
    const auto on_taken = [&](const Seed* core_seed, SeedRefs& /*discarded*/) {
        core_seeds.push_back(core_seed);
        progress.update(total - seeds.size(), total);
    };
    greedyPass(seeds, is_discarded, on_taken);
    return core_seeds;
}

}  // namespace varnosk
