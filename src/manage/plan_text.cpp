#include "manage/plan_text.h"

#include <string_view>

#include "modlog/mod_log.h"
#include "platform/text_codec.h"

namespace tarnwick {
namespace {

// One line from its pieces, sized once: plans of many thousand rows are described line by line.
template <typename... Pieces>
std::string Join(const Pieces&... pieces) {
  const std::string_view views[] = {std::string_view(pieces)...};
  size_t size = 0;
  for (const std::string_view view : views) size += view.size();
  std::string line;
  line.reserve(size);
  for (const std::string_view view : views) line += view;
  return line;
}

std::string Bytes(int64_t count) {
  return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

std::string Line(const PlannedChange& planned) {
  const std::string row = std::to_string(planned.resource_number);
  const FileChange& change = planned.change;
  const char* file = planned.file_index >= 0 ? GameFileName(planned.file_index) : "";
  switch (planned.kind) {
    case PlannedKind::kResource:
      return Join("row ", row, ": ", file, " id ", std::to_string(planned.id), ", ",
                  Bytes(planned.size), " appended at ", std::to_string(change.OldState),
                  " (the entry pointed at ", std::to_string(change.OldOffset), ", ",
                  Bytes(change.OldSize), ")");
    case PlannedKind::kReplacement:
      return Join("row ", row, ": ", file, " replaced by ", Bytes(planned.size),
                  ", the old one kept as ", file, ".", ZeroPad(change.OldState, 3));
    case PlannedKind::kIcon:
      return Join("row ", row, ": icon sprite ", std::to_string(planned.id), " in ", file,
                  " rebuilt, ", Bytes(planned.size), " appended at ",
                  std::to_string(change.OldState));
    case PlannedKind::kRefused:
      break;
  }
  return Join("row ", row, ": the install stops here",
              planned.message.empty() ? " with an error" : ": ", planned.message);
}

// "row N: " and what a change writes to, as its plan line names it.
std::string Target(const PlannedChange& planned, const Conflict& conflict) {
  const std::string row = std::to_string(planned.resource_number);
  const char* file = GameFileName(planned.file_index);
  switch (planned.kind) {
    case PlannedKind::kResource:
      return Join("row ", row, ": ", file, " id ", std::to_string(planned.id));
    case PlannedKind::kIcon:
      if (conflict.civilisation < 0) {
        return Join("row ", row, ": icon sprite ", std::to_string(planned.id), " in ", file);
      }
      return Join("row ", row, ": icon sprite ", std::to_string(planned.id), " in ", file,
                  " (civilisation ", std::to_string(conflict.civilisation), ")");
    default:
      return Join("row ", row, ": ", file);
  }
}

}  // namespace

std::vector<std::string> DescribeConflicts(const InstallPlan& plan,
                                           const std::vector<Conflict>& conflicts,
                                           const ModLog& log) {
  std::vector<std::string> lines;
  std::vector<std::string> mods(static_cast<size_t>(log.ModCount()) + 1);  // by log position
  for (size_t i = 0; i < plan.changes.size() && i < conflicts.size(); ++i) {
    const PlannedChange& planned = plan.changes[i];
    const Conflict& conflict = conflicts[i];
    if (planned.kind == PlannedKind::kRefused || (conflict.provider < 1 && !conflict.identical)) {
      continue;
    }
    if (conflict.provider < 1) {
      lines.push_back(Join(Target(planned, conflict), ": identical to the game's own"));
      continue;
    }
    std::string& mod = mods[static_cast<size_t>(conflict.provider)];
    if (mod.empty()) {
      mod = Join("mod ", std::to_string(conflict.provider), " \"",
                 Cp1252ToUtf8(log.Mods[conflict.provider].Name), "\"");
    }
    lines.push_back(conflict.identical
                        ? Join(Target(planned, conflict), ": identical to what ", mod, " put there")
                        : Join(Target(planned, conflict), ": overrides ", mod));
  }
  return lines;
}

std::vector<std::string> DescribePlan(const InstallPlan& plan) {
  std::vector<std::string> lines;
  lines.reserve(plan.changes.size() + 1);
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
