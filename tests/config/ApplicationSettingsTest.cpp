#include "config/ApplicationSettings.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <stdexcept>
#include <string>

#include "TestSupport.hpp"
#include "config/SettingsFixture.hpp"
#include "config/SettingsLoader.hpp"

namespace varnosk {
namespace {

Settings load(const std::string& settings_path) {
    const char* argv[] = {"varnosk", settings_path.c_str()};
    return loadSettings(2, argv);
}

TEST(ApplicationSettings, WritesTheThirtyFiveLineFormat) {
    test::TempDir dir;
    Settings s;
    s.count_matrix_file = "data/genes counts.tsv";
    s.count_matrix_has_header = true;
    s.detection_limit = static_cast<double>(std::numeric_limits<float>::max());
    s.min_prevalence = 3;
    s.min_prevalence_for_outliers = 18446744073709551615u;
    s.max_outliers_fraction = 0.123456789;
    s.bins_enabled = true;
    s.normalize_counts = false;
    s.num_best_representative_genes = 10;
    s.seeds_min_concordance = 0.95;
    s.seeds_min_seed_size = 1000000;
    s.merging_min_concordance = 1e6;
    s.merging_min_seed_size = 30;
    s.msp_min_concordance = -0.5;
    s.msp_min_robust_concordance = 1e-7;
    s.abundance_num_core_genes = 50;
    s.abundance_min_detected_share = 0.25;
    s.output_dir = dir.str();
    s.print_genes_bins = false;
    s.print_seeds = true;

    writeApplicationSettings(s, OutputDirectory(dir.str()), "application_settings.ini");

    const std::string expected =
        "[input]\n"
        "count_matrix_file = data/genes counts.tsv\n"
        "count_matrix_has_header = true\n"
        "\n"
        "[genes_comparison]\n"
        "detection_limit = 3.4028234663852886e+38\n"
        "min_prevalence = 3\n"
        "min_prevalence_for_outliers = 18446744073709551615\n"
        "max_outliers_fraction = 0.123456789\n"
        "\n"
        "[genes_bins_creation]\n"
        "enabled = true\n"
        "normalize_counts = false\n"
        "\n"
        "[seeds_creation]\n"
        "num_best_representative_genes = 10\n"
        "min_concordance = 0.95\n"
        "min_seed_size = 1000000\n"
        "\n"
        "[seeds_merging]\n"
        "min_concordance = 1e+06\n"
        "min_seed_size = 30\n"
        "\n"
        "[msp_creation]\n"
        "min_concordance = -0.5\n"
        "min_robust_concordance = 1e-07\n"
        "\n"
        "[msp_abundance]\n"
        "num_core_genes = 50\n"
        "min_detected_share = 0.25\n"
        "\n"
        "[output]\n"
        "output_dir = " + dir.str() + "\n"
        "print_genes_bins = false\n"
        "print_seeds = true\n";
    EXPECT_EQ(test::readFile(dir.path() / "application_settings.ini"), expected);
}

TEST(ApplicationSettings, ReadsBackAsTheSameSettings) {
    test::SettingsFixture fixture;
    fixture.set("genes_comparison.detection_limit", "3.4028234663852886e+38")
        .set("genes_comparison.max_outliers_fraction", "0.123456789")
        .set("genes_bins_creation.enabled", "no")
        .set("genes_bins_creation.normalize_counts", "yes")
        .set("seeds_creation.min_concordance", "0.7000000001")
        .set("seeds_merging.min_concordance", "-1e-300")
        .set("msp_creation.min_robust_concordance", "0.999999999");
    const Settings first = load(fixture.write("[msp_abundance]\nmin_detected_share = 0.3333333333333333\n"));
    writeApplicationSettings(first, OutputDirectory(first.output_dir), "application_settings.ini");
    const auto written = std::filesystem::path(first.output_dir) / "application_settings.ini";
    EXPECT_NE(test::readFile(written).find("\nnormalize_counts = false\n"), std::string::npos);

    // the record itself now fills the output directory
    try {
        load(written.string());
        ADD_FAILURE() << "a non-empty output directory was accepted";
    } catch (const std::exception& error) {
        EXPECT_EQ(std::string(error.what()), "error: " + first.output_dir + " is not an empty directory.");
    }

    const auto moved = fixture.root() / "again.ini";
    std::filesystem::rename(written, moved);
    const Settings again = load(moved.string());
    EXPECT_EQ(again.count_matrix_file, first.count_matrix_file);
    EXPECT_EQ(again.count_matrix_has_header, first.count_matrix_has_header);
    EXPECT_EQ(again.detection_limit, first.detection_limit);
    EXPECT_EQ(again.min_prevalence, first.min_prevalence);
    EXPECT_EQ(again.min_prevalence_for_outliers, first.min_prevalence_for_outliers);
    EXPECT_EQ(again.max_outliers_fraction, first.max_outliers_fraction);
    EXPECT_EQ(again.bins_enabled, false);
    EXPECT_EQ(again.normalize_counts, false);
    EXPECT_EQ(again.num_best_representative_genes, first.num_best_representative_genes);
    EXPECT_EQ(again.seeds_min_concordance, first.seeds_min_concordance);
    EXPECT_EQ(again.seeds_min_seed_size, first.seeds_min_seed_size);
    EXPECT_EQ(again.merging_min_concordance, first.merging_min_concordance);
    EXPECT_EQ(again.merging_min_seed_size, first.merging_min_seed_size);
    EXPECT_EQ(again.msp_min_concordance, first.msp_min_concordance);
    EXPECT_EQ(again.msp_min_robust_concordance, first.msp_min_robust_concordance);
    EXPECT_EQ(again.abundance_num_core_genes, 100u);
    EXPECT_EQ(again.abundance_min_detected_share, 0.3333333333333333);
    EXPECT_EQ(again.output_dir, first.output_dir);
    EXPECT_EQ(again.print_genes_bins, first.print_genes_bins);
    EXPECT_EQ(again.print_seeds, first.print_seeds);
}

TEST(ApplicationSettings, FailsNamingTheFileWhenItCannotBeWritten) {
    test::TempDir dir;
    test::writeFile(dir.path() / "application_settings.ini", "planted\n");
    try {
        writeApplicationSettings(Settings{}, OutputDirectory(dir.str()), "application_settings.ini");
        ADD_FAILURE() << "an existing file was replaced";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "error: " + dir.str() + "/application_settings.ini could not be written.");
    }
    EXPECT_EQ(test::readFile(dir.path() / "application_settings.ini"), "planted\n");
}

TEST(ApplicationSettings, RealsKeepSixDigitsOnlyWhenThatIsExact) {
    const std::pair<double, const char*> cases[] = {
        {7.0, "detection_limit = 7\n"},          {7.000004, "detection_limit = 7.000004\n"},
        {6.5, "detection_limit = 6.5\n"},        {1234567.0, "detection_limit = 1234567\n"},
        {1e-07, "min_robust_concordance = 1e-07\n"},
        {0.1 + 0.2, "min_robust_concordance = 0.30000000000000004\n"},
    };
    for (const auto& [value, line] : cases) {
        test::TempDir dir;
        Settings s;
        s.detection_limit = value;
        s.msp_min_robust_concordance = value;
        writeApplicationSettings(s, OutputDirectory(dir.str()), "a.ini");
        EXPECT_NE(test::readFile(dir.path() / "a.ini").find(line), std::string::npos) << line;
    }
}

}  // namespace
}  // namespace varnosk
