#include "distributed/DistributedStages.hpp"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <unordered_map>
#include <utility>
#include <vector>

#include "bins/GenesBinsPrinter.hpp"
#include "common/ParallelSlots.hpp"
#include "compare/SampleBitsets.hpp"
#include "distributed/Bytes.hpp"
#include "matrix/ByteSource.hpp"
#include "matrix/LineReader.hpp"
#include "matrix/Preprocessing.hpp"
#include "matrix/RareGenesFilter.hpp"
#include "seeds/BestPartnerGroups.hpp"
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

// Every rank's value, on every rank, in rank order.
template <typename T>
std::vector<T> allGatherValue(Cluster& cluster, const T& value) {
    ByteWriter out;
    out.put(value);
    std::vector<T> values;
    for (const std::string& part : cluster.allGather(out.take())) values.push_back(ByteReader(part).get<T>());
    return values;
}

// Per rank the genes read: ids within the part become ids in the file, and the first gene
// tells the number of samples of the matrix.
struct PartSize {
    std::uint64_t num_genes = 0;
    std::uint64_t num_samples = 0;
};

MatrixShape numberGenesInFileOrder(Cluster& cluster, CountMatrix& mine) {
    const std::vector<PartSize> sizes =
        allGatherValue(cluster, PartSize{mine.size(), mine.empty() ? 0 : mine.front()->numSamples()});
    MatrixShape shape;
    std::uint64_t genes_before = 0;
    for (int r = 0; r < cluster.size(); ++r) {
        const PartSize& size = sizes[static_cast<std::size_t>(r)];
        if (r < cluster.rank()) genes_before += size.num_genes;
        if (shape.num_genes == 0) shape.num_samples = size.num_samples;
        shape.num_genes += size.num_genes;
    }
    agreed(cluster, [&] {
        if (shape.num_genes == 0) throw std::runtime_error("error: genes counts table is empty.");
        for (auto& gene : mine) gene->id += genes_before;
    });
    return shape;
}

std::vector<std::uint64_t> sumOverRanks(Cluster& cluster, const std::vector<std::uint64_t>& mine) {
    ByteWriter out;
    out.putArray(mine.data(), mine.size());
    std::vector<std::uint64_t> sums(mine.size(), 0);
    std::vector<std::uint64_t> part_values;
    for (const std::string& part : cluster.allGather(out.take())) {
        ByteReader(part).getArray(part_values);
        for (std::size_t i = 0; i < sums.size(); ++i) sums[i] += part_values[i];
    }
    return sums;
}

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

// The same for a bin too large to store its pairs: each rank finds every gene's strongest
// pair in its rows, and the root keeps the strongest of each gene's pairs and goes on from
// there as one process does.
SeedList seedsOfSharedLargeBin(Cluster& cluster, const GenesBin& bin, std::uint64_t min_seed_size,
                               double min_concordance, const ComparisonParameters& parameters) {
    SampleBitsets bitsets;
    const auto ranks = static_cast<std::size_t>(cluster.size());
    const auto rank = static_cast<std::size_t>(cluster.rank());
    const std::string mine = agreed(cluster, [&] {
        bitsets.build(bin, parameters, true);
        const std::vector<std::size_t> shares = rowCuts(bin.size(), 0, bin.size(), ranks);
        const std::vector<GenesPair> strongest =
            strongestPairsOfRows(bin, bitsets, shares[rank], shares[rank + 1], min_concordance, parameters);
        ByteWriter out;
        out.putArray(strongest.data(), strongest.size());
        return out.take();
    });
    std::vector<std::string> parts = cluster.gather(mine);
    return agreed(cluster, [&] {
        if (!cluster.isRoot()) return SeedList();
        std::vector<GenesPair> strongest;
        std::vector<GenesPair> part_strongest;
        for (std::string& part : parts) {
            ByteReader(part).getArray(part_strongest);
            std::string().swap(part);
            if (part_strongest.size() != bin.size()) throw std::runtime_error("error: a message between processes was cut short.");
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
    });
}

// Records that every rank but the root sends it, in rounds of a bounded number of bytes, so
// that no rank holds all it sends a second time as one message. `write_next` writes this
// rank's next record and returns false when it has none left; the root calls `read` on each
// record, each rank's records in the order written (those of different ranks interleave).
template <typename WriteNext, typename Read>
void streamToRoot(Cluster& cluster, WriteNext write_next, Read read) {
    constexpr std::size_t kRoundBytes = std::size_t{16} << 20;
    bool done = cluster.isRoot();
    for (;;) {
        std::string round = agreed(cluster, [&] {
            ByteWriter out;
            std::uint64_t count = 0;
            out.put(count);
            while (!done && out.size() < kRoundBytes) {
                // each record after its length, written in place
                const std::size_t at = out.size();
                out.put<std::uint64_t>(0);
                if (!write_next(out)) {
                    out.putAt<std::uint64_t>(at, 0);
                    done = true;
                    break;
                }
                out.putAt<std::uint64_t>(at, out.size() - at - sizeof(std::uint64_t));
                ++count;
            }
            out.putAt(0, count);
            return out.take();
        });
        std::vector<std::string> parts = cluster.gather(std::move(round));
        agreed(cluster, [&] {
            for (std::size_t from = 1; from < parts.size(); ++from) {
                ByteReader in(parts[from]);
                const auto count = in.get<std::uint64_t>();
                for (std::uint64_t i = 0; i < count; ++i) {
                    ByteReader record = in.takeRecord();
                    read(from, record);
                }
                std::string().swap(parts[from]);
            }
        });
        if (countGenesOnRanks(cluster, done ? 0 : 1) == 0) return;
    }
}

}  // namespace

