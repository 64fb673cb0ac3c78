#include "matrix/CountMatrixReader.hpp"

#include "common/Shown.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <ctime>
#include <stdexcept>
#include <string>
#include <vector>


namespace varnosk {
namespace {

// The matrix is read in blocks of this size; the block grows only for a longer line.
constexpr std::size_t kBlockSize = std::size_t{1} << 22;
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
    const bool hexadecimal =
        mantissa + 1 < end && mantissa[0] == '0' && (mantissa[1] == 'x' || mantissa[1] == 'X');
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
void checkLineEnd(std::string_view line, std::uint64_t line_number) {
    const std::size_t found = line.find('\r');
    if (found != std::string_view::npos && found + 1 < line.size()) {
        throw std::runtime_error(atLine(line_number) +
                                 "carriage return inside the line (lone carriage return line ends are not supported).");
    }
}

// Reads a file (or bytes in memory) line by line through one block buffer; a line is a view
// into the buffer, valid until the next call. Lines may be of any length: the buffer grows
// to hold them.
class LineReader {
public:
    LineReader(std::string_view memory, const std::string& name)
        : path_(name), size_(memory.size()), memory_(memory), in_memory_(true) {
        buffer_.resize(std::min(kBlockSize, std::max<std::size_t>(memory.size(), 1)));
    }
    explicit LineReader(const std::string& path) : path_(path) {
        do {
            fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        } while (fd_ < 0 && errno == EINTR);
        if (fd_ < 0) return;
        struct stat status {};
        // only a regular file has a size to report progress against
        if (::fstat(fd_, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0) size_ = static_cast<std::uint64_t>(status.st_size);
        buffer_.resize(kBlockSize);
    }
    ~LineReader() {
        if (fd_ >= 0) ::close(fd_);
    }
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    const std::string& name() const { return path_; }
    bool isOpen() const { return in_memory_ || fd_ >= 0; }

    // The first bytes of the input, read ahead without consuming them.
    std::string_view head() {
        while (end_ - begin_ < 16 && !at_end_) refill();
        return std::string_view(buffer_.data() + begin_, end_ - begin_);
    }
    std::uint64_t size() const { return size_; }
    // Bytes of the file up to the end of the last line returned.
    std::uint64_t position() const { return position_; }

    bool next(std::string_view& line) {
        if (!isOpen()) return false;
        for (;;) {
            const char* first = buffer_.data() + begin_;
            const std::size_t available = end_ - begin_;
            if (const void* found = std::memchr(first, '\n', available)) {
                const auto length = static_cast<std::size_t>(static_cast<const char*>(found) - first);
                line = std::string_view(first, length);
                begin_ += length + 1;
                position_ += length + 1;
                return true;
            }
            if (at_end_) {
                if (available == 0) return false;
                line = std::string_view(first, available);  // last line without a line feed
                begin_ = end_;
                position_ += available;
                return true;
            }
            refill();
        }
    }

private:
    void refill() {
        if (begin_ > 0) {
            std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
            end_ -= begin_;
            begin_ = 0;
        }
        if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);  // a line longer than the block
        if (in_memory_) {
            const std::size_t got = std::min(memory_.size(), buffer_.size() - end_);
            std::memcpy(buffer_.data() + end_, memory_.data(), got);
            memory_.remove_prefix(got);
            end_ += got;
            if (got == 0) at_end_ = true;
            return;
        }
        const ssize_t got = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
        if (got < 0) {
            if (errno == EINTR) return;
            // A failed read must not pass for the end of the file: genes would be lost.
            throw std::runtime_error("error: " + shown(path_) + " could not be read (" + std::strerror(errno) + ").");
        }
        if (got == 0) at_end_ = true;
        end_ += static_cast<std::size_t>(got);
    }

