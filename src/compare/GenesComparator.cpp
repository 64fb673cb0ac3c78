#include "compare/GenesComparator.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#if defined(__x86_64__) || defined(__SSE2__)
#include <immintrin.h>
#endif

#include "compare/KeySelection.hpp"
#include "compare/Median.hpp"
#include "compare/PlainSums.hpp"

namespace varnosk {

namespace {

constexpr int kMaxRatioIterations = 3;
constexpr double kRatioConvergence = 0.01;

[[noreturn]] void throwWrongGeneSize(const Gene& gene, std::uint32_t num_samples) {
    throw std::invalid_argument("error: gene " + gene.name + " has " + std::to_string(gene.counts.size()) +
                                " samples where " + std::to_string(num_samples) + " were expected.");
}

// The scratch arrays are sized by the number of samples; a gene of another size, or one
// whose presence bits were not computed for its counts, would make the comparator read or
// write past them.
inline void checkGeneSize(const Gene& gene, std::uint32_t num_samples) {
    if (gene.counts.size() != num_samples || gene.presence.words() != SamplePresence::wordsFor(num_samples)) {
        throwWrongGeneSize(gene, num_samples);
    }
}

// Lin's (1989) concordance correlation coefficient of the pairs (a x(i), y(i)), i < k:
// 2 a cov / ((a mean_x - mean_y)^2 + a^2 var_x + var_y), with sample (n - 1) variances. Sums
// in double precision in index order, so results never depend on threads.
// sum_x and sum_y are the plain sums of x(i) and y(i) in index order.
template <typename X, typename Y>
double linConcordanceFromSums(X x, Y y, std::size_t k, double a, double sum_x, double sum_y) {
    const double mean_x = sum_x / static_cast<double>(k);
    const double mean_y = sum_y / static_cast<double>(k);
    double sum_xx = 0.0;
    double sum_yy = 0.0;
    double sum_xy = 0.0;
    for (std::size_t i = 0; i < k; ++i) {
        const double dx = x(i) - mean_x;
        const double dy = y(i) - mean_y;
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

template <typename X, typename Y>
double linConcordance(X x, Y y, std::size_t k, double a) {
    double sum_x = 0.0;
    double sum_y = 0.0;
    for (std::size_t i = 0; i < k; ++i) {
        sum_x += x(i);
        sum_y += y(i);
    }
    return linConcordanceFromSums(x, y, k, a, sum_x, sum_y);
}

// Quotients are selected on their bit patterns: positive floats order as their patterns, and
// integer comparisons are cheaper than float ones.
inline std::uint32_t ratioKey(float quotient) { return std::bit_cast<std::uint32_t>(quotient); }
inline float keyRatio(std::uint32_t key) { return std::bit_cast<float>(key); }

// The k-th smallest of keys[0 .. n-1] (may reorder them). Later medians sit a few ranks
// from the edge of one side of the first: one pass keeping the few extreme keys beats a
// selection there.
std::uint32_t kthSmallest(std::uint32_t* keys, std::size_t n, std::size_t k, KeyScratch scratch) {
    constexpr std::size_t kFew = 8;
    if (k < kFew || n - 1 - k < kFew) {
        const bool from_low = k < kFew;
        const std::size_t depth = from_low ? k + 1 : n - k;
        std::uint32_t kept[kFew];
        // Sorted so that kept[depth - 1] is the least extreme kept so far.
        const auto more_extreme = [from_low](std::uint32_t a, std::uint32_t b) { return from_low ? a < b : a > b; };
        for (std::size_t i = 0; i < depth; ++i) {
            std::size_t j = i;
            for (; j > 0 && more_extreme(keys[i], kept[j - 1]); --j) kept[j] = kept[j - 1];
            kept[j] = keys[i];
        }
        for (std::size_t i = depth; i < n; ++i) {
            const std::uint32_t key = keys[i];
            if (!more_extreme(key, kept[depth - 1])) continue;
            std::size_t j = depth - 1;
            for (; j > 0 && more_extreme(key, kept[j - 1]); --j) kept[j] = kept[j - 1];
            kept[j] = key;
        }
        return kept[depth - 1];
    }
    return selectKey(keys, n, k, scratch);
}

// A set of keys split by value around the pivot of the first selection: lower[0 ..
// num_lower) below it, num_equal keys equal to it, upper[0 .. num_upper) above it. The k-th
// smallest is on one side.
struct SplitKeys {
    std::uint32_t* lower;
    std::size_t num_lower;
    std::uint32_t pivot;
    std::size_t num_equal;
    std::uint32_t* upper;
    std::size_t num_upper;
    KeyScratch scratch;

    std::size_t size() const { return num_lower + num_equal + num_upper; }

    std::uint32_t kth(std::size_t k) const {
        if (k < num_lower) return kthSmallest(lower, num_lower, k, scratch);
        if (k - num_lower < num_equal) return pivot;
        return kthSmallest(upper, num_upper, k - num_lower - num_equal, scratch);
    }

    // As medianBySelection of the quotients.
    double median() const {
        const std::size_t n = size();
        const std::size_t half = n / 2;
        const double upper_middle = keyRatio(kth(half));
        if (n % 2 == 1) return upper_middle;
        return (static_cast<double>(keyRatio(kth(half - 1))) + upper_middle) * 0.5;
    }
};

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
      selection_scratch_{std::vector<std::uint32_t>(num_samples_ + 3), std::vector<std::uint32_t>(num_samples_ + 3),
                         std::vector<std::uint32_t>(num_samples_ + 3)},
      member_lower_(num_samples_),
      member_upper_(num_samples_),
      nonzero_x_(num_samples_),
      nonzero_y_(num_samples_),
      student_t_(num_samples_),
      log_factorial_(num_samples_) {}

bool GenesComparator::estimateRatio(const Gene& gene1, const Gene& gene2, std::uint64_t max_exclusive_samples) {
    const float dl_single = parameters_.detection_threshold;
    const double dl = dl_single;
    const std::uint64_t min_prevalence = parameters_.min_prevalence;
    result_ = ComparisonResult{};
    result_.gene1_threshold = dl;
    result_.gene2_threshold = dl;
    checkGeneSize(gene1, num_samples_);
    checkGeneSize(gene2, num_samples_);
    const std::size_t words = gene1.presence.words();
    const std::uint64_t* detected1 = gene1.presence.detected();
    const std::uint64_t* detected2 = gene2.presence.detected();
    const std::uint64_t* nonzero1 = gene1.presence.nonzero();
    const std::uint64_t* nonzero2 = gene2.presence.nonzero();

    // Candidate samples: both genes detected.
    std::uint64_t num_candidates = 0;
    for (std::size_t k = 0; k < words; ++k) num_candidates += std::popcount(detected1[k] & detected2[k]);
    result_.num_codetected_samples = num_candidates;
    if (num_candidates < min_prevalence) return false;

    // Whatever the ratio, one final threshold is dl itself (t1 = dl when the ratio is at
    // least 1, t2 = dl otherwise). So the samples with x > dl and y = 0 all count as gene1
    // only, or those with x = 0 and y > dl all count as gene2 only: the smaller of the two
    // counts is a lower bound on the exclusive samples, known before the ratio is estimated.
    const float* x = gene1.counts.data();
    const float* y = gene2.counts.data();
    if (max_exclusive_samples < num_samples_) {
        std::uint64_t only1 = 0;
        std::uint64_t only2 = 0;
        forEachSample(
            words, [&](std::size_t k) { return detected1[k] & ~nonzero2[k]; },
            [&](std::uint32_t s) { only1 += x[s] > dl_single; });
        if (only1 > max_exclusive_samples) {
            forEachSample(
                words, [&](std::size_t k) { return detected2[k] & ~nonzero1[k]; },
                [&](std::uint32_t s) { only2 += y[s] > dl_single; });
            if (only2 > max_exclusive_samples) return false;
        }
    }

    // Abundance ratio gene2 / gene1: the median of per-sample quotients over the candidates
    // that reach the current thresholds, refined until it moves by less than 1%. Every
    // candidate reaches the first thresholds (both dl). Later thresholds are never below dl,
    // so their sets are subsets of the first: split by value around the first median, each
    // new median is on one side, a few ranks from its edge.
    // (The candidates' sample numbers are listed only when the samples are classified.)
    float* cx = candidate_x_.data();
    float* cy = candidate_y_.data();
    const auto m = static_cast<std::uint32_t>(num_candidates);
    if (m == 0) return false;
    std::uint32_t* quotients = quotients_.data();
    // Candidates are detected, so with a positive dl their counts are positive floats, which
    // order as their bit patterns: the smallest patterns give the smallest counts.
    std::uint32_t min_x_bits = UINT32_MAX;
    std::uint32_t min_y_bits = UINT32_MAX;
    {
        std::uint32_t i = 0;
        forEachSample(
            words, [&](std::size_t k) { return detected1[k] & detected2[k]; },
            [&](std::uint32_t s) {
                const float xs = x[s];
                const float ys = y[s];
                cx[i] = xs;
                cy[i] = ys;
                quotients[i] = ratioKey(ys / xs);
                const auto x_bits = std::bit_cast<std::uint32_t>(xs);
                const auto y_bits = std::bit_cast<std::uint32_t>(ys);
                min_x_bits = x_bits < min_x_bits ? x_bits : min_x_bits;
                min_y_bits = y_bits < min_y_bits ? y_bits : min_y_bits;
                ++i;
            });
    }
    const bool positive_counts = dl_single > 0.0f;
    const float min_cx = std::bit_cast<float>(min_x_bits);
    const float min_cy = std::bit_cast<float>(min_y_bits);
    const KeyScratch scratch{
        {selection_scratch_[0].data(), selection_scratch_[1].data(), selection_scratch_[2].data()}};
    const std::size_t first_half = m / 2;
    // The first median: the middle key, and for an even count the one below it, which is
    // the largest smaller key when exactly half the keys are smaller, else the middle one.
    const std::uint32_t pivot = selectKey(quotients, m, first_half, scratch);
    double first_median = keyRatio(pivot);
    if (m % 2 == 0) {
        std::size_t num_smaller = 0;
        std::uint32_t largest_smaller = 0;
        for (std::uint32_t i = 0; i < m; ++i) {
            const std::uint32_t key = quotients[i];
            const bool smaller = key < pivot;
            num_smaller += smaller;
            largest_smaller = smaller && key > largest_smaller ? key : largest_smaller;
        }
        const std::uint32_t below = num_smaller == first_half ? largest_smaller : pivot;
        first_median = (static_cast<double>(keyRatio(below)) + first_median) * 0.5;
    }

    double ratio = 1.0;
    double t1 = dl;
    double t2 = dl;
    for (int iteration = 0; iteration < kMaxRatioIterations; ++iteration) {
        double median = first_median;
        const float min_x = atLeast(t1);
        const float min_y = atLeast(t2);
        // When every candidate reaches the thresholds (with a positive dl, always so in the
        // first iteration) the set is the first one, and so is its median: no filter, no
        // selection.
        if (!(positive_counts && min_cx >= min_x && min_cy >= min_y)) {
            std::uint32_t* lower = member_lower_.data();
            std::uint32_t* upper = member_upper_.data();
            std::size_t num_lower = 0;
            std::size_t num_upper = 0;
            std::size_t num_members = 0;
            for (std::uint32_t i = 0; i < m; ++i) {
                const std::uint32_t key = quotients[i];
                const bool member = (cx[i] >= min_x) & (cy[i] >= min_y);
                lower[num_lower] = key;
                upper[num_upper] = key;
                num_lower += member & (key < pivot);
                num_upper += member & (key > pivot);
                num_members += member;
            }
            if (num_members < min_prevalence || num_members == 0) return false;
            median = SplitKeys{lower, num_lower, pivot, num_members - num_lower - num_upper, upper, num_upper, scratch}
                         .median();
        }
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

    min_candidate_x_ = min_cx;
    min_candidate_y_ = min_cy;
    return true;
}

bool GenesComparator::estimateRatioAndClassify(const Gene& gene1, const Gene& gene2,
                                               std::uint64_t max_exclusive_samples, bool list_codetected) {
    return estimateRatio(gene1, gene2, max_exclusive_samples) &&
           classifySamples(gene1, gene2, max_exclusive_samples, list_codetected);
}

bool GenesComparator::classifySamples(const Gene& gene1, const Gene& gene2, std::uint64_t max_exclusive_samples,
                                      bool list_codetected) {
    const float dl_single = parameters_.detection_threshold;
    const std::uint64_t min_prevalence = parameters_.min_prevalence;
    const std::size_t words = gene1.presence.words();
    const std::uint64_t* detected1 = gene1.presence.detected();
    const std::uint64_t* detected2 = gene2.presence.detected();
    const std::uint64_t* nonzero1 = gene1.presence.nonzero();
    const std::uint64_t* nonzero2 = gene2.presence.nonzero();
    const float* x = gene1.counts.data();
    const float* y = gene2.counts.data();
    std::uint32_t* candidates = candidates_.data();
    if (list_codetected) {
        std::uint32_t i = 0;
        forEachSample(
            words, [&](std::size_t k) { return detected1[k] & detected2[k]; },
            [&](std::uint32_t s) { candidates[i++] = s; });
    }
    const float* cx = candidate_x_.data();
    const float* cy = candidate_y_.data();
    // Still the candidates' count: the ratio step left it there.
    const auto m = static_cast<std::uint32_t>(result_.num_codetected_samples);
    const bool positive_counts = dl_single > 0.0f;
    const float min_cx = min_candidate_x_;
    const float min_cy = min_candidate_y_;
    const double t1 = result_.gene1_threshold;
    const double t2 = result_.gene2_threshold;

    // Classify every sample with the final thresholds. Presence of both uses >=, presence of
    // one gene alone uses > on that gene's threshold. Both thresholds are at least dl, so the
    // co-detected samples are candidates, and a gene alone above its threshold is detected
    // where the other's "non-zero" bit is clear.
    const float min_x = atLeast(t1);
    const float min_y = atLeast(t2);
    const float above_x = above(t1);
    const float above_y = above(t2);
    std::uint64_t gene1_only = 0;
    std::uint64_t gene2_only = 0;
    forEachSample(
        words, [&](std::size_t k) { return detected1[k] & ~nonzero2[k]; },
        [&](std::uint32_t s) { gene1_only += x[s] > above_x; });
    forEachSample(
        words, [&](std::size_t k) { return detected2[k] & ~nonzero1[k]; },
        [&](std::uint32_t s) { gene2_only += y[s] > above_y; });
    if (gene1_only + gene2_only > max_exclusive_samples) return false;
    const bool all_codetected = positive_counts && min_cx >= min_x && min_cy >= min_y;
    std::uint64_t num_codetected = m;
    if (!all_codetected) {
        num_codetected = 0;
        for (std::uint32_t i = 0; i < m; ++i) {
            num_codetected += (cx[i] != 0.0f) & (cy[i] != 0.0f) & (cx[i] >= min_x) & (cy[i] >= min_y);
        }
    }
    std::uint64_t num_nonzero = 0;
    std::uint64_t num_present = 0;
    for (std::size_t k = 0; k < words; ++k) {
        num_nonzero += std::popcount(nonzero1[k] & nonzero2[k]);
        num_present += std::popcount(nonzero1[k] | nonzero2[k]);
    }
    result_.num_codetected_samples = num_codetected;
    result_.num_nonzero_samples = num_nonzero;
    result_.num_gene1_only_samples = gene1_only;
    result_.num_gene2_only_samples = gene2_only;
    result_.num_both_absent_samples = num_samples_ - num_present;
    result_.num_exclusive_samples = gene1_only + gene2_only;
    if (num_codetected < min_prevalence) return false;

    // The sample lists, only for a pair that still qualifies, with the counts of the
    // non-zero samples side by side for the concordance, and their sums (its first pass).
    {
        float* nx = nonzero_x_.data();
        float* ny = nonzero_y_.data();
        std::size_t i = 0;
        double sum_x = 0.0;
        double sum_y = 0.0;
        const auto list = [&](auto store_sample) {
            forEachSample(
                words, [&](std::size_t k) { return nonzero1[k] & nonzero2[k]; },
                [&](std::uint32_t s) {
                    store_sample(i, s);
                    nx[i] = x[s];
                    ny[i] = y[s];
                    sum_x += x[s];
                    sum_y += y[s];
                    ++i;
                });
        };
        if (list_codetected) {
            std::uint32_t* nonzero = nonzero_.data();
            list([nonzero](std::size_t at, std::uint32_t s) { nonzero[at] = s; });
        } else {
            list([](std::size_t, std::uint32_t) {});
        }
        nonzero_sum_x_ = sum_x;
        nonzero_sum_y_ = sum_y;
    }
    if (list_codetected && !all_codetected) {
        // In place: a candidate is never written before it is read.
        std::size_t next_codetected = 0;
        for (std::uint32_t i = 0; i < m; ++i) {
            candidates[next_codetected] = candidates[i];
            next_codetected += (cx[i] != 0.0f) & (cy[i] != 0.0f) & (cx[i] >= min_x) & (cy[i] >= min_y);
        }
    }
    return true;
}

std::optional<RatioEstimate> GenesComparator::abundanceRatio(const Gene& gene1, const Gene& gene2) {
    if (!estimateRatio(gene1, gene2, std::numeric_limits<std::uint64_t>::max())) return std::nullopt;
    return RatioEstimate{result_.abundance_ratio, result_.num_codetected_samples};
}

namespace {

// Below this many samples no stored concordance exceeds 1 (see concordanceCeiling).
constexpr double kMaxSamplesForCap = 1e7;

// The stored concordance itself never exceeds 1: Cauchy-Schwarz holds for compare's rounded
// deviations dx, dy, and a^2 Sxx + Syy >= 2 a sqrt(Sxx Syy), so its value is at most
// (1 + g)(1 + eps)^4 / ((1 - g)(1 - eps)^5) with g = k eps the error of a k-term sum; below
// 10^7 samples that is within 2^-25 of 1 and rounds to 1.0f (or it is not a number). So 1
// bounds every pair, and genes of one profile (concordance exactly 1) can be taken without
// judging every pair of them.
float concordanceCeiling(std::uint32_t num_samples) {
    return static_cast<double>(num_samples) < kMaxSamplesForCap ? 1.0f : std::numeric_limits<float>::infinity();
}

// The bound from the plain sums over the samples where both genes are non-zero, each centred
// sum known to within its error term; `ceiling` where the sums say nothing. When it is certain
// to be below `below`, returns a value below `below` without taking the root and quotient.
float boundFromSums(const PlainSums& sums, double error_xx, double error_yy, double error_xy, float ceiling,
                    float below) {
    if (sums.count < 2) return ceiling;
    const double centred_xx = sums.centredXX();
    const double centred_yy = sums.centredYY();
    const double centred_xy = sums.centredXY();
    // Where cancellation leaves a variance within its error, there is no bound.
    if (!(centred_xx > 2.0 * error_xx && centred_yy > 2.0 * error_yy)) return ceiling;
    // Lin's coefficient at ratio a > 0 is 2 a cov / (shift^2 + a^2 var_x + var_y), and
    // a^2 var_x + var_y >= 2 a sd_x sd_y, so it never exceeds cov / (sd_x sd_y). compare
    // computes the concordance in another order, within some 1e-12 of its exact value at
    // 10,000 samples; the margin covers it many times over.
    constexpr double kMargin = 1e-6;
    // A covariance that may be negative bounds the correlation by 0.
    const double covariance_bound = std::max(centred_xy + error_xy, 0.0);
    const double spread_product = (centred_xx - error_xx) * (centred_yy - error_yy);
    // The float just below `below` holds every rounded bound that is below it; the cut leaves
    // that float by more than the rounding of the few operations here, and the squares compare
    // with a relative slack of 1e-9 for theirs.
    if (below > 0.0f) {
        const float under = std::bit_cast<float>(std::bit_cast<std::uint32_t>(below) - 1u);
        const double cut = static_cast<double>(under) - kMargin - 1e-12;
        if (cut > 0.0 && covariance_bound * covariance_bound < cut * cut * spread_product * (1.0 - 1e-9)) return under;
    }
    const double correlation = covariance_bound / std::sqrt(spread_product);
    if (!std::isfinite(correlation)) return ceiling;
    const double bound = correlation + kMargin;
    if (!(bound < ceiling)) return ceiling;
    // Rounded up to a float: the next one up is one more in the bit pattern of a positive float.
    const auto rounded = static_cast<float>(bound);
    return static_cast<double>(rounded) < bound ? std::bit_cast<float>(std::bit_cast<std::uint32_t>(rounded) + 1u)
                                                : rounded;
}

// The sum of x(s) y(s) over all n samples, in double precision (a product of two floats is
// exact there), running sums side by side: eight lanes where the processor has AVX2 (chosen
// when the program runs, so the build still runs on any x86-64), four with SSE2.
#if defined(__x86_64__) && defined(__GNUC__)
#define VARNOSK_PRODUCT_SUM_AVX2 1
__attribute__((target("avx2"))) double productSumAvx2(const float* x, const float* y, std::size_t n) {
    std::size_t s = 0;
    __m256d low = _mm256_setzero_pd();
    __m256d high = _mm256_setzero_pd();
    for (; s + 8 <= n; s += 8) {
        const __m256 xs = _mm256_loadu_ps(x + s);
        const __m256 ys = _mm256_loadu_ps(y + s);
        low = _mm256_add_pd(low, _mm256_mul_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(xs)),
                                               _mm256_cvtps_pd(_mm256_castps256_ps128(ys))));
        high = _mm256_add_pd(high, _mm256_mul_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(xs, 1)),
                                                 _mm256_cvtps_pd(_mm256_extractf128_ps(ys, 1))));
    }
    double lanes[8];
    _mm256_storeu_pd(lanes, low);
    _mm256_storeu_pd(lanes + 4, high);
    double total = 0.0;
    for (const double lane : lanes) total += lane;
    for (; s < n; ++s) total += static_cast<double>(x[s]) * y[s];
    return total;
}
#endif

double productSum(const float* x, const float* y, std::size_t n) {
#if defined(VARNOSK_PRODUCT_SUM_AVX2)
    static const bool has_avx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
    if (has_avx2) return productSumAvx2(x, y, n);
#endif
    std::size_t s = 0;
#if defined(__SSE2__)
    __m128d low = _mm_setzero_pd();
    __m128d high = _mm_setzero_pd();
    for (; s + 4 <= n; s += 4) {
        const __m128 xs = _mm_loadu_ps(x + s);
        const __m128 ys = _mm_loadu_ps(y + s);
        low = _mm_add_pd(low, _mm_mul_pd(_mm_cvtps_pd(xs), _mm_cvtps_pd(ys)));
        high = _mm_add_pd(high, _mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(xs, xs)), _mm_cvtps_pd(_mm_movehl_ps(ys, ys))));
    }
    double lanes[4];
    _mm_storeu_pd(lanes, low);
    _mm_storeu_pd(lanes + 2, high);
    double total = (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
#else
    double total = 0.0;
#endif
    for (; s < n; ++s) total += static_cast<double>(x[s]) * y[s];
    return total;
}

constexpr double kEps = std::numeric_limits<double>::epsilon();

// The bound from one pass over the samples where both genes are non-zero (below: as boundFromSums).
float boundOverSharedSamples(const Gene& gene1, const Gene& gene2, float ceiling, float below) {
    const std::size_t words = gene1.presence.words();
    const std::uint64_t* nonzero1 = gene1.presence.nonzero();
    const std::uint64_t* nonzero2 = gene2.presence.nonzero();
    const float* x = gene1.counts.data();
    const float* y = gene2.counts.data();
    // Plain sums in one pass: no list, no second pass over the samples.
    PlainSums sums;
    forEachSample(
        words, [&](std::size_t w) { return nonzero1[w] & nonzero2[w]; },
        [&](std::uint32_t s) { sums.add(x[s], y[s]); });
    // Counts are never negative, so every term of the plain sums is too: each sum is within
    // (k + 1) eps of its own value, and each centred sum within 4 (k + 2) eps of the plain sum
    // of squares (or of the products' bound sqrt(sum_xx sum_yy)) of its exact value, which the
    // error terms below exceed. With them the bound holds for the exact centred sums.
    const double relative_error = 8.0 * (static_cast<double>(sums.count) + 2.0) * kEps;
    return boundFromSums(sums, relative_error * sums.xx, relative_error * sums.yy,
                         relative_error * std::sqrt(sums.xx * sums.yy), ceiling, below);
}

}  // namespace

