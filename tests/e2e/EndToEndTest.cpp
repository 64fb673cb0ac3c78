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

#include "TestSupport.hpp"

namespace fs = std::filesystem;
using varnosk::test::ProcessResult;
using varnosk::test::readFile;
using varnosk::test::runCommand;
using varnosk::test::TempDir;
using varnosk::test::writeFile;

namespace {

const std::string kBinary = VARNOSK_BINARY;
const fs::path kData = VARNOSK_TEST_DATA_DIR;

using Overrides = std::map<std::string, std::string>;

// A complete settings file; `overrides` replaces values by "section.key".
std::string settingsText(const std::string& matrix, const std::string& output_dir, const Overrides& overrides = {}) {
    const std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> sections = {
        {"input", {{"count_matrix_file", matrix}, {"count_matrix_has_header", "true"}}},
        {"genes_comparison",
         {{"detection_limit", "6"},
          {"min_prevalence", "3"},
          {"min_prevalence_for_outliers", "5"},
          {"max_outliers_fraction", "0.1"}}},
        {"genes_bins_creation", {{"enabled", "true"}, {"normalize_counts", "true"}}},
        {"seeds_creation", {{"num_best_representative_genes", "10"}, {"min_concordance", "0.9"}, {"min_seed_size", "10"}}},
        {"seeds_merging", {{"min_concordance", "0.9"}, {"min_seed_size", "10"}}},
        {"msp_creation", {{"min_concordance", "0.9"}, {"min_robust_concordance", "0.9"}}},
        {"output", {{"output_dir", output_dir}, {"print_genes_bins", "true"}, {"print_seeds", "true"}}},
    };
    std::ostringstream text;
    for (const auto& [section, keys] : sections) {
        text << "[" << section << "]\n";
        for (const auto& [key, value] : keys) {
            const auto found = overrides.find(section + "." + key);
            text << key << " = " << (found == overrides.end() ? value : found->second) << "\n";
        }
        text << "\n";
    }
    return text.str();
}

// A run in a temporary folder: the settings file sits beside an empty "out" directory.
struct Run {
    TempDir dir{"varnosk-e2e"};
    fs::path out = dir.path() / "out";
    fs::path settings = dir.path() / "settings.ini";

    explicit Run(const fs::path& matrix, const Overrides& overrides = {}) {
        fs::create_directory(out);
        writeFile(settings, settingsText(matrix.string(), out.string(), overrides));
    }

    ProcessResult exec(const std::string& env = "") const {
        return runCommand(env + " " + kBinary + " " + settings.string());
    }

    std::set<std::string> files() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(out)) names.insert(entry.path().filename().string());
        return names;
    }
};

// Standard output up to the time report, whose figures depend on the clock.
std::string beforeTimeReport(const std::string& out) { return out.substr(0, out.find("Time Statistics:\n")); }

std::vector<std::string> timeReportNames(const std::string& out) {
    std::vector<std::string> names;
    std::istringstream report(out.substr(out.find("Time Statistics:\n") + 17));
    const std::regex line(R"((.+): [0-9]+ min [0-9]+ sec)");
    std::string text;
    std::smatch match;
    while (std::getline(report, text)) {
        if (std::regex_match(text, match, line)) names.push_back(match[1]);
    }
    return names;
}

// MSP name -> (category -> gene names) from all_msps.tsv.
std::map<std::string, std::map<std::string, std::set<std::string>>> readMsps(const fs::path& file) {
    std::map<std::string, std::map<std::string, std::set<std::string>>> msps;
    std::istringstream table(readFile(file));
    std::string line;
    std::getline(table, line);
    EXPECT_EQ(line, "msp_name\tgene_category\tgene_id\tgene_name");
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string msp, category, id, name;
        std::getline(fields, msp, '\t');
        std::getline(fields, category, '\t');
        std::getline(fields, id, '\t');
        std::getline(fields, name, '\t');
        msps[msp][category].insert(name);
    }
    return msps;
}

std::set<std::string> namesWithPrefix(const std::string& prefix, int count) {
    std::set<std::string> names;
    for (int i = 1; i <= count; ++i) names.insert(prefix + (i < 10 ? "0" : "") + std::to_string(i));
    return names;
}

const std::vector<std::string> kTables = {"genes_filtered_out.tsv", "genes_bins.tsv", "all_seeds.tsv",
                                          "all_merged_seeds.tsv", "all_core_seeds.tsv", "all_msps.tsv"};

}  // namespace

TEST(EndToEnd, WrongArgumentCountPrintsOnlyUsage) {
    for (const std::string args : {"", " a.ini b.ini"}) {
        const ProcessResult result = runCommand(kBinary + args);
        EXPECT_EQ(result.status, 255);
        EXPECT_EQ(result.err, "Usage: " + kBinary + " settings.ini\n");
        EXPECT_EQ(result.out, "");
    }
}

