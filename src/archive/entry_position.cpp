#include "archive/drs.h"

namespace tarnwick {

int64_t EntryPosition(const DrsDirectory& directory, int32_t number) {
  if (number < 1) return -1;
  int64_t before = 0;  // entries of the tables before this one
  for (const DrsTableInfo& table : directory.tables) {
    if (table.entryCount > 0 && number <= before + table.entryCount) {
      return static_cast<int64_t>(table.entriesOffset) + kDrsEntrySize * (number - 1 - before);
    }
    if (table.entryCount > 0) before += table.entryCount;
  }
  return -1;
}

}  // namespace tarnwick
