#pragma once

#include "common/ProgressSink.hpp"
#include "compare/ComparisonParameters.hpp"
#include "distributed/Cluster.hpp"
#include "distributed/GeneMessages.hpp"
#include "matrix/CountMatrix.hpp"
#include "msp/MspCreator.hpp"
#include "seeds/Seed.hpp"

namespace varnosk {

// Each function is a collective call with the result of the single-process stage (bit for
// bit), and that stage itself when the cluster has one rank. Failures on any rank end the
// call on every rank with the single-process message.

// The root's core seeds reach every rank, which classifies `genes` (its share, from
// genesToClassifyOnRank) against them; the root receives the lists and what it lacks of the
// genes taken (the profile of a core candidate, the name of any other; into `root_genes`) and
// builds the MSPs. Only the root's `core_seeds` are read; the other ranks
// return no MSP.
MspList createMspsOnRanks(Cluster& cluster, const MspCreator& creator, const SeedRefs& core_seeds,
                          const GeneList& genes, const ComparisonParameters& parameters, ProgressSink& progress,
                          RootGenes& root_genes);

}  // namespace varnosk
