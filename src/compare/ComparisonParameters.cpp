#include "compare/ComparisonParameters.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace varnosk {

namespace {

// Below this group size the first gene stands for a group and nothing is ranked.
constexpr std::uint64_t kMinBestRepresentativeGenes = 10;

}  // namespace

float detectionThreshold(double detection_limit) { return static_cast<float>(std::sqrt(detection_limit)); }

std::uint64_t outlierAllowance(std::uint64_t n, const ComparisonParameters& parameters) {
    return static_cast<std::uint64_t>(std::floor(static_cast<double>(n) * parameters.max_outliers_fraction + 0.5));
}

ComparisonParameters comparisonParameters(const Settings& settings, std::uint64_t num_samples) {
    if (num_samples > std::numeric_limits<std::uint32_t>::max()) {
        throw std::length_error("error: too many samples (" + std::to_string(num_samples) + ") to compare genes.");
    }
    ComparisonParameters parameters;
    parameters.detection_threshold = detectionThreshold(settings.detection_limit);
    parameters.min_prevalence = settings.min_prevalence;
    parameters.min_prevalence_for_outliers = settings.min_prevalence_for_outliers;
    parameters.max_outliers_fraction = settings.max_outliers_fraction;
    parameters.num_samples = static_cast<std::uint32_t>(num_samples);
    parameters.num_best_representative_genes =
        std::max(kMinBestRepresentativeGenes, settings.num_best_representative_genes);
    return parameters;
}

}  // namespace varnosk
