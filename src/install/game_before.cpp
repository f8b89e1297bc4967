#include "install/game_before.h"

#include <algorithm>

namespace tarnwick {

GameBefore RewindLog(const ModLog& log, int32_t position) {
  GameBefore before;
  before.file_state = log.FileState;
  // As Remove latest undoes them: newest mod first, and within a mod its newest change first.
  for (int32_t m = log.ModCount(); m >= std::max(position, 1); --m) {
    const ModLogEntry& entry = log.Mods[m];
    for (int32_t j = entry.ChangeCount(); j >= 1; --j) {
      const FileChange& change = entry.Changes[j];
      if (!IsGameFileIndex(change.FileIndex)) continue;
      const auto index = static_cast<size_t>(change.FileIndex);
      before.file_state[index] = change.OldState;
      if (IsReplacedFile(change.FileIndex)) continue;
      before.restores[index].push_back(
          {int64_t{change.EntryPos} + 4, change.OldOffset, change.OldSize});
      // The cut only ever shortens an archive; a negative length is not cut to.
      if (change.OldState >= 0) {
        before.length_limit[index] = std::min<int64_t>(before.length_limit[index], change.OldState);
      }
    }
  }
  return before;
}

}  // namespace tarnwick
