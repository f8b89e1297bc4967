#pragma once

#include <string>
#include <vector>

#include "common/game_files.h"
#include "modlog/mod_log.h"
#include "platform/registry.h"

namespace tarnwick {

// Where to look for the game. Both empty: the game's registry entries, as the window always did.
struct GameLocation {
  std::string prefix;       // host path of a Wine prefix whose registry alone is read
  std::string game_folder;  // host path of the game folder itself; no registry is read
};

// The location the process was started with (--prefix, --game); the window's start-up reads it.
void SetGameLocation(GameLocation location);
const GameLocation& ChosenGameLocation();

// The installs to choose from: those of the named prefix, or the given folder (its files decide
// the edition), or every install this machine holds.
[[nodiscard]] std::vector<GameInstall> FindInstalls(const GameLocation& location);

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

// Finds the game (the first install when several are found and none is named), checks its files
// and reads (or creates) its mod log, without showing anything.
[[nodiscard]] StartUp OpenGameSession(const GameLocation& location, GameSession& session);

}  // namespace tarnwick