float GenesComparator::concordanceBound(const Gene& gene1, const Gene& gene2) {
    checkGeneSize(gene1, num_samples_);
    checkGeneSize(gene2, num_samples_);
    return boundOverSharedSamples(gene1, gene2, concordanceCeiling(num_samples_),
                                  -std::numeric_limits<float>::infinity());
}

float GenesComparator::concordanceBound(const Gene& gene1, const Gene& gene2, const GeneTotals& totals1,
                                        const GeneTotals& totals2, float below) {
    checkGeneSize(gene1, num_samples_);
    checkGeneSize(gene2, num_samples_);
    const std::size_t words = gene1.presence.words();
    const std::uint64_t* nonzero1 = gene1.presence.nonzero();
    const std::uint64_t* nonzero2 = gene2.presence.nonzero();
    std::uint64_t shared = 0;
    std::uint64_t unshared = 0;
    for (std::size_t w = 0; w < words; ++w) {
        shared += static_cast<std::uint64_t>(std::popcount(nonzero1[w] & nonzero2[w]));
        unshared += static_cast<std::uint64_t>(std::popcount(nonzero1[w] ^ nonzero2[w]));
    }
    // A vector pass over every sample, plus a step per sample only one gene has, against a step
    // per shared sample: the first pays off where the genes share most of their samples.
    if (num_samples_ / 4 + unshared >= shared) {
        return boundOverSharedSamples(gene1, gene2, concordanceCeiling(num_samples_), below);
    }
    const float* x = gene1.counts.data();
    const float* y = gene2.counts.data();
    // A count is zero where its gene's non-zero bit is clear, so the products over every sample
    // sum those over the shared ones, and each gene's sums over them are its totals less the
    // samples only it has.
    double only_x = 0.0;
    double only_xx = 0.0;
    double only_y = 0.0;
    double only_yy = 0.0;
    forEachSample(
        words, [&](std::size_t w) { return nonzero1[w] & ~nonzero2[w]; },
        [&](std::uint32_t s) {
            only_x += x[s];
            only_xx += static_cast<double>(x[s]) * x[s];
        });
    forEachSample(
        words, [&](std::size_t w) { return nonzero2[w] & ~nonzero1[w]; },
        [&](std::uint32_t s) {
            only_y += y[s];
            only_yy += static_cast<double>(y[s]) * y[s];
        });
    PlainSums sums;
    sums.count = shared;
    sums.x = totals1.sum - only_x;
    sums.xx = totals1.squares - only_xx;
    sums.y = totals2.sum - only_y;
    sums.yy = totals2.squares - only_yy;
    sums.xy = productSum(x, y, num_samples_);
    // Error terms, with N samples, k shared, g = (N + 1) eps and T2 a gene's total of squares
    // (squares of floats are exact in double). Every term is non-negative: each total is
    // within N eps of itself and each part left out is at most the total, so the sum of x and
    // that of x^2 over the shared samples are within 2 g T1 and 2 g T2, and the products'
    // sum within g sqrt(T2 T2'). As T1 <= sqrt(N T2) and the shared sum of x is at most
    // sqrt(k T2), centring adds at most 4 g sqrt(N / k) T2, or sqrt(T2 T2') for the cross
    // sum; the error terms below are twice the total.
    const double num_samples = static_cast<double>(num_samples_);
    const double relative_error =
        8.0 * (num_samples + 2.0) * kEps * (1.0 + std::sqrt(num_samples / static_cast<double>(shared)));
    return boundFromSums(sums, relative_error * totals1.squares, relative_error * totals2.squares,
                         relative_error * std::sqrt(totals1.squares * totals2.squares),
                         concordanceCeiling(num_samples_), below);
}

