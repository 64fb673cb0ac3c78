#include "taxonomy/MspTaxonomy.hpp"

#include <map>
#include <ostream>
#include <unordered_set>

#include "output/NumberText.hpp"
#include "output/OutputFile.hpp"

namespace varnosk {
namespace {

// The named ranks of a lineage, leading and trailing spaces removed, up to the first rank
// without a name.
std::vector<std::string_view> namedRanks(std::string_view lineage) {
    std::vector<std::string_view> ranks;
    for (std::size_t start = 0; start <= lineage.size();) {
        std::size_t end = lineage.find(';', start);
        if (end == std::string_view::npos) end = lineage.size();
        std::string_view rank = lineage.substr(start, end - start);
        while (!rank.empty() && rank.front() == ' ') rank.remove_prefix(1);
        while (!rank.empty() && rank.back() == ' ') rank.remove_suffix(1);
        const bool unnamed = rank.empty() || (rank.size() == 3 && rank.substr(1) == "__");
        if (unnamed) break;
        ranks.push_back(rank);
        start = end + 1;
    }
    return ranks;
}

std::string rankWord(std::string_view rank, std::size_t depth) {
    if (rank.size() > 3 && rank.substr(1, 2) == "__") {
        switch (rank[0]) {
            case 'd': return "domain";
            case 'k': return "kingdom";
            case 'p': return "phylum";
            case 'c': return "class";
            case 'o': return "order";
            case 'f': return "family";
            case 'g': return "genus";
            case 's': return "species";
            case 't': return "strain";
            default: break;
        }
    }
    return "rank " + std::to_string(depth);
}

}  // namespace

MspLineage consensusLineage(const std::vector<std::string_view>& core_genes, const GeneLineages& lineages,
                            double min_agreement) {
    std::vector<std::vector<std::string_view>> annotated;
    for (const std::string_view gene : core_genes) {
        const auto found = lineages.find(std::string(gene));
        if (found != lineages.end()) annotated.push_back(namedRanks(found->second));
    }
    MspLineage result;
    result.annotated_core_genes = annotated.size();
    if (annotated.empty()) return result;
    const auto total = static_cast<double>(annotated.size());
    for (std::size_t depth = 1;; ++depth) {
        // each gene's lineage cut to this depth; genes named less deep have none here
        std::map<std::vector<std::string_view>, std::uint64_t> counts;
        for (const auto& ranks : annotated) {
            if (ranks.size() >= depth) ++counts[std::vector<std::string_view>(ranks.begin(), ranks.begin() + depth)];
        }
        const std::vector<std::string_view>* best = nullptr;
        std::uint64_t best_count = 0;
        bool tied = false;
        for (const auto& [prefix, count] : counts) {
            if (count > best_count) {
                best = &prefix;
                best_count = count;
                tied = false;
            } else if (count == best_count) {
                tied = true;
            }
        }
        const double share = static_cast<double>(best_count) / total;
        if (best == nullptr || tied || !(share >= min_agreement)) return result;
        result.lineage.clear();
        for (const std::string_view rank : *best) result.lineage.append(result.lineage.empty() ? "" : ";").append(rank);
        result.rank = rankWord(best->back(), depth);
        result.agreement = share;
    }
}

std::vector<MspLineage> mspLineages(const std::vector<std::vector<std::string_view>>& core_genes,
                                    const std::string& lineages_file, double min_agreement) {
    std::unordered_set<std::string_view> wanted;
    for (const auto& genes : core_genes) wanted.insert(genes.begin(), genes.end());
    const GeneLineages lineages =
        readGeneLineages(lineages_file, [&](std::string_view name) { return wanted.contains(name); });
    std::vector<MspLineage> result;
    result.reserve(core_genes.size());
    for (const auto& genes : core_genes) result.push_back(consensusLineage(genes, lineages, min_agreement));
    return result;
}

std::vector<MspLineage> writeMspTaxonomy(const std::vector<std::vector<std::string_view>>& core_genes,
                                         const std::vector<std::string>& msp_names, const Settings& settings,
                                         const OutputDirectory& output_dir, const std::string& file_name) {
    std::vector<MspLineage> lineages =
        mspLineages(core_genes, settings.gene_lineages_file, settings.taxonomy_min_agreement);
    printMspTaxonomy(msp_names, lineages, output_dir, file_name);
    return lineages;
}

void printMspTaxonomy(const std::vector<std::string>& msp_names, const std::vector<MspLineage>& lineages,
                      const OutputDirectory& output_dir, const std::string& file_name) {
    OutputFile file(output_dir, file_name);
    std::ostream& out = file.stream();
    out << "msp_name\tlineage\trank\tagreement\tannotated_core_genes\n";
    for (std::size_t m = 0; m < lineages.size(); ++m) {
        const MspLineage& lineage = lineages[m];
        const bool agreed = !lineage.lineage.empty();
        out << msp_names[m] << '\t' << (agreed ? lineage.lineage : "NA") << '\t' << (agreed ? lineage.rank : "NA")
            << '\t' << (agreed ? shortestText(lineage.agreement) : "NA") << '\t' << lineage.annotated_core_genes
            << '\n';
    }
    file.close();
}

}  // namespace varnosk
