// Hostile inputs and failing environments, run through the real binary: every case must end
// with the exact status, the exact message and only the files it had finished writing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

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

const std::set<std::string> kRunRecords = {"application_settings.ini", "execution_description.ini"};

bool sanitizedBuild() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#else
    return false;
#endif
}

}  // namespace

TEST(Faults, UnwritableOutputDirectoryEndsTheRunNamingTheFile) {
    // Permissions do not stop root, so as root the run is made by an unprivileged user, for
    // whom the root-owned output directory is not writable. That user may not reach the
    // source tree (a checkout under /root, say): the binary and the matrix are copied beside
    // the settings, into a folder everyone can read.
    const bool as_root = ::geteuid() == 0;
    if (as_root && runCommand("command -v setpriv").status != 0) GTEST_SKIP() << "running as root without setpriv";
    TempDir data("varnosk-fault-data");
    fs::copy_file(kData / "two_planted_groups.tsv", data.path() / "matrix.tsv");
    fs::copy_file(kBinary, data.path() / "varnosk");
    BinaryRun run(data.path() / "matrix.tsv");
    std::string prefix;
    if (as_root) {
        for (const fs::path& path : {data.path(), data.path() / "varnosk", run.dir.path(), run.out}) {
            fs::permissions(path, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
        }
        for (const fs::path& path : {data.path() / "matrix.tsv", run.settings}) {
            fs::permissions(path, fs::perms::others_read, fs::perm_options::add);
        }
        prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups";
    } else {
        fs::permissions(run.out, fs::perms::owner_write, fs::perm_options::remove);
    }
    const ProcessResult result =
        runCommand(prefix + " " + (data.path() / "varnosk").string() + " " + run.settings.string());
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err, "error: " + (run.out / "application_settings.ini").string() +
                              " could not be written (Permission denied).\n");
    EXPECT_EQ(result.out, "Varnosk - version " VARNOSK_VERSION "\nThe Varnosk developers\n\n");
    EXPECT_TRUE(run.files().empty());
}

TEST(Faults, FullDeviceEndsTheRunNamingTheTableCutShort) {
    // A file size limit makes writes fail the way a full disk does (EFBIG instead of ENOSPC);
    // the signal it would raise is ignored so that the write itself reports the failure.
    BinaryRun run(BinaryRun::ExampleSettings{});
    const ProcessResult result = run.exec(fileSizeLimit("8"));
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err,
              "error: " + (run.out / "genes_bins.tsv").string() + " could not be written (File too large).\n");
    EXPECT_EQ(result.out.find("Time Statistics"), std::string::npos);
    std::set<std::string> expected = kRunRecords;
    // the table cut short never takes its final name
    expected.insert("genes_filtered_out.tsv");
    EXPECT_EQ(run.files(), expected);
}

TEST(Faults, ReportThatCannotBeWrittenEndsTheRunLikeATable) {
    // a file size limit between the largest table and the report lets every table through
    BinaryRun sizes(BinaryRun::ExampleSettings{});
    ASSERT_EQ(sizes.exec().status, 0);
    std::uintmax_t largest_table = 0;
    for (const auto& table : kTables) largest_table = std::max(largest_table, fs::file_size(sizes.out / table));
    const std::uintmax_t report = fs::file_size(sizes.out / "report.html");
    ASSERT_GT(report, largest_table + 4096) << "the example's report is no longer the largest file";
    // the shell's ulimit -f counts blocks of 512 bytes
    const std::uintmax_t limit_blocks = (largest_table + report) / 2 / 512;

    BinaryRun run(BinaryRun::ExampleSettings{});
    const ProcessResult result = run.exec(fileSizeLimit(std::to_string(limit_blocks)));
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err, "error: " + (run.out / "report.html").string() + " could not be written (File too large).\n");
    EXPECT_EQ(result.out.find("Time Statistics"), std::string::npos);
    std::set<std::string> expected = kRunRecords;
    expected.insert(kTables.begin(), kTables.end());
    EXPECT_EQ(run.files(), expected);
    for (const auto& table : kTables) EXPECT_EQ(readFile(run.out / table), readFile(sizes.out / table)) << table;
}

