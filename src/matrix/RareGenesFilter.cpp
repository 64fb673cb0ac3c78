#include "matrix/RareGenesFilter.hpp"

#include <utility>

#include "output/OutputFile.hpp"

namespace varnosk {

CountMatrix removeRareGenes(CountMatrix& genes, std::uint64_t min_prevalence) {
    // Stable compaction: the kept genes move to the front in order, the removed ones are
    // collected in order for the table.
    CountMatrix removed;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < genes.size(); ++i) {
        if (genes[i]->prevalence() >= min_prevalence) {
            if (kept != i) genes[kept] = std::move(genes[i]);
            ++kept;
        } else {
            removed.push_back(std::move(genes[i]));
        }
    }
    genes.resize(kept);
    return removed;
}

void printFilteredOutGenes(const CountMatrix& removed, const OutputDirectory& output_dir,
                           const std::string& file_name) {
    OutputFile file(output_dir, file_name);
    std::ostream& out = file.stream();
    out << "gene_id\tgene_name\n";
    for (const auto& gene : removed) out << gene->id << '\t' << gene->name << '\n';
    file.close();
}

void filterRareGenes(CountMatrix& genes, std::uint64_t min_prevalence, const OutputDirectory& output_dir,
                     const std::string& file_name) {
    const CountMatrix removed = removeRareGenes(genes, min_prevalence);
    printFilteredOutGenes(removed, output_dir, file_name);
    // Nothing refers to the removed genes any more: they are released on return.
}

}  // namespace varnosk
