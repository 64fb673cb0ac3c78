#pragma once

// Shared by the tests that run the real binary.
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "TestSupport.hpp"

namespace varnosk::e2e {

namespace fs = std::filesystem;

inline const std::string kBinary = VARNOSK_BINARY;
inline const fs::path kData = VARNOSK_TEST_DATA_DIR;
inline const fs::path kExampleDir = fs::path(VARNOSK_SOURCE_DIR) / "examples";
inline const fs::path kExampleMatrix = kExampleDir / "matrix.tsv";

// "section.key" -> value
using Overrides = std::map<std::string, std::string>;

// `settings_text` with the values of `overrides` in place of its own; every key must be there.
std::string withValues(const std::string& settings_text, const Overrides& overrides);

// A run in a temporary folder: the settings file sits beside an empty "out" directory.
struct BinaryRun {
    test::TempDir dir{"varnosk-e2e"};
    fs::path out = dir.path() / "out";
    fs::path settings = dir.path() / "settings.ini";

    // The test settings on `matrix`.
    explicit BinaryRun(const fs::path& matrix, Overrides overrides = {});
    // The bundled example's own settings, pointed at this run's output directory.
    struct ExampleSettings {};
    explicit BinaryRun(ExampleSettings);

    // Runs the binary; `shell_prefix` goes before it (variables, ulimit, ...).
    test::ProcessResult exec(const std::string& shell_prefix = "") const;
    std::set<std::string> files() const;
};

// MSP name -> (category -> gene names) from all_msps.tsv.
using MspTable = std::map<std::string, std::map<std::string, std::set<std::string>>>;
MspTable readMsps(const fs::path& file);

inline const std::vector<std::string> kTables = {"genes_filtered_out.tsv", "genes_bins.tsv",
                                                 "all_seeds.tsv",          "all_merged_seeds.tsv",
                                                 "all_core_seeds.tsv",     "all_msps.tsv",
                                                 "msp_abundance.tsv",      "msp_relative_abundance.tsv",
                                                 "msp_summary.tsv"};

}  // namespace varnosk::e2e
