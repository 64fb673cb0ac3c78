#include "distributed/LaunchedCopies.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "TestSupport.hpp"

namespace varnosk {
namespace {

EnvironmentLookup environmentOf(const std::map<std::string, std::string>& variables) {
    return [variables](const char* name) -> const char* {
        const auto found = variables.find(name);
        return found == variables.end() ? nullptr : found->second.c_str();
    };
}

TEST(LaunchedCopies, EachLauncherIsReadAndAJobOfOneCopyRuns) {
    const struct {
        std::map<std::string, std::string> variables;
        long copies;
    } cases[] = {
        {{}, 1},
        {{{"OMPI_COMM_WORLD_SIZE", "4"}}, 4},
        {{{"OMPI_COMM_WORLD_SIZE", "1"}}, 1},
        {{{"PMI_SIZE", "3"}}, 3},
        {{{"SLURM_NTASKS", "8"}, {"SLURM_PROCID", "5"}}, 8},
        // an allocation of several tasks whose step is this one task
        {{{"SLURM_NTASKS", "8"}, {"SLURM_STEP_NUM_TASKS", "1"}, {"SLURM_PROCID", "0"}}, 1},
        // a batch script's allocation without a task rank is no launch of copies
        {{{"SLURM_NTASKS", "8"}}, 1},
        // values no launcher writes are ignored
        {{{"OMPI_COMM_WORLD_SIZE", "four"}, {"PMI_SIZE", "-2"}}, 1},
    };
    for (const auto& c : cases) {
        std::string label;
        for (const auto& [name, value] : c.variables) label += name + "=" + value + " ";
        EXPECT_EQ(launchedCopies(environmentOf(c.variables)).count, c.copies) << label;
    }
}

#ifndef VARNOSK_MPI
// The binary of one process stops before reading anything, naming the MPI build.
TEST(LaunchedCopies, OneProcessBuildRefusesToRunAsSeveralCopies) {
    const test::ProcessResult refused =
        test::runCommand("OMPI_COMM_WORLD_SIZE=2 " + std::string(VARNOSK_BINARY) + " settings-that-does-not-exist.ini");
    EXPECT_EQ(refused.status, 255);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err,
              "error: this varnosk runs as one process, but it was started as 2 copies of one job "
              "(OMPI_COMM_WORLD_SIZE=2): each would run the whole job into the same output directory. Start one "
              "copy (with OMP_NUM_THREADS threads), or build the MPI build (cmake -DVARNOSK_MPI=ON) to run one job "
              "over several processes.\n");
    const test::ProcessResult alone =
        test::runCommand("OMPI_COMM_WORLD_SIZE=1 SLURM_NTASKS=4 " + std::string(VARNOSK_BINARY) + " --version");
    EXPECT_EQ(alone.status, 0) << alone.err;
}
#endif

}  // namespace
}  // namespace varnosk
