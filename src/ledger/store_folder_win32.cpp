#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "ledger/store_folder.h"
#include "platform/host_path.h"

namespace tarnwick {

// Windows makes a new folder's entry durable itself; there is no folder handle to flush.
std::error_code CreateFolderDurably(const std::string& folder) {
  std::string host = HostPath(folder);
  while (host.size() > 3 && (host.back() == '\\' || host.back() == '/')) host.pop_back();
  const DWORD attributes = ::GetFileAttributesA(host.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
               ? std::error_code()
               : std::make_error_code(std::errc::not_a_directory);
  }
  if (!::CreateDirectoryA(host.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
    return {static_cast<int>(::GetLastError()), std::system_category()};
  }
  return {};
}

std::vector<std::string> FilesInFolder(const std::string& folder) {
  std::vector<std::string> names;
  std::string pattern = HostPath(folder);
  if (pattern.empty()) return names;
  if (pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
  pattern += '*';
  WIN32_FIND_DATAA entry;
  HANDLE find = ::FindFirstFileA(pattern.c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.push_back(entry.cFileName);
  } while (::FindNextFileA(find, &entry));
  ::FindClose(find);
  return names;
}

}  // namespace tarnwick
