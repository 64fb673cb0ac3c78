#pragma once

#include "compare/ComparisonParameters.hpp"
#include "msp/Msp.hpp"

namespace varnosk {

// Keeps one MSP of every co-abundant group, examining them from the smallest core upwards
// (a larger MSP co-abundant with a kept smaller one is dropped), then orders the kept MSPs
// by total size, largest first, ties in the order they were kept. Runs on one thread.
MspList removeRedundantMsps(MspList msps, double min_concordance, const ComparisonParameters& parameters);

}  // namespace varnosk
