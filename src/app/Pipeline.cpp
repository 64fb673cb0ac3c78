#include "app/Pipeline.hpp"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "abundance/AbundanceTables.hpp"
#include "abundance/MspAbundance.hpp"
#include "abundance/MspSummary.hpp"
#include "app/InformationOptions.hpp"
#include "app/ProgressLine.hpp"
#include "app/StageTimer.hpp"
#include "bins/GenesBinsCreator.hpp"
#include "bins/GenesBinsPrinter.hpp"
#include "common/TableNames.hpp"
#include "compare/ComparisonParameters.hpp"
#include "config/ApplicationSettings.hpp"
#include "config/ExecutionDescription.hpp"
#include "config/SettingsLoader.hpp"
#include "distributed/Cluster.hpp"
#include "distributed/Collectives.hpp"
#include "distributed/DistributedBins.hpp"
#include "distributed/DistributedMatrix.hpp"
#include "distributed/DistributedMsps.hpp"
#include "distributed/DistributedSeeds.hpp"
#include "distributed/GeneMessages.hpp"
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

namespace varnosk {
namespace {

// Every stage is announced on a line of its own, timed, and closed with a text that ends
// the stage's output block with a blank line. Stages that report progress get the
// console's progress line, opened here; a run-ending error while it is open starts on a
// line of its own.
class StageReporter {
public:
    explicit StageReporter(std::ostream& out) : out_(out), progress_(out) {}

    void open(const std::string& message, const std::string& stopwatch) {
        line(message);
        timer_.start(stopwatch);
    }

    // Opens the stage and its progress line, runs `stage(progress)` and returns its result.
    template <typename Stage>
    auto withProgress(const std::string& message, const std::string& stopwatch, Stage stage) {
        open(message, stopwatch);
        progress_.begin();
        try {
            return stage(progress_);
        } catch (...) {
            out_ << '\n' << std::flush;
            throw;
        }
    }

    void close(const std::string& text) {
        timer_.stop();
        progress_.close();
        out_ << text << '\n' << std::flush;
    }

    void line(const std::string& text) { out_ << text << '\n' << std::flush; }

