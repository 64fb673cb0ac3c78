#include "msp/MspSetFile.hpp"

#include <stdexcept>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/Shown.hpp"
#include "matrix/LineReader.hpp"

namespace varnosk {
namespace {

constexpr std::string_view kHeader = "msp_name\tgene_category\tgene_id\tgene_name";

}  // namespace

std::vector<MspDefinition> readMspSet(const std::string& path) {
    LineReader reader = LineReader::openFile(path);
    const auto fail = [&](std::uint64_t line_number, const std::string& what) {
        return std::runtime_error("error: " + shownPath(path) + ", line " + std::to_string(line_number) + ": " + what);
    };
    std::vector<MspDefinition> msps;
    std::unordered_map<std::string, std::size_t> index_of;
    std::vector<std::unordered_set<std::string>> names_in;
    std::string_view line;
    std::uint64_t line_number = 0;
    if (!reader.next(line) || withoutCarriageReturn(line) != kHeader) {
        throw fail(1, "the header must be \"msp_name<tab>gene_category<tab>gene_id<tab>gene_name\".");
    }
    line_number = 1;
    while (reader.next(line)) {
        ++line_number;
        line = withoutCarriageReturn(line);
        if (line.empty()) continue;
        std::vector<std::string_view> fields;
        for (std::size_t start = 0;;) {
            const std::size_t tab = line.find('\t', start);
            fields.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
            if (tab == std::string_view::npos || fields.size() > 4) break;
            start = tab + 1;
        }
        if (fields.size() != 4 || fields[0].empty() || fields[3].empty()) {
            throw fail(line_number, "expected four tab-separated fields: msp_name, gene_category, gene_id, gene_name.");
        }
        std::size_t category = kGeneCategoryWords.size();
        for (std::size_t c = 0; c < kGeneCategoryWords.size(); ++c) {
            if (fields[1] == kGeneCategoryWords[c]) category = c;
        }
        if (category == kGeneCategoryWords.size()) {
            throw fail(line_number, "unknown gene category '" + shown(fields[1]) +
                                        "' (core, accessory, shared_core or shared_accessory).");
        }
        const auto [found, added] = index_of.emplace(std::string(fields[0]), msps.size());
        if (added) {
            msps.push_back(MspDefinition{std::string(fields[0]), {}, line_number});
            names_in.emplace_back();
        }
        const std::size_t m = found->second;
        if (!names_in[m].emplace(fields[3]).second) {
            throw fail(line_number, "gene '" + shown(fields[3]) + "' is listed twice in " + shown(fields[0]) + ".");
        }
        msps[m].genes[category].emplace_back(fields[3]);
    }
    if (msps.empty()) throw fail(line_number, "the file lists no MSP.");
    for (const MspDefinition& msp : msps) {
        if (msp.coreGenes().empty()) throw fail(msp.first_line, shown(msp.name) + " has no core gene.");
    }
    return msps;
}

}  // namespace varnosk
