#pragma once

#include <memory>
#include <vector>

#include "compare/RepresentativeGenes.hpp"

namespace varnosk {

// A group of co-abundant genes found by seeds creation or merging, with its representative.
using Seed = GeneGroup;

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
