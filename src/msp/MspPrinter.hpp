#pragma once

#include <string>

#include "msp/Msp.hpp"

namespace varnosk {

// Writes the MSP table (file_name inside output_dir): msp_name, gene_category, gene_id,
// gene_name.
class MspPrinter {
public:
    MspPrinter(const std::string& output_dir, const std::string& file_name);
    void printMsps(const MspList& msps) const;

private:
    std::string output_dir_;
    std::string file_name_;
};

}  // namespace varnosk
