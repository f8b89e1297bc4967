#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cwchar>

#include "platform/file_system.h"
#include "platform/host_path.h"
#include "platform/registry.h"
#include "platform/text_codec.h"

namespace tarnwick {
namespace {

// Read and write rights, as the game's own tools ask for them: a user who may not write the key
// does not see the game there.
constexpr REGSAM kAccess = 0x2003F;
// Room for 1023 characters and the terminating zero.
constexpr DWORD kBufferUnits = 1024;

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
  if (::RegOpenKeyExW(RootKey(root), WidePath(sub_key).c_str(), 0, kAccess | KEY_WOW64_32KEY,
                      &key) == ERROR_SUCCESS) {
    wchar_t buffer[kBufferUnits] = {};
    DWORD type = 0;
    DWORD size = sizeof buffer;
    if (::RegQueryValueExW(key, WidePath(value_name).c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
      const std::u16string units(buffer, buffer + ::wcsnlen(buffer, kBufferUnits));
      text = Utf8FromUtf16(units);
    }
  }
  ::RegCloseKey(key);
  return text;
}

std::string InstallKey(const GameInstall& install) { return install.game_path; }

std::vector<GameInstall> FindGameInstalls() {
  GameInstall install;
  install.label = "Windows";
  try {
    install.game_path = ReadRegString(RegRoot::kLocalMachine, kCcRegKey, kGamePathValue);
    install.cc_present = !install.game_path.empty() && PathListed(install.game_path);
  } catch (...) {
    install.cc_present = false;
  }
  if (!install.cc_present) {
    install.game_path = ReadRegString(RegRoot::kLocalMachine, kBaseRegKey, kGamePathValue);
  }
  if (install.game_path.empty()) return {};
  return {install};
}

std::vector<GameInstall> FindGameInstallsIn(const std::string&) { return FindGameInstalls(); }

}  // namespace tarnwick
