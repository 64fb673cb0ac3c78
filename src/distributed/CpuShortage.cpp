#include "distributed/CpuShortage.hpp"

#include <sched.h>

#include <omp.h>

#include "distributed/Collectives.hpp"

namespace varnosk {

RankCpus rankCpus() {
    RankCpus mine;
    mine.threads = omp_get_max_threads();
    cpu_set_t mask;
    CPU_ZERO(&mask);
    // an unknown mask (a very large machine) is no reason to warn
    mine.cpus = sched_getaffinity(0, sizeof mask, &mask) == 0 ? CPU_COUNT(&mask) : mine.threads;
    return mine;
}

std::string cpuShortageNote(const std::vector<RankCpus>& ranks, bool mpi_job) {
    std::vector<std::size_t> short_ranks;
    for (std::size_t r = 0; r < ranks.size(); ++r) {
        if (ranks[r].cpus < ranks[r].threads) short_ranks.push_back(r);
    }
    if (short_ranks.empty()) return "";
    const RankCpus& first = ranks[short_ranks.front()];
    const std::string threads = std::to_string(first.threads);
    const std::string cpus = std::to_string(first.cpus) + (first.cpus == 1 ? " CPU" : " CPUs");
    if (!mpi_job) {
        return "Note: " + threads + " threads run on " + cpus +
               " (this process's CPU affinity): they take turns. Give the process more CPUs (Slurm: "
               "--cpus-per-task=" +
               threads + "), or use fewer threads (-t).";
    }
    std::string who = "rank " + std::to_string(short_ranks.front());
    const std::size_t others = short_ranks.size() - 1;
    if (others > 0) who += " and " + std::to_string(others) + (others == 1 ? " other rank" : " other ranks");
    return "Note: " + who + (others > 0 ? " run " : " runs ") + threads + " threads on " + cpus +
           " (the CPU affinity the launcher gave): they take turns. Start the ranks with mpirun --bind-to none "
           "or --map-by slot:PE=" +
           threads + " (Slurm: srun --cpus-per-task=" + threads + "), or use fewer threads (-t).";
}

std::string cpuShortageNoteOnRanks(Cluster& cluster) {
#ifdef VARNOSK_MPI
    constexpr bool kMpiJob = true;
#else
    constexpr bool kMpiJob = false;
#endif
    return cpuShortageNote(allGatherValue(cluster, rankCpus()), kMpiJob);
}

}  // namespace varnosk
