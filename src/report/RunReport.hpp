#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "abundance/AbundanceTables.hpp"
#include "abundance/MspAbundance.hpp"
#include "abundance/MspSummary.hpp"
#include "config/Settings.hpp"
#include "config/SettingsTable.hpp"
#include "msp/Msp.hpp"
#include "output/OutputDirectory.hpp"
#include "taxonomy/MspTaxonomy.hpp"

namespace varnosk {

// What report.html shows of one run. Borrows everything; the referenced lists must outlive
// the call to writeReport. `msps`, `summaries` and the rows of `relative_abundance` are in
// table order (msp_1 first); `summaries` and `relative_abundance` may be empty when there
// is no MSP.
struct ReportInput {
    const Settings& settings;
    std::uint64_t num_genes = 0;           // read from the matrix (a profile run: core genes found)
    std::uint64_t num_filtered_genes = 0;  // left out as too rare
    const std::vector<std::string>& sample_names;
    std::vector<std::pair<std::string, double>> stage_seconds;  // steady-clock, in the order they ran
    std::uint64_t num_bins = 0;
    std::uint64_t num_seeds = 0;
    std::uint64_t num_merged_seeds = 0;
    std::uint64_t num_core_seeds = 0;
    const std::vector<MspSummaryRow>& msps;  // names, gene counts and summary, in MSP order
    const AbundanceTable& relative_abundance;
    const std::vector<MspLineage>& lineages;  // one per MSP, or none without [taxonomy]
    unsigned command = kClusterCommand;       // a profile run has no clustering stages to count
};

// Limits that keep the file small for large runs: the heatmap averages consecutive MSPs
// (rows) and consecutive samples in table order (columns) into at most this many.
inline constexpr std::size_t kMaxHeatmapRows = 250;
inline constexpr std::size_t kMaxHeatmapColumns = 100;

// Writes the run's self-contained HTML report (file_name inside output_dir): inline CSS,
// SVG charts and one small script, nothing fetched. Every input name is escaped. Throws
// the OutputFile error when the file cannot be written.
void writeReport(const ReportInput& input, const OutputDirectory& output_dir, const std::string& file_name);

}  // namespace varnosk
