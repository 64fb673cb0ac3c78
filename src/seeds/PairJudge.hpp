#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

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
        : bin_(bin), bitsets_(bitsets), min_concordance_(min_concordance), comparator_(parameters), row_(bin.size()) {}

    // The stored concordance of the pair of bin positions first < second, when it is kept. A
    // not-a-number concordance is not below the minimum, so its pair is kept.
    std::optional<float> concordance(std::size_t first, std::size_t second) {
        if (bitsets_.rejectsBounded(first, bitsets_, second)) return std::nullopt;
        return compared(first, second);
    }

    // found(second, bound) for each pair (first, second), second = partners[k] for k < count
    // in list order, that may be kept: a bound at least its stored concordance when it is,
    // infinite where none is known (every bound, when the bitsets say bounds do not hold).
    // Much cheaper than the concordance itself: no abundance ratio. Either gene of a pair may
    // be `first`: the bitset test and the bound do not depend on the order. A pair whose bound
    // is below floor() at its turn is left out too (the floor may rise as pairs are found).
    // The bitset test runs over all partners first, so that the genes it leaves can be fetched
    // from memory while the one before is bounded.
    template <typename Found, typename Floor = float (*)()>
    void forEachCandidateOf(std::size_t first, const std::uint32_t* partners, std::size_t count, Found found,
                            Floor floor = noFloor) {
        const bool bounded = bitsets_.concordanceBoundsHold();
        std::uint32_t* row = row_.data();
        std::size_t num_left = 0;
        for (std::size_t k = 0; k < count; ++k) {
            const std::size_t j = partners[k];
            row[num_left] = static_cast<std::uint32_t>(j);
            num_left += bitsets_.rejectsBounded(first, bitsets_, j) ? 0 : 1;
        }
        constexpr std::size_t kRecordAhead = 4;
        constexpr std::size_t kDataAhead = 2;
        for (std::size_t k = 0; k < std::min(num_left, kRecordAhead); ++k) prefetchGeneRecord(bin_[row[k]]);
        for (std::size_t k = 0; k < std::min(num_left, kDataAhead); ++k) prefetchGeneData(*bin_[row[k]]);
        for (std::size_t k = 0; k < num_left; ++k) {
            if (k + kRecordAhead < num_left) prefetchGeneRecord(bin_[row[k + kRecordAhead]]);
            if (k + kDataAhead < num_left) prefetchGeneData(*bin_[row[k + kDataAhead]]);
            const float below = floor();
            const float bound = bounded
                                    ? comparator_.concordanceBound(*bin_[first], *bin_[row[k]], bitsets_.totals(first),
                                                                   bitsets_.totals(row[k]), below)
                                    : std::numeric_limits<float>::infinity();
            if (!(bound < min_concordance_) && !(bound < below)) found(row[k], bound);
        }
    }

private:
    static float noFloor() { return -std::numeric_limits<float>::infinity(); }

    std::optional<float> compared(std::size_t first, std::size_t second) {
        const ComparisonResult& result = comparator_.compare(*bin_[first], *bin_[second], 0);
        if (!result.valid || result.concordance < min_concordance_) return std::nullopt;
        return static_cast<float>(result.concordance);
    }

    const GenesBin& bin_;
    const SampleBitsets& bitsets_;
    double min_concordance_;
    GenesComparator comparator_;
    std::vector<std::uint32_t> row_;  // positions a range keeps after the bitset test
};

}  // namespace varnosk
