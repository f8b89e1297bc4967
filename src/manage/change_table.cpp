#include "manage/change_table.h"

#include <algorithm>

#include "install/install_plan.h"
#include "install/install_rules.h"
#include "manage/conflicts.h"
#include "platform/text_codec.h"

namespace tarnwick {
namespace {

TableCell Text(std::string text) { return {std::move(text), 0, false}; }
TableCell Number(int64_t number) { return {std::to_string(number), number, true}; }

std::string Bytes(int64_t count) {
  return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

// The mods' names as a player reads them, converted once per table.
class ModNames {
 public:
  explicit ModNames(const ModLog& log) {
    for (const ModLogEntry& entry : log.Mods) names_.push_back(Cp1252ToUtf8(entry.Name));
  }
  // The mod at a log position, or "game" for position 0.
  std::string Provider(int32_t position) const {
    return position > 0 ? names_[static_cast<size_t>(position - 1)] : std::string("game");
  }
  // Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) of "\"" + std::string.
  std::string Quoted(int32_t position) const {
    std::string quoted(1, '"');
    quoted.append(Provider(position)).push_back('"');
    return quoted;
  }

 private:
  std::vector<std::string> names_;
};

ChangeTable EmptyTable(std::string title) {
  ChangeTable table;
  table.title = std::move(title);
  table.columns = {"Row",         "What", "File",       "Table",    "Id",         "Status",
                   "Provided by", "Size", "Old offset", "Old size", "New offset", "Civilisation"};
  return table;
}

// The cells an archive change and a replacement have in common.
void FillChange(TableRow& row, int file_index, const FileChange& change, int64_t size) {
  row.cells[kColumnFile] = Text(file_index >= 0 ? GameFileName(file_index) : "");
  if (size >= 0) row.cells[kColumnSize] = Number(size);
  if (IsReplacedFile(file_index)) {
    row.cells[kColumnNewPlace] = {"backup " + ZeroPad(change.OldState, 3), change.OldState, true};
    return;
  }
  row.cells[kColumnOldOffset] = Number(change.OldOffset);
  row.cells[kColumnOldSize] = Number(change.OldSize);
  row.cells[kColumnNewPlace] = Number(change.OldState);
}

// In the order of PlannedKind.
const char* KindText(PlannedKind kind) {
  static constexpr const char* kKinds[] = {"resource", "file", "icon", "refused"};
  return kKinds[static_cast<size_t>(kind)];
}

// Why the install stops at a row, in a player's words. `row` is null when the install stops
// before its first row.
std::string RefusalReason(const PlannedChange& refused, const ResourceEntry* row, bool cc_present) {
  if (refused.outcome == HandlerOutcome::kAbort && row != nullptr && row->typeCode != 5 &&
      row->typeCode != 6 && !cc_present &&
      ChooseArchive(row->targetCode, row->resourceId, cc_present).needs_cc) {
    return "needs Clone Campaigns";
  }
  if (refused.outcome == HandlerOutcome::kInvalidPackage) {
    return refused.message.empty() ? "invalid" : "invalid: " + Cp1252ToUtf8(refused.message);
  }
  if (!refused.message.empty()) return Cp1252ToUtf8(refused.message);
  return refused.error ? refused.error.message() : std::string("an error");
}

TableRow RefusedRow(const PlannedChange& refused, const ResourceEntry* resource, bool cc_present) {
  TableRow row;
  row.mark = RowMark::kRefused;
  row.cells[kColumnWhat] = Text("refused");
  row.cells[kColumnStatus] = Text("refused: " + RefusalReason(refused, resource, cc_present));
  if (resource == nullptr) return row;
  row.cells[kColumnRow] = Number(refused.resource_number);
  if (resource->typeCode == 5) {
    const int index = ReplacementTargetIndex(resource->targetCode);
    if (index >= 0) row.cells[kColumnFile] = Text(GameFileName(index));
    return row;
  }
  const int index =
      resource->typeCode == 6
          ? IconArchiveIndex(cc_present)
          : ChooseArchive(resource->targetCode, resource->resourceId, cc_present).index;
  if (index >= 0) row.cells[kColumnFile] = Text(GameFileName(index));
  if (resource->typeCode != 6) row.cells[kColumnId] = Number(resource->resourceId);
  return row;
}

void CountMarks(ChangeTable& table) {
  for (const TableRow& row : table.rows) {
    table.conflicts += row.mark == RowMark::kConflict;
    table.identical += row.mark == RowMark::kIdentical;
    table.overridden += row.mark == RowMark::kOverridden;
  }
}

std::string AppendedLine(const std::array<int64_t, kGameFileCount>& appended) {
  std::string line;
  for (int index = 0; index < kGameFileCount; ++index) {
    const int64_t bytes = appended[static_cast<size_t>(index)];
    if (bytes <= 0 || !IsGameFileIndex(index)) continue;
    line += (line.empty() ? "" : ", ") + std::string(GameFileName(index)) + " " + Bytes(bytes);
  }
  return "Appended: " + (line.empty() ? std::string("nothing") : line);
}

std::string Count(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

ChangeTable PackageChangeTable(const std::string& package_path, const PackageHeader& header,
                               const ModLog& log, const GameFiles& game_files, bool cc_present) {
  ChangeTable table = EmptyTable(std::string(kChangesTitle) + ": " + Cp1252ToUtf8(header.title));
  const InstallPlan plan = PlanInstall(package_path, header, log, game_files, cc_present);
  const std::vector<Conflict> conflicts =
      FindConflicts(package_path, header, plan, log, game_files);
  const ModNames names(log);
  const int row_count = std::min<int>(header.resourceCount, header.resources.size());
  const int last_row = plan.Refused() ? plan.changes.back().resource_number : row_count;
  table.rows.reserve(std::max<size_t>(plan.changes.size(), static_cast<size_t>(last_row)) + 1);
  size_t next = 0;
  if (plan.Refused() && plan.changes.back().resource_number < 1) {
    table.rows.push_back(RefusedRow(plan.changes.back(), nullptr, cc_present));
  }
  // Rows in package order; a row the plan gives no change for changes nothing.
  for (int number = 1; number <= last_row; ++number) {
    const ResourceEntry& resource = header.resources[number];
    if (next == plan.changes.size() || plan.changes[next].resource_number != number) {
      TableRow row;
      row.cells[kColumnRow] = Number(number);
      row.cells[kColumnWhat] = Text(resource.typeCode == 5   ? "file"
                                    : resource.typeCode == 6 ? "icon"
                                                             : "resource");
      const int index = resource.typeCode == 5 ? ReplacementTargetIndex(resource.targetCode)
                                               : IconArchiveIndex(cc_present);
      row.cells[kColumnFile] = Text(index >= 0 ? GameFileName(index) : "");
      row.cells[kColumnStatus] =
          Text(resource.typeCode == 5 ? "changes nothing: needs Clone Campaigns"
                                      : "changes nothing: no icon sprite selected");
      table.rows.push_back(std::move(row));
      continue;
    }
    for (; next < plan.changes.size() && plan.changes[next].resource_number == number; ++next) {
      const PlannedChange& planned = plan.changes[next];
      const Conflict& conflict = conflicts[next];
      TableRow row;
      row.cells[kColumnRow] = Number(number);
      row.cells[kColumnWhat] = Text(KindText(planned.kind));
      if (planned.kind == PlannedKind::kRefused) {
        table.rows.push_back(RefusedRow(planned, &resource, cc_present));
        continue;
      }
      FillChange(row, planned.file_index, planned.change, planned.size);
      row.cells[kColumnTable] = Text(conflict.table);
      if (planned.kind != PlannedKind::kReplacement) row.cells[kColumnId] = Number(planned.id);
      if (conflict.civilisation >= 0)
        row.cells[kColumnCivilisation] = Number(conflict.civilisation);
      row.cells[kColumnProvider] = Text(names.Provider(conflict.provider));
      if (conflict.identical) {
        row.cells[kColumnStatus] = Text("identical");
        row.mark = RowMark::kIdentical;
      } else if (conflict.provider > 0) {
        row.cells[kColumnStatus] = Text("overrides " + names.Quoted(conflict.provider));
        row.mark = RowMark::kConflict;
      } else {
        row.cells[kColumnStatus] = Text("new");
      }
      table.rows.push_back(std::move(row));
    }
  }
  CountMarks(table);
  table.totals = PackageTotals(plan, conflicts).lines;
  return table;
}

ChangeTotals PackageTotals(const InstallPlan& plan, const std::vector<Conflict>& conflicts) {
  ChangeTotals totals;
  for (const Conflict& conflict : conflicts) {
    totals.conflicts += conflict.Overrides();
    totals.identical += conflict.identical;
  }
  const size_t changes = plan.changes.size() - (plan.Refused() ? 1 : 0);
  totals.lines.push_back(Count(changes, "change", "changes") + ", " +
                         Count(static_cast<size_t>(totals.conflicts), "overrides an installed mod",
                               "override installed mods") +
                         ", " + std::to_string(totals.identical) + " identical");
  totals.lines.push_back(AppendedLine(plan.bytes_appended));
  totals.lines.push_back("Disk space needed: " + Bytes(plan.disk_space_needed));
  if (plan.Refused()) {
    totals.lines.push_back("The install stops at row " +
                           std::to_string(plan.changes.back().resource_number) + ".");
  }
  return totals;
}

ChangeTable InstalledChangeTable(const ModLog& log, int32_t position, const GameFiles& game_files) {
  if (position < 1 || position > log.ModCount()) return EmptyTable(kChangesTitle);
  ChangeTable table =
      EmptyTable(std::string(kChangesTitle) + ": " + Cp1252ToUtf8(log.Mods[position].Name));
  const ModNames names(log);
  std::array<int64_t, kGameFileCount> appended{};
  for (const InstalledChange& change : DescribeInstalledMod(log, position, game_files)) {
    const int index = change.change.FileIndex;
    const bool file = IsReplacedFile(index);
    TableRow row;
    row.cells[kColumnRow] = Number(change.number);
    row.cells[kColumnWhat] = Text(file ? "file" : "archive entry");
    FillChange(row, IsGameFileIndex(index) ? index : -1, change.change, change.size);
    row.cells[kColumnTable] = Text(change.table);
    if (!file && change.id != 0) row.cells[kColumnId] = Number(change.id);
    if (!file && change.size > 0 && IsGameFileIndex(index)) {
      appended[static_cast<size_t>(index)] += change.size;
    }
    if (change.overridden_by.empty()) {
      row.cells[kColumnProvider] = Text(names.Provider(position));
      row.cells[kColumnStatus] = Text("in effect");
    } else {
      const int32_t newest = change.overridden_by.back();
      row.cells[kColumnProvider] = Text(names.Provider(newest));
      row.cells[kColumnStatus] = Text(newest == position ? "overridden later in this mod"
                                                         : "overridden by " + names.Quoted(newest));
      row.mark = RowMark::kOverridden;
    }
    table.rows.push_back(std::move(row));
  }
  CountMarks(table);
  table.totals.push_back(Count(table.rows.size(), "change", "changes") + ", " +
                         std::to_string(table.overridden) + " overridden by later changes");
  table.totals.push_back(AppendedLine(appended));
  return table;
}

bool CellLess(const TableCell& a, const TableCell& b) {
  if (a.text.empty() != b.text.empty()) return a.text.empty();
  if (a.numeric && b.numeric) return a.number < b.number;
  return a.text < b.text;
}

void SortTable(ChangeTable& table, size_t column, bool descending) {
  if (column >= kColumnCount) return;
  std::stable_sort(table.rows.begin(), table.rows.end(),
                   [column, descending](const TableRow& a, const TableRow& b) {
                     return descending ? CellLess(b.cells[column], a.cells[column])
                                       : CellLess(a.cells[column], b.cells[column]);
                   });
}

}  // namespace tarnwick
