#pragma once

// What the comparison micro-benchmarks share: the example run's comparison settings, and a
// generated matrix of 4,000 genes (12 species) after the program's preprocessing.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include <unistd.h>

#include "TestSupport.hpp"
#include "compare/ComparisonParameters.hpp"
#include "matrix/CountMatrix.hpp"
#include "matrix/CountMatrixReader.hpp"
#include "matrix/Preprocessing.hpp"

namespace varnosk::bench {

inline ComparisonParameters exampleParameters(std::uint64_t num_samples) {
    Settings settings;
    settings.detection_limit = 6.0;
    settings.min_prevalence = 3;
    settings.min_prevalence_for_outliers = 5;
    settings.max_outliers_fraction = 0.1;
    settings.num_best_representative_genes = 15;
    return comparisonParameters(settings, num_samples);
}

// `options` are further generator options (a prevalence range, for instance).
inline CountMatrix generatedMatrix(std::uint64_t num_samples, const std::string& options = "") {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("varnosk-bench-" + std::to_string(::getpid()) + "-" + std::to_string(num_samples));
    std::filesystem::create_directories(dir);
    const auto path = (dir / "matrix.tsv").string();
    const std::string command = std::string(VARNOSK_GENERATOR) + " --out " + path + " --genes 4000 --samples " +
                                std::to_string(num_samples) + " --species 12 --seed 17 " + options + " >/dev/null";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("matrix generator failed: " + command);
    test::NullProgress progress;
    CountMatrix matrix = readCountMatrix(path, true, progress);
    std::filesystem::remove_all(dir);
    applySqrtTransform(matrix);
    computeSamplePresence(matrix, exampleParameters(num_samples).detection_threshold);
    return matrix;
}

}  // namespace varnosk::bench
