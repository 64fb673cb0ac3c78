#pragma once

#include "compare/ComparisonResult.hpp"

namespace varnosk {

// True when a smaller seed is significantly co-abundant with a selected core seed and their
// presence patterns are nested, so that it cannot be a core seed of its own. `result` is the
// full comparison with the core seed's representative as gene1. Every threshold test is
// false for a value that is not a number.
bool isNestedCoAbundant(const ComparisonResult& result, double min_concordance, double min_robust_concordance);

}  // namespace varnosk
