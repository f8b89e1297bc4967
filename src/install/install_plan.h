#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "common/game_files.h"
#include "install/install.h"
#include "modlog/mod_log.h"
#include "package/package.h"

namespace tarnwick {

enum class PlannedKind {
  kResource,     // appended to an archive, its entry redirected
  kReplacement,  // a whole file replaced, the old one kept as a numbered backup
  kIcon,         // one civilisation's sprite rebuilt and appended
  kRefused,      // the row the install stops at
};

// One change the install would record, in the order the log gets them; or the row it stops at.
struct PlannedChange {
  int resource_number = 0;  // 1-based row of the package
  PlannedKind kind = PlannedKind::kResource;
  int file_index = -1;  // GameFiles index; -1 when a refused row names none
  int32_t id = 0;       // the resource id (for an icon: its civilisation's sprite id)
  int64_t size = 0;     // bytes appended, or the replacing file's length
  FileChange change;    // what the log records, value for value
  // A refused row: how the install ends there, the box it shows (empty for the error exit,
  // whose box follows from `error`) and the cause of an error exit.
  HandlerOutcome outcome = HandlerOutcome::kDone;
  std::string message;
  std::error_code error;
};

struct InstallPlan {
  std::vector<PlannedChange> changes;                    // a refused row, if any, comes last
  std::array<int64_t, kGameFileCount> bytes_appended{};  // per archive
  int64_t disk_space_needed = 0;  // appended bytes plus backups and replacing files
  [[nodiscard]] bool Refused() const {
    return !changes.empty() && changes.back().kind == PlannedKind::kRefused;
  }
};

// Every change installing `header` (read from `package_path`) on top of `log` would record, in
// order, without writing anything: the checks each row gets, entry values and recorded lengths
// carried from row to row. A row the install would refuse ends the plan. Rows that only an I/O
// failure would stop (a file that cannot be opened or read) end it as an error exit.
[[nodiscard]] InstallPlan PlanInstall(const std::string& package_path, const PackageHeader& header,
                                      const ModLog& log, const GameFiles& game_files,
                                      bool cc_present);

// The same, made against the game as it stood just before mod `position` of `log` (as read from
// disk, the game files as it describes them) was installed: what installing the package then
// would have recorded. See GameBefore; nothing is written.
[[nodiscard]] InstallPlan PlanInstallBefore(const std::string& package_path,
                                            const PackageHeader& header, const ModLog& log,
                                            int32_t position, const GameFiles& game_files,
                                            bool cc_present);

}  // namespace tarnwick
