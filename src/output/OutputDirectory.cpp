#include "output/OutputDirectory.hpp"

#include "common/Shown.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace varnosk {

OutputDirectory::OutputDirectory(const std::string& path) : path_(path) {
    do {
        fd_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) throw std::runtime_error("error: " + shownPath(path) + " is not a valid directory.");
}

OutputDirectory::~OutputDirectory() { ::close(fd_); }

}  // namespace varnosk
