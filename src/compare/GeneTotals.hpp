#pragma once

#include "matrix/Gene.hpp"

namespace varnosk {

// The sum and the sum of squares of a gene's counts over all its samples, in sample order.
// With them the plain sums over the samples two genes share follow from the few samples where
// only one of the two is non-zero (see GenesComparator::concordanceBound).
struct GeneTotals {
    double sum = 0.0;
    double squares = 0.0;
};

inline GeneTotals geneTotals(const Gene& gene) {
    GeneTotals totals;
    for (const float count : gene.counts) {
        totals.sum += count;
        totals.squares += static_cast<double>(count) * count;
    }
    return totals;
}

}  // namespace varnosk
