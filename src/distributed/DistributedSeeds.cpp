#include "distributed/DistributedSeeds.hpp"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/ParallelSlots.hpp"
#include "compare/SampleBitsets.hpp"
#include "distributed/Bytes.hpp"
#include "distributed/Collectives.hpp"
#include "seeds/BestPartnerGroups.hpp"
#include "seeds/PairGraph.hpp"
#include "seeds/SeedsCreator.hpp"

namespace varnosk {
namespace {

// The seeds of one bin whose rows every rank shares: each rank works its share of the rows
// into bytes (`work(bitsets, first_row, end_row)`), and the root makes the seeds from the
// parts, in rank order, which is row order (`finish(bitsets, parts)`).
template <typename Work, typename Finish>
SeedList seedsOfSharedRows(Cluster& cluster, const GenesBin& bin, const ComparisonParameters& parameters, Work work,
                           Finish finish) {
    SampleBitsets bitsets;
    const auto rank = static_cast<std::size_t>(cluster.rank());
    const std::string mine = agreed(cluster, [&] {
        bitsets.build(bin, parameters, true);
        const std::vector<std::size_t> shares =
            rowCuts(bin.size(), 0, bin.size(), static_cast<std::size_t>(cluster.size()));
        return work(bitsets, shares[rank], shares[rank + 1]);
    });
    std::vector<std::string> parts = cluster.gather(mine);
    return agreed(cluster, [&] { return cluster.isRoot() ? finish(bitsets, parts) : SeedList(); });
}

// A bin whose pairs are stored: the root gathers each rank's candidate pairs, in row order
// as one process finds them, and judges them as far as its extraction needs.
SeedList seedsOfSharedBin(Cluster& cluster, const GenesBin& bin, std::uint64_t min_seed_size,
                          double min_concordance, const ComparisonParameters& parameters) {
    const auto work = [&](const SampleBitsets& bitsets, std::size_t first_row, std::size_t end_row) {
        // blocks for the threads of this rank, as one process cuts a large bin
        constexpr std::size_t kRowBlocks = 64;
        const std::vector<std::size_t> ends = rowCuts(bin.size(), first_row, end_row, kRowBlocks);
        std::vector<std::vector<StoredPair>> blocks = computeInParallelSlots<std::vector<StoredPair>>(
            kRowBlocks, [&] { return SeedsCreator(min_seed_size, min_concordance, parameters); },
            [&](SeedsCreator& worker, std::size_t k) {
                std::vector<StoredPair> found;
                worker.findCandidatePairs(bin, bitsets, ends[k], ends[k + 1], found);
                return found;
            },
            [](std::uint64_t, std::uint64_t) {});
        std::vector<StoredPair> pairs;
        for (auto& block : blocks) {
            pairs.insert(pairs.end(), block.begin(), block.end());
            std::vector<StoredPair>().swap(block);
        }
        ByteWriter out;
        out.putArray(pairs.data(), pairs.size());
        return out.take();
    };
    const auto finish = [&](const SampleBitsets& bitsets, std::vector<std::string>& parts) {
        std::vector<StoredPair> pairs;
        std::vector<StoredPair> part_pairs;
        for (std::string& part : parts) {
            ByteReader(part).getArray(part_pairs);
            std::string().swap(part);
            pairs.insert(pairs.end(), part_pairs.begin(), part_pairs.end());
        }
        return SeedsCreator(min_seed_size, min_concordance, parameters).seedsFromPairs(bin, bitsets, pairs);
    };
    return seedsOfSharedRows(cluster, bin, parameters, work, finish);
}

// A bin too large to store its pairs: each rank finds every gene's strongest pair in its
// rows, and the root keeps the strongest of each gene's pairs and goes on from there as one
// process does.
SeedList seedsOfSharedLargeBin(Cluster& cluster, const GenesBin& bin, std::uint64_t min_seed_size,
                               double min_concordance, const ComparisonParameters& parameters) {
    const auto work = [&](const SampleBitsets& bitsets, std::size_t first_row, std::size_t end_row) {
        const std::vector<GenesPair> strongest =
            strongestPairsOfRows(bin, bitsets, first_row, end_row, min_concordance, parameters);
        ByteWriter out;
        out.putArray(strongest.data(), strongest.size());
        return out.take();
    };
    const auto finish = [&](const SampleBitsets& bitsets, std::vector<std::string>& parts) {
        std::vector<GenesPair> strongest;
        std::vector<GenesPair> part_strongest;
        for (std::string& part : parts) {
            ByteReader(part).getArray(part_strongest);
            std::string().swap(part);
            if (part_strongest.size() != bin.size()) {
                throw std::runtime_error("error: a message between processes was cut short.");
            }
            if (strongest.empty()) {
                strongest.swap(part_strongest);
            } else {
                keepStrongerPairs(strongest, part_strongest);
            }
        }
        SeedsCreator creator(min_seed_size, min_concordance, parameters);
        return creator.seedsFromGroups(bin, bitsets,
                                       groupsFromStrongestPairs(bin, bitsets, std::move(strongest), min_seed_size,
                                                                min_concordance, parameters));
    };
    return seedsOfSharedRows(cluster, bin, parameters, work, finish);
}

}  // namespace

SeedList createSeedsOnRanks(Cluster& cluster, const GenesBinList& bins, const BinPlacement& placement,
                            const GeneList& genes, std::uint64_t min_seed_size, double min_concordance,
                            const ComparisonParameters& parameters, ProgressSink& progress, CountMatrix& borrowed,
                            GenesById& known) {
    if (cluster.size() == 1) return createAllSeeds(bins, min_seed_size, min_concordance, parameters, progress);

    std::vector<std::pair<std::uint32_t, std::unique_ptr<Seed>>> tagged;
    for (std::size_t b = 0; b < bins.size(); ++b) {
        if (placement.owner[b] != BinPlacement::kShared) continue;
        SeedList seeds = SeedsCreator::storesPairs(bins[b].size())
                             ? seedsOfSharedBin(cluster, bins[b], min_seed_size, min_concordance, parameters)
                             : seedsOfSharedLargeBin(cluster, bins[b], min_seed_size, min_concordance, parameters);
        for (auto& seed : seeds) {
            tagged.emplace_back(static_cast<std::uint32_t>(b), std::move(seed));
        }
    }

    GenesBinList my_bins(bins.size());
    std::unordered_map<const Gene*, std::uint32_t> bin_of;
    for (std::size_t b = 0; b < bins.size(); ++b) {
        if (placement.owner[b] != cluster.rank()) continue;
        my_bins[b] = bins[b];  // the others stay empty and make no seed
        for (const Gene* gene : bins[b]) bin_of.emplace(gene, static_cast<std::uint32_t>(b));
    }
    SeedList my_seeds = agreed(cluster, [&] {
        return createAllSeeds(my_bins, min_seed_size, min_concordance, parameters, progress);
    });

    // The members' profiles, once each, then the seeds naming them by id; the root's own
    // seeds stay where they are.
    std::vector<const Gene*> members;
    agreed(cluster, [&] {
        if (cluster.isRoot()) {
            known.add(genes);
            return;
        }
        for (const auto& seed : my_seeds) members.insert(members.end(), seed->genes.begin(), seed->genes.end());
        std::sort(members.begin(), members.end(), [](const Gene* a, const Gene* b) { return a->id < b->id; });
        members.erase(std::unique(members.begin(), members.end()), members.end());
    });
    enum Record : std::uint8_t { kMember, kSeed };
    std::size_t next_member = 0;
    std::size_t next_seed = 0;
    streamToRoot(
        cluster,
        [&](ByteWriter& out) {
            if (next_member < members.size()) {
                out.put(kMember);
                writeGene(out, *members[next_member++]);
                return true;
            }
            if (next_seed < my_seeds.size()) {
                std::unique_ptr<Seed> seed = std::move(my_seeds[next_seed++]);
                out.put(kSeed);
                // a seed holds genes of its own bin only
                out.put<std::uint32_t>(bin_of.at(seed->genes.front()));
                writeSeed(out, *seed);
                return true;
            }
            return false;
        },
        [&](std::size_t, ByteReader& in) {
            if (in.get<Record>() == kMember) {
                borrowed.push_back(std::make_unique<Gene>(readGene(in, parameters.detection_threshold)));
                known.add(GeneList{borrowed.back().get()});
                return;
            }
            const auto bin = in.get<std::uint32_t>();
            tagged.emplace_back(bin, std::make_unique<Seed>(readSeed(in, known, parameters.detection_threshold)));
        });

    return agreed(cluster, [&] {
        if (!cluster.isRoot()) return SeedList();
        for (auto& seed : my_seeds) tagged.emplace_back(bin_of.at(seed->genes.front()), std::move(seed));
        // one rank made each bin's seeds, in creation order: a stable sort by bin restores the
        // single-process order
        std::stable_sort(tagged.begin(), tagged.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        SeedList seeds;
        seeds.reserve(tagged.size());
        for (auto& entry : tagged) seeds.push_back(std::move(entry.second));
        return seeds;
    });
}

}  // namespace varnosk
