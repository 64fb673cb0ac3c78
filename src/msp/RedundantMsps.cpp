#include "msp/RedundantMsps.hpp"

#include <algorithm>
#include <memory>
#include <utility>

#include "common/GreedyPass.hpp"
#include "compare/GenesComparator.hpp"

namespace varnosk {

MspList removeRedundantMsps(MspList msps, double min_concordance, const ComparisonParameters& parameters) {
    // Largest core first, so the smallest core sits at the end; equal core sizes keep core
    // seed order and the later one is examined (and kept) first.
    std::stable_sort(msps.begin(), msps.end(),
                     [](const auto& a, const auto& b) { return a->core_genes.size() > b->core_genes.size(); });

    GenesComparator comparator(parameters);
    MspList kept;
    const auto is_redundant = [&](const std::unique_ptr<Msp>& msp, const std::unique_ptr<Msp>& other) {
        return isCoAbundant(comparator.compare(msp->representative, other->representative, 0), min_concordance);
    };
    const auto on_taken = [&](std::unique_ptr<Msp> msp, MspList& /*redundant*/) { kept.push_back(std::move(msp)); };
    greedyPass(msps, is_redundant, on_taken);

    std::stable_sort(kept.begin(), kept.end(),
                     [](const auto& a, const auto& b) { return a->num_genes > b->num_genes; });
    return kept;
}

}  // namespace varnosk
