#include "bins/GenesBinsPrinter.hpp"

#include <ostream>

#include "output/OutputFile.hpp"

namespace varnosk {

void printGenesBins(const GenesBinList& bins, const OutputDirectory& output_dir, const std::string& file_name) {
    OutputFile file(output_dir, file_name);
    std::ostream& out = file.stream();
    out << "gene_id\tgene_name\tbin_id\n";
    for (std::size_t b = 0; b < bins.size(); ++b) {
        const std::size_t bin_id = b + 1;  // an empty bin still uses up its identifier
        for (const Gene* gene : bins[b]) out << gene->id << '\t' << gene->name << '\t' << bin_id << '\n';
    }
    file.close();
}

}  // namespace varnosk
