#pragma once

#include <cstdint>
#include <vector>

#include "common/game_files.h"
#include "ledger/ledger.h"
#include "modlog/mod_log.h"

namespace tarnwick {

// What changed under Tarnwick since it last touched the game (Steam's file check, a game
// update, another tool).
enum class DriftKind {
  kArchiveShorter,       // shorter than the length the log records: appended data is gone
  kArchiveMissing,       // the log records a length for an archive that is not there
  kDirectoryChanged,     // header or directory no longer as Tarnwick left them (or unreadable)
  kFileChanged,          // a replaced file differs from what Tarnwick left, or is gone
  kBackupChanged,        // a backup the log names differs from what Tarnwick left, or is gone
  kLogChangedElsewhere,  // mods.log is not the one the fingerprints were taken with; they are
                         // not compared
};

struct DriftFinding {
  DriftKind kind = DriftKind::kFileChanged;
  int32_t file_index = 0;
  int32_t backup = -1;           // for kBackupChanged
  int64_t expected_length = -1;  // recorded (log) or fingerprinted length
  int64_t actual_length = -1;    // -1: absent or unreadable
  bool operator==(const DriftFinding&) const = default;
};

// Reads the files, writes nothing. Archive lengths are checked against the log; where the
// ledger holds fingerprints taken with the log as it is now, every fingerprinted file is
// hashed again (streaming, one buffer). Findings come in that order, by file index.
[[nodiscard]] std::vector<DriftFinding> CheckDrift(const ModLog& log, const GameFiles& game_files,
                                                   const Ledger& ledger);

}  // namespace tarnwick
