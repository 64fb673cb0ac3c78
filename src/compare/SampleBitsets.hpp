#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "compare/ComparisonParameters.hpp"
#include "compare/GeneTotals.hpp"
#include "matrix/Gene.hpp"

namespace varnosk {

// Per gene of a list, the gene's "detected" bits, and on request "above the detection
// threshold" and the gene's "non-zero" bits, in one contiguous array built once, with the
// gene's totals for the concordance bound. Lets a caller reject, in a few word operations,
// pairs the comparator is certain to reject. When
// only the detected bits are asked for and the genes' own bits already lie one after the
// other (the genes of a count matrix, in order), it reads them in place instead of copying.
// The owner builds it; afterwards it is read-only and any number of threads may read it.
class SampleBitsets {
public:
    SampleBitsets() = default;

    // Reuses the capacity of an earlier build. with_presence adds the above and non-zero bits,
    // and the totals.
    void build(const GeneList& genes, const ComparisonParameters& parameters, bool with_presence);

    std::size_t size() const { return size_; }

    // Whether GenesComparator::concordanceBound holds for every pair of the genes (built with
    // presence bits; false otherwise).
    bool concordanceBoundsHold() const { return concordance_bounds_hold_; }

    // Gene i's totals (built with presence bits).
    const GeneTotals& totals(std::size_t i) const { return totals_[i]; }

    // True when compare(gene i, other's gene j, 0), in either order, is certainly invalid: too
    // few co-detected samples, or samples where each gene is above the detection threshold and
    // the other is zero (one final threshold is always the detection threshold). Both sets
    // need presence bits and the same parameters.
    bool rejectsBounded(std::size_t i, const SampleBitsets& other, std::size_t j) const {
        const std::uint64_t* a = gene(i);
        const std::uint64_t* b = other.gene(j);
        const std::size_t w = words_;
        std::uint64_t codetected = 0;
        std::uint64_t only1 = 0;
        std::uint64_t only2 = 0;
        for (std::size_t k = 0; k < w; ++k) {
            codetected += static_cast<std::uint64_t>(std::popcount(a[k] & b[k]));
            only1 |= a[w + k] & ~b[2 * w + k];
            only2 |= ~a[2 * w + k] & b[w + k];
        }
        return codetected < min_prevalence_ || (only1 != 0 && only2 != 0);
    }

    // True when any comparison of gene i and other's gene j is certainly invalid: too few
    // co-detected samples.
    bool rejectsCodetection(std::size_t i, const SampleBitsets& other, std::size_t j) const {
        const std::uint64_t* a = gene(i);
        const std::uint64_t* b = other.gene(j);
        std::uint64_t codetected = 0;
        for (std::size_t k = 0; k < words_; ++k) codetected += static_cast<std::uint64_t>(std::popcount(a[k] & b[k]));
        return codetected < min_prevalence_;
    }

private:
    const std::uint64_t* gene(std::size_t i) const { return base_ + i * stride_; }

    std::size_t size_ = 0;
    std::size_t words_ = 0;                // words per bitset
    std::size_t stride_ = 0;               // words per gene: detected first
    const std::uint64_t* base_ = nullptr;  // bits_, or the genes' own bits
    std::uint64_t min_prevalence_ = 0;
    bool concordance_bounds_hold_ = false;
    std::vector<std::uint64_t> bits_;
    std::vector<GeneTotals> totals_;
};

}  // namespace varnosk
