#include "seeds/BestPartnerGroups.hpp"

#include <algorithm>

#include <boost/dynamic_bitset.hpp>

#include "common/ParallelSlots.hpp"
#include "seeds/PairGraph.hpp"
#include "seeds/PairJudge.hpp"
#include "seeds/SeedsCreator.hpp"

namespace varnosk {
namespace {

constexpr std::uint32_t kNone = kNoPartner;
// Partner genes per task when one gene is compared with the rest of the bin.
constexpr std::size_t kPartnersPerTask = 2048;
// Row blocks of the first pass: enough to balance the threads, each holding one best pair
// per gene of the bin.
constexpr std::size_t kRowBlocks = 64;

bool isNone(const GenesPair& pair) { return pair.first == kNone; }
const GenesPair kNoPair{kNone, kNone, 0.0f};

// Keeps in `best` the stronger of it and `candidate`.
void keepStronger(GenesPair& best, const GenesPair& candidate) {
    if (isNone(best) || isStrongerPair(candidate, best)) best = candidate;
}

// Whether a pair whose concordance is at most its bound, `candidate` holding the pair with its
// bound, may be stronger than `best` (on equal values the earlier pair is).
bool mayBeStronger(const GenesPair& candidate, const GenesPair& best) {
    return isNone(best) || isStrongerPair(candidate, best);
}

std::uint32_t partnerOf(const GenesPair& pair, std::uint32_t gene) {
    return pair.first == gene ? pair.second : pair.first;
}

}  // namespace

std::vector<std::vector<std::uint32_t>> extractGroupsByBestPartners(const GenesBin& bin, const SampleBitsets& bitsets,
                                                                    std::uint64_t min_group_size, double min_concordance,
                                                                    const ComparisonParameters& parameters) {
    return groupsFromStrongestPairs(bin, bitsets,
                                    strongestPairsOfRows(bin, bitsets, 0, bin.size(), min_concordance, parameters),
                                    min_group_size, min_concordance, parameters);
}

std::vector<GenesPair> strongestPairsOfRows(const GenesBin& bin, const SampleBitsets& bitsets, std::size_t row_begin,
                                            std::size_t row_end, double min_concordance,
                                            const ComparisonParameters& parameters) {
    // Every pair once: each row block's strongest pair per gene, then per gene the strongest
    // of the blocks (a total order, so the split does not matter). A pair is judged only when
    // its bound may beat the strongest pair found so far of either gene.
    const std::size_t n = bin.size();
    std::vector<GenesPair> best(n, kNoPair);
    const std::vector<std::size_t> cuts = rowCuts(n, row_begin, row_end, kRowBlocks);
    std::vector<std::vector<GenesPair>> blocks = computeInParallelSlots<std::vector<GenesPair>>(
        kRowBlocks, [&] { return PairJudge(bin, bitsets, min_concordance, parameters); },
        [&](PairJudge& judge, std::size_t k) {
            std::vector<GenesPair> block_best(n, kNoPair);
            for (std::size_t i = cuts[k]; i < cuts[k + 1]; ++i) {
                judge.forEachCandidate(i, i + 1, n, [&](std::uint32_t j, float bound) {
                    const GenesPair candidate{static_cast<std::uint32_t>(i), j, bound};
                    if (!mayBeStronger(candidate, block_best[i]) && !mayBeStronger(candidate, block_best[j])) return;
                    if (const auto concordance = judge.concordance(i, j)) {
                        const GenesPair pair{static_cast<std::uint32_t>(i), j, *concordance};
                        keepStronger(block_best[i], pair);
                        keepStronger(block_best[j], pair);
                    }
                });
            }
            return block_best;
        },
        [](std::uint64_t, std::uint64_t) {});
    for (std::vector<GenesPair>& block : blocks) {
        keepStrongerPairs(best, block);
        std::vector<GenesPair>().swap(block);
    }
    return best;
}

void keepStrongerPairs(std::vector<GenesPair>& strongest, const std::vector<GenesPair>& other) {
    for (std::size_t g = 0; g < strongest.size(); ++g) {
        if (!isNone(other[g])) keepStronger(strongest[g], other[g]);
    }
}

std::vector<std::vector<std::uint32_t>> groupsFromStrongestPairs(const GenesBin& bin, const SampleBitsets& bitsets,
                                                                 std::vector<GenesPair> best,
                                                                 std::uint64_t min_group_size, double min_concordance,
                                                                 const ComparisonParameters& parameters) {
    const std::size_t n = bin.size();
    const auto make_judge = [&] { return PairJudge(bin, bitsets, min_concordance, parameters); };
    const auto pair_of = [](PairJudge& judge, std::uint32_t a, std::uint32_t b) {
        const std::uint32_t first = std::min(a, b);
        const std::uint32_t second = std::max(a, b);
        const auto concordance = judge.concordance(first, second);
        return concordance ? GenesPair{first, second, *concordance} : kNoPair;
    };

    // For the listed genes, the strongest pair with a gene not taken, in tasks of partners.
    boost::dynamic_bitset<> taken(n);
    std::vector<std::uint32_t> untaken;
    const auto strongest_partners = [&](const std::vector<std::uint32_t>& genes) {
        const std::size_t tasks_per_gene = (untaken.size() + kPartnersPerTask - 1) / kPartnersPerTask;
        std::vector<GenesPair> found = computeInParallelSlots<GenesPair>(
            genes.size() * tasks_per_gene, make_judge,
            [&](PairJudge& judge, std::size_t task) {
                const std::uint32_t g = genes[task / tasks_per_gene];
                const std::size_t begin = (task % tasks_per_gene) * kPartnersPerTask;
                const std::size_t end = std::min(untaken.size(), begin + kPartnersPerTask);
                GenesPair strongest = kNoPair;
                for (std::size_t k = begin; k < end; ++k) {
                    if (untaken[k] != g) keepStronger(strongest, pair_of(judge, g, untaken[k]));
                }
                return strongest;
            },
            [](std::uint64_t, std::uint64_t) {});
        for (std::size_t i = 0; i < genes.size(); ++i) {
            best[genes[i]] = kNoPair;
            for (std::size_t t = 0; t < tasks_per_gene; ++t) {
                const GenesPair& pair = found[i * tasks_per_gene + t];
                if (!isNone(pair)) keepStronger(best[genes[i]], pair);
            }
        }
    };

    std::vector<std::vector<std::uint32_t>> groups;
    std::vector<std::uint32_t> group;
    std::vector<std::uint32_t> to_repair;
    for (;;) {
        // The first remaining pair of the sorted list is the strongest of the best pairs.
        GenesPair first = kNoPair;
        for (std::size_t g = 0; g < n; ++g) {
            if (!taken.test(g) && !isNone(best[g])) keepStronger(first, best[g]);
        }
        if (isNone(first)) break;

        // The pivot and its concordant partners not yet taken form the group.
        const std::uint32_t pivot = first.first;
        untaken.clear();
        for (std::size_t g = 0; g < n; ++g) {
            if (!taken.test(g) && g != pivot) untaken.push_back(static_cast<std::uint32_t>(g));
        }
        const std::size_t num_tasks = (untaken.size() + kPartnersPerTask - 1) / kPartnersPerTask;
        std::vector<std::vector<std::uint32_t>> partners = computeInParallelSlots<std::vector<std::uint32_t>>(
            num_tasks, make_judge,
            [&](PairJudge& judge, std::size_t task) {
                std::vector<std::uint32_t> found;
                const std::size_t end = std::min(untaken.size(), (task + 1) * kPartnersPerTask);
                for (std::size_t k = task * kPartnersPerTask; k < end; ++k) {
                    if (!isNone(pair_of(judge, pivot, untaken[k]))) found.push_back(untaken[k]);
                }
                return found;
            },
            [](std::uint64_t, std::uint64_t) {});
        group.assign(1, pivot);
        for (const std::vector<std::uint32_t>& found : partners) group.insert(group.end(), found.begin(), found.end());
        for (const std::uint32_t g : group) taken.set(g);
        if (group.size() >= min_group_size) {
            std::sort(group.begin(), group.end());
            groups.push_back(group);
        }

        // Genes whose strongest partner was just taken look for the next one.
        to_repair.clear();
        for (std::size_t g = 0; g < n; ++g) {
            const auto gene = static_cast<std::uint32_t>(g);
            if (!taken.test(g) && !isNone(best[g]) && taken.test(partnerOf(best[g], gene))) to_repair.push_back(gene);
        }
        if (to_repair.empty()) continue;
        untaken.clear();
        for (std::size_t g = 0; g < n; ++g) {
            if (!taken.test(g)) untaken.push_back(static_cast<std::uint32_t>(g));
        }
        strongest_partners(to_repair);
    }
    return groups;
}

}  // namespace varnosk
