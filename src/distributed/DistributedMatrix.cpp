#include "distributed/DistributedMatrix.hpp"

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "common/Shown.hpp"
#include "distributed/Bytes.hpp"
#include "distributed/Collectives.hpp"
#include "distributed/GeneMessages.hpp"
#include "matrix/ByteSource.hpp"
#include "matrix/LineReader.hpp"
#include "matrix/Preprocessing.hpp"
#include "matrix/RareGenesFilter.hpp"

namespace varnosk {
namespace {

// The facts of the root's read, on every rank.
void shareFacts(Cluster& cluster, MatrixFileFacts& facts) {
    ByteWriter out;
    out.put<std::uint8_t>(facts.header.has_value());
    out.putString(facts.header.value_or(""));
    out.put<std::uint8_t>(facts.can_be_read_again);
    out.put<Compression>(facts.compression);
    out.put<FileIdentity>(facts.identity);
    const std::string bytes = cluster.broadcast(cluster.isRoot() ? out.take() : std::string());
    ByteReader in(bytes);
    const bool has_header = in.get<std::uint8_t>() != 0;
    std::string header;
    in.getArray(header);
    facts.header = has_header ? std::optional<std::string>(std::move(header)) : std::nullopt;
    facts.can_be_read_again = in.get<std::uint8_t>() != 0;
    facts.compression = in.get<Compression>();
    facts.identity = in.get<FileIdentity>();
}

// What a rank sees at the matrix path: the ranks split only a file they all see alike.
struct MatrixView {
    bool regular = false;
    Compression compression = Compression::None;
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    bool operator==(const MatrixView&) const = default;
};

MatrixView viewOf(const LineReader& reader) {
    return MatrixView{reader.canBeReadAgain(), reader.compression(), reader.canBeReadAgain() ? reader.size() : 0,
                      reader.canBeReadAgain() ? reader.modificationTime() : 0};
}

// Looks at the path without blocking on a pipe and without reading one.
MatrixView lookAt(const std::string& path) {
    auto file = std::make_unique<FileBytes>(path, FileBytes::Opening::NonBlocking);
    if (!file->isOpen()) {
        throw std::runtime_error(cannotBeRead(path));
    }
    if (!file->isRegularFile()) return MatrixView{};
    return viewOf(LineReader::fromFile(std::move(file), path));
}

std::string described(const MatrixView& view) {
    if (!view.regular) return "no regular file";
    const auto seconds = static_cast<std::time_t>(view.modified);
    std::tm utc{};
    char when[32] = "?";
    if (::gmtime_r(&seconds, &utc) != nullptr) std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return std::string(compressionName(view.compression)) + ", " + std::to_string(view.size) + " bytes, modified " +
           when;
}

// Every rank's view equal to the root's, or the message that names the first that differs.
void checkSameFileOnEveryRank(const std::string& path, const std::vector<MatrixView>& views) {
    for (std::size_t r = 1; r < views.size(); ++r) {
        if (views[r] == views[0]) continue;
        throw std::runtime_error("error: " + shownPath(path) +
                                 " is not the same file for every process: process 0 sees " + described(views[0]) +
                                 ", process " + std::to_string(r) + " " + described(views[r]) +
                                 ". Put the matrix on a file system that every process shares.");
    }
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

}  // namespace

CountMatrix readCountMatrixOnRanks(Cluster& cluster, const std::string& path, bool has_header, ProgressSink& progress,
                                   MatrixFileFacts& facts, MatrixShape& shape) {
    if (cluster.size() == 1) {
        CountMatrix genes = readCountMatrix(path, has_header, progress, &facts);
        shape = MatrixShape{genes.size(), genes.front()->numSamples()};
        return genes;
    }

    // The root alone opens the path first: a pipe can be opened, and read, only once.
    std::optional<LineReader> root_reader;
    const MatrixView root_view = agreed(cluster, [&] {
        if (!cluster.isRoot()) return MatrixView{};
        root_reader.emplace(LineReader::openFile(path));
        return viewOf(*root_reader);
    });
    const MatrixView seen = allGatherValue(cluster, root_view).front();
    // Parts need a regular file of plain text: byte offsets are then offsets into the text.
    CountMatrix mine;
    if (!seen.regular || seen.compression != Compression::None) {
        mine = agreed(cluster, [&] {
            return cluster.isRoot() ? readCountMatrix(*root_reader, has_header, progress, &facts) : CountMatrix();
        });
    } else {
        root_reader.reset();
        // a stale copy or another file on some node would split into parts that do not fit
        const MatrixView view = agreed(cluster, [&] { return cluster.isRoot() ? root_view : lookAt(path); });
        const std::vector<MatrixView> views = allGatherValue(cluster, view);
        agreed(cluster, [&] { checkSameFileOnEveryRank(path, views); });
        const std::uint64_t size = seen.size;
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

std::vector<double> computeMappedReadsOnRanks(Cluster& cluster, const CountMatrix& genes, std::uint64_t num_samples) {
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

}  // namespace varnosk
