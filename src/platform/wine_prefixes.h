#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// The game's Steam app id; Proton keeps the game's prefix under compatdata/<id>/pfx.
inline constexpr std::string_view kSteamAppId = "356500";

// The library folders a Steam libraryfolders.vdf lists: the "path" entries, and the bare
// numbered entries of the file's older form. Host paths as written.
[[nodiscard]] std::vector<std::string> ParseLibraryFolders(std::string_view vdf);

// The "installdir" of a Steam app manifest (appmanifest_<id>.acf); empty when it names none or
// names something other than one plain folder.
[[nodiscard]] std::string ParseInstallDir(std::string_view acf);

// Steam libraries on this machine, as host paths without a trailing "/": each Steam root in
// $HOME (~/.steam/steam, ~/.local/share/Steam, the Flatpak one) that exists, each followed by
// the libraries its libraryfolders.vdf lists; every folder once.
[[nodiscard]] std::vector<std::string> SteamLibraries();

// The prefix paths a Lutris game configuration (games/*.yml) names: the indented "prefix:"
// entries, as written ("~/" not yet expanded).
[[nodiscard]] std::vector<std::string> ParseLutrisPrefixes(std::string_view yml);

struct PrefixCandidate {
  std::string folder;  // host path without a trailing "/"
  std::string label;   // what the player is shown: where the prefix comes from
};

// The Wine prefixes that may hold the game, in the order they are asked. $WINEPREFIX alone when
// it is set, as Wine itself does. Otherwise ~/.wine, the game's Proton prefix in each Steam
// library, Lutris prefixes (those its game configurations name, then those in ~/Games) and
// Bottles prefixes (native and Flatpak). Existing folders only (all but the first two need a
// system.reg), each once.
[[nodiscard]] std::vector<PrefixCandidate> WinePrefixCandidates();

struct SteamGame {
  std::string game_folder;    // host path of the install's Game folder, ending with "/"
  std::string proton_prefix;  // the game's Proton prefix in the same library, or ""
};

// The first Steam library that holds the game, found through its app manifest. The folders are
// matched without regard to letter case, as the game itself sees them.
[[nodiscard]] std::optional<SteamGame> FindSteamGame();

}  // namespace tarnwick
