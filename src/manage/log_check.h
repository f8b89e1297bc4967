#pragma once

#include <string>
#include <vector>

#include "manage/game_session.h"

namespace tarnwick {

// Something in the game folder that no longer matches what the log relies on for removal.
struct LogFinding {
  enum class Kind { kArchiveShorter, kArchiveMissing, kBackupMissing };
  Kind kind;
  int file_index = -1;  // GameFiles index concerned
  int mod_number = 0;   // for a backup: the mod whose change names it
  std::string file;     // the file concerned, program path (game text)
  std::string text;     // one line for a player (game text)
};

// The check that needs nothing but the log: every archive is at least as long as the log records
// (data is only ever appended there), and every backup a change names is there. A backup named by
// the last change of an install that stopped may never have been made, and is not a finding.
[[nodiscard]] std::vector<LogFinding> CheckAgainstLog(const GameSession& session);

}  // namespace tarnwick
