#include "manage/mod_records.h"

#include <vector>

#include "platform/file_system.h"
#include "platform/trace.h"

namespace tarnwick {
Ledger OpenLedger(const LedgerPaths& paths, Messages& messages) {
  Ledger ledger;
  if (LoadLedger(paths, ledger) == LedgerLoad::kSetAside) {
    messages.Information("Warning", kLedgerSetAside);
  }
  return ledger;
}

std::vector<ModRecordStatus> ReadModRecords(const ModLog& log, bool verify, Messages& messages) {
  const LedgerPaths paths = LedgerPathsFor(log.LogPath);
  const Ledger ledger = OpenLedger(paths, messages);
  std::vector<unsigned char> buffer(verify ? kHashBufferSize : 0);
  std::vector<ModRecordStatus> statuses;
  for (const LedgerRecord* record : MatchRecords(log, ledger)) {
    ModRecordStatus status;
    if (record != nullptr) {
      status.recorded = true;
      status.installed = record->installed;
      status.package = CheckKeptPackage(paths, record->package, verify, buffer);
      status.package_path = KeptPackagePath(paths, record->package);
    }
    statuses.push_back(std::move(status));
  }
  return statuses;
}

std::string DescribeRecord(const ModRecordStatus& status) {
  if (!status.recorded || status.package != KeptPackage::kKept) return kPackageNotKept;
  return "installed " + status.installed;
}

void RecordLedger(const std::string& log_path, Ledger& ledger, const GameFiles& game_files,
                  const std::string& new_package) {
  // Reading a missing log would create one; there is nothing to record then.
  if (!PathListed(log_path)) return;
  ModLog log;
  log.LogPath = log_path;
  QuietMessages quiet;
  if (ReadModLog(log, game_files, quiet)) return;
  DropUnmatched(log, ledger);
  std::vector<unsigned char> buffer(kHashBufferSize);
  ledger.game = TakeFingerprints(log, game_files, buffer);
  int64_t log_length = 0;
  if (HashFile(log_path, buffer, ledger.log, &log_length)) ledger.log.clear();
  if (!new_package.empty() && log.ModCount() > 0) {
    const int32_t newest = log.ModCount();
    // An old record that happens to match the same entry gives way to the install just made.
    if (!ledger.records.empty() && ledger.records.back().position == newest) {
      ledger.records.pop_back();
    }
    LedgerRecord record = RecordFor(log, newest, new_package);
    record.fingerprints = ledger.game;
    ledger.records.push_back(std::move(record));
  }
  ledger.saved = UtcNow();
  const LedgerPaths paths = LedgerPathsFor(log_path);
  if (SaveLedger(paths, ledger)) {
    // The mods stay installed and removable through the log; they read as "package not kept".
    TraceLog("Ledger could not be saved");
    return;
  }
  // A removal in progress still needs the packages of the mods it took off, to put them back.
  if (!ledger.plan) PruneKeptPackages(paths, ledger);
}

}  // namespace tarnwick
