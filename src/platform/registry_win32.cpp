#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstring>

#include "platform/registry.h"

namespace tarnwick {
namespace {

// Read and write rights, as the game's own tools ask for them: a user who may not write the key
// does not see the game there.
constexpr REGSAM kAccess = 0x2003F;
constexpr DWORD kBufferSize = 1024;

HKEY RootKey(RegRoot root) {
  switch (root) {
    case RegRoot::kLocalMachine:
      break;
  }
  return HKEY_LOCAL_MACHINE;
}

}  // namespace

std::string ReadRegString(RegRoot root, const std::string& sub_key, const std::string& value_name) {
  std::string text;
  HKEY key = nullptr;
  // The game is a 32-bit program: a 64-bit build must look where it wrote.
  if (::RegOpenKeyExA(RootKey(root), sub_key.c_str(), 0, kAccess | KEY_WOW64_32KEY, &key) ==
      ERROR_SUCCESS) {
    char buffer[kBufferSize] = {};
    DWORD type = 0;
    DWORD size = kBufferSize;
    if (::RegQueryValueExA(key, value_name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                           &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
      text.assign(buffer, ::strnlen(buffer, kBufferSize));
    }
  }
  ::RegCloseKey(key);
  return text;
}

}  // namespace tarnwick
