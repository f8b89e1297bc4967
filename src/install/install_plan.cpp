#include "install/install_plan.h"

#include <algorithm>
#include <vector>

#include "install/archive_planner.h"
#include "platform/failure.h"
#include "platform/file_system.h"

namespace tarnwick {
namespace {

// The boxes a plan would cause are kept as the refusal's message, never shown.
class KeptMessages : public Messages {
 public:
  void Error(const std::string& text) override {
    if (first.empty()) first = text;
  }
  void Information(const std::string&, const std::string&) override {}
  void Plain(const std::string&, const std::string&) override {}
  bool Confirm(const std::string&, const std::string&) override { return true; }
  std::string first;
};

// `before`, when given, is the game the plan is made against, and `file_state` its log values.
InstallPlan PlanOn(const std::string& package_path, const PackageHeader& header,
                   const std::array<int32_t, kGameFileCount>& file_state, const GameBefore* before,
                   const GameFiles& game_files, bool cc_present) {
  InstallPlan plan;
  BinaryFile package;
  int64_t package_length = 0;
  std::error_code error = package.Open(package_path, OpenMode::kRead);
  if (!error) error = package.Length(&package_length);
  if (error) {
    PlannedChange refused;
    refused.kind = PlannedKind::kRefused;
    refused.outcome = HandlerOutcome::kError;
    refused.error = error;
    plan.changes.push_back(refused);
    return plan;
  }
  if (RecordedPastTheEnd(header, file_state, game_files, cc_present, before)) {
    PlannedChange refused;
    refused.kind = PlannedKind::kRefused;
    refused.outcome = HandlerOutcome::kAbort;
    refused.message = kUnfinishedModAhead;
    plan.changes.push_back(refused);
    return plan;
  }
  std::vector<unsigned char> buffer(kCopyBufferSize);
  ModLog simulated{{}, file_state, {}};
  ArchivePlanner planner(OpenMode::kRead, file_state, before);
  int64_t copied = 0;
  const int resource_count = std::min<int>(header.resourceCount, header.resources.size());
  // An archive row makes one change, so the rows bound the changes but for icons.
  plan.changes.reserve(static_cast<size_t>(std::max(resource_count, 0)) + 1);
  const auto take = [&plan, &game_files](PlannedChange&& change, const KeptMessages& kept) {
    if (change.kind == PlannedKind::kRefused && change.message.empty() &&
        change.outcome == HandlerOutcome::kInvalidPackage) {
      change.message = kept.first;  // the archive's own complaint, if it made one
    }
    if (change.kind == PlannedKind::kResource || change.kind == PlannedKind::kIcon) {
      plan.bytes_appended[static_cast<size_t>(change.file_index)] += change.size;
      plan.disk_space_needed += change.size;
    } else if (change.kind == PlannedKind::kReplacement) {
      int64_t length = 0;
      if (!FileLength(game_files[static_cast<size_t>(change.file_index)], &length)) {
        plan.disk_space_needed += length;  // the backup
      }
      plan.disk_space_needed += change.size;
    }
    plan.changes.push_back(std::move(change));
  };
  for (int i = 1; i <= resource_count && !plan.Refused(); ++i) {
    const ResourceEntry& row = header.resources[i];
    KeptMessages kept;
    InstallContext context{package,    package_length, buffer, i,       row,     simulated,
                           game_files, cc_present,     kept,   nullptr, &copied, {}};
    switch (row.typeCode) {
      case 5:
        for (PlannedChange& change : planner.PlanReplacement(context))
          take(std::move(change), kept);
        break;
      case 6:
        for (PlannedChange& change : planner.PlanIcons(context)) take(std::move(change), kept);
        break;
      default:
        take(planner.PlanInsert(context), kept);
        break;
    }
  }
  return plan;
}

}  // namespace

InstallPlan PlanInstall(const std::string& package_path, const PackageHeader& header,
                        const ModLog& log, const GameFiles& game_files, bool cc_present) {
  return PlanOn(package_path, header, log.FileState, nullptr, game_files, cc_present);
}

InstallPlan PlanInstallBefore(const std::string& package_path, const PackageHeader& header,
                              const ModLog& log, int32_t position, const GameFiles& game_files,
                              bool cc_present) {
  const GameBefore before = RewindLog(log, position);
  return PlanOn(package_path, header, before.file_state, &before, game_files, cc_present);
}

}  // namespace tarnwick
