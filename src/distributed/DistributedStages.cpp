#include "distributed/DistributedStages.hpp"

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
#include "distributed/GeneMessages.hpp"
#include "matrix/ByteSource.hpp"
#include "matrix/LineReader.hpp"
#include "seeds/PairGraph.hpp"
#include "seeds/SeedsCreator.hpp"

namespace varnosk {
namespace {

// The facts of the root's read, on every rank.
void shareFacts(Cluster& cluster, MatrixFileFacts& facts) {
    ByteWriter out;
    out.put<std::uint8_t>(facts.header.has_value());
    out.putString(facts.header.value_or(""));
    out.put<std::uint8_t>(facts.can_be_read_again);
    out.put<Compression>(facts.compression);
    const std::string bytes = cluster.broadcast(cluster.isRoot() ? out.take() : std::string());
    ByteReader in(bytes);
    const bool has_header = in.get<std::uint8_t>() != 0;
    std::string header;
    in.getArray(header);
    facts.header = has_header ? std::optional<std::string>(std::move(header)) : std::nullopt;
    facts.can_be_read_again = in.get<std::uint8_t>() != 0;
    facts.compression = in.get<Compression>();
}

// Every rank's genes, on every rank, in rank order: the file order of the parts.
CountMatrix shareGenes(Cluster& cluster, const CountMatrix& mine) {
    std::vector<std::string> parts = cluster.allGather(encodeGenes(mine));
    return agreed(cluster, [&] {
        CountMatrix genes;
        for (std::string& part : parts) {
            decodeGenes(part, genes);
            std::string().swap(part);
        }
        if (genes.empty()) throw std::runtime_error("error: genes counts table is empty.");
        return genes;
    });
}

std::uint64_t numPairs(std::size_t n) { return n < 2 ? 0 : static_cast<std::uint64_t>(n) * (n - 1) / 2; }

// Cuts rows [begin, end) of a bin of n genes (row i has n - 1 - i pairs) into `parts` ranges
// of about equal pairs: parts + 1 cuts, the first `begin`, the last `end`.
std::vector<std::size_t> rowCuts(std::size_t n, std::size_t begin, std::size_t end, std::size_t parts) {
    std::uint64_t total = 0;
    for (std::size_t i = begin; i < end; ++i) total += n - 1 - i;
    std::vector<std::size_t> cuts{begin};
    std::uint64_t done = 0;
    for (std::size_t i = begin; i < end && cuts.size() < parts; ++i) {
        done += n - 1 - i;
        while (cuts.size() < parts && done * parts >= total * cuts.size()) cuts.push_back(i + 1);
    }
    while (cuts.size() < parts) cuts.push_back(end);
    cuts.push_back(end);
    return cuts;
}

// The seeds of one bin whose pair rows every rank shares: each finds the pairs of its rows,
// the root gathers them in row order, as one process finds them, and makes the seeds.
SeedList seedsOfSharedBin(Cluster& cluster, const GenesBin& bin, std::uint64_t min_seed_size,
                          double min_concordance, const ComparisonParameters& parameters) {
    SampleBitsets bitsets;
    const auto ranks = static_cast<std::size_t>(cluster.size());
    const auto rank = static_cast<std::size_t>(cluster.rank());
    const std::string mine = agreed(cluster, [&] {
        bitsets.build(bin, parameters, true);
        const std::vector<std::size_t> shares = rowCuts(bin.size(), 0, bin.size(), ranks);
        // blocks for the threads of this rank, as one process cuts a large bin
        constexpr std::size_t kRowBlocks = 64;
        const std::vector<std::size_t> ends = rowCuts(bin.size(), shares[rank], shares[rank + 1], kRowBlocks);
        std::vector<std::vector<GenesPair>> blocks = computeInParallelSlots<std::vector<GenesPair>>(
            kRowBlocks, [&] { return SeedsCreator(min_seed_size, min_concordance, parameters); },
            [&](SeedsCreator& worker, std::size_t k) {
                std::vector<GenesPair> found;
                worker.findPairs(bin, bitsets, ends[k], ends[k + 1], found);
                return found;
            },
            [](std::uint64_t, std::uint64_t) {});
        std::vector<GenesPair> pairs;
        for (auto& block : blocks) {
            pairs.insert(pairs.end(), block.begin(), block.end());
            std::vector<GenesPair>().swap(block);
        }
        ByteWriter out;
        out.putArray(pairs.data(), pairs.size());
        return out.take();
    });
    std::vector<std::string> parts = cluster.gather(mine);
    return agreed(cluster, [&] {
        if (!cluster.isRoot()) return SeedList();
        std::vector<GenesPair> pairs;
        std::vector<GenesPair> part_pairs;
        for (std::string& part : parts) {
            ByteReader(part).getArray(part_pairs);
            std::string().swap(part);
            pairs.insert(pairs.end(), part_pairs.begin(), part_pairs.end());
        }
        return SeedsCreator(min_seed_size, min_concordance, parameters).seedsFromPairs(bin, bitsets, pairs);
    });
}

}  // namespace

CountMatrix readCountMatrixOnRanks(Cluster& cluster, const std::string& path, bool has_header,
                                   ProgressSink& progress, MatrixFileFacts& facts) {
    if (cluster.size() == 1) return readCountMatrix(path, has_header, progress, &facts);

    // Parts need a regular file of plain text: byte offsets are then offsets into the text.
    const std::uint64_t file_size = agreed(cluster, [&]() -> std::uint64_t {
        const LineReader reader = LineReader::openFile(path);
        return reader.canBeReadAgain() && reader.compression() == Compression::None ? reader.size() + 1 : 0;
    });
    CountMatrix mine;
    if (file_size == 0) {
        mine = agreed(cluster, [&] {
            return cluster.isRoot() ? readCountMatrix(path, has_header, progress, &facts) : CountMatrix();
        });
    } else {
        const std::uint64_t size = file_size - 1;
        const auto ranks = static_cast<std::uint64_t>(cluster.size());
        const auto rank = static_cast<std::uint64_t>(cluster.rank());
        const MatrixPart part = agreed(cluster, [&] {
            return MatrixPart{lineStartAtOrAfter(path, size * rank / ranks),
                              rank + 1 == ranks ? size : lineStartAtOrAfter(path, size * (rank + 1) / ranks)};
        });
        // A first pass counts the lines before each part, for error messages naming lines of
        // the whole file, and finds the first gene's number of samples, which every gene must have.
        const MatrixPartScan scan = agreed(cluster, [&] { return scanMatrixPart(path, has_header, part); });
        ByteWriter scan_bytes;
        scan_bytes.put(scan);
        const std::vector<std::string> scans = cluster.allGather(scan_bytes.take());
        std::uint64_t lines_before = 0;
        std::size_t expected_samples = 0;
        bool first_gene_before = false;
        for (std::uint64_t r = 0; r < rank; ++r) {
            const auto other = ByteReader(scans[r]).get<MatrixPartScan>();
            lines_before += other.num_lines;
            if (other.has_data_line && !first_gene_before) {
                expected_samples = other.first_gene_samples;
                first_gene_before = true;
            }
        }
        // 0 when the first data line fails to parse: nobody knows the count, and that line's
        // own error, the first of the file, ends the run.
        mine = agreed(cluster, [&] {
            MatrixFileFacts part_facts;
            CountMatrix genes =
                readMatrixPart(path, has_header, part, lines_before, expected_samples, progress, &part_facts);
            if (cluster.isRoot()) facts = std::move(part_facts);
            return genes;
        });
    }
    shareFacts(cluster, facts);
    return shareGenes(cluster, mine);
}

SeedList createSeedsOnRanks(Cluster& cluster, const GenesBinList& bins, const GeneList& genes,
                            std::uint64_t min_seed_size, double min_concordance,
                            const ComparisonParameters& parameters, ProgressSink& progress) {
    if (cluster.size() == 1) return createAllSeeds(bins, min_seed_size, min_concordance, parameters, progress);

    // A bin with more pairs than a rank's share, whose pairs are few enough to be stored, has
    // its rows split across the ranks. (Larger bins find groups by best partners, a step that
    // needs the whole bin: they stay on one rank.)
    const auto ranks = static_cast<std::uint64_t>(cluster.size());
    std::uint64_t total_pairs = 0;
    for (const GenesBin& bin : bins) total_pairs += numPairs(bin.size());
    const SeedsCreator judge(min_seed_size, min_concordance, parameters);
    std::vector<std::pair<std::uint32_t, SeedList>> shared_seeds;
    std::vector<bool> shared(bins.size(), false);
    for (std::size_t b = 0; b < bins.size(); ++b) {
        const GenesBin& bin = bins[b];
        constexpr std::size_t kMinSharedBin = 64;
        if (bin.size() < kMinSharedBin || numPairs(bin.size()) * ranks <= total_pairs) continue;
        if (agreed(cluster, [&] { return judge.skipsBin(bin) || !SeedsCreator::storesPairs(bin); })) continue;
        shared[b] = true;
        shared_seeds.emplace_back(static_cast<std::uint32_t>(b),
                                  seedsOfSharedBin(cluster, bin, min_seed_size, min_concordance, parameters));
    }

    // The other bins come largest first: each goes to the rank with the fewest pairs so far
    // (the lowest rank among equals), the same deal on every rank.
    std::vector<std::uint64_t> load(static_cast<std::size_t>(cluster.size()), 0);
    GenesBinList my_bins(bins.size());
    std::unordered_map<const Gene*, std::uint32_t> bin_of;
    for (std::size_t b = 0; b < bins.size(); ++b) {
        if (shared[b]) continue;
        const auto owner = static_cast<std::size_t>(std::min_element(load.begin(), load.end()) - load.begin());
        load[owner] += numPairs(bins[b].size()) + 1;
        if (owner != static_cast<std::size_t>(cluster.rank())) continue;
        my_bins[b] = bins[b];  // the others stay empty and make no seed
        for (const Gene* gene : bins[b]) bin_of.emplace(gene, static_cast<std::uint32_t>(b));
    }
    const std::string mine = agreed(cluster, [&] {
        const SeedList seeds = createAllSeeds(my_bins, min_seed_size, min_concordance, parameters, progress);
        ByteWriter out;
        out.put<std::uint64_t>(seeds.size());
        for (const auto& seed : seeds) {
            // a seed holds genes of its own bin only
            out.put<std::uint32_t>(bin_of.at(seed->genes.front()));
            writeSeed(out, *seed);
        }
        return out.take();
    });

    std::vector<std::string> parts = cluster.gather(mine);
    return agreed(cluster, [&] {
        std::vector<std::pair<std::uint32_t, std::unique_ptr<Seed>>> tagged;
        for (auto& [bin, seeds] : shared_seeds) {
            for (auto& seed : seeds) tagged.emplace_back(bin, std::move(seed));
        }
        const GenesById by_id(genes);
        for (const std::string& part : parts) {
            ByteReader in(part);
            const auto n = in.get<std::uint64_t>();
            for (std::uint64_t i = 0; i < n; ++i) {
                const auto bin = in.get<std::uint32_t>();
                tagged.emplace_back(bin, std::make_unique<Seed>(readSeed(in, by_id, parameters.detection_threshold)));
            }
        }
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

MspList createMspsOnRanks(Cluster& cluster, const MspCreator& creator, const SeedRefs& core_seeds,
                          const GeneList& genes, const ComparisonParameters& parameters, ProgressSink& progress) {
    if (cluster.size() == 1) return creator.createMsps(core_seeds, genes, parameters, progress);

    ByteWriter out;
    if (cluster.isRoot()) {
        out.put<std::uint64_t>(core_seeds.size());
        for (const Seed* seed : core_seeds) writeGene(out, seed->representative);
    }
    const std::string bytes = cluster.broadcast(out.take());
    const auto ranks = static_cast<std::uint64_t>(cluster.size());
    const auto rank = static_cast<std::uint64_t>(cluster.rank());
    const std::string mine = agreed(cluster, [&] {
        ByteReader in(bytes);
        std::vector<Gene> representatives(in.get<std::uint64_t>());
        GeneList references;
        for (Gene& representative : representatives) {
            representative = readGene(in, parameters.detection_threshold);
            references.push_back(&representative);
        }
        const std::uint64_t n = genes.size();
        const TakenGenes taken =
            creator.classifyGenes(references, genes, n * rank / ranks, n * (rank + 1) / ranks, parameters, progress);
        ByteWriter lists;
        for (const auto& list : taken) lists.putArray(list.data(), list.size());
        return lists.take();
    });

    std::vector<std::string> parts = cluster.gather(mine);
    return agreed(cluster, [&] {
        if (!cluster.isRoot()) return MspList();
        // the slices are consecutive: their lists in rank order are those of all genes
        TakenGenes taken(core_seeds.size());
        std::vector<TakenGene> list;
        for (const std::string& part : parts) {
            ByteReader in(part);
            for (auto& seed_list : taken) {
                in.getArray(list);
                seed_list.insert(seed_list.end(), list.begin(), list.end());
            }
        }
        return creator.buildMsps(std::move(taken), genes, parameters);
    });
}

}  // namespace varnosk
