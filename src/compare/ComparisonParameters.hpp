#pragma once

#include <cstdint>

#include "config/Settings.hpp"

namespace varnosk {

// The parameters every gene comparison and every representative profile of a run share.
// Built once by the driver from the settings and the number of samples, then read-only: any
// number of threads may read one record at once.
struct ComparisonParameters {
    // sqrt(genes_comparison.detection_limit) in double precision, rounded to single precision:
    // a count on the square-root scale is detected at or above it.
    float detection_threshold = 0.0f;
    std::uint64_t min_prevalence = 2;
    std::uint64_t min_prevalence_for_outliers = 5;
    double max_outliers_fraction = 0.0;
    // Every gene compared has this many counts; sizes each comparator's scratch space.
    std::uint32_t num_samples = 0;
    // Best-ranked genes behind a representative profile: max(10, the setting).
    std::uint64_t num_best_representative_genes = 10;
};

// Outliers allowed among n co-detected samples: n max_outliers_fraction, rounded half up.
// Never decreases as n grows.
std::uint64_t outlierAllowance(std::uint64_t n, const ComparisonParameters& parameters);

// The detection threshold of a raw detection limit (see detection_threshold).
float detectionThreshold(double detection_limit);

// Throws std::length_error when the samples do not fit in 32-bit indices.
ComparisonParameters comparisonParameters(const Settings& settings, std::uint64_t num_samples);

}  // namespace varnosk