TEST(Faults, FailedAllocationReportsAndExitsWithStatusOne) {
    if (sanitizedBuild()) GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
    TempDir data("varnosk-fault-data");
    // One gene with 30 million counts needs more than the 200 MB of address space allowed.
    {
        std::ofstream matrix(data.path() / "huge.tsv");
        matrix << "g1";
        std::string chunk;
        for (int i = 0; i < 1'000'000; ++i) chunk += " 0";
        for (int i = 0; i < 30; ++i) matrix << chunk;
        matrix << "\n";
    }
    // Decoders whose window does not fit: they report it themselves, not through operator new.
    const std::string example = kExampleMatrix.string();
    ASSERT_EQ(
        runCommand("(xz -c --lzma2=dict=1536MiB " + example + " > " + (data.path() / "dict.xz").string() + ")").status,
        0);
    ASSERT_EQ(
        runCommand("(zstd -q --long=30 -c < " + example + " > " + (data.path() / "window.zst").string() + ")").status,
        0);
    const std::pair<std::string, std::string> cases[] = {
        {"huge.tsv", "ulimit -v 200000;"}, {"dict.xz", "ulimit -v 1200000;"}, {"window.zst", "ulimit -v 600000;"}};
    for (const auto& [matrix, limit] : cases) {
        BinaryRun run(data.path() / matrix,
                      {{"input.count_matrix_has_header", matrix == "huge.tsv" ? "false" : "true"}});
        const ProcessResult result = run.exec(limit);
        EXPECT_EQ(result.status, 1) << matrix;
        EXPECT_EQ(result.err, "error: memory allocation failed.\n") << matrix;
        EXPECT_EQ(run.files(), kRunRecords) << matrix;
    }
}

TEST(Faults, BinaryFileAsMatrixIsMalformed) {
    TempDir data("varnosk-fault-data");
    std::string bytes =
        "\x7f"
        "ELF\x02\x01\x01";
    for (int i = 0; i < 4096; ++i) bytes += static_cast<char>((i * 131 + 7) % 256);
    writeFile(data.path() / "binary.tsv", bytes);
    BinaryRun run(data.path() / "binary.tsv", {{"input.count_matrix_has_header", "false"}});
    const ProcessResult result = run.exec();
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err.rfind("error at line ", 0), 0u) << result.err;
    EXPECT_EQ(result.out.find("Time Statistics"), std::string::npos);
    EXPECT_EQ(run.files(), kRunRecords);
}

TEST(Faults, DegenerateMatricesRunToAnEmptyResult) {
    TempDir data("varnosk-fault-data");
    std::string wide = "gene";
    std::string wide_gene = "g1";
    for (int s = 0; s < 5000; ++s) {
        wide += "\tsample" + std::to_string(s);
        wide_gene += (s % 3 == 0) ? "\t17" : "\t0";
    }
    writeFile(data.path() / "single_gene.tsv", "gene\ts1\ts2\ts3\ts4\ng1\t10\t20\t30\t40\n");
    writeFile(data.path() / "single_sample.tsv", "gene\ts1\ng1\t10\ng2\t20\ng3\t0\n");
    writeFile(data.path() / "wide.tsv", wide + "\n" + wide_gene + "\n" + wide_gene + "\n");
    for (const std::string name : {"single_gene.tsv", "single_sample.tsv", "wide.tsv"}) {
        BinaryRun run(data.path() / name);
        const ProcessResult result = run.exec();
        EXPECT_EQ(result.status, 0) << name << ": " << result.err;
        EXPECT_EQ(result.err, "") << name;
        EXPECT_EQ(readFile(run.out / "all_msps.tsv"), "msp_name\tgene_category\tgene_id\tgene_name\n") << name;
        EXPECT_NE(result.out.find("Time Statistics:\n"), std::string::npos) << name;
    }
}

TEST(Faults, MatrixFromAPipeAndLinksPlantedDuringTheRun) {
    // The matrix is a named pipe: the shell's open for writing returns only once the reader
    // has opened it, after the settings were checked and the run records written. What the
    // shell does before feeding the matrix therefore happens during the run, deterministically.
    TempDir data("varnosk-fault-data");
    BinaryRun from_file(kData / "two_planted_groups.tsv");
    ASSERT_EQ(from_file.exec().status, 0);
    const fs::path fifo = data.path() / "matrix.fifo";
    ASSERT_EQ(runCommand("mkfifo " + fifo.string()).status, 0);
    const fs::path precious = data.path() / "precious.txt";
    const std::string during[] = {"", "ln -s " + precious.string() + " $OUT/all_msps.tsv;",
                                  "ln -s " + precious.string() + " $OUT/genes_filtered_out.tsv;",
                                  "echo planted > $OUT/all_msps.tsv;"};
    for (const std::string& plant : during) {
        writeFile(precious, "keep\n");
        BinaryRun run(fifo);
        const std::string script = "(OUT=" + run.out.string() + "; timeout 60 " + kBinary + " " +
                                   run.settings.string() + " & pid=$!; exec 3>" + fifo.string() + "; " + plant +
                                   " cat " + (kData / "two_planted_groups.tsv").string() +
                                   " >&3; exec 3>&-; wait $pid)";
        const ProcessResult result = runCommand(script);
        EXPECT_EQ(readFile(precious), "keep\n") << plant;
        if (plant.empty()) {
            EXPECT_EQ(result.status, 0) << result.err;
            EXPECT_NE(readFile(run.out / "all_msps.tsv").find("msp_1"), std::string::npos);
            // a pipe cannot be read twice: the abundances come from the counts kept instead
            for (const auto& table : kTables) {
                EXPECT_EQ(readFile(run.out / table), readFile(from_file.out / table)) << table;
            }
            continue;
        }
        const std::string table =
            plant.find("genes_filtered_out") != std::string::npos ? "genes_filtered_out.tsv" : "all_msps.tsv";
        EXPECT_EQ(result.status, 255) << plant;
        EXPECT_EQ(result.err, "error: " + (run.out / table).string() + " could not be written (File exists).\n")
            << plant;
        EXPECT_EQ(result.out.find("Time Statistics"), std::string::npos);
        // nothing is left under a temporary name either
        for (const std::string& name : run.files()) EXPECT_NE(name.front(), '.') << name;
    }
}

