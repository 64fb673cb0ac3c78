#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "abundance/MspAbundance.hpp"
#include "abundance/MspSummary.hpp"
#include "output/OutputDirectory.hpp"

namespace varnosk {

// The names of `count` MSPs as all_msps.tsv writes them: msp_1 .. msp_9, msp_01 .., ...
std::vector<std::string> generatedMspNames(std::size_t count);

// Writes an abundance table (file_name inside output_dir): "msp_name", then one column per
// sample named by `sample_names`; one row per MSP, named by `msp_names`. Values in the
// shortest form that reads back exactly. Throws the OutputFile error when it cannot be
// written.
void printAbundance(const AbundanceTable& abundance, const std::vector<std::string>& msp_names,
                    const std::vector<std::string>& sample_names, const OutputDirectory& output_dir,
                    const std::string& file_name);

// One row of msp_summary.tsv.
struct MspSummaryRow {
    std::string msp_name;
    std::array<std::uint64_t, 4> genes{};  // core, accessory, shared_core, shared_accessory
    std::string first_core_gene;
    MspSummary summary;
    std::optional<std::uint64_t> core_genes_found;  // profile runs: core genes the matrix holds
};

// The rows of a clustering run's MSPs, named as all_msps.tsv names them.
std::vector<MspSummaryRow> summaryRows(const MspList& msps, const std::vector<MspSummary>& summaries);

// Writes msp_summary.tsv's columns: msp_name, core, accessory, shared_core,
// shared_accessory (gene counts), first_core_gene, detected_samples, mean_abundance ("NA"
// when the MSP is detected nowhere) and cohesion ("NA" when not computed), then
// core_genes_found when the rows have it.
void printMspSummary(const std::vector<MspSummaryRow>& rows, const OutputDirectory& output_dir,
                     const std::string& file_name);

}  // namespace varnosk
