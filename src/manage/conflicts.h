#pragma once

#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "common/game_files.h"
#include "install/install_plan.h"
#include "modlog/mod_log.h"
#include "package/package.h"

// Which installed mod a change meets: the mod that provides an archive entry or a replaced file
// now is the one whose log record is the newest for that entry (same FileIndex and EntryPos) or
// that file (same FileIndex); with none, the game's own bytes are there.
namespace tarnwick {

// What one planned change meets in the game as it stands before the install.
struct Conflict {
  int32_t provider = 0;    // log position of the mod that provides the target now; 0: the game
  bool identical = false;  // the bytes the change writes are the bytes there now
  // The civilisation (0 to 7) whose icon sprite an icon change rebuilds; -1 for other changes.
  int civilisation = -1;
  std::string table;  // the archive table the entry lies in, its tag read front to back ("slp")
  // Another mod's bytes would give way: the only case a player is warned of.
  [[nodiscard]] bool Overrides() const { return provider > 0 && !identical; }
};

// One Conflict per plan.changes entry, in order (a refused row gets provider 0). "Now" is the game
// as the plan found it: a package that changes one entry twice meets the same bytes both times.
// Identical means, for a resource, the payload equals the bytes the entry points at; for an icon,
// the rebuilt sprite equals the sprite there; for a replaced file, the payload hashes as the file.
// The package is opened once and each payload read at most once, through one 64000-byte buffer,
// and only where the lengths already agree. A file that cannot be read leaves its changes not
// identical and sets *error (the first failure) when `error` is given.
[[nodiscard]] std::vector<Conflict> FindConflicts(const std::string& package_path,
                                                  const PackageHeader& header,
                                                  const InstallPlan& plan, const ModLog& log,
                                                  const GameFiles& game_files,
                                                  std::error_code* error = nullptr);

// One change an installed mod made, as the log and the game hold it now.
struct InstalledChange {
  int32_t number = 0;  // 1-based place in the mod's log entry
  FileChange change;   // the log record
  int32_t id = 0;      // an archive entry's id as the archive holds it now; 0 for a replaced file
  std::string table;   // the archive table the entry lies in, its tag read front to back ("slp")
  // Bytes the change wrote: appended to the archive (up to the next append to it, or the recorded
  // length), or the replacing file's length (its next backup, or the file now); -1 when unknown.
  int64_t size = -1;
  // Log positions of the mods whose later records change the same entry or file, oldest first; a
  // later record of the same mod counts too. Empty: the change is what the game holds now.
  std::vector<int32_t> overridden_by;
};

// Every change of the log's mod at `position` (1 = oldest), in the order it made them. Archives
// are read once each for their directory; a missing or unreadable one leaves id and table empty.
[[nodiscard]] std::vector<InstalledChange> DescribeInstalledMod(const ModLog& log, int32_t position,
                                                                const GameFiles& game_files);

}  // namespace tarnwick
