#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "ledger/store_folder.h"
#include "platform/host_path.h"

namespace tarnwick {
namespace {

std::string WithoutTrailingSeparator(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::error_code SyncFolder(const std::string& host_folder) {
  const int fd = ::open(host_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return {errno, std::generic_category()};
  std::error_code error;
  if (::fsync(fd) != 0) error = {errno, std::generic_category()};
  ::close(fd);
  return error;
}

}  // namespace

std::error_code CreateFolderDurably(const std::string& folder) {
  const std::string host = WithoutTrailingSeparator(HostPath(folder));
  struct stat info {};
  if (::lstat(host.c_str(), &info) == 0) {
    return S_ISDIR(info.st_mode) ? std::error_code()
                                 : std::make_error_code(std::errc::not_a_directory);
  }
  if (::mkdir(host.c_str(), 0755) != 0 && errno != EEXIST) return {errno, std::generic_category()};
  const size_t slash = host.find_last_of('/');
  return SyncFolder(slash == std::string::npos ? "." : slash == 0 ? "/" : host.substr(0, slash));
}

std::vector<std::string> FilesInFolder(const std::string& folder) {
  std::vector<std::string> names;
  const std::string host = WithoutTrailingSeparator(HostPath(folder));
  DIR* dir = ::opendir(host.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    struct stat info {};
    if (::lstat((host + "/" + name).c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
      names.push_back(name);
    }
  }
  ::closedir(dir);
  return names;
}

}  // namespace tarnwick
