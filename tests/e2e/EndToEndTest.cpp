// Runs the real binary on small fixtures and checks exit status, standard streams and the
// files it leaves in the output directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
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

const std::string kBanner = "Varnosk - version " VARNOSK_VERSION "\nThe Varnosk developers\n\n";

}  // namespace

TEST(EndToEnd, UsageHelpAndVersion) {
    for (const std::string args : {"", " a.ini b.ini", " --help extra", " -t 2", " a.ini -t 2", " --threads"}) {
        const ProcessResult result = runCommand(kBinary + args);
        EXPECT_EQ(result.status, 255) << args;
        EXPECT_EQ(result.err, "Usage: " + kBinary + " [-t N | --threads N] [profile] settings.ini\n") << args;
        EXPECT_EQ(result.out, "") << args;
    }
    const ProcessResult version = runCommand(kBinary + " --version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("varnosk ") + VARNOSK_VERSION + "\n");
    const ProcessResult help = runCommand(kBinary + " --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: varnosk [-t N | --threads N] settings.ini\n"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("README.md"), std::string::npos);
    EXPECT_EQ(help.err, "");
    // misspelt, it is a settings file like any other
    EXPECT_EQ(runCommand(kBinary + " --helpx").status, 255);

    // what was asked for could not be written: a full device, a closed standard output
    for (const std::string args : {" --version >/dev/full", " --help >/dev/full", " --version >&-", " --help >&-"}) {
        const ProcessResult lost = runCommand("(" + kBinary + args + ")");
        EXPECT_EQ(lost.status, 255) << args;
        EXPECT_EQ(lost.err, "error: standard output could not be written.\n") << args;
    }
    // the program name is echoed with its control characters escaped
    const ProcessResult named = runCommand("bash -c 'exec -a \"$(printf \"var\\033[2Jnosk\\a\")\" " + kBinary + "'");
    EXPECT_EQ(named.status, 255);
    EXPECT_EQ(named.err, "Usage: var\\x1b[2Jnosk\\x07 [-t N | --threads N] [profile] settings.ini\n");

    // a thread count is a whole number from 1 to 4096, checked before the settings
    for (const std::string count : {"0", "-1", "4097", "two", "1.5", "''", "99999999999"}) {
        const ProcessResult refused = runCommand(kBinary + " -t " + count + " missing.ini");
        EXPECT_EQ(refused.status, 255) << count;
        const std::string echoed = count == "''" ? "" : count;
        EXPECT_EQ(refused.err,
                  "error: the number of threads (-t, --threads) must be a whole number from 1 to 4096, "
                  "not '" +
                      echoed + "'.\n")
            << count;
    }
}

TEST(EndToEnd, SettingsAndMatrixErrorsEndTheRunWithOneMessage) {
    BinaryRun settings_error(kData / "two_planted_groups.tsv", {{"genes_comparison.detection_limit", "5"}});
    const ProcessResult result = settings_error.exec();
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err, "error: genes_comparison.detection_limit must be a value within range: [6;3.40282e+38]\n");
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(settings_error.files().empty());

    TempDir data("varnosk-e2e-data");
    writeFile(data.path() / "bad.tsv", "gene\ts1\ts2\ts3\ng1\t1\t2\t3\ng2\t1\tx\t3\n");
    BinaryRun matrix_error(data.path() / "bad.tsv");
    const ProcessResult bad = matrix_error.exec();
    EXPECT_EQ(bad.status, 255);
    // no empty line, no time report; the open progress line is ended on standard output
    EXPECT_EQ(bad.err, "error at line 3: malformed data.\n");
    EXPECT_EQ(bad.out, kBanner + "Reading count matrix...\nProgress: 0%\n");
    EXPECT_EQ(matrix_error.files(), (std::set<std::string>{"application_settings.ini", "execution_description.ini"}));
}

