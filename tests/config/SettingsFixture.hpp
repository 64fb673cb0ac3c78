#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.hpp"

namespace varnosk::test {

// A complete, valid settings file in a temporary directory, with a real count matrix and an
// empty output directory; any key can be changed or dropped before the file is written.
class SettingsFixture {
public:
    SettingsFixture() : matrix_(dir_.path() / "matrix.tsv"), output_(dir_.path() / "out") {
        writeFile(matrix_, "gene\ts1\ts2\ng1\t1\t2\n");
        std::filesystem::create_directory(output_);
        sections_ = {
            {"input", {{"count_matrix_file", matrix_.string()}, {"count_matrix_has_header", "true"}}},
            {"genes_comparison",
             {{"detection_limit", "7"},
              {"min_prevalence", "3"},
              {"min_prevalence_for_outliers", "6"},
              {"max_outliers_fraction", "0.1"}}},
            {"genes_bins_creation", {{"enabled", "true"}, {"normalize_counts", "true"}}},
            {"seeds_creation",
             {{"num_best_representative_genes", "12"}, {"min_concordance", "0.9"}, {"min_seed_size", "20"}}},
            {"seeds_merging", {{"min_concordance", "0.8"}, {"min_seed_size", "25"}}},
            {"msp_creation", {{"min_concordance", "0.75"}, {"min_robust_concordance", "0.6"}}},
            {"output", {{"output_dir", output_.string()}, {"print_genes_bins", "false"}, {"print_seeds", "true"}}},
        };
    }

    // Sets "section.key" to value; std::nullopt removes the key from the file.
    SettingsFixture& set(const std::string& dotted_key, std::optional<std::string> value) {
        const auto dot = dotted_key.find('.');
        const std::string section = dotted_key.substr(0, dot);
        const std::string key = dotted_key.substr(dot + 1);
        for (auto& [name, entries] : sections_) {
            if (name != section) continue;
            for (auto it = entries.begin(); it != entries.end(); ++it) {
                if (it->first != key) continue;
                if (value) it->second = *value;
                else entries.erase(it);
                return *this;
            }
        }
        throw std::logic_error("no such key in the fixture: " + dotted_key);
    }

    std::string text() const {
        std::string out = "# test settings\n";
        for (const auto& [name, entries] : sections_) {
            out += "\n[" + name + "]\n";
            for (const auto& [key, value] : entries) out += key + " = " + value + "\n";
        }
        return out;
    }

    // Writes the file (plus `extra` appended verbatim) and returns its path.
    std::string write(const std::string& extra = "") const {
        const auto path = dir_.path() / "settings.ini";
        writeFile(path, text() + extra);
        return path.string();
    }

    const std::filesystem::path& root() const { return dir_.path(); }
    std::string matrix() const { return matrix_.string(); }
    std::string outputDir() const { return output_.string(); }

private:
    TempDir dir_{"varnosk-settings"};
    std::filesystem::path matrix_;
    std::filesystem::path output_;
    std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> sections_;
};

}  // namespace varnosk::test
