#include "output/OutputFile.hpp"

#include "common/Shown.hpp"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <boost/filesystem/path.hpp>

namespace varnosk {

namespace {

constexpr std::size_t kBufferSize = std::size_t{1} << 16;

// Gives `temporary` the name `final_name` only if nothing has that name yet; 0 or the errno.
int publish(int directory_fd, const std::string& temporary, const std::string& final_name) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(directory_fd, temporary.c_str(), directory_fd, final_name.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    // file systems without the flag refuse it; a hard link is just as exclusive
    if (errno != EINVAL && errno != ENOSYS) return errno;
#endif
    if (::linkat(directory_fd, temporary.c_str(), directory_fd, final_name.c_str(), 0) != 0) return errno;
    ::unlinkat(directory_fd, temporary.c_str(), 0);
    return 0;
}

// 0 or the errno of fsync.
int sync(int fd) {
    while (::fsync(fd) != 0) {
        if (errno != EINTR) return errno;
    }
    return 0;
}

}  // namespace

DescriptorBuffer::DescriptorBuffer(int fd) : fd_(fd), buffer_(kBufferSize) {
    setp(buffer_.data(), buffer_.data() + buffer_.size());
}

bool DescriptorBuffer::drain() {
    const char* p = pbase();
    while (p < pptr()) {
        const ssize_t written = fd_ < 0 ? -1 : ::write(fd_, p, static_cast<std::size_t>(pptr() - p));
        if (written < 0) {
            if (fd_ >= 0 && errno == EINTR) continue;
            if (error_ == 0) error_ = fd_ < 0 ? EBADF : errno;
            return false;
        }
        p += written;
    }
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return true;
}

DescriptorBuffer::int_type DescriptorBuffer::overflow(int_type c) {
    if (!drain()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int DescriptorBuffer::sync() { return drain() ? 0 : -1; }

OutputFile::OutputFile(const OutputDirectory& directory, const std::string& file_name)
    : directory_fd_(directory.fd()),
      file_name_(file_name),
      temporary_name_("." + file_name + "." + std::to_string(::getpid()) + ".partial"),
      path_((boost::filesystem::path(directory.path()) / file_name).string()),
      fd_([&] {
          int fd = -1;
          do {
              fd = ::openat(directory.fd(), temporary_name_.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
          } while (fd < 0 && errno == EINTR);
          if (fd < 0) fail(errno);
          return fd;
      }()),
      buffer_(fd_),
      stream_(&buffer_) {}

OutputFile::~OutputFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!published_) ::unlinkat(directory_fd_, temporary_name_.c_str(), 0);
}

void OutputFile::close() {
    stream_.flush();
    // a stream made bad by anything but a write, a throwing inserter say, has no errno of its own
    int error = stream_ ? 0 : buffer_.error() != 0 ? buffer_.error() : EIO;
    // the data reaches the disk before the name does, or a power loss could leave an empty table
    if (error == 0) error = sync(fd_);
    const int fd = fd_;
    fd_ = -1;
    // Linux releases the descriptor even when close is interrupted, and the data is synced
    if (::close(fd) != 0 && error == 0 && errno != EINTR) error = errno;
    if (error != 0) fail(error);
    error = publish(directory_fd_, temporary_name_, file_name_);
    if (error != 0) fail(error);
    published_ = true;
    // the new name is an entry of the directory, durable only once the directory is synced;
    // some file systems cannot sync a directory at all (EINVAL), which leaves nothing to do
    error = sync(directory_fd_);
    if (error != 0 && error != EINVAL) fail(error);
}

void OutputFile::fail(int error) const {
    throw std::runtime_error("error: " + shownPath(path_) + " could not be written (" + std::strerror(error) + ").");
}

}  // namespace varnosk
