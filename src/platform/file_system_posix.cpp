#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/binary_file.h"
#include "platform/failure.h"
#include "platform/file_identity.h"
#include "platform/file_system.h"
#include "platform/host_path.h"

namespace tarnwick {
namespace {

std::error_code LastError() { return {errno, std::generic_category()}; }

bool IsOrdinaryFile(const std::string& host) {
  struct stat info;
  return ::stat(host.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool IsHiddenName(std::string_view name) { return !name.empty() && name[0] == '.'; }

std::string_view BaseName(std::string_view host) {
  const size_t slash = host.rfind('/');
  return slash == std::string_view::npos ? host : host.substr(slash + 1);
}

std::error_code SyncHostFolderOf(const std::string& host) {
  const size_t slash = host.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : host.substr(0, slash + 1);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return LastError();
  const int result = ::fsync(fd);
  const int saved = errno;
  ::close(fd);
  // Some file systems cannot sync a folder; the rename itself has still happened.
  if (result != 0 && saved != EINVAL && saved != EROFS) return {saved, std::generic_category()};
  return {};
}

}  // namespace

bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat a_info;
  struct stat b_info;
  return ::stat(HostPath(a).c_str(), &a_info) == 0 && ::stat(HostPath(b).c_str(), &b_info) == 0 &&
         a_info.st_dev == b_info.st_dev && a_info.st_ino == b_info.st_ino;
}

bool PathListed(const std::string& path) {
  const std::string host = HostPath(path);
  if (host.empty()) return false;
  if (host.back() != '/') return !IsHiddenName(BaseName(host)) && IsOrdinaryFile(host);
  DIR* dir = ::opendir(host.c_str());
  if (dir == nullptr) return false;
  bool listed = false;
  while (const dirent* entry = ::readdir(dir)) {
    if (!IsHiddenName(entry->d_name) && IsOrdinaryFile(host + entry->d_name)) {
      listed = true;
      break;
    }
  }
  ::closedir(dir);
  return listed;
}

std::error_code FileLength(const std::string& path, int64_t* length) {
  struct stat info;
  if (::stat(HostPath(path).c_str(), &info) != 0) return LastError();
  *length = static_cast<int64_t>(info.st_size);
  return {};
}

std::error_code DeleteFile(const std::string& path) {
  if (::unlink(HostPath(path).c_str()) != 0) return LastError();
  return {};
}

std::error_code ReplaceFileAtomically(const std::string& from, const std::string& to) {
  const std::string host_to = HostPath(to);
  if (::rename(HostPath(from).c_str(), host_to.c_str()) != 0) return LastError();
  return SyncHostFolderOf(host_to);
}

std::error_code SyncFolderOf(const std::string& path) { return SyncHostFolderOf(HostPath(path)); }

bool NameTaken(const std::string& path) {
  struct stat info;
  return ::lstat(HostPath(path).c_str(), &info) == 0;
}

namespace {

// Opens an existing ordinary file (through a link, as any writer of the game's files), sets its
// length (only shorter ones when `shorten_only`) and syncs what changed unless the caller will.
std::error_code ResizeExistingFile(const std::string& path, int64_t length, bool shorten_only,
                                   Durability durability) {
  if (length < 0) return make_error_code(FileError::kOutOfRange);
  const int fd = ::open(HostPath(path).c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return LastError();
  std::error_code error;
  struct stat info;
  if (::fstat(fd, &info) != 0) {
    error = LastError();
  } else if (!S_ISREG(info.st_mode)) {
    error = make_error_code(FileError::kNotOrdinaryFile);
  } else if (!shorten_only || info.st_size > static_cast<off_t>(length)) {
    if (::ftruncate(fd, static_cast<off_t>(length)) != 0 ||
        (durability == Durability::kSynced && ::fsync(fd) != 0)) {
      error = LastError();
    }
  }
  if (::close(fd) != 0 && !error && errno != EINTR) error = LastError();
  return error;
}

}  // namespace

std::error_code TruncateExistingFile(const std::string& path, int64_t length) {
  return ResizeExistingFile(path, length, false, Durability::kSynced);
}

std::error_code CutExistingFile(const std::string& path, int64_t length, Durability durability) {
  return ResizeExistingFile(path, length, true, durability);
}

void IgnoreFileSizeSignal() { ::signal(SIGXFSZ, SIG_IGN); }

std::string TempFolder() {
  std::string folder = "/tmp";
  if (const char* tmpdir = std::getenv("TMPDIR"); tmpdir != nullptr && tmpdir[0] == '/') {
    struct stat info;
    if (::stat(tmpdir, &info) == 0 && S_ISDIR(info.st_mode)) folder = tmpdir;
  }
  if (folder.back() != '/') folder += '/';
  return ProgramPathFromHost(folder);
}

}  // namespace tarnwick
