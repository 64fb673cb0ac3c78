#include "abundance/MspAbundance.hpp"

#include <algorithm>
#include <unordered_map>

namespace varnosk {
namespace {

// How many of an MSP's core genes stand for it.
std::size_t numAbundanceGenes(const Msp& msp, std::uint64_t num_core_genes) {
    return static_cast<std::size_t>(std::min<std::uint64_t>(msp.core_genes.size(), num_core_genes));
}

}  // namespace

GeneList abundanceGenes(const MspList& msps, std::uint64_t num_core_genes) {
    GeneList genes;
    for (const auto& msp : msps) {
        const std::size_t n = numAbundanceGenes(*msp, num_core_genes);
        genes.insert(genes.end(), msp->core_genes.begin(), msp->core_genes.begin() + static_cast<std::ptrdiff_t>(n));
    }
    std::sort(genes.begin(), genes.end(), [](const Gene* a, const Gene* b) { return a->id < b->id; });
    genes.erase(std::unique(genes.begin(), genes.end()), genes.end());
    return genes;
}

AbundanceTable computeAbundance(const MspList& msps, const AbundanceParameters& parameters, std::size_t num_samples,
                                const RawCountsFeed& feed) {
    // which MSPs each needed gene counts for
    std::unordered_map<const Gene*, std::vector<std::size_t>> users;
    for (std::size_t m = 0; m < msps.size(); ++m) {
        const Msp& msp = *msps[m];
        const std::size_t n = numAbundanceGenes(msp, parameters.num_core_genes);
        for (std::size_t i = 0; i < n; ++i) users[msp.core_genes[i]].push_back(m);
    }

    std::vector<double> sums(msps.size() * num_samples, 0.0);
    std::vector<std::uint64_t> non_zero(msps.size() * num_samples, 0);
    feed(abundanceGenes(msps, parameters.num_core_genes), [&](const Gene& gene, const std::vector<float>& raw) {
        for (const std::size_t m : users.at(&gene)) {
            double* sum = sums.data() + m * num_samples;
            std::uint64_t* present = non_zero.data() + m * num_samples;
            for (std::size_t s = 0; s < num_samples; ++s) {
                sum[s] += static_cast<double>(raw[s]);
                present[s] += raw[s] > 0.0f ? 1 : 0;
            }
        }
    });

    AbundanceTable table{num_samples, std::vector<double>(msps.size() * num_samples, 0.0)};
    for (std::size_t m = 0; m < msps.size(); ++m) {
        const auto n = static_cast<double>(numAbundanceGenes(*msps[m], parameters.num_core_genes));
        for (std::size_t s = 0; s < num_samples; ++s) {
            const std::size_t cell = m * num_samples + s;
            const bool detected = static_cast<double>(non_zero[cell]) / n >= parameters.min_detected_share;
            table.values[cell] = detected ? sums[cell] / n : 0.0;
        }
    }
    return table;
}

AbundanceTable relativeAbundance(const AbundanceTable& abundance) {
    AbundanceTable relative = abundance;
    const std::size_t num_msps = abundance.numMsps();
    for (std::size_t s = 0; s < abundance.num_samples; ++s) {
        double total = 0.0;
        for (std::size_t m = 0; m < num_msps; ++m) total += abundance.at(m, s);
        for (std::size_t m = 0; m < num_msps; ++m) {
            relative.values[m * abundance.num_samples + s] = total > 0.0 ? abundance.at(m, s) / total : 0.0;
        }
    }
    return relative;
}

}  // namespace varnosk
