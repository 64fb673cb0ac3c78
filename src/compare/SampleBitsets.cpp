#include "compare/SampleBitsets.hpp"

#include <algorithm>

namespace varnosk {

void SampleBitsets::build(const GeneList& genes, const ComparisonParameters& parameters, bool with_presence) {
    const std::size_t num_samples = parameters.num_samples;
    words_ = (num_samples + 63) / 64;
    stride_ = with_presence ? 3 * words_ : words_;
    min_prevalence_ = parameters.min_prevalence;
    bits_.assign(genes.size() * stride_, 0);
    // The same single-precision tests as the comparator's exclusive-presence bound.
    const float dl = parameters.detection_threshold;
    for (std::size_t i = 0; i < genes.size(); ++i) {
        const Gene& g = *genes[i];
        std::uint64_t* detected = bits_.data() + i * stride_;
        for (const std::uint32_t s : g.detected_samples) detected[s / 64] |= std::uint64_t{1} << (s % 64);
        if (!with_presence) continue;
        std::uint64_t* above = detected + words_;
        std::uint64_t* nonzero = above + words_;
        const std::size_t n = std::min(num_samples, g.counts.size());
        for (std::size_t s = 0; s < n; ++s) {
            const float c = g.counts[s];
            above[s / 64] |= static_cast<std::uint64_t>(c > dl) << (s % 64);
            nonzero[s / 64] |= static_cast<std::uint64_t>(c != 0.0f) << (s % 64);
        }
    }
}

}  // namespace varnosk