TEST(EndToEnd, SettingsErrorWritesNothing) {
    Run run(kData / "two_species.tsv", {{"genes_comparison.detection_limit", "5"}});
    const ProcessResult result = run.exec();
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err, "error: genes_comparison.detection_limit must be a value within range: [6;3.40282e+38]\n");
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(run.files().empty());
}

TEST(EndToEnd, MatrixErrorStopsAfterRunRecordsWithoutTimeReport) {
    TempDir data("varnosk-e2e-data");
    writeFile(data.path() / "bad.tsv", "gene\ts1\ts2\ts3\ng1\t1\t2\t3\ng2\t1\tx\t3\n");
    Run run(data.path() / "bad.tsv");
    const ProcessResult result = run.exec();
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err, "\nerror at line 3: malformed data.\n\n");
    EXPECT_EQ(result.out,
              "Varnosk - version 1.1.3\nThe Varnosk developers\n\n"
              "Reading count matrix...\nProgress: 0%\rProgress: 100%");
    EXPECT_EQ(run.files(), (std::set<std::string>{"application_settings.ini", "execution_description.ini"}));
}

TEST(EndToEnd, FullRunFindsBothPlantedSpecies) {
    Run run(kData / "two_species.tsv");
    const ProcessResult result = run.exec();
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");

    std::set<std::string> expected_files = {"application_settings.ini", "execution_description.ini"};
    expected_files.insert(kTables.begin(), kTables.end());
    EXPECT_EQ(run.files(), expected_files);

    EXPECT_EQ(readFile(run.out / "genes_filtered_out.tsv"), "gene_id\tgene_name\n6\trare_2\n17\trare_1\n");

    const auto msps = readMsps(run.out / "all_msps.tsv");
    ASSERT_EQ(msps.size(), 2u);
    std::set<std::set<std::string>> cores;
    for (const auto& [name, categories] : msps) cores.insert(categories.at("core"));
    EXPECT_EQ(cores, (std::set<std::set<std::string>>{namesWithPrefix("spA_", 12), namesWithPrefix("spB_", 12)}));

    EXPECT_EQ(timeReportNames(result.out),
              (std::vector<std::string>{"Reading count matrix", "Computing number of mapped reads in samples",
                                        "Sqrt transformation", "Filtering rare genes", "Creating genes bins",
                                        "Creating seeds", "Printing all seeds", "Merging seeds",
                                        "Printing merged seeds", "Extracting core seeds", "Printing core seeds",
                                        "Creating Metagenomic Species Pan-genomes",
                                        "Printing Metagenomic Species Pan-genomes", "Total"}));
}

TEST(EndToEnd, DisabledBinsAndSeedTablesSkipTheirStages) {
    Run run(kData / "two_species.tsv", {{"genes_bins_creation.enabled", "false"}, {"output.print_seeds", "false"}});
    const ProcessResult result = run.exec();
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string out = beforeTimeReport(result.out);
    EXPECT_EQ(out.find("Creating genes bins"), std::string::npos);
    EXPECT_EQ(out.find("Computing number of mapped reads"), std::string::npos);
    EXPECT_EQ(out.find("Printing all seeds"), std::string::npos);
    EXPECT_EQ(run.files(), (std::set<std::string>{"application_settings.ini", "execution_description.ini",
                                                  "genes_filtered_out.tsv", "genes_bins.tsv", "all_msps.tsv"}));

    std::istringstream bins(readFile(run.out / "genes_bins.tsv"));
    std::string line;
    std::getline(bins, line);
    int genes = 0;
    while (std::getline(bins, line)) {
        ++genes;
        EXPECT_EQ(line.substr(line.rfind('\t') + 1), "1") << line;
    }
    EXPECT_EQ(genes, 29);
    EXPECT_EQ(readMsps(run.out / "all_msps.tsv").size(), 2u);
}

TEST(EndToEnd, OutputsDoNotDependOnThreadCount) {
    std::map<std::string, std::string> reference;
    for (const int threads : {1, 2, 3, 8}) {
        Run run(fs::path(VARNOSK_SOURCE_DIR) / "examples" / "matrix.tsv");
        const ProcessResult result = run.exec("OMP_NUM_THREADS=" + std::to_string(threads));
        ASSERT_EQ(result.status, 0) << result.err;
        for (const auto& table : kTables) {
            const std::string content = readFile(run.out / table);
            if (threads == 1) {
                reference[table] = content;
            } else {
                EXPECT_EQ(content, reference[table]) << table << " differs with " << threads << " threads";
            }
        }
        if (threads == 1) reference["stdout"] = beforeTimeReport(result.out);
        else EXPECT_EQ(beforeTimeReport(result.out), reference["stdout"]) << threads << " threads";
    }
}
