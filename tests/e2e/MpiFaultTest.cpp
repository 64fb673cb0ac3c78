// Failures of one rank under mpirun: every rank must end, none may hang, and the run must end
// with the status, the one message and the files of a single-process run.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

#include "E2eSupport.hpp"
#include "TestSupport.hpp"

namespace fs = std::filesystem;
using varnosk::test::ProcessResult;
using varnosk::test::readFile;
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
    const auto negative = [](const std::string& line) { return line.substr(0, line.find('\t')) + "\t-1" +
                                                               line.substr(line.find('\t', line.find('\t') + 1)); };
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
