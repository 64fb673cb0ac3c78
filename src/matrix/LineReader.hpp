#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "matrix/ByteSource.hpp"
#include "matrix/Compression.hpp"

namespace varnosk {

// The lines of a count matrix, plain or compressed (told by its magic bytes), read through
// one block buffer; compressed data is decoded in a thread of its own ahead of the reader.
// A line is a view into the buffer, valid until the next call; lines may be of any length.
// One thread at a time.
class LineReader {
public:
    // Throws "error: <path> cannot be read. ..." when the file cannot be opened.
    static LineReader openFile(const std::string& path);
    // A file already open (isOpen()), named `path` in messages.
    static LineReader fromFile(std::unique_ptr<FileBytes> file, const std::string& path);
    // Bytes [begin, end) of a regular file, read as plain text whatever they start with (a
    // part of a larger matrix). Throws like openFile.
    static LineReader openFileRange(const std::string& path, std::uint64_t begin, std::uint64_t end);
    // `data` must outlive the reader; `name` stands for it in messages.
    static LineReader fromMemory(std::string_view data, const std::string& name);

    LineReader(LineReader&&) = default;
    ~LineReader();

    const std::string& name() const { return name_; }
    Compression compression() const { return compression_; }
    // A regular file (plain or compressed) can be read again from its start.
    bool canBeReadAgain() const { return rereadable_; }
    // The file's device and inode, and when its content last changed (a file only).
    FileIdentity identity() const { return identity_; }
    std::int64_t modificationTime() const { return modified_; }

    // The next line without its line feed; false at the end of the data.
    bool next(std::string_view& line);

    // How far reading has come, of size() (0 when unknown): bytes of the file up to the end
    // of the last line, counted in compressed bytes for compressed data.
    std::uint64_t position() const;
    std::uint64_t size() const { return size_; }

    // Decodes the rest of compressed data, so that a fault in it is raised before an error
    // its garbage caused. Nothing for plain text.
    void checkRest();

private:
    // Bytes in memory.
    LineReader(std::unique_ptr<ByteSource> raw, const std::string& name, std::uint64_t size, std::size_t buffer_size);
    // A file, whose first bytes tell its format unless it is `plain_text` (a part of a file).
    LineReader(std::unique_ptr<FileBytes> file, const std::string& path, bool plain_text);
    void open(std::unique_ptr<ByteSource> raw, bool plain_text);
    void refill();

    std::string name_;
    std::unique_ptr<ByteSource> source_;
    Compression compression_ = Compression::None;
    bool rereadable_ = false;
    FileIdentity identity_;
    std::int64_t modified_ = 0;
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0;
    std::vector<char> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool at_end_ = false;
};

// A line of a table written on Windows without its final carriage return.
inline std::string_view withoutCarriageReturn(std::string_view line) {
    return !line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line;
}

}  // namespace varnosk
