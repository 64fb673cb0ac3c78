// Runs the real binary on the golden cases (tests/e2e/cases/README.md) and compares every file
// it writes with tests/e2e/expected/<case>/ byte for byte. With VARNOSK_UPDATE_GOLDEN=1 the
// expected files are rewritten instead: only for an intended change of output.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "E2eSupport.hpp"
#include "TestSupport.hpp"

namespace fs = std::filesystem;
using varnosk::test::ProcessResult;
using varnosk::test::readFile;
using varnosk::test::runCommand;
using varnosk::test::TempDir;
using varnosk::test::writeFile;
using namespace varnosk::e2e;

namespace {

const fs::path kCases = fs::path(VARNOSK_SOURCE_DIR) / "tests" / "e2e" / "cases";
const fs::path kExpected = fs::path(VARNOSK_SOURCE_DIR) / "tests" / "e2e" / "expected";
const std::string kInProcessRanks = VARNOSK_IN_PROCESS_RANKS;

// Record the host and the clock (the report shows stage times): checked by their own
// tests, not pinned here.
const std::set<std::string> kUnpinned = {"execution_description.ini", "report.html"};

bool updating() {
    const char* value = std::getenv("VARNOSK_UPDATE_GOLDEN");
    return value != nullptr && std::string(value) == "1";
}

// The settings of a case with the matrix and output paths pointing into the run folder. The
// example case takes the bundled example's own settings.
std::string caseSettings(const std::string& name) {
    const fs::path source = name == "example" ? kExampleDir / "settings.ini" : kCases / name / "settings.ini";
    return withValues(readFile(source), {{"input.count_matrix_file", "matrix.tsv"}, {"output.output_dir", "out"}});
}

fs::path caseMatrix(const std::string& name) {
    return name == "example" ? kExampleMatrix : kCases / name / "matrix.tsv";
}

std::set<std::string> fileNames(const fs::path& dir) {
    std::set<std::string> names;
    if (!fs::exists(dir)) return names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
    return names;
}

// Empty when equal; otherwise where the two texts first differ, with both lines.
std::string firstDifference(const std::string& expected, const std::string& actual) {
    std::istringstream e(expected);
    std::istringstream a(actual);
    std::string expected_line;
    std::string actual_line;
    for (std::size_t number = 1;; ++number) {
        const bool more_expected = static_cast<bool>(std::getline(e, expected_line));
        const bool more_actual = static_cast<bool>(std::getline(a, actual_line));
        if (!more_expected && !more_actual) break;
        if (more_expected != more_actual || expected_line != actual_line) {
            return "first difference at line " + std::to_string(number) +
                   "\n  expected: " + (more_expected ? expected_line : "<end of file>") +
                   "\n  actual:   " + (more_actual ? actual_line : "<end of file>");
        }
    }
    // Same lines: the texts differ in the final line feed only.
    return expected == actual ? "" : "the files differ in their final line feed";
}

// The case's other inputs (an MSP set, gene lineages), which its settings name by file name.
void copyCaseInputs(const std::string& name, const fs::path& dir) {
    if (!fs::is_directory(kCases / name)) return;
    for (const auto& entry : fs::directory_iterator(kCases / name)) {
        const std::string file = entry.path().filename().string();
        if (file != "settings.ini" && file != "matrix.tsv") fs::copy_file(entry.path(), dir / file);
    }
}

// A case whose settings have [profile] runs `varnosk profile`.
std::string caseCommand(const std::string& settings) {
    return settings.find("\n[profile]\n") == std::string::npos ? " settings.ini" : " profile settings.ini";
}

// Runs a case in a fresh folder whose matrix.tsv `place_matrix` writes, and compares (or,
// when updating, rewrites) every file but the unpinned ones. `program` is the command that
// takes the settings file: the binary, or a launcher of ranks and the binary. Returns
// standard output.
template <typename PlaceMatrix>
std::string runCase(const std::string& name, int threads, const std::string& label, PlaceMatrix place_matrix,
                    const std::string& program = kBinary) {
    const fs::path expected_dir = kExpected / name;
    TempDir dir("varnosk-golden");
    place_matrix(dir.path() / "matrix.tsv");
    copyCaseInputs(name, dir.path());
    fs::create_directory(dir.path() / "out");
    const std::string settings = caseSettings(name);
    writeFile(dir.path() / "settings.ini", settings);
    const ProcessResult result = runCommand("cd '" + dir.str() + "' && OMP_NUM_THREADS=" + std::to_string(threads) +
                                            " " + program + caseCommand(settings));
    EXPECT_EQ(result.status, 0) << label << ": " << result.err;
    EXPECT_EQ(result.err, "") << label;
    if (result.status != 0) return result.out;

    std::set<std::string> written = fileNames(dir.path() / "out");
    for (const std::string& unpinned : kUnpinned) EXPECT_EQ(written.erase(unpinned), 1u) << label << ": " << unpinned;
    if (updating()) {
        fs::remove_all(expected_dir);
        fs::create_directories(expected_dir);
        for (const auto& file : written) fs::copy_file(dir.path() / "out" / file, expected_dir / file);
        return result.out;
    }
    EXPECT_EQ(written, fileNames(expected_dir)) << label;
    for (const auto& file : written) {
        if (!fs::exists(expected_dir / file)) continue;
        const std::string difference =
            firstDifference(readFile(expected_dir / file), readFile(dir.path() / "out" / file));
        if (!difference.empty()) ADD_FAILURE() << label << ": " << name << "/" << file << ": " << difference;
    }
    return result.out;
}

class GoldenTables : public testing::TestWithParam<std::string> {};

TEST_P(GoldenTables, EveryFileMatchesAtOneTwoAndFourThreads) {
    const std::string name = GetParam();
    for (const int threads : {1, 2, 4}) {
        runCase(name, threads, name + " at " + std::to_string(threads) + " threads",
                [&](const fs::path& matrix) { fs::copy_file(caseMatrix(name), matrix); });
        if (updating()) return;
    }
}

// Each format compresses one case at test time, under the case's own file name (the format
// is told by its content): every file must be the plain text's, the recorded settings too.
TEST(CompressedGoldenTables, EveryFormatGivesThePlainTextFiles) {
    if (updating()) GTEST_SKIP() << "the plain-text cases set the expected files";
    const std::pair<std::string, std::string> cases[] = {{"gzip", "example"},
                                                         {"bzip2", "planted"},
                                                         {"xz", "crlf_no_header_no_bins"},
                                                         {"zstd", "zero_sample_normalized"}};
    for (const auto& [tool, name] : cases) {
        if (runCommand("command -v " + tool).status != 0) {
            ADD_FAILURE() << tool << " is not installed (scripts/install-dependencies.sh installs it)";
            continue;
        }
        runCase(name, 2, tool + "-compressed " + name, [&](const fs::path& matrix) {
            const ProcessResult compressed =
                runCommand("(" + tool + " -c '" + caseMatrix(name).string() + "' > '" + matrix.string() + "')");
            ASSERT_EQ(compressed.status, 0) << compressed.err;
        });
    }
}

#ifdef VARNOSK_MPI
// The MPI build under mpirun: every number of ranks, with one or two threads each, writes the
// tables of one process and times the same stages. Ranks outnumber the cores here.
TEST_P(GoldenTables, EveryFileMatchesUnderMpirunAtOneToFourRanks) {
    if (updating()) GTEST_SKIP() << "the single-process runs set the expected files";
    const std::string name = GetParam();
    std::vector<std::string> stages;
    for (const int ranks : {1, 2, 3, 4}) {
        for (const int threads : {1, 2}) {
            const std::string label =
                name + " at " + std::to_string(ranks) + " ranks x " + std::to_string(threads) + " threads";
            const std::string out = runCase(
                name, threads, label, [&](const fs::path& matrix) { fs::copy_file(caseMatrix(name), matrix); },
                mpirunPrefix(ranks) + kBinary);
            const std::vector<std::string> names = timeReportNames(out);
            EXPECT_FALSE(names.empty()) << label;
            if (stages.empty()) stages = names;
            EXPECT_EQ(names, stages) << label;
        }
    }
}

// A compressed matrix is read by the root alone, which then sends each bin to its owner: the
// same tables.
TEST(CompressedGoldenTables, GzipUnderMpirunGivesThePlainTextFiles) {
    if (updating()) GTEST_SKIP() << "the plain-text cases set the expected files";
    runCase(
        "planted", 1, "gzip-compressed planted at 3 ranks",
        [&](const fs::path& matrix) {
            const ProcessResult compressed =
                runCommand("(gzip -c '" + caseMatrix("planted").string() + "' > '" + matrix.string() + "')");
            ASSERT_EQ(compressed.status, 0) << compressed.err;
        },
        mpirunPrefix(3) + kBinary);
}
#endif

// The ranks as threads of one process, in every build: the same splitting, exchanges and
// merges as under mpirun, each number of ranks writing the tables of one process and timing
// the same stages.
TEST_P(GoldenTables, EveryFileMatchesOnOneToFourInProcessRanks) {
    if (updating()) GTEST_SKIP() << "the single-process runs set the expected files";
    const std::string name = GetParam();
    std::vector<std::string> stages;
    for (const auto& [ranks, threads] : {std::pair{1, 1}, {2, 1}, {2, 2}, {3, 1}, {4, 1}}) {
        const std::string label =
            name + " at " + std::to_string(ranks) + " in-process ranks x " + std::to_string(threads) + " threads";
        const std::string out = runCase(
            name, threads, label, [&](const fs::path& matrix) { fs::copy_file(caseMatrix(name), matrix); },
            kInProcessRanks + " " + std::to_string(ranks));
        const std::vector<std::string> names = timeReportNames(out);
        EXPECT_FALSE(names.empty()) << label;
        if (stages.empty()) stages = names;
        EXPECT_EQ(names, stages) << label;
    }
}

// The root alone reads a compressed matrix and sends each bin to its owner.
TEST(CompressedGoldenTables, GzipOnInProcessRanksGivesThePlainTextFiles) {
    if (updating()) GTEST_SKIP() << "the plain-text cases set the expected files";
    runCase(
        "planted", 1, "gzip-compressed planted at 3 in-process ranks",
        [&](const fs::path& matrix) {
            const ProcessResult compressed =
                runCommand("(gzip -c '" + caseMatrix("planted").string() + "' > '" + matrix.string() + "')");
            ASSERT_EQ(compressed.status, 0) << compressed.err;
        },
        kInProcessRanks + " 3");
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenTables,
                         testing::Values("example", "planted", "crlf_no_header_no_bins", "zero_sample_normalized",
                                         "identical_genes", "profile_example"),
                         [](const testing::TestParamInfo<std::string>& param) { return param.param; });

}  // namespace
