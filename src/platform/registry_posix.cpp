#include <limits.h>
#include <stdlib.h>

#include <cctype>
#include <optional>
#include <set>

#include "platform/file_system.h"
#include "platform/host_path.h"
#include "platform/registry.h"
#include "platform/wine_prefixes.h"
#include "platform/wine_registry.h"

namespace tarnwick {
namespace {

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

// A 32-bit program's view of HKLM\SOFTWARE in a 64-bit prefix is Software\Wow6432Node; a
// 32-bit prefix has no such key, and the plain one answers.
std::string ReadIn32BitView(const WineRegistry& registry, const std::string& sub_key,
                            const std::string& value_name) {
  constexpr std::string_view kSoftware = "SOFTWARE\\";
  if (StartsWithIgnoringCase(sub_key, kSoftware)) {
    const std::string redirected = "Software\\Wow6432Node\\" + sub_key.substr(kSoftware.size());
    if (const WineRegValue* value = registry.Find(redirected, value_name)) {
      return RegStringValue(*value);
    }
  }
  const WineRegValue* value = registry.Find(sub_key, value_name);
  return value == nullptr ? std::string() : RegStringValue(*value);
}

bool Usable(const std::string& game_path) { return !game_path.empty() && PathListed(game_path); }

std::string RealPathOf(const std::string& host_path) {
  char resolved[PATH_MAX];
  if (::realpath(host_path.c_str(), resolved) == nullptr) return host_path;
  return resolved;
}

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// Judges one prefix by both keys; its prefix must be the one set.
std::optional<GameInstall> InstallIn(const PrefixCandidate& candidate) {
  const auto registry = LoadWineRegistry(candidate.folder + "/system.reg");
  if (registry == nullptr) return std::nullopt;
  GameInstall install{candidate.folder, ReadIn32BitView(*registry, kCcRegKey, kGamePathValue), true,
                      candidate.label};
  if (!Usable(install.game_path)) {
    install.game_path = ReadIn32BitView(*registry, kBaseRegKey, kGamePathValue);
    install.cc_present = false;
    if (!Usable(install.game_path)) return std::nullopt;
  }
  return install;
}

// Steam's copy of the game has no installer and so no registry entries; its folder is where they
// would point, and it holds the expansion.
std::optional<GameInstall> SteamInstall() {
  const std::optional<SteamGame> game = FindSteamGame();
  if (!game) return std::nullopt;
  SetWinePrefix(game->proton_prefix);
  std::string path = ProgramPathFromHost(game->game_folder);
  if (path.empty() || path.back() != '\\') path += '\\';
  if (!Usable(path)) return std::nullopt;
  return GameInstall{game->proton_prefix, path, true, "Steam"};
}

}  // namespace

std::string ReadRegString(RegRoot root, const std::string& sub_key, const std::string& value_name) {
  try {
    if (root != RegRoot::kLocalMachine || WinePrefix().empty()) return {};
    const auto registry = LoadWineRegistry(WinePrefix() + "/system.reg");
    if (registry == nullptr) return {};
    return ReadIn32BitView(*registry, sub_key, value_name);
  } catch (...) {
    return {};
  }
}

std::string InstallKey(const GameInstall& install) {
  return install.prefix + "|" + install.game_path;
}

std::vector<GameInstall> FindGameInstalls() {
  std::vector<GameInstall> installs;
  const std::string saved_prefix = WinePrefix();
  try {
    std::set<std::string> seen;
    const auto add = [&](std::optional<GameInstall> install) {
      if (install && seen.insert(RealPathOf(HostPath(install->game_path))).second) {
        installs.push_back(std::move(*install));
      }
    };
    for (const PrefixCandidate& candidate : WinePrefixCandidates()) {
      SetWinePrefix(candidate.folder);
      add(InstallIn(candidate));
    }
    const char* wine_prefix = std::getenv("WINEPREFIX");
    if (wine_prefix == nullptr || wine_prefix[0] == '\0') add(SteamInstall());
  } catch (...) {
  }
  SetWinePrefix(saved_prefix);
  return installs;
}

std::vector<GameInstall> FindGameInstallsIn(const std::string& prefix) {
  std::vector<GameInstall> installs;
  const std::string saved_prefix = WinePrefix();
  try {
    SetWinePrefix(prefix);
    if (auto install = InstallIn({WithoutTrailingSlash(prefix), "Wine prefix"})) {
      installs.push_back(std::move(*install));
    }
  } catch (...) {
  }
  SetWinePrefix(saved_prefix);
  return installs;
}

}  // namespace tarnwick
