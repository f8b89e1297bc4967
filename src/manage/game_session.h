#pragma once

#include <string>

#include "common/game_files.h"
#include "modlog/mod_log.h"

namespace tarnwick {

// Where the game's installers leave the game folder, Clone Campaigns first.
inline constexpr char kCcRegKey[] =
    "SOFTWARE\\LucasArts Entertainment Company LLC\\Star Wars Galactic Battlegrounds: Clone "
    "Campaigns\\1.0";
inline constexpr char kBaseRegKey[] =
    "SOFTWARE\\LucasArts Entertainment Company LLC\\Star Wars Galactic Battlegrounds\\1.0";
inline constexpr char kGamePathValue[] = "Game Path";

// Where to look for the game. Both empty: the game's registry entries, as the window always did.
struct GameLocation {
  std::string prefix;       // host path of a Wine prefix whose registry alone is read
  std::string game_folder;  // host path of the game folder itself; no registry is read
};

// The location the process was started with (--prefix, --game); the window's start-up reads it.
void SetGameLocation(GameLocation location);
const GameLocation& ChosenGameLocation();

// The game folder as a program path ending with a backslash (empty when not found) and whether
// it is the Clone Campaigns install. From the registry: the Clone Campaigns key when its folder
// holds files, else the base game's key, unchecked. From a given folder: Clone Campaigns when any
// of its files is there.
struct FoundGame {
  std::string GamePath;
  bool CCPresent = false;
};
[[nodiscard]] FoundGame FindGame(const GameLocation& location);

// The game as start-up leaves it: found, its files checked, its log read.
struct GameSession {
  std::string GamePath;
  std::string DataPath;
  bool CCPresent = false;
  tarnwick::GameFiles GameFiles;
  tarnwick::ModLog ModLog;
};

enum class StartOutcome {
  kOpened,
  kGameNotFound,
  kBaseFilesMissing,
  kCcFilesMissing,
  kLogUnusable
};

// What start-up ends with; `message` is the text the window shows in its error box (game text).
struct StartUp {
  StartOutcome outcome = StartOutcome::kOpened;
  std::string message;
  bool Ok() const { return outcome == StartOutcome::kOpened; }
};

// Finds the game, checks its files and reads (or creates) its mod log, without showing anything.
[[nodiscard]] StartUp OpenGameSession(const GameLocation& location, GameSession& session);

}  // namespace tarnwick
