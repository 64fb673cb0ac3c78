#include "seeds/SeedsPrinter.hpp"

#include <algorithm>
#include <cstdint>
#include <ostream>

#include "config/OutputFile.hpp"
#include "config/TableNames.hpp"

namespace varnosk {
namespace {

// ceil(log10(count)) in integers: 1 -> 0, 2..10 -> 1, 11..100 -> 2. The power never
// overflows: a list size stays below 10^19 < 2^64. No seed, no width (never log10(0)).
std::size_t nameWidth(std::uint64_t count) {
    std::size_t width = 0;
    for (std::uint64_t power = 1; power < count; power *= 10) ++width;
    return width;
}

}  // namespace

void printSeeds(const SeedsTable& table, SeedRefs seeds) {
    std::stable_sort(seeds.begin(), seeds.end(),
                     [](const Seed* a, const Seed* b) { return a->genes.size() > b->genes.size(); });

    OutputFile file(table.output_dir, table.file_name);
    std::ostream& out = file.stream();
    out << "cluster_name\tgene_id\tgene_name\n";

    const std::size_t width = nameWidth(seeds.size());
    for (std::size_t i = 0; i < seeds.size(); ++i) {
        const std::string name = zeroPaddedName(table.name_prefix, i + 1, width);
        for (const Gene* gene : seeds[i]->genes) out << name << '\t' << gene->id << '\t' << gene->name << '\n';
    }
    file.close();
}

}  // namespace varnosk
