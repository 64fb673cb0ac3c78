#include "app/ProgressLine.hpp"

#include <gtest/gtest.h>

#include <sstream>

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

}  // namespace
}  // namespace varnosk
