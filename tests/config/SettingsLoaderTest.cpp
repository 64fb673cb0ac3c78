#include "config/SettingsLoader.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <exception>
#include <filesystem>
#include <string>

#include "TestSupport.hpp"
#include "config/SettingsFixture.hpp"

namespace varnosk {
namespace {

using test::SettingsFixture;

const std::string kMaxUnsigned = "18446744073709551615";

Settings load(const std::string& settings_path) {
    const char* argv[] = {"varnosk", settings_path.c_str()};
    return loadSettings(2, argv);
}

// The message of the error that loading raises, or "<no error>".
std::string loadError(const std::string& settings_path) {
    try {
        load(settings_path);
    } catch (const std::exception& error) {
        return error.what();
    }
    return "<no error>";
}

std::string rangeMessage(const std::string& key, const std::string& low, const std::string& high) {
    return "error: " + key + " must be a value within range: [" + low + ";" + high + "]";
}

std::string unreadableMessage(const std::string& path) {
    return "error: " + path + " cannot be read. Check that the path is valid and that you have read permissions.";
}

TEST(SettingsLoader, ReadsEveryKeyIntoItsField) {
    SettingsFixture fixture;
    fixture.set("seeds_merging.min_concordance", "-2.5")
        .set("msp_creation.min_concordance", "1e-3")
        .set("msp_creation.min_robust_concordance", "12")
        .set("output.print_genes_bins", "on");
    // comments, blank lines and trailing comments are ignored
    const Settings s = load(fixture.write("\n# trailing comment\n"));

    EXPECT_EQ(s.count_matrix_file, fixture.matrix());
    EXPECT_TRUE(s.count_matrix_has_header);
    EXPECT_EQ(s.detection_limit, 7.0);
    EXPECT_EQ(s.min_prevalence, 3u);
    EXPECT_EQ(s.min_prevalence_for_outliers, 6u);
    EXPECT_EQ(s.max_outliers_fraction, 0.1);
    EXPECT_TRUE(s.bins_enabled);
    EXPECT_TRUE(s.normalize_counts);
    EXPECT_EQ(s.num_best_representative_genes, 12u);
    EXPECT_EQ(s.seeds_min_concordance, 0.9);
    EXPECT_EQ(s.seeds_min_seed_size, 20u);
    // the same key name in two sections is two settings; unranged doubles pass unchanged
    EXPECT_EQ(s.merging_min_concordance, -2.5);
    EXPECT_EQ(s.merging_min_seed_size, 25u);
    EXPECT_EQ(s.msp_min_concordance, 1e-3);
    EXPECT_EQ(s.msp_min_robust_concordance, 12.0);
    EXPECT_EQ(s.output_dir, fixture.outputDir());
    EXPECT_TRUE(s.print_genes_bins);
    EXPECT_TRUE(s.print_seeds);
    // a file without [msp_abundance] gets its defaults
    EXPECT_EQ(s.abundance_num_core_genes, 100u);
    EXPECT_EQ(s.abundance_min_detected_share, 0.1);
}

TEST(SettingsLoader, AbundanceKeysAreOptionalAndRangeChecked) {
    const std::string genes = rangeMessage("msp_abundance.num_core_genes", "1", kMaxUnsigned);
    const std::string share = rangeMessage("msp_abundance.min_detected_share", "0", "1");
    const std::pair<std::string, std::string> cases[] = {
        {"num_core_genes = 1\nmin_detected_share = 0", "<no error>"},
        {"min_detected_share = 1", "<no error>"},
        {"num_core_genes = 0", genes},
        {"min_detected_share = 1.0000001", share},
        {"min_detected_share = -0.1", share},
        {"min_detected_share = nan", share},
        {"num_core_genes = -3", "the argument ('-3') for option 'msp_abundance.num_core_genes' is invalid"},
    };
    for (const auto& [keys, expected] : cases) {
        SettingsFixture fixture;
        EXPECT_EQ(loadError(fixture.write("\n[msp_abundance]\n" + keys + "\n")), expected) << keys;
    }
    SettingsFixture fixture;
    const Settings s = load(fixture.write("\n[msp_abundance]\nnum_core_genes = 7\nmin_detected_share = 0.5\n"));
    EXPECT_EQ(s.abundance_num_core_genes, 7u);
    EXPECT_EQ(s.abundance_min_detected_share, 0.5);
}

TEST(SettingsLoader, RejectsWrongArgumentCountWithUsage) {
    const char* none[] = {"./bin/varnosk"};
    const char* two[] = {"./bin/varnosk", "a.ini", "b.ini"};
    for (const auto& [argc, argv] : {std::pair{1, none}, std::pair{3, two}}) {
        try {
            loadSettings(argc, argv);
            ADD_FAILURE() << "no error for " << argc << " arguments";
        } catch (const std::exception& error) {
            EXPECT_STREQ(error.what(), "Usage: ./bin/varnosk settings.ini");
        }
    }
}

TEST(SettingsLoader, RejectsSettingsFileThatCannotBeRead) {
    SettingsFixture fixture;
    const std::string missing = (fixture.root() / "missing.ini").string();
    EXPECT_EQ(loadError(missing), unreadableMessage(missing));
    // a directory opens as an empty stream on Linux: it must still be refused
    EXPECT_EQ(loadError(fixture.outputDir()), unreadableMessage(fixture.outputDir()));
}

TEST(SettingsLoader, RejectsCountMatrixThatCannotBeRead) {
    SettingsFixture fixture;
    const std::string missing = (fixture.root() / "none.tsv").string();
    fixture.set("input.count_matrix_file", missing);
    EXPECT_EQ(loadError(fixture.write()), unreadableMessage(missing));

    const std::string directory = fixture.root().string();
    fixture.set("input.count_matrix_file", directory);
    EXPECT_EQ(loadError(fixture.write()), unreadableMessage(directory));
}

TEST(SettingsLoader, ReportsParserErrorsWithParserMessages) {
    {
        SettingsFixture fixture;
        fixture.set("output.print_seeds", std::nullopt);
        EXPECT_EQ(loadError(fixture.write()), "the option 'output.print_seeds' is required but missing");
    }
    {
        SettingsFixture fixture;
        EXPECT_EQ(loadError(fixture.write("[genes_comparison]\nmin_prevalance = 3\n")),
                  "unrecognised option 'genes_comparison.min_prevalance'");
    }
    {
        // a key before any section header
        SettingsFixture fixture;
        const auto path = fixture.root() / "settings.ini";
        test::writeFile(path, "detection_limit = 7\n" + fixture.text());
        EXPECT_EQ(loadError(path.string()), "unrecognised option 'detection_limit'");
    }
    {
        SettingsFixture fixture;
        EXPECT_EQ(loadError(fixture.write("[seeds_merging]\nmin_seed_size = 30\n")),
                  "option 'seeds_merging.min_seed_size' cannot be specified more than once");
    }
    {
        SettingsFixture fixture;
        fixture.set("genes_comparison.detection_limit", "seven");
        EXPECT_EQ(loadError(fixture.write()),
                  "the argument ('seven') for option 'genes_comparison.detection_limit' is invalid");
    }
}

// Found by fuzzing: the parser fills its message by replacing placeholders until none is
// left, so these used to hang the program instead of reporting the mistake.
TEST(SettingsLoader, ReportsKeysAndValuesThatLookLikeMessagePlaceholders) {
    {
        SettingsFixture fixture;
        EXPECT_EQ(loadError(fixture.write("[input]\nx%value% = 3\n")), "unrecognised option 'input.x?value?'");
    }
    {
        SettingsFixture fixture;
        fixture.set("seeds_creation.min_seed_size", "1%value%");
        EXPECT_EQ(loadError(fixture.write()),
                  "the argument ('1?value?') for option 'seeds_creation.min_seed_size' is invalid");
    }
    {
        // a lone percent sign is shown as written
        SettingsFixture fixture;
        fixture.set("seeds_creation.min_seed_size", "10%");
        EXPECT_EQ(loadError(fixture.write()), "the argument ('10%') for option 'seeds_creation.min_seed_size' is invalid");
    }
}

TEST(SettingsLoader, RejectsNegativeUnsignedValueInsteadOfWrapping) {
    SettingsFixture fixture;
    fixture.set("seeds_creation.min_seed_size", "-1");
    EXPECT_EQ(loadError(fixture.write()), "the argument ('-1') for option 'seeds_creation.min_seed_size' is invalid");

    fixture.set("seeds_creation.min_seed_size", "20").set("genes_comparison.min_prevalence", "-0");
    EXPECT_EQ(loadError(fixture.write()), "the argument ('-0') for option 'genes_comparison.min_prevalence' is invalid");

    // one past the largest value overflows rather than wrapping
    fixture.set("genes_comparison.min_prevalence", "3").set("seeds_merging.min_seed_size", "18446744073709551616");
    EXPECT_EQ(loadError(fixture.write()),
              "the argument ('18446744073709551616') for option 'seeds_merging.min_seed_size' is invalid");
    fixture.set("seeds_merging.min_seed_size", kMaxUnsigned);
    EXPECT_EQ(load(fixture.write()).merging_min_seed_size, 18446744073709551615u);
}

TEST(SettingsLoader, AcceptsKnownBooleanSpellingsOnly) {
    SettingsFixture fixture;
    for (const std::string word : {"on", "yes", "1", "true", "TRUE", "Yes"}) {
        fixture.set("input.count_matrix_has_header", word);
        EXPECT_TRUE(load(fixture.write()).count_matrix_has_header) << word;
    }
    for (const std::string word : {"off", "no", "0", "false", "False"}) {
        fixture.set("input.count_matrix_has_header", word);
        EXPECT_FALSE(load(fixture.write()).count_matrix_has_header) << word;
    }
    const std::string choices = ". Valid choices are 'on|off', 'yes|no', '1|0' and 'true|false'";
    fixture.set("output.print_seeds", "maybe");
    EXPECT_EQ(loadError(fixture.write()), "the argument ('maybe') for option 'output.print_seeds' is invalid" + choices);
    // an empty value is a missing value, not "true"
    fixture.set("output.print_seeds", "");
    EXPECT_EQ(loadError(fixture.write()), "the argument for option 'output.print_seeds' is invalid" + choices);
}

struct RangeCase {
    const char* key;
    const char* value;
    const char* expected;  // the error message, or nullptr when the value is accepted
};

TEST(SettingsLoader, ChecksRangesAtTheirBoundaries) {
    const std::string detection = rangeMessage("genes_comparison.detection_limit", "6", "3.40282e+38");
    const std::string prevalence = rangeMessage("genes_comparison.min_prevalence", "2", kMaxUnsigned);
    const std::string outliers = rangeMessage("genes_comparison.max_outliers_fraction", "0", "0.5");
    const std::string best = rangeMessage("seeds_creation.num_best_representative_genes", "10", kMaxUnsigned);
    const std::string concordance = rangeMessage("seeds_creation.min_concordance", "0.7", "1");
    const RangeCase cases[] = {
        {"genes_comparison.detection_limit", "5", detection.c_str()},
        {"genes_comparison.detection_limit", "5.999999", detection.c_str()},
        {"genes_comparison.detection_limit", "6", nullptr},
        {"genes_comparison.detection_limit", "3.4028234663852886e+38", nullptr},
        {"genes_comparison.detection_limit", "3.41e+38", detection.c_str()},
        {"genes_comparison.detection_limit", "inf", detection.c_str()},
        {"genes_comparison.min_prevalence", "1", prevalence.c_str()},
        {"genes_comparison.min_prevalence", "2", nullptr},
        {"genes_comparison.max_outliers_fraction", "0", nullptr},
        {"genes_comparison.max_outliers_fraction", "0.5", nullptr},
        {"genes_comparison.max_outliers_fraction", "0.5000001", outliers.c_str()},
        {"genes_comparison.max_outliers_fraction", "-1e-9", outliers.c_str()},
        {"seeds_creation.num_best_representative_genes", "9", best.c_str()},
        {"seeds_creation.min_concordance", "0.7", nullptr},
        {"seeds_creation.min_concordance", "1", nullptr},
        {"seeds_creation.min_concordance", "0.69", concordance.c_str()},
        {"seeds_creation.min_concordance", "1.0001", concordance.c_str()},
    };
    for (const auto& c : cases) {
        SettingsFixture fixture;
        fixture.set(c.key, c.value);
        EXPECT_EQ(loadError(fixture.write()), c.expected ? c.expected : "<no error>") << c.key << " = " << c.value;
    }
}

TEST(SettingsLoader, RangesFollowTheKeysTheyDependOn) {
    auto outliersError = [](const char* prevalence, const char* outliers) {
        SettingsFixture fixture;
        fixture.set("genes_comparison.min_prevalence", prevalence)
            .set("genes_comparison.min_prevalence_for_outliers", outliers);
        return loadError(fixture.write());
    };
    const std::string key = "genes_comparison.min_prevalence_for_outliers";
    EXPECT_EQ(outliersError("3", "4"), rangeMessage(key, "5", kMaxUnsigned));
    EXPECT_EQ(outliersError("3", "5"), "<no error>");
    EXPECT_EQ(outliersError("8", "6"), rangeMessage(key, "8", kMaxUnsigned));
    EXPECT_EQ(outliersError("8", "8"), "<no error>");

    SettingsFixture fixture;
    fixture.set("seeds_creation.num_best_representative_genes", "10").set("seeds_creation.min_seed_size", "5");
    EXPECT_EQ(loadError(fixture.write()), rangeMessage("seeds_creation.min_seed_size", "10", kMaxUnsigned));
    fixture.set("seeds_creation.min_seed_size", "10").set("seeds_merging.min_seed_size", "9");
    EXPECT_EQ(loadError(fixture.write()), rangeMessage("seeds_merging.min_seed_size", "10", kMaxUnsigned));
    fixture.set("seeds_merging.min_seed_size", "10");
    EXPECT_EQ(loadError(fixture.write()), "<no error>");
}

TEST(SettingsLoader, TreatsNotANumberAsOutOfRange) {
    const std::pair<const char*, std::string> cases[] = {
        {"genes_comparison.detection_limit", rangeMessage("genes_comparison.detection_limit", "6", "3.40282e+38")},
        {"genes_comparison.max_outliers_fraction", rangeMessage("genes_comparison.max_outliers_fraction", "0", "0.5")},
        {"seeds_creation.min_concordance", rangeMessage("seeds_creation.min_concordance", "0.7", "1")},
        // any number is a valid threshold there, but NaN is none
        {"seeds_merging.min_concordance", "error: seeds_merging.min_concordance must be a number."},
        {"msp_creation.min_concordance", "error: msp_creation.min_concordance must be a number."},
        {"msp_creation.min_robust_concordance", "error: msp_creation.min_robust_concordance must be a number."},
    };
    for (const auto& [key, message] : cases) {
        SettingsFixture fixture;
        fixture.set(key, "nan");
        EXPECT_EQ(loadError(fixture.write()), message) << key;
    }
    EXPECT_THROW(checkRange("k", std::nan(""), -1e300, 1e300), std::runtime_error);
}

TEST(SettingsLoader, ChecksInTheDocumentedOrder) {
    // count matrix before ranges, ranges in key order, output directory last
    SettingsFixture fixture;
    fixture.set("genes_comparison.min_prevalence", "1").set("seeds_creation.min_concordance", "2");
    std::filesystem::remove(fixture.outputDir());
    EXPECT_EQ(loadError(fixture.write()), rangeMessage("genes_comparison.min_prevalence", "2", kMaxUnsigned));

    fixture.set("input.count_matrix_file", "/nonexistent/matrix.tsv");
    EXPECT_EQ(loadError(fixture.write()), unreadableMessage("/nonexistent/matrix.tsv"));
}

TEST(SettingsLoader, RequiresAnExistingEmptyOutputDirectory) {
    SettingsFixture fixture;
    const std::string missing = (fixture.root() / "nowhere").string();
    fixture.set("output.output_dir", missing);
    EXPECT_EQ(loadError(fixture.write()), "error: " + missing + " is not a valid directory.");
    EXPECT_FALSE(std::filesystem::exists(missing)) << "the directory must never be created";

    fixture.set("output.output_dir", fixture.matrix());
    EXPECT_EQ(loadError(fixture.write()), "error: " + fixture.matrix() + " is not a valid directory.");

    fixture.set("output.output_dir", fixture.outputDir());
    test::writeFile(std::filesystem::path(fixture.outputDir()) / "old.tsv", "x");
    EXPECT_EQ(loadError(fixture.write()), "error: " + fixture.outputDir() + " is not an empty directory.");

    // a hidden entry counts as well
    std::filesystem::remove(std::filesystem::path(fixture.outputDir()) / "old.tsv");
    std::filesystem::create_directory(std::filesystem::path(fixture.outputDir()) / ".hidden");
    EXPECT_EQ(loadError(fixture.write()), "error: " + fixture.outputDir() + " is not an empty directory.");
}

TEST(SettingsLoader, DisablingBinsTurnsNormalisationOff) {
    SettingsFixture fixture;
    fixture.set("genes_bins_creation.enabled", "false").set("genes_bins_creation.normalize_counts", "true");
    const Settings off = load(fixture.write());
    EXPECT_FALSE(off.bins_enabled);
    EXPECT_FALSE(off.normalize_counts);

    fixture.set("genes_bins_creation.enabled", "true");
    EXPECT_TRUE(load(fixture.write()).normalize_counts);
    fixture.set("genes_bins_creation.normalize_counts", "false");
    EXPECT_FALSE(load(fixture.write()).normalize_counts);
}

}  // namespace
}  // namespace varnosk
