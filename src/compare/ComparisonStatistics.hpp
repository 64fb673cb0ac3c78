#pragma once

#include <cstdint>
#include <vector>

#include <boost/math/distributions/students_t.hpp>

namespace varnosk {

// Student's t distributions for n = 3 .. num_samples sample pairs (n - 2 degrees of
// freedom), built once so that a comparison never constructs a distribution.
class StudentTTable {
public:
    explicit StudentTTable(std::uint32_t num_samples);
    // The distribution for n co-detected samples, 3 <= n <= num_samples.
    const boost::math::students_t_distribution<double>& forSamples(std::uint32_t n) const;
    std::uint32_t numSamples() const { return num_samples_; }

private:
    std::uint32_t num_samples_;
    std::vector<boost::math::students_t_distribution<double>> distributions_;
};

// ln(k!) for k = 0 .. num_samples, as a running sum of logarithms.
class LogFactorialTable {
public:
    explicit LogFactorialTable(std::uint32_t num_samples);
    double operator[](std::uint32_t k) const { return values_[k]; }
    std::uint32_t numSamples() const { return num_samples_; }

private:
    std::uint32_t num_samples_;
    std::vector<double> values_;
};

// One-sided test that the correlation r over n samples is positive (Student's t).
double concordancePValue(const StudentTTable& table, double r, std::uint32_t n);
// One-sided Fisher exact test of more co-presence than under independence.
double cooccurrencePValue(const LogFactorialTable& table, std::uint32_t k11, std::uint32_t k10, std::uint32_t k01,
                          std::uint32_t k00);
// Fisher's method for two p-values (chi-squared, 4 degrees of freedom).
double combinePValues(double p1, double p2);

}  // namespace varnosk
