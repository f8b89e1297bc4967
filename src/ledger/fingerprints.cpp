#include <algorithm>
#include <set>
#include <utility>

#include "archive/drs.h"
#include "ledger/ledger.h"
#include "ledger/stream_hash.h"
#include "platform/file_system.h"

namespace tarnwick {
namespace {

bool IsArchiveIndex(int index) {
  return (index >= 0 && index <= 4) || (index >= 20 && index <= 24);
}

}  // namespace

int64_t DirectoryEnd(const std::string& archive_path, std::error_code* io_error) {
  BinaryFile archive;
  if (auto error = archive.Open(archive_path, OpenMode::kRead)) {
    if (io_error != nullptr) *io_error = error;
    return 0;
  }
  DrsDirectory directory;
  QuietMessages quiet;
  if (ReadDrsDirectory(archive, directory, quiet, io_error) != DrsRead::kOk) return 0;
  // The reader has bounded every run by the file's length.
  int64_t end = kDrsHeaderSize + int64_t{kDrsTableSize} * directory.header.tableCount;
  for (const DrsTableInfo& table : directory.tables) {
    if (table.entryCount == 0) continue;
    end = std::max(end, int64_t{table.entriesOffset} + int64_t{kDrsEntrySize} * table.entryCount);
  }
  return end;
}

Fingerprint TakeFingerprint(const GameFiles& game_files, int32_t file_index, int32_t backup,
                            std::vector<unsigned char>& buffer) {
  Fingerprint print;
  print.file_index = file_index;
  print.backup = backup;
  const std::string& game_file = game_files[static_cast<size_t>(file_index)];
  const std::string path = backup < 0 ? game_file : BackupPath(game_file, backup);
  if (!PathListed(path)) return print;
  int64_t length = 0;
  if (IsArchiveIndex(file_index) && backup < 0) {
    if (FileLength(path, &length)) return print;
    std::error_code io_error;
    const int64_t end = DirectoryEnd(path, &io_error);
    print.length = length;
    if (end > 0 && !HashFilePrefix(path, end, buffer, print.hash)) print.covered = end;
    return print;
  }
  std::string hash;
  if (HashFile(path, buffer, hash, &length)) return print;
  print.length = length;
  print.covered = length;
  print.hash = std::move(hash);
  return print;
}

std::vector<Fingerprint> TakeFingerprints(const ModLog& log, const GameFiles& game_files,
                                          std::vector<unsigned char>& buffer) {
  // Ordered by file, then backup number, so two takes of the same state compare equal.
  std::set<std::pair<int32_t, int32_t>> wanted;
  for (int index = 0; index < kGameFileCount; ++index) {
    if (IsArchiveIndex(index) && PathListed(game_files[static_cast<size_t>(index)])) {
      wanted.insert({index, -1});
    }
  }
  for (const ModLogEntry& entry : log.Mods) {
    for (const FileChange& change : entry.Changes) {
      if (!IsReplacedFile(change.FileIndex)) continue;
      wanted.insert({change.FileIndex, -1});
      if (change.OldState >= 0 && change.OldState <= 999) {
        wanted.insert({change.FileIndex, change.OldState});
      }
    }
  }
  std::vector<Fingerprint> prints;
  prints.reserve(wanted.size());
  for (const auto& [index, backup] : wanted) {
    prints.push_back(TakeFingerprint(game_files, index, backup, buffer));
  }
  return prints;
}

std::string FingerprintName(const Fingerprint& fingerprint) {
  if (!IsGameFileIndex(fingerprint.file_index)) return "?";
  std::string name = GameFileName(fingerprint.file_index);
  if (fingerprint.backup >= 0) {
    name += '.';
    name += ZeroPad(fingerprint.backup, 3);
  }
  return name;
}

}  // namespace tarnwick
