#include "matrix/CountMatrixReader.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.hpp"
#include "app/ProgressLine.hpp"
#include "matrix/Preprocessing.hpp"
#include "matrix/RawCounts.hpp"

namespace varnosk {
namespace {

std::string dataFile(const std::string& name) { return std::string(VARNOSK_TEST_DATA_DIR) + "/" + name; }

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

std::string readErrorOf(const std::string& content) {
    test::TempDir dir;
    const auto path = dir.path() / "matrix.tsv";
    test::writeFile(path, content);
    return readError(path.string(), false);
}

TEST(CountMatrixReader, SkipsHeaderAndBlankLinesAndNumbersGenesFromOne) {
    const CountMatrix genes = read(dataFile("header_blank_lines.tsv"), true);
    ASSERT_EQ(genes.size(), 3u);
    EXPECT_EQ(genes[0]->id, 1u);
    EXPECT_EQ(genes[1]->id, 2u);
    EXPECT_EQ(genes[2]->id, 3u);
    EXPECT_EQ(genes[0]->name, "g1");
    EXPECT_EQ(genes[1]->name, "g2");
    EXPECT_EQ(genes[2]->name, "g3");  // leading and trailing white space is not part of it
    EXPECT_EQ(genes[0]->counts, (std::vector<float>{0.0f, 1.0f, 2.0f}));
    EXPECT_EQ(genes[1]->counts, (std::vector<float>{3.5f, 0.0f, 1000.0f}));
    EXPECT_EQ(genes[2]->counts, (std::vector<float>{7.0f, 8.0f, 9.0f}));
    for (const auto& gene : genes) {
        EXPECT_EQ(gene->presence.words(), 0u);
        EXPECT_EQ(gene->counts.capacity(), gene->counts.size());
    }
}

TEST(CountMatrixReader, CarriageReturnLinesReadLikePlainLines) {
    const CountMatrix crlf = read(dataFile("header_crlf.tsv"), true);
    const CountMatrix plain = read(dataFile("header_blank_lines.tsv"), true);
    ASSERT_EQ(crlf.size(), plain.size());
    for (std::size_t i = 0; i < crlf.size(); ++i) {
        EXPECT_EQ(crlf[i]->id, plain[i]->id);
        EXPECT_EQ(crlf[i]->name, plain[i]->name);
        EXPECT_EQ(crlf[i]->counts, plain[i]->counts);
    }
}

TEST(CountMatrixReader, LastLineWithoutLineFeedIsRead) {
    const CountMatrix genes = read(dataFile("no_final_line_feed.tsv"), false);
    ASSERT_EQ(genes.size(), 2u);
    EXPECT_EQ(genes[1]->name, "g2");
    EXPECT_EQ(genes[1]->counts, (std::vector<float>{3.0f, 2.0f}));
}

TEST(CountMatrixReader, ErrorsNameTheLineCountingHeaderAndBlankLines) {
    EXPECT_EQ(readError(dataFile("sample_count_mismatch.tsv"), true),
              "error at line 5: 'g4' has 4 samples while 3 samples were expected.");
    EXPECT_EQ(readError(dataFile("decimal_comma.tsv"), true), "error at line 5: malformed data.");
    // Sample names taken for a gene line: the second word is no number.
    EXPECT_EQ(readError(dataFile("sample_names_without_header.tsv"), false), "error at line 1: malformed data.");
    EXPECT_EQ(readErrorOf("g1 1 2 3\n\ng2 1 2\n"), "error at line 3: 'g2' has 2 samples while 3 samples were expected.");
}

TEST(CountMatrixReader, EmptyTableIsAnErrorAfterTheFullProgressLine) {
    for (const auto& [file, has_header] : {std::pair{"only_header.tsv", true}, std::pair{"only_blank_lines.tsv", false}}) {
        std::ostringstream out;
        ProgressLine progress(out);
        try {
            readCountMatrix(dataFile(file), has_header, progress);
            ADD_FAILURE() << file << " was accepted";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "error: genes counts table is empty.") << file;
        }
        EXPECT_EQ(out.str(), "\rProgress: 100%") << file;
    }
    EXPECT_EQ(readErrorOf(""), "error: genes counts table is empty.");
    EXPECT_EQ(readError(dataFile("no_such_matrix.tsv"), false),
              "error: " + dataFile("no_such_matrix.tsv") +
                  " cannot be read. Check that the path is valid and that you have read permissions.");
}

TEST(CountMatrixReader, RejectsGenesWithoutSampleCounts) {
    EXPECT_EQ(readError(dataFile("names_only.tsv"), false), "error at line 1: 'g1' has no sample counts.");
    EXPECT_EQ(readErrorOf("g1 \t \r\n"), "error at line 1: 'g1' has no sample counts.");
}

TEST(CountMatrixReader, RejectsNegativeAndNonFiniteCountsNamingLineAndToken) {
    EXPECT_EQ(readError(dataFile("negative_count.tsv"), false),
              "error at line 2, column 2: invalid count '-1' (counts must be decimal, finite and non-negative).");
    for (const std::string token : {"-0.5", "inf", "-INF", "infinity", "nan", "NAN(123)", "1e39", "-1e-3", "0x10",
                                    "0X1A", "0x1p4", "+0x10", "-0x0", "-1e-50", "-0.0001e-60"}) {
        EXPECT_EQ(readErrorOf("g1 1 2 3\ng2 1 " + token + " 3\n"),
                  "error at line 2, column 3: invalid count '" + token +
                      "' (counts must be decimal, finite and non-negative).");
    }
    // Negative zero is zero, stored without its sign.
    const auto gene = parseGeneLine("g -0 -0.0", 1, 2);
    ASSERT_NE(gene, nullptr);
    EXPECT_FALSE(std::signbit(gene->counts[0]));
    EXPECT_FALSE(std::signbit(gene->counts[1]));
}

TEST(CountMatrixReader, EmptyNamesAndLoneCarriageReturnsAreErrorsOfTheirOwnLine) {
    const std::pair<std::string, std::string> cases[] = {
        {"\t1\t2\ng2\t1\t2\n", "error at line 1: empty gene name."},
        {"g1\t1\t2\n\t3\t4\ng3\t1\t2\n", "error at line 2: empty gene name."},
        {"g1\t1\t2\n\n\t\t3\n", "error at line 3: empty gene name."},
        {"g1\t1\t2\rg2\t1\t2\rg3\t1\t2\r", "error at line 1: carriage return inside the line "
                                             "(lone carriage return line ends are not supported)."},
        {"g1\t1\t2\r\ng2\t1\r2\r\n", "error at line 2: carriage return inside the line "
                                       "(lone carriage return line ends are not supported)."},
    };
    for (const auto& [content, expected] : cases) EXPECT_EQ(readErrorOf(content), expected) << content;
    // names and tokens echoed in messages have their control characters escaped
    EXPECT_EQ(readErrorOf("g\x1b[2J\n"), "error at line 1: 'g\\x1b[2J' has no sample counts.");
    EXPECT_EQ(readErrorOf("g 1\nh\x7f 1 2\n"), "error at line 2: 'h\\x7f' has 2 samples while 1 samples were expected.");
    EXPECT_EQ(readError("", false),
              "error: '' cannot be read. Check that the path is valid and that you have read permissions.");
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

void expectSameGenes(const CountMatrix& actual, const CountMatrix& expected, const std::string& label) {
    ASSERT_EQ(actual.size(), expected.size()) << label;
    for (std::size_t i = 0; i < actual.size(); ++i) {
        EXPECT_EQ(actual[i]->id, expected[i]->id) << label;
        EXPECT_EQ(actual[i]->name, expected[i]->name) << label;
        EXPECT_EQ(actual[i]->counts, expected[i]->counts) << label;
    }
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
        const std::string path = compressedFile(dir, tool, first + second, tool + ".tsv");
        expectSameGenes(readCountMatrix(path, true, progress, &facts), plain, tool);
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

TEST(CountMatrixReader, TruncatedOrCorruptArchivesAreErrorsNamingFileAndFormat) {
    std::string text = "gene\ts1\ts2\ts3\n";
    for (int g = 0; g < 3000; ++g) {
        text += "gene_" + std::to_string(g) + "\t" + std::to_string(g % 7) + "\t" + std::to_string(g * 13 % 101) +
                "\t" + std::to_string(g * g % 997) + "\n";
    }
    test::TempDir dir;
    for (const std::string tool : kCompressors) {
        const std::string archive = test::readFile(compressedFile(dir, tool, text, tool));
        const std::string prefix = "error: " + (dir.path() / "cut").string() + " could not be decompressed: the " + tool;
        // cut in the middle, and just before the end: no shorter matrix passes for the whole
        for (const std::size_t keep : {archive.size() / 2, archive.size() - 1}) {
            test::writeFile(dir.path() / "cut", archive.substr(0, keep));
            EXPECT_EQ(readError((dir.path() / "cut").string(), true), prefix + " data is truncated.")
                << tool << " cut to " << keep;
        }
        std::string damaged = archive;
        damaged[damaged.size() / 2] = static_cast<char>(damaged[damaged.size() / 2] ^ 0x55);
        test::writeFile(dir.path() / "cut", damaged);
        const std::string corrupt = prefix + " data is corrupt (";
        const std::string error = readError((dir.path() / "cut").string(), true);
        EXPECT_EQ(error.substr(0, corrupt.size()), corrupt) << tool << ": " << error;
        EXPECT_EQ(error.back(), '.');
        // trailing bytes that are no stream of the format (too short for one, xz says)
        test::writeFile(dir.path() / "cut", archive + "garbage\n");
        const std::string trailing = readError((dir.path() / "cut").string(), true);
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
        raw.visit({matrix[1].get(), matrix[3].get()}, progress, [&](const Gene& gene, const std::vector<float>& counts) {
            seen.emplace_back(gene.name, counts);
        });
        EXPECT_EQ(seen, (std::vector<std::pair<std::string, std::vector<float>>>{{"g2", {2.5f, 0.0f}},
                                                                                 {"g4", {0.1f, 16.0f}}}))
            << tool;

        // a file changed since: its lines no longer agree with what was read
        const auto changedError = [&](const std::string& now) {
            if (tool.empty()) test::writeFile(path, now);
            else compressedFile(dir, tool, now);
            try {
                raw.visit({matrix[1].get(), matrix[3].get()}, progress, [](const Gene&, const std::vector<float>&) {});
            } catch (const std::runtime_error& error) {
                return std::string(error.what());
            }
            return std::string();
        };
        const std::string changed = "error: " + path + " changed during the run: ";
        EXPECT_EQ(changedError("gene\ts1\ts2\ng1\t1\t2\n\ng2\t2.5\t0\ng3\t9\t9\ng4\t0.1\t17\n"),
                  changed + "line 6 no longer holds gene 'g4' as first read.");
        EXPECT_EQ(changedError("gene\ts1\ts2\ng1\t1\t2\n\ng2\t2.5\t0\ng3\t9\t9\ng5\t0.1\t16\n"),
                  changed + "line 6 no longer holds gene 'g4' as first read.");
        // without the blank line the genes are the same: nothing changed that matters
        EXPECT_EQ(changedError("gene\ts1\ts2\ng1\t1\t2\ng2\t2.5\t0\ng3\t9\t9\ng4\t0.1\t16\n"), "");
        EXPECT_EQ(changedError("gene\ts1\ts2\ng1\t1\t2\n\ng2\t2.5\t0\n"), changed + "it ends before gene 'g4'.");
    }
}

TEST(CountMatrixReader, TextGluedToACountMakesTheLineMalformed) {
    const std::vector<std::string> tokens = {"1+2", "1.5.5", "3x", "1,5", "1e",  "1e+",       ".",
                                             "+",   "-",     "+-3", "++3", "0x", "e5",  "abc",       "1\"",
                                             "\"1\"", "12345678a", std::string("1\0", 2)};
    for (const auto& token : tokens) {
        EXPECT_EQ(parseGeneLine("g 1 " + token + " 2", 1, 3), nullptr) << token;
    }
}

TEST(CountMatrixReader, ConvertsCountsExactlyAsStrtof) {
    const std::vector<std::string> tokens = {
        "0", "1e3", "+3", ".5", "5.", "1E-2", "0.1", "00012", "16777217", "16777216", "9999999", "12345678",
        "3.4028235e38", "3.40282356e38", "1e-40", "1e-50", "123456789012345678901234567890",
        "0.000000000000000000000000000000000000000000001", "2.5e+10", "7.0000001", "0.30000001192092896",
        "1.00000005960464477539062500000000001"};
    for (const auto& token : tokens) {
        char* stop = nullptr;
        const float expected = std::strtof(token.c_str(), &stop);
        ASSERT_EQ(*stop, '\0') << token;
        const auto gene = parseGeneLine("g\t" + token, 1, 1);
        ASSERT_NE(gene, nullptr) << token;
        ASSERT_EQ(gene->counts.size(), 1u);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(gene->counts[0]), std::bit_cast<std::uint32_t>(expected + 0.0f))
            << token;
    }
}

TEST(CountMatrixReader, RandomTokensAgreeWithStrtof) {
    // Random spellings built from the characters numbers are made of: every token the
    // reader accepts must be one strtof converts in full, to the same value, and vice versa.
    const std::string alphabet = "0123456789012345678901234567890123456789..eE+-x";
    std::uint64_t state = 12345;
    auto next = [&state] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::size_t>(state >> 33);
    };
    int accepted = 0;
    for (int i = 0; i < 20000; ++i) {
        std::string token;
        const std::size_t length = 1 + next() % 14;
        for (std::size_t c = 0; c < length; ++c) token += alphabet[next() % alphabet.size()];
        char* stop = nullptr;
        const float value = std::strtof(token.c_str(), &stop);
        const bool convertible = stop != token.c_str() && *stop == '\0';
        // decimal only, and a negative spelling is valid only for zero itself
        const bool negative_nonzero =
            token[0] == '-' && token.substr(0, token.find_first_of("eE")).find_first_of("123456789") != std::string::npos;
        const bool valid = convertible && value >= 0.0f && std::isfinite(value) &&
                           token.find('x') == std::string::npos && !negative_nonzero;
        const auto gene = parseGeneLine("g " + token, 1, 1);
        ASSERT_EQ(gene != nullptr, valid) << token;
        if (gene) {
            ++accepted;
            ASSERT_EQ(std::bit_cast<std::uint32_t>(gene->counts[0]), std::bit_cast<std::uint32_t>(value + 0.0f))
                << token;
        }
    }
    EXPECT_GT(accepted, 2000);  // the alphabet must actually exercise the conversion
}

TEST(CountMatrixReader, ReadsLinesOfAnyLength) {
    // A header and a gene line far longer than any fixed line buffer or read block.
    const std::size_t num_samples = 1'500'000;
    std::string content = "gene";
    for (std::size_t s = 0; s < num_samples; ++s) content += "\tsample";
    content += "\nlong";
    for (std::size_t s = 0; s < num_samples; ++s) content += s % 3 == 0 ? "\t1.25" : "\t0";
    content += "\nshort";
    for (std::size_t s = 0; s < num_samples; ++s) content += "\t2";
    content += "\n";
    test::TempDir dir;
    const auto path = dir.path() / "wide.tsv";
    test::writeFile(path, content);

    const CountMatrix genes = read(path.string(), true);
    ASSERT_EQ(genes.size(), 2u);
    ASSERT_EQ(genes[0]->counts.size(), num_samples);
    ASSERT_EQ(genes[1]->counts.size(), num_samples);
    EXPECT_EQ(genes[0]->counts[0], 1.25f);
    EXPECT_EQ(genes[0]->counts[num_samples - 1], (num_samples - 1) % 3 == 0 ? 1.25f : 0.0f);
    EXPECT_EQ(genes[1]->name, "short");
    EXPECT_EQ(genes[1]->id, 2u);
    EXPECT_EQ(genes[1]->counts[num_samples - 1], 2.0f);
}

TEST(CountMatrixReader, LinesAcrossReadBlocksComeBackIntact) {
    // A generated matrix of several read blocks: lines cut by a block end must be rejoined.
    test::TempDir dir;
    const auto path = dir.path() / "matrix.tsv";
    const auto result = test::runCommand(std::string(VARNOSK_GENERATOR) +
                                         " --genes 50000 --samples 50 --species 5 --seed 3 --out " + path.string());
    ASSERT_EQ(result.status, 0) << result.err;
    const CountMatrix genes = read(path.string(), true);

    // The generator writes integer counts: writing the genes back must give the file again.
    const std::string original = test::readFile(path);
    std::string rewritten = original.substr(0, original.find('\n') + 1);
    for (const auto& gene : genes) {
        rewritten += gene->name;
        for (const float count : gene->counts) {
            rewritten += '\t';
            rewritten += std::to_string(static_cast<std::uint64_t>(count));
        }
        rewritten += '\n';
    }
    EXPECT_EQ(genes.size(), 50000u);
    const auto [at, unused] = std::mismatch(rewritten.begin(), rewritten.end(), original.begin(), original.end());
    EXPECT_TRUE(rewritten == original) << "first difference at byte " << (at - rewritten.begin());
}

}  // namespace
}  // namespace varnosk
