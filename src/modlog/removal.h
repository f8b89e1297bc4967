#pragma once

#include "common/game_files.h"
#include "modlog/mod_log.h"
#include "platform/messages.h"

namespace tarnwick {

// Undoes the newest mod of the log on disk, newest change first, and drops it from the log.
// Every failure is reported here by a message box.
void RemoveLatestMod(ModLog& log, const GameFiles& game_files, Messages& messages);

}  // namespace tarnwick
