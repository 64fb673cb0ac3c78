#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/ProgressSink.hpp"
#include "compare/ComparisonParameters.hpp"
#include "matrix/Gene.hpp"

namespace varnosk::test {

// A gene whose counts are already on the square-root scale, with detected samples computed
// against `threshold` (count >= threshold).
Gene makeGene(std::uint64_t id, std::string name, std::vector<float> counts, float threshold);

// Comparison parameters for tests: detection threshold 1 on the square-root scale, three
// co-detected samples, five before outliers are discounted, ten best genes.
ComparisonParameters testParameters(std::uint32_t num_samples, double max_outliers_fraction = 0.0);

// Discards every report.
class NullProgress final : public ProgressSink {
public:
    void update(std::uint64_t, std::uint64_t) override {}
};

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
