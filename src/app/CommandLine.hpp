#pragma once

#include <ostream>

#include "distributed/Cluster.hpp"

namespace varnosk {

// Runs the program for one command line on this rank, as its main does: the pipeline with
// its console on `out`, and the exit status. A run-ending failure is written on `err` with
// its status (1 for memory, 255 for anything else): a failure every rank agreed on by the
// root alone, any other by the rank that met it, which then ends every rank
// (cluster.abortAll). Every rank calls it with the same arguments.
int runCommandLine(int argc, const char* const argv[], std::ostream& out, std::ostream& err, Cluster& cluster);

}  // namespace varnosk
