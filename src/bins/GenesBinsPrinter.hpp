#pragma once

#include <string>

#include "bins/GenesBin.hpp"
#include "output/OutputDirectory.hpp"

namespace varnosk {

// Writes gene_id, gene_name, bin_id (position + 1) for every gene of every bin.
void printGenesBins(const GenesBinList& bins, const OutputDirectory& output_dir, const std::string& file_name);

}  // namespace varnosk
