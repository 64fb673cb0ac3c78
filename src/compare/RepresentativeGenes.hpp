#pragma once

#include <cstdint>
#include <memory>

#include "matrix/Gene.hpp"
#include "seeds/Seed.hpp"

namespace varnosk {

// N, the number of best-ranked genes behind a representative: max(10, value).
void setNumBestRepresentativeGenes(std::uint64_t num_best_representative_genes);
std::uint64_t numBestRepresentativeGenes();

// Per-sample median of the genes' counts (id 0, name "None", detected samples computed).
// `genes` must not be empty.
Gene computeMedianGene(const GeneList& genes);

// The genes reordered by decreasing concordance with `reference` (reference as gene1);
// invalid comparisons score 0, not-a-number scores go last; ties keep list order.
GeneList rankGenesByConcordance(const GeneList& genes, const Gene& reference);

// Ranks a group and summarises it into a seed. Returns nullptr for an empty list.
// Thread-safe: each call uses comparators of its own.
std::unique_ptr<Seed> selectRepresentativeGenes(const GeneList& genes);

}  // namespace varnosk
