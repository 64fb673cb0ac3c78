#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace varnosk {

// Where the count matrix reader takes its bytes from: a file, memory, or a decoder over one
// of them. Used by one thread at a time.
class ByteSource {
public:
    virtual ~ByteSource() = default;

    // Copies up to `capacity` (> 0) bytes into `out`; returns 0 only at the end of the data.
    // Throws std::runtime_error, naming the input, when it cannot be read or decoded.
    std::size_t read(char* out, std::size_t capacity);
    // The first bytes of the data (up to `n`, fewer when it is shorter), which read() then
    // returns again. Only before the first read().
    std::string_view peek(std::size_t n);
    // Reads and drops the rest of the data: a decoder thus checks the whole stream.
    void skipToEnd();
    // Bytes taken from the file or memory underneath so far (compressed bytes for a decoder).
    virtual std::uint64_t inputPosition() const = 0;

protected:
    virtual std::size_t readSome(char* out, std::size_t capacity) = 0;

private:
    std::string peeked_;
    std::size_t peeked_used_ = 0;
};

// Which file an open descriptor reads: the same device and inode are the same file.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// An open file, read with read(2) as it comes (a pipe works too).
class FileBytes final : public ByteSource {
public:
    // How the file is opened: waiting for a writer when it is a named pipe, or not, to look
    // at what the path names without blocking (its reads then may fail on a pipe).
    enum class Opening { Waiting, NonBlocking };

    // Check isOpen(): a file that cannot be opened is reported by the caller.
    explicit FileBytes(const std::string& path, Opening opening = Opening::Waiting);
    // Only bytes [begin, end) of a regular file: reading starts at `begin` and ends at `end`.
    FileBytes(const std::string& path, std::uint64_t begin, std::uint64_t end);
    ~FileBytes() override;
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    // A regular file can be read again from its start; a pipe cannot.
    bool isRegularFile() const { return regular_; }
    // The size of a regular file, else 0.
    std::uint64_t size() const { return size_; }
    FileIdentity identity() const { return identity_; }
    // Seconds since the epoch of the last change of its content.
    std::int64_t modificationTime() const { return modified_; }
    std::uint64_t inputPosition() const override { return position_; }

protected:
    std::size_t readSome(char* out, std::size_t capacity) override;

private:
    std::string path_;
    int fd_ = -1;
    bool regular_ = false;
    std::uint64_t size_ = 0;
    FileIdentity identity_;
    std::int64_t modified_ = 0;
    std::uint64_t position_ = 0;
    std::uint64_t limit_ = UINT64_MAX;  // bytes that may still be read
};

// Bytes in memory, not owned: they must outlive the source.
class MemoryBytes final : public ByteSource {
public:
    explicit MemoryBytes(std::string_view data) : data_(data) {}
    std::uint64_t inputPosition() const override { return position_; }

protected:
    std::size_t readSome(char* out, std::size_t capacity) override;

private:
    std::string_view data_;
    std::uint64_t position_ = 0;
};

}  // namespace varnosk
