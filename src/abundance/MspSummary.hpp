#pragma once

#include <cstdint>
#include <vector>

#include "abundance/MspAbundance.hpp"
#include "compare/ComparisonParameters.hpp"
#include "msp/Msp.hpp"

namespace varnosk {

// What msp_summary.tsv says of one MSP beyond its gene counts.
struct MspSummary {
    std::uint64_t detected_samples = 0;  // samples of non-zero abundance
    double mean_abundance = 0.0;         // over those samples; not a number when there is none
    // Median, over the core genes, of each one's concordance with the MSP's profile (its
    // representative as gene1), scored as the core ranking scores it: 0 for a comparison that
    // is not valid; here also 0 for one that gives no number.
    double cohesion = 0.0;
};

// Detection and mean abundance of each of `num_msps` MSPs (rows of `abundance`), cohesion
// not a number.
std::vector<MspSummary> summarizeAbundance(const AbundanceTable& abundance, std::size_t num_msps);

// One summary per MSP, in MSP order; parallel over MSPs, one comparator per thread, the
// result independent of the number of threads.
std::vector<MspSummary> summarizeMsps(const MspList& msps, const AbundanceTable& abundance,
                                      const ComparisonParameters& parameters);

}  // namespace varnosk
