#include "bins/GenesBinsCreator.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace varnosk {
namespace {

// The first largest value / divisor among the samples where that ratio is a number. A
// sample without any count (divisor 0 under normalisation) gives 0/0 for every gene and
// must not collect them all, not even when it is sample 0.
std::uint32_t dominantSample(const Gene& gene, const std::vector<double>& divisors) {
    std::uint32_t best = 0;
    double best_ratio = 0.0;
    bool found = false;
    const std::size_t num_samples = divisors.size();
    for (std::size_t s = 0; s < num_samples; ++s) {
        const double ratio = static_cast<double>(gene.counts[s]) / divisors[s];
        if (std::isnan(ratio)) continue;
        if (!found || ratio > best_ratio) {
            best = static_cast<std::uint32_t>(s);
            best_ratio = ratio;
            found = true;
        }
    }
    return best;
}

}  // namespace

GenesBinList createGenesBins(const GenesBinsCreator& creator, const GeneList& genes,
                             const std::vector<double>& sample_divisors) {
    GenesBinList bins;
    if (genes.empty()) return bins;

    const std::size_t num_samples = sample_divisors.size();
    // Without any sample there is nothing to split on: every gene stays, in one bin.
    if (!creator.enabled || num_samples == 0) {
        bins.push_back(genes);
        return bins;
    }
    if (num_samples > UINT32_MAX) throw std::runtime_error("error: too many samples to create genes bins.");
    for (const Gene* gene : genes) {
        if (gene->counts.size() != num_samples) {
            throw std::runtime_error("error: gene " + gene->name + " has " + std::to_string(gene->counts.size()) +
                                     " counts but the matrix has " + std::to_string(num_samples) + " samples.");
        }
    }

    const std::size_t num_genes = genes.size();
    std::vector<std::uint32_t> dominant(num_genes);
    std::vector<std::uint64_t> histogram(num_samples, 0);

#pragma omp parallel
    {
        std::vector<std::uint64_t> local(num_samples, 0);
        // Static schedule: contiguous blocks, each thread writes only its own positions.
#pragma omp for schedule(static)
        for (std::size_t g = 0; g < num_genes; ++g) {
            const std::uint32_t s = dominantSample(*genes[g], sample_divisors);
            dominant[g] = s;
            ++local[s];
        }
#pragma omp critical
        {
            for (std::size_t s = 0; s < num_samples; ++s) histogram[s] += local[s];
        }
    }

    // Filled on this thread in input order, so bin content never depends on the threads.
    bins.resize(num_samples);
    for (std::size_t s = 0; s < num_samples; ++s) bins[s].reserve(histogram[s]);
    for (std::size_t g = 0; g < num_genes; ++g) bins[dominant[g]].push_back(genes[g]);

    // Stable: bins of equal size stay in sample order, empty bins last.
    std::stable_sort(bins.begin(), bins.end(),
                     [](const GenesBin& a, const GenesBin& b) { return a.size() > b.size(); });
    return bins;
}

}  // namespace varnosk
