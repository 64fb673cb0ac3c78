#pragma once

#include <cstdint>

#include "common/ProgressSink.hpp"
#include "compare/ComparisonParameters.hpp"
#include "distributed/Cluster.hpp"
#include "distributed/DistributedBins.hpp"
#include "distributed/GeneMessages.hpp"
#include "matrix/CountMatrix.hpp"
#include "seeds/Seed.hpp"

namespace varnosk {

// Each function is a collective call with the result of the single-process stage (bit for
// bit), and that stage itself when the cluster has one rank. Failures on any rank end the
// call on every rank with the single-process message.

// Each rank creates the seeds of its bins (the rows of a shared bin are split). The root
// receives every seed, in bin order then creation order, with the profiles of the members it
// lacks (kept in `root_genes`, with `genes`: the root's own);
// the other ranks return none.
SeedList createSeedsOnRanks(Cluster& cluster, const GenesBinList& bins, const BinPlacement& placement,
                            const GeneList& genes, std::uint64_t min_seed_size, double min_concordance,
                            const ComparisonParameters& parameters, ProgressSink& progress, RootGenes& root_genes);

}  // namespace varnosk
