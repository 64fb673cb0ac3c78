#include "config/SettingsLoader.hpp"

#include "common/Shown.hpp"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/filesystem/operations.hpp>
#include <boost/program_options.hpp>

namespace po = boost::program_options;

namespace varnosk {

namespace {

constexpr std::uint64_t kUnsignedMax = std::numeric_limits<std::uint64_t>::max();
constexpr double kFloatMax = static_cast<double>(std::numeric_limits<float>::max());

// The stock conversion wraps "-1" to 18446744073709551615; a negative count or size is a
// malformed value, reported with the parser's own message for one.
class UnsignedValue final : public po::typed_value<std::uint64_t> {
public:
    explicit UnsignedValue(std::uint64_t* store_to) : po::typed_value<std::uint64_t>(store_to) {}

    void xparse(boost::any& value_store, const std::vector<std::string>& new_tokens) const override {
        po::validators::check_first_occurrence(value_store);
        const std::string& token = po::validators::get_single_string(new_tokens);
        if (!token.empty() && token.front() == '-') throw po::invalid_option_value(token);
        po::typed_value<std::uint64_t>::xparse(value_store, new_tokens);
    }
};

// The stock conversion reads an empty value as true (a command-line switch given without
// argument); in a file where every key is required, "key =" is a missing value instead.
class BoolValue final : public po::typed_value<bool> {
public:
    explicit BoolValue(bool* store_to) : po::typed_value<bool>(store_to) {}

