#include "app/Profile.hpp"

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "abundance/MspAbundance.hpp"
#include "abundance/MspSummary.hpp"
#include "app/SpeciesTables.hpp"
#include "common/Shown.hpp"
#include "common/TableNames.hpp"
#include "compare/ComparisonParameters.hpp"
#include "compare/RepresentativeGenes.hpp"
#include "matrix/CountMatrixReader.hpp"
#include "matrix/Preprocessing.hpp"
#include "matrix/SampleNames.hpp"
#include "msp/MspSetFile.hpp"
#include "report/RunReport.hpp"

namespace varnosk {
namespace {

// The summary with each MSP's cohesion, as the clustering run computes it: on the square-root
// scale, against the profile of its core genes found (ranked best first in the set), which is
// the clustering run's own profile when they are all found. Turns the counts into roots.
std::vector<MspSummary> summarizeWithCohesion(MspList& msps, const AbundanceTable& abundance, CountMatrix& genes,
                                              const Settings& settings, std::size_t num_samples) {
    const ComparisonParameters parameters = comparisonParameters(settings, num_samples);
    applySqrtTransform(genes);
    computeSamplePresence(genes, parameters.detection_threshold);
    for (auto& msp : msps) {
        if (!msp->core_genes.empty()) msp->representative = representativeOfRanked(msp->core_genes, parameters);
    }
    return summarizeMsps(msps, abundance, parameters);
}

}  // namespace

void runProfile(StageReporter& stage, const Settings& settings, const OutputDirectory& output_dir) {
    stage.open("Reading MSP set...", "Reading MSP set");
    const std::vector<MspDefinition> definitions = readMspSet(settings.msps_file);
    std::unordered_set<std::string_view> core_names;
    for (const MspDefinition& msp : definitions) core_names.insert(msp.coreGenes().begin(), msp.coreGenes().end());
    stage.close("Done. " + std::to_string(definitions.size()) + " MSPs with " + std::to_string(core_names.size()) +
                " core genes.\n");

    MatrixFileFacts facts;
    std::size_t num_samples = 0;
    CountMatrix genes =
        stage.withProgress("Reading count matrix...", "Reading count matrix", [&](ProgressSink& progress) {
            return readNamedGenes(
                settings.count_matrix_file, settings.count_matrix_has_header,
                [&](std::string_view name) { return core_names.contains(name); }, progress, facts, num_samples);
        });
    const SampleNames samples = sampleNames(facts.header, num_samples);
    stage.close("\rDone. The count matrix holds " + std::to_string(genes.size()) + " of the core genes, across " +
                std::to_string(num_samples) + " samples.\n" +
                (samples.fallback_reason.empty() ? "" : samples.fallback_reason + "\n"));
    if (genes.empty()) {
        throw std::runtime_error("error: the count matrix " + shownPath(settings.count_matrix_file) +
                                 " holds no core gene of the MSP set " + shownPath(settings.msps_file) +
                                 " (genes are matched by name).");
    }

    // Each MSP's core genes that the matrix holds, in the set's order.
    std::unordered_map<std::string_view, const Gene*> by_name;
    for (const auto& gene : genes) by_name.emplace(gene->name, gene.get());
    MspList msps;
    for (const MspDefinition& definition : definitions) {
        auto msp = std::make_unique<Msp>();
        for (const std::string& name : definition.coreGenes()) {
            if (const auto found = by_name.find(name); found != by_name.end()) msp->core_genes.push_back(found->second);
        }
        msps.push_back(std::move(msp));
    }

    std::vector<std::string> msp_names;
    for (const MspDefinition& definition : definitions) msp_names.push_back(definition.name);
    const AbundanceParameters parameters{settings.abundance_num_core_genes, settings.abundance_min_detected_share};
    const AbundanceTable abundance =
        stage.withProgress("Computing MSP abundance...", "Computing MSP abundance", [&](ProgressSink& progress) {
            AbundanceTable table = computeAbundance(msps, parameters, num_samples,
                                                    [](const GeneList& needed, const RawCountsVisitor& visit) {
                                                        for (const Gene* gene : needed) visit(*gene, gene->counts);
                                                    });
            progress.update(1, 1);
            return table;
        });
    const std::vector<MspSummary> summaries = settings.comparison_settings_given
                                                  ? summarizeWithCohesion(msps, abundance, genes, settings, num_samples)
                                                  : summarizeAbundance(abundance, definitions.size());
    std::vector<MspSummaryRow> rows;
    for (std::size_t m = 0; m < definitions.size(); ++m) {
        const MspDefinition& definition = definitions[m];
        rows.push_back({definition.name,
                        {definition.genes[0].size(), definition.genes[1].size(), definition.genes[2].size(),
                         definition.genes[3].size()},
                        definition.coreGenes().front(),
                        summaries[m],
                        msps[m]->core_genes.size()});
    }
    const AbundanceTable relative_abundance = relativeAbundance(abundance);
    stage.close("\rDone.\n");

    printAbundanceTables(stage, abundance, relative_abundance, msp_names, samples.names, rows, output_dir);

    const std::vector<MspLineage> lineages = nameMsps(
        stage,
        [&] {
            std::vector<std::vector<std::string_view>> core_genes;
            for (const MspDefinition& definition : definitions) {
                core_genes.emplace_back(definition.coreGenes().begin(), definition.coreGenes().end());
            }
            return core_genes;
        },
        msp_names, settings, output_dir);

    ReportInput report{settings, genes.size(),       0,        samples.names,  stage.finishedSeconds(), 0, 0, 0, 0,
                       rows,     relative_abundance, lineages, kProfileCommand};
    stage.open("Writing report...", "Writing report");
    writeReport(report, output_dir, file_names::kReport);
    stage.close("Done.\n");
}

}  // namespace varnosk
