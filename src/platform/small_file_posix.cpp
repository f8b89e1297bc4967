#include "platform/small_file_posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace tarnwick {

bool ReadSmallFile(const std::string& host_path, int64_t max_bytes, std::string* bytes,
                   struct stat* info) {
  bytes->clear();
  const int fd = ::open(host_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  struct stat own_info;
  struct stat& stat_info = info != nullptr ? *info : own_info;
  const bool ok = ::fstat(fd, &stat_info) == 0 && S_ISREG(stat_info.st_mode) &&
                  stat_info.st_size >= 0 && stat_info.st_size <= max_bytes;
  if (ok) {
    bytes->resize(static_cast<size_t>(stat_info.st_size));
    size_t done = 0;
    while (done < bytes->size()) {
      const ssize_t n = ::read(fd, bytes->data() + done, bytes->size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    bytes->resize(done);
  }
  ::close(fd);
  return ok;
}

}  // namespace tarnwick
