// Lays out the demo game in the Wine prefix it runs in, for a picture of the window: the game
// with Clone Campaigns where its installer puts it, its registry keys, and the sample mods in
// C:\Mods\. Run by packaging/windows-screenshot.sh.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdio>
#include <string>

#include "writers/game_folder.h"
#include "writers/sandbox.h"

namespace {

bool SetGamePath(const wchar_t* key, const std::string& value) {
  const std::wstring wide(value.begin(), value.end());
  HKEY handle = nullptr;
  if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY,
                        nullptr, &handle, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const bool set =
      ::RegSetValueExW(handle, L"Game Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                       static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  ::RegCloseKey(handle);
  return set;
}

}  // namespace

int main() {
  namespace fixtures = tarnwick::fixtures;
  const std::string game = fixtures::kGameFolderPath;
  bool done = !fixtures::WriteGameFolder(game.substr(0, game.size() - 1), {});
  for (const fixtures::SampleMod& mod : fixtures::SampleMods()) {
    done = done && !fixtures::WriteHostFile("C:\\Mods\\" + mod.file_name, BuildMpi(mod.package));
  }
  done = done &&
         SetGamePath(
             L"Software\\LucasArts Entertainment Company LLC\\Star Wars Galactic "
             L"Battlegrounds: Clone Campaigns\\1.0",
             game) &&
         SetGamePath(
             L"Software\\LucasArts Entertainment Company LLC\\Star Wars Galactic "
             L"Battlegrounds\\1.0",
             game);
  if (!done) std::fputs("demo_scene: the demo game could not be written\n", stderr);
  return done ? 0 : 1;
}
