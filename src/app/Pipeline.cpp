#include "app/Pipeline.hpp"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <omp.h>

#include "abundance/AbundanceTables.hpp"
#include "abundance/MspAbundance.hpp"
#include "abundance/MspSummary.hpp"
#include "app/InformationOptions.hpp"
#include "app/Invocation.hpp"
#include "app/Profile.hpp"
#include "app/SpeciesTables.hpp"
#include "app/StageReporter.hpp"
#include "bins/GenesBinsCreator.hpp"
#include "bins/GenesBinsPrinter.hpp"
#include "common/TableNames.hpp"
#include "compare/ComparisonParameters.hpp"
#include "config/ApplicationSettings.hpp"
#include "config/ExecutionDescription.hpp"
#include "config/SettingsLoader.hpp"
#include "distributed/Cluster.hpp"
#include "distributed/Collectives.hpp"
#include "distributed/CpuShortage.hpp"
#include "distributed/DistributedBins.hpp"
#include "distributed/DistributedMatrix.hpp"
#include "distributed/DistributedMsps.hpp"
#include "distributed/DistributedSeeds.hpp"
#include "distributed/GeneMessages.hpp"
#include "distributed/RankSteps.hpp"
#include "matrix/CountMatrixReader.hpp"
#include "matrix/Preprocessing.hpp"
#include "matrix/RareGenesFilter.hpp"
#include "matrix/RawCounts.hpp"
#include "matrix/SampleNames.hpp"
#include "msp/MspCreator.hpp"
#include "msp/MspPrinter.hpp"
#include "output/OutputDirectory.hpp"
#include "report/RunReport.hpp"
#include "seeds/CoreSeedsExtractor.hpp"
#include "seeds/SeedsCreator.hpp"
#include "seeds/SeedsMerger.hpp"
#include "seeds/SeedsPrinter.hpp"
#include "taxonomy/MspTaxonomy.hpp"

