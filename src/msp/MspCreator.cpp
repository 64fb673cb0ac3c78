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
#include "msp/GeneClassifier.hpp"
#include "msp/RedundantMsps.hpp"

namespace varnosk {

namespace {

// Genes per task: their counts (some 200 KB at 200 samples) stay in cache while every
// representative meets them, and a task still outweighs its scheduling.
constexpr std::size_t kGenesPerBlock = 256;

}  // namespace

MspList MspCreator::createMsps(const SeedRefs& core_seeds, const GeneList& genes,
                               const ComparisonParameters& parameters, ProgressSink& progress) const {
    GeneList representatives;
    representatives.reserve(core_seeds.size());
    for (const Seed* seed : core_seeds) representatives.push_back(&seed->representative);
    return buildMsps(classifyGenes(representatives, genes, 0, genes.size(), parameters, progress), genes, parameters);
}

TakenGenes MspCreator::classifyGenes(const GeneList& representatives, const GeneList& all_genes, std::size_t first,
                                     std::size_t last, const ComparisonParameters& parameters,
                                     ProgressSink& progress) const {
    if (all_genes.size() > UINT32_MAX) throw std::length_error("error: too many genes for MSP creation.");
    const GeneList genes(all_genes.begin() + static_cast<std::ptrdiff_t>(first),
                         all_genes.begin() + static_cast<std::ptrdiff_t>(last));
    // Too few co-detected samples fail every comparison: rejected on the bitsets alone.
    SampleBitsets gene_bits;
    gene_bits.build(genes, parameters, false);
    SampleBitsets representative_bits;
    representative_bits.build(representatives, parameters, false);

    // Each task takes a block of genes small enough to stay in cache while every
    // representative meets it, and lists the genes taken by core seed, then gene order.
    struct Found {
        std::uint32_t seed;
        TakenGene gene;
    };
    const std::size_t num_seeds = representatives.size();
    const std::size_t num_blocks = (genes.size() + kGenesPerBlock - 1) / kGenesPerBlock;
    std::vector<std::vector<Found>> taken = computeInParallelSlots<std::vector<Found>>(
        num_blocks, [&] { return GeneClassifier(parameters, min_concordance, min_robust_concordance); },
        [&](GeneClassifier& classifier, std::size_t block) {
            const std::size_t begin = block * kGenesPerBlock;
            const std::size_t end = std::min(genes.size(), begin + kGenesPerBlock);
            std::vector<Found> found;
            for (std::size_t s = 0; s < num_seeds; ++s) {
                const Gene& representative = *representatives[s];
                for (std::size_t g = begin; g < end; ++g) {
                    if (representative_bits.rejectsCodetection(s, gene_bits, g)) continue;
                    const GeneCategory category = classifier.classify(representative, *genes[g]);
                    if (category != GeneCategory::NotTaken) {
                        const auto position = static_cast<std::uint32_t>(first + g);
                        found.push_back({static_cast<std::uint32_t>(s), {position, category}});
                    }
                }
            }
            return found;
        },
        [&](std::uint64_t finished, std::uint64_t total) { progress.update(finished, total); });

    // Per core seed, its run of every block in block order.
    TakenGenes per_seed(num_seeds);
    std::vector<std::size_t> next(num_blocks, 0);
    for (std::size_t s = 0; s < num_seeds; ++s) {
        for (std::size_t block = 0; block < num_blocks; ++block) {
            const std::vector<Found>& found = taken[block];
            std::size_t& i = next[block];
            for (; i < found.size() && found[i].seed == s; ++i) per_seed[s].push_back(found[i].gene);
        }
    }
    return per_seed;
}

MspList MspCreator::buildMsps(TakenGenes taken, const GeneList& genes, const ComparisonParameters& parameters) const {
    // Each core seed's genes, then its core. Without a core there is no profile to stand for
    // the species, and no MSP.
    MspList slots = computeInParallelSlots<std::unique_ptr<Msp>>(
        taken.size(), [&] { return GenesComparator(parameters); },
        [&](GenesComparator& comparator, std::size_t s) -> std::unique_ptr<Msp> {
            GeneList core_candidates;
            auto msp = std::make_unique<Msp>();
            for (const TakenGene& gene : taken[s]) {
                const Gene* g = genes[gene.position];
                switch (gene.category) {
                    case GeneCategory::NotTaken: break;
                    case GeneCategory::CoreCandidate: core_candidates.push_back(g); break;
                    case GeneCategory::Accessory: msp->accessory_genes.push_back(g); break;
                    case GeneCategory::SharedCore: msp->shared_core_genes.push_back(g); break;
                    case GeneCategory::SharedAccessory: msp->shared_accessory_genes.push_back(g); break;
                }
            }
            std::vector<TakenGene>().swap(taken[s]);
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

}  // namespace varnosk
