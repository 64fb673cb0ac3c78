#include "config/ApplicationSettings.hpp"

#include <charconv>
#include <locale>
#include <ostream>
#include <sstream>
#include <string>

#include "output/NumberText.hpp"
#include "output/OutputFile.hpp"

namespace varnosk {

namespace {

const char* text(bool value) { return value ? "true" : "false"; }

// Six significant digits as the stream writes them when that reads back exactly, so that
// the records of ordinary runs keep their form; otherwise the shortest text that does, so
// that rerunning the recorded settings gives the same tables.
std::string real(double value) {
    std::ostringstream six;
    six.imbue(std::locale::classic());
    six << value;
    double parsed = 0.0;
    const std::string text = six.str();
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error == std::errc() && end == text.data() + text.size() && parsed == value) return text;
    return shortestText(value);
}

}  // namespace

void writeApplicationSettings(const Settings& settings, const OutputDirectory& output_dir,
                              const std::string& file_name) {
    OutputFile file(output_dir, file_name);
    std::ostream& out = file.stream();
    // the file is read back as a settings file: no locale-dependent separators
    out.imbue(std::locale::classic());
    out << "[input]\n"
        << "count_matrix_file = " << settings.count_matrix_file << "\n"
        << "count_matrix_has_header = " << text(settings.count_matrix_has_header) << "\n"
        << "\n"
        << "[genes_comparison]\n"
        << "detection_limit = " << real(settings.detection_limit) << "\n"
        << "min_prevalence = " << settings.min_prevalence << "\n"
        << "min_prevalence_for_outliers = " << settings.min_prevalence_for_outliers << "\n"
        << "max_outliers_fraction = " << real(settings.max_outliers_fraction) << "\n"
        << "\n"
        << "[genes_bins_creation]\n"
        << "enabled = " << text(settings.bins_enabled) << "\n"
        << "normalize_counts = " << text(settings.normalize_counts) << "\n"
        << "\n"
        << "[seeds_creation]\n"
        << "num_best_representative_genes = " << settings.num_best_representative_genes << "\n"
        << "min_concordance = " << real(settings.seeds_min_concordance) << "\n"
        << "min_seed_size = " << settings.seeds_min_seed_size << "\n"
        << "\n"
        << "[seeds_merging]\n"
        << "min_concordance = " << real(settings.merging_min_concordance) << "\n"
        << "min_seed_size = " << settings.merging_min_seed_size << "\n"
        << "\n"
        << "[msp_creation]\n"
        << "min_concordance = " << real(settings.msp_min_concordance) << "\n"
        << "min_robust_concordance = " << real(settings.msp_min_robust_concordance) << "\n"
        << "\n"
        << "[msp_abundance]\n"
        << "num_core_genes = " << settings.abundance_num_core_genes << "\n"
        << "min_detected_share = " << real(settings.abundance_min_detected_share) << "\n"
        << "\n"
        << "[output]\n"
        << "output_dir = " << settings.output_dir << "\n"
        << "print_genes_bins = " << text(settings.print_genes_bins) << "\n"
        << "print_seeds = " << text(settings.print_seeds) << "\n";
    file.close();
}

}  // namespace varnosk