namespace varnosk {
namespace {

void printSeedTable(StageReporter& stage, const OutputDirectory& output_dir, const std::string& message,
                    const std::string& stopwatch, const std::string& file_name, const SeedRefs& seeds) {
    stage.open(message, stopwatch);
    printSeeds(SeedsTable{output_dir, file_name, "seed"}, seeds);
    stage.close("Done.\n");
}

// Merges the seeds (in place) and returns the core seeds, printing the seed tables asked for.
SeedRefs mergeSeedsAndExtractCores(StageReporter& stage, const Settings& settings, const OutputDirectory& output_dir,
                                   SeedList& seeds, const ComparisonParameters& parameters) {
    if (settings.print_seeds) {
        printSeedTable(stage, output_dir, "Printing all seeds...", "Printing all seeds", file_names::kAllSeeds,
                       seedReferences(seeds));
    }

    stage.withProgress("Merging seeds...", "Merging seeds", [&](ProgressSink& progress) {
        SeedsMerger{settings.merging_min_concordance, settings.merging_min_seed_size}.mergeSeeds(seeds, parameters,
                                                                                                 progress);
    });
    stage.close("\rDone. " + std::to_string(seeds.size()) + " seeds remaining.\n");

    if (settings.print_seeds) {
        printSeedTable(stage, output_dir, "Printing merged seeds...", "Printing merged seeds",
                       file_names::kAllMergedSeeds, seedReferences(seeds));
    }

    const CoreSeedsExtractor extractor{settings.msp_min_concordance, settings.msp_min_robust_concordance};
    SeedRefs core_seeds =
        stage.withProgress("Extracting core seeds ...", "Extracting core seeds", [&](ProgressSink& progress) {
            return extractor.extractCoreSeeds(seedReferences(seeds), parameters, progress);
        });
    stage.close("\rDone. " + std::to_string(core_seeds.size()) + " core seeds extracted.\n");

    if (settings.print_seeds) {
        printSeedTable(stage, output_dir, "Printing core seeds...", "Printing core seeds", file_names::kAllCoreSeeds,
                       core_seeds);
    }
    return core_seeds;
}

// What the report counts of the stages before it.
struct RunCounts {
    std::uint64_t genes_read = 0;
    std::uint64_t genes_kept = 0;
    std::uint64_t bins = 0;
    std::uint64_t seeds_created = 0;
    std::uint64_t seeds_merged = 0;
    std::uint64_t core_seeds = 0;
};

// The MSP table, the abundance tables and summary (when there are MSPs), the report and the
// time report: they read the MSPs and the raw counts again.
void writeResults(StageReporter& stage, const Settings& settings, const OutputDirectory& output_dir,
                  const MspList& msps, const RawCounts& raw_counts, const SampleNames& samples,
                  const ComparisonParameters& parameters, const RunCounts& counts) {
    stage.open("Printing Metagenomic Species Pan-genomes...", "Printing Metagenomic Species Pan-genomes");
    MspPrinter(output_dir, file_names::kAllMsps).printMsps(msps);
    stage.close("Done.\n");

    const std::vector<std::string> msp_names = generatedMspNames(msps.size());
    AbundanceTable relative_abundance;
    std::vector<MspSummaryRow> msp_rows;
    if (!msps.empty()) {
        const AbundanceParameters abundance_parameters{settings.abundance_num_core_genes,
                                                       settings.abundance_min_detected_share};
        const AbundanceTable abundance =
            stage.withProgress("Computing MSP abundance...", "Computing MSP abundance", [&](ProgressSink& progress) {
                return computeAbundance(msps, abundance_parameters, samples.names.size(),
                                        [&](const GeneList& genes, const RawCountsVisitor& visit) {
                                            raw_counts.visit(genes, progress, visit);
                                        });
            });
        msp_rows = summaryRows(msps, summarizeMsps(msps, abundance, parameters));
        relative_abundance = relativeAbundance(abundance);
        stage.close("\rDone.\n");

        printAbundanceTables(stage, abundance, relative_abundance, msp_names, samples.names, msp_rows, output_dir);
    }

    const std::vector<MspLineage> lineages = nameMsps(
        stage,
        [&] {
            std::vector<std::vector<std::string_view>> core_genes;
            for (const auto& msp : msps) {
                core_genes.emplace_back();
                for (const Gene* gene : msp->core_genes) core_genes.back().push_back(gene->name);
            }
            return core_genes;
        },
        msp_names, settings, output_dir);

    std::vector<std::pair<std::string, double>> stage_seconds = stage.finishedSeconds();
    ReportInput report{settings,
                       counts.genes_read,
                       counts.genes_read - counts.genes_kept,
                       samples.names,
                       std::move(stage_seconds),
                       counts.bins,
                       counts.seeds_created,
                       counts.seeds_merged,
                       counts.core_seeds,
                       msp_rows,
                       relative_abundance,
                       lineages};
    stage.open("Writing report...", "Writing report");
    writeReport(report, output_dir, file_names::kReport);
    stage.close("Done.\n");

    stage.printTimeReport();
}

}  // namespace

int runPipeline(int argc, const char* const argv[], std::ostream& out) {
    SingleProcess alone;
    return runPipeline(argc, argv, out, alone);
}

// The stages of a run, in order. Each rank runs this same sequence (rank steps:
// distributed/RankSteps.hpp); a single process is the one-rank case.
int runPipeline(int argc, const char* const argv[], std::ostream& console, Cluster& cluster) {
    // only the root draws the console; the other ranks run the same steps into a stream that
    // drops everything
    std::ostream dropped(nullptr);
    std::ostream& out = cluster.isRoot() ? console : dropped;

    // Command line, settings, output directory
    if (onEveryRank(cluster, [&] { return printInformationOption(argc, argv, out); })) return 0;
    const Invocation invocation = onEveryRank(cluster, [&] { return parseInvocation(argc, argv); });
    const Settings settings =
        onEveryRank(cluster, [&] { return loadSettings(invocation.settings_path, invocation.command); });
    std::optional<OutputDirectory> opened;
    onEveryRank(cluster, [&] { opened.emplace(settings.output_dir); });
    const OutputDirectory& output_dir = *opened;

    out << "Varnosk - version " << VARNOSK_VERSION << '\n' << "The Varnosk developers\n" << '\n' << std::flush;
    // threads: the option, else OpenMP's default; a note when they outnumber the CPUs
    if (invocation.threads > 0) omp_set_num_threads(invocation.threads);
    const std::string cpu_note = cpuShortageNoteOnRanks(cluster);
    if (!cpu_note.empty()) out << cpu_note << "\n\n" << std::flush;
    onRoot(cluster, [&] {
        writeApplicationSettings(settings, output_dir, file_names::kApplicationSettings, invocation.command);
        writeExecutionDescription(describeExecution(), output_dir, file_names::kExecutionDescription);
    });

    StageReporter stage(out);
    stage.timer().start("Total");

    // Profiling an existing MSP set is one process's work: the other ranks wait for the root.
    if (invocation.command == kProfileCommand) {
        onRoot(cluster, [&] {
            runProfile(stage, settings, output_dir);
            stage.printTimeReport();
        });
        return 0;
    }
    RunCounts counts;

    // Reading the count matrix: each rank holds a part of the genes
    MatrixFileFacts facts;
    MatrixShape shape;
    CountMatrix matrix =
        stage.withProgress("Reading count matrix...", "Reading count matrix", [&](ProgressSink& progress) {
            return readCountMatrixOnRanks(cluster, settings.count_matrix_file, settings.count_matrix_has_header,
                                          progress, facts, shape);
        });
    struct Dimensions {
        ComparisonParameters parameters;
        SampleNames samples;
    };
    const std::uint64_t num_samples = shape.num_samples;
    const Dimensions dimensions = onEveryRank(cluster, [&] {
        return Dimensions{comparisonParameters(settings, num_samples), sampleNames(facts.header, num_samples)};
    });
    const ComparisonParameters& parameters = dimensions.parameters;
    const SampleNames& samples = dimensions.samples;
    counts.genes_read = shape.num_genes;
    stage.close("\rDone. Count matrix has " + std::to_string(shape.num_genes) + " genes quantified across " +
                std::to_string(num_samples) + " samples.\n" +
                (samples.fallback_reason.empty() ? "" : samples.fallback_reason + "\n"));

    // The abundance tables need the counts as written, which the transform replaces: the root
    // keeps a way back to them.
    std::optional<RawCounts> raw_counts;
    onRoot(cluster,
           [&] { raw_counts.emplace(settings.count_matrix_file, settings.count_matrix_has_header, facts, matrix); });

    // Sequencing depths, for bins by normalised counts
    std::vector<double> sample_divisors(num_samples, 1.0);
    if (settings.normalize_counts) {
        stage.open("Computing number of mapped reads in samples...", "Computing number of mapped reads in samples");
        sample_divisors = computeMappedReadsOnRanks(cluster, matrix, num_samples);
        stage.close("Done.\n");
    }

    // Square-root scale
    onEveryRank(cluster, [&] {
        stage.open("Computing sqrt transformation of genes counts...", "Sqrt transformation");
        applySqrtTransform(matrix);
        stage.close("Done.\n");
    });

    // Filtering rare genes
    stage.open("Filtering too rare genes...", "Filtering rare genes");
    CountMatrix removed = onEveryRank(cluster, [&] {
        computeSamplePresence(matrix, parameters.detection_threshold);
        return removeRareGenes(matrix, settings.min_prevalence);
    });
    printFilteredOutGenesOnRanks(cluster, removed, output_dir, file_names::kGenesFilteredOut);
    onEveryRank(cluster, [&] {
        CountMatrix().swap(removed);
        compactSamplePresence(matrix);
    });
    onRoot(cluster, [&] { raw_counts->keepOnly(matrix); });
    counts.genes_kept = countGenesOnRanks(cluster, matrix.size());
    stage.close("Done. " + std::to_string(counts.genes_kept) + " genes remaining.\n");

    // Genes bins
    GeneList all_genes = geneReferences(matrix);
    if (settings.bins_enabled) stage.open("Creating genes bins...", "Creating genes bins");
    std::vector<std::uint64_t> bin_sizes;
    GenesBinList bins =
        createGenesBinsOnRanks(cluster, GenesBinsCreator{settings.bins_enabled, settings.normalize_counts}, all_genes,
                               sample_divisors, bin_sizes);
    if (settings.print_genes_bins) printGenesBinsOnRanks(cluster, bins, output_dir, file_names::kGenesBins);
    if (settings.bins_enabled) stage.close("Done. Genes split in " + std::to_string(bins.size()) + " bins.\n");
    counts.bins = bins.size();

    // From here on each rank holds the genes of the bins it owns.
    const BinPlacement placement = onEveryRank(
        cluster, [&] { return placeBins(bin_sizes, cluster.size(), settings.seeds_min_seed_size, parameters); });
    moveGenesToBinOwners(cluster, matrix, bins, placement, parameters.detection_threshold);
    all_genes = geneReferences(matrix);
    RootGenes root_genes;

    // Seeds: each rank makes those of its bins; the root receives them all
    SeedList seeds = stage.withProgress("Creating seeds...", "Creating seeds", [&](ProgressSink& progress) {
        return createSeedsOnRanks(cluster, bins, placement, all_genes, settings.seeds_min_seed_size,
                                  settings.seeds_min_concordance, parameters, progress, root_genes);
    });
    stage.close("\rDone. " + std::to_string(seeds.size()) + " seeds created.\n");
    counts.seeds_created = seeds.size();
    // the seeds hold their genes: the bins' lists are not needed after this
    const GeneList genes_to_classify = genesToClassifyOnRank(cluster, bins, placement, std::move(all_genes));
    GenesBinList().swap(bins);

    // Seeds merging and core seeds: they need every seed at once
    SeedRefs core_seeds;
    onRoot(cluster, [&] { core_seeds = mergeSeedsAndExtractCores(stage, settings, output_dir, seeds, parameters); });
    counts.seeds_merged = seeds.size();
    counts.core_seeds = core_seeds.size();

    // MSPs: every rank classifies its genes against the core seeds; the root builds the MSPs
    const MspCreator creator{settings.msp_min_concordance, settings.msp_min_robust_concordance};
    const MspList msps = stage.withProgress(
        "Creating Metagenomic Species Pan-genomes...", "Creating Metagenomic Species Pan-genomes",
        [&](ProgressSink& progress) {
            return createMspsOnRanks(cluster, creator, core_seeds, genes_to_classify, parameters, progress, root_genes);
        });
    stage.close("\rMetagenomic species creation done.\n");

    // Tables, abundance, report
    onRoot(cluster, [&] { writeResults(stage, settings, output_dir, msps, *raw_counts, samples, parameters, counts); });
    return 0;
}

}  // namespace varnosk
