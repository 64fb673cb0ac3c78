#pragma once

#include <string>

#include "msp/Msp.hpp"

namespace varnosk {

// Writes all_msps.tsv: msp_name, gene_category, gene_id, gene_name.
class MspPrinter {
public:
    explicit MspPrinter(const std::string& output_dir);
    void printMsps(const MspList& msps) const;

private:
    std::string output_dir_;
};

}  // namespace varnosk
