#include "msp/MspCreator.hpp"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "common/ParallelSlots.hpp"
#include "compare/GenesComparator.hpp"
#include "compare/RepresentativeGenes.hpp"
#include "msp/MspRules.hpp"
#include "seeds/GreedyPass.hpp"

namespace varnosk {
namespace {

bool needsPValues(const ComparisonResult& result, double min_concordance, double min_robust_concordance) {
    return result.valid && meetsConcordanceThresholds(result, min_concordance, min_robust_concordance) &&
           result.num_exclusive_samples > 0;
}

}  // namespace

GeneCategory classifyGene(const ComparisonResult& result, double min_concordance, double min_robust_concordance) {
    if (!result.valid || !meetsConcordanceThresholds(result, min_concordance, min_robust_concordance)) {
        return GeneCategory::NotTaken;
    }
    // Present exactly where the representative is: no significance test needed.
    if (result.num_exclusive_samples == 0) return GeneCategory::CoreCandidate;
    if (!(result.cooccurrence_pvalue < kMaxCooccurrencePValue || result.combined_pvalue < kMaxCombinedPValue)) {
        return GeneCategory::NotTaken;
    }
    if (result.num_gene2_only_samples == 0) return GeneCategory::Accessory;
    if (result.num_gene1_only_samples == 0) return GeneCategory::SharedCore;
    if (result.concordance_pvalue < kMaxConcordancePValue && result.robust_concordance >= min_robust_concordance) {
        return GeneCategory::SharedAccessory;
    }
    return GeneCategory::NotTaken;
}

std::unique_ptr<Msp> MspCreator::createMsp(const Seed& core_seed, const GeneList& genes,
                                           GenesComparator& comparator) const {
    GeneList core_candidates;
    auto msp = std::make_unique<Msp>();
    for (const Gene* gene : genes) {
        const ComparisonResult& result = comparator.compareFullWithoutPValues(core_seed.representative, *gene);
        // Most genes fail the concordance thresholds, and those without exclusive samples are
        // core candidates: only the rest are decided by the p-values.
        if (needsPValues(result, min_concordance, min_robust_concordance)) comparator.addPValues();
        switch (classifyGene(result, min_concordance, min_robust_concordance)) {
            case GeneCategory::NotTaken: break;
            case GeneCategory::CoreCandidate: core_candidates.push_back(gene); break;
            case GeneCategory::Accessory: msp->accessory_genes.push_back(gene); break;
            case GeneCategory::SharedCore: msp->shared_core_genes.push_back(gene); break;
            case GeneCategory::SharedAccessory: msp->shared_accessory_genes.push_back(gene); break;
        }
    }
    // Without a core there is no profile to stand for the species.
    if (core_candidates.empty()) return nullptr;

    std::optional<GeneGroup> core = selectRepresentativeGenes(core_candidates, comparator);
    msp->representative = std::move(core->representative);
    msp->core_genes = std::move(core->genes);
    msp->num_genes = msp->core_genes.size() + msp->accessory_genes.size() + msp->shared_core_genes.size() +
                     msp->shared_accessory_genes.size();
    return msp;
}

MspList MspCreator::createMsps(const SeedRefs& core_seeds, const GeneList& genes,
                               const ComparisonParameters& parameters, ProgressSink& progress) const {
    MspList slots = computeInParallelSlots<std::unique_ptr<Msp>>(
        core_seeds.size(), [&] { return GenesComparator(parameters); },
        [&](GenesComparator& comparator, std::size_t i) { return createMsp(*core_seeds[i], genes, comparator); },
        [&](std::uint64_t finished, std::uint64_t total) { progress.update(finished, total); });

    // Core seeds without a core build no MSP; the others keep core seed order.
    MspList msps;
    msps.reserve(slots.size());
    for (auto& msp : slots) {
        if (msp) msps.push_back(std::move(msp));
    }
    return removeRedundantMsps(std::move(msps), min_concordance, parameters);
}

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
