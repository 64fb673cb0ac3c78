#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "abundance/AbundanceTables.hpp"
#include "abundance/MspAbundance.hpp"
#include "app/StageReporter.hpp"
#include "common/TableNames.hpp"
#include "config/Settings.hpp"
#include "output/OutputDirectory.hpp"
#include "taxonomy/MspTaxonomy.hpp"

namespace varnosk {

// The species tables that a clustering and a profile run both write, each as a stage of its own.

// The two abundance tables and msp_summary.tsv.
void printAbundanceTables(StageReporter& stage, const AbundanceTable& abundance,
                          const AbundanceTable& relative_abundance, const std::vector<std::string>& msp_names,
                          const std::vector<std::string>& sample_names, const std::vector<MspSummaryRow>& rows,
                          const OutputDirectory& output_dir);

// msp_taxonomy.tsv when the settings name a gene lineages file, from the core gene names that
// `core_gene_names()` gives per MSP (asked for only then); the lineages for the report, none
// without the file.
template <typename CoreGeneNames>
std::vector<MspLineage> nameMsps(StageReporter& stage, CoreGeneNames core_gene_names,
                                 const std::vector<std::string>& msp_names, const Settings& settings,
                                 const OutputDirectory& output_dir) {
    if (settings.gene_lineages_file.empty()) return {};
    stage.open("Naming MSPs from their core genes' lineages...", "Naming MSPs");
    const std::vector<std::vector<std::string_view>> core_genes = core_gene_names();
    std::vector<MspLineage> lineages =
        writeMspTaxonomy(core_genes, msp_names, settings, output_dir, file_names::kMspTaxonomy);
    stage.close("Done.\n");
    return lineages;
}

}  // namespace varnosk
