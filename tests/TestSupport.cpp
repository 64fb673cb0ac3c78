#include "TestSupport.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace varnosk::test {

Gene makeGene(std::uint64_t id, std::string name, std::vector<float> counts, float threshold) {
    Gene gene;
    gene.id = id;
    gene.name = std::move(name);
    gene.counts = std::move(counts);
    gene.presence.compute(gene.counts, threshold);
    return gene;
}

ComparisonParameters testParameters(std::uint32_t num_samples, double max_outliers_fraction) {
    ComparisonParameters parameters;
    parameters.detection_threshold = 1.0f;
    parameters.min_prevalence = 3;
    parameters.min_prevalence_for_outliers = 5;
    parameters.max_outliers_fraction = max_outliers_fraction;
    parameters.num_samples = num_samples;
    parameters.num_best_representative_genes = 10;
    return parameters;
}

TempDir::TempDir(const std::string& label) {
    static std::atomic<unsigned> counter{0};
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
        auto candidate = base / (label + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Restore permissions that a fault test may have removed, so the tree can be deleted.
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const std::filesystem::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

ProcessResult runCommand(const std::string& command) {
    TempDir capture("varnosk-capture");
    const auto out_path = capture.path() / "stdout";
    const auto err_path = capture.path() / "stderr";
    const std::string full = command + " >" + out_path.string() + " 2>" + err_path.string() + " </dev/null";
    const int raw = std::system(full.c_str());
    ProcessResult result;
    result.status = (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1;
    result.out = readFile(out_path);
    result.err = readFile(err_path);
    return result;
}

}  // namespace varnosk::test
