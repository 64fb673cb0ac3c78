#pragma once

#include <cstdint>
#include <string>

namespace varnosk {

// The files of the output directory.
namespace file_names {
inline constexpr const char* kApplicationSettings = "application_settings.ini";
inline constexpr const char* kExecutionDescription = "execution_description.ini";
inline constexpr const char* kGenesFilteredOut = "genes_filtered_out.tsv";
inline constexpr const char* kGenesBins = "genes_bins.tsv";
inline constexpr const char* kAllSeeds = "all_seeds.tsv";
inline constexpr const char* kAllMergedSeeds = "all_merged_seeds.tsv";
inline constexpr const char* kAllCoreSeeds = "all_core_seeds.tsv";
inline constexpr const char* kAllMsps = "all_msps.tsv";
inline constexpr const char* kMspAbundance = "msp_abundance.tsv";
inline constexpr const char* kMspRelativeAbundance = "msp_relative_abundance.tsv";
inline constexpr const char* kMspSummary = "msp_summary.tsv";
inline constexpr const char* kMspTaxonomy = "msp_taxonomy.tsv";
inline constexpr const char* kReport = "report.html";
}  // namespace file_names

// How many digits the cluster numbers of a table are padded to. The two tables have always
// differed at powers of ten and stored tables rely on it: ten seeds are seed1 .. seed10,
// ten MSPs msp_01 .. msp_10.
enum class NameWidthRule {
    CeilLog10,     // ceil(log10(count)): 1 -> 0, 2..10 -> 1, 11..100 -> 2 (seed tables)
    DigitsOfCount  // decimal digits of count: 1..9 -> 1, 10..99 -> 2 (MSP table)
};

// Counted on integers, so that no rounding of a logarithm shifts a width at a power of ten.
inline std::size_t clusterNameWidth(std::uint64_t count, NameWidthRule rule) {
    std::size_t digits = 0;
    for (std::uint64_t n = count; n != 0; n /= 10) ++digits;
    if (rule == NameWidthRule::DigitsOfCount || count == 0) return digits;
    // ceil(log10(count)) is one less than the digits exactly when count is a power of ten
    std::uint64_t power = 1;
    for (std::size_t i = 1; i < digits; ++i) power *= 10;
    return count == power ? digits - 1 : digits;
}

// A cluster name: the prefix, then the number padded on the left with zeros to at least
// `width` digits ("seed" 7 3 -> "seed007").
inline std::string zeroPaddedName(const std::string& prefix, std::uint64_t number, std::size_t width) {
    const std::string digits = std::to_string(number);
    std::string name = prefix;
    if (digits.size() < width) name.append(width - digits.size(), '0');
    return name + digits;
}

// The name of the MSP at `index` (from 0) of a list of `count`: msp_1 .. msp_9, msp_01 ..
// msp_10, msp_001 .. msp_100, ...
inline std::string mspName(std::size_t index, std::size_t count) {
    return zeroPaddedName("msp_", index + 1, clusterNameWidth(count, NameWidthRule::DigitsOfCount));
}

}  // namespace varnosk
