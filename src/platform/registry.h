#pragma once

#include <string>
#include <vector>

namespace tarnwick {

enum class RegRoot { kLocalMachine };

// Where the game's installers leave the game folder, Clone Campaigns first.
inline constexpr char kCcRegKey[] =
    "SOFTWARE\\LucasArts Entertainment Company LLC\\Star Wars Galactic Battlegrounds: Clone "
    "Campaigns\\1.0";
inline constexpr char kBaseRegKey[] =
    "SOFTWARE\\LucasArts Entertainment Company LLC\\Star Wars Galactic Battlegrounds\\1.0";
inline constexpr char kGamePathValue[] = "Game Path";

// The text of a string value (REG_SZ or REG_EXPAND_SZ, unexpanded) as UTF-8, or "" when the key
// cannot be opened or the value cannot be read (also when it does not fit 1024 characters with
// its zero). On Windows the real registry, 32-bit view, opened with access mask 0x2003F.
// Elsewhere the registry of the Wine prefix the game's paths map through (SetWinePrefix), the
// Software\Wow6432Node view first.
[[nodiscard]] std::string ReadRegString(RegRoot root, const std::string& sub_key,
                                        const std::string& value_name);

// One copy of the game this machine holds.
struct GameInstall {
  std::string prefix;     // host folder of its Wine prefix; "" on Windows or without a prefix
  std::string game_path;  // the game folder as the registry gives it (a program path)
  bool cc_present = false;
  std::string label;  // where it was found, for the player
};

// What names an install across runs (the remembered choice).
[[nodiscard]] std::string InstallKey(const GameInstall& install);

// The installs of the game. On Windows always the one of the real registry: the Clone Campaigns
// key when its folder holds files, else the base game's key, unchecked (empty when neither key
// answers). Elsewhere every Wine prefix that WinePrefixCandidates names, each judged whole by the
// same rule except that the base game's folder must hold files too, else the prefix holds no
// install; then, without $WINEPREFIX, Steam's copy of the game, which has no registry entries.
// The same game folder reached twice counts once. Leaves the prefix set by SetWinePrefix as it
// was.
[[nodiscard]] std::vector<GameInstall> FindGameInstalls();

// The install of the one Wine prefix the player named (host folder), judged as above; none when
// it holds no usable install. On Windows there are no prefixes: the real registry's install.
[[nodiscard]] std::vector<GameInstall> FindGameInstallsIn(const std::string& prefix);

}  // namespace tarnwick
