#pragma once

#include <functional>
#include <string>

namespace varnosk {

// Reads an environment variable: its value, or null when it is not set.
using EnvironmentLookup = std::function<const char*(const char*)>;

// How many copies of one job a parallel launcher started, as it tells each of them in the
// environment (Open MPI's OMPI_COMM_WORLD_SIZE, MPICH's PMI_SIZE, Slurm's step task count),
// with the variable that said so; 1 when none did.
struct LaunchedCopies {
    long count = 1;
    std::string variable;
};
LaunchedCopies launchedCopies(const EnvironmentLookup& environment);

// A build that runs as one process, started as several copies, would run the whole job in
// each into one output directory: throws std::runtime_error with the message that says so
// and names the MPI build. Does nothing for a job of one copy.
void refuseSeveralCopies(const EnvironmentLookup& environment);

}  // namespace varnosk
