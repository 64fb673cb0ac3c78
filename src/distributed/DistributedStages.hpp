#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bins/GenesBin.hpp"
#include "bins/GenesBinsCreator.hpp"
#include "common/ProgressSink.hpp"
#include "compare/ComparisonParameters.hpp"
#include "distributed/Cluster.hpp"
#include "distributed/GeneMessages.hpp"
#include "matrix/CountMatrix.hpp"
#include "matrix/CountMatrixReader.hpp"
#include "msp/MspCreator.hpp"
#include "output/OutputDirectory.hpp"
#include "seeds/Seed.hpp"

namespace varnosk {

// The stages that several ranks share, each a collective call with the result of the
// single-process stage (bit for bit), and that stage itself when the cluster has one rank.
// Failures on any rank end the call on every rank with the single-process message.
//
// The genes are split: each rank holds a part of the matrix (consecutive genes in file
// order) until the bins are made, then the genes of the bins it owns. The root also holds
// what it needs of the others' genes to merge seeds and to build and write the MSPs.

// What every rank knows of the whole matrix.
struct MatrixShape {
    std::uint64_t num_genes = 0;
    std::uint64_t num_samples = 0;
};

// Every rank reads a line-aligned byte range of a plain-text matrix (a compressed one, or a
// pipe, is read by the root alone, which then holds every gene) and returns its genes, ids
// in file order. `facts` (the root's) and `shape` reach every rank.
CountMatrix readCountMatrixOnRanks(Cluster& cluster, const std::string& path, bool has_header,
                                   ProgressSink& progress, MatrixFileFacts& facts, MatrixShape& shape);

// The mapped reads of every rank's genes together: each sample summed in file order, the
// parts one after the other, as one process sums the whole matrix.
std::vector<double> computeMappedReadsOnRanks(Cluster& cluster, const CountMatrix& genes, std::uint64_t num_samples);

// The number of genes of every rank together.
std::uint64_t countGenesOnRanks(Cluster& cluster, std::uint64_t num_genes);

// The table of the genes removed by every rank, in file order, written by the root.
void printFilteredOutGenesOnRanks(Cluster& cluster, const CountMatrix& removed, const OutputDirectory& output_dir,
                                  const std::string& file_name);

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

// Each rank creates the seeds of its bins (the rows of a shared bin are split). The root
// receives every seed, in bin order then creation order, with the profiles of the members it
// lacks (kept in `borrowed`, listed in `known`, which also lists `genes`: the root's own);
// the other ranks return none.
SeedList createSeedsOnRanks(Cluster& cluster, const GenesBinList& bins, const BinPlacement& placement,
                            const GeneList& genes, std::uint64_t min_seed_size, double min_concordance,
                            const ComparisonParameters& parameters, ProgressSink& progress, CountMatrix& borrowed,
                            GenesById& known);

// The genes that this rank classifies in MSP creation: those of its bins and its slice of
// each shared bin, so that every gene has one rank; a single process, `all_genes`.
GeneList genesToClassifyOnRank(const Cluster& cluster, const GenesBinList& bins, const BinPlacement& placement,
                               GeneList all_genes);

// The root's core seeds reach every rank, which classifies `genes` (its share, from
// genesToClassifyOnRank) against them; the root receives the lists and what it lacks of the
// genes taken (the profile of a core candidate, the name of any other; into `borrowed` and
// `known`) and builds the MSPs. Only the root's `core_seeds` are read; the other ranks
// return no MSP.
MspList createMspsOnRanks(Cluster& cluster, const MspCreator& creator, const SeedRefs& core_seeds,
                          const GeneList& genes, const ComparisonParameters& parameters, ProgressSink& progress,
                          CountMatrix& borrowed, GenesById& known);

}  // namespace varnosk
