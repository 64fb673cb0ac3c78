#include "distributed/CpuShortage.hpp"

#include <gtest/gtest.h>

#include <string>

#include "TestSupport.hpp"
#include "e2e/E2eSupport.hpp"

namespace varnosk {
namespace {

TEST(CpuShortage, NoteNamesTheRanksShortOfCpusAndHowToGiveThemMore) {
    EXPECT_EQ(cpuShortageNote({{4, 4}}, false), "");
    EXPECT_EQ(cpuShortageNote({{1, 1}, {2, 8}}, true), "");
    EXPECT_EQ(cpuShortageNote({{2, 1}}, false),
              "Note: 2 threads run on 1 CPU (this process's CPU affinity): they take turns. Give the process more "
              "CPUs (Slurm: --cpus-per-task=2), or use fewer threads (-t).");
    EXPECT_EQ(cpuShortageNote({{2, 2}, {4, 1}}, true),
              "Note: rank 1 runs 4 threads on 1 CPU (the CPU affinity the launcher gave): they take turns. Start the "
              "ranks with mpirun --bind-to none or --map-by slot:PE=4 (Slurm: srun --cpus-per-task=4), or use fewer "
              "threads (-t).");
    EXPECT_NE(
        cpuShortageNote({{2, 1}, {2, 1}, {2, 1}}, true).find("Note: rank 0 and 2 other ranks run 2 threads on 1 CPU"),
        std::string::npos);
}

#ifndef VARNOSK_MPI
// The binary pinned to one CPU: two threads asked by the option get the note, and the
// option wins over OMP_NUM_THREADS.
TEST(CpuShortage, TheBinaryPinnedToOneCpuSaysSoOnlyWhenItsThreadsOutnumberIt) {
    const e2e::BinaryRun pinned(e2e::kData / "two_planted_groups.tsv");
    const test::ProcessResult two =
        test::runCommand("taskset -c 0 " + e2e::kBinary + " -t 2 " + pinned.settings.string());
    ASSERT_EQ(two.status, 0) << two.err;
    EXPECT_NE(two.out.find("\nNote: 2 threads run on 1 CPU"), std::string::npos) << two.out;

    const e2e::BinaryRun alone(e2e::kData / "two_planted_groups.tsv");
    const test::ProcessResult one =
        test::runCommand("OMP_NUM_THREADS=4 taskset -c 0 " + e2e::kBinary + " -t 1 " + alone.settings.string());
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(one.out.find("Note:"), std::string::npos) << one.out;
}
#endif

}  // namespace
}  // namespace varnosk
