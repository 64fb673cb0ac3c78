#include "seeds/SeedsPrinter.hpp"

#include <algorithm>
#include <cstdint>
#include <ostream>

#include "common/TableNames.hpp"
#include "output/OutputFile.hpp"

namespace varnosk {

void printSeeds(const SeedsTable& table, SeedRefs seeds) {
    std::stable_sort(seeds.begin(), seeds.end(),
                     [](const Seed* a, const Seed* b) { return a->genes.size() > b->genes.size(); });

    OutputFile file(table.output_dir, table.file_name);
    std::ostream& out = file.stream();
    out << "cluster_name\tgene_id\tgene_name\n";

    const std::size_t width = clusterNameWidth(seeds.size(), NameWidthRule::CeilLog10);
    for (std::size_t i = 0; i < seeds.size(); ++i) {
        const std::string name = zeroPaddedName(table.name_prefix, i + 1, width);
        for (const Gene* gene : seeds[i]->genes) out << name << '\t' << gene->id << '\t' << gene->name << '\n';
    }
    file.close();
}

}  // namespace varnosk
