#pragma once

#include <string>
#include <system_error>

#include "common/game_files.h"
#include "modlog/mod_log.h"
#include "platform/messages.h"

namespace tarnwick {

// Takes the game as it is now, as if it had just been installed, and destroys nothing:
//  1. copies mods.log and ledger.json beside themselves as <name>.<YYYYMMDD-HHMMSS>;
//  2. writes tarnwick/backups-<stamp>/README.txt naming each backup's game file and each kept
//     package's mod;
//  3. moves every backup of the replaced files (<file>.000 to .999) and every kept package there;
//  4. saves a fresh mods.log: no mods, each archive's recorded length its real length;
//  5. saves a fresh ledger with new fingerprints.
// Cut off before 4, the old log is still read, and what was moved shows as drift, so the
// next install or removal offers to start over again; cut off after 4, the new state is in
// effect and the ledger is only checked against its own log. On success `log` is the fresh log
// and `folder` the backups folder. The log's save shows its own message on failure.
[[nodiscard]] std::error_code StartOver(ModLog& log, const GameFiles& game_files,
                                        Messages& messages, std::string* folder = nullptr);

}  // namespace tarnwick
