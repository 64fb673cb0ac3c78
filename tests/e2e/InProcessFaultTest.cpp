// Failures of one rank when the ranks are threads of one process (varnosk-in-process-ranks),
// in every build: the run ends with the status and the one message of a single process.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "E2eSupport.hpp"
#include "TestSupport.hpp"

using varnosk::test::ProcessResult;
using varnosk::test::readFile;
using varnosk::test::writeFile;
using namespace varnosk::e2e;

namespace {

// A hung rank fails the test instead of stalling the suite.
const std::string kTimeLimit = "timeout 120 ";

std::string onRanks(int ranks) { return std::string(VARNOSK_IN_PROCESS_RANKS) + " " + std::to_string(ranks); }

// Runs the example's settings on `matrix` with `shell_prefix` before `program`.
ProcessResult runExample(const std::string& matrix, const std::string& shell_prefix, const std::string& program,
                         std::set<std::string>& files) {
    BinaryRun run(BinaryRun::ExampleSettings{});
    writeFile(run.dir.path() / "matrix.tsv", matrix);
    writeFile(run.settings, withValues(readFile(run.settings),
                                       {{"input.count_matrix_file", (run.dir.path() / "matrix.tsv").string()}}));
    ProcessResult result = varnosk::test::runCommand(shell_prefix + kTimeLimit + program + " " + run.settings.string());
    files = run.files();
    // the output directory differs from run to run: the message names it as "<out>"
    for (std::size_t at; (at = result.err.find(run.out.string())) != std::string::npos;) {
        result.err.replace(at, run.out.string().size(), "<out>");
    }
    return result;
}

}  // namespace

// Of three ranks, the second reads bytes [1/3, 2/3) of the file: the malformed line at 1/2
// is its alone, and its line number must count the root's lines. A file size limit makes the
// root's write of the genes bins fail as on a full disk, while the other ranks go on.
TEST(InProcessFaults, AFailureOnOneRankEndsTheRunWithTheSingleProcessMessageOnce) {
    const std::string text = readFile(kExampleMatrix);
    const std::size_t begin = text.rfind('\n', text.size() / 2) + 1;
    const std::size_t end = text.find('\n', begin);
    const std::string malformed =
        text.substr(0, begin) + text.substr(begin, text.find('\t', begin) - begin) + "\t1\tx\t2" + text.substr(end);
    struct Case {
        std::string label, matrix, file_size_limit;
        int ranks;
    };
    const Case cases[] = {
        {"malformed line read by the second rank", malformed, "", 3},
        {"genes bins table cut short on the root", text, "8", 2},
    };
    for (const Case& c : cases) {
        // the launcher starts no MPI, in either build: the limit is set in the shell
        const bool limited = !c.file_size_limit.empty();
        const std::string ranks_prefix = limited ? "trap '' XFSZ; ulimit -f " + c.file_size_limit + "; " : "";
        std::set<std::string> alone_files;
        const ProcessResult alone =
            runExample(c.matrix, limited ? fileSizeLimit(c.file_size_limit) + " " : "", kBinary, alone_files);
        ASSERT_EQ(alone.status, 255) << c.label << ": " << alone.err;
        ASSERT_TRUE(alone.err.starts_with("error")) << c.label << ": " << alone.err;
        std::set<std::string> files;
        const ProcessResult result = runExample(c.matrix, ranks_prefix, onRanks(c.ranks), files);
        EXPECT_EQ(result.status, 255) << c.label;
        EXPECT_EQ(result.err, alone.err) << c.label;
        EXPECT_EQ(result.out.substr(0, result.out.find("Progress:")), alone.out.substr(0, alone.out.find("Progress:")))
            << c.label;
        EXPECT_EQ(files, alone_files) << c.label;
    }
}
