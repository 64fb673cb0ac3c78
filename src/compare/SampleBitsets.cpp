#include "compare/SampleBitsets.hpp"

#include <algorithm>

namespace varnosk {

void SampleBitsets::build(const GeneList& genes, const ComparisonParameters& parameters, bool with_presence) {
    const std::size_t num_samples = parameters.num_samples;
    words_ = (num_samples + 63) / 64;
    stride_ = with_presence ? 3 * words_ : words_;
    min_prevalence_ = parameters.min_prevalence;
    bits_.assign(genes.size() * stride_, 0);
    for (std::size_t i = 0; i < genes.size(); ++i) {
        const SamplePresence& presence = genes[i]->presence;
        std::uint64_t* bits = bits_.data() + i * stride_;
        const std::size_t w = std::min(words_, presence.words());
        std::copy_n(presence.detected(), w, bits);
        if (!with_presence) continue;
        std::copy_n(presence.above(), w, bits + words_);
        std::copy_n(presence.nonzero(), w, bits + 2 * words_);
    }
}

}  // namespace varnosk
