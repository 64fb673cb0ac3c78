#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/ProgressSink.hpp"
#include "distributed/Cluster.hpp"
#include "matrix/CountMatrix.hpp"
#include "matrix/CountMatrixReader.hpp"
#include "output/OutputDirectory.hpp"

namespace varnosk {

// The count matrix held in parts: each rank holds consecutive genes in file order, until the
// bins send them to the ranks that own them.
// Each function is a collective call with the result of the single-process stage (bit for
// bit), and that stage itself when the cluster has one rank. Failures on any rank end the
// call on every rank with the single-process message.

// What every rank knows of the whole matrix.
struct MatrixShape {
    std::uint64_t num_genes = 0;
    std::uint64_t num_samples = 0;
};

// Every rank reads a line-aligned byte range of a plain-text matrix (a compressed one, or a
// pipe, is read by the root alone, which then holds every gene) and returns its genes, ids
// in file order. `facts` (the root's) and `shape` reach every rank.
CountMatrix readCountMatrixOnRanks(Cluster& cluster, const std::string& path, bool has_header, ProgressSink& progress,
                                   MatrixFileFacts& facts, MatrixShape& shape);

// The mapped reads of every rank's genes together: each sample summed in file order, the
// parts one after the other, as one process sums the whole matrix.
std::vector<double> computeMappedReadsOnRanks(Cluster& cluster, const CountMatrix& genes, std::uint64_t num_samples);

// The table of the genes removed by every rank, in file order, written by the root.
void printFilteredOutGenesOnRanks(Cluster& cluster, const CountMatrix& removed, const OutputDirectory& output_dir,
                                  const std::string& file_name);

}  // namespace varnosk
