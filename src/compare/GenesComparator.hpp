#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "compare/ComparisonParameters.hpp"
#include "compare/ComparisonResult.hpp"
#include "compare/ComparisonStatistics.hpp"
#include "compare/GeneTotals.hpp"
#include "matrix/Gene.hpp"

namespace varnosk {

// Hints that a gene's record is about to be read: genes of a bin lie far apart in memory,
// and a comparison would otherwise wait for each of them.
inline void prefetchGeneRecord(const Gene* gene) {
    __builtin_prefetch(gene);
    __builtin_prefetch(reinterpret_cast<const char*>(gene) + 64);
}

// The same for what a comparison reads of it: its counts and presence bits. Reads the record.
inline void prefetchGeneData(const Gene& gene) {
    const char* counts = reinterpret_cast<const char*>(gene.counts.data());
    const std::size_t bytes = gene.counts.size() * sizeof(float);
    for (std::size_t offset = 0; offset < bytes; offset += 64) __builtin_prefetch(counts + offset);
    __builtin_prefetch(gene.presence.detected());
    __builtin_prefetch(gene.presence.nonzero());
}

// Whether genes whose counts are at most `largest_count` have finite quotients of counts over
// a positive detection threshold, so that their abundance ratios are positive numbers and
// concordanceBound holds.
bool quotientsAreFinite(float largest_count, const ComparisonParameters& parameters);

// The abundance ratio a full comparison finds for a pair, before it classifies the samples,
// and the number of samples where both genes are detected.
struct RatioEstimate {
    double ratio;
    std::uint64_t num_candidates;
};

// Decides whether two genes have proportional abundances across samples. One comparator
// per thread (or per sequential task): it owns its scratch space and statistics tables,
// sized once from the number of samples of its parameters, so a comparison allocates
// nothing.
class GenesComparator {
public:
    explicit GenesComparator(const ComparisonParameters& parameters);
    GenesComparator(GenesComparator&&) = default;
    GenesComparator(const GenesComparator&) = delete;
    GenesComparator& operator=(const GenesComparator&) = delete;

    const ComparisonParameters& parameters() const { return parameters_; }

    // The fast test used while building and merging seeds: stops as soon as the pair cannot
    // qualify and rejects pairs with more than max_exclusive_samples samples where exactly
    // one gene is present. The reference stays valid until the next call.
    const ComparisonResult& compare(const Gene& gene1, const Gene& gene2, std::uint64_t max_exclusive_samples);

    // An upper bound on the concordance of any valid result of compare(gene1, gene2, ...), in
    // single precision as the seeds step stores it, found without the abundance ratio: the
    // concordance at any positive ratio is at most the Pearson correlation of the non-zero
    // samples. Never above 1, which no concordance exceeds: 1 where the correlation says nothing
    // (fewer than two such samples, or a gene constant over them). The genes' quotients must
    // be finite (see quotientsAreFinite).
    float concordanceBound(const Gene& gene1, const Gene& gene2);
    // The same bound, faster where the genes share most of their non-zero samples: their sums
    // there come from the genes' totals less the samples only one of them has, and the products
    // from one pass over every sample. (It may differ from the other in its last bits.) Where
    // the bound is certainly below `below`, some value below `below` instead.
    float concordanceBound(const Gene& gene1, const Gene& gene2, const GeneTotals& totals1, const GeneTotals& totals2,
                           float below = -std::numeric_limits<float>::infinity());

    // The full test: no bound on exclusive samples, adds the outlier step and the p-values.
    const ComparisonResult& compareFull(const Gene& gene1, const Gene& gene2);

    // compareFull in two steps, for callers that need the p-values only for some pairs: the
    // first leaves them at 1.0; addPValues then completes the last result exactly as
    // compareFull would have (nothing for an invalid one).
    const ComparisonResult& compareFullWithoutPValues(const Gene& gene1, const Gene& gene2);
    const ComparisonResult& addPValues();

    // The first step of compareFull alone: its abundance ratio, or nothing where compareFull
    // gives an invalid result before it classifies the samples (too few co-detected samples).
    // Leaves the last result partial.
    std::optional<RatioEstimate> abundanceRatio(const Gene& gene1, const Gene& gene2);
    // Right after abundanceRatio(gene1, gene2) found a ratio: the rest of
    // compareFullWithoutPValues for the same pair, from that ratio.
    const ComparisonResult& completeFullWithoutPValues(const Gene& gene1, const Gene& gene2);

private:
    // Reset, candidate samples, and the abundance ratio with its thresholds; false as soon as
    // the pair cannot qualify (as estimateRatioAndClassify).
    bool estimateRatio(const Gene& gene1, const Gene& gene2, std::uint64_t max_exclusive_samples);
    // Steps shared by both entry points: reset, candidate samples, abundance ratio and
    // sample classification, then the non-zero sample list (and the co-detected one when
    // list_codetected). False as soon as the pair cannot qualify: too few co-detected
    // samples, or certainly more than max_exclusive_samples exclusive ones (the result is
    // then partial).
    bool estimateRatioAndClassify(const Gene& gene1, const Gene& gene2, std::uint64_t max_exclusive_samples,
                                  bool list_codetected);
    // The part after the ratio: classification and sample lists (same result).
    bool classifySamples(const Gene& gene1, const Gene& gene2, std::uint64_t max_exclusive_samples,
                         bool list_codetected);
    // Concordance of the last pair over its non-zero samples, at its abundance ratio.
    double nonzeroConcordance() const;
    // Discounts outlier samples (Tukey fences on the residuals) from the concordance.
    void discountOutliers(const float* x, const float* y);

    ComparisonParameters parameters_;
    std::uint32_t num_samples_;  // sizes every scratch array
    ComparisonResult result_;
    float min_candidate_x_ = 0.0f;  // smallest counts over the last ratio's candidates
    float min_candidate_y_ = 0.0f;
    std::vector<std::uint32_t> candidates_;  // candidate, then co-detected samples, ascending
    std::vector<std::uint32_t> nonzero_;     // samples where both counts are non-zero, ascending
    std::vector<std::uint32_t> inliers_;     // non-zero samples within the fences
    std::vector<double> residuals_;          // one per non-zero sample, same order
    std::vector<double> work_;               // co-detected residuals (reordered)
    std::vector<float> candidate_x_;         // gene1 count per candidate sample
    std::vector<float> candidate_y_;         // gene2 count per candidate sample
    std::vector<std::uint32_t> quotients_;   // candidate quotients (bit patterns), candidate order
    std::vector<std::uint32_t> selection_scratch_[3];
    std::vector<std::uint32_t> member_lower_;  // quotients reaching later thresholds, below the first median
    std::vector<std::uint32_t> member_upper_;  // and above it
    std::vector<float> nonzero_x_;             // gene1 count per non-zero sample
    std::vector<float> nonzero_y_;             // gene2 count per non-zero sample
    double nonzero_sum_x_ = 0.0;               // sums of nonzero_x_ and nonzero_y_, in order
    double nonzero_sum_y_ = 0.0;
    StudentTTable student_t_;
    LogFactorialTable log_factorial_;
};

}  // namespace varnosk
