#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#undef DeleteFile

#include <string>
#include <string_view>

#include "fixtures/files.h"

namespace tarnwick::windows_tests {

// A file in the test's folder, named the Windows way (backslash separators).
inline std::string WinPath(const fixtures::TempDir& dir, std::string_view name) {
  return dir.path() + "\\" + std::string(name);
}

// Another program's handle on a file. Without sharing, as the running game holds its archives,
// every other open of the file fails while it lives.
class HeldHandle {
 public:
  explicit HeldHandle(const std::string& path, DWORD share = 0)
      : handle_(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~HeldHandle() {
    if (held()) ::CloseHandle(handle_);
  }
  HeldHandle(const HeldHandle&) = delete;
  HeldHandle& operator=(const HeldHandle&) = delete;
  bool held() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

}  // namespace tarnwick::windows_tests
