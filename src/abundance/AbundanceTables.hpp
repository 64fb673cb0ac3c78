#pragma once

#include <string>
#include <vector>

#include "abundance/MspAbundance.hpp"
#include "abundance/MspSummary.hpp"
#include "output/OutputDirectory.hpp"

namespace varnosk {

// Writes an abundance table (file_name inside output_dir): "msp_name", then one column per
// sample named by `sample_names`; one row per MSP, named as in all_msps.tsv. Values in the
// shortest form that reads back exactly. Throws the OutputFile error when it cannot be
// written.
void printAbundance(const AbundanceTable& abundance, const std::vector<std::string>& sample_names,
                    const OutputDirectory& output_dir, const std::string& file_name);

// Writes msp_summary.tsv's columns: msp_name, core, accessory, shared_core,
// shared_accessory (gene counts), first_core_gene, detected_samples, mean_abundance ("NA"
// when the MSP is detected nowhere) and cohesion.
void printMspSummary(const MspList& msps, const std::vector<MspSummary>& summaries, const OutputDirectory& output_dir,
                     const std::string& file_name);

}  // namespace varnosk
