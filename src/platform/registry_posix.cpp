#include <cctype>

#include "platform/host_path.h"
#include "platform/registry.h"
#include "platform/wine_prefixes.h"
#include "platform/wine_registry.h"

namespace tarnwick {
namespace {

constexpr size_t kQueryBufferBytes = 1024;

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
const WineRegValue* FindIn32BitView(const WineRegistry& registry, const std::string& sub_key,
                                    const std::string& value_name) {
  constexpr std::string_view kSoftware = "SOFTWARE\\";
  if (StartsWithIgnoringCase(sub_key, kSoftware)) {
    const std::string redirected = "Software\\Wow6432Node\\" + sub_key.substr(kSoftware.size());
    if (const WineRegValue* value = registry.Find(redirected, value_name)) return value;
  }
  return registry.Find(sub_key, value_name);
}

// Steam's copy of the game has no installer and so no registry entries; its folder is where
// they would point.
bool AsksForGamePath(const std::string& sub_key, const std::string& value_name) {
  return value_name.size() == 9 && StartsWithIgnoringCase(value_name, "Game Path") &&
         sub_key.find("Star Wars Galactic Battlegrounds") != std::string::npos;
}

std::string SteamGamePath() {
  const std::optional<SteamGame> game = FindSteamGame();
  if (!game) return {};
  SetWinePrefix(game->proton_prefix);
  std::string path = ProgramPathFromHost(game->game_folder);
  if (path.empty() || path.back() != '\\') path += '\\';
  if (path.size() + 1 > kQueryBufferBytes) return {};
  return path;
}

}  // namespace

std::string ReadRegString(RegRoot root, const std::string& sub_key, const std::string& value_name) {
  try {
    if (root != RegRoot::kLocalMachine) return {};
    for (const std::string& prefix : WinePrefixCandidates()) {
      const auto registry = LoadWineRegistry(prefix + "/system.reg");
      if (registry == nullptr) continue;
      if (const WineRegValue* value = FindIn32BitView(*registry, sub_key, value_name)) {
        SetWinePrefix(prefix);
        return AnsiRegString(*value);
      }
    }
    if (AsksForGamePath(sub_key, value_name)) return SteamGamePath();
    return {};
  } catch (...) {
    return {};
  }
}

}  // namespace tarnwick
