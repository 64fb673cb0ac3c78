#include "compare/RepresentativeGenes.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

#include "compare/GenesComparator.hpp"
#include "compare/Median.hpp"
#include "matrix/Preprocessing.hpp"

namespace varnosk {

namespace {

// Below this group size the first gene stands for the group and nothing is ranked.
constexpr std::size_t kMinGroupSizeForMedian = 10;

struct ScoredGene {
    const Gene* gene;
    double score;
};

// Decreasing score; not-a-number scores after every number. A strict weak ordering, so the
// stable sort keeps list order among equal scores and among not-a-number ones.
bool ranksBefore(const ScoredGene& lhs, const ScoredGene& rhs) {
    if (std::isnan(lhs.score)) return false;
    if (std::isnan(rhs.score)) return true;
    return lhs.score > rhs.score;
}

}  // namespace

Gene computeMedianGene(const GeneList& genes, float detection_threshold) {
    Gene median;
    median.id = 0;
    median.name = "None";
    if (genes.empty()) return median;
    const std::size_t num_samples = genes.front()->counts.size();
    median.counts.resize(num_samples);
    std::vector<float> work(genes.size());
    for (std::size_t s = 0; s < num_samples; ++s) {
        for (std::size_t i = 0; i < genes.size(); ++i) work[i] = genes[i]->counts[s];
        median.counts[s] = static_cast<float>(medianBySelection(work.data(), work.size()));
    }
    computeSamplePresence(median, detection_threshold);
    return median;
}

GeneList rankGenesByConcordance(const GeneList& genes, const Gene& reference, GenesComparator& comparator) {
    std::vector<ScoredGene> scored;
    scored.reserve(genes.size());
    for (const Gene* gene : genes) {
        const ComparisonResult& result = comparator.compare(reference, *gene, 0);
        scored.push_back({gene, result.valid ? result.concordance : 0.0});
    }
    std::stable_sort(scored.begin(), scored.end(), ranksBefore);
    GeneList ranked;
    ranked.reserve(scored.size());
    for (const ScoredGene& entry : scored) ranked.push_back(entry.gene);
    return ranked;
}

Gene representativeOfRanked(const GeneList& ranked, const ComparisonParameters& parameters) {
    if (ranked.size() < kMinGroupSizeForMedian) return *ranked.front();
    const auto num_best =
        static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(parameters.num_best_representative_genes, ranked.size()));
    return computeMedianGene(GeneList(ranked.begin(), ranked.begin() + num_best), parameters.detection_threshold);
}

std::optional<GeneGroup> selectRepresentativeGenes(const GeneList& genes, GenesComparator& comparator) {
    if (genes.empty()) return std::nullopt;
    GeneGroup group;
    if (genes.size() < kMinGroupSizeForMedian) {
        group.genes = genes;
        group.representative = *genes.front();
        return group;
    }
    // Members are ranked against the median of all genes, then against the median of the
    // best-ranked ones; the stored profile is one refinement further.
    const ComparisonParameters& parameters = comparator.parameters();
    const Gene median = computeMedianGene(genes, parameters.detection_threshold);
    const GeneList first_ranking = rankGenesByConcordance(genes, median, comparator);
    group.genes = rankGenesByConcordance(genes, representativeOfRanked(first_ranking, parameters), comparator);
    group.representative = representativeOfRanked(group.genes, parameters);
    return group;
}

}  // namespace varnosk
