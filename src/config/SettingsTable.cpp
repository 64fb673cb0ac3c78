#include "config/SettingsTable.hpp"

#include <array>
#include <charconv>
#include <locale>
#include <sstream>
#include <stdexcept>

#include "output/NumberText.hpp"

namespace varnosk {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
// Counts are compared as single-precision floats: a larger limit could not be told apart.
constexpr double kFloatMax = static_cast<double>(std::numeric_limits<float>::max());

constexpr SettingKey path(std::string_view section, std::string_view name, SettingKind kind,
                          std::string Settings::*field, std::string_view meaning, unsigned commands = kClusterCommand,
                          bool required = true) {
    return {section, name, kind, field, required, 0, nullptr, -kInfinity, kInfinity, meaning, commands};
}

constexpr SettingKey boolean(std::string_view section, std::string_view name, bool Settings::*field,
                             std::string_view meaning, unsigned commands = kClusterCommand) {
    return {section, name, SettingKind::Boolean, field, true, 0, nullptr, -kInfinity, kInfinity, meaning, commands};
}

constexpr SettingKey integer(std::string_view section, std::string_view name, std::uint64_t Settings::*field,
                             std::uint64_t min, std::uint64_t Settings::*at_least, std::string_view meaning,
                             bool required = true, unsigned commands = kClusterCommand) {
    return {section, name,    SettingKind::Integer, field, required, min, at_least, -kInfinity, kInfinity,
            meaning, commands};
}

constexpr SettingKey real(std::string_view section, std::string_view name, double Settings::*field, double min,
                          double max, std::string_view meaning, bool required = true,
                          unsigned commands = kClusterCommand) {
    return {section, name, SettingKind::Real, field, required, 0, nullptr, min, max, meaning, commands};
}

// The key as one of an optional section, present only when `file` is set.
constexpr SettingKey inSectionOf(SettingKey key, std::string Settings::*file) {
    key.present_if = file;
    return key;
}

// The key as one of the comparison settings, which a profile run may also be given (for
// cohesion), all together or not at all.
constexpr SettingKey alsoForProfileCohesion(SettingKey key) {
    key.commands |= kProfileCommand;
    key.optional_group_in = kProfileCommand;
    return key;
}

const std::array kTable = {
    path("input", "count_matrix_file", SettingKind::InputFile, &Settings::count_matrix_file, "the count matrix",
         kClusterCommand | kProfileCommand),
    boolean("input", "count_matrix_has_header", &Settings::count_matrix_has_header, "skip the first line of the matrix",
            kClusterCommand | kProfileCommand),

    // the MSP set that `varnosk profile` measures the matrix's samples against
    path("profile", "msps_file", SettingKind::InputFile, &Settings::msps_file,
         "an MSP set in the layout of `all_msps.tsv` (`varnosk profile` only)", kProfileCommand),

    alsoForProfileCohesion(real("genes_comparison", "detection_limit", &Settings::detection_limit, 6.0, kFloatMax,
                                "smallest raw count that makes a gene detected in a sample")),
    alsoForProfileCohesion(integer("genes_comparison", "min_prevalence", &Settings::min_prevalence, 2, nullptr,
                                   "samples a gene must be detected in to be kept; co-detected samples a gene pair "
                                   "needs")),
    // fewer co-detected samples than five leave no room for quartiles
    alsoForProfileCohesion(integer("genes_comparison", "min_prevalence_for_outliers",
                                   &Settings::min_prevalence_for_outliers, 5, &Settings::min_prevalence,
                                   "co-detected samples needed before outlier samples are discounted")),
    alsoForProfileCohesion(real("genes_comparison", "max_outliers_fraction", &Settings::max_outliers_fraction, 0.0, 0.5,
                                "largest fraction of co-detected samples that may be treated as outliers")),

    boolean("genes_bins_creation", "enabled", &Settings::bins_enabled,
            "split genes into bins by dominant sample before building seeds (much faster)"),
    boolean("genes_bins_creation", "normalize_counts", &Settings::normalize_counts,
            "divide by each sample's sequencing depth when finding the dominant sample (ignored when bins are "
            "off)"),

    alsoForProfileCohesion(integer("seeds_creation", "num_best_representative_genes",
                                   &Settings::num_best_representative_genes, 10, nullptr,
                                   "number of best genes whose median profile represents a group")),
    real("seeds_creation", "min_concordance", &Settings::seeds_min_concordance, 0.7, 1.0,
         "concordance two genes need to join one seed"),
    // a seed must hold the genes that represent it
    integer("seeds_creation", "min_seed_size", &Settings::seeds_min_seed_size, 0,
            &Settings::num_best_representative_genes, "smallest seed kept"),

    real("seeds_merging", "min_concordance", &Settings::merging_min_concordance, -kInfinity, kInfinity,
         "concordance two seeds' profiles need to be merged"),
    integer("seeds_merging", "min_seed_size", &Settings::merging_min_seed_size, 0, &Settings::seeds_min_seed_size,
            "smallest seed kept after merging"),

    real("msp_creation", "min_concordance", &Settings::msp_min_concordance, -kInfinity, kInfinity,
         "concordance a gene (or seed) needs with a species profile"),
    real("msp_creation", "min_robust_concordance", &Settings::msp_min_robust_concordance, -kInfinity, kInfinity,
         "the same for the concordance computed without outlier samples"),

    // optional, so that settings files written before these keys keep working
    integer("msp_abundance", "num_core_genes", &Settings::abundance_num_core_genes, 1, nullptr,
            "the first (best) core genes of a species whose counts give its abundance; all of them when it has "
            "fewer",
            false, kClusterCommand | kProfileCommand),
    real("msp_abundance", "min_detected_share", &Settings::abundance_min_detected_share, 0.0, 1.0,
         "share of those genes that must be non-zero in a sample for the species to count as present there", false,
         kClusterCommand | kProfileCommand),

    // optional: species names from the lineages of their core genes
    inSectionOf(path("taxonomy", "gene_lineages_file", SettingKind::InputFile, &Settings::gene_lineages_file,
                     "a table of gene name, tab, lineage (`d__...;p__...;...;s__...`): names each MSP in "
                     "`msp_taxonomy.tsv`",
                     kClusterCommand | kProfileCommand, false),
                &Settings::gene_lineages_file),
    inSectionOf(real("taxonomy", "min_agreement", &Settings::taxonomy_min_agreement, 0.0, 1.0,
                     "share of an MSP's annotated core genes that must agree on a rank for it to be named there", false,
                     kClusterCommand | kProfileCommand),
                &Settings::gene_lineages_file),

    path("output", "output_dir", SettingKind::OutputDirectory, &Settings::output_dir, "where every output file goes",
         kClusterCommand | kProfileCommand),
    boolean("output", "print_genes_bins", &Settings::print_genes_bins, "write `genes_bins.tsv`"),
    boolean("output", "print_seeds", &Settings::print_seeds, "write the three seed tables"),
};

std::string streamed(double value) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << value;
    return out.str();
}

