#pragma once

#include <string>
#include <vector>

#include "manage/game_session.h"
#include "platform/messages.h"

namespace tarnwick {

// One mod of the log as a player sees it.
struct InstalledMod {
  int number = 0;     // its place in the log: 1 is the first installed
  std::string title;  // game text, without the mark of an install that stopped
  int changes = 0;
  bool complete = true;
  bool package_kept = false;
  std::string installed;  // UTC install time from Tarnwick's records; empty when not recorded
};

// Whether the entry's install ran to its end (its name carries no " (incomplete)" mark).
[[nodiscard]] bool IsComplete(const ModLogEntry& entry);

// The mods of the session's log, newest first, with whether Tarnwick keeps each one's package
// (from its own records; a damaged record file is set aside with one message).
[[nodiscard]] std::vector<InstalledMod> ListInstalledMods(const GameSession& session,
                                                          Messages& messages);

}  // namespace tarnwick
