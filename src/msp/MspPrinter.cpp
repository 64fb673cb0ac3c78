#include "msp/MspPrinter.hpp"

#include <cstddef>
#include <ostream>
#include <string>

#include "config/OutputFile.hpp"
#include "config/TableNames.hpp"

namespace varnosk {
namespace {

// Number of decimal digits of n, 0 for n = 0; counted on integers so that no rounding of
// a logarithm can shift a width at a power of ten.
std::size_t decimalDigits(std::size_t n) {
    std::size_t digits = 0;
    for (; n != 0; n /= 10) ++digits;
    return digits;
}

void writeCategory(std::ostream& out, const std::string& msp_name, const char* category, const GeneList& genes) {
    for (const Gene* gene : genes) {
        out << msp_name << '\t' << category << '\t' << gene->id << '\t' << gene->name << '\n';
    }
}

}  // namespace

MspPrinter::MspPrinter(const std::string& output_dir) : output_dir_(output_dir) {}

void MspPrinter::printMsps(const MspList& msps) const {
    OutputFile file(output_dir_, "all_msps.tsv");
    std::ostream& out = file.stream();
    out << "msp_name\tgene_category\tgene_id\tgene_name\n";
    const std::size_t width = decimalDigits(msps.size());
    for (std::size_t i = 0; i < msps.size(); ++i) {
        const Msp& msp = *msps[i];
        const std::string name = zeroPaddedName("msp_", i + 1, width);
        writeCategory(out, name, "core", msp.core_genes);
        writeCategory(out, name, "accessory", msp.accessory_genes);
        writeCategory(out, name, "shared_core", msp.shared_core_genes);
        writeCategory(out, name, "shared_accessory", msp.shared_accessory_genes);
    }
    file.close();
}

}  // namespace varnosk