bool quotientsAreFinite(float largest_count, const ComparisonParameters& parameters) {
    const float dl = parameters.detection_threshold;
    return dl > 0.0f && largest_count / dl < std::numeric_limits<float>::max();
}

double GenesComparator::nonzeroConcordance() const {
    const float* nx = nonzero_x_.data();
    const float* ny = nonzero_y_.data();
    return linConcordanceFromSums([nx](std::size_t i) { return nx[i]; }, [ny](std::size_t i) { return ny[i]; },
                                  result_.num_nonzero_samples, result_.abundance_ratio, nonzero_sum_x_, nonzero_sum_y_);
}

const ComparisonResult& GenesComparator::compare(const Gene& gene1, const Gene& gene2,
                                                 std::uint64_t max_exclusive_samples) {
    if (!estimateRatioAndClassify(gene1, gene2, max_exclusive_samples, false)) return result_;
    result_.concordance = nonzeroConcordance();
    result_.robust_concordance = result_.concordance;
    result_.valid = true;
    return result_;
}

const ComparisonResult& GenesComparator::compareFull(const Gene& gene1, const Gene& gene2) {
    if (compareFullWithoutPValues(gene1, gene2).valid) addPValues();
    return result_;
}

const ComparisonResult& GenesComparator::compareFullWithoutPValues(const Gene& gene1, const Gene& gene2) {
    if (!estimateRatio(gene1, gene2, std::numeric_limits<std::uint64_t>::max())) return result_;
    return completeFullWithoutPValues(gene1, gene2);
}