TEST(EndToEnd, StagesFollowTheSettings) {
    const std::vector<std::string> all = {"Reading count matrix",
                                          "Computing number of mapped reads in samples",
                                          "Sqrt transformation",
                                          "Filtering rare genes",
                                          "Creating genes bins",
                                          "Creating seeds",
                                          "Printing all seeds",
                                          "Merging seeds",
                                          "Printing merged seeds",
                                          "Extracting core seeds",
                                          "Printing core seeds",
                                          "Creating Metagenomic Species Pan-genomes",
                                          "Printing Metagenomic Species Pan-genomes",
                                          "Computing MSP abundance",
                                          "Printing MSP abundance and summary",
                                          "Writing report",
                                          "Total"};
    BinaryRun full(kData / "two_planted_groups.tsv");
    const ProcessResult all_stages = full.exec();
    ASSERT_EQ(all_stages.status, 0) << all_stages.err;
    EXPECT_EQ(all_stages.err, "");
    EXPECT_EQ(readMsps(full.out / "all_msps.tsv").size(), 2u);
    EXPECT_EQ(timeReportNames(all_stages.out), all);

    BinaryRun reduced(kData / "two_planted_groups.tsv",
                      {{"genes_bins_creation.enabled", "false"}, {"output.print_seeds", "false"}});
    const ProcessResult fewer_stages = reduced.exec();
    ASSERT_EQ(fewer_stages.status, 0) << fewer_stages.err;
    std::vector<std::string> fewer;
    for (const auto& name : all) {
        if (name.rfind("Printing", 0) == 0 && name.find("seeds") != std::string::npos) continue;
        if (name != "Computing number of mapped reads in samples" && name != "Creating genes bins")
            fewer.push_back(name);
    }
    EXPECT_EQ(timeReportNames(fewer_stages.out), fewer);
    // without bins every gene of the bins table is in bin 1
    std::istringstream bins(readFile(reduced.out / "genes_bins.tsv"));
    std::string line;
    std::getline(bins, line);
    int genes = 0;
    for (; std::getline(bins, line); ++genes) EXPECT_EQ(line.substr(line.rfind('\t') + 1), "1") << line;
    EXPECT_EQ(genes, 29);
}

TEST(EndToEnd, HeaderThatDoesNotFitTheSamplesGivesGeneratedNamesAndSaysWhy) {
    TempDir data("varnosk-e2e-data");
    std::string matrix = readFile(kData / "two_planted_groups.tsv");
    matrix.insert(matrix.find('\n'), "\textra");  // one field too many
    writeFile(data.path() / "matrix.tsv", matrix);
    BinaryRun run(data.path() / "matrix.tsv");
    const ProcessResult result = run.exec();
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find(" samples.\nThe matrix header has 18 fields for 16 samples, so the samples are named "
                              "sample_1 to sample_16.\n\n"),
              std::string::npos)
        << result.out;
    std::string header = "msp_name";
    for (int s = 1; s <= 16; ++s) header += "\tsample_" + std::to_string(s);
    const std::string table = readFile(run.out / "msp_abundance.tsv");
    EXPECT_EQ(table.substr(0, table.find('\n')), header);
}

// Beyond the golden cases: a matrix large enough for several bins per thread, at thread
// counts the golden test does not use; the console up to the time report too.
TEST(EndToEnd, GeneratedMatrixOutputsDoNotDependOnThreadCount) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "covered by the optimised build: four runs on 20,000 genes are too slow under the sanitizers";
#endif
    TempDir data("varnosk-e2e-generated");
    const fs::path matrix = data.path() / "matrix.tsv";
    ASSERT_EQ(runCommand(std::string(VARNOSK_GENERATOR) + " --genes 20000 --samples 60 --species 40 --seed 11 --out " +
                         matrix.string())
                  .status,
              0);
    std::map<std::string, std::string> reference;
    // the environment, and the option (which wins over it) in either spelling
    const std::pair<int, std::string> runs[] = {
        {1, "OMP_NUM_THREADS=1"}, {2, "OMP_NUM_THREADS=2"}, {3, "OMP_NUM_THREADS=1 %s -t 3"}, {8, "%s --threads=8"}};
    for (const auto& [threads, launch] : runs) {
        const BinaryRun run(matrix);
        const std::string::size_type at = launch.find("%s");
        const ProcessResult result =
            at == std::string::npos
                ? run.exec(launch)
                : runCommand(launch.substr(0, at) + kBinary + launch.substr(at + 2) + " " + run.settings.string());
        ASSERT_EQ(result.status, 0) << result.err;
        // more threads than CPUs get a note of their own; the rest of the console is the same
        std::string console = result.out.substr(0, result.out.find("Time Statistics:"));
        if (const auto note = console.find("Note: "); note != std::string::npos) {
            console.erase(note, console.find("\n\n", note) + 2 - note);
        }
        std::map<std::string, std::string> outputs = {{"stdout", console}};
        for (const auto& table : kTables) outputs[table] = readFile(run.out / table);
        if (threads == 1) reference = outputs;
        for (const auto& [name, content] : outputs) {
            EXPECT_EQ(content, reference[name]) << name << " differs with " << threads << " threads";
        }
    }
}

