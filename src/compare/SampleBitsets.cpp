#include "compare/SampleBitsets.hpp"

#include <algorithm>

namespace varnosk {

void SampleBitsets::build(const GeneList& genes, const ComparisonParameters& parameters, bool with_presence) {
    const std::size_t num_samples = parameters.num_samples;
    words_ = (num_samples + 63) / 64;
    stride_ = with_presence ? 3 * words_ : words_;
    min_prevalence_ = parameters.min_prevalence;
    bits_.assign(genes.size() * stride_, 0);
    // The same single-precision test as the comparator's.
    const float dl = parameters.detection_threshold;
    for (std::size_t i = 0; i < genes.size(); ++i) {
        const Gene& g = *genes[i];
        const SamplePresence& presence = g.presence;
        std::uint64_t* bits = bits_.data() + i * stride_;
        const std::size_t w = std::min(words_, presence.words());
        std::copy_n(presence.detected(), w, bits);
        if (!with_presence) continue;
        std::uint64_t* above = bits + words_;
        const std::size_t n = std::min(num_samples, g.counts.size());
        for (std::size_t s = 0; s < n; ++s) above[s / 64] |= static_cast<std::uint64_t>(g.counts[s] > dl) << (s % 64);
        std::copy_n(presence.nonzero(), w, bits + 2 * words_);
    }
}

}  // namespace varnosk
