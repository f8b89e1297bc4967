#pragma once

#include <string>
#include <vector>

#include "manage/game_session.h"

namespace tarnwick {

// One mod of the log as a player sees it.
struct InstalledMod {
  int number = 0;     // its place in the log: 1 is the first installed
  std::string title;  // game text, without the mark of an install that stopped
  int changes = 0;
  bool complete = true;
  bool package_kept = false;
};

// The mods of the session's log, newest first.
[[nodiscard]] std::vector<InstalledMod> ListInstalledMods(const GameSession& session);

// Whether Tarnwick kept the package of mod `number`, so that it can be installed again later.
// Packages are not kept yet: always false.
[[nodiscard]] bool PackageKept(const GameSession& session, int number);

}  // namespace tarnwick
