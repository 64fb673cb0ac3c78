#include "app/Pipeline.hpp"

#include <string>
#include <vector>

#include "app/ProgressLine.hpp"
#include "app/StageTimer.hpp"
#include "bins/GenesBinsCreator.hpp"
#include "bins/GenesBinsPrinter.hpp"
#include "compare/GenesComparator.hpp"
#include "compare/RepresentativeGenes.hpp"
#include "config/ApplicationSettings.hpp"
#include "config/ExecutionDescription.hpp"
#include "config/SettingsLoader.hpp"
#include "matrix/CountMatrixReader.hpp"
#include "matrix/Preprocessing.hpp"
#include "matrix/RareGenesFilter.hpp"
#include "msp/MspCreator.hpp"
#include "msp/MspPrinter.hpp"
#include "seeds/CoreSeedsExtractor.hpp"
#include "seeds/SeedsCreator.hpp"
#include "seeds/SeedsMerger.hpp"
#include "seeds/SeedsPrinter.hpp"

namespace varnosk {
namespace {

constexpr const char* kProgramName = "Varnosk";
constexpr const char* kProgramVersion = "1.1.3";

// Every stage is announced on a line of its own, timed, and closed with a text that ends
// the stage's output block with a blank line.
class StageReporter {
public:
    explicit StageReporter(std::ostream& out) : out_(out) {}

    void open(const std::string& message, const std::string& stopwatch) {
        line(message);
        timer_.start(stopwatch);
    }

    void close(const std::string& text) {
        timer_.stop();
        out_ << text << '\n' << std::flush;
    }

    void line(const std::string& text) { out_ << text << '\n' << std::flush; }

    std::ostream& out() { return out_; }
    StageTimer& timer() { return timer_; }

private:
    std::ostream& out_;
    StageTimer timer_;
};

void printSeedTable(StageReporter& stage, const Settings& settings, const std::string& message,
                    const std::string& stopwatch, const std::string& file_name, const SeedRefs& seeds) {
    stage.open(message, stopwatch);
    printSeeds(SeedsTable{settings.output_dir, file_name, "seed"}, seeds);
    stage.close("Done.\n");
}

void setProcessWideParameters(const Settings& settings) {
    setGeneDetectionThreshold(settings.detection_limit);
    GenesComparator::setDetectionLimit(settings.detection_limit);
    GenesComparator::setMinPrevalence(settings.min_prevalence);
    GenesComparator::setMinPrevalenceForOutliers(settings.min_prevalence_for_outliers);
    GenesComparator::setMaxOutliersFraction(settings.max_outliers_fraction);
    setNumBestRepresentativeGenes(settings.num_best_representative_genes);
}

}  // namespace

int runPipeline(int argc, const char* const argv[], std::ostream& out) {
    const Settings settings = loadSettings(argc, argv);

    out << kProgramName << " - version " << kProgramVersion << '\n'
        << "The Varnosk developers\n"
        << '\n'
        << std::flush;

    writeApplicationSettings(settings, settings.output_dir, "application_settings.ini");
    writeExecutionDescription(describeExecution(), settings.output_dir, "execution_description.ini");
    setProcessWideParameters(settings);

    StageReporter stage(out);
    stage.timer().start("Total");

    stage.open("Reading count matrix...", "Reading count matrix");
    CountMatrix matrix = readCountMatrix(settings.count_matrix_file, settings.count_matrix_has_header, out);
    const std::uint64_t num_samples = matrix.front()->numSamples();
    GenesComparator::setNumSamples(num_samples);
    stage.close("\rDone. Count matrix has " + std::to_string(matrix.size()) + " genes quantified across " +
                std::to_string(num_samples) + " samples.\n");

    std::vector<double> sample_divisors(num_samples, 1.0);
    if (settings.normalize_counts) {
        stage.open("Computing number of mapped reads in samples...", "Computing number of mapped reads in samples");
        sample_divisors = computeMappedReads(matrix);
        stage.close("Done.\n");
    }

    stage.open("Computing sqrt transformation of genes counts...", "Sqrt transformation");
    applySqrtTransform(matrix);
    stage.close("Done.\n");

    stage.open("Filtering too rare genes...", "Filtering rare genes");
    computeDetectedSamples(matrix);
    filterRareGenes(matrix, settings.min_prevalence, settings.output_dir, "genes_filtered_out.tsv");
    stage.close("Done. " + std::to_string(matrix.size()) + " genes remaining.\n");

    const GeneList all_genes = geneReferences(matrix);

    if (settings.bins_enabled) stage.open("Creating genes bins...", "Creating genes bins");
    const GenesBinList bins =
        createGenesBins(GenesBinsCreator{settings.bins_enabled, settings.normalize_counts}, all_genes, sample_divisors);
    if (settings.print_genes_bins) printGenesBins(bins, settings.output_dir, "genes_bins.tsv");
    if (settings.bins_enabled) stage.close("Done. Genes split in " + std::to_string(bins.size()) + " bins.\n");

    stage.open("Creating seeds...", "Creating seeds");
    progress::begin(out);
    SeedList seeds = createAllSeeds(bins, settings.seeds_min_seed_size, settings.seeds_min_concordance, out);
    stage.close("\rDone. " + std::to_string(seeds.size()) + " seeds created.\n");

    if (settings.print_seeds) {
        printSeedTable(stage, settings, "Printing all seeds...", "Printing all seeds", "all_seeds.tsv",
                       seedReferences(seeds));
    }

    stage.open("Merging seeds...", "Merging seeds");
    SeedsMerger{settings.merging_min_concordance, settings.merging_min_seed_size}.mergeSeeds(seeds, out);
    stage.close("\rDone. " + std::to_string(seeds.size()) + " seeds remaining.\n");

    if (settings.print_seeds) {
        printSeedTable(stage, settings, "Printing merged seeds...", "Printing merged seeds", "all_merged_seeds.tsv",
                       seedReferences(seeds));
    }

    stage.open("Extracting core seeds ...", "Extracting core seeds");
    const SeedRefs core_seeds =
        CoreSeedsExtractor{settings.msp_min_concordance, settings.msp_min_robust_concordance}.extractCoreSeeds(
            seedReferences(seeds), out);
    stage.close("\rDone. " + std::to_string(core_seeds.size()) + " core seeds extracted.\n");

    if (settings.print_seeds) {
        printSeedTable(stage, settings, "Printing core seeds...", "Printing core seeds", "all_core_seeds.tsv",
                       core_seeds);
    }

    stage.open("Creating Metagenomic Species Pan-genomes...", "Creating Metagenomic Species Pan-genomes");
    const MspList msps =
        MspCreator{settings.msp_min_concordance, settings.msp_min_robust_concordance}.createMsps(core_seeds, all_genes,
                                                                                                  out);
    stage.close("\rMetagenomic species creation done.\n");

    stage.open("Printing Metagenomic Species Pan-genomes...", "Printing Metagenomic Species Pan-genomes");
    MspPrinter(settings.output_dir).printMsps(msps);
    stage.close("Done.\n");

    stage.timer().stop();
    stage.timer().report(out) << '\n' << std::flush;
    return 0;
}

}  // namespace varnosk
