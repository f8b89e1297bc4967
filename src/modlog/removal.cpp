#include "modlog/removal.h"

#include <string>
#include <system_error>

#include "platform/binary_file.h"
#include "platform/failure.h"
#include "platform/file_system.h"
#include "platform/game_process.h"

namespace tarnwick {
namespace {

constexpr char kRemoveError[] = "Error removing mod!";
constexpr char kGameRunningError[] =
    "Error removing mod! Unable to continue. Make sure SWGB is not currently running.";
constexpr char kDiskFullError[] = "Out of disk space! Unable to continue.";
constexpr char kArchiveError[] = "Error removing mod! Unable to continue.";

constexpr int64_t kDrsEntrySize = 12;

const char* ArchiveMessage(std::error_code error) {
  switch (ClassifyFailure(error)) {
    case FailureClass::kPermissionDenied:
      return kGameRunningError;
    case FailureClass::kDiskFull:
      return kDiskFullError;
    case FailureClass::kOther:
      break;
  }
  return kArchiveError;
}

// Only a damaged log holds changes like these; refusing them before anything is undone keeps
// the game files from being half restored by nonsense.
bool EntryIsSound(const ModLogEntry& entry, const GameFiles& game_files) {
  for (const FileChange& change : entry.Changes) {
    if (!IsGameFileIndex(change.FileIndex)) return false;
    if (IsReplacedFile(change.FileIndex)) {
      if (change.OldState < 0 || change.OldState > 999) return false;
      continue;
    }
    if (change.EntryPos < 0) return false;
    // An entry past the end would grow the archive instead of restoring it. An archive whose
    // length cannot be had is left to fail at its opening, with the message for its cause.
    int64_t length = 0;
    if (!FileLength(game_files[static_cast<size_t>(change.FileIndex)], &length) &&
        change.EntryPos + kDrsEntrySize > length) {
      return false;
    }
  }
  return true;
}

// Returns the message to show, or nullptr when the change is undone.
const char* RestoreReplacedFile(const std::string& file, const FileChange& change) {
  const std::string backup = BackupPath(file, change.OldState);
  // An earlier removal that stopped part-way has already copied this one back and deleted it.
  if (!PathListed(backup)) return nullptr;
  if (CopyFileOver(backup, file)) return kRemoveError;
  (void)DeleteFile(backup);
  return nullptr;
}

const char* RestoreArchiveEntry(const std::string& file, const FileChange& change) {
  BinaryFile archive;
  if (auto error = archive.Open(file, OpenMode::kReadWrite)) return ArchiveMessage(error);
  unsigned char old_offset[4];
  unsigned char old_size[4];
  StoreI32(old_offset, change.OldOffset);
  StoreI32(old_size, change.OldSize);
  if (auto error = archive.WriteAt(change.EntryPos + 4, old_offset, sizeof old_offset)) {
    return ArchiveMessage(error);
  }
  if (auto error = archive.WriteAt(change.EntryPos + 8, old_size, sizeof old_size)) {
    return ArchiveMessage(error);
  }
  if (auto error = archive.Close()) return ArchiveMessage(error);
  SetFileLength(file, change.OldState);
  return nullptr;
}

}  // namespace

void RemoveLatestMod(ModLog& log, const GameFiles& game_files, Messages& messages) {
  // Under Wine the game does not lock its archives, so its process stands in for the lock.
  if (GameIsRunning()) {
    messages.Error(kGameRunningError);
    return;
  }
  if (ReadModLog(log, game_files, messages) || log.ModCount() < 1) {
    messages.Error(kRemoveError);
    return;
  }
  const ModLogEntry& entry = log.Mods[log.ModCount()];
  if (!EntryIsSound(entry, game_files)) {
    messages.Error(kRemoveError);
    return;
  }
  // Newest first, so that repeated changes to one file end at the oldest recorded state.
  for (int32_t j = entry.ChangeCount(); j >= 1; --j) {
    const FileChange& change = entry.Changes[j];
    const std::string& file = game_files[static_cast<size_t>(change.FileIndex)];
    const char* failure = IsReplacedFile(change.FileIndex) ? RestoreReplacedFile(file, change)
                                                           : RestoreArchiveEntry(file, change);
    if (failure != nullptr) {
      messages.Error(failure);
      return;
    }
    log.FileState[static_cast<size_t>(change.FileIndex)] = change.OldState;
  }
  log.Mods.pop_back();
  (void)SaveModLog(log, messages);
}

}  // namespace tarnwick
