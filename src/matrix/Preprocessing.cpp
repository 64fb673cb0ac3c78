#include "matrix/Preprocessing.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace varnosk {
namespace {

// Samples summed together by one task of computeMappedReads: one cache line of floats,
// so that no two tasks read the same line of a gene's counts.
constexpr std::size_t kSamplesPerBlock = 16;

}  // namespace

std::vector<double> computeMappedReads(const CountMatrix& genes) {
    if (genes.empty()) return {};
    std::vector<double> sums(genes.front()->counts.size(), 0.0);
    addCountsPerSample(genes, sums);
    return mappedReadsFromSums(std::move(sums));
}

void addCountsPerSample(const CountMatrix& genes, std::vector<double>& sums) {
    const std::size_t num_samples = sums.size();
    const auto num_blocks = static_cast<std::ptrdiff_t>((num_samples + kSamplesPerBlock - 1) / kSamplesPerBlock);

    // Parallel over blocks of samples, each sample summed in gene order by one thread:
    // the sums are the same bits whatever the number of threads.
#pragma omp parallel for schedule(static)
    for (std::ptrdiff_t block = 0; block < num_blocks; ++block) {
        const std::size_t first = static_cast<std::size_t>(block) * kSamplesPerBlock;
        const std::size_t width = std::min(kSamplesPerBlock, num_samples - first);
        double block_sums[kSamplesPerBlock] = {};
        for (std::size_t s = 0; s < width; ++s) block_sums[s] = sums[first + s];
        for (const auto& gene : genes) {
            const float* counts = gene->counts.data() + first;
            for (std::size_t s = 0; s < width; ++s) block_sums[s] += static_cast<double>(counts[s]);
        }
        for (std::size_t s = 0; s < width; ++s) sums[first + s] = block_sums[s];
    }
}

std::vector<double> mappedReadsFromSums(std::vector<double> sums) {
    for (double& sum : sums) sum = std::sqrt(sum);
    return sums;
}

void applySqrtTransform(CountMatrix& genes) {
    const auto num_genes = static_cast<std::ptrdiff_t>(genes.size());
#pragma omp parallel for schedule(static)
    for (std::ptrdiff_t i = 0; i < num_genes; ++i) {
        for (float& count : genes[static_cast<std::size_t>(i)]->counts) count = std::sqrt(count);
    }
}

void computeSamplePresence(Gene& gene, float threshold) { gene.presence.compute(gene.counts, threshold); }

void computeSamplePresence(CountMatrix& genes, float threshold) {
    if (genes.empty()) return;
    // one block for the matrix, the genes' bits in gene order (every gene has as many samples)
    const std::size_t stride = SamplePresence::strideFor(genes.front()->counts.size());
    auto block = std::make_shared<std::uint64_t[]>(std::max<std::size_t>(1, stride * genes.size()));
    const auto num_genes = static_cast<std::ptrdiff_t>(genes.size());
#pragma omp parallel for schedule(static)
    for (std::ptrdiff_t i = 0; i < num_genes; ++i) {
        Gene& gene = *genes[static_cast<std::size_t>(i)];
        gene.presence.computeInto(gene.counts, threshold, block, block.get() + static_cast<std::size_t>(i) * stride);
    }
}

void compactSamplePresence(CountMatrix& genes) {
    if (genes.empty()) return;
    // The genes kept their order, so each one's bits move down or stay: a forward pass never
    // overwrites bits that are still to be moved.
    std::uint64_t* base = genes.front()->presence.block();
    const std::size_t stride = genes.front()->presence.stride();
    for (std::size_t i = 0; i < genes.size(); ++i) genes[i]->presence.moveTo(base + i * stride);
}

}  // namespace varnosk
