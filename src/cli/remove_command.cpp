#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "manage/face_texts.h"
#include "manage/install_package.h"
#include "manage/mod_records.h"
#include "manage/remove_any.h"
#include "platform/host_path.h"
#include "platform/text_codec.h"

namespace tarnwick::cli {

int CommandRun::Remove() {
  if (!OpenGame()) return Finish(kExitRefused);
  if (line_.resume) return ResumeRemove();
  PendingRemoval pending;
  if (FindPendingRemoval(session_.ModLog.LogPath, pending)) {
    Say("A removal was cut off before it finished: tarnwick remove --resume finishes it.");
    return Finish(kExitRefused);
  }
  ModLog& log = session_.ModLog;
  const int latest = log.ModCount();
  if (latest == 0) {
    Say("No mod is installed: there is nothing to remove.");
    return Finish(kExitRefused);
  }
  const int number = line_.number.value_or(latest);
  if (number > latest) {
    Say("There is no mod number " + std::to_string(number) + "; tarnwick list shows the numbers.");
    return Finish(kExitRefused);
  }
  // Package files go with a plan, whose refusal says when the mod needs none.
  if (number != latest || !line_.package_files.empty()) return RemoveAny(number);
  const ModLogEntry removed = log.Mods[latest];
  if (!messages_.Confirm(kRemoveTitle, RemoveLatestQuestion(removed.Name))) {
    result_["declined"] = true;
    return Finish(kExitRefused);
  }
  if (RemoveLatest(log, session_.GameFiles, messages_) || messages_.error_shown()) {
    if (messages_.declined()) result_["declined"] = true;
    return Finish(kExitRefused);
  }
  result_["removed"] = {{"number", latest},
                        {"title", Cp1252ToUtf8(removed.Name)},
                        {"changes", removed.ChangeCount()}};
  if (!line_.json) {
    console_.PrintLine("Removed mod " + std::to_string(latest) + ": " + Cp1252ToUtf8(removed.Name));
  }
  return Finish(kExitOk);
}

int CommandRun::RemoveAny(int number) {
  ModLog& log = session_.ModLog;
  std::vector<SuppliedPackage> supplied;
  for (const auto& [position, file] : line_.package_files) {
    supplied.push_back({position, ProgramPathFromHost(file), {}});
  }
  const RemovalPlan plan =
      PlanRemoval(log, session_.GameFiles, session_.CCPresent,
                  OpenLedger(LedgerPathsFor(log.LogPath), messages_), number, supplied);
  const ModLogEntry removed = log.Mods[number];
  for (const std::string& line : Describe(plan)) Say(Cp1252ToUtf8(line));
  for (const FailedPrecondition& missing : MissingPackages(plan)) {
    Say("tarnwick remove " + std::to_string(number) + " --package " +
        std::to_string(missing.position) + "=FILE gives the package file of " +
        Cp1252ToUtf8(missing.subject) + ".");
  }
  if (!plan.Ok()) return Finish(kExitRefused);
  if (!messages_.Confirm(kRemoveAnyTitle, "Do you wish to continue?")) {
    result_["declined"] = true;
    return Finish(kExitRefused);
  }
  if (ApplyRemoval(plan, log, session_.GameFiles, session_.CCPresent, messages_, nullptr) !=
      RemovalOutcome::kDone) {
    if (!messages_.error_shown()) Say(kPlanOutOfDate);
    return Finish(kExitRefused);
  }
  result_["removed"] = {{"number", number},
                        {"title", Cp1252ToUtf8(removed.Name)},
                        {"changes", removed.ChangeCount()}};
  if (!line_.json) {
    console_.PrintLine("Removed mod " + std::to_string(number) + ": " + Cp1252ToUtf8(removed.Name));
  }
  return Finish(kExitOk);
}

int CommandRun::ResumeRemove() {
  PendingRemoval pending;
  if (!FindPendingRemoval(session_.ModLog.LogPath, pending)) {
    Say("No removal is waiting to be finished.");
    return Finish(kExitOk);
  }
  if (!messages_.Confirm(kRemoveAnyTitle, ResumeQuestion(pending))) {
    // Answered no: the stack stays as it stands, which Remove latest handles like any other.
    if (!messages_.refused()) AbandonRemoval(session_.ModLog.LogPath);
    result_["declined"] = true;
    return Finish(kExitRefused);
  }
  switch (
      ResumeRemoval(session_.ModLog, session_.GameFiles, session_.CCPresent, messages_, nullptr)) {
    case RemovalOutcome::kDone:
    case RemovalOutcome::kNoPlan:
      break;
    case RemovalOutcome::kPlanStale:
      Say(kRemovalCutOffStale);
      return Finish(kExitRefused);
    default:
      return Finish(kExitRefused);
  }
  result_["removed"] = {{"number", pending.plan.target},
                        {"title", Cp1252ToUtf8(pending.plan.target_title)}};
  if (!line_.json) {
    console_.PrintLine("Removed mod " + std::to_string(pending.plan.target) + ": " +
                       Cp1252ToUtf8(pending.plan.target_title));
  }
  return Finish(kExitOk);
}

}  // namespace tarnwick::cli
