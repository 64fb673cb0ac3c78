#pragma once

#include <cstdint>
#include <string>

#include "matrix/CountMatrix.hpp"
#include "output/OutputDirectory.hpp"

namespace varnosk {

// Removes (and releases) the genes detected in fewer than min_prevalence samples, keeping
// the order of the others, and lists the removed ones (gene_id, gene_name) in file_name
// inside output_dir. Throws the OutputFile error when the table cannot be written.
void filterRareGenes(CountMatrix& genes, std::uint64_t min_prevalence, const OutputDirectory& output_dir,
                     const std::string& file_name);

// The two halves of filterRareGenes: the removal, which returns the removed genes in order,
// and the table of them (where a run of several processes writes it on one only).
CountMatrix removeRareGenes(CountMatrix& genes, std::uint64_t min_prevalence);
void printFilteredOutGenes(const CountMatrix& removed, const OutputDirectory& output_dir, const std::string& file_name);

}  // namespace varnosk
