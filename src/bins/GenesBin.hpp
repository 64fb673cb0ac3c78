#pragma once

#include <vector>

#include "matrix/Gene.hpp"

namespace varnosk {

// Genes whose seeds are searched together, in count-matrix order. Does not own the genes.
using GenesBin = GeneList;
using GenesBinList = std::vector<GenesBin>;

}  // namespace varnosk
