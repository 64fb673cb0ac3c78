#pragma once

#include <fstream>
#include <string>

namespace varnosk {

// An output table or run record: file_name joined to the output directory, opened for
// writing with truncation. Every writer goes through it so that a file that cannot be
// opened, written or closed ends the run with "error: <path> could not be written."
// instead of a run that reports success with a table missing or cut short.
class OutputFile {
public:
    // Throws std::runtime_error when the file cannot be opened.
    OutputFile(const std::string& directory, const std::string& file_name);

    std::ostream& stream() { return stream_; }
    const std::string& path() const { return path_; }

    // Flushes and closes; throws std::runtime_error when any write or the close failed.
    // Must be called: the destructor closes silently (it runs during error unwinding).
    void close();

private:
    [[noreturn]] void fail() const;

    std::string path_;
    std::ofstream stream_;
};

}  // namespace varnosk
