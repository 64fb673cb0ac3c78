#include "taxonomy/GeneLineages.hpp"

#include <stdexcept>
#include <unordered_set>

#include "common/Shown.hpp"
#include "matrix/LineReader.hpp"

namespace varnosk {

GeneLineages readGeneLineages(const std::string& path, const std::function<bool(std::string_view name)>& wanted) {
    LineReader reader = LineReader::openFile(path);
    GeneLineages lineages;
    // the line of each kept gene: a catalogue's table may name millions of others
    std::unordered_map<std::string, std::uint64_t> line_of;
    std::string_view line;
    for (std::uint64_t number = 1; reader.next(line); ++number) {
        line = withoutCarriageReturn(line);
        if (line.empty() || line.front() == '#') continue;
        const auto fail = [&](const std::string& what) {
            return std::runtime_error("error: " + shownPath(path) + ", line " + std::to_string(number) + ": " + what);
        };
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos || line.find('\t', tab + 1) != std::string_view::npos) {
            throw fail("expected two tab-separated fields: gene name, lineage.");
        }
        const std::string_view name = line.substr(0, tab);
        const std::string_view lineage = line.substr(tab + 1);
        if (name.empty() || lineage.empty()) throw fail("a gene name and its lineage must not be empty.");
        if (!wanted(name)) continue;
        const auto [seen, first] = line_of.emplace(name, number);
        if (!first) {
            throw fail("gene '" + shown(name) + "' is already annotated at line " + std::to_string(seen->second) + ".");
        }
        lineages.emplace(name, lineage);
    }
    return lineages;
}

}  // namespace varnosk
