#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
// windows.h renames DeleteFile to DeleteFileA, which would rename ours too.
#undef DeleteFile

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/binary_file.h"
#include "platform/failure.h"
#include "platform/file_identity.h"
#include "platform/file_system.h"
#include "platform/host_path.h"
#include "platform/text_codec.h"

namespace tarnwick {
namespace {

std::error_code LastError() { return {static_cast<int>(::GetLastError()), std::system_category()}; }

bool IsSeparator(wchar_t c) { return c == '\\' || c == '/'; }

bool IsOrdinaryEntry(const WIN32_FIND_DATAW& entry) {
  constexpr DWORD kNotOrdinary = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN |
                                 FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE;
  return (entry.dwFileAttributes & kNotOrdinary) == 0;
}

}  // namespace

// Volume and file index name a file whatever path or hard link reaches it.
bool IsSameFile(const std::string& a_path, const std::string& b_path) {
  const std::wstring a = WidePath(HostPath(a_path));
  const std::wstring b = WidePath(HostPath(b_path));
  BY_HANDLE_FILE_INFORMATION info[2];
  const std::wstring* paths[2] = {&a, &b};
  for (int i = 0; i < 2; ++i) {
    // No access rights asked: enough to read the file's identity, and no sharing conflict.
    HANDLE file =
        ::CreateFileW(paths[i]->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const BOOL known = ::GetFileInformationByHandle(file, &info[i]);
    ::CloseHandle(file);
    if (!known) return false;
  }
  return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
         info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
         info[0].nFileIndexLow == info[1].nFileIndexLow;
}

bool PathListed(const std::string& path) {
  std::wstring pattern = WidePath(HostPath(path));
  if (pattern.empty()) return false;
  // A listing would take these as wildcards; no real file name holds them.
  if (pattern.find_first_of(L"*?") != std::wstring::npos) return false;
  if (IsSeparator(pattern.back())) pattern += L'*';
  WIN32_FIND_DATAW entry;
  HANDLE find = ::FindFirstFileW(pattern.c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return false;
  bool listed = false;
  do {
    if (IsOrdinaryEntry(entry)) {
      listed = true;
      break;
    }
  } while (::FindNextFileW(find, &entry));
  ::FindClose(find);
  return listed;
}

std::error_code FileLength(const std::string& path, int64_t* length) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(WidePath(HostPath(path)).c_str(), GetFileExInfoStandard, &data)) {
    return LastError();
  }
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return make_error_code(FileError::kNotOrdinaryFile);
  }
  *length =
      static_cast<int64_t>(static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow);
  return {};
}

std::error_code DeleteFile(const std::string& path) {
  if (!::DeleteFileW(WidePath(HostPath(path)).c_str())) return LastError();
  return {};
}

std::error_code ReplaceFileAtomically(const std::string& from, const std::string& to) {
  if (!::MoveFileExW(WidePath(HostPath(from)).c_str(), WidePath(HostPath(to)).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return LastError();
  }
  return {};
}

std::error_code SyncFolderOf(const std::string& path) {
  std::string folder = HostPath(path);
  const size_t separator = folder.find_last_of("\\/");
  folder = separator == std::string::npos ? "." : folder.substr(0, separator + 1);
  // A folder opens only with backup semantics; flushing it needs write access.
  HANDLE handle = ::CreateFileA(folder.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    // Not every file system lets a folder be opened or flushed; NTFS logs its folder entries, and
    // the writers flush their files, so the entry is safe there all the same.
    const DWORD code = ::GetLastError();
    if (code == ERROR_ACCESS_DENIED || code == ERROR_INVALID_PARAMETER) return {};
    return {static_cast<int>(code), std::system_category()};
  }
  std::error_code error;
  if (!::FlushFileBuffers(handle)) {
    const DWORD code = ::GetLastError();
    if (code != ERROR_ACCESS_DENIED && code != ERROR_INVALID_FUNCTION &&
        code != ERROR_INVALID_PARAMETER && code != ERROR_NOT_SUPPORTED) {
      error = {static_cast<int>(code), std::system_category()};
    }
  }
  ::CloseHandle(handle);
  return error;
}

bool NameTaken(const std::string& path) {
  // Attributes of the name itself: a link that leads nowhere still has them.
  return ::GetFileAttributesA(HostPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

std::error_code ResizeExistingFile(const std::string& path, int64_t length, bool shorten_only,
                                   Durability durability) {
  if (length < 0) return make_error_code(FileError::kOutOfRange);
  // No sharing: a file that the game holds open must fail here rather than be cut under it.
  HANDLE file = ::CreateFileW(WidePath(HostPath(path)).c_str(), GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastError();
  std::error_code error;
  LARGE_INTEGER size;
  LARGE_INTEGER end;
  end.QuadPart = length;
  if (!::GetFileSizeEx(file, &size)) {
    error = LastError();
  } else if (!shorten_only || size.QuadPart > length) {
    if (!::SetFilePointerEx(file, end, nullptr, FILE_BEGIN) || !::SetEndOfFile(file) ||
        (durability == Durability::kSynced && !::FlushFileBuffers(file))) {
      error = LastError();
    }
  }
  if (!::CloseHandle(file) && !error) error = LastError();
  return error;
}

}  // namespace

std::error_code TruncateExistingFile(const std::string& path, int64_t length) {
  return ResizeExistingFile(path, length, false, Durability::kSynced);
}

std::error_code CutExistingFile(const std::string& path, int64_t length, Durability durability) {
  return ResizeExistingFile(path, length, true, durability);
}

void IgnoreFileSizeSignal() {}

std::string TempFolder() {
  wchar_t buffer[255] = {};
  if (::GetTempPathW(255, buffer) == 0) return "C:";
  // Too long a folder leaves the buffer as it was: all zero, so an empty text.
  const std::u16string units(buffer, buffer + ::wcsnlen(buffer, 255));
  return Utf8FromUtf16(units);
}

}  // namespace tarnwick
