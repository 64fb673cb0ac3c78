#pragma once

#include <string>

#include "msp/Msp.hpp"
#include "output/OutputDirectory.hpp"

namespace varnosk {

// Writes the MSP table (file_name inside output_dir): msp_name, gene_category, gene_id,
// gene_name.
class MspPrinter {
public:
    MspPrinter(const OutputDirectory& output_dir, const std::string& file_name);
    void printMsps(const MspList& msps) const;

private:
    const OutputDirectory& output_dir_;
    std::string file_name_;
};

}  // namespace varnosk
