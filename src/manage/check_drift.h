#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/game_files.h"
#include "ledger/ledger.h"
#include "modlog/mod_log.h"

namespace tarnwick {

// What changed under Tarnwick since it last touched the game (Steam's file check, a game
// update, another tool).
enum class DriftKind {
  kArchiveShorter,    // shorter than the log records (or than Tarnwick left it)
  kArchiveMissing,    // the log records a length for an archive that is not there
  kArchiveLonger,     // bytes after the end Tarnwick left: the next resource would overwrite them
  kDirectoryChanged,  // header or directory no longer as Tarnwick left them (or unreadable)
  kFileChanged,       // a replaced file differs from what Tarnwick left
  kFileMissing,       // a replaced file Tarnwick left is gone
  kBackupChanged,     // a backup the log names differs from what Tarnwick made
  kBackupMissing,     // a backup the log names is gone
};

struct DriftFinding {
  DriftKind kind = DriftKind::kFileChanged;
  int32_t file_index = 0;
  int32_t backup = -1;           // the backup's number, for kBackupChanged and kBackupMissing
  int64_t expected_length = -1;  // recorded (log) or fingerprinted length
  int64_t actual_length = -1;    // -1: absent or unreadable
  bool operator==(const DriftFinding&) const = default;
};

// Reads the files, writes nothing. Two layers, findings in this order:
// - From the log alone (any log, whoever wrote it): every archive is at least as long as the log
//   records, and every backup a change names is there. An install that stopped may have recorded
//   changes it never made: an archive it changed last need only reach its length before that
//   install, and its backups are left to its removal.
// - Where the ledger's fingerprints were taken with the log as it is now (FingerprintsApply):
//   every fingerprinted file hashed again, streaming through one buffer: an archive's length and
//   header and directory, each replaced file and each backup whole.
[[nodiscard]] std::vector<DriftFinding> CheckDrift(const ModLog& log, const GameFiles& game_files,
                                                   const Ledger& ledger);

// Whether the ledger's fingerprints describe the game under this log: there are some, and the
// log on disk is byte for byte the one they were taken with (another installer, or a cut-off
// operation of ours, changes it; then only the log's own layer is checked).
[[nodiscard]] bool FingerprintsApply(const ModLog& log, const Ledger& ledger);

// Whether some change of the log relies on the finding's file: an archive a change redirects an
// entry of, a replaced file a change backed up, a backup a change names. Archive lengths are
// always relied on, since every install appends at the recorded length.
[[nodiscard]] bool NeededByLog(const DriftFinding& finding, const ModLog& log);

// The rule for "carry on": every finding is in a file no change of the log relies on, so that
// writing goes right whatever happened to them (the fingerprints are taken anew afterwards).
[[nodiscard]] bool CarryOnAllowed(const std::vector<DriftFinding>& findings, const ModLog& log);

// Drops what a removal of the newest entry that was cut off leaves behind, so that Remove latest
// can finish it: that entry's archives cut back to its first recorded length with their entries
// restored, its replaced files restored, its backups deleted. Used only when the removal marker
// names that entry.
void ExcuseUnfinishedRemoval(const ModLog& log, std::vector<DriftFinding>& findings);

// The file a finding concerns, as a program path.
[[nodiscard]] std::string FindingPath(const DriftFinding& finding, const GameFiles& game_files);

inline constexpr bool IsArchiveIndex(int index) {
  return (index >= 0 && index <= 4) || (index >= 20 && index <= 24);
}

}  // namespace tarnwick
