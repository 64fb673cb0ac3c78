#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace varnosk {

// One MSP of a set read from a file in the layout of all_msps.tsv: its name and the names of
// its genes by category, in the file's order.
struct MspDefinition {
    std::string name;
    // core, accessory, shared_core, shared_accessory
    std::array<std::vector<std::string>, 4> genes;
    std::uint64_t first_line = 0;

    const std::vector<std::string>& coreGenes() const { return genes[0]; }
};

// The category words of all_msps.tsv, in MspDefinition::genes order.
inline constexpr std::array<const char*, 4> kGeneCategoryWords = {"core", "accessory", "shared_core",
                                                                  "shared_accessory"};

// Reads an MSP set: the header "msp_name\tgene_category\tgene_id\tgene_name", then one gene
// per line (plain text or compressed). MSPs keep the order of their first line; the gene ids
// are not read (they are positions in another matrix). Throws std::runtime_error naming the
// file and line for a wrong header, a line without four tab-separated fields, an unknown
// category, a gene listed twice in one MSP, an MSP without core genes, or no MSP at all.
std::vector<MspDefinition> readMspSet(const std::string& path);

}  // namespace varnosk
