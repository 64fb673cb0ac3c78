// Time per (representative, gene) pair of MSP creation's kernel, after the co-detection bitset
// test: the full comparison of every pair (with p-values where the categories need them), and
// the screened path, where the abundance ratio and the concordance screen settle most pairs
// and only the rest are compared in full. Pairs come from a generated matrix whose species sit
// in 10% to 90% of the samples (200 and 1,000 samples): co-abundant pairs (taken) and
// unrelated ones (co-detected in enough samples, not taken).
#include <benchmark/benchmark.h>

#include <map>
#include <random>
#include <utility>
#include <vector>

#include "GeneratedPairs.hpp"
#include "compare/GenesComparator.hpp"
#include "compare/SampleBitsets.hpp"
#include "msp/GeneCategory.hpp"
#include "msp/GeneClassifier.hpp"

namespace {

using varnosk::CountMatrix;
using varnosk::Gene;
using varnosk::GeneCategory;

constexpr std::size_t kPairsPerKind = 1024;
constexpr double kMinConcordance = 0.85;
constexpr double kMinRobustConcordance = 0.9;

using GenePair = std::pair<const Gene*, const Gene*>;

struct PairSet {
    CountMatrix matrix;
    varnosk::ComparisonParameters parameters;
    std::vector<GenePair> taken;
    std::vector<GenePair> unrelated;
};

GeneCategory fullCategory(varnosk::GenesComparator& comparator, const Gene& representative, const Gene& gene) {
    const varnosk::ComparisonResult& result = comparator.compareFullWithoutPValues(representative, gene);
    if (varnosk::needsPValues(result, kMinConcordance, kMinRobustConcordance)) comparator.addPValues();
    return varnosk::classifyGene(result, kMinConcordance, kMinRobustConcordance);
}

// Random pairs of a fixed seed that pass the co-detection test, sorted by outcome.
const PairSet& pairsFor(std::uint64_t num_samples) {
    static std::map<std::uint64_t, PairSet> cache;
    auto found = cache.find(num_samples);
    if (found != cache.end()) return found->second;
    PairSet set;
    set.parameters = varnosk::bench::exampleParameters(num_samples);
    set.matrix = varnosk::bench::generatedMatrix(num_samples, "--prevalence-range 0.1:0.9");
    varnosk::GeneList genes;
    for (const auto& gene : set.matrix) genes.push_back(gene.get());
    varnosk::SampleBitsets bits;
    bits.build(genes, set.parameters, false);
    varnosk::GenesComparator comparator(set.parameters);
    std::mt19937_64 rng(42);
    std::uniform_int_distribution<std::size_t> pick(0, genes.size() - 1);
    for (int attempt = 0; attempt < 20'000'000; ++attempt) {
        if (set.taken.size() >= kPairsPerKind && set.unrelated.size() >= kPairsPerKind) break;
        const std::size_t i = pick(rng);
        const std::size_t j = pick(rng);
        if (i == j || bits.rejectsCodetection(i, bits, j)) continue;
        const bool taken = fullCategory(comparator, *genes[i], *genes[j]) != GeneCategory::NotTaken;
        std::vector<GenePair>& kind = taken ? set.taken : set.unrelated;
        if (kind.size() < kPairsPerKind) kind.emplace_back(genes[i], genes[j]);
    }
    return cache.emplace(num_samples, std::move(set)).first->second;
}

template <bool kScreened>
void runMspKernel(benchmark::State& state) {
    const auto num_samples = static_cast<std::uint64_t>(state.range(0));
    const PairSet& set = pairsFor(num_samples);
    const std::vector<GenePair>& pairs = state.range(1) == 0 ? set.taken : set.unrelated;
    if (pairs.empty()) {
        state.SkipWithError("no pair of this kind in the generated matrix");
        return;
    }
    varnosk::GenesComparator comparator(set.parameters);
    varnosk::GeneClassifier classifier(set.parameters, kMinConcordance, kMinRobustConcordance);
    std::size_t next = 0;
    std::size_t num_taken = 0;
    for (auto _ : state) {
        const GenePair& pair = pairs[next];
        next = next + 1 == pairs.size() ? 0 : next + 1;
        const GeneCategory category = kScreened ? classifier.classify(*pair.first, *pair.second)
                                                : fullCategory(comparator, *pair.first, *pair.second);
        num_taken += category != GeneCategory::NotTaken ? 1 : 0;
        benchmark::DoNotOptimize(category);
    }
    state.SetLabel(state.range(1) == 0 ? "co-abundant" : "unrelated");
    state.counters["taken"] = benchmark::Counter(static_cast<double>(num_taken), benchmark::Counter::kAvgIterations);
}

void BM_MspPairFull(benchmark::State& state) { runMspKernel<false>(state); }
void BM_MspPairScreened(benchmark::State& state) { runMspKernel<true>(state); }

// Arguments: number of samples, then the kind of pairs: 0 co-abundant (taken), 1 unrelated.
BENCHMARK(BM_MspPairFull)->ArgsProduct({{200, 1000}, {0, 1}});
BENCHMARK(BM_MspPairScreened)->ArgsProduct({{200, 1000}, {0, 1}});

}  // namespace
