#include "abundance/AbundanceTables.hpp"

#include <cmath>
#include <ostream>

#include "common/TableNames.hpp"
#include "output/NumberText.hpp"
#include "output/OutputFile.hpp"

namespace varnosk {

void printAbundance(const AbundanceTable& abundance, const std::vector<std::string>& sample_names,
                    const OutputDirectory& output_dir, const std::string& file_name) {
    OutputFile file(output_dir, file_name);
    std::ostream& out = file.stream();
    out << "msp_name";
    for (const std::string& name : sample_names) out << '\t' << name;
    out << '\n';
    const std::size_t num_msps = abundance.numMsps();
    for (std::size_t m = 0; m < num_msps; ++m) {
        out << mspName(m, num_msps);
        for (std::size_t s = 0; s < abundance.num_samples; ++s) out << '\t' << shortestText(abundance.at(m, s));
        out << '\n';
    }
    file.close();
}

void printMspSummary(const MspList& msps, const std::vector<MspSummary>& summaries, const OutputDirectory& output_dir,
                     const std::string& file_name) {
    OutputFile file(output_dir, file_name);
    std::ostream& out = file.stream();
    out << "msp_name\tcore\taccessory\tshared_core\tshared_accessory\tfirst_core_gene\tdetected_samples\t"
           "mean_abundance\tcohesion\n";
    for (std::size_t m = 0; m < msps.size(); ++m) {
        const Msp& msp = *msps[m];
        const MspSummary& summary = summaries[m];
        // R and pandas both read NA as a missing value
        const std::string mean = std::isnan(summary.mean_abundance) ? "NA" : shortestText(summary.mean_abundance);
        out << mspName(m, msps.size()) << '\t' << msp.core_genes.size() << '\t' << msp.accessory_genes.size() << '\t'
            << msp.shared_core_genes.size() << '\t' << msp.shared_accessory_genes.size() << '\t'
            << msp.core_genes.front()->name << '\t' << summary.detected_samples << '\t' << mean << '\t'
            << shortestText(summary.cohesion) << '\n';
    }
    file.close();
}

}  // namespace varnosk
