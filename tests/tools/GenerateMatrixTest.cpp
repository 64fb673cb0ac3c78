#include <gtest/gtest.h>

#include <string>

#include "TestSupport.hpp"

namespace varnosk {
namespace {

// The golden cases' README regenerates their inputs from seeds: the output must depend on
// the options alone.
TEST(GenerateMatrix, OutputDependsOnlyOnTheOptions) {
    test::TempDir dir;
    auto output = [&](const std::string& name, const std::string& seed) {
        const auto matrix = dir.path() / (name + ".tsv");
        const auto truth = dir.path() / (name + "_truth.tsv");
        const auto result = test::runCommand(std::string(VARNOSK_GENERATOR) + " --genes 400 --samples 20 --species 3 --seed " +
                                             seed + " --out " + matrix.string() + " --truth " + truth.string());
        EXPECT_EQ(result.status, 0) << result.err;
        return test::readFile(matrix) + test::readFile(truth);
    };
    const std::string first = output("a", "5");
    EXPECT_EQ(output("b", "5"), first);
    EXPECT_NE(output("c", "6"), first);
}

}  // namespace
}  // namespace varnosk
