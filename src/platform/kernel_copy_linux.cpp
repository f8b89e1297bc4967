#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/failure.h"
#include "platform/kernel_copy.h"

namespace tarnwick {

std::error_code KernelCopy(BinaryFile& from, BinaryFile& to, int64_t count, int64_t* moved) {
  *moved = 0;
  if (from.fd_ < 0 || to.fd_ < 0) return std::error_code(EBADF, std::generic_category());
  if (count < 0) return make_error_code(FileError::kOutOfRange);
  auto in = static_cast<off_t>(from.position_);
  auto out = static_cast<off_t>(to.position_);
  while (*moved < count) {
    const ssize_t n =
        ::copy_file_range(from.fd_, &in, to.fd_, &out, static_cast<size_t>(count - *moved), 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int code = errno;
      // Refusals that mean "not here", before anything moved: the buffer copies instead.
      if (*moved == 0 && (code == EXDEV || code == EINVAL || code == ENOSYS || code == EOPNOTSUPP ||
                          code == EBADF || code == ETXTBSY)) {
        return std::make_error_code(std::errc::not_supported);
      }
      return {code, std::generic_category()};
    }
    if (n == 0) return make_error_code(FileError::kShortRead);
    *moved += n;
    from.position_ = in;
    to.position_ = out;
  }
  return {};
}

void StartWriteOut(BinaryFile& file, int64_t position, int64_t count) {
  if (file.fd_ < 0 || position < 0 || count <= 0) return;
  // Advisory: a file system that cannot start it early leaves the bytes to the sync.
  (void)::sync_file_range(file.fd_, static_cast<off_t>(position), static_cast<off_t>(count),
                          SYNC_FILE_RANGE_WRITE);
}

}  // namespace tarnwick
