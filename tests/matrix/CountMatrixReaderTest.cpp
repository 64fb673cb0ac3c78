#include "matrix/CountMatrixReader.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "TestSupport.hpp"
#include "app/ProgressLine.hpp"
#include "matrix/Preprocessing.hpp"
#include "matrix/RawCounts.hpp"

namespace varnosk {
namespace {

CountMatrix read(const std::string& path, bool has_header) {
    test::NullProgress progress;
    return readCountMatrix(path, has_header, progress);
}

// The message of the error the reader raises on `path`, or "" when it reads it.
std::string readError(const std::string& path, bool has_header) {
    try {
        read(path, has_header);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

// The same for a file holding `content`.
std::string errorOf(const std::string& content, bool has_header = false) {
    test::TempDir dir;
    test::writeFile(dir.path() / "matrix.tsv", content);
    return readError((dir.path() / "matrix.tsv").string(), has_header);
}

void expectSameGenes(const CountMatrix& actual, const CountMatrix& expected, const std::string& label) {
    ASSERT_EQ(actual.size(), expected.size()) << label;
    for (std::size_t i = 0; i < actual.size(); ++i) {
        EXPECT_EQ(actual[i]->id, expected[i]->id) << label;
        EXPECT_EQ(actual[i]->name, expected[i]->name) << label;
        EXPECT_EQ(actual[i]->counts, expected[i]->counts) << label;
    }
}

TEST(CountMatrixReader, SkipsHeaderAndBlankLinesWhateverTheLineEnds) {
    const std::string text = "gene\tS1\tS2\tS3\ng1\t0\t1\t2\n\n   \t \ng2\t3.5\t0\t1e3\n  g3 \t 7  8\t\t9  \n";
    std::string crlf;
    for (const char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    test::TempDir dir;
    test::writeFile(dir.path() / "plain.tsv", text);
    const CountMatrix genes = read((dir.path() / "plain.tsv").string(), true);
    ASSERT_EQ(genes.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(genes[i]->id, i + 1);
        EXPECT_EQ(genes[i]->name, "g" + std::to_string(i + 1));  // white space around it is not part of it
        EXPECT_EQ(genes[i]->presence.words(), 0u);
        EXPECT_EQ(genes[i]->counts.capacity(), genes[i]->counts.size());
    }
    EXPECT_EQ(genes[1]->counts, (std::vector<float>{3.5f, 0.0f, 1000.0f}));
    EXPECT_EQ(genes[2]->counts, (std::vector<float>{7.0f, 8.0f, 9.0f}));
    for (const auto& [name, content] :
         {std::pair{"crlf", crlf}, {"no final line feed", text.substr(0, text.size() - 1)}}) {
        test::writeFile(dir.path() / "other.tsv", content);
        expectSameGenes(read((dir.path() / "other.tsv").string(), true), genes, name);
    }
}

TEST(CountMatrixReader, MalformedTablesAreErrorsNamingLineAndToken) {
    const std::string header = "gene\tS1\tS2\tS3\n";
    const std::string lone_cr = " (lone carriage return line ends are not supported).";
    std::vector<std::tuple<std::string, bool, std::string>> rows = {
        // line numbers count the header and blank lines
        {header + "g1\t1\t2\t3\ng2\t1\t2\t3\ng3\t1\t2\t3\ng4\t1\t2\t3\t4\n", true,
         "error at line 5: 'g4' has 4 samples while 3 samples were expected."},
        {"gene\tS1\tS2\ng1\t1\t2\n\n\ng2\t1,5\t2\n", true, "error at line 5: malformed data."},
        {"g1 1 2 3\n\ng2 1 2\n", false, "error at line 3: 'g2' has 2 samples while 3 samples were expected."},
        // sample names taken for a gene line: the second word is no number
        {"S1\tS2\tS3\ng1\t1\t2\t3\n", false, "error at line 1: malformed data."},
        {"gene\tS1\tS2\n", true, "error: genes counts table is empty."},
        {"\n  \n\t\r\n\n", false, "error: genes counts table is empty."},
        {"", false, "error: genes counts table is empty."},
        {"g1\ng2\ng3\n", false, "error at line 1: 'g1' has no sample counts."},
        {"g1 \t \r\n", false, "error at line 1: 'g1' has no sample counts."},
        {"\t1\t2\ng2\t1\t2\n", false, "error at line 1: empty gene name."},
        {"g1\t1\t2\n\t3\t4\ng3\t1\t2\n", false, "error at line 2: empty gene name."},
        {"g1\t1\t2\n\n\t\t3\n", false, "error at line 3: empty gene name."},
        {"g1\t1\t2\rg2\t1\t2\rg3\t1\t2\r", false, "error at line 1: carriage return inside the line" + lone_cr},
        {"g1\t1\t2\r\ng2\t1\r2\r\n", false, "error at line 2: carriage return inside the line" + lone_cr},
        // names and tokens echoed in messages have their control characters escaped
        {"g\x1b[2J\n", false, "error at line 1: 'g\\x1b[2J' has no sample counts."},
        {"g 1\nh\x7f 1 2\n", false, "error at line 2: 'h\\x7f' has 2 samples while 1 samples were expected."},
        // and are cut after 200 bytes, never inside a character
        {std::string(1'000'000, 'n') + "\n", false,
         "error at line 1: '" + std::string(200, 'n') + "... (999800 more bytes)' has no sample counts."},
        {std::string(100'000, '\0') + "\n", false,
         [] {
             std::string escaped;
             for (int i = 0; i < 200; ++i) escaped += "\\x00";
             return "error at line 1: '" + escaped + "... (99800 more bytes)' has no sample counts.";
         }()},
        {std::string(199, 'a') + "\xc3\xa9" + std::string(10, 'b') + "\n", false,
         "error at line 1: '" + std::string(199, 'a') + "... (12 more bytes)' has no sample counts."},
        {"g1 1 2\ng2 1 -" + std::string(300, '1') + "\n", false,
         "error at line 2, column 3: invalid count '-" + std::string(199, '1') +
             "... (101 more bytes)' (counts must be decimal, finite and non-negative)."},
    };
    for (const std::string token : {"-1", "-0.5", "inf", "-INF", "infinity", "nan", "NAN(123)", "1e39", "-1e-3", "0x10",
                                    "0X1A", "0x1p4", "+0x10", "-0x0", "-1e-50", "-0.0001e-60"}) {
        rows.emplace_back("g1 1 2 3\ng2 1 " + token + " 3\n", false,
                          "error at line 2, column 3: invalid count '" + token +
                              "' (counts must be decimal, finite and non-negative).");
    }
    for (const auto& [content, has_header, expected] : rows) {
        SCOPED_TRACE(content.substr(0, 100));
        EXPECT_EQ(errorOf(content, has_header), expected);
    }
    const std::string unreadable = " cannot be read. Check that the path is valid and that you have read permissions.";
    EXPECT_EQ(readError("/nonexistent/m.tsv", false), "error: /nonexistent/m.tsv" + unreadable);
    EXPECT_EQ(readError("", false), "error: ''" + unreadable);
    // an empty table is reported after the progress line reached its end
    test::TempDir dir;
    test::writeFile(dir.path() / "m.tsv", header);
    std::ostringstream out;
    ProgressLine progress(out);
    EXPECT_THROW(readCountMatrix((dir.path() / "m.tsv").string(), true, progress), std::runtime_error);
    EXPECT_EQ(out.str(), "\rProgress: 100%");
}

TEST(CountMatrixReader, AcceptsExactlyTheDecimalCountsStrtofConverts) {
    // hand-picked: rounding, overflow, subnormals, long mantissas
    for (const std::string token : {"0",
                                    "1e3",
                                    "+3",
                                    ".5",
                                    "5.",
                                    "1E-2",
                                    "0.1",
                                    "00012",
                                    "16777217",
                                    "9999999",
                                    "3.4028235e38",
                                    "3.40282356e38",
                                    "1e-40",
                                    "1e-50",
                                    "123456789012345678901234567890",
                                    "0.000000000000000000000000000000000000000000001",
                                    "2.5e+10",
                                    "0.30000001192092896",
                                    "1.00000005960464477539062500000000001",
                                    "-0",
                                    "-0.0"}) {
        char* stop = nullptr;
        const float expected = std::strtof(token.c_str(), &stop);
        const auto gene = parseGeneLine("g\t" + token, 1, 1);
        ASSERT_NE(gene, nullptr) << token;
        // negative zero is stored without its sign
        EXPECT_EQ(std::bit_cast<std::uint32_t>(gene->counts[0]), std::bit_cast<std::uint32_t>(expected + 0.0f))
            << token;
    }
    for (const std::string& token :
         std::vector<std::string>{"1+2", "1.5.5", "3x", "1,5", "1e", "1e+", ".", "+", "-", "+-3", "++3", "0x", "e5",
                                  "abc", "1\"", "\"1\"", "12345678a", std::string("1\0", 2)}) {
        EXPECT_EQ(parseGeneLine("g 1 " + token + " 2", 1, 3), nullptr) << token;
    }
    // random spellings from the characters numbers are made of: accepted exactly when strtof
    // converts them in full to a finite, non-negative value written in decimal
    const std::string alphabet = "0123456789012345678901234567890123456789..eE+-x";
    std::uint64_t state = 12345;
    auto next = [&state] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::size_t>(state >> 33);
    };
    int accepted = 0;
    for (int i = 0; i < 20000; ++i) {
        std::string token;
        for (std::size_t c = 0, length = 1 + next() % 14; c < length; ++c) token += alphabet[next() % alphabet.size()];
        char* stop = nullptr;
        const float value = std::strtof(token.c_str(), &stop);
        const bool negative_nonzero =
            token[0] == '-' &&
            token.substr(0, token.find_first_of("eE")).find_first_of("123456789") != std::string::npos;
        const bool valid = stop != token.c_str() && *stop == '\0' && value >= 0.0f && std::isfinite(value) &&
                           token.find('x') == std::string::npos && !negative_nonzero;
        const auto gene = parseGeneLine("g " + token, 1, 1);
        ASSERT_EQ(gene != nullptr, valid) << token;
        if (!gene) continue;
        ++accepted;
        ASSERT_EQ(std::bit_cast<std::uint32_t>(gene->counts[0]), std::bit_cast<std::uint32_t>(value + 0.0f)) << token;
    }
    EXPECT_GT(accepted, 2000);  // the alphabet must actually exercise the conversion
}

const char* const kCompressors[] = {"gzip", "bzip2", "xz", "zstd"};

// `text` compressed by a command-line tool, written under a name that says nothing of it.
std::string compressedFile(const test::TempDir& dir, const std::string& tool, const std::string& text,
                           const std::string& name = "matrix.tsv") {
    const auto plain = dir.path() / (name + ".text");
    test::writeFile(plain, text);
    const auto path = dir.path() / name;
    const auto result = test::runCommand("(" + tool + " -c " + plain.string() + " > " + path.string() + ")");
    if (result.status != 0) throw std::runtime_error(tool + " failed: " + result.err);
    return path.string();
}

TEST(CountMatrixReader, CompressedMatricesReadLikeTheirTextWhateverTheirName) {
    const std::string first = "gene\ts1\ts2\ng1\t1\t2.5\n\n";
    const std::string second = "g2\t0\t3\r\ng3\t7\t1e3";
    test::TempDir dir;
    test::writeFile(dir.path() / "plain.tsv", first + second);
    MatrixFileFacts plain_facts;
    test::NullProgress progress;
    const CountMatrix plain = readCountMatrix((dir.path() / "plain.tsv").string(), true, progress, &plain_facts);
    EXPECT_EQ(plain_facts.compression, Compression::None);
    EXPECT_EQ(plain_facts.header, "gene\ts1\ts2");
    EXPECT_TRUE(plain_facts.can_be_read_again);

    for (const std::string tool : kCompressors) {
        MatrixFileFacts facts;
        expectSameGenes(readCountMatrix(compressedFile(dir, tool, first + second, tool), true, progress, &facts), plain,
                        tool);
        EXPECT_STREQ(compressionName(facts.compression), tool.c_str());
        EXPECT_EQ(facts.header, plain_facts.header) << tool;
        // two compressed streams one after the other read as one text
        const std::string joined = (dir.path() / (tool + ".joined")).string();
        test::writeFile(joined, test::readFile(compressedFile(dir, tool, first, "a")) +
                                    test::readFile(compressedFile(dir, tool, second, "b")));
        expectSameGenes(read(joined, true), plain, tool + " joined");
        expectSameGenes(readCountMatrixFromMemory(test::readFile(joined), true, progress), plain, tool + " memory");
        // line numbers are those of the text
        EXPECT_EQ(readError(compressedFile(dir, tool, "g1 1 2\n\ng2 1 x\n", "bad"), false),
                  "error at line 3: malformed data.")
            << tool;
    }
    // a gene may be called like a magic number begins
    const CountMatrix genes = readCountMatrixFromMemory("BZh1\t1\t2\ng2\t0\t3.5\r\n", false, progress);
    ASSERT_EQ(genes.size(), 2u);
    EXPECT_EQ(genes[0]->name, "BZh1");
}

// The bytes that tell each format: gzip's magic, xz's, zstd's, bzip2's "BZh", block size
// and first block magic.
const std::map<std::string, std::size_t> kSignatureSizes = {{"gzip", 2}, {"xz", 6}, {"zstd", 4}, {"bzip2", 10}};

TEST(CountMatrixReader, ZstdFramesAsParallelAndLongWindowCompressorsWriteThem) {
    const std::string text = "gene\ts1\ts2\ng1\t1\t2.5\ng2\t0\t3\n";
    test::TempDir dir;
    const std::string plain_path = (dir.path() / "plain.tsv").string();
    test::writeFile(plain_path, text);
    const CountMatrix plain = read(plain_path, true);
    const auto made = [&](const std::string& command) {
        const std::string path = (dir.path() / "made.zst").string();
        const auto result = test::runCommand("(" + command + " < " + plain_path + " > " + path + ")");
        if (result.status != 0) throw std::runtime_error(command + " failed: " + result.err);
        return test::readFile(path);
    };
    // a skippable frame: its magic (any of 16), its payload's length, the payload
    const auto skippable = [](char magic_low, const std::string& payload) {
        std::string frame = {magic_low, '\x2a', '\x4d', '\x18'};
        for (int shift = 0; shift < 32; shift += 8) frame += static_cast<char>((payload.size() >> shift) & 0xff);
        return frame + payload;
    };
    const std::string frame = made("zstd -q -c");
    const std::pair<std::string, std::string> archives[] = {
        // a parallel compressor starts every frame with a skippable one
        {"skippable frames", skippable('\x50', "index") + frame + skippable('\x5f', "") + skippable('\x53', "x")},
        // a window of 1 GiB, which the library's default limit refuses
        {"long window", made("zstd -q --long=30 -c")},
    };
    const std::string path = (dir.path() / "matrix").string();
    for (const auto& [label, archive] : archives) {
        test::writeFile(path, archive);
        MatrixFileFacts facts;
        test::NullProgress progress;
        expectSameGenes(readCountMatrix(path, true, progress, &facts), plain, label);
        EXPECT_EQ(facts.compression, Compression::Zstd) << label;
        // cut inside the first signature, it is a truncated archive, not text
        for (std::size_t keep = 1; keep < 4; ++keep) {
            test::writeFile(path, archive.substr(0, keep));
            EXPECT_EQ(readError(path, true),
                      "error: " + path + " could not be decompressed: the zstd data is truncated.")
                << label << " cut to " << keep;
        }
    }
}

TEST(CountMatrixReader, TruncatedOrCorruptArchivesAreErrorsNamingFileAndFormat) {
    std::string text = "gene\ts1\ts2\ts3\n";
    for (int g = 0; g < 3000; ++g) {
        text += "gene_" + std::to_string(g) + "\t" + std::to_string(g % 7) + "\t" + std::to_string(g * 13 % 101) +
                "\t" + std::to_string(g * g % 997) + "\n";
    }
    test::TempDir dir;
    const std::string cut = (dir.path() / "cut").string();
    for (const std::string tool : kCompressors) {
        const std::string archive = test::readFile(compressedFile(dir, tool, text, tool));
        const std::string prefix = "error: " + cut + " could not be decompressed: the " + tool;
        // cut in the middle, just before the end, and inside the format's signature (what is
        // left still matches it): no shorter matrix passes for the whole, nor for plain text
        std::vector<std::size_t> keeps = {archive.size() / 2, archive.size() - 1};
        for (std::size_t keep = 1; keep < kSignatureSizes.at(tool); ++keep) keeps.push_back(keep);
        for (const std::size_t keep : keeps) {
            test::writeFile(cut, archive.substr(0, keep));
            EXPECT_EQ(readError(cut, true), prefix + " data is truncated.") << tool << " cut to " << keep;
        }
        std::string damaged = archive;
        damaged[damaged.size() / 2] = static_cast<char>(damaged[damaged.size() / 2] ^ 0x55);
        test::writeFile(cut, damaged);
        const std::string corrupt = prefix + " data is corrupt (";
        const std::string error = readError(cut, true);
        EXPECT_EQ(error.substr(0, corrupt.size()), corrupt) << tool << ": " << error;
        EXPECT_EQ(error.back(), '.');
        // trailing bytes that are no stream of the format (too short for one, xz says)
        test::writeFile(cut, archive + "garbage\n");
        const std::string trailing = readError(cut, true);
        EXPECT_TRUE(trailing.substr(0, corrupt.size()) == corrupt || trailing == prefix + " data is truncated.")
            << tool << ": " << trailing;
    }
}

TEST(CountMatrixReader, RawCountsOfChosenGenesAreReadAgainAndChecked) {
    const std::string text = "gene\ts1\ts2\ng1\t1\t2\n\ng2\t2.5\t0\ng3\t9\t9\ng4\t0.1\t16\n";
    test::TempDir dir;
    for (const std::string tool : {"", "gzip"}) {
        const std::string path = tool.empty() ? (dir.path() / "m.tsv").string() : compressedFile(dir, tool, text);
        if (tool.empty()) test::writeFile(path, text);
        MatrixFileFacts facts;
        test::NullProgress progress;
        CountMatrix matrix = readCountMatrix(path, true, progress, &facts);
        const RawCounts raw(path, true, facts, matrix);
        applySqrtTransform(matrix);
        std::vector<std::pair<std::string, std::vector<float>>> seen;
        raw.visit({matrix[1].get(), matrix[3].get()}, progress,
                  [&](const Gene& gene, const std::vector<float>& counts) { seen.emplace_back(gene.name, counts); });
        EXPECT_EQ(seen, (std::vector<std::pair<std::string, std::vector<float>>>{{"g2", {2.5f, 0.0f}},
                                                                                 {"g4", {0.1f, 16.0f}}}))
            << tool;

        // a file changed since: its lines no longer agree with what was read, or the path
        // names another file, which must not be read at all (a pipe would block)
        const std::string changed = "error: " + path + " changed during the run: ";
        const std::string replaced = "replaced";
        const std::pair<std::string, std::string> changes[] = {
            {"gene\ts1\ts2\ng1\t1\t2\n\ng2\t2.5\t0\ng3\t9\t9\ng4\t0.1\t17\n",
             changed + "line 6 no longer holds gene 'g4' as first read."},
            {"gene\ts1\ts2\ng1\t1\t2\n\ng2\t2.5\t0\ng3\t9\t9\ng5\t0.1\t16\n",
             changed + "line 6 no longer holds gene 'g4' as first read."},
            // without the blank line the genes are the same: nothing changed that matters
            {"gene\ts1\ts2\ng1\t1\t2\ng2\t2.5\t0\ng3\t9\t9\ng4\t0.1\t16\n", ""},
            {"gene\ts1\ts2\ng1\t1\t2\n\ng2\t2.5\t0\n", changed + "it ends before gene 'g4'."},
            {"gene\ts1\ts2\ng1\t1\t2\n\ng2\t2.5\r0\ng3\t9\t9\ng4\t0.1\t16\n",
             changed + "line 4 now holds a carriage return."},
            {"gene\ts1\rs2\ng1\t1\t2\n\ng2\t2.5\t0\ng3\t9\t9\ng4\t0.1\t16\n",
             changed + "line 1 now holds a carriage return."},
            {replaced, changed + "it is no longer the file first read."},
            {"fifo", changed + "it is no longer the file first read."},
            {"", changed + "it can no longer be opened."},
        };
        for (const auto& [now, expected] : changes) {
            if (now == "fifo" || now.empty()) {
                std::filesystem::remove(path);
                if (!now.empty()) {
                    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
                }
            } else if (now == replaced) {
                // the same bytes under the same name, but a new file (made while the old one
                // still holds its inode)
                const std::string bytes = test::readFile(path);
                test::writeFile(path + ".new", bytes);
                std::filesystem::rename(path + ".new", path);
            } else if (tool.empty()) {
                test::writeFile(path, now);
            } else {
                compressedFile(dir, tool, now);
            }
            std::string error;
            try {
                raw.visit({matrix[1].get(), matrix[3].get()}, progress, [](const Gene&, const std::vector<float>&) {});
            } catch (const std::runtime_error& e) {
                error = e.what();
            }
            EXPECT_EQ(error, expected) << tool << ": " << now;
        }
    }
}

// Parts read on threads of their own give the genes, ids and facts of one read; a file with a
// fault gives nothing, so that the read in one piece names its first faulty line.
TEST(CountMatrixReader, PartsReadOnThreadsGiveTheGenesOfOneRead) {
    test::TempDir dir;
    const std::string path = (dir.path() / "m.tsv").string();
    std::string text = "gene\ts1\ts2\n\n";
    for (int g = 0; g < 300; ++g) {
        text.append("g").append(std::to_string(g)).append("\t").append(std::to_string(g % 7)).append("\t");
        text.append(std::to_string(g / 4.0)).append(g % 3 == 0 ? "\r\n\n" : "\n");
    }
    test::writeFile(path, text);
    test::NullProgress progress;
    MatrixFileFacts whole_facts;
    const CountMatrix whole = readCountMatrix(path, true, progress, &whole_facts);
    for (const std::uint64_t parts : {2, 3, 7, 500}) {
        MatrixFileFacts facts;
        const auto genes = readInParts(path, true, text.size(), parts, progress, &facts);
        ASSERT_TRUE(genes) << parts;
        expectSameGenes(*genes, whole, std::to_string(parts) + " parts");
        EXPECT_EQ(facts.header, whole_facts.header);
        EXPECT_TRUE(facts.identity == whole_facts.identity && facts.can_be_read_again);
    }
    // a fault inside a part; a second half of another width, which only the parts' first genes show
    std::string halves;
    for (int g = 0; g < 100; ++g) halves += "a\t11\t22\n";
    for (int g = 0; g < 100; ++g) halves += "b\t1\t2\t3\n";
    for (const auto& [faulty, has_header] : {std::pair{text + "gx\t1\tx\n", true}, std::pair{halves, false}}) {
        test::writeFile(path, faulty);
        EXPECT_FALSE(readInParts(path, has_header, faulty.size(), 2, progress, nullptr));
    }
    // and read in one piece, a matrix large enough for parts names the line of its fault
    std::string large;
    for (int g = 0; large.size() < 3 * (std::size_t{8} << 20); ++g)
        large += "gene_" + std::to_string(g) + "\t1\t2\t3\n";
    test::writeFile(path, large + "late\t1\t2\n");
    const auto lines = std::count(large.begin(), large.end(), '\n') + 1;
    EXPECT_EQ(readError(path, false),
              "error at line " + std::to_string(lines) + ": 'late' has 2 samples while 3 samples were expected.");
}

TEST(CountMatrixReader, LinesOfAnyLengthAndAcrossReadBlocksComeBackIntact) {
    // a header and a gene line far longer than any fixed line buffer or read block
    const std::size_t num_samples = 1'500'000;
    std::string content = "gene";
    for (std::size_t s = 0; s < num_samples; ++s) content += "\tsample";
    content += "\nlong";
    for (std::size_t s = 0; s < num_samples; ++s) content += s % 3 == 0 ? "\t1.25" : "\t0";
    content += "\nshort";
    for (std::size_t s = 0; s < num_samples; ++s) content += "\t2";
    test::TempDir dir;
    test::writeFile(dir.path() / "wide.tsv", content + "\n");
    const CountMatrix wide = read((dir.path() / "wide.tsv").string(), true);
    ASSERT_EQ(wide.size(), 2u);
    ASSERT_EQ(wide[0]->counts.size(), num_samples);
    ASSERT_EQ(wide[1]->counts.size(), num_samples);
    EXPECT_EQ(wide[0]->counts[num_samples - 1], (num_samples - 1) % 3 == 0 ? 1.25f : 0.0f);
    EXPECT_EQ(wide[1]->name, "short");
    EXPECT_EQ(wide[1]->counts[num_samples - 1], 2.0f);

    // a generated matrix of many read blocks, with integer counts: writing the genes back
    // must give the file again
    const auto path = dir.path() / "matrix.tsv";
    const auto result = test::runCommand(std::string(VARNOSK_GENERATOR) +
                                         " --genes 50000 --samples 50 --species 5 --seed 3 --out " + path.string());
    ASSERT_EQ(result.status, 0) << result.err;
    const CountMatrix genes = read(path.string(), true);
    const std::string original = test::readFile(path);
    std::string rewritten = original.substr(0, original.find('\n') + 1);
    for (const auto& gene : genes) {
        rewritten += gene->name;
        for (const float count : gene->counts) (rewritten += '\t') += std::to_string(static_cast<std::uint64_t>(count));
        rewritten += '\n';
    }
    EXPECT_EQ(genes.size(), 50000u);
    const auto [at, unused] = std::mismatch(rewritten.begin(), rewritten.end(), original.begin(), original.end());
    EXPECT_TRUE(rewritten == original) << "first difference at byte " << (at - rewritten.begin());
}

}  // namespace
}  // namespace varnosk