    std::string path_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0;
    std::vector<char> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool at_end_ = false;
    std::string_view memory_;
    bool in_memory_ = false;
};

// Compressed input would otherwise be reported as malformed data at some line.
void rejectCompressed(std::string_view head, const std::string& path) {
    static const std::pair<std::string_view, const char*> kMagic[] = {
        {std::string_view("\x1f\x8b", 2), "gzip"},
        {std::string_view("BZh91AY&SY", 10), "bzip2"},
        {std::string_view("\xfd" "7zXZ\0", 6), "xz"},
        {std::string_view("\x28\xb5\x2f\xfd", 4), "zstd"},
    };
    // bzip2: "BZh", the block size digit, then the block magic (a gene may be called BZh1)
    if (head.size() >= 10 && head.substr(0, 3) == "BZh" && head.substr(4, 6) == "1AY&SY") head = "BZh91AY&SY";
    for (const auto& [magic, format] : kMagic) {
        if (head.substr(0, magic.size()) == magic) {
            throw std::runtime_error("error: " + shown(path) + " looks " + format +
                                     "-compressed; decompress it first (compressed count matrices are not supported).");
        }
    }
}

CountMatrix readLines(LineReader& reader, bool has_header, ProgressSink& progress);

}  // namespace

std::unique_ptr<Gene> parseGeneLine(std::string_view line, std::uint64_t id, std::size_t expected_samples) {
    std::vector<float> scratch;
    scratch.reserve(expected_samples);
    ParseResult result;
    return parseLine(line, id, scratch, result);
}

CountMatrix readCountMatrix(const std::string& path, bool has_header, ProgressSink& progress) {
    LineReader reader(path);
    if (!reader.isOpen()) {
        throw std::runtime_error("error: " + shown(path) +
                                 " cannot be read. Check that the path is valid and that you have read permissions.");
    }
    return readLines(reader, has_header, progress);
}

CountMatrix readCountMatrixFromMemory(std::string_view data, bool has_header, ProgressSink& progress) {
    LineReader reader(data, "<memory>");
    return readLines(reader, has_header, progress);
}

namespace {

CountMatrix readLines(LineReader& reader, bool has_header, ProgressSink& progress) {
    rejectCompressed(reader.head(), reader.name());
    CountMatrix genes;
    genes.reserve(kReservedGenes);
    std::string_view line;
    std::uint64_t line_number = 0;
    if (has_header && reader.next(line)) {
        line_number = 1;
        checkLineEnd(line, line_number);
    }

    std::uint64_t next_id = 1;
    std::size_t expected_samples = kFirstLineSamples;
    std::vector<float> scratch;
    scratch.reserve(expected_samples);
    std::clock_t deadline = std::clock() + kProgressInterval;
    std::uint64_t lines_since_clock = 0;

    while (reader.next(line)) {
        ++line_number;
        checkLineEnd(line, line_number);
        std::size_t start = 0;
        while (start < line.size() && isBlank(line[start])) ++start;
        if (start == line.size()) continue;
        // the name is the first tab-separated field: a line starting with a tab has none
        if (line[0] == '\t') throw std::runtime_error(atLine(line_number) + "empty gene name.");

        ParseResult result;
        auto gene = parseLine(line.substr(start), next_id, scratch, result);
        if (result.status == ParseStatus::Malformed) throw std::runtime_error(atLine(line_number) + "malformed data.");
        if (result.status == ParseStatus::InvalidCount) {
            throw std::runtime_error("error at line " + std::to_string(line_number) + ", column " +
                                     std::to_string(result.column) + ": invalid count '" +
                                     shown(std::string(result.bad_token)) +
                                     "' (counts must be decimal, finite and non-negative).");
        }
        // Later stages need at least one sample; a matrix of names alone is not a count table.
        if (gene->numSamples() == 0) {
            throw std::runtime_error(atLine(line_number) + "'" + shown(gene->name) + "' has no sample counts.");
        }
        if (!genes.empty() && gene->numSamples() != expected_samples) {
            throw std::runtime_error(atLine(line_number) + "'" + shown(gene->name) + "' has " +
                                     std::to_string(gene->numSamples()) + " samples while " +
                                     std::to_string(expected_samples) + " samples were expected.");
        }
        ++next_id;
        expected_samples = gene->counts.size();
        genes.push_back(std::move(gene));

        if (++lines_since_clock == kLinesPerClockCheck) {
            lines_since_clock = 0;
            if (std::clock() > deadline && reader.size() > 0) {
                progress.update(reader.position(), reader.size());
                deadline = std::clock() + kProgressInterval;
            }
        }
    }
    progress.update(1, 1);

    if (genes.empty()) throw std::runtime_error("error: genes counts table is empty.");
    return genes;
}

}  // namespace

}  // namespace varnosk
