#include "matrix/SampleNames.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace varnosk {
namespace {

using Names = std::vector<std::string>;

TEST(SampleNames, HeadersThatFitNameTheSamplesOthersGetGeneratedNamesAndAReason) {
    const Names three = {"sample_1", "sample_2", "sample_3"};
    const std::string named = ", so the samples are named sample_1 to sample_3.";
    const std::tuple<std::optional<std::string>, std::size_t, Names, std::string> cases[] = {
        // a gene column name first, tab-separated: names may hold spaces; CRLF line end
        {"gene\tgut a\tgut b\r", 2, {"gut a", "gut b"}, ""},
        // an empty gene column name, as R writes with col.names = NA
        {"\ts1\ts2", 2, {"s1", "s2"}, ""},
        // one field per sample, as R's write.table writes by default
        {"s1\ts2\ts3", 3, {"s1", "s2", "s3"}, ""},
        // separated by spaces when there is no tab
        {"  gene  s1 s2  ", 2, {"s1", "s2"}, ""},
        {std::nullopt, 3, three, ""},
        {"gene\tx\ts1\ts2\ts3", 3, three, "The matrix header has 5 fields for 3 samples" + named},
        {"s1 s2", 3, three, "The matrix header has 2 fields for 3 samples" + named},
        {"gene\ts1\t\ts3", 3, three, "The matrix header names no sample 2" + named},
    };
    for (const auto& [header, num_samples, names, reason] : cases) {
        SCOPED_TRACE(header.value_or("<no header>"));
        const SampleNames result = sampleNames(header, num_samples);
        EXPECT_EQ(result.names, names);
        EXPECT_EQ(result.fallback_reason, reason);
    }
}

}  // namespace
}  // namespace varnosk
