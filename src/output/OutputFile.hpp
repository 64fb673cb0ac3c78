#pragma once

#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "output/OutputDirectory.hpp"

namespace varnosk {

// Buffered writes to a file descriptor; a failed write makes the stream bad and keeps its
// errno, which the stream itself cannot carry.
class DescriptorBuffer final : public std::streambuf {
public:
    explicit DescriptorBuffer(int fd);

    // The errno of the first failed write, 0 while none failed.
    int error() const { return error_; }

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    bool drain();

    int fd_;
    int error_ = 0;
    std::vector<char> buffer_;
};

// An output table or run record, file_name inside the output directory. It is written under
// a temporary name created exclusively and without following links, and takes its final
// name only once complete, synced to disk and closed, never replacing anything already
// there: a planted file or link, or the table of another run, ends this run instead. The
// directory is synced after the new name, so that after a power loss a table is either
// missing or whole. Every writer goes through it so that a file that cannot be created,
// written, synced, closed or published ends the run with
// "error: <path> could not be written (<reason>).", the reason being the system's text for
// the failing call's errno.
class OutputFile {
public:
    // Throws std::runtime_error when the file cannot be created.
    OutputFile(const OutputDirectory& directory, const std::string& file_name);
    // Removes the temporary file when close() was not reached or failed.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    std::ostream& stream() { return stream_; }
    // The final path, as shown in messages.
    const std::string& path() const { return path_; }

    // Flushes, syncs, closes and publishes under the final name, then syncs the directory;
    // throws std::runtime_error when any of these or an earlier write failed. Must be called.
    void close();

private:
    [[noreturn]] void fail(int error) const;

    int directory_fd_;
    std::string file_name_;
    std::string temporary_name_;
    std::string path_;
    int fd_ = -1;
    bool published_ = false;
    DescriptorBuffer buffer_;
    std::ostream stream_;
};

}  // namespace varnosk
