#pragma once

#include <memory>
#include <vector>

#include "matrix/Gene.hpp"

namespace varnosk {

// A group of co-abundant genes and the profile that stands for it in later comparisons.
// The member genes belong to the count matrix; the representative belongs to the seed.
struct Seed {
    GeneList genes;       // ranked by concordance with the representative
    Gene representative;  // median profile (id 0, "None"); a copy of the first member below 10 genes
};

// Owning, ordered list of seeds.
using SeedList = std::vector<std::unique_ptr<Seed>>;
// Non-owning, ordered list of seeds.
using SeedRefs = std::vector<const Seed*>;

// The non-owning view of a seed list, same order.
inline SeedRefs seedReferences(const SeedList& seeds) {
    SeedRefs refs;
    refs.reserve(seeds.size());
    for (const auto& seed : seeds) refs.push_back(seed.get());
    return refs;
}

}  // namespace varnosk
