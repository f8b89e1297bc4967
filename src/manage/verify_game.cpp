#include "manage/verify_game.h"

#include <algorithm>
#include <set>
#include <utility>

#include "manage/drift_texts.h"
#include "manage/mod_records.h"
#include "platform/file_system.h"

namespace tarnwick {
namespace {

bool IsMissingKind(DriftKind kind) {
  return kind == DriftKind::kArchiveMissing || kind == DriftKind::kFileMissing ||
         kind == DriftKind::kBackupMissing;
}

}  // namespace

GameVerification VerifyGame(const GameSession& session, Messages& messages) {
  GameVerification result;
  const ModLog& log = session.ModLog;
  const Ledger ledger = OpenLedger(LedgerPathsFor(log.LogPath), messages);
  result.findings = CheckDrift(log, session.GameFiles, ledger);
  result.fingerprints_apply = FingerprintsApply(log, ledger);
  result.fingerprints_stale = !result.fingerprints_apply && !ledger.game.empty();

  // The files looked at: what was fingerprinted when that applies, else what the log names.
  std::set<std::pair<int32_t, int32_t>> files;
  if (result.fingerprints_apply) {
    for (const Fingerprint& print : ledger.game) files.insert({print.file_index, print.backup});
  }
  for (int index = 0; index < kGameFileCount; ++index) {
    if (!IsArchiveIndex(index)) continue;
    if (index >= kCcOffset && !session.CCPresent) continue;
    if (log.FileState[static_cast<size_t>(index)] > 0 ||
        PathListed(session.GameFiles[static_cast<size_t>(index)])) {
      files.insert({index, -1});
    }
  }
  for (const ModLogEntry& entry : log.Mods) {
    for (const FileChange& change : entry.Changes) {
      if (!IsReplacedFile(change.FileIndex)) continue;
      files.insert({change.FileIndex, -1});
      if (change.OldState >= 0 && change.OldState <= 999) {
        files.insert({change.FileIndex, change.OldState});
      }
    }
  }
  for (const DriftFinding& finding : result.findings) {
    files.insert({finding.file_index, finding.backup});
  }

  for (const auto& [index, backup] : files) {
    VerifiedFile file;
    file.file_index = index;
    file.backup = backup;
    file.path = FindingPath({DriftKind::kFileChanged, index, backup, -1, -1}, session.GameFiles);
    file.name = GameFileName(index);
    if (backup >= 0) file.name.append(".").append(ZeroPad(backup, 3));
    file.state = kStateAsLeft;
    for (const DriftFinding& finding : result.findings) {
      if (finding.file_index != index || finding.backup != backup) continue;
      file.notes.push_back(DriftSentence(finding));
      file.state = IsMissingKind(finding.kind) ? kStateMissing : kStateChanged;
    }
    // A backup of an install that stopped before making it is simply not there.
    if (backup >= 0 && file.notes.empty() && !PathListed(file.path)) continue;
    result.files.push_back(std::move(file));
  }
  result.mods = ListInstalledMods(session, messages);
  return result;
}

}  // namespace tarnwick
