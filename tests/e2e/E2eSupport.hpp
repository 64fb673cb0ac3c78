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
// The stage names of the time report at the end of standard output.
std::vector<std::string> timeReportNames(const std::string& out);

MspTable readMsps(const fs::path& file);

// A shell prefix for BinaryRun::exec that limits the files the binary writes to `blocks` of
// 512 bytes, so that writes fail as on a full disk (the signal it would raise is ignored). The
// MPI build runs as one rank of mpirun, the limit set inside the rank: MPI's own start-up
// files need more.
std::string fileSizeLimit(const std::string& blocks);

#ifdef VARNOSK_MPI
// "mpirun ... -np <ranks> " for a command line: quiet, so that standard error holds only what
// the ranks write; more ranks than cores; as root, which Open MPI refuses unless told.
std::string mpirunPrefix(int ranks);
#endif

inline const std::vector<std::string> kTables = {
    "genes_filtered_out.tsv", "genes_bins.tsv", "all_seeds.tsv",     "all_merged_seeds.tsv",
    "all_core_seeds.tsv",     "all_msps.tsv",   "msp_abundance.tsv", "msp_relative_abundance.tsv",
    "msp_summary.tsv"};

}  // namespace varnosk::e2e
