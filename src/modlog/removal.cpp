#include "modlog/removal.h"

#include <algorithm>
#include <array>
#include <string>
#include <system_error>
#include <vector>

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

// How one change is undone, decided for the whole entry before any file is touched.
enum class Undo { kArchive, kBackup, kAlreadyRestored };

// The message of an archive that cannot be undone into, or nullptr with its length. The archive is
// opened for writing as its undoing will open it, so a running game or a missing archive stops the
// removal before anything else has been undone.
const char* CheckArchive(const std::string& file, int64_t* length) {
  BinaryFile archive;
  if (auto error = archive.Open(file, OpenMode::kReadWrite)) return ArchiveMessage(error);
  if (auto error = archive.Length(length)) return ArchiveMessage(error);
  return nullptr;
}

// Decides how each change of `entry` is undone, or returns the message that stops the removal.
//
// A replaced file's backup is deleted once it has been copied back, and removal goes newest first:
// a removal that stopped part-way leaves the newest backups of a file missing, and only those.
// Such changes are already undone. Any other missing backup, or one that cannot be read, would
// leave the file in a state no install recorded, so the removal stops before it starts.
const char* PlanUndo(const ModLogEntry& entry, const GameFiles& game_files,
                     std::vector<Undo>* plan) {
  const int32_t count = entry.ChangeCount();
  plan->assign(static_cast<size_t>(count) + 1, Undo::kArchive);
  std::array<bool, kGameFileCount> backup_seen{};
  std::array<int64_t, kGameFileCount> archive_length;  // -1 until checked
  archive_length.fill(-1);
  for (int32_t j = count; j >= 1; --j) {
    const FileChange& change = entry.Changes[j];
    if (!IsGameFileIndex(change.FileIndex)) return kArchiveError;
    const auto index = static_cast<size_t>(change.FileIndex);
    const std::string& file = game_files[index];
    if (!IsReplacedFile(change.FileIndex)) {
      int64_t& length = archive_length[index];
      if (length < 0) {
        if (const char* failure = CheckArchive(file, &length)) return failure;
      }
      // Only a damaged log points outside the archive: writing there would grow it, not restore
      // it.
      if (change.EntryPos < 0 || change.EntryPos + kDrsEntrySize > length) return kArchiveError;
      continue;
    }
    if (change.OldState < 0) return kRemoveError;
    const std::string backup = BackupPath(file, change.OldState);
    BinaryFile readable;
    if (!readable.Open(backup, OpenMode::kRead)) {
      (*plan)[static_cast<size_t>(j)] = Undo::kBackup;
      backup_seen[index] = true;
    } else if (NameTaken(backup) || backup_seen[index]) {
      return kRemoveError;
    } else {
      (*plan)[static_cast<size_t>(j)] = Undo::kAlreadyRestored;
    }
  }
  return nullptr;
}

// Returns the message to show, or nullptr when the change is undone. Written through a link that
// stands for the game file; the backup stays until the file is synced.
const char* RestoreReplacedFile(const std::string& file, const FileChange& change) {
  if (CopyFileOver(BackupPath(file, change.OldState), file, Durability::kCallerSyncs)) {
    return kRemoveError;
  }
  return nullptr;
}

// Puts the entry's old values back through `archive`, opened at its first change.
const char* RestoreArchiveEntry(BinaryFile& archive, const std::string& file,
                                const FileChange& change) {
  if (!archive.is_open()) {
    if (auto error = archive.Open(file, OpenMode::kReadWrite)) return ArchiveMessage(error);
  }
  unsigned char old_fields[8];
  StoreI32(old_fields, change.OldOffset);
  StoreI32(old_fields + 4, change.OldSize);
  if (auto error = archive.WriteAt(change.EntryPos + 4, old_fields, sizeof old_fields)) {
    return ArchiveMessage(error);
  }
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
  std::vector<Undo> plan;
  if (const char* failure = PlanUndo(entry, game_files, &plan)) {
    messages.Error(failure);
    return;
  }
  // Newest first, so that repeated changes to one file end at the oldest recorded state.
  std::array<bool, kGameFileCount> written{};
  std::array<BinaryFile, kGameFileCount> archives;
  std::array<int32_t, kGameFileCount> cut_to{};
  for (int32_t j = entry.ChangeCount(); j >= 1; --j) {
    const FileChange& change = entry.Changes[j];
    const auto index = static_cast<size_t>(change.FileIndex);
    const char* failure = nullptr;
    switch (plan[static_cast<size_t>(j)]) {
      case Undo::kArchive:
        failure = RestoreArchiveEntry(archives[index], game_files[index], change);
        cut_to[index] = written[index] ? std::min(cut_to[index], change.OldState) : change.OldState;
        written[index] = true;
        break;
      case Undo::kBackup:
        failure = RestoreReplacedFile(game_files[index], change);
        written[index] = true;
        break;
      case Undo::kAlreadyRestored:
        break;
    }
    if (failure != nullptr) {
      messages.Error(failure);
      return;
    }
    log.FileState[index] = change.OldState;
  }
  for (size_t index = 0; index < archives.size(); ++index) {
    if (!archives[index].is_open()) continue;
    if (auto error = archives[index].Close()) {
      messages.Error(ArchiveMessage(error));
      return;
    }
    // Once, to the shortest length recorded, where cutting back change by change would end. Silent,
    // as the cut always was: a longer archive only keeps a tail no entry refers to. An archive
    // shorter than that never received the data (changes recorded ahead of their writing) and is
    // not lengthened with zeros.
    (void)CutExistingFile(game_files[index], cut_to[index], Durability::kCallerSyncs);
  }
  // Each restored file once, after its last change: on disk before its backups go and before the
  // log forgets the mod. Until then every backup is still there to restore from again.
  if (auto error = SyncGameFiles(written, game_files)) {
    messages.Error(ArchiveMessage(error));
    return;
  }
  // Newest first, as a removal stopped part-way expects them gone (see PlanUndo).
  for (int32_t j = entry.ChangeCount(); j >= 1; --j) {
    if (plan[static_cast<size_t>(j)] != Undo::kBackup) continue;
    const FileChange& change = entry.Changes[j];
    (void)DeleteFile(
        BackupPath(game_files[static_cast<size_t>(change.FileIndex)], change.OldState));
  }
  log.Mods.pop_back();
  (void)SaveModLog(log, messages);
}

}  // namespace tarnwick
