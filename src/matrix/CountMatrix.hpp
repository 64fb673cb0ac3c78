#pragma once

#include <memory>
#include <vector>

#include "matrix/Gene.hpp"

namespace varnosk {

// The ordered, owning list of every gene of the run, in file order.
using CountMatrix = std::vector<std::unique_ptr<Gene>>;

// The non-owning view of a count matrix, same order.
inline GeneList geneReferences(const CountMatrix& matrix) {
    GeneList genes;
    genes.reserve(matrix.size());
    for (const auto& gene : matrix) genes.push_back(gene.get());
    return genes;
}

}  // namespace varnosk
