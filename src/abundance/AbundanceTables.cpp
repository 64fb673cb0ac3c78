#include "abundance/AbundanceTables.hpp"

#include <cmath>
#include <ostream>

#include "common/TableNames.hpp"
#include "output/NumberText.hpp"
#include "output/OutputFile.hpp"

namespace varnosk {
namespace {

// R and pandas both read NA as a missing value
std::string numberOrNa(double value) { return std::isnan(value) ? "NA" : shortestText(value); }

}  // namespace

std::vector<std::string> generatedMspNames(std::size_t count) {
    std::vector<std::string> names;
    names.reserve(count);
    for (std::size_t m = 0; m < count; ++m) names.push_back(mspName(m, count));
    return names;
}

void printAbundance(const AbundanceTable& abundance, const std::vector<std::string>& msp_names,
                    const std::vector<std::string>& sample_names, const OutputDirectory& output_dir,
                    const std::string& file_name) {
    OutputFile file(output_dir, file_name);
    std::ostream& out = file.stream();
    out << "msp_name";
    for (const std::string& name : sample_names) out << '\t' << name;
    out << '\n';
    for (std::size_t m = 0; m < abundance.numMsps(); ++m) {
        out << msp_names[m];
        for (std::size_t s = 0; s < abundance.num_samples; ++s) out << '\t' << shortestText(abundance.at(m, s));
        out << '\n';
    }
    file.close();
}

std::vector<MspSummaryRow> summaryRows(const MspList& msps, const std::vector<MspSummary>& summaries) {
    const std::vector<std::string> names = generatedMspNames(msps.size());
    std::vector<MspSummaryRow> rows;
    rows.reserve(msps.size());
    for (std::size_t m = 0; m < msps.size(); ++m) {
        const Msp& msp = *msps[m];
        rows.push_back({names[m],
                        {msp.core_genes.size(), msp.accessory_genes.size(), msp.shared_core_genes.size(),
                         msp.shared_accessory_genes.size()},
                        msp.core_genes.front()->name,
                        summaries[m],
                        std::nullopt});
    }
    return rows;
}

void printMspSummary(const std::vector<MspSummaryRow>& rows, const OutputDirectory& output_dir,
                     const std::string& file_name) {
    const bool with_found = !rows.empty() && rows.front().core_genes_found.has_value();
    OutputFile file(output_dir, file_name);
    std::ostream& out = file.stream();
    out << "msp_name\tcore\taccessory\tshared_core\tshared_accessory\tfirst_core_gene\tdetected_samples\t"
           "mean_abundance\tcohesion"
        << (with_found ? "\tcore_genes_found\n" : "\n");
    for (const MspSummaryRow& row : rows) {
        out << row.msp_name;
        for (const std::uint64_t count : row.genes) out << '\t' << count;
        out << '\t' << row.first_core_gene << '\t' << row.summary.detected_samples << '\t'
            << numberOrNa(row.summary.mean_abundance) << '\t' << numberOrNa(row.summary.cohesion);
        if (with_found) out << '\t' << row.core_genes_found.value_or(0);
        out << '\n';
    }
    file.close();
}

}  // namespace varnosk
