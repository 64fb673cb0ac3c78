#pragma once

#include <cstdint>

namespace varnosk {

// The record of one comparison of an ordered pair (gene1, gene2). Every comparison resets
// every field to the initial value shown before it starts.
struct ComparisonResult {
    bool valid = false;                        // true only when every step went through
    double abundance_ratio = 1.0;              // median of gene2 / gene1 over co-detected samples
    double gene1_threshold = 0.0;              // presence threshold of gene1 (initially the detection threshold)
    double gene2_threshold = 0.0;              // presence threshold of gene2 (initially the detection threshold)
    std::uint64_t num_codetected_samples = 0;  // both genes reach their thresholds
    std::uint64_t num_nonzero_samples = 0;     // both counts non-zero
    std::uint64_t num_gene1_only_samples = 0;  // gene1 above its threshold, gene2 zero
    std::uint64_t num_gene2_only_samples = 0;  // gene1 zero, gene2 above its threshold
    std::uint64_t num_both_absent_samples = 0;
    std::uint64_t num_exclusive_samples = 0;  // gene1 only + gene2 only
    std::uint64_t max_outliers = 0;
    std::uint64_t num_outliers = 0;
    std::uint64_t num_inliers = 0;
    double concordance = 0.0;          // Lin's concordance over the non-zero samples
    double robust_concordance = 0.0;   // concordance, or the larger inlier concordance
    double concordance_pvalue = 1.0;   // compareFull only
    double cooccurrence_pvalue = 1.0;  // compareFull only
    double combined_pvalue = 1.0;      // compareFull only
};

// The tests callers apply to a result. A concordance that is not a number fails them.

// Significance levels of the decisions taken on full comparisons: the one-sided Fisher exact
// test of co-presence, the one-sided Student's t test of the concordance, and Fisher's
// method combining the two.
inline constexpr double kMaxCooccurrencePValue = 1e-10;
inline constexpr double kMaxConcordancePValue = 1e-10;
inline constexpr double kMaxCombinedPValue = 1e-12;

// Co-abundant: a valid comparison whose concordance reaches the minimum.
inline bool isCoAbundant(const ComparisonResult& result, double min_concordance) {
    return result.valid && result.concordance >= min_concordance;
}

// Either the concordance or the robust concordance reaches its minimum (validity not checked).
inline bool meetsConcordanceThresholds(const ComparisonResult& result, double min_concordance,
                                       double min_robust_concordance) {
    return result.concordance >= min_concordance || result.robust_concordance >= min_robust_concordance;
}

}  // namespace varnosk
