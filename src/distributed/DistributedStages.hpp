#pragma once

#include <cstdint>
#include <string>

#include "bins/GenesBin.hpp"
#include "common/ProgressSink.hpp"
#include "compare/ComparisonParameters.hpp"
#include "distributed/Cluster.hpp"
#include "matrix/CountMatrix.hpp"
#include "matrix/CountMatrixReader.hpp"
#include "msp/MspCreator.hpp"
#include "seeds/Seed.hpp"

namespace varnosk {

// The stages that several ranks share, each a collective call with the result of the
// single-process stage (bit for bit), and that stage itself when the cluster has one rank.
// Failures on any rank end the call on every rank with the single-process message.

// Every rank reads a line-aligned byte range of a plain-text matrix (a compressed one, or a
// pipe, is read by the root alone), then every rank receives all genes, ids in file order.
// `facts` (the root's) reach every rank.
CountMatrix readCountMatrixOnRanks(Cluster& cluster, const std::string& path, bool has_header,
                                   ProgressSink& progress, MatrixFileFacts& facts);

// Bins are dealt to ranks largest first, each to the rank with the fewest pairs so far; each
// rank creates the seeds of its bins. The root receives every seed, in bin order then creation
// order; the other ranks return none. `genes` (sorted by id) holds every gene of the bins.
SeedList createSeedsOnRanks(Cluster& cluster, const GenesBinList& bins, const GeneList& genes,
                            std::uint64_t min_seed_size, double min_concordance,
                            const ComparisonParameters& parameters, ProgressSink& progress);

// The root's core seeds reach every rank, which classifies its share of `genes` (an equal
// slice in gene order) against them; the root builds the MSPs from the lists of all slices.
// Only the root's `core_seeds` are read; the other ranks return no MSP.
MspList createMspsOnRanks(Cluster& cluster, const MspCreator& creator, const SeedRefs& core_seeds,
                          const GeneList& genes, const ComparisonParameters& parameters, ProgressSink& progress);

}  // namespace varnosk
