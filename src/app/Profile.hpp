#pragma once

#include "app/StageReporter.hpp"
#include "config/Settings.hpp"
#include "output/OutputDirectory.hpp"

namespace varnosk {

// The stages of a profile run: the samples of a count matrix measured against an existing MSP
// set (settings.msps_file), without clustering. Genes are matched by name; each MSP's
// abundance comes from the first core genes, in the set's order, that the matrix holds, by
// the rule of a clustering run, so a run's own matrix and all_msps.tsv give back its
// abundance tables. Writes msp_abundance.tsv, msp_relative_abundance.tsv, msp_summary.tsv
// (core genes found added; cohesion with the comparison settings, NA without them),
// msp_taxonomy.tsv with [taxonomy], and report.html; only the MSP set's core genes are held
// in memory.
void runProfile(StageReporter& stage, const Settings& settings, const OutputDirectory& output_dir);

}  // namespace varnosk
