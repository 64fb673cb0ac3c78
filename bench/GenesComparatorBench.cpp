// Time per comparison of GenesComparator::compare and compareFull, and of the seeds pair
// kernels (bitset rejection, then compare or the concordance bound for the pairs left), on gene pairs drawn from
// generated matrices (200 and 1,000 samples): co-abundant pairs that go through every step,
// unrelated pairs that fail at the cheap prevalence tests, and pairs rejected only after the
// samples are classified.
#include <benchmark/benchmark.h>

#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "GeneratedPairs.hpp"
#include "compare/GenesComparator.hpp"
#include "compare/SampleBitsets.hpp"

namespace {

using varnosk::CountMatrix;
using varnosk::Gene;
using varnosk::GenesComparator;

constexpr std::size_t kPairsPerKind = 512;
constexpr double kMinConcordance = 0.85;

using GenePair = std::pair<const Gene*, const Gene*>;

struct PairSet {
    CountMatrix matrix;
    std::vector<GenePair> coabundant;  // valid, concordance >= kMinConcordance
    std::vector<GenePair> unrelated;   // rejected before the samples are classified
    std::vector<GenePair> exclusive;   // rejected after classification (samples with one gene only)
};

using varnosk::bench::exampleParameters;

// Generator options of an abundant species in every sample (the bench case "abundant"):
// co-abundant pairs share every sample.
const std::string kEverywhere = "--prevalence 1 --abundance-sd 0.3 --level-sd 0 --dispersion 0.05";

// Random pairs of a fixed seed, sorted by outcome until both kinds are full.
const PairSet& pairsFor(std::uint64_t num_samples, const std::string& options = "") {
    static std::map<std::pair<std::uint64_t, std::string>, PairSet> cache;
    auto found = cache.find({num_samples, options});
    if (found != cache.end()) return found->second;
    PairSet set;
    set.matrix = varnosk::bench::generatedMatrix(num_samples, options);
    GenesComparator comparator(exampleParameters(num_samples));
    std::mt19937_64 rng(42);
    std::uniform_int_distribution<std::size_t> pick(0, set.matrix.size() - 1);
    for (int attempt = 0; attempt < 20'000'000; ++attempt) {
        if (set.coabundant.size() >= kPairsPerKind && set.unrelated.size() >= kPairsPerKind &&
            set.exclusive.size() >= kPairsPerKind) {
            break;
        }
        const Gene* g1 = set.matrix[pick(rng)].get();
        const Gene* g2 = set.matrix[pick(rng)].get();
        if (g1 == g2) continue;
        const auto& result = comparator.compare(*g1, *g2, 0);
        if (result.valid && result.concordance >= kMinConcordance) {
            if (set.coabundant.size() < kPairsPerKind) set.coabundant.emplace_back(g1, g2);
        } else if (!result.valid) {
            // compare may stop before the samples are classified; compareFull always gets there
            // when the pair passes the prevalence tests.
            if (comparator.compareFull(*g1, *g2).num_nonzero_samples == 0) {
                if (set.unrelated.size() < kPairsPerKind) set.unrelated.emplace_back(g1, g2);
            } else if (set.exclusive.size() < kPairsPerKind) {
                set.exclusive.emplace_back(g1, g2);
            }
        }
    }
    return cache.emplace(std::make_pair(num_samples, options), std::move(set)).first->second;
}

// Kinds 0 to 2 from the default matrix, 3 (co-abundant pairs sharing every sample) from one
// of abundant species everywhere.
const PairSet& pairsFor(benchmark::State& state) {
    const auto num_samples = static_cast<std::uint64_t>(state.range(0));
    return state.range(1) == 3 ? pairsFor(num_samples, kEverywhere) : pairsFor(num_samples);
}

const char* kindLabel(benchmark::State& state) {
    static const char* const kLabels[] = {"co-abundant", "unrelated", "exclusive", "co-abundant everywhere"};
    return kLabels[state.range(1)];
}

// The pairs of the kind the benchmark's second argument names; none (and the benchmark
// marked as skipped) when the matrix has none.
const std::vector<GenePair>& pairsOfKind(const PairSet& set, benchmark::State& state) {
    const std::vector<GenePair>& pairs = state.range(1) == 0 || state.range(1) == 3 ? set.coabundant
                                         : state.range(1) == 1                      ? set.unrelated
                                                                                    : set.exclusive;
    if (pairs.empty()) state.SkipWithError("no pair of this kind in the generated matrix");
    return pairs;
}

template <bool kFull>
void runComparisons(benchmark::State& state) {
    const auto num_samples = static_cast<std::uint64_t>(state.range(0));
    const PairSet& set = pairsFor(state);
    const std::vector<GenePair>& pairs = pairsOfKind(set, state);
    if (pairs.empty()) return;
    GenesComparator comparator(exampleParameters(num_samples));
    std::size_t next = 0;
    std::size_t num_valid = 0;
    for (auto _ : state) {
        const GenePair& pair = pairs[next];
        next = next + 1 == pairs.size() ? 0 : next + 1;
        const auto& result = kFull ? comparator.compareFull(*pair.first, *pair.second)
                                   : comparator.compare(*pair.first, *pair.second, 0);
        num_valid += result.valid ? 1 : 0;
        benchmark::DoNotOptimize(&result);
    }
    state.SetLabel(kindLabel(state));
    state.counters["pairs"] = static_cast<double>(pairs.size());
    state.counters["valid"] = benchmark::Counter(static_cast<double>(num_valid), benchmark::Counter::kAvgIterations);
}

// The seeds pair step's kernels: the exact bitset rejection, then for the pairs it keeps
// either compare (the full judgement) or the concordance bound that orders the candidates
// (most candidates are never judged), from the shared samples alone or from the genes' totals
// (what the seeds step calls).
enum class PairKernel { Compare, Bound, BoundFromTotals };

template <PairKernel kKernel>
void runPairKernel(benchmark::State& state) {
    const auto num_samples = static_cast<std::uint64_t>(state.range(0));
    const PairSet& set = pairsFor(state);
    const std::vector<GenePair>& pairs = pairsOfKind(set, state);
    if (pairs.empty()) return;
    const varnosk::ComparisonParameters parameters = exampleParameters(num_samples);
    varnosk::GeneList genes;
    std::map<const Gene*, std::size_t> position;
    for (const auto& gene : set.matrix) {
        position[gene.get()] = genes.size();
        genes.push_back(gene.get());
    }
    varnosk::SampleBitsets bits;
    bits.build(genes, parameters, true);
    std::vector<std::pair<std::size_t, std::size_t>> positions;
    for (const GenePair& pair : pairs) positions.emplace_back(position[pair.first], position[pair.second]);
    GenesComparator comparator(parameters);
    std::size_t next = 0;
    std::size_t num_valid = 0;
    for (auto _ : state) {
        const auto [i, j] = positions[next];
        next = next + 1 == pairs.size() ? 0 : next + 1;
        if (bits.rejectsBounded(i, bits, j)) continue;
        if constexpr (kKernel != PairKernel::Compare) {
            const float bound = kKernel == PairKernel::Bound
                                    ? comparator.concordanceBound(*genes[i], *genes[j])
                                    : comparator.concordanceBound(*genes[i], *genes[j], bits.totals(i), bits.totals(j));
            num_valid += bound >= kMinConcordance ? 1 : 0;
            benchmark::DoNotOptimize(bound);
        } else {
            const auto& result = comparator.compare(*genes[i], *genes[j], 0);
            num_valid += result.valid ? 1 : 0;
            benchmark::DoNotOptimize(&result);
        }
    }
    state.SetLabel(kindLabel(state));
    state.counters["valid"] = benchmark::Counter(static_cast<double>(num_valid), benchmark::Counter::kAvgIterations);
}

void BM_PairKernel(benchmark::State& state) { runPairKernel<PairKernel::Compare>(state); }
void BM_BoundKernel(benchmark::State& state) { runPairKernel<PairKernel::Bound>(state); }
void BM_BoundKernelFromTotals(benchmark::State& state) { runPairKernel<PairKernel::BoundFromTotals>(state); }
void BM_Compare(benchmark::State& state) { runComparisons<false>(state); }
void BM_CompareFull(benchmark::State& state) { runComparisons<true>(state); }

// Arguments: number of samples, then the kind of pairs: 0 co-abundant, 1 unrelated (rejected
// by the prevalence tests), 2 rejected for samples where only one gene is present, 3
// co-abundant in every sample.
BENCHMARK(BM_Compare)->ArgsProduct({{200, 1000}, {0, 1, 2, 3}});
BENCHMARK(BM_CompareFull)->ArgsProduct({{200, 1000}, {0, 1, 2, 3}});
BENCHMARK(BM_PairKernel)->ArgsProduct({{200, 1000}, {0, 1, 2, 3}});
// "valid" counts the pairs whose bound reaches the minimum concordance (candidates).
BENCHMARK(BM_BoundKernel)->ArgsProduct({{200, 1000}, {0, 1, 2, 3}});
BENCHMARK(BM_BoundKernelFromTotals)->ArgsProduct({{200, 1000}, {0, 1, 2, 3}});

}  // namespace
