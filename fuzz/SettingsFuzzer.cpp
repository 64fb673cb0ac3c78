// Feeds arbitrary bytes to settings loading as the settings file. Loading must either return
// validated settings or throw one error whose message is not empty.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>

#include "config/SettingsLoader.hpp"

namespace {

const std::string& scratchPath() {
    static const std::string path = "/tmp/varnosk-fuzz-settings-" + std::to_string(::getpid()) + ".ini";
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The seed corpus names these: a readable matrix and an empty output directory.
    std::filesystem::create_directories("/tmp/varnosk-fuzz-empty");
    std::ofstream("/tmp/varnosk-fuzz-matrix.tsv") << "g1\t1\t2\t3\n";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream file(scratchPath(), std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    try {
        const varnosk::Settings settings = varnosk::loadSettings(scratchPath());
        // Validated settings keep their invariants.
        if (settings.min_prevalence < 2 || settings.seeds_min_seed_size < settings.num_best_representative_genes ||
            settings.merging_min_seed_size < settings.seeds_min_seed_size ||
            !(settings.max_outliers_fraction >= 0.0 && settings.max_outliers_fraction <= 0.5) ||
            (settings.normalize_counts && !settings.bins_enabled)) {
            std::abort();
        }
    } catch (const std::exception& error) {
        if (std::string(error.what()).empty()) std::abort();
    }
    return 0;
}
