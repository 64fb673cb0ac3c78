#include "distributed/LaunchedCopies.hpp"

#include <charconv>
#include <cstring>
#include <stdexcept>

namespace varnosk {
namespace {

// A positive count, or 0 for a variable that is absent or holds anything else.
long countIn(const char* text) {
    if (text == nullptr) return 0;
    long value = 0;
    const char* end = text + std::strlen(text);
    const auto [stop, error] = std::from_chars(text, end, value);
    return error == std::errc() && stop == end && value > 0 ? value : 0;
}

}  // namespace

LaunchedCopies launchedCopies(const EnvironmentLookup& environment) {
    for (const char* variable : {"OMPI_COMM_WORLD_SIZE", "PMI_SIZE"}) {
        if (const long count = countIn(environment(variable)); count > 0) return {count, variable};
    }
    // Slurm tells every task it starts its rank; the step's own count comes first, so that
    // a single task started inside a larger allocation runs.
    if (environment("SLURM_PROCID") != nullptr) {
        for (const char* variable : {"SLURM_STEP_NUM_TASKS", "SLURM_NTASKS"}) {
            if (const long count = countIn(environment(variable)); count > 0) return {count, variable};
        }
    }
    return {};
}

void refuseSeveralCopies(const EnvironmentLookup& environment) {
    const LaunchedCopies copies = launchedCopies(environment);
    if (copies.count <= 1) return;
    throw std::runtime_error("error: this varnosk runs as one process, but it was started as " +
                             std::to_string(copies.count) + " copies of one job (" + copies.variable + "=" +
                             std::to_string(copies.count) +
                             "): each would run the whole job into the same output directory. Start one copy "
                             "(with OMP_NUM_THREADS threads), or build the MPI build (cmake -DVARNOSK_MPI=ON) "
                             "to run one job over several processes.");
}

}  // namespace varnosk
