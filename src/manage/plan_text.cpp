#include "manage/plan_text.h"

#include "modlog/mod_log.h"

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

}  // namespace

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
