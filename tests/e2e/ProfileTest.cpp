// `varnosk profile`: the samples of a count matrix measured against an existing MSP set.
#include <gtest/gtest.h>

#include <filesystem>
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

const fs::path kExpected = fs::path(VARNOSK_SOURCE_DIR) / "tests" / "e2e" / "expected";

// The value of `key` in a recorded settings file.
std::string recorded(const std::string& settings, const std::string& key) {
    std::istringstream in(settings);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(key + " = ", 0) == 0) return line.substr(key.size() + 3);
    }
    return "";
}

// A profile run in a fresh folder: the settings name `matrix` and `msps`; returns the run.
struct ProfileRun {
    TempDir dir{"varnosk-profile"};
    fs::path out = dir.path() / "out";

    ProcessResult run(const fs::path& matrix, const fs::path& msps, const std::string& has_header = "true",
                      const std::string& extra = "") const {
        fs::create_directory(out);
        writeFile(dir.path() / "settings.ini", "[input]\ncount_matrix_file = " + matrix.string() +
                                                   "\ncount_matrix_has_header = " + has_header +
                                                   "\n\n[profile]\nmsps_file = " + msps.string() + "\n" + extra +
                                                   "\n[output]\noutput_dir = " + out.string() + "\n");
        return runCommand(kBinary + " profile " + (dir.path() / "settings.ini").string());
    }
};

// The table without its last column.
std::string withoutLastColumn(const std::string& table) {
    std::istringstream in(table);
    std::string kept;
    for (std::string line; std::getline(in, line);) kept.append(line.substr(0, line.rfind('\t'))).append("\n");
    return kept;
}

// A run's own matrix and all_msps.tsv give back its abundance tables, and with its
// comparison settings its summary (cohesion included), for every golden case with species.
TEST(Profile, ARunsOwnMatrixAndMspsGiveBackItsAbundanceTablesAndSummary) {
    int compared = 0;
    for (const std::string name :
         {"example", "planted", "crlf_no_header_no_bins", "zero_sample_normalized", "identical_genes"}) {
        const fs::path expected = kExpected / name;
        if (!fs::exists(expected / "msp_abundance.tsv")) continue;
        const std::string settings = readFile(expected / "application_settings.ini");
        const fs::path matrix =
            name == "example" ? kExampleMatrix : fs::path(VARNOSK_SOURCE_DIR) / "tests/e2e/cases" / name / "matrix.tsv";
        std::string comparison;
        for (const std::string key :
             {"detection_limit", "min_prevalence", "min_prevalence_for_outliers", "max_outliers_fraction"}) {
            comparison += key + " = " + recorded(settings, key) + "\n";
        }
        const ProfileRun profile;
        const ProcessResult result = profile.run(
            matrix, expected / "all_msps.tsv", recorded(settings, "count_matrix_has_header"),
            "\n[msp_abundance]\nnum_core_genes = " + recorded(settings, "num_core_genes") +
                "\nmin_detected_share = " + recorded(settings, "min_detected_share") + "\n[genes_comparison]\n" +
                comparison + "[seeds_creation]\nnum_best_representative_genes = " +
                recorded(settings, "num_best_representative_genes") + "\n");
        ASSERT_EQ(result.status, 0) << name << ": " << result.err;
        for (const std::string table : {"msp_abundance.tsv", "msp_relative_abundance.tsv"}) {
            EXPECT_EQ(readFile(profile.out / table), readFile(expected / table)) << name << ": " << table;
        }
        // the same summary, and one column more: every core gene found
        EXPECT_EQ(withoutLastColumn(readFile(profile.out / "msp_summary.tsv")), readFile(expected / "msp_summary.tsv"))
            << name;
        EXPECT_NE(readFile(profile.out / "application_settings.ini").find("[genes_comparison]\n" + comparison),
                  std::string::npos)
            << name;
        ++compared;
    }
    EXPECT_GE(compared, 3);
}

