#include "matrix/SampleNames.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace varnosk {
namespace {

using Names = std::vector<std::string>;

TEST(SampleNames, HeaderWithOrWithoutAGeneColumnNamesTheSamples) {
    // a gene column name first, tab-separated: names may hold spaces; CRLF line end
    EXPECT_EQ(sampleNames("gene\tgut a\tgut b\r", 2).names, (Names{"gut a", "gut b"}));
    // an empty gene column name, as R writes with col.names = NA
    EXPECT_EQ(sampleNames("\ts1\ts2", 2).names, (Names{"s1", "s2"}));
    // one field per sample, as R's write.table writes by default
    EXPECT_EQ(sampleNames("s1\ts2\ts3", 3).names, (Names{"s1", "s2", "s3"}));
    // separated by spaces when there is no tab
    EXPECT_EQ(sampleNames("  gene  s1 s2  ", 2).names, (Names{"s1", "s2"}));
    EXPECT_EQ(sampleNames("gene\ts1\ts2", 2).fallback_reason, "");
}

TEST(SampleNames, OtherHeadersAndNoHeaderGiveGeneratedNames) {
    const Names generated = {"sample_1", "sample_2", "sample_3"};
    const SampleNames none = sampleNames(std::nullopt, 3);
    EXPECT_EQ(none.names, generated);
    EXPECT_EQ(none.fallback_reason, "");

    const SampleNames too_many = sampleNames("gene\tx\ts1\ts2\ts3", 3);
    EXPECT_EQ(too_many.names, generated);
    EXPECT_EQ(too_many.fallback_reason,
              "The matrix header has 5 fields for 3 samples, so the samples are named sample_1 to sample_3.");
    EXPECT_EQ(sampleNames("s1 s2", 3).fallback_reason,
              "The matrix header has 2 fields for 3 samples, so the samples are named sample_1 to sample_3.");
    const SampleNames empty = sampleNames("gene\ts1\t\ts3", 3);
    EXPECT_EQ(empty.names, generated);
    EXPECT_EQ(empty.fallback_reason, "The matrix header names no sample 2, so the samples are named sample_1 to sample_3.");
}

}  // namespace
}  // namespace varnosk
