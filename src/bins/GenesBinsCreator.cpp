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

    // Without any sample there is nothing to split on: every gene stays, in one bin.
    if (!creator.enabled || sample_divisors.empty()) {
        bins.push_back(genes);
        return bins;
    }
    const DominantSamples dominant = findDominantSamples(genes, sample_divisors);
    return binsInSizeOrder(genes, dominant.of_gene, dominant.histogram);
}

DominantSamples findDominantSamples(const GeneList& genes, const std::vector<double>& sample_divisors) {
    const std::size_t num_samples = sample_divisors.size();
    if (num_samples > UINT32_MAX) throw std::runtime_error("error: too many samples to create genes bins.");
    for (const Gene* gene : genes) {
        if (gene->counts.size() != num_samples) {
            throw std::runtime_error("error: gene " + gene->name + " has " + std::to_string(gene->counts.size()) +
                                     " counts but the matrix has " + std::to_string(num_samples) + " samples.");
        }
    }

    const std::size_t num_genes = genes.size();
    DominantSamples found{std::vector<std::uint32_t>(num_genes), std::vector<std::uint64_t>(num_samples, 0)};
    std::vector<std::uint32_t>& dominant = found.of_gene;
    std::vector<std::uint64_t>& histogram = found.histogram;

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
    return found;
}

GenesBinList binsInSizeOrder(const GeneList& genes, const std::vector<std::uint32_t>& dominant,
                             const std::vector<std::uint64_t>& sizes) {
    // Stable: bins of equal size stay in sample order, empty bins last.
    std::vector<std::uint32_t> order(sizes.size());
    for (std::size_t s = 0; s < order.size(); ++s) order[s] = static_cast<std::uint32_t>(s);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return sizes[a] > sizes[b]; });
    std::vector<std::uint32_t> bin_of_sample(sizes.size());
    for (std::size_t b = 0; b < order.size(); ++b) bin_of_sample[order[b]] = static_cast<std::uint32_t>(b);

    // Filled on this thread in input order, so bin content never depends on the threads.
    GenesBinList bins(sizes.size());
    std::vector<std::uint64_t> held(sizes.size(), 0);
    for (const std::uint32_t s : dominant) ++held[s];
    for (std::size_t s = 0; s < sizes.size(); ++s) bins[bin_of_sample[s]].reserve(held[s]);
    for (std::size_t g = 0; g < genes.size(); ++g) bins[bin_of_sample[dominant[g]]].push_back(genes[g]);
    return bins;
}

}  // namespace varnosk
