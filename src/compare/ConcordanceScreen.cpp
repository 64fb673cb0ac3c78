#include "compare/ConcordanceScreen.hpp"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "compare/PlainSums.hpp"

namespace varnosk {

// Why the screen never turns away a pair that compareFull would let through.
//
// At abundance ratio a > 0, compareFull takes Lin's concordance over a set J of samples where
// both genes are non-zero. With u = a x, v = y, sums over J centred on J's own means, and the
// residuals e = v - u of the proportional fit:
//     CCC(J) = 2 Suv / (Suu + Svv + (|J| - 1) mean(e)^2).
// As Suu + Svv = See + 2 Suv, and See + (|J| - 1) mean(e)^2 = sum(e^2) - mean(e)^2, for any
// threshold 0 < t < 1, with b = 2 (1 - t) / t:
//     CCC(J) >= t  implies  b Suv(J) >= sum_J(e^2) - mean_J(e)^2.                       (1)
// The concordance is CCC(N) over the set N of samples where both are non-zero. The robust
// concordance is the concordance or CCC(J) over the inliers J: at least two samples of N,
// which keep every sample where both counts exceed the detection threshold, save fewer than
// the allowed outliers. (Such a sample outside the fences always counts: one of the two final
// thresholds is the detection threshold, t1 when the ratio is at least 1, t2 otherwise.) The
// allowance never falls as the co-detected samples grow, and they are among the m candidates,
// so J misses at most
//     k = allowance(m) - 1 + |{s in N: a count at most the detection threshold}|
// samples of N; with no allowance the robust concordance is the concordance. For each such J:
//   - mean_J(e)^2 <= sum_J(e^2) / |J|, and |J| >= |N| - k;
//   - sum_J(e^2) >= sum_N(e^2) - top_k, the sum of the k largest e^2 of N;
//   - Suv(J) = a Sxy(J) <= a sqrt(Sxx(J) Syy(J)) <= a sqrt(Sxx(N) Syy(N)): centring on J's
//     own mean gives J its least sum of squares, and J lies within N.
// So, with f = 1 - 1 / (|N| - k),
//     f (sum_N(e^2) - top_k) > b a sqrt(Sxx(N) Syy(N))                                   (2)
// breaks (1) for every J the outlier step may keep, and for N (k >= 0). top_k needs no
// selection: any k of the values sum to at most k theta + sum (e^2 - theta)+ for every
// theta >= 0, each value being at most theta plus its excess over theta.
//
// Rounding. Each threshold is lowered by kMargin, and (2) must hold by a slack of (1 + b) kappa S,
// with S = sum_N(v^2 + u^2) and kappa = 1e-7 (|N| + 100). The centred sums are taken from plain
// ones: each is within some 10 |N| eps S of its exact value, and the square root of their
// product within sqrt(20 |N| eps) S, far inside the slack, so (2) holds exactly. The slack also keeps
// sum_J(e^2) - mean_J(e)^2 above kappa S, and the comparator's denominator, which is at least
// half of it (Suu + Svv >= See / 2), above kappa S / 2. The comparator's own sums are as close
// to exact, which moves its concordance by less than kMargin: it stays below the threshold.

namespace {

constexpr double kMargin = 1e-6;
constexpr double kSlackPerSample = 1e-7;
constexpr double kSlackSamples = 100.0;
// Multiples of the mean squared residual tried as theta for top_k.
constexpr double kThetaFactors[] = {0.5, 1.0, 2.0, 4.0, 8.0};

bool screensAt(double threshold) { return threshold > 0.0 && threshold < 1.0; }

double slope(double threshold) { return 2.0 * (1.0 - threshold) / threshold; }

}  // namespace

ConcordanceScreen::ConcordanceScreen(const ComparisonParameters& parameters, double min_concordance,
                                     double min_robust_concordance)
    : parameters_(parameters),
      min_concordance_(min_concordance),
      min_robust_concordance_(min_robust_concordance),
      residuals_(parameters.num_samples) {}

bool ConcordanceScreen::mayMeetThresholds(const Gene& gene1, const Gene& gene2, const RatioEstimate& estimate) {
    const double a = estimate.ratio;
    const double concordance_threshold = min_concordance_ - kMargin;
    const double robust_threshold = min_robust_concordance_ - kMargin;
    if (!(a > 0.0 && std::isfinite(a)) || !screensAt(concordance_threshold) || !screensAt(robust_threshold) ||
        gene1.counts.size() != residuals_.size() || gene2.counts.size() != residuals_.size()) {
        return true;
    }
    const float dl = parameters_.detection_threshold;
    const std::size_t words = gene1.presence.words();
    const std::uint64_t* nonzero1 = gene1.presence.nonzero();
    const std::uint64_t* nonzero2 = gene2.presence.nonzero();
    const float* x = gene1.counts.data();
    const float* y = gene2.counts.data();
    double* squares = residuals_.data();

    // One pass over N: plain sums (the slack covers their cancellation), the residuals, and
    // the samples the outlier step may drop freely.
    PlainSums sums;
    std::size_t num_clear = 0;
    double sum_e = 0.0;
    double sum_ee = 0.0;
    forEachSample(
        words, [&](std::size_t w) { return nonzero1[w] & nonzero2[w]; },
        [&](std::uint32_t s) {
            const double xs = x[s];
            const double ys = y[s];
            const double e = ys - a * xs;
            squares[sums.count] = e * e;
            sums.add(xs, ys);
            num_clear += (x[s] > dl) & (y[s] > dl);
            sum_e += e;
            sum_ee += e * e;
        });
    const std::size_t n = sums.count;
    if (n < 2) return true;
    const double count = static_cast<double>(n);
    const double slack = kSlackPerSample * (count + kSlackSamples) * (sums.yy + a * a * sums.xx);
    const double mean_e = sum_e / count;
    const double unexplained = sum_ee - mean_e * mean_e;  // sum_N(e^2) - mean_N(e)^2
    const double centred_xx = sums.centredXX();
    const double centred_yy = sums.centredYY();
    const double centred_xy = sums.centredXY();

    // (1) over N itself, at each threshold.
    const auto fails_over_all = [&](double threshold) {
        return unexplained > slope(threshold) * a * centred_xy + (1.0 + slope(threshold)) * slack;
    };
    if (!fails_over_all(concordance_threshold)) return true;
    if (!fails_over_all(robust_threshold)) return true;

    const std::uint64_t allowance = outlierAllowance(estimate.num_candidates, parameters_);
    if (allowance == 0) return false;
    const std::size_t k = static_cast<std::size_t>(allowance - 1) + (n - num_clear);
    if (n < k + 2) return true;
    // Each theta's excess in its own sum, side by side.
    constexpr std::size_t kNumThetas = std::size(kThetaFactors);
    const double mean_square = sum_ee / count;
    double theta[kNumThetas];
    double excess[kNumThetas] = {};
    for (std::size_t j = 0; j < kNumThetas; ++j) theta[j] = kThetaFactors[j] * mean_square;
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < kNumThetas; ++j) excess[j] += std::max(squares[i] - theta[j], 0.0);
    }
    double top_k = sum_ee;
    for (std::size_t j = 0; j < kNumThetas; ++j) {
        top_k = std::min(top_k, static_cast<double>(k) * theta[j] + excess[j]);
    }
    const double f = 1.0 - 1.0 / static_cast<double>(n - k);
    const double spread = std::sqrt(std::max(centred_xx, 0.0) * std::max(centred_yy, 0.0));
    const double b = slope(robust_threshold);
    return !(f * (sum_ee - top_k) > b * a * spread + (1.0 + b) * slack);
}

}  // namespace varnosk
