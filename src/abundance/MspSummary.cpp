#include "abundance/MspSummary.hpp"

#include <cmath>
#include <limits>

#include "common/ParallelSlots.hpp"
#include "compare/GenesComparator.hpp"
#include "compare/Median.hpp"

namespace varnosk {
namespace {

// Not a number for an MSP without core genes (one a profiled matrix lacks entirely).
double coreCohesion(const Msp& msp, GenesComparator& comparator) {
    if (msp.core_genes.empty()) return std::numeric_limits<double>::quiet_NaN();
    std::vector<double> scores;
    scores.reserve(msp.core_genes.size());
    for (const Gene* gene : msp.core_genes) {
        const ComparisonResult& result = comparator.compare(msp.representative, *gene, 0);
        scores.push_back(result.valid && !std::isnan(result.concordance) ? result.concordance : 0.0);
    }
    return medianBySelection(scores.data(), scores.size());
}

}  // namespace

std::vector<MspSummary> summarizeAbundance(const AbundanceTable& abundance, std::size_t num_msps) {
    std::vector<MspSummary> summaries(num_msps);
    for (std::size_t m = 0; m < summaries.size(); ++m) {
        MspSummary& summary = summaries[m];
        summary.cohesion = std::numeric_limits<double>::quiet_NaN();
        double sum = 0.0;
        for (std::size_t s = 0; s < abundance.num_samples; ++s) {
            const double value = abundance.at(m, s);
            if (value == 0.0) continue;
            ++summary.detected_samples;
            sum += value;
        }
        summary.mean_abundance = summary.detected_samples == 0 ? std::numeric_limits<double>::quiet_NaN()
                                                               : sum / static_cast<double>(summary.detected_samples);
    }
    return summaries;
}

std::vector<MspSummary> summarizeMsps(const MspList& msps, const AbundanceTable& abundance,
                                      const ComparisonParameters& parameters) {
    std::vector<MspSummary> summaries = summarizeAbundance(abundance, msps.size());
    const std::vector<double> cohesions = computeInParallelSlots<double>(
        msps.size(), [&] { return GenesComparator(parameters); },
        [&](GenesComparator& comparator, std::size_t m) { return coreCohesion(*msps[m], comparator); },
        [](std::uint64_t, std::uint64_t) {});
    for (std::size_t m = 0; m < msps.size(); ++m) summaries[m].cohesion = cohesions[m];
    return summaries;
}

}  // namespace varnosk
