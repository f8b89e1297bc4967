#include "manage/log_check.h"

#include <cstdint>

#include "manage/installed_mods.h"
#include "platform/file_system.h"

namespace tarnwick {
namespace {

constexpr int kArchives[] = {0, 1, 2, 3, 4, 20, 21, 22, 23, 24};

}  // namespace

std::vector<LogFinding> CheckAgainstLog(const GameSession& session) {
  std::vector<LogFinding> findings;
  const ModLog& log = session.ModLog;
  for (const int index : kArchives) {
    // Without the expansion its archives are never written, whatever an old log says.
    if (index >= kCcOffset && !session.CCPresent) continue;
    const int32_t recorded = log.FileState[static_cast<size_t>(index)];
    const std::string& file = session.GameFiles[static_cast<size_t>(index)];
    // Without Clone Campaigns its archives may be absent and recorded as empty.
    if (recorded <= 0) continue;
    int64_t length = 0;
    if (!PathListed(file) || FileLength(file, &length)) {
      findings.push_back({LogFinding::Kind::kArchiveMissing, index, 0, file,
                          std::string(GameFileName(index)) + " is missing; the log records " +
                              std::to_string(recorded) + " bytes."});
    } else if (length < recorded) {
      findings.push_back({LogFinding::Kind::kArchiveShorter, index, 0, file,
                          std::string(GameFileName(index)) + " is " + std::to_string(length) +
                              " bytes long, shorter than the " + std::to_string(recorded) +
                              " bytes the log records."});
    }
  }
  for (int32_t number = 1; number <= log.ModCount(); ++number) {
    const ModLogEntry& entry = log.Mods[number];
    const bool complete = IsComplete(entry);
    for (int32_t j = 1; j <= entry.ChangeCount(); ++j) {
      const FileChange& change = entry.Changes[j];
      if (!IsReplacedFile(change.FileIndex)) continue;
      if (!complete && j == entry.ChangeCount()) continue;
      const std::string backup =
          BackupPath(session.GameFiles[static_cast<size_t>(change.FileIndex)], change.OldState);
      if (PathListed(backup)) continue;
      findings.push_back({LogFinding::Kind::kBackupMissing, change.FileIndex, number, backup,
                          "The backup " + std::string(GameFileName(change.FileIndex)) + "." +
                              ZeroPad(change.OldState, 3) + " of mod " + std::to_string(number) +
                              " (" + entry.Name + ") is missing; removing it cannot restore " +
                              GameFileName(change.FileIndex) + "."});
    }
  }
  return findings;
}

}  // namespace tarnwick
