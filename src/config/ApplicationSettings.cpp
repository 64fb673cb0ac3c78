#include "config/ApplicationSettings.hpp"

#include <locale>
#include <ostream>

#include "config/OutputFile.hpp"

namespace varnosk {

namespace {

const char* text(bool value) { return value ? "true" : "false"; }

}  // namespace

void writeApplicationSettings(const Settings& settings, const std::string& output_dir,
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
        << "detection_limit = " << settings.detection_limit << "\n"
        << "min_prevalence = " << settings.min_prevalence << "\n"
        << "min_prevalence_for_outliers = " << settings.min_prevalence_for_outliers << "\n"
        << "max_outliers_fraction = " << settings.max_outliers_fraction << "\n"
        << "\n"
        << "[genes_bins_creation]\n"
        << "enabled = " << text(settings.bins_enabled) << "\n"
        << "normalize_counts = " << text(settings.normalize_counts) << "\n"
        << "\n"
        << "[seeds_creation]\n"
        << "num_best_representative_genes = " << settings.num_best_representative_genes << "\n"
        << "min_concordance = " << settings.seeds_min_concordance << "\n"
        << "min_seed_size = " << settings.seeds_min_seed_size << "\n"
        << "\n"
        << "[seeds_merging]\n"
        << "min_concordance = " << settings.merging_min_concordance << "\n"
        << "min_seed_size = " << settings.merging_min_seed_size << "\n"
        << "\n"
        << "[msp_creation]\n"
        << "min_concordance = " << settings.msp_min_concordance << "\n"
        << "min_robust_concordance = " << settings.msp_min_robust_concordance << "\n"
        << "\n"
        << "[output]\n"
        << "output_dir = " << settings.output_dir << "\n"
        << "print_genes_bins = " << text(settings.print_genes_bins) << "\n"
        << "print_seeds = " << text(settings.print_seeds) << "\n";
    file.close();
}

}  // namespace varnosk