const ComparisonResult& GenesComparator::completeFullWithoutPValues(const Gene& gene1, const Gene& gene2) {
    if (!classifySamples(gene1, gene2, std::numeric_limits<std::uint64_t>::max(), true)) return result_;
    const float* x = gene1.counts.data();
    const float* y = gene2.counts.data();
    result_.concordance = nonzeroConcordance();
    result_.robust_concordance = result_.concordance;
    // Quartiles need two residuals at least; the settings guarantee five.
    if (result_.num_codetected_samples >= parameters_.min_prevalence_for_outliers &&
        result_.num_codetected_samples >= 2) {
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

    result_.max_outliers = std::min(n - parameters_.min_prevalence_for_outliers, outlierAllowance(n, parameters_));

    // Tukey's fences from the quartiles of the co-detected residuals: the medians of their
    // lower and upper halves.
    const auto [q1, q3] = halfMedians(work, n);
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
        const double inlier_concordance =
            linConcordance([x, inliers](std::size_t i) { return x[inliers[i]]; },
                           [y, inliers](std::size_t i) { return y[inliers[i]]; }, num_inliers, a);
        // A not-a-number inlier concordance fails the comparison and leaves the concordance.
        if (inlier_concordance > result_.concordance) result_.robust_concordance = inlier_concordance;
    }
}

}  // namespace varnosk
