#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "common/ProgressSink.hpp"
#include "compare/GenesComparator.hpp"
#include "msp/GeneCategory.hpp"
#include "msp/Msp.hpp"
#include "seeds/Seed.hpp"

namespace varnosk {

// A gene a core seed takes, by its position in the gene list.
struct TakenGene {
    std::uint32_t position;
    GeneCategory category;
};
// Per core seed, the genes it takes in gene order.
using TakenGenes = std::vector<std::vector<TakenGene>>;

// Builds one MSP per core seed, removes redundant MSPs and orders them by size.
struct MspCreator {
    double min_concordance = 0.0;
    double min_robust_concordance = 0.0;

    // Parallel over blocks of genes, each met by every core seed, one classifier per thread,
    // then over core seeds for their cores; reports the share of the blocks done.
    MspList createMsps(const SeedRefs& core_seeds, const GeneList& genes, const ComparisonParameters& parameters,
                       ProgressSink& progress) const;

    // The two steps of createMsps. First, the genes at positions [begin, end) of `genes`
    // classified against every representative (core seed order), parallel over blocks of
    // genes; the lists of consecutive ranges, concatenated per core seed, are those of the
    // whole range. Then the MSPs from the lists of all genes.
    TakenGenes classifyGenes(const GeneList& representatives, const GeneList& genes, std::size_t begin, std::size_t end,
                             const ComparisonParameters& parameters, ProgressSink& progress) const;
    MspList buildMsps(TakenGenes taken, const GeneList& genes, const ComparisonParameters& parameters) const;
};

}  // namespace varnosk
