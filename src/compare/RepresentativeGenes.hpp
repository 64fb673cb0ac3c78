#pragma once

#include <optional>

#include "compare/GenesComparator.hpp"
#include "matrix/Gene.hpp"

namespace varnosk {

// A group of co-abundant genes and the profile that stands for it in later comparisons.
// The member genes belong to the count matrix; the representative belongs to the group.
struct GeneGroup {
    GeneList genes;       // ranked by concordance with the representative
    Gene representative;  // median profile (id 0, "None"); a copy of the first member below 10 genes
};

// Per-sample median of the genes' counts (id 0, name "None"), its samples at or above
// `detection_threshold` detected. `genes` must not be empty.
Gene computeMedianGene(const GeneList& genes, float detection_threshold);

// The genes reordered by decreasing concordance with `reference` (reference as gene1);
// invalid comparisons score 0, not-a-number scores go last; ties keep list order.
GeneList rankGenesByConcordance(const GeneList& genes, const Gene& reference, GenesComparator& comparator);

// The profile that stands for genes already ranked best first: the first gene below 10
// genes, otherwise the median profile of the best-ranked ones (num_best_representative_genes).
// `ranked` must not be empty.
Gene representativeOfRanked(const GeneList& ranked, const ComparisonParameters& parameters);

// Ranks a group and summarises it by the median profile of its best-ranked genes (the
// comparator's num_best_representative_genes). Nothing for an empty list.
std::optional<GeneGroup> selectRepresentativeGenes(const GeneList& genes, GenesComparator& comparator);

}  // namespace varnosk
