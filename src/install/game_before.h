#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "common/game_files.h"
#include "modlog/mod_log.h"

namespace tarnwick {

// Eight bytes removal writes back into an archive: a directory entry's old offset and size.
struct EntryRestore {
  int64_t position = 0;  // of the offset field
  int32_t offset = 0;
  int32_t size = 0;
};

// The game as it stood before a mod of the log was installed, worked out from the log without
// writing anything: what taking that mod and every newer one off, newest first, would leave.
// An archive then holds the bytes it holds now, cut at the shortest length recorded on the way,
// with the entries those mods redirected put back; a replaced file's backup counter is the one
// the log held before. Valid while the game files are as the log describes them (no drift).
struct GameBefore {
  std::array<int32_t, kGameFileCount> file_state{};                // the log's values then
  std::array<int64_t, kGameFileCount> length_limit;                // no archive was longer then
  std::array<std::vector<EntryRestore>, kGameFileCount> restores;  // in the order removal writes
  GameBefore() { length_limit.fill(std::numeric_limits<int64_t>::max()); }
};

// The game before mod `position` (1 = oldest) of `log` was installed; the game as the log stands
// now for a position past its newest mod.
[[nodiscard]] GameBefore RewindLog(const ModLog& log, int32_t position);

}  // namespace tarnwick
