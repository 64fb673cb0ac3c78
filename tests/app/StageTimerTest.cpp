#include "app/StageTimer.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>

namespace varnosk {
namespace {

std::string reportOf(const StageTimer& timer) {
    std::ostringstream out;
    timer.report(out);
    return out.str();
}

TEST(StageTimer, ReportsWholeMinutesAndRemainingSeconds) {
    StageTimer timer;
    const std::pair<const char*, std::time_t> stages[] = {
        {"Short", 59}, {"Minute", 60}, {"Longer", 61}, {"Creating seeds", 725}, {"Instant", 0}};
    for (const auto& [name, seconds] : stages) {
        timer.startAt(name, 1000);
        timer.stopAt(1000 + seconds);
    }
    EXPECT_EQ(reportOf(timer),
              "Time Statistics:\n"
              "Short: 0 min 59 sec\n"
              "Minute: 1 min 0 sec\n"
              "Longer: 1 min 1 sec\n"
              "Creating seeds: 12 min 5 sec\n"
              "Instant: 0 min 0 sec\n");
}

TEST(StageTimer, StopsPairWithStartsLastInFirstOut) {
    StageTimer timer;
    timer.startAt("Total", 100);
    timer.startAt("A", 110);
    timer.stopAt(130);
    timer.startAt("B", 200);
    timer.startAt("B.inner", 205);
    timer.stopAt(206);
    timer.stopAt(270);
    timer.stopAt(400);
    EXPECT_EQ(reportOf(timer),
              "Time Statistics:\n"
              "A: 0 min 20 sec\n"
              "B.inner: 0 min 1 sec\n"
              "B: 1 min 10 sec\n"
              "Total: 5 min 0 sec\n");
    // the steady-clock seconds follow the same order: the outer stopwatch ran longest
    const auto& steady = timer.finishedSteadySeconds();
    ASSERT_EQ(steady.size(), 4u);
    EXPECT_GE(steady[3], steady[2]);
    EXPECT_GE(steady[2], steady[1]);
}

TEST(StageTimer, StopWithNothingRunningFails) {
    StageTimer timer;
    try {
        timer.stop();
        ADD_FAILURE() << "stop on a fresh timer succeeded";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "error: no timer running.");
    }
    timer.start("Only");
    timer.stop();
    EXPECT_THROW(timer.stop(), std::runtime_error);
    EXPECT_EQ(reportOf(timer).substr(0, 23), "Time Statistics:\nOnly: ");
}

}  // namespace
}  // namespace varnosk
