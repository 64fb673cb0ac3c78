#include "abundance/MspSummary.hpp"

#include <cmath>
#include <limits>

#include "common/ParallelSlots.hpp"
#include "compare/GenesComparator.hpp"
#include "compare/Median.hpp"

namespace varnosk {
namespace {

double coreCohesion(const Msp& msp, GenesComparator& comparator) {
    std::vector<double> scores;
    scores.reserve(msp.core_genes.size());
    for (const Gene* gene : msp.core_genes) {
        const ComparisonResult& result = comparator.compare(msp.representative, *gene, 0);
        scores.push_back(result.valid && !std::isnan(result.concordance) ? result.concordance : 0.0);
    }
    return medianBySelection(scores.data(), scores.size());
}

}  // namespace

std::vector<MspSummary> summarizeMsps(const MspList& msps, const AbundanceTable& abundance,
                                      const ComparisonParameters& parameters) {
    std::vector<MspSummary> summaries = computeInParallelSlots<MspSummary>(
        msps.size(), [&] { return GenesComparator(parameters); },
        [&](GenesComparator& comparator, std::size_t m) {
            MspSummary summary;
            summary.cohesion = coreCohesion(*msps[m], comparator);
            double sum = 0.0;
            for (std::size_t s = 0; s < abundance.num_samples; ++s) {
                const double value = abundance.at(m, s);
                if (value == 0.0) continue;
                ++summary.detected_samples;
                sum += value;
            }
            summary.mean_abundance = summary.detected_samples == 0
                                         ? std::numeric_limits<double>::quiet_NaN()
                                         : sum / static_cast<double>(summary.detected_samples);
            return summary;
        },
        [](std::uint64_t, std::uint64_t) {});
    return summaries;
}

}  // namespace varnosk
