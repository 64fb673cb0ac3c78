#pragma once

#include <cstdint>
#include <optional>

#include "bins/GenesBin.hpp"
#include "compare/GenesComparator.hpp"
#include "compare/SampleBitsets.hpp"

namespace varnosk {

// Whether two genes of a bin form a concordant pair of the seeds step, and its concordance.
// One per thread: it owns its comparator.
class PairJudge {
public:
    PairJudge(const GenesBin& bin, const SampleBitsets& bitsets, double min_concordance,
              const ComparisonParameters& parameters)
        : bin_(bin), bitsets_(bitsets), min_concordance_(min_concordance), comparator_(parameters) {}

    // The stored concordance of the pair of bin positions first < second, when it is kept. A
    // not-a-number concordance is not below the minimum, so its pair is kept.
    std::optional<float> concordance(std::size_t first, std::size_t second) {
        if (bitsets_.rejectsBounded(first, bitsets_, second)) return std::nullopt;
        const ComparisonResult& result = comparator_.compare(*bin_[first], *bin_[second], 0);
        if (!result.valid || result.concordance < min_concordance_) return std::nullopt;
        return static_cast<float>(result.concordance);
    }

private:
    const GenesBin& bin_;
    const SampleBitsets& bitsets_;
    double min_concordance_;
    GenesComparator comparator_;
};

}  // namespace varnosk
