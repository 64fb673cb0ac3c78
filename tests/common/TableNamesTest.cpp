#include "common/TableNames.hpp"

#include <gtest/gtest.h>

namespace varnosk {
namespace {

// Stored tables rely on both rules, which part ways at powers of ten.
TEST(TableNames, SeedAndMspWidthRulesDifferAtPowersOfTen) {
    const std::uint64_t counts[] = {0, 1, 2, 9, 10, 11, 99, 100, 101, 1000};
    const std::size_t ceil_log10[] = {0, 0, 1, 1, 1, 2, 2, 2, 3, 3};
    const std::size_t digits[] = {0, 1, 1, 1, 2, 2, 2, 3, 3, 4};
    for (std::size_t i = 0; i < std::size(counts); ++i) {
        EXPECT_EQ(clusterNameWidth(counts[i], NameWidthRule::CeilLog10), ceil_log10[i]) << counts[i];
        EXPECT_EQ(clusterNameWidth(counts[i], NameWidthRule::DigitsOfCount), digits[i]) << counts[i];
    }
    EXPECT_EQ(zeroPaddedName("seed", 10, 1), "seed10");
    EXPECT_EQ(zeroPaddedName("msp_", 7, 2), "msp_07");
}

}  // namespace
}  // namespace varnosk
