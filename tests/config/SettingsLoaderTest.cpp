#include "config/SettingsLoader.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.hpp"
#include "config/ApplicationSettings.hpp"
#include "config/SettingsTable.hpp"

namespace varnosk {
namespace {

namespace fs = std::filesystem;

const std::string kMaxUnsigned = "18446744073709551615";

// A complete settings file (every value distinct where it can be) beside a real matrix and an
// empty output directory; set() changes a "section.key" value, or drops it for nullptr.
class SettingsFixture {
public:
    SettingsFixture() {
        test::writeFile(root() / "matrix.tsv", "gene\ts1\ts2\ng1\t1\t2\n");
        fs::create_directory(root() / "out");
    }
    SettingsFixture& set(const std::string& dotted_key, const char* value) {
        for (auto& [section, entries] : sections_) {
            for (auto it = entries.begin(); it != entries.end(); ++it) {
                if (section + "." + it->first != dotted_key) continue;
                if (value)
                    it->second = value;
                else
                    entries.erase(it);
                return *this;
            }
        }
        throw std::logic_error("no such key in the fixture: " + dotted_key);
    }
    const std::string& value(const std::string& dotted_key) const {
        for (const auto& [section, entries] : sections_) {
            for (const auto& [key, text] : entries) {
                if (section + "." + key == dotted_key) return text;
            }
        }
        throw std::logic_error("no such key in the fixture: " + dotted_key);
    }
    std::string write(const std::string& extra = "", const std::string& before = "") const {
        std::string text = before + "# test settings\n";
        for (const auto& [section, entries] : sections_) {
            text += "\n[" + section + "]\n";
            for (const auto& [key, value] : entries) text += key + " = " + value + "\n";
        }
        test::writeFile(root() / "settings.ini", text + extra);
        return (root() / "settings.ini").string();
    }
    const fs::path& root() const { return dir_.path(); }
    std::string matrix() const { return (root() / "matrix.tsv").string(); }
    std::string outputDir() const { return (root() / "out").string(); }

private:
    test::TempDir dir_{"varnosk-settings"};
    std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> sections_ = {
        {"input", {{"count_matrix_file", matrix()}, {"count_matrix_has_header", "true"}}},
        {"genes_comparison",
         {{"detection_limit", "7"},
          {"min_prevalence", "3"},
          {"min_prevalence_for_outliers", "6"},
          {"max_outliers_fraction", "0.1"}}},
        {"genes_bins_creation", {{"enabled", "true"}, {"normalize_counts", "true"}}},
        {"seeds_creation",
         {{"num_best_representative_genes", "12"}, {"min_concordance", "0.9"}, {"min_seed_size", "20"}}},
        {"seeds_merging", {{"min_concordance", "0.8"}, {"min_seed_size", "25"}}},
        {"msp_creation", {{"min_concordance", "0.75"}, {"min_robust_concordance", "0.6"}}},
        {"output", {{"output_dir", outputDir()}, {"print_genes_bins", "false"}, {"print_seeds", "true"}}},
    };
};

Settings load(const std::string& settings_path) { return loadSettings(settings_path); }

// The message of the error that loading raises, or "<no error>".
std::string loadError(const std::string& settings_path) {
    try {
        load(settings_path);
    } catch (const std::exception& error) {
        return error.what();
    }
    return "<no error>";
}

std::string range(const std::string& key, const std::string& low, const std::string& high) {
    return "error: " + key + " must be a value within range: [" + low + ";" + high + "]";
}

std::string invalid(const std::string& value, const std::string& key) {
    return "the argument ('" + value + "') for option '" + key + "' is invalid";
}

std::string unreadable(const std::string& path) {
    return "error: " + path + " cannot be read. Check that the path is valid and that you have read permissions.";
}

// Every key reaches its own field: the fixture's values are distinct and written as the
// record of a run writes them, so each key's text must come back unchanged.
TEST(SettingsLoader, ReadsEveryKeyIntoItsField) {
    SettingsFixture fixture;
    // the same key name in two sections is two settings; unranged reals pass unchanged
    fixture.set("seeds_merging.min_concordance", "-2.5").set("msp_creation.min_concordance", "0.001");
    fixture.set("msp_creation.min_robust_concordance", "12");
    const Settings loaded = load(fixture.write("\n# trailing comment\n"));
    for (const SettingKey& key : settingsTable()) {
        if ((key.commands & kClusterCommand) == 0) continue;
        // a file without [msp_abundance] gets its defaults
        const std::string expected = key.required ? fixture.value(key.dottedName()) : settingValueText(Settings{}, key);
        EXPECT_EQ(settingValueText(loaded, key), expected) << key.dottedName();
    }
    EXPECT_EQ(loaded.abundance_num_core_genes, 100u);
}

// One row per settings file: the values changed (nullptr drops the key), text appended, and
// the exact message (or "<no error>").
struct Row {
    std::vector<std::pair<std::string, const char*>> set;
    std::string extra;
    std::string expected;
};

TEST(SettingsLoader, RejectsEachBadFileWithItsExactMessage) {
    const std::string gc = "genes_comparison.", sc = "seeds_creation.", ab = "msp_abundance.";
    const std::string bools = ". Valid choices are 'on|off', 'yes|no', '1|0' and 'true|false'";
    const std::string detection = range(gc + "detection_limit", "6", "3.40282e+38");
    const std::string fraction = range(gc + "max_outliers_fraction", "0", "0.5");
    const std::string concordance = range(sc + "min_concordance", "0.7", "1");
    const std::string share = range(ab + "min_detected_share", "0", "1");
    const std::string outliers = gc + "min_prevalence_for_outliers";
    // a token the parser echoes is cut, like every name in a message
    const std::string long_value(1000, 'x');
    const Row rows[] = {
        {{{gc + "detection_limit", long_value.c_str()}},
         "",
         invalid(std::string(200, 'x') + "... (800 more bytes)", gc + "detection_limit")},
        // parser errors
        {{{"output.print_seeds", nullptr}}, "", "the option 'output.print_seeds' is required but missing"},
        {{}, "[genes_comparison]\nmin_prevalance = 3\n", "unrecognised option 'genes_comparison.min_prevalance'"},
        {{},
         "[seeds_merging]\nmin_seed_size = 30\n",
         "option 'seeds_merging.min_seed_size' cannot be specified more than once"},
        {{{gc + "detection_limit", "seven"}}, "", invalid("seven", gc + "detection_limit")},
        // placeholders of the parser's message used to hang it (found by fuzzing)
        {{}, "[input]\nx%value% = 3\n", "unrecognised option 'input.x?value?'"},
        {{{sc + "min_seed_size", "1%value%"}}, "", invalid("1?value?", sc + "min_seed_size")},
        {{{sc + "min_seed_size", "10%"}}, "", invalid("10%", sc + "min_seed_size")},
        // unsigned values never wrap
        {{{sc + "min_seed_size", "-1"}}, "", invalid("-1", sc + "min_seed_size")},
        {{{gc + "min_prevalence", "-0"}}, "", invalid("-0", gc + "min_prevalence")},
        {{{"seeds_merging.min_seed_size", "18446744073709551616"}},
         "",
         invalid("18446744073709551616", "seeds_merging.min_seed_size")},
        {{{"seeds_merging.min_seed_size", kMaxUnsigned.c_str()}}, "", "<no error>"},
        // booleans; an empty value is a missing value, not "true"
        {{{"output.print_seeds", "maybe"}}, "", invalid("maybe", "output.print_seeds") + bools},
        {{{"output.print_seeds", ""}}, "", "the argument for option 'output.print_seeds' is invalid" + bools},
        // ranges at their boundaries
        {{{gc + "detection_limit", "5.999999"}}, "", detection},
        {{{gc + "detection_limit", "6"}}, "", "<no error>"},
        {{{gc + "detection_limit", "3.4028234663852886e+38"}}, "", "<no error>"},
        {{{gc + "detection_limit", "3.41e+38"}}, "", detection},
        {{{gc + "detection_limit", "inf"}}, "", detection},
        {{{gc + "detection_limit", "nan"}}, "", detection},
        {{{gc + "min_prevalence", "1"}}, "", range(gc + "min_prevalence", "2", kMaxUnsigned)},
        {{{gc + "min_prevalence", "2"}}, "", "<no error>"},
        {{{gc + "max_outliers_fraction", "0"}}, "", "<no error>"},
        {{{gc + "max_outliers_fraction", "0.5"}}, "", "<no error>"},
        {{{gc + "max_outliers_fraction", "0.5000001"}}, "", fraction},
        {{{gc + "max_outliers_fraction", "-1e-9"}}, "", fraction},
        {{{gc + "max_outliers_fraction", "nan"}}, "", fraction},
        {{{sc + "num_best_representative_genes", "9"}},
         "",
         range(sc + "num_best_representative_genes", "10", kMaxUnsigned)},
        {{{sc + "min_concordance", "0.7"}}, "", "<no error>"},
        {{{sc + "min_concordance", "1"}}, "", "<no error>"},
        {{{sc + "min_concordance", "0.69"}}, "", concordance},
        {{{sc + "min_concordance", "1.0001"}}, "", concordance},
        {{{sc + "min_concordance", "nan"}}, "", concordance},
        // any number is a valid threshold there, but NaN is none
        {{{"seeds_merging.min_concordance", "nan"}}, "", "error: seeds_merging.min_concordance must be a number."},
        {{{"msp_creation.min_concordance", "nan"}}, "", "error: msp_creation.min_concordance must be a number."},
        {{{"msp_creation.min_robust_concordance", "nan"}},
         "",
         "error: msp_creation.min_robust_concordance must be a number."},
        // ranges that follow other keys
        {{{outliers, "4"}}, "", range(outliers, "5", kMaxUnsigned)},
        {{{outliers, "5"}}, "", "<no error>"},
        {{{gc + "min_prevalence", "8"}}, "", range(outliers, "8", kMaxUnsigned)},
        {{{gc + "min_prevalence", "8"}, {outliers, "8"}}, "", "<no error>"},
        {{{sc + "num_best_representative_genes", "10"}, {sc + "min_seed_size", "5"}},
         "",
         range(sc + "min_seed_size", "10", kMaxUnsigned)},
        {{{sc + "num_best_representative_genes", "10"},
          {sc + "min_seed_size", "10"},
          {"seeds_merging.min_seed_size", "9"}},
         "",
         range("seeds_merging.min_seed_size", "10", kMaxUnsigned)},
        {{{sc + "num_best_representative_genes", "10"},
          {sc + "min_seed_size", "10"},
          {"seeds_merging.min_seed_size", "10"}},
         "",
         "<no error>"},
        // the optional abundance keys
        {{}, "\n[msp_abundance]\nnum_core_genes = 1\nmin_detected_share = 0\n", "<no error>"},
        {{}, "\n[msp_abundance]\nmin_detected_share = 1\n", "<no error>"},
        {{}, "\n[msp_abundance]\nnum_core_genes = 0\n", range(ab + "num_core_genes", "1", kMaxUnsigned)},
        {{}, "\n[msp_abundance]\nmin_detected_share = 1.0000001\n", share},
        {{}, "\n[msp_abundance]\nmin_detected_share = -0.1\n", share},
        {{}, "\n[msp_abundance]\nmin_detected_share = nan\n", share},
        {{}, "\n[msp_abundance]\nnum_core_genes = -3\n", invalid("-3", ab + "num_core_genes")},
        // the count matrix is checked first, then the ranges in key order, the output last
        {{{"input.count_matrix_file", "/nonexistent/m.tsv"}, {gc + "min_prevalence", "1"}},
         "",
         unreadable("/nonexistent/m.tsv")},
        {{{"input.count_matrix_file", "/"}}, "", unreadable("/")},
        {{{gc + "min_prevalence", "1"}, {sc + "min_concordance", "2"}, {"output.output_dir", "/nonexistent/out"}},
         "",
         range(gc + "min_prevalence", "2", kMaxUnsigned)},
        {{{"output.output_dir", "/nonexistent/out"}}, "", "error: /nonexistent/out is not a valid directory."},
    };
    for (const Row& row : rows) {
        SettingsFixture fixture;
        std::string label;
        for (const auto& [key, value] : row.set) {
            fixture.set(key, value);
            label += key + " = " + (value ? value : "<absent>") + "; ";
        }
        SCOPED_TRACE(label + row.extra);
        EXPECT_EQ(loadError(fixture.write(row.extra)), row.expected);
    }
    // a key before any section header
    SettingsFixture fixture;
    EXPECT_EQ(loadError(fixture.write("", "detection_limit = 7\n")), "unrecognised option 'detection_limit'");
}

TEST(SettingsLoader, ReadsAbundanceKeysAndBooleanSpellings) {
    SettingsFixture fixture;
    const Settings s = load(fixture.write("\n[msp_abundance]\nnum_core_genes = 7\nmin_detected_share = 0.5\n"));
    EXPECT_EQ(s.abundance_num_core_genes, 7u);
    EXPECT_EQ(s.abundance_min_detected_share, 0.5);
    for (const auto& [word, expected] : {std::pair{"on", true},
                                         {"yes", true},
                                         {"1", true},
                                         {"TRUE", true},
                                         {"Yes", true},
                                         {"off", false},
                                         {"no", false},
                                         {"0", false},
                                         {"False", false}}) {
        fixture.set("input.count_matrix_has_header", word);
        EXPECT_EQ(load(fixture.write()).count_matrix_has_header, expected) << word;
    }
    // disabling bins turns normalisation off
    fixture.set("genes_bins_creation.enabled", "false");
    EXPECT_FALSE(load(fixture.write()).normalize_counts);
    fixture.set("genes_bins_creation.enabled", "true");
    EXPECT_TRUE(load(fixture.write()).normalize_counts);
}

// The wrong argument count is checked through the binary (EndToEnd.UsageHelpAndVersion).
TEST(SettingsLoader, RejectsUnreadableFilesAndUnusableOutputDirectories) {
    SettingsFixture fixture;
    const std::string missing = (fixture.root() / "missing.ini").string();
    EXPECT_EQ(loadError(missing), unreadable(missing));
    // a directory opens as an empty stream on Linux: it must still be refused
    EXPECT_EQ(loadError(fixture.outputDir()), unreadable(fixture.outputDir()));

    const std::string nowhere = (fixture.root() / "nowhere").string();
    fixture.set("output.output_dir", nowhere.c_str());
    EXPECT_EQ(loadError(fixture.write()), "error: " + nowhere + " is not a valid directory.");
    EXPECT_FALSE(fs::exists(nowhere)) << "the directory must never be created";
    fixture.set("output.output_dir", fixture.matrix().c_str());
    EXPECT_EQ(loadError(fixture.write()), "error: " + fixture.matrix() + " is not a valid directory.");
    // a hidden entry makes it non-empty too
    fixture.set("output.output_dir", fixture.outputDir().c_str());
    fs::create_directory(fs::path(fixture.outputDir()) / ".hidden");
    EXPECT_EQ(loadError(fixture.write()), "error: " + fixture.outputDir() + " is not an empty directory.");
}

// The recorded settings of a run load back as the same settings, and reals keep the shortest
// text that reads back exactly (golden tables pin the layout, not these values).
TEST(ApplicationSettings, RecordReadsBackAsTheSameSettings) {
    SettingsFixture fixture;
    fixture.set("genes_comparison.detection_limit", "3.4028234663852886e+38")
        .set("genes_comparison.max_outliers_fraction", "0.123456789")
        .set("genes_bins_creation.enabled", "no")
        .set("seeds_creation.min_concordance", "0.7000000001")
        .set("seeds_merging.min_concordance", "-1e-300")
        .set("seeds_merging.min_seed_size", kMaxUnsigned.c_str())
        .set("msp_creation.min_concordance", "1e-07")
        .set("msp_creation.min_robust_concordance", "0.30000000000000004");
    const Settings first = load(fixture.write("[msp_abundance]\nmin_detected_share = 0.3333333333333333\n"));
    writeApplicationSettings(first, OutputDirectory(first.output_dir), "application_settings.ini");
    const fs::path written = fs::path(first.output_dir) / "application_settings.ini";
    const std::string text = test::readFile(written);
    for (const char* line : {"\nnormalize_counts = false\n", "\nmin_concordance = 1e-07\n",
                             "\ndetection_limit = "
                             "3.4028234663852886e+38\n",
                             "\nmin_robust_concordance = 0.30000000000000004\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
    // a second record never replaces the first
    try {
        writeApplicationSettings(first, OutputDirectory(first.output_dir), "application_settings.ini");
        ADD_FAILURE() << "the record was replaced";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "error: " + written.string() + " could not be written (File exists).");
    }
    fs::rename(written, fixture.root() / "again.ini");
    const Settings again = load((fixture.root() / "again.ini").string());
    test::TempDir other;
    writeApplicationSettings(again, OutputDirectory(other.str()), "application_settings.ini");
    EXPECT_EQ(test::readFile(other.path() / "application_settings.ini"), text);
    EXPECT_EQ(again.detection_limit, first.detection_limit);
    EXPECT_EQ(again.abundance_min_detected_share, 0.3333333333333333);

    // six significant digits only where they are exact
    const std::pair<double, const char*> reals[] = {
        {7.0, "= 7\n"}, {7.000004, "= 7.000004\n"}, {1234567.0, "= 1234567\n"}, {1e6, "= 1e+06\n"}};
    for (const auto& [value, ending] : reals) {
        test::TempDir dir;
        Settings s;
        s.detection_limit = value;
        writeApplicationSettings(s, OutputDirectory(dir.str()), "a.ini");
        EXPECT_NE(test::readFile(dir.path() / "a.ini").find("\ndetection_limit " + std::string(ending)),
                  std::string::npos)
            << ending;
    }
}

}  // namespace
}  // namespace varnosk
