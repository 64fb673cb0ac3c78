#include "app/ProgressLine.hpp"

#include <gtest/gtest.h>

#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>

namespace varnosk {
namespace {

// Keeps what was written and what had been written at each flush.
class FlushRecorder : public std::stringbuf {
public:
    std::string flushed;

protected:
    int sync() override {
        flushed = str();
        return 0;
    }
};

TEST(ProgressLine, BeginsAtZeroWithoutNewline) {
    FlushRecorder buffer;
    std::ostream out(&buffer);
    progress::begin(out);
    EXPECT_EQ(buffer.str(), "Progress: 0%");
    EXPECT_EQ(buffer.flushed, "Progress: 0%");
}

TEST(ProgressLine, UpdateRewritesTheLineWithTruncatedPercentage) {
    FlushRecorder buffer;
    std::ostream out(&buffer);
    progress::update(out, 2, 3);
    EXPECT_EQ(buffer.flushed, "\rProgress: 66%");
    progress::update(out, 3, 3);
    EXPECT_EQ(buffer.flushed, "\rProgress: 66%\rProgress: 100%");
}

TEST(ProgressLine, PercentageNeverRoundsUp) {
    EXPECT_EQ(progress::percentage(0, 7), 0u);
    EXPECT_EQ(progress::percentage(1, 3), 33u);
    EXPECT_EQ(progress::percentage(999, 1000), 99u);
    EXPECT_EQ(progress::percentage(1, 1), 100u);
    // 64-bit counters: file sizes beyond 4 GiB
    EXPECT_EQ(progress::percentage(std::uint64_t{1} << 40, std::uint64_t{1} << 41), 50u);
    EXPECT_EQ(progress::percentage(5'000'000'000u, 10'000'000'001u), 49u);
}

}  // namespace
}  // namespace varnosk
