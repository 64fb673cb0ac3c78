#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.hpp"

namespace varnosk {
namespace {

// The golden cases' README regenerates their inputs from seeds: the output must depend on
// the options alone.
TEST(GenerateMatrix, OutputDependsOnlyOnTheOptions) {
    test::TempDir dir;
    auto output = [&](const std::string& name, const std::string& seed) {
        const auto matrix = dir.path() / (name + ".tsv");
        const auto truth = dir.path() / (name + "_truth.tsv");
        const auto result =
            test::runCommand(std::string(VARNOSK_GENERATOR) + " --genes 400 --samples 20 --species 3 --seed " + seed +
                             " --out " + matrix.string() + " --truth " + truth.string());
        EXPECT_EQ(result.status, 0) << result.err;
        return test::readFile(matrix) + test::readFile(truth);
    };
    const std::string first = output("a", "5");
    EXPECT_EQ(output("b", "5"), first);
    EXPECT_NE(output("c", "6"), first);
}

// --prevalence 1 makes the bench case whose species are present in every sample.
TEST(GenerateMatrix, FixedPrevalencePutsEverySpeciesEverywhere) {
    test::TempDir dir;
    const auto matrix = dir.path() / "matrix.tsv";
    const auto result =
        test::runCommand(std::string(VARNOSK_GENERATOR) +
                         " --genes 400 --samples 20 --species 3 --prevalence 1 --out " + matrix.string());
    ASSERT_EQ(result.status, 0) << result.err;
    for (const char* species : {"species_1", "species_2", "species_3"}) {
        EXPECT_NE(result.out.find(std::string(species) + ": "), std::string::npos) << result.out;
    }
    std::size_t everywhere = 0;
    for (std::size_t at = result.out.find("present in 20 samples"); at != std::string::npos;
         at = result.out.find("present in 20 samples", at + 1)) {
        ++everywhere;
    }
    EXPECT_EQ(everywhere, 3u) << result.out;
}

// A prevalence range maps the default draw: the default range gives the default matrix, and
// a range of one value the matrix of that fixed prevalence.
TEST(GenerateMatrix, PrevalenceRangeMapsTheDefaultDraw) {
    test::TempDir dir;
    const auto matrix = [&](const std::string& options) {
        const auto path = dir.path() / "matrix.tsv";
        const auto result = test::runCommand(std::string(VARNOSK_GENERATOR) + " --genes 300 --samples 30 --species 4 " +
                                             options + " --out " + path.string());
        EXPECT_EQ(result.status, 0) << options << ": " << result.err;
        return test::readFile(path);
    };
    EXPECT_EQ(matrix("--prevalence-range 0.15:0.5"), matrix(""));
    EXPECT_EQ(matrix("--prevalence-range 0.7:0.7"), matrix("--prevalence 0.7"));
    EXPECT_NE(matrix("--prevalence-range 0.1:0.9"), matrix(""));
    for (const std::string bad : {"0.5", "0.6:0.2", "0:0.5", "0.2:1.5"}) {
        EXPECT_NE(test::runCommand(std::string(VARNOSK_GENERATOR) + " --prevalence-range " + bad + " --out " +
                                   (dir.path() / "x.tsv").string())
                      .status,
                  0)
            << bad;
    }
}

// The bench cases of duplicated genes and of abundant species: --duplicates appends copies of
// a core gene's counts, and the abundance options leave the other genes' random stream alone
// only when they are not given.
TEST(GenerateMatrix, DuplicatesRepeatACoreGenesCounts) {
    test::TempDir dir;
    const auto path = dir.path() / "matrix.tsv";
    const auto truth = dir.path() / "truth.tsv";
    const auto result =
        test::runCommand(std::string(VARNOSK_GENERATOR) + " --genes 50 --samples 12 --species 2 --duplicates 3 --out " +
                         path.string() + " --truth " + truth.string());
    ASSERT_EQ(result.status, 0) << result.err;
    std::vector<std::string> lines;
    std::istringstream text(test::readFile(path));
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 54u);  // header, 50 genes, 3 copies
    const auto counts = [](const std::string& line) { return line.substr(line.find('\t')); };
    std::size_t copied = 0;
    for (std::size_t row = 1; row <= 50; ++row) {
        if (counts(lines[row]) == counts(lines[51])) copied = row;
    }
    ASSERT_NE(copied, 0u);
    EXPECT_NE(test::readFile(truth).find("gene_" + std::string(copied < 10 ? "0" : "") + std::to_string(copied) +
                                         "\tspecies_1\tcore"),
              std::string::npos);
    EXPECT_EQ(counts(lines[52]), counts(lines[51]));
    EXPECT_EQ(counts(lines[53]), counts(lines[51]));
    EXPECT_EQ(lines[53].substr(0, lines[53].find('\t')), "gene_53");

    const auto matrix = [&](const std::string& options) {
        const auto run = test::runCommand(std::string(VARNOSK_GENERATOR) + " --genes 200 --samples 20 --species 2 " +
                                          options + " --out " + path.string());
        EXPECT_EQ(run.status, 0) << options << ": " << run.err;
        return test::readFile(path);
    };
    const std::string plain = matrix("");
    for (const std::string options : {"--dispersion 0.05", "--abundance-sd 0.3", "--level-sd 0"}) {
        EXPECT_NE(matrix(options), plain) << options;
    }
    EXPECT_EQ(matrix("--dispersion 0"), plain);
}

}  // namespace
}  // namespace varnosk
