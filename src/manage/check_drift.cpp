#include "manage/check_drift.h"

#include "platform/file_system.h"

namespace tarnwick {
namespace {

bool IsArchiveIndex(int index) {
  return (index >= 0 && index <= 4) || (index >= 20 && index <= 24);
}

}  // namespace

std::vector<DriftFinding> CheckDrift(const ModLog& log, const GameFiles& game_files,
                                     const Ledger& ledger) {
  std::vector<DriftFinding> findings;
  for (int index = 0; index < kGameFileCount; ++index) {
    if (!IsArchiveIndex(index)) continue;
    const int32_t recorded = log.FileState[static_cast<size_t>(index)];
    const std::string& path = game_files[static_cast<size_t>(index)];
    int64_t length = -1;
    if (!PathListed(path) || FileLength(path, &length)) {
      if (recorded > 0) findings.push_back({DriftKind::kArchiveMissing, index, -1, recorded, -1});
      continue;
    }
    if (length < recorded) {
      findings.push_back({DriftKind::kArchiveShorter, index, -1, recorded, length});
    }
  }

  if (ledger.game.empty()) return findings;
  std::vector<unsigned char> buffer(kHashBufferSize);
  std::string log_hash;
  int64_t log_length = 0;
  if (ledger.log.empty() || HashFile(log.LogPath, buffer, log_hash, &log_length) ||
      log_hash != ledger.log) {
    findings.push_back({DriftKind::kLogChangedElsewhere, 0, -1, -1, -1});
    return findings;
  }
  for (const Fingerprint& left : ledger.game) {
    if (!IsGameFileIndex(left.file_index)) continue;
    const Fingerprint now = TakeFingerprint(game_files, left.file_index, left.backup, buffer);
    if (IsArchiveIndex(left.file_index) && left.backup < 0) {
      // Appended data is the log's business (checked above); the directory is the fingerprint's.
      if (now.covered != left.covered || now.hash != left.hash) {
        findings.push_back(
            {DriftKind::kDirectoryChanged, left.file_index, -1, left.length, now.length});
      }
      continue;
    }
    if (now.length != left.length || now.hash != left.hash) {
      findings.push_back({left.backup < 0 ? DriftKind::kFileChanged : DriftKind::kBackupChanged,
                          left.file_index, left.backup, left.length, now.length});
    }
  }
  return findings;
}

}  // namespace tarnwick
