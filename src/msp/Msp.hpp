#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "matrix/Gene.hpp"

namespace varnosk {

// One metagenomic species pan-genome. Owns its representative and lists, not the genes; a
// gene may stand in several MSPs.
struct Msp {
    Gene representative;
    GeneList core_genes;
    GeneList accessory_genes;
    GeneList shared_core_genes;
    GeneList shared_accessory_genes;
    std::uint64_t num_genes = 0;
};

using MspList = std::vector<std::unique_ptr<Msp>>;

}  // namespace varnosk
