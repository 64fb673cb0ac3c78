#include "msp/MspCreator.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "common/ParallelSlots.hpp"
#include "compare/GenesComparator.hpp"
#include "compare/RepresentativeGenes.hpp"
#include "compare/SampleBitsets.hpp"
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

namespace {

// A gene a core seed takes, by its position in the gene list.
struct TakenGene {
    std::uint32_t position;
    GeneCategory category;
};

// Genes per task: enough to outweigh scheduling, few enough to balance the threads.
constexpr std::size_t kGenesPerBlock = 4096;

}  // namespace

MspList MspCreator::createMsps(const SeedRefs& core_seeds, const GeneList& genes,
                               const ComparisonParameters& parameters, ProgressSink& progress) const {
    if (genes.size() > UINT32_MAX) throw std::length_error("error: too many genes for MSP creation.");
    // Too few co-detected samples fail every comparison: rejected on the bitsets alone.
    SampleBitsets gene_bits;
    gene_bits.build(genes, parameters, false);
    GeneList representatives;
    representatives.reserve(core_seeds.size());
    for (const Seed* seed : core_seeds) representatives.push_back(&seed->representative);
    SampleBitsets representative_bits;
    representative_bits.build(representatives, parameters, false);

    // Step one: every (core seed, block of genes) task lists the genes taken, in gene order.
    const std::size_t num_blocks = (genes.size() + kGenesPerBlock - 1) / kGenesPerBlock;
    std::vector<std::vector<TakenGene>> taken = computeInParallelSlots<std::vector<TakenGene>>(
        core_seeds.size() * num_blocks, [&] { return GenesComparator(parameters); },
        [&](GenesComparator& comparator, std::size_t task) {
            const std::size_t s = task / num_blocks;
            const std::size_t begin = (task % num_blocks) * kGenesPerBlock;
            const std::size_t end = std::min(genes.size(), begin + kGenesPerBlock);
            const Gene& representative = core_seeds[s]->representative;
            std::vector<TakenGene> found;
            for (std::size_t g = begin; g < end; ++g) {
                if (representative_bits.rejectsCodetection(s, gene_bits, g)) continue;
                const ComparisonResult& result = comparator.compareFullWithoutPValues(representative, *genes[g]);
                // Most genes fail the concordance thresholds, and those without exclusive
                // samples are core candidates: only the rest are decided by the p-values.
                if (needsPValues(result, min_concordance, min_robust_concordance)) comparator.addPValues();
                const GeneCategory category = classifyGene(result, min_concordance, min_robust_concordance);
                if (category != GeneCategory::NotTaken) found.push_back({static_cast<std::uint32_t>(g), category});
            }
            return found;
        },
        [&](std::uint64_t finished, std::uint64_t total) { progress.update(finished, total); });

    // Step two: each core seed's lists from its blocks in order, then its core. Without a core
    // there is no profile to stand for the species, and no MSP.
    MspList slots = computeInParallelSlots<std::unique_ptr<Msp>>(
        core_seeds.size(), [&] { return GenesComparator(parameters); },
        [&](GenesComparator& comparator, std::size_t s) -> std::unique_ptr<Msp> {
            GeneList core_candidates;
            auto msp = std::make_unique<Msp>();
            for (std::size_t block = 0; block < num_blocks; ++block) {
                for (const TakenGene& gene : taken[s * num_blocks + block]) {
                    const Gene* g = genes[gene.position];
                    switch (gene.category) {
                        case GeneCategory::NotTaken: break;
                        case GeneCategory::CoreCandidate: core_candidates.push_back(g); break;
                        case GeneCategory::Accessory: msp->accessory_genes.push_back(g); break;
                        case GeneCategory::SharedCore: msp->shared_core_genes.push_back(g); break;
                        case GeneCategory::SharedAccessory: msp->shared_accessory_genes.push_back(g); break;
                    }
                }
                std::vector<TakenGene>().swap(taken[s * num_blocks + block]);
            }
            if (core_candidates.empty()) return nullptr;
            std::optional<GeneGroup> core = selectRepresentativeGenes(core_candidates, comparator);
            msp->representative = std::move(core->representative);
            msp->core_genes = std::move(core->genes);
            msp->num_genes = msp->core_genes.size() + msp->accessory_genes.size() + msp->shared_core_genes.size() +
                             msp->shared_accessory_genes.size();
            return msp;
        },
        [](std::uint64_t, std::uint64_t) {});

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
