#include "app/SpeciesTables.hpp"

namespace varnosk {

void printAbundanceTables(StageReporter& stage, const AbundanceTable& abundance,
                          const AbundanceTable& relative_abundance, const std::vector<std::string>& msp_names,
                          const std::vector<std::string>& sample_names, const std::vector<MspSummaryRow>& rows,
                          const OutputDirectory& output_dir) {
    stage.open("Printing MSP abundance and summary...", "Printing MSP abundance and summary");
    printAbundance(abundance, msp_names, sample_names, output_dir, file_names::kMspAbundance);
    printAbundance(relative_abundance, msp_names, sample_names, output_dir, file_names::kMspRelativeAbundance);
    printMspSummary(rows, output_dir, file_names::kMspSummary);
    stage.close("Done.\n");
}

}  // namespace varnosk
