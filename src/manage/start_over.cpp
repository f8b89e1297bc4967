#include "manage/start_over.h"

#include <limits>
#include <map>
#include <vector>

#include "ledger/ledger.h"
#include "ledger/store_folder.h"
#include "manage/mod_records.h"
#include "platform/file_system.h"
#include "platform/trace.h"

namespace tarnwick {
namespace {

constexpr int kReplacedFiles[] = {5, 6, 7, 25, 26, 27};

std::string NameOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "2026-12-06T01:02:03Z" -> "20261206-010203"
std::string Stamp() {
  std::string stamp;
  for (const char c : UtcNow()) {
    if (c >= '0' && c <= '9') stamp += c;
    if (c == 'T') stamp += '-';
  }
  return stamp;
}

// A rename where it can (one step, nothing copied); a durable copy and a delete where it cannot.
std::error_code MoveFile(const std::string& from, const std::string& to) {
  if (!ReplaceFileAtomically(from, to)) return {};
  if (auto error = CopyFileOver(from, to)) return error;
  return DeleteFile(from);
}

}  // namespace

std::error_code StartOver(ModLog& log, const GameFiles& game_files, Messages& messages,
                          std::string* folder_out) {
  const LedgerPaths paths = LedgerPathsFor(log.LogPath);
  const char separator = paths.folder.back();
  // Two starts within a second get two folders.
  std::string stamp = Stamp();
  for (int n = 2; PathListed(log.LogPath + "." + stamp) ||
                  PathListed(paths.folder + "backups-" + stamp + separator);
       ++n) {
    stamp = Stamp() + "-" + std::to_string(n);
  }
  const std::string folder = paths.folder + "backups-" + stamp + separator;

  Ledger old_ledger;
  (void)LoadLedger(paths, old_ledger);
  std::vector<std::pair<std::string, int>> backups;  // path, game file index
  for (const int index : kReplacedFiles) {
    const std::string& file = game_files[static_cast<size_t>(index)];
    if (file.empty()) continue;
    for (int32_t number = 0; number <= 999; ++number) {
      const std::string backup = BackupPath(file, number);
      if (PathListed(backup)) backups.emplace_back(backup, index);
    }
  }
  std::map<std::string, std::string> package_titles;
  for (const LedgerRecord& record : old_ledger.records) {
    package_titles[record.package + ".mpi"] = record.title;
  }
  const std::vector<std::string> packages = FilesInFolder(paths.packages);

  // 1 and 2: copies and the note; the game and the log are untouched so far.
  if (auto error = CreateFolderDurably(paths.folder)) return error;
  if (auto error = CreateFolderDurably(folder)) return error;
  std::string note = "Tarnwick started over from the game as it was at " + stamp +
                     " (UTC): no mod was listed as installed any more.\r\n";
  if (PathListed(log.LogPath)) {
    if (auto error = CopyFileOver(log.LogPath, log.LogPath + "." + stamp)) return error;
    note += "The mod log from before is kept beside the new one as " + NameOf(log.LogPath) + "." +
            stamp + ".\r\n";
  }
  if (PathListed(paths.file)) {
    if (auto error = CopyFileOver(paths.file, paths.file + "." + stamp)) return error;
    note += "Tarnwick's records from before are kept as ledger.json." + stamp + ".\r\n";
  }
  note +=
      "\r\nBackups moved here, each the game file named beside it as it was before a mod "
      "replaced it:\r\n";
  for (const auto& [backup, index] : backups) {
    note += NameOf(backup) + "    backup of " + game_files[static_cast<size_t>(index)] + "\r\n";
  }
  if (backups.empty()) note += "(none)\r\n";
  note += "\r\nPackages Tarnwick had kept, in the folder packages:\r\n";
  for (const std::string& package : packages) {
    const auto title = package_titles.find(package);
    note += package + (title == package_titles.end() ? "" : "    " + title->second) + "\r\n";
  }
  if (packages.empty()) note += "(none)\r\n";
  if (auto error = SaveLedgerFile(folder + "README.txt", note)) return error;

  // 3: the moves. Cut off here, the old log names backups that are gone: drift, found next time.
  for (const auto& [backup, index] : backups) {
    if (auto error = MoveFile(backup, folder + NameOf(backup))) {
      TraceLog("Backup could not be moved - " + error.message());
      return error;
    }
  }
  if (!packages.empty()) {
    const std::string kept = folder + "packages" + separator;
    if (auto error = CreateFolderDurably(kept)) return error;
    for (const std::string& package : packages) {
      if (auto error = MoveFile(paths.packages + package, kept + package)) return error;
    }
  }

  // 4: the fresh log, as start-up creates a missing one.
  ModLog fresh;
  fresh.LogPath = log.LogPath;
  for (int index = 0; index < kGameFileCount; ++index) {
    if (!IsGameFileIndex(index) || IsReplacedFile(index)) continue;
    const std::string& path = game_files[static_cast<size_t>(index)];
    int64_t length = 0;
    if (!PathListed(path) || FileLength(path, &length)) continue;
    if (length <= std::numeric_limits<int32_t>::max()) {
      fresh.FileState[static_cast<size_t>(index)] = static_cast<int32_t>(length);
    }
  }
  if (SaveModLog(fresh, messages)) return std::make_error_code(std::errc::io_error);
  log = fresh;

  // 5: fingerprints of the game as it is now, and no records.
  Ledger ledger;
  RecordLedger(log.LogPath, ledger, game_files, std::string());
  if (folder_out != nullptr) *folder_out = folder;
  return {};
}

}  // namespace tarnwick
