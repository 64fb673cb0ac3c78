#pragma once

#include <cstdint>
#include <string>

namespace varnosk {

// The validated run configuration: one field per key of the settings file, every key
// required but those of [msp_abundance] and [taxonomy], which have the defaults below, and
// those a profile run may go without. Filled once by
// loadSettings and read-only afterwards.
struct Settings {
    std::string count_matrix_file;                    // input.count_matrix_file
    bool count_matrix_has_header = false;             // input.count_matrix_has_header
    double detection_limit = 0.0;                     // genes_comparison.detection_limit (raw count)
    std::uint64_t min_prevalence = 0;                 // genes_comparison.min_prevalence
    std::uint64_t min_prevalence_for_outliers = 0;    // genes_comparison.min_prevalence_for_outliers
    double max_outliers_fraction = 0.0;               // genes_comparison.max_outliers_fraction
    bool bins_enabled = false;                        // genes_bins_creation.enabled
    bool normalize_counts = false;                    // genes_bins_creation.normalize_counts, false when bins are off
    std::uint64_t num_best_representative_genes = 0;  // seeds_creation.num_best_representative_genes
    double seeds_min_concordance = 0.0;               // seeds_creation.min_concordance
    std::uint64_t seeds_min_seed_size = 0;            // seeds_creation.min_seed_size
    double merging_min_concordance = 0.0;             // seeds_merging.min_concordance
    std::uint64_t merging_min_seed_size = 0;          // seeds_merging.min_seed_size
    double msp_min_concordance = 0.0;                 // msp_creation.min_concordance
    double msp_min_robust_concordance = 0.0;          // msp_creation.min_robust_concordance
    std::uint64_t abundance_num_core_genes = 100;     // msp_abundance.num_core_genes (optional)
    double abundance_min_detected_share = 0.1;        // msp_abundance.min_detected_share (optional)
    std::string msps_file;                            // profile.msps_file (profile runs)
    std::string gene_lineages_file;                   // taxonomy.gene_lineages_file (optional; empty: none)
    double taxonomy_min_agreement = 0.5;              // taxonomy.min_agreement (optional)
    std::string output_dir;                           // output.output_dir
    bool print_genes_bins = false;                    // output.print_genes_bins
    bool print_seeds = false;                         // output.print_seeds
    // Whether the comparison settings ([genes_comparison] and num_best_representative_genes)
    // were given: always in a clustering run; in a profile run, which then computes cohesion,
    // when the file has them.
    bool comparison_settings_given = true;
};

}  // namespace varnosk
