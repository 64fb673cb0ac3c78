#include "distributed/DistributedBins.hpp"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <unordered_map>
#include <utility>
#include <vector>

#include "bins/GenesBinsPrinter.hpp"
#include "distributed/Bytes.hpp"
#include "distributed/Collectives.hpp"
#include "distributed/GeneMessages.hpp"
#include "matrix/Preprocessing.hpp"
#include "seeds/SeedsCreator.hpp"

namespace varnosk {

GenesBinList createGenesBinsOnRanks(Cluster& cluster, const GenesBinsCreator& creator, const GeneList& genes,
                                    const std::vector<double>& sample_divisors, std::vector<std::uint64_t>& sizes) {
    sizes.clear();
    if (cluster.size() == 1) {
        GenesBinList bins = createGenesBins(creator, genes, sample_divisors);
        for (const GenesBin& bin : bins) sizes.push_back(bin.size());
        return bins;
    }
    const std::uint64_t num_genes = countGenesOnRanks(cluster, genes.size());
    if (num_genes == 0) return {};
    // Without any sample there is nothing to split on: every gene stays, in one bin.
    if (!creator.enabled || sample_divisors.empty()) {
        sizes.push_back(num_genes);
        return {genes};
    }
    const DominantSamples dominant = agreed(cluster, [&] { return findDominantSamples(genes, sample_divisors); });
    const std::vector<std::uint64_t> per_sample = sumOverRanks(cluster, dominant.histogram);
    return agreed(cluster, [&] {
        sizes = per_sample;
        std::stable_sort(sizes.begin(), sizes.end(), [](std::uint64_t a, std::uint64_t b) { return a > b; });
        return binsInSizeOrder(genes, dominant.of_gene, per_sample);
    });
}

void printGenesBinsOnRanks(Cluster& cluster, const GenesBinList& bins, const OutputDirectory& output_dir,
                           const std::string& file_name) {
    if (cluster.size() == 1) {
        printGenesBins(bins, output_dir, file_name);
        return;
    }
    ByteWriter out;
    if (!cluster.isRoot()) {
        for (const GenesBin& bin : bins) {
            out.put<std::uint64_t>(bin.size());
            for (const Gene* gene : bin) writeGeneName(out, *gene);
        }
    }
    std::vector<std::string> parts = cluster.gather(out.take());
    agreed(cluster, [&] {
        if (!cluster.isRoot()) return;
        // each bin's genes of the parts in rank order: the bin's genes in file order
        CountMatrix named;
        GenesBinList named_bins(bins.size());
        std::vector<ByteReader> readers;
        for (std::size_t r = 1; r < parts.size(); ++r) readers.emplace_back(parts[r]);
        for (std::size_t b = 0; b < bins.size(); ++b) {
            for (const Gene* gene : bins[b]) {
                named.push_back(std::make_unique<Gene>(Gene{gene->id, gene->name, {}, {}}));
                named_bins[b].push_back(named.back().get());
            }
            for (ByteReader& in : readers) {
                const auto n = in.get<std::uint64_t>();
                for (std::uint64_t i = 0; i < n; ++i) {
                    named.push_back(std::make_unique<Gene>(readGeneName(in)));
                    named_bins[b].push_back(named.back().get());
                }
            }
        }
        printGenesBins(named_bins, output_dir, file_name);
    });
}

BinPlacement placeBins(const std::vector<std::uint64_t>& sizes, int num_ranks, std::uint64_t min_seed_size,
                       const ComparisonParameters& parameters) {
    const auto ranks = static_cast<std::uint64_t>(num_ranks);
    std::uint64_t total_pairs = 0;
    for (const std::uint64_t size : sizes) total_pairs += numPairs(size);
    const SeedsCreator judge(min_seed_size, 0.0, parameters);
    BinPlacement placement;
    placement.owner.assign(sizes.size(), 0);
    // A bin with more pairs than a rank's share has its rows split across the ranks.
    std::vector<std::uint64_t> load(ranks, 0);
    for (std::size_t b = 0; b < sizes.size(); ++b) {
        constexpr std::size_t kMinSharedBin = 64;
        const std::uint64_t size = sizes[b];
        if (size >= kMinSharedBin && numPairs(size) * ranks > total_pairs && !judge.skipsBin(size)) {
            placement.owner[b] = BinPlacement::kShared;
            continue;
        }
        // the lowest rank among equals, the same deal on every rank
        const auto owner = std::min_element(load.begin(), load.end()) - load.begin();
        load[static_cast<std::size_t>(owner)] += numPairs(size) + 1;
        placement.owner[b] = static_cast<int>(owner);
    }
    return placement;
}

void moveGenesToBinOwners(Cluster& cluster, CountMatrix& genes, GenesBinList& bins, const BinPlacement& placement,
                          float detection_threshold) {
    if (cluster.size() == 1) return;
    const auto ranks = static_cast<std::size_t>(cluster.size());
    const auto rank = static_cast<std::size_t>(cluster.rank());

    // Per other rank, the genes it gets, in file order; a gene leaves this rank once it is
    // written to each of them (and it is not one of this rank's own).
    std::vector<std::vector<std::uint32_t>> to_send(ranks);
    std::vector<std::uint32_t> bin_of_gene(genes.size());
    std::vector<std::uint32_t> sends_left(genes.size(), 0);
    std::vector<bool> kept(genes.size(), false);
    agreed(cluster, [&] {
        if (genes.size() > UINT32_MAX) throw std::length_error("error: too many genes for one process.");
        std::unordered_map<const Gene*, std::uint32_t> bin_of;
        for (std::size_t b = 0; b < bins.size(); ++b) {
            for (const Gene* gene : bins[b]) bin_of.emplace(gene, static_cast<std::uint32_t>(b));
        }
        GenesBinList(bins.size()).swap(bins);
        for (std::size_t g = 0; g < genes.size(); ++g) {
            const std::uint32_t bin = bin_of.at(genes[g].get());
            bin_of_gene[g] = bin;
            const int owner = placement.owner[bin];
            for (std::size_t to = 0; to < ranks; ++to) {
                const bool gets = owner == BinPlacement::kShared || static_cast<std::size_t>(owner) == to;
                if (!gets) continue;
                if (to == rank) {
                    kept[g] = true;
                } else {
                    to_send[to].push_back(static_cast<std::uint32_t>(g));
                    ++sends_left[g];
                }
            }
        }
    });

    // In rounds of a bounded number of bytes, so that what is in flight stays small beside
    // the genes themselves.
    constexpr std::size_t kRoundBytes = std::size_t{16} << 20;
    const std::size_t budget = kRoundBytes / (ranks - 1);
    std::vector<std::size_t> next(ranks, 0);
    std::vector<CountMatrix> received(ranks);
    std::vector<std::vector<std::uint32_t>> received_bins(ranks);
    for (;;) {
        std::uint64_t more = 0;
        std::vector<std::string> outgoing = agreed(cluster, [&] {
            std::vector<std::string> messages(ranks);
            for (std::size_t to = 0; to < ranks; ++to) {
                ByteWriter out;
                std::uint64_t count = 0;
                out.put(count);
                while (next[to] < to_send[to].size() && out.size() < budget) {
                    const std::uint32_t g = to_send[to][next[to]++];
                    out.put<std::uint32_t>(bin_of_gene[g]);
                    writeGene(out, *genes[g]);
                    ++count;
                    if (--sends_left[g] == 0 && !kept[g]) genes[g].reset();
                }
                more += next[to] < to_send[to].size();
                out.putAt(0, count);
                messages[to] = out.take();
            }
            return messages;
        });
        std::vector<std::string> incoming = cluster.exchange(std::move(outgoing));
        agreed(cluster, [&] {
            for (std::size_t from = 0; from < ranks; ++from) {
                if (from == rank) continue;
                ByteReader in(incoming[from]);
                const auto n = in.get<std::uint64_t>();
                for (std::uint64_t i = 0; i < n; ++i) {
                    const auto bin = in.get<std::uint32_t>();
                    if (bin >= bins.size())
                        throw std::runtime_error("error: a message between processes names no bin.");
                    received_bins[from].push_back(bin);
                    received[from].push_back(std::make_unique<Gene>(readGeneWithoutPresence(in)));
                }
                std::string().swap(incoming[from]);
            }
        });
        if (sumOverRanks(cluster, {more}).front() == 0) break;
    }

    agreed(cluster, [&] {
        // the ranks' genes in rank order, this one's own in its place: file order
        CountMatrix held;
        for (std::size_t from = 0; from < ranks; ++from) {
            if (from == rank) {
                for (std::size_t g = 0; g < genes.size(); ++g) {
                    if (!kept[g]) continue;
                    bins[bin_of_gene[g]].push_back(genes[g].get());
                    held.push_back(std::move(genes[g]));
                }
                continue;
            }
            for (std::size_t i = 0; i < received[from].size(); ++i) {
                bins[received_bins[from][i]].push_back(received[from][i].get());
                held.push_back(std::move(received[from][i]));
            }
            CountMatrix().swap(received[from]);
        }
        genes = std::move(held);
        // the bits of every gene held, in one block again
        computeSamplePresence(genes, detection_threshold);
    });
}

GeneList genesToClassifyOnRank(const Cluster& cluster, const GenesBinList& bins, const BinPlacement& placement,
                               GeneList all_genes) {
    if (cluster.size() == 1) return all_genes;
    const auto ranks = static_cast<std::size_t>(cluster.size());
    const auto rank = static_cast<std::size_t>(cluster.rank());
    GeneList genes;
    for (std::size_t b = 0; b < bins.size(); ++b) {
        const GenesBin& bin = bins[b];
        if (placement.owner[b] == cluster.rank()) {
            genes.insert(genes.end(), bin.begin(), bin.end());
        } else if (placement.owner[b] == BinPlacement::kShared) {
            const std::size_t n = bin.size();
            genes.insert(genes.end(), bin.begin() + static_cast<std::ptrdiff_t>(n * rank / ranks),
                         bin.begin() + static_cast<std::ptrdiff_t>(n * (rank + 1) / ranks));
        }
    }
    // in the order the genes are held, which is the order their counts lie in memory: read
    // one after the other, they stream through the caches
    std::sort(genes.begin(), genes.end(), [](const Gene* a, const Gene* b) { return a->id < b->id; });
    return genes;
}

}  // namespace varnosk
