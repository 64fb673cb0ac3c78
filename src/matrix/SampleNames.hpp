#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace varnosk {

// The names of the samples, for the columns of the abundance tables.
struct SampleNames {
    std::vector<std::string> names;
    // Why the names are sample_1, sample_2, ... although the matrix has a header; empty
    // otherwise. One line, for standard output.
    std::string fallback_reason;
};

// Names from the header line when it has one field per sample (the layout R's write.table
// writes) or one more (a name for the gene column first, dropped); otherwise, and without a
// header, sample_1 .. sample_<num_samples>. Fields are tab-separated when the header holds a
// tab (so names may hold spaces), else separated by white space; white space ending the
// line is not part of the last field. An empty name also makes the names generated.
SampleNames sampleNames(const std::optional<std::string>& header, std::size_t num_samples);

}  // namespace varnosk
