#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/ProgressSink.hpp"
#include "matrix/ByteSource.hpp"
#include "matrix/Compression.hpp"
#include "matrix/CountMatrix.hpp"
#include "matrix/LineReader.hpp"

namespace varnosk {

// What the reader learned about the file besides its genes.
struct MatrixFileFacts {
    std::optional<std::string> header;  // the header line without its line feed, when there is one
    bool can_be_read_again = false;     // a regular file: rereadGenes can read it
    Compression compression = Compression::None;
    FileIdentity identity;  // of a regular file: what rereadGenes must find again
};

// Reads the whole count matrix (a gene name then one count per sample on every line,
// optional header line, blank lines skipped, lines of any length), plain text or gzip,
// bzip2, xz or zstd data decoded as it is read. Line numbers are those of the text. Reports
// the share of the file read into `progress`, ending with a report of completion. Throws
// std::runtime_error naming the line when the text is not well formed, naming the file and
// format when compressed data is truncated or corrupt, and when it holds no gene. `facts`,
// when given, receives the header and what kind of file it was.
CountMatrix readCountMatrix(const std::string& path, bool has_header, ProgressSink& progress,
                            MatrixFileFacts* facts = nullptr);
// Reads a plain-text, regular file of `size` bytes in `num_parts` line-aligned parts, each on
// a thread of its own, into what readCountMatrix returns for it: the same genes, ids and facts.
// (readCountMatrix itself does so when each of its threads gets a part of 8 MiB or more.)
// Returns nothing, and holds nothing, when a part holds an error or the parts disagree on the
// number of samples: the file read in one piece then gives the message of its first fault.
std::optional<CountMatrix> readInParts(const std::string& path, bool has_header, std::uint64_t size,
                                       std::uint64_t num_parts, ProgressSink& progress, MatrixFileFacts* facts);
// The same from a reader already open (and not yet read).
CountMatrix readCountMatrix(LineReader& reader, bool has_header, ProgressSink& progress,
                            MatrixFileFacts* facts = nullptr);
// The same from bytes in memory (the fuzz target reads this way).
CountMatrix readCountMatrixFromMemory(std::string_view data, bool has_header, ProgressSink& progress,
                                      MatrixFileFacts* facts = nullptr);

// Reads only the genes whose names `wanted` accepts, plain text or compressed, in one pass:
// each keeps the id the whole read would give it (its position among the data lines, from 1)
// and its counts as written. The first data line sets the number of samples and is checked
// in full, like every kept line; the counts of other lines are not parsed. Throws the whole
// read's error for a kept or first line, "error at line N: 'name' is already at line M ..."
// for a kept name found twice, and "error: genes counts table is empty." for a file without
// data lines. `num_samples` receives the number of samples.
CountMatrix readNamedGenes(const std::string& path, bool has_header,
                           const std::function<bool(std::string_view name)>& wanted, ProgressSink& progress,
                           MatrixFileFacts& facts, std::size_t& num_samples);

// A byte range [begin, end) of a plain-text, regular count matrix file that starts and ends
// on line boundaries: the share of one process when several read one file.
struct MatrixPart {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
};

// The start of the line that holds byte `offset` if the line starts there, else of the next
// line (the file size when there is none). Parts cut at these points hold whole lines.
std::uint64_t lineStartAtOrAfter(const std::string& path, std::uint64_t offset);

// What a first pass over a part finds: its lines (the header included), and the number of
// samples of its first data line when that line parses (0 when it does not or there is none).
struct MatrixPartScan {
    std::uint64_t num_lines = 0;
    bool has_data_line = false;
    std::size_t first_gene_samples = 0;
};
MatrixPartScan scanMatrixPart(const std::string& path, bool has_header, const MatrixPart& part);

// Reads the genes of a part (ids from 1 within it) as readCountMatrix reads the file: the
// header when the part starts the file, error texts naming the line in the whole file
// (`lines_before` lines precede the part), every gene held to `expected_samples` samples
// (0: to its first gene's). An empty part, or one without genes, gives no gene and no error.
CountMatrix readMatrixPart(const std::string& path, bool has_header, const MatrixPart& part, std::uint64_t lines_before,
                           std::size_t expected_samples, ProgressSink& progress, MatrixFileFacts* facts = nullptr);

// Reads the file again for some of the genes a first read made (`genes`, ascending id) and
// calls visit(gene, its counts as written in the file) for each, in order, stopping after
// the last; lines of other genes are not parsed. Throws
// "error: <path> changed during the run: ..." when the path no longer names the regular file
// `first_read` (checked before anything is read, so that a pipe put in its place cannot
// block), or when a gene's line is missing, no longer parses, has another name or number of
// samples, or visit returns false.
void rereadGenes(const std::string& path, bool has_header, const FileIdentity& first_read, const GeneList& genes,
                 ProgressSink& progress,
                 const std::function<bool(const Gene& gene, const std::vector<float>& raw_counts)>& visit);

// Parses one data line (leading white space already skipped) into a gene with the given
// id. Returns nullptr when the line is malformed or holds a negative or non-finite count.
// `expected_samples` only sizes the scratch space.
std::unique_ptr<Gene> parseGeneLine(std::string_view line, std::uint64_t id, std::size_t expected_samples);

}  // namespace varnosk
