#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/game_files.h"
#include "install/install_plan.h"
#include "manage/conflicts.h"
#include "modlog/mod_log.h"
#include "package/package.h"

// "What it changes…": one table every face shows as it is, for a package before it is installed
// (its plan and the installed mods it meets) or for an installed mod (its log records and the
// newer mods that override them). Faces only lay the cells out, sort with CellLess and colour rows
// by their mark. Every text is UTF-8; game text (titles, refusal messages) is converted here.
namespace tarnwick {

inline constexpr char kChangesTitle[] = "What it changes";

// The columns, in the order of ChangeTable::columns: what a player looks for first, then where
// the bytes go.
enum ChangeColumn : size_t {
  kColumnRow,           // the package row; for an installed mod, the change's number
  kColumnWhat,          // "resource", "icon", "file", "refused", "archive entry"
  kColumnFile,          // archive or game file name
  kColumnTable,         // the archive table ("slp", "wav", ...)
  kColumnId,            // resource id, or the icon sprite's id
  kColumnStatus,        // new / overrides "<mod>" / identical / refused: why / in effect /
                        // overridden by "<mod>"
  kColumnProvider,      // the mod whose bytes are there now, or "game"
  kColumnSize,          // bytes appended, or the replacing file's length
  kColumnOldOffset,     // where the entry pointed before
  kColumnOldSize,       // its size before
  kColumnNewPlace,      // offset the bytes land at, or "backup NNN" of a replaced file
  kColumnCivilisation,  // an icon change's civilisation
  kColumnCount,
};

// A cell: its text and what it sorts by. Numeric cells sort by `number`, others by `text`; an
// empty cell sorts first either way.
struct TableCell {
  std::string text;
  int64_t number = 0;
  bool numeric = false;
};

// How a face marks a row.
enum class RowMark {
  kPlain,       // a change nothing installed meets, or one still in effect
  kConflict,    // it overrides an installed mod's bytes
  kIdentical,   // it writes the bytes already there
  kRefused,     // the install stops at this row
  kOverridden,  // an installed mod's change that newer records override
};

struct TableRow {
  std::array<TableCell, kColumnCount> cells;
  RowMark mark = RowMark::kPlain;
};

struct ChangeTable {
  std::string title;                 // the window's title
  std::vector<std::string> columns;  // headings, kColumnCount of them
  std::vector<TableRow> rows;        // in log order
  // Lines under the table: changes and conflicts counted, bytes appended per archive, disk space.
  std::vector<std::string> totals;
  int conflicts = 0;   // rows marked kConflict
  int identical = 0;   // rows marked kIdentical
  int overridden = 0;  // rows marked kOverridden
};

// The plan of installing `header` (read from `package_path`) on the game as the log describes it,
// each change with the installed mod it meets. Writes nothing.
[[nodiscard]] ChangeTable PackageChangeTable(const std::string& package_path,
                                             const PackageHeader& header, const ModLog& log,
                                             const GameFiles& game_files, bool cc_present);

// The lines under a package's table and what they count, from its plan and the conflicts of that
// plan (FindConflicts): for a face that shows the plan in its own words instead of the table.
struct ChangeTotals {
  std::vector<std::string> lines;  // the table's totals
  int conflicts = 0;               // changes that override an installed mod's bytes
  int identical = 0;               // changes that write the bytes already there
};
[[nodiscard]] ChangeTotals PackageTotals(const InstallPlan& plan,
                                         const std::vector<Conflict>& conflicts);

// What the log's mod at `position` (1 = oldest) changed, and which of it newer records override.
[[nodiscard]] ChangeTable InstalledChangeTable(const ModLog& log, int32_t position,
                                               const GameFiles& game_files);

// The order of two cells of one column.
[[nodiscard]] bool CellLess(const TableCell& a, const TableCell& b);
// Sorts the rows by a column, stably, so that a second sort keeps the first within equal cells.
void SortTable(ChangeTable& table, size_t column, bool descending);

}  // namespace tarnwick
