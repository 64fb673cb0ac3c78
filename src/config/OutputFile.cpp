#include "config/OutputFile.hpp"

#include <stdexcept>

#include <boost/filesystem/path.hpp>

namespace varnosk {

OutputFile::OutputFile(const std::string& directory, const std::string& file_name)
    : path_((boost::filesystem::path(directory) / file_name).string()) {
    stream_.open(path_, std::ios::out | std::ios::trunc | std::ios::binary);
    if (!stream_.is_open()) fail();
}

void OutputFile::close() {
    stream_.flush();
    const bool written = static_cast<bool>(stream_);
    stream_.close();
    if (!written || stream_.fail()) fail();
}

void OutputFile::fail() const {
    throw std::runtime_error("error: " + path_ + " could not be written.");
}

}  // namespace varnosk