// Six significant digits as the stream writes them when that reads back exactly, so that
// the records of ordinary runs keep their form; otherwise the shortest text that does, so
// that rerunning the recorded settings gives the same tables.
std::string realText(double value) {
    const std::string six = streamed(value);
    double parsed = 0.0;
    const auto [end, error] = std::from_chars(six.data(), six.data() + six.size(), parsed);
    if (error == std::errc() && end == six.data() + six.size() && parsed == value) return six;
    return shortestText(value);
}

// A key named from another key's description: by name alone within the same section.
std::string referenceText(const SettingKey& from, const SettingKey& to) {
    std::string text;
    if (to.section != from.section) text.append("`[").append(to.section).append("]` ");
    return text.append("`").append(to.name).append("`");
}

}  // namespace

std::string SettingKey::dottedName() const { return std::string(section) + "." + std::string(name); }

bool SettingKey::hasRealRange() const { return min_real != -kInfinity || max_real != kInfinity; }

std::span<const SettingKey> settingsTable() { return kTable; }

const SettingKey& settingKeyOf(const SettingField& field) {
    for (const SettingKey& key : kTable) {
        if (key.field == field) return key;
    }
    throw std::logic_error("a settings field without a key");
}

std::string settingValueText(const Settings& settings, const SettingKey& key) {
    return std::visit(
        [&](auto member) -> std::string {
            const auto& value = settings.*member;
            using Value = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<Value, bool>)
                return value ? "true" : "false";
            else if constexpr (std::is_same_v<Value, double>)
                return realText(value);
            else if constexpr (std::is_same_v<Value, std::uint64_t>)
                return std::to_string(value);
            else
                return value;
        },
        key.field);
}

std::string allowedValuesText(const SettingKey& key) {
    std::string text;
    switch (key.kind) {
        case SettingKind::InputFile: text = "a readable file"; break;
        case SettingKind::OutputDirectory: text = "an existing, empty directory"; break;
        case SettingKind::Boolean: break;
        case SettingKind::Integer:
            if (key.at_least == nullptr) {
                text = std::to_string(key.min_integer) + " or more";
            } else {
                const std::string other = referenceText(key, settingKeyOf(key.at_least));
                text = (key.min_integer == 0 ? other : "max(" + std::to_string(key.min_integer) + ", " + other + ")") +
                       " or more";
            }
            break;
        case SettingKind::Real:
            text = key.hasRealRange() ? streamed(key.min_real) + " to " + streamed(key.max_real) : "any";
            break;
    }
    if (!key.required) {
        const std::string default_text = settingValueText(Settings{}, key);
        text += default_text.empty() ? " (optional)" : " (default " + default_text + ")";
    }
    return text;
}

std::string_view kindName(SettingKind kind) {
    switch (kind) {
        case SettingKind::InputFile:
        case SettingKind::OutputDirectory: return "path";
        case SettingKind::Boolean: return "boolean";
        case SettingKind::Integer: return "integer";
        case SettingKind::Real: return "real";
    }
    return "";
}

}  // namespace varnosk
