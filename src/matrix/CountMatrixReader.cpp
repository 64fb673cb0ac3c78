#include "matrix/CountMatrixReader.hpp"

#include "common/ParallelSlots.hpp"
#include "common/Shown.hpp"
#include "matrix/ByteSource.hpp"
#include "matrix/LineReader.hpp"

#include <omp.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

namespace varnosk {
namespace {

// A plain-text file is parsed in line-aligned parts, one per thread, when each part holds at
// least this many bytes: below, the threads would cost more than they save.
constexpr std::uint64_t kMinBytesPerPart = std::uint64_t{8} << 20;
// Reserved up front so that matrices of up to this many genes never grow the list.
constexpr std::size_t kReservedGenes = 1'000'000;
// Capacity hint for the counts of the first line.
constexpr std::size_t kFirstLineSamples = 700;
// The progress line is redrawn at most once per this much processor time.
constexpr std::clock_t kProgressInterval = 2 * CLOCKS_PER_SEC;
// clock() is a system call: look at it only every this many lines.
constexpr std::uint64_t kLinesPerClockCheck = 64;

// White space as isspace() knows it in the classic locale.
inline bool isBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

enum class ParseStatus { Ok, Malformed, InvalidCount };

struct ParseResult {
    ParseStatus status = ParseStatus::Ok;
    std::string_view bad_token;  // the offending count, for InvalidCount
    std::size_t column = 0;      // its column, the gene name being column 1
};

// Counts are decimal: strtof would also take hexadecimal ("0x10", "+0X1A", "0x1p4").
bool isHexadecimal(const char* p, const char* end) {
    if (p < end && (*p == '+' || *p == '-')) ++p;
    return p + 1 < end && p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
}

// A negative spelling whose mantissa is not zero ("-1e-50") underflows to -0, yet is no count.
bool isNegativeNonZero(const char* p, const char* stop) {
    if (p == stop || *p != '-') return false;
    for (++p; p < stop && *p != 'e' && *p != 'E'; ++p) {
        if (*p >= '1' && *p <= '9') return true;
    }
    return false;
}

// Converts through strtof itself: the token is copied so that strtof sees a terminated
// string (the caller's text need not be). Only reached for rare spellings.
const char* convertWithStrtof(const char* begin, const char* end, float& value) {
    const char* token_end = begin;
    while (token_end < end && !isBlank(*token_end)) ++token_end;
    const std::string token(begin, token_end);
    char* stop = nullptr;
    value = std::strtof(token.c_str(), &stop);
    return begin + (stop - token.c_str());
}

// Converts the number that starts at `begin` exactly as strtof would in the classic locale
// (same accepted prefix, same rounded value) and returns where the conversion stopped;
// returns `begin` when nothing could be converted. Plain integers of up to 7 digits are
// exact in single precision, so they are converted directly; other decimal spellings go
// through from_chars, which rounds correctly like strtof; signs from_chars does not take,
// hexadecimal, infinities, not-a-number and out-of-range values go to strtof itself.
const char* convertCount(const char* begin, const char* end, float& value) {
    const char* p = begin;
    std::uint32_t integer = 0;
    while (p < end && p - begin < 7 && isDigit(*p)) {
        integer = integer * 10 + static_cast<std::uint32_t>(*p - '0');
        ++p;
    }
    if (p != begin && (p == end || isBlank(*p))) {
        value = static_cast<float>(integer);
        return p;
    }

    const char* number = begin;
    if (*number == '+') ++number;  // from_chars refuses a leading '+'
    const char* mantissa = number;
    if (mantissa < end && *mantissa == '-') {
        if (number != begin) return convertWithStrtof(begin, end, value);  // "+-"
        ++mantissa;
    }
    const bool decimal = mantissa < end && (isDigit(*mantissa) || *mantissa == '.');
    const bool hexadecimal = mantissa + 1 < end && mantissa[0] == '0' && (mantissa[1] == 'x' || mantissa[1] == 'X');
    if (decimal && !hexadecimal) {
        const auto [stop, error] = std::from_chars(number, end, value, std::chars_format::general);
        if (error == std::errc()) return stop;
    }
    return convertWithStrtof(begin, end, value);
}

// Parses the counts of `text` (what follows the gene name) into `counts`.
ParseResult parseCounts(const char* p, const char* end, std::vector<float>& counts) {
    counts.clear();
    while (p < end && isBlank(*p)) ++p;
    while (p < end) {
        // Most counts are small integers: exact in single precision, nothing to check.
        if (p + 1 < end && isDigit(p[0]) && isBlank(p[1])) {
            counts.push_back(static_cast<float>(p[0] - '0'));
            p += 2;
            while (p < end && isBlank(*p)) ++p;
            continue;
        }
        float value = 0.0f;
        const char* stop = convertCount(p, end, value);
        if (stop == p) return {ParseStatus::Malformed, {}};
        if (stop < end && !isBlank(*stop)) return {ParseStatus::Malformed, {}};
        if (!(value >= 0.0f) || std::isinf(value) || isHexadecimal(p, stop) || isNegativeNonZero(p, stop)) {
            return {ParseStatus::InvalidCount, std::string_view(p, static_cast<std::size_t>(stop - p)),
                    counts.size() + 2};
        }
        // + 0.0f turns "-0" into +0, so no count carries a sign.
        counts.push_back(value + 0.0f);
        p = stop;
        while (p < end && isBlank(*p)) ++p;
    }
    return {};
}

std::size_t nameLength(std::string_view line) {
    std::size_t length = 0;
    while (length < line.size() && !isBlank(line[length])) ++length;
    return length;
}

// Parses one line into a new gene, using `scratch` for the counts so that the gene's own
// array is allocated once, at its exact size.
std::unique_ptr<Gene> parseLine(std::string_view line, std::uint64_t id, std::vector<float>& scratch,
                                ParseResult& result) {
    const std::size_t name_length = nameLength(line);
    result = parseCounts(line.data() + name_length, line.data() + line.size(), scratch);
    if (result.status != ParseStatus::Ok) return nullptr;
    auto gene = std::make_unique<Gene>();
    gene->id = id;
    gene->name.assign(line.data(), name_length);
    gene->counts.assign(scratch.begin(), scratch.end());
    return gene;
}

std::string atLine(std::uint64_t line_number) { return "error at line " + std::to_string(line_number) + ": "; }

// Only a line feed ends a line (a carriage return before it is allowed): a file with lone
// carriage returns would otherwise be read as one huge line.
bool hasLoneCarriageReturn(std::string_view line) {
    const std::size_t found = line.find('\r');
    return found != std::string_view::npos && found + 1 < line.size();
}

void checkLineEnd(std::string_view line, std::uint64_t line_number) {
    if (hasLoneCarriageReturn(line)) {
        throw std::runtime_error(atLine(line_number) +
                                 "carriage return inside the line (lone carriage return line ends are not supported).");
    }
}

// Draws progress at most once per kProgressInterval of processor time, looking at the clock
// only every kLinesPerClockCheck lines.
class ThrottledProgress {
public:
    ThrottledProgress(const LineReader& reader, ProgressSink& progress) : reader_(reader), progress_(progress) {}
    void afterLine() {
        if (++lines_since_clock_ != kLinesPerClockCheck) return;
        lines_since_clock_ = 0;
        if (std::clock() > deadline_ && reader_.size() > 0) {
            progress_.update(std::min(reader_.position(), reader_.size()), reader_.size());
            deadline_ = std::clock() + kProgressInterval;
        }
    }

private:
    const LineReader& reader_;
    ProgressSink& progress_;
    std::clock_t deadline_ = std::clock() + kProgressInterval;
    std::uint64_t lines_since_clock_ = 0;
};

// The line number and text of the next data line (blank lines are skipped, but counted).
// `check_line_end` sees each line first.
template <typename CheckLineEnd = decltype(&checkLineEnd)>
bool nextDataLine(LineReader& reader, std::uint64_t& line_number, std::string_view& line, std::size_t& start,
                  CheckLineEnd check_line_end = &checkLineEnd) {
    while (reader.next(line)) {
        ++line_number;
        check_line_end(line, line_number);
        start = 0;
        while (start < line.size() && isBlank(line[start])) ++start;
        if (start < line.size()) return true;
    }
    return false;
}

// The header line, or nothing when there is none (or the file is empty).
std::optional<std::string> readHeader(LineReader& reader, bool has_header, std::uint64_t& line_number) {
    std::string_view line;
    if (!has_header || !reader.next(line)) return std::nullopt;
    line_number = 1;
    checkLineEnd(line, line_number);
    return std::string(line);
}

// Parses one data line into a gene, or throws the error of that line. `expected_samples` is
// 0 when any number of samples is accepted (the first gene).
std::unique_ptr<Gene> parseDataLine(std::string_view line, std::size_t start, std::uint64_t line_number,
                                    std::uint64_t id, std::size_t expected_samples, std::vector<float>& scratch) {
    // the name is the first tab-separated field: a line starting with a tab has none
    if (line[0] == '\t') throw std::runtime_error(atLine(line_number) + "empty gene name.");
    ParseResult result;
    auto gene = parseLine(line.substr(start), id, scratch, result);
    if (result.status == ParseStatus::Malformed) throw std::runtime_error(atLine(line_number) + "malformed data.");
    if (result.status == ParseStatus::InvalidCount) {
        throw std::runtime_error("error at line " + std::to_string(line_number) + ", column " +
                                 std::to_string(result.column) + ": invalid count '" + shown(result.bad_token) +
                                 "' (counts must be decimal, finite and non-negative).");
    }
    // Later stages need at least one sample; a matrix of names alone is not a count table.
    if (gene->numSamples() == 0) {
        throw std::runtime_error(atLine(line_number) + "'" + shown(gene->name) + "' has no sample counts.");
    }
    if (expected_samples != 0 && gene->numSamples() != expected_samples) {
        throw std::runtime_error(atLine(line_number) + "'" + shown(gene->name) + "' has " +
                                 std::to_string(gene->numSamples()) + " samples while " +
                                 std::to_string(expected_samples) + " samples were expected.");
    }
    return gene;
}

// What a read learned about the file besides its genes, once it reached the end.
void recordFacts(const LineReader& reader, std::optional<std::string> header, MatrixFileFacts& facts) {
    facts.header = std::move(header);
    facts.can_be_read_again = reader.canBeReadAgain();
    facts.compression = reader.compression();
    facts.identity = reader.identity();
}

// Where reading starts: line numbers and the sample count of genes before the reader's
// first line, when it reads a part of the file.
struct ReadStart {
    bool reads_header = false;
    std::uint64_t lines_before = 0;
    std::size_t expected_samples = 0;  // 0: the first gene read sets it
};

// The genes of the reader's lines, ids from 1; no gene at all is no error here.
CountMatrix readGenes(LineReader& reader, const ReadStart& start_at, ProgressSink& progress, MatrixFileFacts* facts) {
    CountMatrix genes;
    try {
        genes.reserve(kReservedGenes);
        std::uint64_t line_number = start_at.lines_before;
        std::optional<std::string> header = readHeader(reader, start_at.reads_header, line_number);

        std::uint64_t next_id = 1;
        std::size_t expected_samples = start_at.expected_samples;
        std::vector<float> scratch;
        scratch.reserve(expected_samples != 0 ? expected_samples : kFirstLineSamples);
        ThrottledProgress throttled(reader, progress);
        std::string_view line;
        std::size_t start = 0;
        while (nextDataLine(reader, line_number, line, start)) {
            genes.push_back(parseDataLine(line, start, line_number, next_id, expected_samples, scratch));
            ++next_id;
            expected_samples = genes.back()->counts.size();
            throttled.afterLine();
        }
        if (facts != nullptr) {
            recordFacts(reader, std::move(header), *facts);
        }
    } catch (const std::runtime_error&) {
        // garbage from a damaged archive is no malformed matrix: the archive fault comes first
        reader.checkRest();
        throw;
    }
    progress.update(1, 1);
    return genes;
}

CountMatrix readLines(LineReader& reader, bool has_header, ProgressSink& progress, MatrixFileFacts* facts) {
    CountMatrix genes = readGenes(reader, ReadStart{has_header, 0, 0}, progress, facts);
    if (genes.empty()) throw std::runtime_error("error: genes counts table is empty.");
    return genes;
}

[[noreturn]] void changedDuringTheRun(const std::string& path, const std::string& what) {
    throw std::runtime_error("error: " + shownPath(path) + " changed during the run: " + what + ".");
}

}  // namespace

std::unique_ptr<Gene> parseGeneLine(std::string_view line, std::uint64_t id, std::size_t expected_samples) {
    std::vector<float> scratch;
    scratch.reserve(expected_samples);
    ParseResult result;
    return parseLine(line, id, scratch, result);
}

CountMatrix readCountMatrix(const std::string& path, bool has_header, ProgressSink& progress, MatrixFileFacts* facts) {
    LineReader reader = LineReader::openFile(path);
    if (reader.canBeReadAgain() && reader.compression() == Compression::None) {
        const auto threads = static_cast<std::uint64_t>(std::max(1, omp_get_max_threads()));
        const std::uint64_t parts = std::min(threads, reader.size() / kMinBytesPerPart);
        if (parts > 1) {
            if (auto genes = readInParts(path, has_header, reader.size(), parts, progress, facts))
                return std::move(*genes);
        }
    }
    return readLines(reader, has_header, progress, facts);
}

std::optional<CountMatrix> readInParts(const std::string& path, bool has_header, std::uint64_t size,
                                       std::uint64_t num_parts, ProgressSink& progress, MatrixFileFacts* facts) {
    std::vector<std::uint64_t> cuts = {0};
    for (std::uint64_t k = 1; k < num_parts; ++k) cuts.push_back(lineStartAtOrAfter(path, size * k / num_parts));
    cuts.push_back(size);
    struct PartRead {
        CountMatrix genes;
        MatrixFileFacts facts;
        bool failed = false;
    };
    struct : ProgressSink {
        void update(std::uint64_t, std::uint64_t) override {}
    } quiet;
    std::vector<PartRead> parts = computeInParallelSlots<PartRead>(
        num_parts, [] { return 0; },
        [&](int, std::size_t k) {
            PartRead part;
            try {
                // line numbers and the sample count are the part's own: only a part read
                // without error is kept, and a file with an error is read again in one piece
                part.genes = readMatrixPart(path, has_header, MatrixPart{cuts[k], cuts[k + 1]}, 0, 0,
                                            k == 0 ? progress : quiet, &part.facts);
            } catch (const std::runtime_error&) {
                part.failed = true;
            }
            return part;
        },
        [](std::uint64_t, std::uint64_t) {});
    std::size_t total = 0;
    std::size_t samples = 0;
    for (const PartRead& part : parts) {
        if (part.failed) return std::nullopt;
        if (part.genes.empty()) continue;
        if (samples == 0) samples = part.genes.front()->numSamples();
        if (part.genes.front()->numSamples() != samples) return std::nullopt;
        total += part.genes.size();
    }
    if (total == 0) return std::nullopt;
    CountMatrix genes;
    genes.reserve(total);
    for (PartRead& part : parts) {
        for (auto& gene : part.genes) {
            gene->id = genes.size() + 1;
            genes.push_back(std::move(gene));
        }
        CountMatrix().swap(part.genes);
    }
    if (facts != nullptr) *facts = std::move(parts.front().facts);
    return genes;
}

CountMatrix readCountMatrix(LineReader& reader, bool has_header, ProgressSink& progress, MatrixFileFacts* facts) {
    return readLines(reader, has_header, progress, facts);
}

CountMatrix readCountMatrixFromMemory(std::string_view data, bool has_header, ProgressSink& progress,
                                      MatrixFileFacts* facts) {
    LineReader reader = LineReader::fromMemory(data, "<memory>");
    return readLines(reader, has_header, progress, facts);
}

CountMatrix readNamedGenes(const std::string& path, bool has_header,
                           const std::function<bool(std::string_view name)>& wanted, ProgressSink& progress,
                           MatrixFileFacts& facts, std::size_t& num_samples) {
    LineReader reader = LineReader::openFile(path);
    CountMatrix genes;
    try {
        std::uint64_t line_number = 0;
        std::optional<std::string> header = readHeader(reader, has_header, line_number);
        std::unordered_map<std::string, std::uint64_t> line_of_name;
        std::uint64_t next_id = 1;
        std::size_t expected_samples = 0;
        std::vector<float> scratch;
        scratch.reserve(kFirstLineSamples);
        ThrottledProgress throttled(reader, progress);
        std::string_view line;
        std::size_t start = 0;
        for (; nextDataLine(reader, line_number, line, start); ++next_id) {
            throttled.afterLine();
            const std::string_view name = line.substr(start, nameLength(line.substr(start)));
            const bool keep = wanted(name);
            if (!keep && expected_samples != 0) continue;
            auto gene = parseDataLine(line, start, line_number, next_id, expected_samples, scratch);
            expected_samples = gene->counts.size();
            if (!keep) continue;
            const auto [seen, first] = line_of_name.emplace(gene->name, line_number);
            if (!first) {
                throw std::runtime_error(atLine(line_number) + "'" + shown(gene->name) + "' is already at line " +
                                         std::to_string(seen->second) +
                                         ": a gene the MSP set names must be on one line of the count matrix.");
            }
            genes.push_back(std::move(gene));
        }
        if (expected_samples == 0) throw std::runtime_error("error: genes counts table is empty.");
        num_samples = expected_samples;
        recordFacts(reader, std::move(header), facts);
    } catch (const std::runtime_error&) {
        reader.checkRest();
        throw;
    }
    progress.update(1, 1);
    return genes;
}

std::uint64_t lineStartAtOrAfter(const std::string& path, std::uint64_t offset) {
    if (offset == 0) return 0;
    FileBytes file(path);
    if (!file.isOpen() || !file.isRegularFile()) {
        throw std::runtime_error(cannotBeRead(path));
    }
    if (offset >= file.size()) return file.size();
    // the line that holds byte offset - 1 ends at the first line feed from there
    FileBytes rest(path, offset - 1, file.size());
    std::vector<char> block(std::size_t{1} << 16);
    std::uint64_t position = offset - 1;
    for (;;) {
        const std::size_t got = rest.read(block.data(), block.size());
        if (got == 0) return file.size();
        if (const void* found = std::memchr(block.data(), '\n', got)) {
            return position + static_cast<std::uint64_t>(static_cast<const char*>(found) - block.data()) + 1;
        }
        position += got;
    }
}

MatrixPartScan scanMatrixPart(const std::string& path, bool has_header, const MatrixPart& part) {
    LineReader reader = LineReader::openFileRange(path, part.begin, part.end);
    MatrixPartScan scan;
    std::string_view line;
    if (has_header && part.begin == 0 && reader.next(line)) ++scan.num_lines;
    while (reader.next(line)) {
        ++scan.num_lines;
        if (scan.has_data_line) continue;
        std::size_t start = 0;
        while (start < line.size() && isBlank(line[start])) ++start;
        if (start == line.size()) continue;
        scan.has_data_line = true;
        if (const auto gene = parseGeneLine(line.substr(start), 0, kFirstLineSamples)) {
            scan.first_gene_samples = gene->numSamples();
        }
    }
    return scan;
}

CountMatrix readMatrixPart(const std::string& path, bool has_header, const MatrixPart& part, std::uint64_t lines_before,
                           std::size_t expected_samples, ProgressSink& progress, MatrixFileFacts* facts) {
    LineReader reader = LineReader::openFileRange(path, part.begin, part.end);
    return readGenes(reader, ReadStart{has_header && part.begin == 0, lines_before, expected_samples}, progress, facts);
}

void rereadGenes(const std::string& path, bool has_header, const FileIdentity& first_read, const GeneList& genes,
                 ProgressSink& progress,
                 const std::function<bool(const Gene& gene, const std::vector<float>& raw_counts)>& visit) {
    auto file = std::make_unique<FileBytes>(path, FileBytes::Opening::NonBlocking);
    if (!file->isOpen()) changedDuringTheRun(path, "it can no longer be opened");
    if (!file->isRegularFile() || file->identity() != first_read) {
        changedDuringTheRun(path, "it is no longer the file first read");
    }
    LineReader reader = LineReader::fromFile(std::move(file), path);
    std::uint64_t line_number = 0;
    const auto no_lone_carriage_return = [&](std::string_view text, std::uint64_t number) {
        if (hasLoneCarriageReturn(text)) {
            changedDuringTheRun(path, "line " + std::to_string(number) + " now holds a carriage return");
        }
    };
    if (has_header) {
        std::string_view header;
        if (reader.next(header)) no_lone_carriage_return(header, ++line_number);
    }
    std::vector<float> scratch;
    ThrottledProgress throttled(reader, progress);
    std::string_view line;
    std::size_t start = 0;
    std::uint64_t id = 0;
    for (const Gene* gene : genes) {
        // skipped lines are only told apart from blank ones, never parsed
        do {
            if (!nextDataLine(reader, line_number, line, start, no_lone_carriage_return)) {
                changedDuringTheRun(path, "it ends before gene '" + shown(gene->name) + "'");
            }
            ++id;
            throttled.afterLine();
        } while (id < gene->id);
        const std::string at =
            "line " + std::to_string(line_number) + " no longer holds gene '" + shown(gene->name) + "' as first read";
        std::unique_ptr<Gene> raw;
        try {
            raw = parseDataLine(line, start, line_number, id, gene->numSamples(), scratch);
        } catch (const std::runtime_error&) {
            changedDuringTheRun(path, at);
        }
        if (raw->name != gene->name || !visit(*gene, raw->counts)) changedDuringTheRun(path, at);
    }
    progress.update(1, 1);
}

}  // namespace varnosk
