// The progress line and the time report: standard output, which the golden tables do not pin.
#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>

#include "app/ProgressLine.hpp"
#include "app/StageTimer.hpp"

namespace varnosk {
namespace {

TEST(ProgressLine, RewritesOneLineWithTruncatedPercentages) {
    std::ostringstream out;
    ProgressLine line(out);
    line.begin();
    EXPECT_TRUE(line.isOpen());
    line.update(2, 3);
    line.update(3, 3);
    line.close();
    EXPECT_FALSE(line.isOpen());
    EXPECT_EQ(out.str(), "Progress: 0%\rProgress: 66%\rProgress: 100%");
    // 64-bit counters: file sizes beyond 4 GiB
    EXPECT_EQ(ProgressLine::percentage(5'000'000'000u, 10'000'000'001u), 49u);
    EXPECT_EQ(ProgressLine::percentage(999, 1000), 99u);
}

TEST(StageTimer, ReportsMinutesAndSecondsWithStopsPairedLastInFirstOut) {
    StageTimer timer;
    timer.startAt("Total", 100);
    for (const auto& [name, seconds] :
         {std::pair{"Short", 59}, {"Minute", 60}, {"Creating seeds", 725}, {"Instant", 0}}) {
        timer.startAt(name, 1000);
        timer.stopAt(1000 + seconds);
    }
    timer.startAt("B", 200);
    timer.startAt("B.inner", 205);
    timer.stopAt(206);
    timer.stopAt(270);
    timer.stopAt(400);
    std::ostringstream out;
    timer.report(out);
    EXPECT_EQ(out.str(),
              "Time Statistics:\nShort: 0 min 59 sec\nMinute: 1 min 0 sec\nCreating seeds: 12 min 5 sec\n"
              "Instant: 0 min 0 sec\nB.inner: 0 min 1 sec\nB: 1 min 10 sec\nTotal: 5 min 0 sec\n");
    // the steady-clock seconds follow the same order: the outer stopwatch ran longest
    const auto& steady = timer.finishedSteadySeconds();
    ASSERT_EQ(steady.size(), 7u);
    EXPECT_GE(steady[6], steady[5]);
    EXPECT_GE(steady[5], steady[4]);
    try {
        timer.stop();
        ADD_FAILURE() << "stop with nothing running succeeded";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "error: no timer running.");
    }
}

}  // namespace
}  // namespace varnosk
