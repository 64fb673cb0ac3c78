#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.hpp"
#include "matrix/CountMatrixReader.hpp"

namespace varnosk {
namespace {

test::ProcessResult generate(const std::string& arguments) {
    return test::runCommand(std::string(VARNOSK_GENERATOR) + " " + arguments);
}

TEST(GenerateMatrix, OutputDependsOnlyOnTheOptions) {
    test::TempDir dir;
    const std::string options = " --genes 400 --samples 20 --species 3";
    auto output = [&](const std::string& name, const std::string& seed) {
        const auto matrix = dir.path() / (name + ".tsv");
        const auto truth = dir.path() / (name + "_truth.tsv");
        const auto result = generate(options + " --seed " + seed + " --out " + matrix.string() + " --truth " + truth.string());
        EXPECT_EQ(result.status, 0) << result.err;
        return test::readFile(matrix) + test::readFile(truth);
    };
    const std::string first = output("a", "5");
    EXPECT_EQ(output("b", "5"), first);
    EXPECT_NE(output("c", "6"), first);
}

TEST(GenerateMatrix, TruthMatchesThePlantedStructure) {
    test::TempDir dir;
    const auto matrix_path = dir.path() / "matrix.tsv";
    const auto truth_path = dir.path() / "truth.tsv";
    const auto result = generate("--genes 2000 --samples 40 --species 6 --seed 11 --out " + matrix_path.string() +
                                 " --truth " + truth_path.string());
    ASSERT_EQ(result.status, 0) << result.err;

    test::NullProgress progress;
    const CountMatrix genes = readCountMatrix(matrix_path.string(), true, progress);
    ASSERT_EQ(genes.size(), 2000u);
    ASSERT_EQ(genes.front()->counts.size(), 40u);

    std::istringstream truth(test::readFile(truth_path));
    std::string line;
    std::getline(truth, line);
    EXPECT_EQ(line, "gene_id\tgene_name\tspecies\trole");
    // Per species: samples where a core gene was counted, samples where an accessory gene was.
    std::map<std::string, std::set<std::size_t>> core_samples, accessory_samples;
    std::map<std::string, std::size_t> roles;
    std::size_t zeros = 0;
    for (const auto& gene : genes) {
        ASSERT_TRUE(std::getline(truth, line));
        std::istringstream fields(line);
        std::uint64_t id = 0;
        std::string name, species, role;
        fields >> id >> name >> species >> role;
        ASSERT_EQ(id, gene->id);
        ASSERT_EQ(name, gene->name);
        ++roles[role];
        ASSERT_EQ(species == "none", role == "noise") << line;
        for (std::size_t s = 0; s < gene->counts.size(); ++s) {
            if (gene->counts[s] == 0.0f) {
                ++zeros;
            } else if (role == "core") {
                core_samples[species].insert(s);
            } else if (role == "accessory") {
                accessory_samples[species].insert(s);
            }
        }
    }
    EXPECT_FALSE(std::getline(truth, line));
    EXPECT_EQ(roles["noise"], 400u);
    EXPECT_GT(roles["core"], roles["accessory"]);
    EXPECT_GT(zeros, genes.size() * 40 / 2);  // mostly zeros, as real matrices are

    ASSERT_EQ(core_samples.size(), 6u);
    for (const auto& [species, samples] : core_samples) {
        // Every species lives in at least a quarter of the samples and is absent from some.
        EXPECT_GE(samples.size(), 10u) << species;
        EXPECT_LT(samples.size(), 40u) << species;
        // Accessory genes are never seen where the species is absent.
        for (const std::size_t s : accessory_samples[species]) EXPECT_TRUE(samples.count(s)) << species << " " << s;
    }
}

}  // namespace
}  // namespace varnosk
