#pragma once

#include <ostream>

#include "distributed/Cluster.hpp"

namespace varnosk {

// Runs the whole program for one command line: settings, run records and every stage in
// order, with their messages on `out`. Returns the exit status of a complete run (0).
// Run-ending errors propagate as exceptions whose what() is the full message.
int runPipeline(int argc, const char* const argv[], std::ostream& out);

// The same as one rank of several: every rank calls it with the same arguments; the root
// alone writes `out` and the output directory. A failure on any rank propagates on every
// rank with the same message (cluster.failureKnownToAll()).
int runPipeline(int argc, const char* const argv[], std::ostream& out, Cluster& cluster);

}  // namespace varnosk
