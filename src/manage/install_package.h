#pragma once

#include <string>

#include "common/game_files.h"
#include "install/install.h"
#include "modlog/mod_log.h"
#include "package/package.h"
#include "platform/messages.h"
#include "platform/progress.h"

namespace tarnwick {

// Both operations first check the game for drift (CheckDrift) and write nothing when it is found
// unless the player, asked through `messages`, starts over (an install then goes on with the
// fresh log) or carries on where that is allowed (CarryOnAllowed).

// Installs a package as InstallMod does, and keeps Tarnwick's records beside the log: the
// package is kept in the store (durable before the log's first save), and after the install's
// last save the ledger records the mod and the game's fingerprints. True when it failed, after
// its message; a package that cannot be kept fails before any game file is touched.
// `tuning` bounds the install's batches (tests and benchmarks ask for small ones).
[[nodiscard]] bool InstallPackage(const std::string& package_path, const PackageHeader& header,
                                  ModLog& log, const GameFiles& game_files, bool cc_present,
                                  Messages& messages, Progress* progress,
                                  const InstallTuning& tuning = {});

// Removes the newest mod as RemoveLatestMod does, then brings the ledger in line with the log and
// deletes kept packages no installed mod uses. Every failure is reported by a message box. True
// when nothing was removed: it failed, or the player cancelled or started over at the drift check.
bool RemoveLatest(ModLog& log, const GameFiles& game_files, Messages& messages);

}  // namespace tarnwick
