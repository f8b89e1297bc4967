#include "manage/check_drift.h"

#include <algorithm>
#include <map>

#include "manage/installed_mods.h"
#include "platform/file_system.h"

namespace tarnwick {
namespace {

bool Reported(const std::vector<DriftFinding>& findings, DriftKind kind, int32_t index,
              int32_t backup) {
  return std::any_of(findings.begin(), findings.end(), [&](const DriftFinding& finding) {
    return finding.kind == kind && finding.file_index == index && finding.backup == backup;
  });
}

// The log's own layer: nothing but the log and the files' presence and lengths.
void CheckAgainstLog(const ModLog& log, const GameFiles& game_files,
                     std::vector<DriftFinding>& findings) {
  // The length each archive must reach: the recorded one, unless the log's last change to it
  // belongs to an install that stopped. Its changes are recorded before they are made, a batch
  // at a time, so the archive need only reach the length before that install's first change.
  std::array<int64_t, kGameFileCount> least{};
  for (int index = 0; index < kGameFileCount; ++index) {
    least[static_cast<size_t>(index)] = log.FileState[static_cast<size_t>(index)];
  }
  std::map<int, const ModLogEntry*> latest_entry;
  for (const ModLogEntry& entry : log.Mods) {
    for (const FileChange& change : entry.Changes) latest_entry[change.FileIndex] = &entry;
  }
  for (const auto& [index, entry] : latest_entry) {
    if (!IsArchiveIndex(index) || IsComplete(*entry)) continue;
    for (const FileChange& change : entry->Changes) {
      if (change.FileIndex == index) {
        least[static_cast<size_t>(index)] =
            std::min<int64_t>(least[static_cast<size_t>(index)], change.OldState);
      }
    }
  }

  for (int index = 0; index < kGameFileCount; ++index) {
    if (!IsArchiveIndex(index)) continue;
    const int64_t recorded = least[static_cast<size_t>(index)];
    // Without Clone Campaigns its archives are absent and recorded as empty.
    if (recorded <= 0) continue;
    const std::string& path = game_files[static_cast<size_t>(index)];
    int64_t length = -1;
    if (!PathListed(path) || FileLength(path, &length)) {
      findings.push_back({DriftKind::kArchiveMissing, index, -1, recorded, -1});
    } else if (length < recorded) {
      findings.push_back({DriftKind::kArchiveShorter, index, -1, recorded, length});
    }
  }

  for (const ModLogEntry& entry : log.Mods) {
    // An install that stopped may have recorded a replacement before making its backup; its
    // removal sorts out which backups it made.
    if (!IsComplete(entry)) continue;
    for (const FileChange& change : entry.Changes) {
      if (!IsReplacedFile(change.FileIndex)) continue;
      // Damaged numbers name no file; removal refuses such an entry by itself.
      if (change.OldState < 0 || change.OldState > 999) continue;
      if (Reported(findings, DriftKind::kBackupMissing, change.FileIndex, change.OldState)) {
        continue;
      }
      const std::string& file = game_files[static_cast<size_t>(change.FileIndex)];
      if (!PathListed(BackupPath(file, change.OldState))) {
        findings.push_back({DriftKind::kBackupMissing, change.FileIndex, change.OldState, -1, -1});
      }
    }
  }
}

bool ChangesFile(const ModLogEntry& entry, int32_t index) {
  return std::any_of(entry.Changes.begin(), entry.Changes.end(),
                     [&](const FileChange& change) { return change.FileIndex == index; });
}

}  // namespace

bool FingerprintsApply(const ModLog& log, const Ledger& ledger) {
  if (ledger.game.empty() || ledger.log.empty()) return false;
  std::vector<unsigned char> buffer(kHashBufferSize);
  std::string log_hash;
  int64_t log_length = 0;
  return !HashFile(log.LogPath, buffer, log_hash, &log_length) && log_hash == ledger.log;
}

std::vector<DriftFinding> CheckDrift(const ModLog& log, const GameFiles& game_files,
                                     const Ledger& ledger) {
  std::vector<DriftFinding> findings;
  CheckAgainstLog(log, game_files, findings);
  if (!FingerprintsApply(log, ledger)) return findings;

  std::vector<unsigned char> buffer(kHashBufferSize);
  for (const Fingerprint& left : ledger.game) {
    if (!IsGameFileIndex(left.file_index)) continue;
    const int32_t index = left.file_index;
    const Fingerprint now = TakeFingerprint(game_files, index, left.backup, buffer);
    if (IsArchiveIndex(index) && left.backup < 0) {
      // A missing archive was reported by the log's layer when the log relies on it.
      if (now.length < 0) {
        if (left.length >= 0 && !Reported(findings, DriftKind::kArchiveMissing, index, -1)) {
          findings.push_back({DriftKind::kArchiveMissing, index, -1, left.length, -1});
        }
        continue;
      }
      if (now.length > left.length) {
        findings.push_back({DriftKind::kArchiveLonger, index, -1, left.length, now.length});
      } else if (now.length < left.length &&
                 !Reported(findings, DriftKind::kArchiveShorter, index, -1)) {
        findings.push_back({DriftKind::kArchiveShorter, index, -1, left.length, now.length});
      }
      if (now.covered != left.covered || now.hash != left.hash) {
        findings.push_back({DriftKind::kDirectoryChanged, index, -1, left.length, now.length});
      }
      continue;
    }
    if (now.length == left.length && now.hash == left.hash) continue;
    if (left.backup < 0) {
      findings.push_back({now.length < 0 ? DriftKind::kFileMissing : DriftKind::kFileChanged, index,
                          -1, left.length, now.length});
    } else if (now.length >= 0) {
      findings.push_back({DriftKind::kBackupChanged, index, left.backup, left.length, now.length});
    } else if (!Reported(findings, DriftKind::kBackupMissing, index, left.backup)) {
      findings.push_back({DriftKind::kBackupMissing, index, left.backup, left.length, -1});
    }
  }
  return findings;
}

bool NeededByLog(const DriftFinding& finding, const ModLog& log) {
  switch (finding.kind) {
    case DriftKind::kArchiveShorter:
    case DriftKind::kArchiveMissing:
    case DriftKind::kArchiveLonger:
      return true;
    case DriftKind::kDirectoryChanged:
    case DriftKind::kFileChanged:
    case DriftKind::kFileMissing:
      return std::any_of(log.Mods.begin(), log.Mods.end(), [&](const ModLogEntry& entry) {
        return ChangesFile(entry, finding.file_index);
      });
    case DriftKind::kBackupChanged:
    case DriftKind::kBackupMissing:
      for (const ModLogEntry& entry : log.Mods) {
        for (const FileChange& change : entry.Changes) {
          if (change.FileIndex == finding.file_index && change.OldState == finding.backup) {
            return true;
          }
        }
      }
      return false;
  }
  return true;
}

bool CarryOnAllowed(const std::vector<DriftFinding>& findings, const ModLog& log) {
  return std::none_of(findings.begin(), findings.end(),
                      [&](const DriftFinding& finding) { return NeededByLog(finding, log); });
}

void ExcuseUnfinishedRemoval(const ModLog& log, std::vector<DriftFinding>& findings) {
  if (log.ModCount() < 1) return;
  const ModLogEntry& newest = log.Mods[log.ModCount()];
  const auto excused = [&](const DriftFinding& finding) {
    if (!ChangesFile(newest, finding.file_index)) return false;
    switch (finding.kind) {
      case DriftKind::kArchiveShorter: {
        // Removal cuts each archive back to the entry's first recorded length for it.
        int64_t first = finding.expected_length;
        for (const FileChange& change : newest.Changes) {
          if (change.FileIndex == finding.file_index)
            first = std::min<int64_t>(first, change.OldState);
        }
        return finding.actual_length >= first;
      }
      case DriftKind::kDirectoryChanged:
      case DriftKind::kFileChanged:
      case DriftKind::kFileMissing:
        return true;
      case DriftKind::kBackupMissing:
        for (const FileChange& change : newest.Changes) {
          if (change.FileIndex == finding.file_index && change.OldState == finding.backup) {
            return true;
          }
        }
        return false;
      case DriftKind::kArchiveMissing:
      case DriftKind::kArchiveLonger:
      case DriftKind::kBackupChanged:
        return false;
    }
    return false;
  };
  findings.erase(std::remove_if(findings.begin(), findings.end(), excused), findings.end());
}

std::string FindingPath(const DriftFinding& finding, const GameFiles& game_files) {
  const std::string& file = game_files[static_cast<size_t>(finding.file_index)];
  return finding.backup < 0 ? file : BackupPath(file, finding.backup);
}

}  // namespace tarnwick
