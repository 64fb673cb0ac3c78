#include "compare/SampleBitsets.hpp"

#include <algorithm>

#include "compare/GenesComparator.hpp"

namespace varnosk {
namespace {

// The genes' detected and non-zero bits follow each other in one array, in list order, each
// gene with a bit per sample.
bool inPlace(const GeneList& genes, std::size_t words) {
    if (genes.empty()) return false;
    const std::uint64_t* first = genes.front()->presence.detected();
    for (std::size_t i = 0; i < genes.size(); ++i) {
        const SamplePresence& presence = genes[i]->presence;
        if (presence.words() != words || presence.detected() != first + i * presence.stride()) return false;
    }
    return true;
}

}  // namespace

void SampleBitsets::build(const GeneList& genes, const ComparisonParameters& parameters, bool with_presence) {
    const std::size_t num_samples = parameters.num_samples;
    words_ = SamplePresence::wordsFor(num_samples);
    size_ = genes.size();
    min_prevalence_ = parameters.min_prevalence;
    concordance_bounds_hold_ = false;
    totals_.clear();
    if (!with_presence && inPlace(genes, words_)) {
        bits_.clear();
        base_ = genes.front()->presence.detected();
        stride_ = SamplePresence::strideFor(num_samples);
        return;
    }
    stride_ = with_presence ? 3 * words_ : words_;
    bits_.assign(genes.size() * stride_, 0);
    base_ = bits_.data();
    // The same single-precision test as the comparator's.
    const float dl = parameters.detection_threshold;
    float largest_count = 0.0f;
    for (std::size_t i = 0; i < genes.size(); ++i) {
        const Gene& g = *genes[i];
        const SamplePresence& presence = g.presence;
        std::uint64_t* bits = bits_.data() + i * stride_;
        const std::size_t w = std::min(words_, presence.words());
        std::copy_n(presence.detected(), w, bits);
        if (!with_presence) continue;
        std::uint64_t* above = bits + words_;
        const std::size_t n = std::min(num_samples, g.counts.size());
        for (std::size_t s = 0; s < n; ++s) {
            above[s / 64] |= static_cast<std::uint64_t>(g.counts[s] > dl) << (s % 64);
            largest_count = g.counts[s] > largest_count ? g.counts[s] : largest_count;
        }
        std::copy_n(presence.nonzero(), w, bits + 2 * words_);
        totals_.push_back(geneTotals(g));
    }
    concordance_bounds_hold_ = with_presence && quotientsAreFinite(largest_count, parameters);
}

}  // namespace varnosk
