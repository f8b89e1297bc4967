#pragma once

#include <string>
#include <vector>

#include "common/game_files.h"
#include "ledger/ledger.h"
#include "modlog/mod_log.h"
#include "platform/messages.h"

namespace tarnwick {

inline constexpr char kPackageNotKept[] = "package not kept";
// The ledger's place is named as the player's file manager shows it.
inline constexpr char kLedgerSetAside[] =
#ifdef _WIN32
    "Tarnwick's own records (tarnwick\\ledger.json) were damaged and have been set aside; mods "
#else
    "Tarnwick's own records (tarnwick/ledger.json) were damaged and have been set aside; mods "
#endif
    "installed so far are still listed and can be removed.";

// Reads the ledger of the log's game. A damaged one is set aside (one message through
// `messages`) and an empty ledger given; a missing one is simply empty.
Ledger OpenLedger(const LedgerPaths& paths, Messages& messages);

// What Tarnwick knows of one log entry beyond the log.
struct ModRecordStatus {
  bool recorded = false;  // a ledger record belongs to the entry
  KeptPackage package = KeptPackage::kMissing;
  std::string package_path;  // the kept copy, when recorded
  std::string installed;     // UTC install time, when recorded
};

// One status per log entry, at [position - 1]. With `verify`, every kept package is hashed
// again (reads each whole; without it only its presence is checked).
[[nodiscard]] std::vector<ModRecordStatus> ReadModRecords(const ModLog& log, bool verify,
                                                          Messages& messages);

// The line a view shows for an entry: "installed <time>", or "package not kept".
[[nodiscard]] std::string DescribeRecord(const ModRecordStatus& status);

// After a change to the game: re-reads the log from disk, keeps the records that still belong
// to it, adds one for its newest entry when `new_package` names a package kept for it, takes
// the fingerprints, saves the ledger and deletes packages no record uses. A log that cannot be
// read leaves the ledger as it is.
void RecordLedger(const std::string& log_path, Ledger& ledger, const GameFiles& game_files,
                  const std::string& new_package);

}  // namespace tarnwick
