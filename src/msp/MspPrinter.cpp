#include "msp/MspPrinter.hpp"

#include <cstddef>
#include <ostream>
#include <string>

#include "common/TableNames.hpp"
#include "output/OutputFile.hpp"

namespace varnosk {
namespace {

void writeCategory(std::ostream& out, const std::string& msp_name, const char* category, const GeneList& genes) {
    for (const Gene* gene : genes) {
        out << msp_name << '\t' << category << '\t' << gene->id << '\t' << gene->name << '\n';
    }
}

}  // namespace

MspPrinter::MspPrinter(const OutputDirectory& output_dir, const std::string& file_name)
    : output_dir_(output_dir), file_name_(file_name) {}

void MspPrinter::printMsps(const MspList& msps) const {
    OutputFile file(output_dir_, file_name_);
    std::ostream& out = file.stream();
    out << "msp_name\tgene_category\tgene_id\tgene_name\n";
    for (std::size_t i = 0; i < msps.size(); ++i) {
        const Msp& msp = *msps[i];
        const std::string name = mspName(i, msps.size());
        writeCategory(out, name, "core", msp.core_genes);
        writeCategory(out, name, "accessory", msp.accessory_genes);
        writeCategory(out, name, "shared_core", msp.shared_core_genes);
        writeCategory(out, name, "shared_accessory", msp.shared_accessory_genes);
    }
    file.close();
}

}  // namespace varnosk
