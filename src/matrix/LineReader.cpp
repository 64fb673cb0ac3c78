#include "matrix/LineReader.hpp"

#include "common/Shown.hpp"
#include "matrix/ReadAhead.hpp"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace varnosk {
namespace {

// The data is read in blocks of this size; the buffer grows only for a longer line.
constexpr std::size_t kBlockSize = std::size_t{1} << 22;
// Enough for every magic number.
constexpr std::size_t kHeadSize = 16;

}  // namespace

LineReader LineReader::openFile(const std::string& path) {
    auto file = std::make_unique<FileBytes>(path);
    if (!file->isOpen()) throw std::runtime_error(cannotBeRead(path));
    return fromFile(std::move(file), path);
}

LineReader LineReader::fromFile(std::unique_ptr<FileBytes> file, const std::string& path) {
    return LineReader(std::move(file), path, false);
}

LineReader LineReader::openFileRange(const std::string& path, std::uint64_t begin, std::uint64_t end) {
    auto file = std::make_unique<FileBytes>(path, begin, end);
    if (!file->isOpen()) throw std::runtime_error(cannotBeRead(path));
    return LineReader(std::move(file), path, true);
}

LineReader::LineReader(std::unique_ptr<FileBytes> file, const std::string& path, bool plain_text)
    : name_(path),
      rereadable_(file->isRegularFile()),
      identity_(file->identity()),
      modified_(file->modificationTime()),
      size_(file->size()),
      buffer_(kBlockSize) {
    open(std::move(file), plain_text);
}

LineReader LineReader::fromMemory(std::string_view data, const std::string& name) {
    // small inputs (the fuzz target's) get a small buffer; it grows for a longer line
    const std::size_t buffer_size = std::clamp<std::size_t>(data.size(), kHeadSize, kBlockSize);
    return LineReader(std::make_unique<MemoryBytes>(data), name, data.size(), buffer_size);
}

LineReader::LineReader(std::unique_ptr<ByteSource> raw, const std::string& name, std::uint64_t size,
                       std::size_t buffer_size)
    : name_(name), size_(size), buffer_(buffer_size) {
    open(std::move(raw), false);
}

void LineReader::open(std::unique_ptr<ByteSource> raw, bool plain_text) {
    // a part inside a file may start with bytes that look like a magic number
    compression_ = plain_text ? Compression::None : detectCompression(raw->peek(kHeadSize));
    if (compression_ == Compression::None) {
        source_ = std::move(raw);
    } else {
        source_ = std::make_unique<ReadAhead>(makeDecoder(compression_, std::move(raw), name_));
    }
}

LineReader::~LineReader() = default;

std::uint64_t LineReader::position() const {
    return compression_ == Compression::None ? position_ : source_->inputPosition();
}

bool LineReader::next(std::string_view& line) {
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

void LineReader::checkRest() {
    if (compression_ != Compression::None && !at_end_) source_->skipToEnd();
}

void LineReader::refill() {
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);  // a line longer than the block
    const std::size_t got = source_->read(buffer_.data() + end_, buffer_.size() - end_);
    if (got == 0) at_end_ = true;
    end_ += got;
}

}  // namespace varnosk