    void xparse(boost::any& value_store, const std::vector<std::string>& new_tokens) const override {
        po::validators::check_first_occurrence(value_store);
        const std::string& token = po::validators::get_single_string(new_tokens, true);
        if (token.empty()) throw po::invalid_bool_value(token);
        po::typed_value<bool>::xparse(value_store, new_tokens);
    }
};

po::typed_value<std::uint64_t>* unsignedKey(std::uint64_t* field) {
    return (new UnsignedValue(field))->required();
}

po::typed_value<bool>* boolKey(bool* field) { return (new BoolValue(field))->required(); }

po::typed_value<double>* doubleKey(double* field) { return po::value<double>(field)->required(); }

po::typed_value<std::string>* textKey(std::string* field) { return po::value<std::string>(field)->required(); }

// The parser builds its messages by replacing placeholders such as %value% until none is
// left, so a key or value that itself contains one (a typo, or a hostile file) would make it
// loop forever. Such text has its percent signs shown as '?' before the message is built,
// and, like every echoed token, its control characters escaped and its length bounded.
struct ParserErrorText : po::error_with_option_name {
    static void defusePlaceholders(po::error_with_option_name& error) {
        static const std::regex placeholder("%[A-Za-z_]*%");
        auto& substitutions = error.*(&ParserErrorText::m_substitutions);
        for (auto& [name, text] : substitutions) {
            text = escapedAndCut(text, kShownNameBytes);
            if (std::regex_search(text, placeholder)) std::replace(text.begin(), text.end(), '%', '?');
        }
    }
};

po::options_description describeOptions(Settings& settings) {
    po::options_description input("input");
    input.add_options()
        ("input.count_matrix_file", textKey(&settings.count_matrix_file))
        ("input.count_matrix_has_header", boolKey(&settings.count_matrix_has_header));

    po::options_description comparison("genes_comparison");
    comparison.add_options()
        ("genes_comparison.detection_limit", doubleKey(&settings.detection_limit))
        ("genes_comparison.min_prevalence", unsignedKey(&settings.min_prevalence))
        ("genes_comparison.min_prevalence_for_outliers", unsignedKey(&settings.min_prevalence_for_outliers))
        ("genes_comparison.max_outliers_fraction", doubleKey(&settings.max_outliers_fraction));

    po::options_description bins("genes_bins_creation");
    bins.add_options()
        ("genes_bins_creation.enabled", boolKey(&settings.bins_enabled))
        ("genes_bins_creation.normalize_counts", boolKey(&settings.normalize_counts));

    po::options_description seeds("seeds_creation");
    seeds.add_options()
        ("seeds_creation.num_best_representative_genes", unsignedKey(&settings.num_best_representative_genes))
        ("seeds_creation.min_concordance", doubleKey(&settings.seeds_min_concordance))
        ("seeds_creation.min_seed_size", unsignedKey(&settings.seeds_min_seed_size));

    po::options_description merging("seeds_merging");
    merging.add_options()
        ("seeds_merging.min_concordance", doubleKey(&settings.merging_min_concordance))
        ("seeds_merging.min_seed_size", unsignedKey(&settings.merging_min_seed_size));

    po::options_description msp("msp_creation");
    msp.add_options()
        ("msp_creation.min_concordance", doubleKey(&settings.msp_min_concordance))
        ("msp_creation.min_robust_concordance", doubleKey(&settings.msp_min_robust_concordance));

    // Optional, with the defaults of Settings, so that older settings files keep working.
    po::options_description abundance("msp_abundance");
    abundance.add_options()
        ("msp_abundance.num_core_genes",
         (new UnsignedValue(&settings.abundance_num_core_genes))->default_value(settings.abundance_num_core_genes))
        ("msp_abundance.min_detected_share",
         po::value<double>(&settings.abundance_min_detected_share)->default_value(settings.abundance_min_detected_share));

    po::options_description output("output");
    output.add_options()
        ("output.output_dir", textKey(&settings.output_dir))
        ("output.print_genes_bins", boolKey(&settings.print_genes_bins))
        ("output.print_seeds", boolKey(&settings.print_seeds));

    po::options_description all;
    all.add(input).add(comparison).add(bins).add(seeds).add(merging).add(msp).add(abundance).add(output);
    return all;
}

template <typename T>
std::string rangeMessage(const std::string& key, T low, T high) {
    std::ostringstream message;
    message << "error: " << key << " must be a value within range: [" << low << ";" << high << "]";
    return message.str();
}

}  // namespace

Settings loadSettings(int argc, const char* const argv[]) {
    if (argc != 2) {
        const std::string program = (argc > 0 && argv[0] != nullptr) ? argv[0] : "varnosk";
        throw std::runtime_error("Usage: " + shownPath(program) + " settings.ini");
    }
    const std::string settings_path = argv[1];
    checkFileReadable(settings_path);

    Settings settings;
    const po::options_description options = describeOptions(settings);
    po::variables_map values;
    try {
        std::ifstream file(settings_path);
        po::store(po::parse_config_file(file, options, false), values);
        po::notify(values);
    } catch (po::error_with_option_name& error) {
        ParserErrorText::defusePlaceholders(error);
        throw;
    }

    checkFileReadable(settings.count_matrix_file);

    checkRange("genes_comparison.detection_limit", settings.detection_limit, 6.0, kFloatMax);
    checkRange("genes_comparison.min_prevalence", settings.min_prevalence, std::uint64_t{2}, kUnsignedMax);
    checkRange("genes_comparison.min_prevalence_for_outliers", settings.min_prevalence_for_outliers,
               std::max<std::uint64_t>(5, settings.min_prevalence), kUnsignedMax);
    checkRange("genes_comparison.max_outliers_fraction", settings.max_outliers_fraction, 0.0, 0.5);
    checkRange("seeds_creation.num_best_representative_genes", settings.num_best_representative_genes,
               std::uint64_t{10}, kUnsignedMax);
    checkRange("seeds_creation.min_concordance", settings.seeds_min_concordance, 0.7, 1.0);
    checkRange("seeds_creation.min_seed_size", settings.seeds_min_seed_size,
               settings.num_best_representative_genes, kUnsignedMax);
    checkRange("seeds_merging.min_seed_size", settings.merging_min_seed_size, settings.seeds_min_seed_size,
               kUnsignedMax);
    checkRange("msp_abundance.num_core_genes", settings.abundance_num_core_genes, std::uint64_t{1}, kUnsignedMax);
    checkRange("msp_abundance.min_detected_share", settings.abundance_min_detected_share, 0.0, 1.0);

    // "any" range: every number is a threshold, but NaN would silently never match
    for (const auto& [key, value] : {std::pair{"seeds_merging.min_concordance", settings.merging_min_concordance},
                                     std::pair{"msp_creation.min_concordance", settings.msp_min_concordance},
                                     std::pair{"msp_creation.min_robust_concordance",
                                               settings.msp_min_robust_concordance}}) {
        if (std::isnan(value)) throw std::runtime_error(std::string("error: ") + key + " must be a number.");
    }

    checkDirectory(settings.output_dir);
    checkEmptyDirectory(settings.output_dir);

    // normalisation only serves binning
    settings.normalize_counts = settings.normalize_counts && settings.bins_enabled;
    return settings;
}

void checkFileReadable(const std::string& path) {
    // Checked without opening: a named pipe or process substitution can be opened only once,
    // by the reader. A directory opens as an empty file on Linux; it is not a readable input.
    struct stat status {};
    const bool readable = ::stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode) &&
                          ::faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) == 0;
    if (!readable) {
        throw std::runtime_error(cannotBeRead(path));
    }
}

void checkRange(const std::string& key, double value, double low, double high) {
    // written so that NaN, which compares false with everything, fails
    if (!(value >= low && value <= high)) throw std::runtime_error(rangeMessage(key, low, high));
}

void checkRange(const std::string& key, std::uint64_t value, std::uint64_t low, std::uint64_t high) {
    if (value < low || value > high) throw std::runtime_error(rangeMessage(key, low, high));
}

void checkDirectory(const std::string& path) {
    boost::system::error_code ignored;
    if (!boost::filesystem::is_directory(path, ignored)) {
        throw std::runtime_error("error: " + shownPath(path) + " is not a valid directory.");
    }
}

void checkEmptyDirectory(const std::string& path) {
    boost::system::error_code error;
    const boost::filesystem::directory_iterator first(path, error);
    if (error) throw std::runtime_error("error: " + shownPath(path) + " cannot be listed (" + error.message() + ").");
    if (first != boost::filesystem::directory_iterator()) {
        throw std::runtime_error("error: " + shownPath(path) + " is not an empty directory.");
    }
}

}  // namespace varnosk
