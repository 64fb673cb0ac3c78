#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/Settings.hpp"
#include "output/OutputDirectory.hpp"
#include "taxonomy/GeneLineages.hpp"

namespace varnosk {

// The lineage an MSP's annotated core genes agree on.
struct MspLineage {
    std::string lineage;     // the agreed ranks joined by ';'; empty when not even the first agrees
    std::string rank;        // the deepest agreed rank's word ("genus"), or empty
    double agreement = 0.0;  // share of the annotated core genes with that lineage
    std::uint64_t annotated_core_genes = 0;
};

// Walks the ranks from the first: at each, the lineages of the annotated core genes cut to
// that depth are counted; the most common is taken when its share of the annotated genes
// reaches `min_agreement` and no other lineage has the same count (a tie stops at the rank
// above). A rank written without a name ("s__") counts as no name at that rank.
MspLineage consensusLineage(const std::vector<std::string_view>& core_genes, const GeneLineages& lineages,
                            double min_agreement);

// The consensus lineage of each MSP (its core genes' names, in order) from the annotation
// table at `lineages_file`, of which only the core genes' lines are kept.
std::vector<MspLineage> mspLineages(const std::vector<std::vector<std::string_view>>& core_genes,
                                    const std::string& lineages_file, double min_agreement);

// The lineages of mspLineages under the [taxonomy] settings, written by printMspTaxonomy;
// returns them for the report.
std::vector<MspLineage> writeMspTaxonomy(const std::vector<std::vector<std::string_view>>& core_genes,
                                         const std::vector<std::string>& msp_names, const Settings& settings,
                                         const OutputDirectory& output_dir, const std::string& file_name);

// Writes msp_taxonomy.tsv: msp_name, lineage, rank, agreement, annotated_core_genes; "NA" for
// the lineage, rank and agreement of an MSP whose genes agree on no rank.
void printMspTaxonomy(const std::vector<std::string>& msp_names, const std::vector<MspLineage>& lineages,
                      const OutputDirectory& output_dir, const std::string& file_name);

}  // namespace varnosk
