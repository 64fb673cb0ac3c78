#include "compare/ComparisonStatistics.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include <boost/math/distributions/chi_squared.hpp>

namespace varnosk {

namespace {

constexpr double kEpsilon = std::numeric_limits<double>::epsilon();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Fisher's method for two p-values: -2 (ln p1 + ln p2) follows chi-squared with 4 degrees
// of freedom. Immutable once built, so every thread may share it.
const boost::math::chi_squared_distribution<double>& chiSquared4() {
    static const boost::math::chi_squared_distribution<double> distribution(4.0);
    return distribution;
}

}  // namespace

StudentTTable::StudentTTable(std::uint32_t num_samples) : num_samples_(num_samples) {
    if (num_samples < 3) return;
    distributions_.reserve(num_samples - 2);
    for (std::uint32_t n = 3; n <= num_samples; ++n) {
        distributions_.emplace_back(static_cast<double>(n - 2));
    }
}

const boost::math::students_t_distribution<double>& StudentTTable::forSamples(std::uint32_t n) const {
    return distributions_[n - 3];
}

LogFactorialTable::LogFactorialTable(std::uint32_t num_samples)
    : num_samples_(num_samples), values_(static_cast<std::size_t>(num_samples) + 1, 0.0) {
    // A running sum of logarithms rather than lgamma: cheap, and the same value on every
    // platform whatever its gamma implementation.
    for (std::uint32_t k = 1; k <= num_samples; ++k) {
        values_[k] = values_[k - 1] + std::log(static_cast<double>(k));
    }
}

double concordancePValue(const StudentTTable& table, double r, std::uint32_t n) {
    if (std::isnan(r) || n <= 2) return kNaN;
    // Rounding can push a perfect concordance slightly past +-1, where 1 - r^2 turns
    // negative and the t statistic would be not-a-number: treat it as the bound itself.
    if (r >= 1.0 || std::fabs(r - 1.0) <= kEpsilon) return 0.0;
    if (r <= -1.0 || std::fabs(r + 1.0) <= kEpsilon) return 1.0;
    // t test of a correlation coefficient with n - 2 degrees of freedom, one-sided (r > 0).
    const double t = r * std::sqrt(static_cast<double>(n - 2)) / std::sqrt(1.0 - r * r);
    return 1.0 - boost::math::cdf(table.forSamples(n), t);
}

double cooccurrencePValue(const LogFactorialTable& table, std::uint32_t k11, std::uint32_t k10, std::uint32_t k01,
                          std::uint32_t k00) {
    const std::uint32_t total = k11 + k10 + k01 + k00;
    // Fisher's exact test, one-sided: the hypergeometric probabilities of every table with
    // the observed margins and at least k11 co-presences, summed from the observed one.
    const double margins = table[k11 + k10] + table[k01 + k00] + table[k11 + k01] + table[k10 + k00];
    const std::uint32_t last = std::min(k10, k01);
    double p = 0.0;
    for (std::uint32_t i = 0; i <= last; ++i) {
        p += std::exp(margins - table[k11 + i] - table[k10 - i] - table[k01 - i] - table[k00 + i] - table[total]);
    }
    return p;
}

double combinePValues(double p1, double p2) {
    if (std::isnan(p1) || std::isnan(p2)) return kNaN;
    double x = -2.0 * (std::log(p1) + std::log(p2));
    if (std::isnan(x)) return kNaN;  // a negative p-value; the cdf would throw on it
    if (x <= 0.0) x = 0.0;
    if (std::isinf(x)) return 0.0;
    return 1.0 - boost::math::cdf(chiSquared4(), x);
}

}  // namespace varnosk
