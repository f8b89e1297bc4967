#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/binary_file.h"
#include "platform/failure.h"
#include "platform/host_path.h"

namespace tarnwick {
namespace {

std::error_code LastError() { return {errno, std::generic_category()}; }

}  // namespace

BinaryFile::~BinaryFile() {
  if (fd_ >= 0) ::close(fd_);
}

BinaryFile::BinaryFile(BinaryFile&& other) noexcept : fd_(other.fd_), position_(other.position_) {
  other.fd_ = -1;
}

BinaryFile& BinaryFile::operator=(BinaryFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    position_ = other.position_;
    other.fd_ = -1;
  }
  return *this;
}

std::error_code BinaryFile::Open(const std::string& path, OpenMode mode) {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  position_ = 0;
  // Non-blocking only for the open itself: a pipe or device planted under the name must not
  // stall us before it is turned away as no ordinary file.
  int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  switch (mode) {
    case OpenMode::kRead:
      flags |= O_RDONLY;
      break;
    case OpenMode::kReadWrite:
      flags |= O_RDWR;
      break;
    case OpenMode::kCreate:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      break;
    case OpenMode::kCreateExclusive:
      flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW;
      break;
  }
  const std::string host = HostPath(path);
  int fd;
  do {
    fd = ::open(host.c_str(), flags, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return LastError();
  struct stat info;
  if (::fstat(fd, &info) != 0) {
    const std::error_code error = LastError();
    ::close(fd);
    return error;
  }
  if (!S_ISREG(info.st_mode)) {
    const std::error_code error = S_ISDIR(info.st_mode)
                                      ? std::error_code(EISDIR, std::generic_category())
                                      : make_error_code(FileError::kNotOrdinaryFile);
    ::close(fd);
    return error;
  }
  const int status = ::fcntl(fd, F_GETFL);
  if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
    const std::error_code error = LastError();
    ::close(fd);
    return error;
  }
  fd_ = fd;
  return {};
}

bool BinaryFile::is_open() const { return fd_ >= 0; }

std::error_code BinaryFile::ReadAt(int64_t position, void* buffer, size_t count) {
  if (fd_ < 0) return std::error_code(EBADF, std::generic_category());
  if (position < 0) return make_error_code(FileError::kOutOfRange);
  auto* out = static_cast<unsigned char*>(buffer);
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd_, out + done, count - done,
                              static_cast<off_t>(position) + static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    if (n == 0) return make_error_code(FileError::kShortRead);
    done += static_cast<size_t>(n);
  }
  position_ = position + static_cast<int64_t>(count);
  return {};
}

std::error_code BinaryFile::WriteAt(int64_t position, const void* buffer, size_t count) {
  if (fd_ < 0) return std::error_code(EBADF, std::generic_category());
  if (position < 0) return make_error_code(FileError::kOutOfRange);
  const auto* in = static_cast<const unsigned char*>(buffer);
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pwrite(fd_, in + done, count - done,
                               static_cast<off_t>(position) + static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    // A write that moves nothing would be tried for ever.
    if (n == 0) return std::error_code(EIO, std::generic_category());
    done += static_cast<size_t>(n);
  }
  position_ = position + static_cast<int64_t>(count);
  return {};
}

std::error_code BinaryFile::Length(int64_t* length) const {
  struct stat info;
  if (fd_ < 0) return std::error_code(EBADF, std::generic_category());
  if (::fstat(fd_, &info) != 0) return LastError();
  *length = static_cast<int64_t>(info.st_size);
  return {};
}

std::error_code BinaryFile::Sync() {
  if (fd_ < 0) return std::error_code(EBADF, std::generic_category());
  if (::fsync(fd_) != 0) return LastError();
  return {};
}

std::error_code BinaryFile::Close() {
  if (fd_ < 0) return {};
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 && errno != EINTR) return LastError();
  return {};
}

}  // namespace tarnwick