    StageTimer& timer() { return timer_; }

private:
    std::ostream& out_;
    ProgressLine progress_;
    StageTimer timer_;
};

void printSeedTable(StageReporter& stage, const OutputDirectory& output_dir, const std::string& message,
                    const std::string& stopwatch, const std::string& file_name, const SeedRefs& seeds) {
    stage.open(message, stopwatch);
    printSeeds(SeedsTable{output_dir, file_name, "seed"}, seeds);
    stage.close("Done.\n");
}

}  // namespace

int runPipeline(int argc, const char* const argv[], std::ostream& out) {
    SingleProcess alone;
    return runPipeline(argc, argv, out, alone);
}

int runPipeline(int argc, const char* const argv[], std::ostream& console, Cluster& cluster) {
    // only the root draws the console and writes the output directory; the other ranks run
    // the same steps into a stream that drops everything
    std::ostream dropped(nullptr);
    std::ostream& out = cluster.isRoot() ? console : dropped;
    const bool root = cluster.isRoot();

    if (agreed(cluster, [&] { return printInformationOption(argc, argv, out); })) return 0;
    const Settings settings = agreed(cluster, [&] { return loadSettings(argc, argv); });
    std::optional<OutputDirectory> opened;
    agreed(cluster, [&] { opened.emplace(settings.output_dir); });
    const OutputDirectory& output_dir = *opened;

    out << "Varnosk - version " << VARNOSK_VERSION << '\n'
        << "The Varnosk developers\n"
        << '\n'
        << std::flush;

    agreed(cluster, [&] {
        if (!root) return;
        writeApplicationSettings(settings, output_dir, file_names::kApplicationSettings);
        writeExecutionDescription(describeExecution(), output_dir, file_names::kExecutionDescription);
    });

    StageReporter stage(out);
    stage.timer().start("Total");

    MatrixFileFacts facts;
    MatrixShape shape;
    CountMatrix matrix = stage.withProgress("Reading count matrix...", "Reading count matrix", [&](ProgressSink& progress) {
        return readCountMatrixOnRanks(cluster, settings.count_matrix_file, settings.count_matrix_has_header, progress,
                                      facts, shape);
    });
    struct Dimensions {
        ComparisonParameters parameters;
        SampleNames samples;
    };
    const std::uint64_t num_samples = shape.num_samples;
    const Dimensions dimensions = agreed(cluster, [&] {
        return Dimensions{comparisonParameters(settings, num_samples), sampleNames(facts.header, num_samples)};
    });
    const ComparisonParameters& parameters = dimensions.parameters;
    const SampleNames& samples = dimensions.samples;
    stage.close("\rDone. Count matrix has " + std::to_string(shape.num_genes) + " genes quantified across " +
                std::to_string(num_samples) + " samples.\n" +
                (samples.fallback_reason.empty() ? "" : samples.fallback_reason + "\n"));

    // Each rank holds a part of the genes (one process all of them); the root alone writes
    // the tables. A failure to write ends every rank at the next agreement.
    std::optional<RawCounts> raw_counts;
    std::vector<double> sample_divisors(num_samples, 1.0);
    const std::uint64_t num_genes_read = shape.num_genes;
    agreed(cluster, [&] {
        // the abundance tables need the counts as written, which the transform replaces
        if (root) raw_counts.emplace(settings.count_matrix_file, settings.count_matrix_has_header, facts, matrix);
        if (settings.normalize_counts) {
            stage.open("Computing number of mapped reads in samples...", "Computing number of mapped reads in samples");
        }
    });
    if (settings.normalize_counts) {
        sample_divisors = computeMappedReadsOnRanks(cluster, matrix, num_samples);
        stage.close("Done.\n");
    }

    CountMatrix removed = agreed(cluster, [&] {
        stage.open("Computing sqrt transformation of genes counts...", "Sqrt transformation");
        applySqrtTransform(matrix);
        stage.close("Done.\n");

        stage.open("Filtering too rare genes...", "Filtering rare genes");
        computeSamplePresence(matrix, parameters.detection_threshold);
        return removeRareGenes(matrix, settings.min_prevalence);
    });
    printFilteredOutGenesOnRanks(cluster, removed, output_dir, file_names::kGenesFilteredOut);
    agreed(cluster, [&] {
        CountMatrix().swap(removed);
        compactSamplePresence(matrix);
        if (root) raw_counts->keepOnly(matrix);
    });
    const std::uint64_t num_genes_kept = countGenesOnRanks(cluster, matrix.size());
    stage.close("Done. " + std::to_string(num_genes_kept) + " genes remaining.\n");

    GeneList all_genes = geneReferences(matrix);
    if (settings.bins_enabled) stage.open("Creating genes bins...", "Creating genes bins");
    std::vector<std::uint64_t> bin_sizes;
    GenesBinList bins = createGenesBinsOnRanks(cluster, GenesBinsCreator{settings.bins_enabled, settings.normalize_counts},
                                               all_genes, sample_divisors, bin_sizes);
    if (settings.print_genes_bins) printGenesBinsOnRanks(cluster, bins, output_dir, file_names::kGenesBins);
    if (settings.bins_enabled) stage.close("Done. Genes split in " + std::to_string(bins.size()) + " bins.\n");

    // From here on each rank holds the genes of the bins it owns.
    const BinPlacement placement = agreed(cluster, [&] {
        return placeBins(bin_sizes, cluster.size(), settings.seeds_min_seed_size, parameters);
    });
    moveGenesToBinOwners(cluster, matrix, bins, placement, parameters.detection_threshold);
    all_genes = geneReferences(matrix);
    // what the root receives of the other ranks' genes, and where it finds every gene it holds
    CountMatrix borrowed;
    GenesById known;

    SeedList seeds = stage.withProgress("Creating seeds...", "Creating seeds", [&](ProgressSink& progress) {
        return createSeedsOnRanks(cluster, bins, placement, all_genes, settings.seeds_min_seed_size,
                                  settings.seeds_min_concordance, parameters, progress, borrowed, known);
    });
    stage.close("\rDone. " + std::to_string(seeds.size()) + " seeds created.\n");
    const std::uint64_t num_seeds_created = seeds.size();
    const std::uint64_t num_bins = bins.size();
    // the seeds hold their genes: the bins' lists are not needed after this
    const GeneList genes_to_classify = genesToClassifyOnRank(cluster, bins, placement, std::move(all_genes));
    GenesBinList().swap(bins);

    // Merging and core seeds need every seed: the root's alone, with the profiles of the
    // members that other ranks sent.
    SeedRefs core_seeds;
    agreed(cluster, [&] {
        if (!root) return;

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
        core_seeds = stage.withProgress("Extracting core seeds ...", "Extracting core seeds", [&](ProgressSink& progress) {
            return extractor.extractCoreSeeds(seedReferences(seeds), parameters, progress);
        });
        stage.close("\rDone. " + std::to_string(core_seeds.size()) + " core seeds extracted.\n");

        if (settings.print_seeds) {
            printSeedTable(stage, output_dir, "Printing core seeds...", "Printing core seeds",
                           file_names::kAllCoreSeeds, core_seeds);
        }
    });

    const MspCreator creator{settings.msp_min_concordance, settings.msp_min_robust_concordance};
    const MspList msps = stage.withProgress("Creating Metagenomic Species Pan-genomes...",
                                            "Creating Metagenomic Species Pan-genomes", [&](ProgressSink& progress) {
                                                return createMspsOnRanks(cluster, creator, core_seeds,
                                                                         genes_to_classify, parameters, progress,
                                                                         borrowed, known);
                                            });
    stage.close("\rMetagenomic species creation done.\n");
    // The rest reads the MSPs and the file again: the root's work, the others wait for its end.
    agreed(cluster, [&] {
        if (!root) return;

        stage.open("Printing Metagenomic Species Pan-genomes...", "Printing Metagenomic Species Pan-genomes");
        MspPrinter(output_dir, file_names::kAllMsps).printMsps(msps);
        stage.close("Done.\n");

        AbundanceTable relative_abundance;
        std::vector<MspSummary> summaries;
        if (!msps.empty()) {
            const AbundanceParameters abundance_parameters{settings.abundance_num_core_genes,
                                                           settings.abundance_min_detected_share};
            const AbundanceTable abundance = stage.withProgress(
                "Computing MSP abundance...", "Computing MSP abundance", [&](ProgressSink& progress) {
                    return computeAbundance(msps, abundance_parameters, num_samples,
                                            [&](const GeneList& genes, const RawCountsVisitor& visit) {
                                                raw_counts->visit(genes, progress, visit);
                                            });
                });
            summaries = summarizeMsps(msps, abundance, parameters);
            relative_abundance = relativeAbundance(abundance);
            stage.close("\rDone.\n");

            stage.open("Printing MSP abundance and summary...", "Printing MSP abundance and summary");
            printAbundance(abundance, samples.names, output_dir, file_names::kMspAbundance);
            printAbundance(relative_abundance, samples.names, output_dir, file_names::kMspRelativeAbundance);
            printMspSummary(msps, summaries, output_dir, file_names::kMspSummary);
            stage.close("Done.\n");
        }

        // the report shows the stages before it; its own time is in the console report only
        std::vector<std::pair<std::string, double>> stage_seconds;
        for (std::size_t i = 0; i < stage.timer().finished().size(); ++i) {
            stage_seconds.emplace_back(stage.timer().finished()[i].first, stage.timer().finishedSteadySeconds()[i]);
        }
        ReportInput report{settings,
                           num_genes_read,
                           num_genes_read - num_genes_kept,
                           samples.names,
                           std::move(stage_seconds),
                           num_bins,
                           num_seeds_created,
                           seeds.size(),
                           core_seeds.size(),
                           msps,
                           summaries,
                           relative_abundance};
        stage.open("Writing report...", "Writing report");
        writeReport(report, output_dir, file_names::kReport);
        stage.close("Done.\n");

        stage.timer().stop();
        stage.timer().report(out) << '\n' << std::flush;
        // progress and the time report are part of the result: losing them is a failure
        if (!out) throw std::runtime_error("error: standard output could not be written.");
    });
    return 0;
}

}  // namespace varnosk
