#include "matrix/ByteSource.hpp"

#include "common/Shown.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace varnosk {

std::size_t ByteSource::read(char* out, std::size_t capacity) {
    if (peeked_used_ < peeked_.size()) {
        const std::size_t got = std::min(capacity, peeked_.size() - peeked_used_);
        std::memcpy(out, peeked_.data() + peeked_used_, got);
        peeked_used_ += got;
        return got;
    }
    return readSome(out, capacity);
}

std::string_view ByteSource::peek(std::size_t n) {
    peeked_.resize(n);
    std::size_t got = 0;
    while (got < n) {
        const std::size_t more = readSome(peeked_.data() + got, n - got);
        if (more == 0) break;
        got += more;
    }
    peeked_.resize(got);
    peeked_used_ = 0;
    return peeked_;
}

void ByteSource::skipToEnd() {
    std::vector<char> scratch(std::size_t{1} << 16);
    while (read(scratch.data(), scratch.size()) != 0) {}
}

FileBytes::FileBytes(const std::string& path, Opening opening) : path_(path) {
    const int flags = O_RDONLY | O_CLOEXEC | (opening == Opening::NonBlocking ? O_NONBLOCK : 0);
    do {
        fd_ = ::open(path.c_str(), flags);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) return;
    struct stat status {};
    if (::fstat(fd_, &status) != 0) return;
    identity_ = FileIdentity{static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
    modified_ = static_cast<std::int64_t>(status.st_mtime);
    if (S_ISREG(status.st_mode)) {
        regular_ = true;
        size_ = static_cast<std::uint64_t>(std::max<off_t>(status.st_size, 0));
    }
}

FileBytes::FileBytes(const std::string& path, std::uint64_t begin, std::uint64_t end) : FileBytes(path) {
    if (fd_ < 0) return;
    if (!regular_ || begin > end || end > size_ || ::lseek(fd_, static_cast<off_t>(begin), SEEK_SET) < 0) {
        throw std::runtime_error("error: " + shownPath(path_) + " could not be read (bytes " + std::to_string(begin) +
                                 " to " + std::to_string(end) + " are not in the file).");
    }
    limit_ = end - begin;
    size_ = limit_;
}

FileBytes::~FileBytes() {
    if (fd_ >= 0) ::close(fd_);
}

std::size_t FileBytes::readSome(char* out, std::size_t capacity) {
    for (;;) {
        if (limit_ == 0) return 0;
        const ssize_t got = ::read(fd_, out, std::min<std::uint64_t>(capacity, limit_));
        if (got >= 0) {
            position_ += static_cast<std::uint64_t>(got);
            limit_ -= static_cast<std::uint64_t>(got);
            return static_cast<std::size_t>(got);
        }
        if (errno == EINTR) continue;
        // A failed read must not pass for the end of the file: genes would be lost.
        throw std::runtime_error("error: " + shownPath(path_) + " could not be read (" + std::strerror(errno) + ").");
    }
}

std::size_t MemoryBytes::readSome(char* out, std::size_t capacity) {
    const std::size_t got = std::min(capacity, data_.size());
    std::memcpy(out, data_.data(), got);
    data_.remove_prefix(got);
    position_ += got;
    return got;
}

}  // namespace varnosk
