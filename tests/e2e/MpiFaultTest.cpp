// Failures of one rank under mpirun: every rank must end, none may hang, and the run must end
// with the status, the one message and the files of a single-process run.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <utility>

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

// A hung rank fails the test instead of stalling the suite.
const std::string kTimeLimit = "timeout 300 ";

// The example's matrix with the line that holds byte `share` of the file (or, with
// `first_after`, the first line that starts at or after it) replaced by what `damage` makes of it.
template <typename Damage>
std::string damagedExample(double share, Damage damage, bool first_after = false) {
    const std::string text = readFile(kExampleMatrix);
    const std::size_t at = static_cast<std::size_t>(static_cast<double>(text.size()) * share);
    const std::size_t begin = first_after ? text.find('\n', at - 1) + 1 : text.rfind('\n', at) + 1;
    const std::size_t end = text.find('\n', begin);
    return text.substr(0, begin) + damage(text.substr(begin, end - begin)) + text.substr(end);
}

// A run of the example's settings on `matrix`.
struct ExampleRun : BinaryRun {
    explicit ExampleRun(const std::string& matrix) : BinaryRun(ExampleSettings{}) {
        writeFile(dir.path() / "matrix.tsv", matrix);
        writeFile(settings, withValues(readFile(kExampleDir / "settings.ini"),
                                       {{"input.count_matrix_file", (dir.path() / "matrix.tsv").string()},
                                        {"output.output_dir", out.string()}}));
    }
};

}  // namespace

// Of four ranks, the third reads bytes [1/2, 3/4) of the file: the damaged line at 5/8 is its
// alone, and so is the first line from 1/2 on. The line number must count the lines of the
// other ranks' parts; a short first line of a part must be held to the file's first gene.
TEST(MpiFaults, ErrorOnALineOnlyTheThirdRankReadsEndsEveryRankWithTheSingleProcessMessage) {
    const auto malformed = [](const std::string& line) { return line.substr(0, line.find('\t')) + "\t1\tx\t2"; };
    const auto short_line = [](const std::string& line) { return line.substr(0, line.rfind('\t')); };
    const auto negative = [](const std::string& line) {
        return line.substr(0, line.find('\t')) + "\t-1" + line.substr(line.find('\t', line.find('\t') + 1));
    };
    int cases = 0;
    for (const auto& matrix : {damagedExample(0.625, malformed), damagedExample(0.625, short_line),
                               damagedExample(0.625, negative), damagedExample(0.5, short_line, true)}) {
        ExampleRun alone(matrix);
        const ProcessResult expected = alone.exec(kTimeLimit + mpirunPrefix(1));
        ASSERT_EQ(expected.status, 255) << expected.err;
        ASSERT_EQ(expected.err.rfind("error at line ", 0), 0u) << expected.err;
        for (const int ranks : {3, 4}) {
            ExampleRun run(matrix);
            const ProcessResult result = run.exec(kTimeLimit + mpirunPrefix(ranks));
            EXPECT_EQ(result.status, 255) << ranks << " ranks";
            EXPECT_EQ(result.err, expected.err) << ranks << " ranks";
            EXPECT_EQ(result.out.substr(0, result.out.find("Progress:")),
                      expected.out.substr(0, expected.out.find("Progress:")));
            EXPECT_EQ(run.files(), alone.files()) << ranks << " ranks";
        }
        ++cases;
    }
    EXPECT_EQ(cases, 4);
}

// A file size limit makes the root's writes fail as on a full disk: at 8 KiB the genes bins
// table, while the other ranks go on to the seeds; at 47 KiB the MSP table, after the ranks
// shared MSP creation. The limit is set inside each rank: mpirun's own files need more.
TEST(MpiFaults, WriteFailureOnTheRootEndsEveryRankNamingTheTable) {
    const std::pair<std::string, std::string> limits[] = {{"8", "genes_bins.tsv"}, {"47", "all_msps.tsv"}};
    for (const auto& [limit, table] : limits) {
        BinaryRun alone(BinaryRun::ExampleSettings{});
        const std::string limited = "bash -c 'trap \"\" XFSZ; ulimit -f " + limit + "; exec \"$0\" \"$@\"'";
        const ProcessResult expected = alone.exec(kTimeLimit + mpirunPrefix(1) + limited);
        ASSERT_EQ(expected.status, 255) << expected.err;
        ASSERT_EQ(expected.err, "error: " + (alone.out / table).string() + " could not be written (File too large).\n");
        for (const int ranks : {2, 4}) {
            BinaryRun run(BinaryRun::ExampleSettings{});
            const ProcessResult result = run.exec(kTimeLimit + mpirunPrefix(ranks) + limited);
            EXPECT_EQ(result.status, 255) << limit << " KiB, " << ranks << " ranks";
            // the message names this run's own output directory, then the same table
            EXPECT_EQ(result.err, "error: " + run.out.string() + expected.err.substr(expected.err.rfind('/')))
                << limit << " KiB, " << ranks << " ranks";
            EXPECT_EQ(run.files(), alone.files()) << limit << " KiB, " << ranks << " ranks";
        }
    }
}

