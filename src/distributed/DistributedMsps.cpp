#include "distributed/DistributedMsps.hpp"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <unordered_map>
#include <utility>
#include <vector>

#include "distributed/Bytes.hpp"
#include "distributed/Collectives.hpp"

namespace varnosk {

MspList createMspsOnRanks(Cluster& cluster, const MspCreator& creator, const SeedRefs& core_seeds,
                          const GeneList& genes, const ComparisonParameters& parameters, ProgressSink& progress,
                          RootGenes& root_genes) {
    if (cluster.size() == 1) return creator.createMsps(core_seeds, genes, parameters, progress);

    ByteWriter out;
    if (cluster.isRoot()) {
        out.put<std::uint64_t>(core_seeds.size());
        for (const Seed* seed : core_seeds) writeGene(out, seed->representative);
    }
    const std::string bytes = cluster.broadcast(out.take());
    struct TakenById {
        std::uint64_t id;
        GeneCategory category;
    };
    using TakenLists = std::vector<std::vector<TakenById>>;
    TakenLists taken_lists;
    // What the root may lack of the genes taken, by id: whether it needs the profile (a core
    // candidate, compared again for the core) or the name alone.
    std::vector<std::pair<const Gene*, bool>> to_send;
    agreed(cluster, [&] {
        ByteReader in(bytes);
        std::vector<Gene> representatives(in.get<std::uint64_t>());
        GeneList references;
        for (Gene& representative : representatives) {
            representative = readGene(in, parameters.detection_threshold);
            references.push_back(&representative);
        }
        const TakenGenes taken = creator.classifyGenes(references, genes, 0, genes.size(), parameters, progress);
        taken_lists.resize(taken.size());
        std::unordered_map<const Gene*, bool> needs_profile;
        for (std::size_t s = 0; s < taken.size(); ++s) {
            for (const TakenGene& gene : taken[s]) {
                const Gene* g = genes[gene.position];
                taken_lists[s].push_back({g->id, gene.category});
                needs_profile[g] = needs_profile[g] || gene.category == GeneCategory::CoreCandidate;
            }
        }
        if (cluster.isRoot()) return;
        to_send.assign(needs_profile.begin(), needs_profile.end());
        std::sort(to_send.begin(), to_send.end(),
                  [](const auto& a, const auto& b) { return a.first->id < b.first->id; });
    });

    enum Record : std::uint8_t { kList, kProfile, kName };
    std::size_t next_list = 0;
    std::size_t next_gene = 0;
    streamToRoot(
        cluster,
        [&](ByteWriter& record) {
            if (next_list < taken_lists.size()) {
                const std::vector<TakenById>& list = taken_lists[next_list];
                record.put(kList);
                record.put<std::uint64_t>(next_list++);
                record.putArray(list.data(), list.size());
                return true;
            }
            if (next_gene < to_send.size()) {
                const auto [gene, profile] = to_send[next_gene++];
                record.put(profile ? kProfile : kName);
                if (profile) {
                    writeGene(record, *gene);
                } else {
                    writeGeneName(record, *gene);
                }
                return true;
            }
            return false;
        },
        [&](std::size_t, ByteReader& in) {
            const auto record = in.get<Record>();
            if (record == kList) {
                const auto s = in.get<std::uint64_t>();
                std::vector<TakenById> list;
                in.getArray(list);
                if (s >= taken_lists.size())
                    throw std::runtime_error("error: a message between processes names no core seed.");
                taken_lists[s].insert(taken_lists[s].end(), list.begin(), list.end());
                return;
            }
            Gene gene = record == kProfile ? readGene(in, parameters.detection_threshold) : readGeneName(in);
            // a gene the root already holds (a seed member, a gene of a shared bin) keeps it
            root_genes.keepReceived(std::move(gene));
        });

    return agreed(cluster, [&] {
        if (!cluster.isRoot()) return MspList();
        TakenLists all_taken = std::move(taken_lists);
        // Every gene taken, in file order, and each core seed's list in that order: the lists
        // one process makes over all genes.
        std::vector<std::uint64_t> ids;
        for (auto& seed_list : all_taken) {
            std::sort(seed_list.begin(), seed_list.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
            for (const TakenById& gene : seed_list) ids.push_back(gene.id);
        }
        std::sort(ids.begin(), ids.end());
        ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
        GeneList taken_genes;
        taken_genes.reserve(ids.size());
        for (const std::uint64_t id : ids) taken_genes.push_back(root_genes.byId().find(id));
        TakenGenes taken(all_taken.size());
        for (std::size_t s = 0; s < all_taken.size(); ++s) {
            for (const TakenById& gene : all_taken[s]) {
                const auto position = std::lower_bound(ids.begin(), ids.end(), gene.id) - ids.begin();
                taken[s].push_back({static_cast<std::uint32_t>(position), gene.category});
            }
            std::vector<TakenById>().swap(all_taken[s]);
        }
        return creator.buildMsps(std::move(taken), taken_genes, parameters);
    });
}

}  // namespace varnosk
