#pragma once

#include <cstdint>
#include <string>

#include "common/game_files.h"
#include "modlog/mod_log.h"

namespace tarnwick {

// Whether the file at `path` is the package mod `position` of `log` was installed from: it reads
// as a package, and installing it on the game as it stood just before that mod was installed
// (PlanInstallBefore) would record the mod's title and every one of its changes, value for value,
// as the log holds them, and would leave what the mod left (the recorded lengths and backup
// counters after it, the bytes it appended and the files it replaced, as the game still holds
// them; a rebuilt icon by its size). `log` is as read from disk, the game files as it describes
// them. Reads, writes nothing.
[[nodiscard]] bool IsPackageOfMod(const std::string& path, const ModLog& log, int32_t position,
                                  const GameFiles& game_files, bool cc_present);

}  // namespace tarnwick
