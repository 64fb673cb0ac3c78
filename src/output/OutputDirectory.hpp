#pragma once

#include <string>

namespace varnosk {

// The output directory, opened once when the run starts. Every file is created relative to
// this descriptor, so a directory renamed or replaced by a link during the run cannot send
// tables elsewhere.
class OutputDirectory {
public:
    // Throws "error: <path> is not a valid directory." when it cannot be opened as one.
    explicit OutputDirectory(const std::string& path);
    ~OutputDirectory();
    OutputDirectory(const OutputDirectory&) = delete;
    OutputDirectory& operator=(const OutputDirectory&) = delete;

    int fd() const { return fd_; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    int fd_ = -1;
};

}  // namespace varnosk