#ifdef VARNOSK_MPI
// With bins off, one bin holds every gene, and one species in every sample makes nearly every
// pair a candidate: more than one band holds (1.6 million pairs), so the ranks gather band after
// band for the root. The tables of one process.
TEST(EndToEnd, OneBinSharedByRanksBandByBandGivesTheTablesOfOneProcess) {
    TempDir data("varnosk-e2e-shared-bin");
    const fs::path matrix = data.path() / "matrix.tsv";
    ASSERT_EQ(runCommand(std::string(VARNOSK_GENERATOR) + " --genes 3000 --samples 40 --species 1 --prevalence 1 " +
                         "--noise-fraction 0.05 --seed 5 --out " + matrix.string())
                  .status,
              0);
    std::map<std::string, std::string> reference;
    for (const int ranks : {1, 2, 3}) {
        const BinaryRun run(matrix, {{"genes_bins_creation.enabled", "false"}});
        const ProcessResult result = run.exec("OMP_NUM_THREADS=1 " + mpirunPrefix(ranks));
        ASSERT_EQ(result.status, 0) << result.err;
        std::map<std::string, std::string> tables;
        for (const auto& table : kTables) tables[table] = readFile(run.out / table);
        if (ranks == 1) {
            reference = tables;
            EXPECT_NE(tables["all_msps.tsv"].find("core"), std::string::npos);
        }
        for (const auto& [name, content] : tables)
            EXPECT_EQ(content, reference[name]) << name << " at " << ranks << " ranks";
    }
}
#endif

// The bundled example has a known answer (examples/truth.tsv): every MSP is one planted
// species, every species is found once, with 95% of its core genes (an accessory gene present
// in every sample of its species is rightly core, and Poisson noise can make a core gene look
// exclusive). Unlike the golden tables, this still holds when those are regenerated.
TEST(EndToEnd, ExampleRecoversThePlantedSpecies) {
    std::map<std::string, std::string> species_of;
    std::map<std::string, std::set<std::string>> planted_core;
    std::istringstream truth(readFile(kExampleDir / "truth.tsv"));
    std::string line, id, name, species, role;
    for (std::getline(truth, line); truth >> id >> name >> species >> role;) {
        species_of[name] = species;
        if (role == "core") planted_core[species].insert(name);
    }
    BinaryRun run(BinaryRun::ExampleSettings{});
    const ProcessResult result = run.exec();
    ASSERT_EQ(result.status, 0) << result.err;
    std::set<std::string> found;
    for (const auto& [msp, categories] : readMsps(run.out / "all_msps.tsv")) {
        std::set<std::string> species_in_msp;
        for (const auto& [category, names] : categories) {
            for (const auto& gene : names) species_in_msp.insert(species_of.at(gene));
        }
        ASSERT_EQ(species_in_msp.size(), 1u) << msp << " mixes species";
        const std::string& majority = *species_in_msp.begin();
        EXPECT_NE(majority, "none") << msp << " is made of noise genes";
        EXPECT_TRUE(found.insert(majority).second) << majority << " found twice";
        const auto core = categories.count("core") ? categories.at("core") : std::set<std::string>{};
        const auto& expected = planted_core[majority];
        const auto recovered =
            std::count_if(expected.begin(), expected.end(), [&](const auto& g) { return core.count(g); });
        EXPECT_GE(static_cast<double>(recovered), 0.95 * static_cast<double>(expected.size())) << msp;
    }
    EXPECT_EQ(found.size(), planted_core.size());
}
