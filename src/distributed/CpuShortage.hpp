#pragma once

#include <string>
#include <vector>

#include "distributed/Cluster.hpp"

namespace varnosk {

// The threads a rank runs and the CPUs its affinity mask lets it run on. A launcher that
// binds each rank to one core (mpirun does by default for one or two ranks) leaves extra
// threads taking turns on it, which can make a run slower than with one thread.
struct RankCpus {
    int threads = 1;
    int cpus = 1;
};

// This process's threads (OpenMP's, as set) and CPUs.
RankCpus rankCpus();

// One line saying which ranks have more threads than CPUs and how to give them more, or ""
// when none has. `ranks` in rank order; a process that no MPI launcher started (`mpi_job`
// false) is told without ranks and launcher options.
std::string cpuShortageNote(const std::vector<RankCpus>& ranks, bool mpi_job);

// Collective: the note for every rank of the cluster, on every rank.
std::string cpuShortageNoteOnRanks(Cluster& cluster);

}  // namespace varnosk
