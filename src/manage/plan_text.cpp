#include "manage/plan_text.h"

#include "modlog/mod_log.h"
#include "platform/text_codec.h"

namespace tarnwick {
namespace {

std::string Bytes(int64_t count) {
  return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

std::string Line(const PlannedChange& planned) {
  const std::string row = "row " + std::to_string(planned.resource_number) + ": ";
  const FileChange& change = planned.change;
  switch (planned.kind) {
    case PlannedKind::kResource:
      return row + GameFileName(planned.file_index) + " id " + std::to_string(planned.id) + ", " +
             Bytes(planned.size) + " appended at " + std::to_string(change.OldState) +
             " (the entry pointed at " + std::to_string(change.OldOffset) + ", " +
             Bytes(change.OldSize) + ")";
    case PlannedKind::kReplacement:
      return row + GameFileName(planned.file_index) + " replaced by " + Bytes(planned.size) +
             ", the old one kept as " + GameFileName(planned.file_index) + "." +
             ZeroPad(change.OldState, 3);
    case PlannedKind::kIcon:
      return row + "icon sprite " + std::to_string(planned.id) + " in " +
             GameFileName(planned.file_index) + " rebuilt, " + Bytes(planned.size) +
             " appended at " + std::to_string(change.OldState);
    case PlannedKind::kRefused:
      break;
  }
  return row + "the install stops here" +
         (planned.message.empty() ? std::string(" with an error") : ": " + planned.message);
}

// What a change writes to, as its plan line names it.
std::string Target(const PlannedChange& planned, const Conflict& conflict) {
  const std::string file = GameFileName(planned.file_index);
  switch (planned.kind) {
    case PlannedKind::kResource:
      return file + " id " + std::to_string(planned.id);
    case PlannedKind::kIcon:
      return "icon sprite " + std::to_string(planned.id) + " in " + file +
             (conflict.civilisation >= 0
                  ? " (civilisation " + std::to_string(conflict.civilisation) + ")"
                  : std::string());
    default:
      return file;
  }
}

}  // namespace

std::vector<std::string> DescribeConflicts(const InstallPlan& plan,
                                           const std::vector<Conflict>& conflicts,
                                           const ModLog& log) {
  std::vector<std::string> lines;
  for (size_t i = 0; i < plan.changes.size() && i < conflicts.size(); ++i) {
    const PlannedChange& planned = plan.changes[i];
    const Conflict& conflict = conflicts[i];
    if (planned.kind == PlannedKind::kRefused || (conflict.provider < 1 && !conflict.identical)) {
      continue;
    }
    const std::string mod = conflict.provider > 0
                                ? "mod " + std::to_string(conflict.provider) + " \"" +
                                      Cp1252ToUtf8(log.Mods[conflict.provider].Name) + "\""
                                : std::string();
    lines.push_back("row " + std::to_string(planned.resource_number) + ": " +
                    Target(planned, conflict) + ": " +
                    (!conflict.identical ? "overrides " + mod
                     : mod.empty()       ? std::string("identical to the game's own")
                                         : "identical to what " + mod + " put there"));
  }
  return lines;
}

std::vector<std::string> DescribePlan(const InstallPlan& plan) {
  std::vector<std::string> lines;
  for (const PlannedChange& planned : plan.changes) lines.push_back(Line(planned));
  int64_t appended = 0;
  for (const int64_t bytes : plan.bytes_appended) appended += bytes;
  const size_t changes = plan.changes.size() - (plan.Refused() ? 1 : 0);
  lines.push_back(std::to_string(changes) + (changes == 1 ? " change, " : " changes, ") +
                  Bytes(appended) + " appended to archives, " + Bytes(plan.disk_space_needed) +
                  " of disk space needed");
  return lines;
}

}  // namespace tarnwick