CountMatrix readCountMatrixOnRanks(Cluster& cluster, const std::string& path, bool has_header,
                                   ProgressSink& progress, MatrixFileFacts& facts, MatrixShape& shape) {
    if (cluster.size() == 1) {
        CountMatrix genes = readCountMatrix(path, has_header, progress, &facts);
        shape = MatrixShape{genes.size(), genes.front()->numSamples()};
        return genes;
    }

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
        const std::vector<MatrixPartScan> scans = allGatherValue(cluster, scan);
        std::uint64_t lines_before = 0;
        std::size_t expected_samples = 0;
        bool first_gene_before = false;
        for (std::uint64_t r = 0; r < rank; ++r) {
            const MatrixPartScan& other = scans[r];
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
    shape = numberGenesInFileOrder(cluster, mine);
    return mine;
}

std::vector<double> computeMappedReadsOnRanks(Cluster& cluster, const CountMatrix& genes,
                                              std::uint64_t num_samples) {
    if (cluster.size() == 1) return computeMappedReads(genes);
    const std::vector<double> zeros(num_samples, 0.0);
    ByteWriter first;
    first.putArray(zeros.data(), zeros.size());
    const std::string sums_bytes = cluster.passAlong(first.take(), [&](std::string bytes) {
        std::vector<double> sums;
        ByteReader(bytes).getArray(sums);
        addCountsPerSample(genes, sums);
        ByteWriter out;
        out.putArray(sums.data(), sums.size());
        return out.take();
    });
    return agreed(cluster, [&] {
        std::vector<double> sums;
        ByteReader(sums_bytes).getArray(sums);
        return mappedReadsFromSums(std::move(sums));
    });
}

std::uint64_t countGenesOnRanks(Cluster& cluster, std::uint64_t num_genes) {
    if (cluster.size() == 1) return num_genes;
    return sumOverRanks(cluster, {num_genes}).front();
}

void printFilteredOutGenesOnRanks(Cluster& cluster, const CountMatrix& removed, const OutputDirectory& output_dir,
                                  const std::string& file_name) {
    if (cluster.size() == 1) {
        printFilteredOutGenes(removed, output_dir, file_name);
        return;
    }
    ByteWriter out;
    if (!cluster.isRoot()) {
        out.put<std::uint64_t>(removed.size());
        for (const auto& gene : removed) writeGeneName(out, *gene);
    }
    std::vector<std::string> parts = cluster.gather(out.take());
    agreed(cluster, [&] {
        if (!cluster.isRoot()) return;
        // the parts are consecutive in file order, the root's first
        CountMatrix named;
        for (const auto& gene : removed) named.push_back(std::make_unique<Gene>(Gene{gene->id, gene->name, {}, {}}));
        for (std::size_t r = 1; r < parts.size(); ++r) {
            ByteReader in(parts[r]);
            const auto n = in.get<std::uint64_t>();
            for (std::uint64_t i = 0; i < n; ++i) named.push_back(std::make_unique<Gene>(readGeneName(in)));
            std::string().swap(parts[r]);
        }
        printFilteredOutGenes(named, output_dir, file_name);
    });
}

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
                    if (bin >= bins.size()) throw std::runtime_error("error: a message between processes names no bin.");
                    received_bins[from].push_back(bin);
                    received[from].push_back(std::make_unique<Gene>(readGeneWithoutPresence(in)));
                }
                std::string().swap(incoming[from]);
            }
        });
        if (countGenesOnRanks(cluster, more) == 0) break;
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
    return genes;
}

MspList createMspsOnRanks(Cluster& cluster, const MspCreator& creator, const SeedRefs& core_seeds,
                          const GeneList& genes, const ComparisonParameters& parameters, ProgressSink& progress,
                          CountMatrix& borrowed, GenesById& known) {
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
        std::sort(to_send.begin(), to_send.end(), [](const auto& a, const auto& b) { return a.first->id < b.first->id; });
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
                if (s >= taken_lists.size()) throw std::runtime_error("error: a message between processes names no core seed.");
                taken_lists[s].insert(taken_lists[s].end(), list.begin(), list.end());
                return;
            }
            Gene gene = record == kProfile ? readGene(in, parameters.detection_threshold) : readGeneName(in);
            // a gene the root already holds (a seed member, a gene of a shared bin) keeps it
            if (known.holds(gene.id)) return;
            borrowed.push_back(std::make_unique<Gene>(std::move(gene)));
            known.add(GeneList{borrowed.back().get()});
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
        for (const std::uint64_t id : ids) taken_genes.push_back(known.find(id));
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