// Missing core genes are skipped and the next ones taken; an MSP the matrix lacks entirely
// is absent everywhere; the summary says how many core genes were found.
TEST(Profile, MissingCoreGenesAreSkippedAndCounted) {
    TempDir data("varnosk-profile-data");
    writeFile(data.path() / "matrix.tsv", "gene\ts1\ts2\ts3\ng1\t10\t0\t4\ng2\t20\t0\t0\ng3\t0\t5\t8\ng4\t1\t1\t1\n");
    writeFile(data.path() / "msps.tsv",
              "msp_name\tgene_category\tgene_id\tgene_name\nA\tcore\t1\tg1\nA\tcore\t2\tgX\nA\tcore\t3\tg2\n"
              "A\tcore\t4\tg3\nA\taccessory\t5\tg4\nB\tcore\t6\tgY\n");
    const ProfileRun profile;
    const ProcessResult result = profile.run(data.path() / "matrix.tsv", data.path() / "msps.tsv", "true",
                                             "\n[msp_abundance]\nnum_core_genes = 2\nmin_detected_share = 0.5\n");
    ASSERT_EQ(result.status, 0) << result.err;
    // A from g1 and g2: s3 has one of the two non-zero, which meets the share
    EXPECT_EQ(readFile(profile.out / "msp_abundance.tsv"), "msp_name\ts1\ts2\ts3\nA\t15\t0\t2\nB\t0\t0\t0\n");
    EXPECT_EQ(readFile(profile.out / "msp_relative_abundance.tsv"), "msp_name\ts1\ts2\ts3\nA\t1\t0\t1\nB\t0\t0\t0\n");
    EXPECT_EQ(
        readFile(profile.out / "msp_summary.tsv"),
        "msp_name\tcore\taccessory\tshared_core\tshared_accessory\tfirst_core_gene\tdetected_samples\t"
        "mean_abundance\tcohesion\tcore_genes_found\nA\t4\t1\t0\t0\tg1\t2\t8.5\tNA\t3\nB\t1\t0\t0\t0\tgY\t0\tNA\tNA\t0\n");
    EXPECT_NE(readFile(profile.out / "application_settings.ini").find("[profile]\nmsps_file = "), std::string::npos);
    // the report names the set's MSPs and its clustering facts are left out
    const std::string report = readFile(profile.out / "report.html");
    EXPECT_NE(report.find("<tr class=\"msp-row\"><td>A</td><td class=\"n\">4</td>"), std::string::npos);
    EXPECT_NE(report.find("<td>Core genes found in the matrix</td><td>3</td>"), std::string::npos);
    EXPECT_EQ(report.find("Genes bins"), std::string::npos);

    // with the comparison settings, a cohesion for A (its comparisons, on one detected sample,
    // are not valid and score 0) and none for B, which has no core gene here
    const ProfileRun with_cohesion;
    const ProcessResult scored = with_cohesion.run(
        data.path() / "matrix.tsv", data.path() / "msps.tsv", "true",
        "\n[genes_comparison]\ndetection_limit = 6\nmin_prevalence = 2\nmin_prevalence_for_outliers = 5\n"
        "max_outliers_fraction = 0\n[seeds_creation]\nnum_best_representative_genes = 10\n");
    ASSERT_EQ(scored.status, 0) << scored.err;
    const std::string summary = readFile(with_cohesion.out / "msp_summary.tsv");
    EXPECT_NE(summary.find("\nA\t4\t1\t0\t0\tg1\t3\t5.222222222222222\t0\t3\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("\nB\t1\t0\t0\t0\tgY\t0\tNA\tNA\t0\n"), std::string::npos) << summary;
}

TEST(Profile, EachMalformedInputIsOneErrorNamingFileAndLine) {
    TempDir data("varnosk-profile-data");
    const fs::path matrix = data.path() / "matrix.tsv";
    const fs::path msps = data.path() / "msps.tsv";
    writeFile(matrix, "gene\ts1\ts2\ng1\t1\t2\ng2\t3\t4\n");
    const std::string header = "msp_name\tgene_category\tgene_id\tgene_name\n";
    const std::string at = "error: " + msps.string() + ", line ";
    const std::pair<std::string, std::string> cases[] = {
        {"msp\tcategory\tid\tname\nA\tcore\t1\tg1\n",
         at + "1: the header must be \"msp_name<tab>gene_category<tab>gene_id<tab>gene_name\"."},
        {header + "A\tcore\t1\n",
         at + "2: expected four tab-separated fields: msp_name, gene_category, gene_id, gene_name."},
        {header + "A\tcore\t1\tg1\nA\tcoer\t2\tg2\n",
         at + "3: unknown gene category 'coer' (core, accessory, shared_core or shared_accessory)."},
        {header + "A\tcore\t1\tg1\nC\taccessory\t2\tg2\n", at + "3: C has no core gene."},
        {header + "A\tcore\t1\tg1\nA\taccessory\t2\tg1\n", at + "3: gene 'g1' is listed twice in A."},
        {header, at + "1: the file lists no MSP."},
        {header + "A\tcore\t1\tgZ\n", "error: the count matrix " + matrix.string() +
                                          " holds no core gene of the MSP set " + msps.string() +
                                          " (genes are matched by name)."},
    };
    for (const auto& [content, message] : cases) {
        writeFile(msps, content);
        const ProfileRun profile;
        const ProcessResult result = profile.run(matrix, msps);
        EXPECT_EQ(result.status, 255) << content;
        EXPECT_EQ(result.err, message + "\n") << content;
    }
    // a core gene on two lines of the matrix
    writeFile(msps, header + "A\tcore\t1\tg1\n");
    writeFile(matrix, "gene\ts1\ts2\ng1\t1\t2\ng2\t3\t4\ng1\t5\t6\n");
    const ProcessResult twice = ProfileRun().run(matrix, msps);
    EXPECT_EQ(twice.err,
              "error at line 4: 'g1' is already at line 2: a gene the MSP set names must be on one line of the count "
              "matrix.\n");
    // a profile run reads only its own keys
    const ProcessResult clustering_key =
        ProfileRun().run(matrix, msps, "true", "\n[seeds_creation]\nmin_seed_size = 3\n");
    EXPECT_EQ(clustering_key.err, "unrecognised option 'seeds_creation.min_seed_size'\n");
    // the comparison settings come all together or not at all
    const ProcessResult partial =
        ProfileRun().run(matrix, msps, "true", "\n[genes_comparison]\ndetection_limit = 6\nmin_prevalence = 2\n");
    EXPECT_EQ(partial.err,
              "error: genes_comparison.detection_limit, genes_comparison.min_prevalence given without "
              "genes_comparison.min_prevalence_for_outliers, genes_comparison.max_outliers_fraction, "
              "seeds_creation.num_best_representative_genes: cohesion needs all of genes_comparison.detection_limit, "
              "genes_comparison.min_prevalence, genes_comparison.min_prevalence_for_outliers, "
              "genes_comparison.max_outliers_fraction, seeds_creation.num_best_representative_genes, or none for no "
              "cohesion.\n");
}

// [taxonomy] names the MSPs of a profile run and of a clustering run from their core genes.
TEST(Taxonomy, NamesTheMspsOfBothRunsAndIsRecordedOnlyWhenGiven) {
    TempDir data("varnosk-taxonomy-data");
    writeFile(data.path() / "matrix.tsv", "gene\ts1\ts2\ng1\t10\t0\ng2\t20\t1\ng3\t0\t5\n");
    writeFile(data.path() / "msps.tsv",
              "msp_name\tgene_category\tgene_id\tgene_name\nA\tcore\t1\tg1\nA\tcore\t2\tgX\nA\tcore\t3\tg2\n"
              "A\tcore\t4\tg3\nB\tcore\t5\tgY\n");
    const fs::path lineages = data.path() / "lineages.tsv";
    writeFile(lineages, "# gene\tlineage\ng1\td__B;p__X;s__\ng3\td__B;p__Y\nother\td__A\ng2\td__B;p__X\n");
    const ProfileRun profile;
    const ProcessResult result = profile.run(data.path() / "matrix.tsv", data.path() / "msps.tsv", "true",
                                             "\n[taxonomy]\ngene_lineages_file = " + lineages.string() + "\n");
    ASSERT_EQ(result.status, 0) << result.err;
    // A: three annotated core genes (gX has none), two in p__X; B: none annotated
    EXPECT_EQ(readFile(profile.out / "msp_taxonomy.tsv"),
              "msp_name\tlineage\trank\tagreement\tannotated_core_genes\n"
              "A\td__B;p__X\tphylum\t0.6666666666666666\t3\nB\tNA\tNA\tNA\t0\n");
    EXPECT_NE(readFile(profile.out / "application_settings.ini")
                  .find("[taxonomy]\ngene_lineages_file = " + lineages.string() + "\nmin_agreement = 0.5\n"),
              std::string::npos);

    // a clustering run: every gene of the example in one phylum
    std::string all_bacillota;
    std::istringstream matrix(readFile(kExampleMatrix));
    std::string line;
    std::getline(matrix, line);
    while (std::getline(matrix, line))
        all_bacillota += line.substr(0, line.find('\t')) + "\td__Bacteria;p__Bacillota\n";
    writeFile(lineages, all_bacillota);
    const BinaryRun run{BinaryRun::ExampleSettings{}};
    writeFile(run.settings, readFile(run.settings) + "\n[taxonomy]\ngene_lineages_file = " + lineages.string() + "\n");
    const ProcessResult clustered = run.exec();
    ASSERT_EQ(clustered.status, 0) << clustered.err;
    const std::string taxonomy = readFile(run.out / "msp_taxonomy.tsv");
    EXPECT_NE(taxonomy.find("msp_01\td__Bacteria;p__Bacillota\tphylum\t1\t"), std::string::npos) << taxonomy;
    EXPECT_NE(readFile(run.out / "report.html").find("<td>d__Bacteria;p__Bacillota</td>"), std::string::npos);

    // a malformed annotation line, and the agreement without a table
    writeFile(lineages, "g1\td__B\ng2 d__B\n");
    const ProcessResult malformed = ProfileRun().run(data.path() / "matrix.tsv", data.path() / "msps.tsv", "true",
                                                     "\n[taxonomy]\ngene_lineages_file = " + lineages.string() + "\n");
    EXPECT_EQ(malformed.err,
              "error: " + lineages.string() + ", line 2: expected two tab-separated fields: gene name, lineage.\n");
    const ProcessResult alone = ProfileRun().run(data.path() / "matrix.tsv", data.path() / "msps.tsv", "true",
                                                 "\n[taxonomy]\nmin_agreement = 0.6\n");
    EXPECT_EQ(alone.err, "error: taxonomy.min_agreement needs taxonomy.gene_lineages_file.\n");
}

}  // namespace
