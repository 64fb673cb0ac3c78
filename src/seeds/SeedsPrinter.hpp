#pragma once

#include <string>

#include "output/OutputDirectory.hpp"
#include "seeds/Seed.hpp"

namespace varnosk {

// Where a seed table goes and how its seeds are named.
struct SeedsTable {
    const OutputDirectory& output_dir;
    std::string file_name;
    std::string name_prefix;
};

// Writes cluster_name, gene_id, gene_name for every member of every seed, seeds largest
// first (stable). `seeds` is the caller's own copy; it is reordered.
void printSeeds(const SeedsTable& table, SeedRefs seeds);

}  // namespace varnosk
