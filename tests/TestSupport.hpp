#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "matrix/Gene.hpp"

namespace varnosk::test {

// A gene whose counts are already on the square-root scale, with detected samples computed
// against `threshold` (count >= threshold).
Gene makeGene(std::uint64_t id, std::string name, std::vector<float> counts, float threshold);

// The process-wide parameters that comparisons and representatives read. The defaults put the
// detection threshold at 1 on the square-root scale.
struct ComparisonParameters {
    std::uint64_t num_samples = 0;
    double detection_limit = 1.0;
    std::uint64_t min_prevalence = 3;
    std::uint64_t min_prevalence_for_outliers = 5;
    double max_outliers_fraction = 0.0;
    std::uint64_t num_best_representative_genes = 10;
};
void configureComparison(const ComparisonParameters& parameters);

// A fresh, empty directory under the system temporary directory, removed on destruction.
class TempDir {
public:
    explicit TempDir(const std::string& label = "varnosk");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& content);

// Result of running a program: exit status and what it wrote on its two streams.
struct ProcessResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs `command` through /bin/sh, capturing both streams (via files in a temp dir).
ProcessResult runCommand(const std::string& command);

}  // namespace varnosk::test