// A matrix on a pipe can be opened and read once: by the root, which then reads it alone. No
// other rank may open it (it would take the first bytes, or wait on a named pipe forever).
TEST(MpiFaults, MatrixOnAPipeIsReadByTheRootAloneWhateverItsFormat) {
    TempDir data("varnosk-mpi-data");
    const std::string text = readFile(kExampleMatrix);
    writeFile(data.path() / "no_header.tsv", text.substr(text.find('\n') + 1));
    const fs::path fifo = data.path() / "matrix.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string label, feed, matrix, has_header;
    };
    const std::string example = kExampleMatrix.string(), no_header = (data.path() / "no_header.tsv").string();
    const Case cases[] = {
        {"plain text on standard input", "cat " + example + " |", "/dev/stdin", "true"},
        {"no header on standard input", "cat " + no_header + " |", "/dev/stdin", "false"},
        {"gzip on standard input", "gzip -c " + example + " |", "/dev/stdin", "true"},
        {"named pipe", "cat " + example + " > " + fifo.string() + " &", fifo.string(), "true"},
    };
    for (const Case& c : cases) {
        const std::string file = c.has_header == "true" ? example : no_header;
        ExampleRun alone(readFile(file));
        writeFile(alone.settings,
                  withValues(readFile(alone.settings), {{"input.count_matrix_has_header", c.has_header}}));
        ASSERT_EQ(alone.exec(kTimeLimit + mpirunPrefix(1)).status, 0) << c.label;
        ExampleRun run(readFile(file));
        writeFile(run.settings, withValues(readFile(run.settings), {{"input.count_matrix_file", c.matrix},
                                                                    {"input.count_matrix_has_header", c.has_header}}));
        const ProcessResult result = runCommand("(" + c.feed + " " + kTimeLimit + mpirunPrefix(2) + kBinary + " " +
                                                run.settings.string() + "; status=$?; wait; exit $status)");
        ASSERT_EQ(result.status, 0) << c.label << ": " << result.err;
        for (const auto& table : kTables) {
            EXPECT_EQ(readFile(run.out / table), readFile(alone.out / table)) << c.label << ": " << table;
        }
    }
}

// Ranks that do not see the same file at the matrix path (a stale copy, another format, a
// pipe: a file system not shared alike) must not split it: every rank stops with one message.
TEST(MpiFaults, RanksThatSeeDifferentFilesStopBeforeSplittingIt) {
    const std::string text = readFile(kExampleMatrix);
    const std::pair<std::string, std::string> seen_by_rank_one[] = {
        {"gzip -c " + kExampleMatrix.string() + " > matrix.tsv", "gzip, [0-9]+ bytes"},
        {"head -c 1000 " + kExampleMatrix.string() + " > matrix.tsv", "plain text, 1000 bytes"},
        {"mkfifo matrix.tsv", "no regular file"},
    };
    for (const auto& [make, described] : seen_by_rank_one) {
        BinaryRun run(BinaryRun::ExampleSettings{});
        // each rank runs in a folder of its own, where the relative path names its own file
        for (const std::string rank : {"0", "1"}) fs::create_directory(run.dir.path() / rank);
        writeFile(run.dir.path() / "0" / "matrix.tsv", text);
        ASSERT_EQ(runCommand("(cd " + (run.dir.path() / "1").string() + " && " + make + ")").status, 0);
        writeFile(run.settings, withValues(readFile(run.settings), {{"input.count_matrix_file", "matrix.tsv"}}));
        const ProcessResult result =
            runCommand(kTimeLimit + mpirunPrefix(2) + "sh -c 'cd " + run.dir.path().string() +
                       "/$OMPI_COMM_WORLD_RANK && exec \"$0\" \"$1\"' " + kBinary + " " + run.settings.string());
        EXPECT_EQ(result.status, 255) << make;
        const std::regex message(
            "error: matrix.tsv is not the same file for every process: process 0 sees plain text, " +
            std::to_string(text.size()) + " bytes, modified [0-9T:Z-]+, process 1 " + described +
            "(, modified [0-9T:Z-]+)?\\. Put the matrix on a file system that every process shares\\.\n");
        EXPECT_TRUE(std::regex_match(result.err, message)) << make << ": " << result.err;
        EXPECT_EQ(run.files(), (std::set<std::string>{"application_settings.ini", "execution_description.ini"}))
            << make;
    }
}
