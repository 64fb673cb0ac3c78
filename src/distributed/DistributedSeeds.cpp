#include "distributed/DistributedSeeds.hpp"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/ParallelSlots.hpp"
#include "compare/SampleBitsets.hpp"
#include "distributed/Bytes.hpp"
#include "distributed/Collectives.hpp"
#include "seeds/BandedGroups.hpp"
#include "seeds/PairGroups.hpp"
#include "seeds/SeedsCreator.hpp"

namespace varnosk {
namespace {

template <typename Position>
void putOptionalPair(ByteWriter& out, const std::optional<PairOf<Position>>& pair) {
    out.put<std::uint8_t>(pair ? 1 : 0);
    if (pair) out.put(*pair);
}

template <typename Position>
std::optional<PairOf<Position>> getOptionalPair(ByteReader& in) {
    if (in.get<std::uint8_t>() == 0) return std::nullopt;
    return in.get<PairOf<Position>>();
}

// A bin whose rows every rank shares, grouped as one process groups it: for each band the
// root says what to gather, every rank gathers the band of its share of the rows, and the
// root merges the shares and goes on with the pass; then the root makes the seeds.
template <typename Position>
SeedList seedsOfSharedBin(Cluster& cluster, const GenesBin& bin, std::uint64_t min_seed_size, double min_concordance,
                          const ComparisonParameters& parameters) {
    const auto ranks = static_cast<std::size_t>(cluster.size());
    const auto rank = static_cast<std::size_t>(cluster.rank());
    // Each rank gathers as large a band as one process would, so that the merged band is as
    // large too (a smaller one can make the pass gather every pair again before its first
    // group); rank 0 holds every rank's share while it merges them.
    const std::size_t limit = bandLimit(bin.size(), SeedsCreator::kMaxCandidatesPerBin);
    SampleBitsets bitsets;
    std::optional<BandedPass<Position>> pass;
    agreed(cluster, [&] {
        bitsets.build(bin, parameters, true);
        if (cluster.isRoot()) pass.emplace(bin, bitsets, min_seed_size, min_concordance, parameters, limit);
    });
    for (;;) {
        std::string asked = agreed(cluster, [&] {
            ByteWriter out;
            const BandRequest<Position>* request = cluster.isRoot() ? pass->nextRequest() : nullptr;
            out.put<std::uint8_t>(request ? 1 : 0);
            if (request) {
                out.putArray(request->genes.data(), request->genes.size());
                putOptionalPair(out, request->ceiling);
            }
            return out.take();
        });
        asked = cluster.broadcast(std::move(asked));
        BandRequest<Position> request;
        const bool more = agreed(cluster, [&] {
            ByteReader in(asked);
            if (in.get<std::uint8_t>() == 0) return false;
            in.getArray(request.genes);
            request.ceiling = getOptionalPair<Position>(in);
            request.limit = limit;
            return true;
        });
        if (!more) break;
        std::string mine = agreed(cluster, [&] {
            const std::vector<std::size_t> shares = rowCuts(request.genes.size(), 0, request.genes.size(), ranks);
            const Band<Position> band =
                gatherBand(bin, bitsets, request, shares[rank], shares[rank + 1], min_concordance, parameters);
            ByteWriter out;
            out.putArray(band.pairs.data(), band.pairs.size());
            putOptionalPair(out, band.floor);
            return out.take();
        });
        std::vector<std::string> parts = cluster.gather(std::move(mine));
        agreed(cluster, [&] {
            if (!cluster.isRoot()) return;
            std::vector<Band<Position>> bands(parts.size());
            for (std::size_t k = 0; k < parts.size(); ++k) {
                ByteReader in(parts[k]);
                in.getArray(bands[k].pairs);
                bands[k].floor = getOptionalPair<Position>(in);
                std::string().swap(parts[k]);
            }
            pass->take(mergeBands(std::move(bands), limit));
        });
    }
    return agreed(cluster, [&] {
        if (!cluster.isRoot()) return SeedList();
        SeedsCreator creator(min_seed_size, min_concordance, parameters);
        return creator.seedsFromGroups(bin, bitsets, pass->takeGroups());
    });
}

}  // namespace

SeedList createSeedsOnRanks(Cluster& cluster, const GenesBinList& bins, const BinPlacement& placement,
                            const GeneList& genes, std::uint64_t min_seed_size, double min_concordance,
                            const ComparisonParameters& parameters, ProgressSink& progress, RootGenes& root_genes) {
    if (cluster.size() == 1) return createAllSeeds(bins, min_seed_size, min_concordance, parameters, progress);

    std::vector<std::pair<std::uint32_t, std::unique_ptr<Seed>>> tagged;
    for (std::size_t b = 0; b < bins.size(); ++b) {
        if (placement.owner[b] != BinPlacement::kShared) continue;
        SeedList seeds = withPairPositions(bins[b].size(), [&](auto position) {
            return seedsOfSharedBin<decltype(position)>(cluster, bins[b], min_seed_size, min_concordance, parameters);
        });
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
    SeedList my_seeds =
        agreed(cluster, [&] { return createAllSeeds(my_bins, min_seed_size, min_concordance, parameters, progress); });

    // The members' profiles, once each, then the seeds naming them by id; the root's own
    // seeds stay where they are.
    std::vector<const Gene*> members;
    agreed(cluster, [&] {
        if (cluster.isRoot()) {
            root_genes.addOwn(genes);
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
                root_genes.keepReceived(readGene(in, parameters.detection_threshold));
                return;
            }
            const auto bin = in.get<std::uint32_t>();
            tagged.emplace_back(
                bin, std::make_unique<Seed>(readSeed(in, root_genes.byId(), parameters.detection_threshold)));
        });

    return agreed(cluster, [&] {
        if (!cluster.isRoot()) return SeedList();
        for (auto& seed : my_seeds) tagged.emplace_back(bin_of.at(seed->genes.front()), std::move(seed));
        // one rank made each bin's seeds, in creation order: a stable sort by bin restores the
        // single-process order
        std::stable_sort(tagged.begin(), tagged.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        SeedList seeds;
        seeds.reserve(tagged.size());
        for (auto& entry : tagged) seeds.push_back(std::move(entry.second));
        return seeds;
    });
}

}  // namespace varnosk
