#include "compare/GenesComparator.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include "compare/Median.hpp"

namespace varnosk {

namespace {

constexpr int kMaxRatioIterations = 3;
constexpr double kRatioConvergence = 0.01;

[[noreturn]] void throwWrongGeneSize(const Gene& gene, std::uint32_t num_samples) {
    throw std::invalid_argument("error: gene " + gene.name + " has " + std::to_string(gene.counts.size()) +
                                " samples where " + std::to_string(num_samples) + " were expected.");
}

// The scratch arrays are sized by the number of samples; a gene of another size would make
// the comparator read or write past them.
inline void checkGeneSize(const Gene& gene, std::uint32_t num_samples) {
    if (gene.counts.size() != num_samples || gene.detected_samples.size() > num_samples) {
        throwWrongGeneSize(gene, num_samples);
    }
}

// Lin's (1989) concordance correlation coefficient of the pairs (a x_s, y_s) over the listed
// samples: 2 a cov / ((a mean_x - mean_y)^2 + a^2 var_x + var_y), with sample (n - 1)
// variances. Sums in double precision in list order, so results never depend on threads.
double linConcordance(const float* x, const float* y, const std::uint32_t* samples, std::size_t k, double a) {
    double sum_x = 0.0;
    double sum_y = 0.0;
    for (std::size_t i = 0; i < k; ++i) {
        sum_x += x[samples[i]];
        sum_y += y[samples[i]];
    }
    const double mean_x = sum_x / static_cast<double>(k);
    const double mean_y = sum_y / static_cast<double>(k);
    double sum_xx = 0.0;
    double sum_yy = 0.0;
    double sum_xy = 0.0;
    for (std::size_t i = 0; i < k; ++i) {
        const double dx = x[samples[i]] - mean_x;
        const double dy = y[samples[i]] - mean_y;
        sum_xx += dx * dx;
        sum_yy += dy * dy;
        sum_xy += dx * dy;
    }
    const double degrees = static_cast<double>(k - 1);
    const double var_x = sum_xx / degrees;
    const double var_y = sum_yy / degrees;
    const double cov = sum_xy / degrees;
    const double shift = a * mean_x - mean_y;
    return 2.0 * a * cov / (shift * shift + a * a * var_x + var_y);
}

// Single-precision stand-ins for a double threshold t, so that hot loops compare counts
// without widening them: for every float c, c >= t exactly when c >= atLeast(t), and c > t
// exactly when c > above(t).
inline float atLeast(double t) {
    const float f = static_cast<float>(t);
    return static_cast<double>(f) < t ? std::nextafter(f, std::numeric_limits<float>::infinity()) : f;
}

inline float above(double t) {
    const float f = static_cast<float>(t);
    return static_cast<double>(f) > t ? std::nextafter(f, -std::numeric_limits<float>::infinity()) : f;
}

}  // namespace

GenesComparator::GenesComparator(const ComparisonParameters& parameters)
    : parameters_(parameters),
      num_samples_(parameters.num_samples),
      candidates_(num_samples_),
      nonzero_(num_samples_),
      inliers_(num_samples_),
      residuals_(num_samples_),
      work_(num_samples_),
      candidate_x_(num_samples_),
      candidate_y_(num_samples_),
      quotients_(num_samples_),
      ratios_(num_samples_),
      nonzero_mask_(num_samples_),
      student_t_(num_samples_),
      log_factorial_(num_samples_) {}

bool GenesComparator::estimateRatioAndClassify(const Gene& gene1, const Gene& gene2,
                                               std::uint64_t max_exclusive_samples, bool list_codetected) {
    const float dl_single = parameters_.detection_threshold;
    const double dl = dl_single;
    const std::uint64_t min_prevalence = parameters_.min_prevalence;
    result_ = ComparisonResult{};
    result_.gene1_threshold = dl;
    result_.gene2_threshold = dl;
    checkGeneSize(gene1, num_samples_);
    checkGeneSize(gene2, num_samples_);

    // Candidate samples: both genes detected, by a linear merge of the ascending lists.
    std::uint32_t* candidates = candidates_.data();
    std::size_t num_candidates = 0;
    {
        const std::uint32_t* a = gene1.detected_samples.data();
        const std::uint32_t* a_end = a + gene1.detected_samples.size();
        const std::uint32_t* b = gene2.detected_samples.data();
        const std::uint32_t* b_end = b + gene2.detected_samples.size();
        while (a != a_end && b != b_end) {
            if (*a < *b) {
                ++a;
            } else if (*b < *a) {
                ++b;
            } else {
                candidates[num_candidates++] = *a;
                ++a;
                ++b;
            }
        }
    }
    result_.num_codetected_samples = num_candidates;
    if (num_candidates < min_prevalence) return false;

    const float* x = gene1.counts.data();
    const float* y = gene2.counts.data();

    // Whatever the ratio, one final threshold is dl itself (t1 = dl when the ratio is at
    // least 1, t2 = dl otherwise). So the samples with x > dl and y = 0 all count as gene1
    // only, or those with x = 0 and y > dl all count as gene2 only: the smaller of the two
    // counts is a lower bound on the exclusive samples, known before the ratio is estimated.
    if (max_exclusive_samples < num_samples_) {
        constexpr std::uint32_t kBlock = 256;
        std::uint64_t only1 = 0;
        std::uint64_t only2 = 0;
        for (std::uint32_t begin = 0; begin < num_samples_; begin += kBlock) {
            const std::uint32_t end = std::min(num_samples_, begin + kBlock);
            std::uint32_t block1 = 0;
            std::uint32_t block2 = 0;
            for (std::uint32_t s = begin; s < end; ++s) {
                block1 += (x[s] > dl_single) & (y[s] == 0.0f);
                block2 += (x[s] == 0.0f) & (y[s] > dl_single);
            }
            only1 += block1;
            only2 += block2;
            if (only1 > max_exclusive_samples && only2 > max_exclusive_samples) return false;
        }
    }

    // Abundance ratio gene2 / gene1: the median of per-sample ratios over the candidates that
    // reach the current thresholds, refined until it moves by less than 1%. The quotients
    // (single precision) are taken once, the first iteration's ratios (thresholds both dl)
    // picked on the way; later iterations only filter them.
    float* cx = candidate_x_.data();
    float* cy = candidate_y_.data();
    float* quotients = quotients_.data();
    float* ratios = ratios_.data();
    std::size_t num_first_ratios = 0;
    for (std::size_t i = 0; i < num_candidates; ++i) {
        const std::uint32_t s = candidates[i];
        const float xs = x[s];
        const float ys = y[s];
        const float quotient = ys / xs;
        cx[i] = xs;
        cy[i] = ys;
        quotients[i] = quotient;
        ratios[num_first_ratios] = quotient;
        num_first_ratios += (xs >= dl_single) & (ys >= dl_single);
    }
    double ratio = 1.0;
    double t1 = dl;
    double t2 = dl;
    for (int iteration = 0; iteration < kMaxRatioIterations; ++iteration) {
        std::size_t num_ratios = num_first_ratios;
        if (iteration > 0) {
            const float min_x = atLeast(t1);
            const float min_y = atLeast(t2);
            num_ratios = 0;
            for (std::size_t i = 0; i < num_candidates; ++i) {
                ratios[num_ratios] = quotients[i];
                num_ratios += (cx[i] >= min_x) & (cy[i] >= min_y);
            }
        }
        if (num_ratios < min_prevalence || num_ratios == 0) return false;
        // The median of the single-precision quotients, widened: the same value as the median
        // of the widened quotients.
        const double median = medianBySelection(ratios, num_ratios);
        const double previous = ratio;
        ratio = median;
        // The less abundant gene keeps the detection threshold; the other one's is scaled up.
        if (median < 1.0) {
            t1 = dl / median;
            t2 = dl;
        } else {
            t1 = dl;
            t2 = dl * median;
        }
        result_.abundance_ratio = ratio;
        result_.gene1_threshold = t1;
        result_.gene2_threshold = t2;
        if (std::fabs((median - previous) / previous) < kRatioConvergence) break;
    }

    // Classify every sample with the final thresholds. Presence of both uses >=, presence of
    // one gene alone uses > on that gene's threshold. The four classes exclude each other
    // (each of the last three needs a zero count, and a count above a threshold is not zero),
    // so they are counted independently, without branches (sample patterns are irregular and
    // branches on them mispredict), in a loop the compiler vectorizes; the bound on exclusive
    // samples is checked once per block.
    const float min_x = atLeast(t1);
    const float min_y = atLeast(t2);
    const float above_x = above(t1);
    const float above_y = above(t2);
    std::uint64_t num_codetected = 0;
    std::uint64_t num_nonzero = 0;
    std::uint64_t gene1_only = 0;
    std::uint64_t gene2_only = 0;
    std::uint64_t both_absent = 0;
    std::uint8_t* nonzero_mask = nonzero_mask_.data();
    constexpr std::uint32_t kBlock = 128;
    for (std::uint32_t begin = 0; begin < num_samples_; begin += kBlock) {
        const std::uint32_t end = std::min(num_samples_, begin + kBlock);
        std::uint32_t block_codetected = 0;
        std::uint32_t block_nonzero = 0;
        std::uint32_t block_gene1_only = 0;
        std::uint32_t block_gene2_only = 0;
        std::uint32_t block_both_absent = 0;
        for (std::uint32_t s = begin; s < end; ++s) {
            const float xs = x[s];
            const float ys = y[s];
            const bool both_nonzero = (xs != 0.0f) & (ys != 0.0f);
            nonzero_mask[s] = both_nonzero;
            block_nonzero += both_nonzero;
            block_codetected += both_nonzero & (xs >= min_x) & (ys >= min_y);
            block_gene1_only += (xs > above_x) & (ys == 0.0f);
            block_gene2_only += (xs == 0.0f) & (ys > above_y);
            block_both_absent += (xs == 0.0f) & (ys == 0.0f);
        }
        num_codetected += block_codetected;
        num_nonzero += block_nonzero;
        gene1_only += block_gene1_only;
        gene2_only += block_gene2_only;
        both_absent += block_both_absent;
        if (gene1_only + gene2_only > max_exclusive_samples) return false;
    }
    result_.num_codetected_samples = num_codetected;
    result_.num_nonzero_samples = num_nonzero;
    result_.num_gene1_only_samples = gene1_only;
    result_.num_gene2_only_samples = gene2_only;
    result_.num_both_absent_samples = both_absent;
    result_.num_exclusive_samples = gene1_only + gene2_only;
    if (num_codetected < min_prevalence) return false;

    // The sample lists, only for a pair that still qualifies. Each slot is written
    // unconditionally and kept only when the sample belongs to the list.
    std::uint32_t* nonzero = nonzero_.data();
    std::size_t next_nonzero = 0;
    for (std::uint32_t s = 0; s < num_samples_; ++s) {
        nonzero[next_nonzero] = s;
        next_nonzero += nonzero_mask[s];
    }
    if (list_codetected) {
        std::uint32_t* codetected = candidates;
        std::size_t next_codetected = 0;
        for (std::uint32_t s = 0; s < num_samples_; ++s) {
            codetected[next_codetected] = s;
            next_codetected += nonzero_mask[s] & (x[s] >= min_x) & (y[s] >= min_y);
        }
    }
    return true;
}

const ComparisonResult& GenesComparator::compare(const Gene& gene1, const Gene& gene2,
                                                 std::uint64_t max_exclusive_samples) {
    if (!estimateRatioAndClassify(gene1, gene2, max_exclusive_samples, false)) return result_;
    result_.concordance = linConcordance(gene1.counts.data(), gene2.counts.data(), nonzero_.data(),
                                         result_.num_nonzero_samples, result_.abundance_ratio);
    result_.robust_concordance = result_.concordance;
    result_.valid = true;
    return result_;
}

const ComparisonResult& GenesComparator::compareFull(const Gene& gene1, const Gene& gene2) {
    if (compareFullWithoutPValues(gene1, gene2).valid) addPValues();
    return result_;
}

const ComparisonResult& GenesComparator::compareFullWithoutPValues(const Gene& gene1, const Gene& gene2) {
    if (!estimateRatioAndClassify(gene1, gene2, std::numeric_limits<std::uint64_t>::max(), true)) return result_;
    const float* x = gene1.counts.data();
    const float* y = gene2.counts.data();
    result_.concordance =
        linConcordance(x, y, nonzero_.data(), result_.num_nonzero_samples, result_.abundance_ratio);
    result_.robust_concordance = result_.concordance;
    // Quartiles need two residuals at least; the settings guarantee five.
    if (result_.num_codetected_samples >= parameters_.min_prevalence_for_outliers && result_.num_codetected_samples >= 2) {
        discountOutliers(x, y);
    }
    result_.valid = true;
    return result_;
}

const ComparisonResult& GenesComparator::addPValues() {
    if (!result_.valid) return result_;
    // Every count fits in 32 bits: none exceeds the number of samples.
    const auto n = static_cast<std::uint32_t>(result_.num_codetected_samples);
    result_.concordance_pvalue = concordancePValue(student_t_, result_.robust_concordance, n);
    result_.cooccurrence_pvalue =
        cooccurrencePValue(log_factorial_, n, static_cast<std::uint32_t>(result_.num_gene1_only_samples),
                           static_cast<std::uint32_t>(result_.num_gene2_only_samples),
                           static_cast<std::uint32_t>(result_.num_both_absent_samples));
    result_.combined_pvalue = combinePValues(result_.concordance_pvalue, result_.cooccurrence_pvalue);
    return result_;
}

void GenesComparator::discountOutliers(const float* x, const float* y) {
    const float dl = parameters_.detection_threshold;
    const double a = result_.abundance_ratio;
    const double t1 = result_.gene1_threshold;
    const double t2 = result_.gene2_threshold;
    const std::uint64_t n = result_.num_codetected_samples;
    const std::size_t num_nonzero = result_.num_nonzero_samples;
    const std::uint32_t* nonzero = nonzero_.data();
    const std::uint32_t* codetected = candidates_.data();

    // Residuals from the proportional fit over the non-zero samples; the co-detected ones
    // (a subsequence, same order) go to the work array for the quartiles.
    double* residuals = residuals_.data();
    double* work = work_.data();
    std::size_t j = 0;
    for (std::size_t i = 0; i < num_nonzero; ++i) {
        const std::uint32_t s = nonzero[i];
        residuals[i] = y[s] - a * x[s];
        if (j < n && codetected[j] == s) work[j++] = residuals[i];
    }

    const auto allowance = static_cast<std::uint64_t>(std::floor(static_cast<double>(n) * parameters_.max_outliers_fraction + 0.5));
    result_.max_outliers = std::min(n - parameters_.min_prevalence_for_outliers, allowance);

    // Tukey's fences from the quartiles of the co-detected residuals: the lower half is the
    // h smallest values, the upper half the h largest (the middle value of an odd n in neither).
    const std::size_t half = n / 2;
    std::nth_element(work, work + half, work + n);
    const double q1 = medianBySelection(work, half);
    const double q3 = medianBySelection(work + half + n % 2, half);
    const double fence = 1.5 * (q3 - q1);
    const double lower = q1 - fence;
    const double upper = q3 + fence;

    std::uint32_t* inliers = inliers_.data();
    std::size_t num_inliers = 0;
    std::uint64_t num_outliers = 0;
    for (std::size_t i = 0; i < num_nonzero; ++i) {
        const std::uint32_t s = nonzero[i];
        const double e = residuals[i];
        if (lower <= e && e <= upper) {
            inliers[num_inliers++] = s;
        } else if ((x[s] > t1 && y[s] > dl) || y[s] > t2) {
            // Only a sample where a gene is clearly present counts against the allowance.
            ++num_outliers;
        }
    }
    result_.num_inliers = num_inliers;
    result_.num_outliers = num_outliers;

    if (num_outliers < result_.max_outliers && num_inliers >= 2) {
        const double inlier_concordance = linConcordance(x, y, inliers, num_inliers, a);
        // A not-a-number inlier concordance fails the comparison and leaves the concordance.
        if (inlier_concordance > result_.concordance) result_.robust_concordance = inlier_concordance;
    }
}

}  // namespace varnosk
