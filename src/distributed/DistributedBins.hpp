#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bins/GenesBin.hpp"
#include "bins/GenesBinsCreator.hpp"
#include "compare/ComparisonParameters.hpp"
#include "distributed/Cluster.hpp"
#include "matrix/CountMatrix.hpp"
#include "output/OutputDirectory.hpp"

namespace varnosk {

// Bins over the genes of every rank, and which rank owns each: after moveGenesToBinOwners
// a rank holds the genes of its own bins (and of every shared bin).
// Each function is a collective call with the result of the single-process stage (bit for
// bit), and that stage itself when the cluster has one rank. Failures on any rank end the
// call on every rank with the single-process message.

// The bins of every rank's genes together: every rank gets the whole list, in the order
// that the bins' sizes over all ranks give, each bin holding that rank's genes of it.
// `sizes` gets those sizes.
GenesBinList createGenesBinsOnRanks(Cluster& cluster, const GenesBinsCreator& creator, const GeneList& genes,
                                    const std::vector<double>& sample_divisors, std::vector<std::uint64_t>& sizes);

// The bins table, written by the root from every rank's genes of each bin.
void printGenesBinsOnRanks(Cluster& cluster, const GenesBinList& bins, const OutputDirectory& output_dir,
                           const std::string& file_name);

// Which rank makes the seeds of each bin. Bins come largest first, each to the rank with the
// fewest pairs so far. A bin with more pairs than one rank's share is shared: every rank
// holds it and compares the pairs of some of its rows.
struct BinPlacement {
    static constexpr int kShared = -1;
    std::vector<int> owner;  // per bin, a rank or kShared
};
BinPlacement placeBins(const std::vector<std::uint64_t>& sizes, int num_ranks, std::uint64_t min_seed_size,
                       const ComparisonParameters& parameters);

// Sends every gene to the owner of its bin (a shared bin's to every rank). Afterwards `genes`
// holds this rank's genes, in file order, and `bins` lists them.
void moveGenesToBinOwners(Cluster& cluster, CountMatrix& genes, GenesBinList& bins, const BinPlacement& placement,
                          float detection_threshold);

// The genes that this rank classifies in MSP creation: those of its bins and its slice of
// each shared bin, so that every gene has one rank; a single process, `all_genes`.
GeneList genesToClassifyOnRank(const Cluster& cluster, const GenesBinList& bins, const BinPlacement& placement,
                               GeneList all_genes);

}  // namespace varnosk