TEST(Faults, TruncatedOrCorruptCompressedMatrixEndsTheRunNamingFileAndFormat) {
    TempDir data("varnosk-fault-data");
    const fs::path archive = data.path() / "matrix.tsv.gz";
    ASSERT_EQ(
        runCommand("(gzip -c " + (kData / "two_planted_groups.tsv").string() + " > " + archive.string() + ")").status,
        0);
    const std::string bytes = readFile(archive);
    std::string damaged = bytes;
    damaged[damaged.size() - 6] = static_cast<char>(damaged[damaged.size() - 6] ^ 1);  // the stored checksum
    const std::pair<std::string, std::string> cases[] = {
        {bytes.substr(0, bytes.size() * 2 / 3), "the gzip data is truncated."},
        {damaged, "the gzip data is corrupt (incorrect data check)."},
    };
    for (const auto& [content, message] : cases) {
        writeFile(archive, content);
        BinaryRun run(archive);
        const ProcessResult result = run.exec();
        EXPECT_EQ(result.status, 255);
        EXPECT_EQ(result.err, "error: " + archive.string() + " could not be decompressed: " + message + "\n");
        EXPECT_EQ(result.out.find("Count matrix has"), std::string::npos);
        EXPECT_EQ(run.files(), kRunRecords);
    }
}

TEST(Faults, UnwritableStandardOutputIsAFailure) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    BinaryRun run(kData / "two_planted_groups.tsv");
    const ProcessResult result = runCommand("(" + kBinary + " " + run.settings.string() + " > /dev/full)");
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err, "error: standard output could not be written.\n");
}

TEST(Faults, EveryFileIsSyncedBeforeItTakesItsNameAndTheDirectoryAfter) {
    // A power loss must never leave a file under its final name without its content: each is
    // synced before it is renamed, and the directory, which holds the new name, after.
    if (runCommand("strace -o /dev/null true").status != 0) GTEST_SKIP() << "strace is missing or cannot trace here";
    BinaryRun run(BinaryRun::ExampleSettings{});
    const fs::path trace = run.dir.path() / "trace.txt";
    // The main thread writes every file: traced alone, its calls come whole and in order.
    // LeakSanitizer stops the threads with ptrace itself, which a traced process cannot do.
    const ProcessResult result = run.exec(
        "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 strace -qq -y "
        "-e trace=fsync,fdatasync,renameat2,linkat -o " +
        trace.string());
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string directory = fs::canonical(run.out).string();
    static const std::regex sync(R"((?:fsync|fdatasync)\(\d+<([^>]*)>\) += 0)");
    static const std::regex publish(
        R"re((?:renameat2|linkat)\(\d+<[^>]*>, "([^"]*)", \d+<[^>]*>, "([^"]*)".*\) += 0)re");
    std::set<std::string> synced, published;
    std::string unsynced_name;  // published, the directory not synced since
    std::istringstream lines(readFile(trace));
    std::smatch m;
    for (std::string line; std::getline(lines, line);) {
        if (std::regex_match(line, m, sync)) {
            if (m[1] == directory)
                unsynced_name.clear();
            else
                synced.insert(m[1]);
        } else if (std::regex_match(line, m, publish)) {
            EXPECT_EQ(unsynced_name, "") << "the directory was not synced after this name was published";
            EXPECT_EQ(synced.count(directory + "/" + m[1].str()), 1u) << m[2] << " was not synced before its rename";
            published.insert(m[2]);
            unsynced_name = m[2];
        }
    }
    EXPECT_EQ(unsynced_name, "") << "the directory was not synced after this name was published";
    EXPECT_EQ(published, run.files());
}

TEST(Faults, DeletedWorkingDirectoryDoesNotStopARunWithAbsolutePaths) {
    BinaryRun run(kData / "two_planted_groups.tsv");
    const fs::path gone = run.dir.path() / "gone";
    const ProcessResult result = runCommand("(mkdir " + gone.string() + " && cd " + gone.string() + " && rmdir " +
                                            gone.string() + " && " + kBinary + " " + run.settings.string() + ")");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(readFile(run.out / "execution_description.ini").find("\nwd=\"\"\n"), std::string::npos);
}
