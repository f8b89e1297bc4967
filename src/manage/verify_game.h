#pragma once

#include <string>
#include <vector>

#include "manage/check_drift.h"
#include "manage/game_session.h"
#include "manage/installed_mods.h"
#include "platform/messages.h"

namespace tarnwick {

// One file the check looked at, as the verify view lists it.
struct VerifiedFile {
  std::string name;  // "graphics.drs", "language.dll.000"
  std::string path;  // program path
  int32_t file_index = 0;
  int32_t backup = -1;
  const char* state = "";          // kStateAsLeft, kStateChanged or kStateMissing
  std::vector<std::string> notes;  // the sentence of each finding about it
};

struct GameVerification {
  std::vector<DriftFinding> findings;
  bool fingerprints_apply = false;  // false: only the log's own layer was checked
  bool fingerprints_stale = false;  // there are some, taken with another log (kFingerprintsStale)
  std::vector<VerifiedFile> files;  // archives, replaced files and backups, by file index
  std::vector<InstalledMod> mods;   // newest first, with whether each package is kept
};

// The drift check of the session's game, with every file looked at and its state. Writes nothing
// but what reading the records does (a damaged ledger is set aside with one message).
[[nodiscard]] GameVerification VerifyGame(const GameSession& session, Messages& messages);

inline constexpr char kFingerprintsStale[] =
    "The mod log was changed by another program since Tarnwick last wrote it, so only archive "
    "lengths and backups were checked.";

}  // namespace tarnwick
