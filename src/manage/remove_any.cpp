#include "manage/remove_any.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string_view>

#include "install/install_rules.h"
#include "ledger/json_integer.h"
#include "manage/check_drift.h"
#include "manage/install_package.h"
#include "manage/installed_mods.h"
#include "manage/mod_package.h"
#include "manage/mod_records.h"
#include "package/package.h"
#include "platform/file_system.h"
#include "platform/game_process.h"
#include "platform/text_codec.h"
#include "platform/trace.h"

namespace tarnwick {
namespace {

using json = nlohmann::json;

constexpr char kPlanOperation[] = "remove";

FailedPrecondition Refused(RemovalRefusal refusal, std::string subject = {}, int32_t position = 0,
                           std::string file = {}) {
  return {refusal, std::move(subject), position, std::move(file)};
}

bool ReadLogQuietly(const std::string& log_path, const GameFiles& game_files, ModLog& log) {
  log = ModLog{};
  log.LogPath = log_path;
  if (!PathListed(log_path)) return false;
  QuietMessages quiet;
  return !ReadModLog(log, game_files, quiet);
}

int64_t LengthOf(const std::string& path) {
  int64_t length = 0;
  return FileLength(path, &length) ? 0 : length;
}

// Free bytes on the disk that holds the folder of `file`; -1 when it cannot be had.
int64_t FreeSpaceBeside(const std::string& file) {
  const std::u8string text(file.begin(), file.end());
  std::error_code error;
  const auto info = std::filesystem::space(std::filesystem::path(text).parent_path(), error);
  if (error) return -1;
  return static_cast<int64_t>(std::min<std::uintmax_t>(info.available, INT64_MAX));
}

// How many mods the log holds after the first `done` steps.
int32_t CountAfter(const RemovalPlan& plan, int32_t done) {
  int32_t count = static_cast<int32_t>(plan.stack.size());
  for (int32_t i = 0; i < done; ++i) {
    count += plan.steps[static_cast<size_t>(i)].kind == RemovalStepKind::kPutBack ? 1 : -1;
  }
  return count;
}

std::string Bytes(int64_t bytes) {
  if (bytes < 10 * 1024) return std::to_string(bytes) + " bytes";
  if (bytes < 10 * 1024 * 1024) return std::to_string((bytes + 1023) / 1024) + " KB";
  return std::to_string((bytes + 1024 * 1024 - 1) / (1024 * 1024)) + " MB";
}

// "A", "A and B", "A, B and C".
std::string Listing(const std::vector<std::string>& titles, std::string_view last_joint) {
  std::string text;
  for (size_t i = 0; i < titles.size(); ++i) {
    if (i > 0) text += i + 1 == titles.size() ? std::string(last_joint) : std::string(", ");
    text += titles[i];
  }
  return text;
}

bool SavePlan(const std::string& log_path, const RemovalPlan* plan, int32_t done) {
  const LedgerPaths paths = LedgerPathsFor(log_path);
  Ledger ledger;
  (void)LoadLedger(paths, ledger);
  if (plan != nullptr) {
    ledger.plan = PlanText(*plan, done);
  } else {
    ledger.plan.reset();
  }
  ledger.saved = UtcNow();
  if (SaveLedger(paths, ledger)) {
    TraceLog("Removal plan could not be recorded");
    return false;
  }
  // The packages of the mods taken off were kept through the plan; now only records count.
  if (plan == nullptr) PruneKeptPackages(paths, ledger);
  return true;
}

constexpr char kRecordsNotSaved[] =
    "Tarnwick's own records (tarnwick\\ledger.json) could not be saved. Unable to continue.";
constexpr char kPutBackUnreadable[] =
    "A kept package could not be read. The mods are as the log lists them; Remove latest works "
    "on them.";

constexpr char kPackageNotKeptNow[] =
    "A chosen package file could not be kept in Tarnwick's records (tarnwick\\packages); nothing "
    "was done.";

// The package files the plan took go into the store as an install keeps its package, before the
// plan is recorded: its put-back steps, and a resumed removal, take them from there. What is
// installed is the kept copy, so that copy is what is checked against the mod once more. False
// when one could not be kept (after its message), or the copy is not what the plan took (nothing
// shown: the plan is out of date). `log` is as read now, equal to the plan's.
bool KeepSuppliedPackages(const RemovalPlan& plan, const ModLog& log, const GameFiles& game_files,
                          bool cc_present, Messages& messages) {
  if (plan.supplied.empty()) return true;
  const LedgerPaths paths = LedgerPathsFor(plan.log_path);
  std::vector<unsigned char> buffer(kHashBufferSize);
  for (const SuppliedPackage& package : plan.supplied) {
    std::string hash;
    if (KeepPackage(paths, package.path, buffer, hash)) {
      messages.Error(kPackageNotKeptNow);
      return false;
    }
    // A copy kept under a name no record uses goes with the next change's clean-up.
    if (hash != package.hash || !IsPackageOfMod(KeptPackagePath(paths, hash), log, package.position,
                                                game_files, cc_present)) {
      return false;
    }
  }
  return true;
}

// One step, through the ordinary removal or install. True when the log shows it done.
bool RunStep(const RemovalStep& step, const RemovalPlan& plan, ModLog& log,
             const GameFiles& game_files, bool cc_present, Messages& messages, Progress* progress) {
  ModLog before;
  if (!ReadLogQuietly(plan.log_path, game_files, before)) return false;
  if (step.kind != RemovalStepKind::kPutBack) {
    RemoveLatest(log, game_files, messages);
    ModLog after;
    return ReadLogQuietly(plan.log_path, game_files, after) &&
           after.ModCount() == before.ModCount() - 1;
  }
  const std::string package = KeptPackagePath(LedgerPathsFor(plan.log_path), step.package);
  PackageHeader header;
  if (ReadPackage(package, header) != PackageRead::kValid) {
    messages.Error(kPutBackUnreadable);
    return false;
  }
  return !InstallPackage(package, header, log, game_files, cc_present, messages, progress);
}

RemovalOutcome RunSteps(const RemovalPlan& plan, int32_t from, ModLog& log,
                        const GameFiles& game_files, bool cc_present, Messages& messages,
                        Progress* progress) {
  for (int32_t i = from; i < static_cast<int32_t>(plan.steps.size()); ++i) {
    if (!RunStep(plan.steps[static_cast<size_t>(i)], plan, log, game_files, cc_present, messages,
                 progress)) {
      return RemovalOutcome::kStepFailed;
    }
    if (!SavePlan(plan.log_path, &plan, i + 1)) {
      messages.Error(kRecordsNotSaved);
      return RemovalOutcome::kStepFailed;
    }
  }
  if (!SavePlan(plan.log_path, nullptr, 0)) {
    messages.Error(kRecordsNotSaved);
    return RemovalOutcome::kStepFailed;
  }
  (void)ReadLogQuietly(plan.log_path, game_files, log);
  return RemovalOutcome::kDone;
}

}  // namespace

RemovalPlan PlanRemoval(const ModLog& log, const GameFiles& game_files, bool cc_present,
                        const Ledger& ledger, int32_t target,
                        const std::vector<SuppliedPackage>& supplied) {
  RemovalPlan plan;
  plan.log_path = log.LogPath;
  plan.target = target;
  const int32_t count = log.ModCount();
  if (target < 1 || target > count) {
    plan.failed.push_back(Refused(RemovalRefusal::kNoSuchMod, std::to_string(target)));
    return plan;
  }
  for (const ModLogEntry& entry : log.Mods) plan.stack.push_back(ChangesDigest(entry));
  plan.target_title = log.Mods[target].Name;

  for (int32_t i = count; i > target; --i) {
    const ModLogEntry& entry = log.Mods[i];
    plan.steps.push_back({RemovalStepKind::kTakeOff, i, entry.Name, ChangesDigest(entry), {}});
  }
  plan.steps.push_back({RemovalStepKind::kRemove,
                        target,
                        log.Mods[target].Name,
                        ChangesDigest(log.Mods[target]),
                        {}});

  if (!CheckDrift(log, game_files, ledger).empty()) {
    plan.failed.push_back(Refused(RemovalRefusal::kDrifted));
  }
  const LedgerPaths paths = LedgerPathsFor(log.LogPath);
  const std::vector<const LedgerRecord*> records = MatchRecords(log, ledger);
  std::vector<unsigned char> buffer(kHashBufferSize);
  int64_t largest_package = 0;
  std::vector<bool> asked(static_cast<size_t>(count) + 1, false);
  for (int32_t i = target + 1; i <= count; ++i) {
    const ModLogEntry& entry = log.Mods[i];
    RemovalStep step{RemovalStepKind::kPutBack, i, entry.Name, {}, {}};
    const LedgerRecord* record = records[static_cast<size_t>(i - 1)];
    const KeptPackage kept = record == nullptr
                                 ? KeptPackage::kMissing
                                 : CheckKeptPackage(paths, record->package, true, buffer);
    const auto offered =
        std::find_if(supplied.begin(), supplied.end(),
                     [i](const SuppliedPackage& package) { return package.position == i; });
    std::string path;  // the package the put-back installs, as it reads now
    if (!IsComplete(entry)) {
      plan.failed.push_back(Refused(RemovalRefusal::kIncomplete, entry.Name, i));
    } else if (kept == KeptPackage::kAltered) {
      plan.failed.push_back(Refused(RemovalRefusal::kPackageAltered, entry.Name, i));
    } else if (kept == KeptPackage::kKept) {
      step.package = record->package;
      path = KeptPackagePath(paths, record->package);
    } else if (offered == supplied.end()) {
      plan.failed.push_back(Refused(RemovalRefusal::kPackageMissing, entry.Name, i));
    } else {
      asked[static_cast<size_t>(i)] = true;
      int64_t length = 0;
      if (!IsPackageOfMod(offered->path, log, i, game_files, cc_present) ||
          HashFile(offered->path, buffer, step.package, &length)) {
        plan.failed.push_back(
            Refused(RemovalRefusal::kNotThePackage, entry.Name, i, offered->path));
      } else {
        path = offered->path;
        plan.supplied.push_back({i, path, step.package});
        plan.disk_needed += length;  // its copy in the store
      }
    }
    PackageHeader header;
    if (!path.empty() && ReadPackage(path, header) != PackageRead::kValid) {
      plan.failed.push_back(Refused(RemovalRefusal::kPackageAltered, entry.Name, i));
    } else if (!path.empty()) {
      largest_package = std::max(largest_package, LengthOf(path));
      for (const ResourceEntry& resource : header.resources) {
        plan.bytes_to_write += std::max<int32_t>(resource.dataLength, 0);
        // A replacement keeps the file it replaces as a backup first.
        const int index = resource.typeCode == 5 ? ReplacementTargetIndex(resource.targetCode) : -1;
        if (IsGameFileIndex(index)) {
          plan.disk_needed += LengthOf(game_files[static_cast<size_t>(index)]);
        }
      }
    }
    plan.steps.push_back(std::move(step));
  }
  for (const SuppliedPackage& package : supplied) {
    const bool in_range = package.position >= 1 && package.position <= count;
    if (!in_range || !asked[static_cast<size_t>(package.position)]) {
      plan.failed.push_back(Refused(RemovalRefusal::kPackageNotAsked,
                                    in_range ? log.Mods[package.position].Name : std::string(),
                                    package.position, package.path));
    }
  }
  // Each put-back copies its package through the store's temporary file once.
  plan.disk_needed += plan.bytes_to_write + largest_package;
  plan.disk_free = FreeSpaceBeside(log.LogPath);
  if (plan.disk_free >= 0 && plan.disk_free < plan.disk_needed) {
    plan.failed.push_back(Refused(RemovalRefusal::kDiskSpace));
  }
  if (GameIsRunning()) plan.failed.push_back(Refused(RemovalRefusal::kGameRunning));
  return plan;
}

std::vector<FailedPrecondition> MissingPackages(const RemovalPlan& plan) {
  const bool only_missing =
      !plan.Ok() &&
      std::all_of(plan.failed.begin(), plan.failed.end(), [](const FailedPrecondition& failed) {
        return failed.refusal == RemovalRefusal::kPackageMissing;
      });
  return only_missing ? plan.failed : std::vector<FailedPrecondition>{};
}

std::string ChoosePackagesQuestion(const RemovalPlan& plan) {
  std::vector<std::string> titles;
  for (const FailedPrecondition& missing : MissingPackages(plan)) titles.push_back(missing.subject);
  return "The package of " + Listing(titles, " and ") +
         " is not kept. To put back a mod, choose the package file it was installed from; it is "
         "used only if installing it would make exactly the changes the log holds for that mod. "
         "Choose the package files now?";
}

std::string ChoosePackageTitle(const FailedPrecondition& missing) {
  return "Select the package of " + missing.subject;
}

std::string Describe(const FailedPrecondition& failed) {
  switch (failed.refusal) {
    case RemovalRefusal::kNoSuchMod:
      return "There is no mod number " + failed.subject + ".";
    case RemovalRefusal::kLogUnreadable:
      return "The mod log could not be read.";
    case RemovalRefusal::kDrifted:
      return "The game files changed since Tarnwick last installed or removed a mod (a game "
             "update, a file check or another tool). Check the game with Verify first.";
    case RemovalRefusal::kIncomplete:
      return failed.subject +
             " did not finish installing and cannot be put back; remove it with Remove latest "
             "first.";
    case RemovalRefusal::kPackageMissing:
      return "The package of " + failed.subject +
             " is not kept, so it cannot be put back unless you choose the package file it was "
             "installed from; or remove the mods above the one you want to remove with Remove "
             "latest, newest first.";
    case RemovalRefusal::kPackageAltered:
      return "The kept package of " + failed.subject +
             " has changed since it was installed, so it cannot be put back.";
    case RemovalRefusal::kNotThePackage:
      return Utf8ToCp1252(failed.file) + " is not the package of " + failed.subject +
             ": installing it would not make the changes the log holds for that mod.";
    case RemovalRefusal::kPackageNotAsked:
      return "Mod number " + std::to_string(failed.position) +
             " needs no package file: only a mod that is put back and whose package is not kept "
             "takes one.";
    case RemovalRefusal::kDiskSpace:
      return "There is not enough free disk space.";
    case RemovalRefusal::kGameRunning:
      return "The game is running. Make sure SWGB is not currently running.";
  }
  return {};
}

std::vector<std::string> Describe(const RemovalPlan& plan) {
  std::vector<std::string> lines;
  if (plan.steps.empty()) {
    for (const FailedPrecondition& failed : plan.failed) lines.push_back(Describe(failed));
    return lines;
  }
  std::vector<std::string> taken_off;
  std::vector<std::string> put_back;
  for (const RemovalStep& step : plan.steps) {
    if (step.kind == RemovalStepKind::kTakeOff) taken_off.push_back(step.title);
    if (step.kind == RemovalStepKind::kPutBack) put_back.push_back(step.title);
  }
  if (taken_off.empty()) {
    lines.push_back("Removes " + plan.target_title + ", the latest mod.");
  } else {
    lines.push_back("Takes off " + Listing(taken_off, " and ") + ", removes " + plan.target_title +
                    ", puts back " + Listing(put_back, " then ") + ".");
    // A package that is not at hand leaves its bytes out of the sums, which would understate them.
    const bool packages_at_hand =
        std::none_of(plan.failed.begin(), plan.failed.end(), [](const FailedPrecondition& failed) {
          return failed.refusal == RemovalRefusal::kPackageMissing ||
                 failed.refusal == RemovalRefusal::kPackageAltered ||
                 failed.refusal == RemovalRefusal::kNotThePackage;
        });
    if (packages_at_hand) {
      lines.push_back("Writes " + Bytes(plan.bytes_to_write) + " and needs " +
                      Bytes(plan.disk_needed) + " of free disk space" +
                      (plan.disk_free >= 0 ? " (" + Bytes(plan.disk_free) + " free)." : "."));
    }
  }
  if (!plan.Ok()) {
    lines.push_back("This cannot be done now:");
    for (const FailedPrecondition& failed : plan.failed) lines.push_back(Describe(failed));
  }
  return lines;
}

std::string Question(const RemovalPlan& plan) {
  std::string text;
  for (const std::string& line : Describe(plan)) text += line + "\n";
  return text + "Do you wish to continue?";
}

std::string PlanText(const RemovalPlan& plan, int32_t done) {
  json steps = json::array();
  for (const RemovalStep& step : plan.steps) {
    json one = {{"position", step.position}, {"title", Cp1252ToUtf8(step.title)}};
    switch (step.kind) {
      case RemovalStepKind::kTakeOff:
        one["step"] = "take off";
        one["changes"] = step.changes;
        break;
      case RemovalStepKind::kRemove:
        one["step"] = "remove";
        one["changes"] = step.changes;
        break;
      case RemovalStepKind::kPutBack:
        one["step"] = "put back";
        one["package"] = step.package;
        break;
    }
    steps.push_back(std::move(one));
  }
  const json out = {{"operation", kPlanOperation},
                    {"target", plan.target},
                    {"title", Cp1252ToUtf8(plan.target_title)},
                    {"stack", plan.stack},
                    {"steps", std::move(steps)},
                    {"done", done}};
  return out.dump();
}

bool ParsePlan(const std::string& text, RemovalPlan& plan, int32_t& done) {
  const json in = json::parse(text, nullptr, false);
  try {
    if (!in.is_object() || in.at("operation") != kPlanOperation) return false;
    RemovalPlan read;
    read.target = IntegerAt<int32_t>(in, "target");
    read.target_title = Utf8ToCp1252(in.at("title").get<std::string>());
    read.stack = in.at("stack").get<std::vector<std::string>>();
    for (const json& one : in.at("steps")) {
      RemovalStep step;
      const std::string kind = one.at("step").get<std::string>();
      step.position = IntegerAt<int32_t>(one, "position");
      step.title = Utf8ToCp1252(one.at("title").get<std::string>());
      if (kind == "take off" || kind == "remove") {
        step.kind = kind == "remove" ? RemovalStepKind::kRemove : RemovalStepKind::kTakeOff;
        step.changes = one.at("changes").get<std::string>();
      } else if (kind == "put back") {
        step.kind = RemovalStepKind::kPutBack;
        step.package = one.at("package").get<std::string>();
      } else {
        return false;
      }
      read.steps.push_back(std::move(step));
    }
    const auto read_done = IntegerAt<int32_t>(in, "done");
    const auto count = static_cast<int32_t>(read.stack.size());
    if (read.target < 1 || read.target > count || read_done < 0 ||
        read_done > static_cast<int32_t>(read.steps.size()) ||
        static_cast<int32_t>(read.steps.size()) != 2 * (count - read.target) + 1) {
      return false;
    }
    read.log_path = plan.log_path;
    plan = std::move(read);
    done = read_done;
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

RemovalOutcome ApplyRemoval(const RemovalPlan& plan, ModLog& log, const GameFiles& game_files,
                            bool cc_present, Messages& messages, Progress* progress) {
  if (!plan.Ok() || plan.steps.empty()) return RemovalOutcome::kRefused;
  // The player may answer long after the plan was made; it holds only for the log it saw.
  ModLog now;
  if (!ReadLogQuietly(plan.log_path, game_files, now) ||
      now.ModCount() != static_cast<int32_t>(plan.stack.size())) {
    return RemovalOutcome::kRefused;
  }
  for (int32_t i = 1; i <= now.ModCount(); ++i) {
    if (ChangesDigest(now.Mods[i]) != plan.stack[static_cast<size_t>(i - 1)]) {
      return RemovalOutcome::kRefused;
    }
  }
  if (!KeepSuppliedPackages(plan, now, game_files, cc_present, messages)) {
    return RemovalOutcome::kRefused;
  }
  if (!SavePlan(plan.log_path, &plan, 0)) {
    messages.Error(kRecordsNotSaved);
    return RemovalOutcome::kRefused;
  }
  return RunSteps(plan, 0, log, game_files, cc_present, messages, progress);
}

bool FindPendingRemoval(const std::string& log_path, PendingRemoval& pending) {
  Ledger ledger;
  if (LoadLedger(LedgerPathsFor(log_path), ledger) != LedgerLoad::kLoaded || !ledger.plan) {
    return false;
  }
  pending.plan.log_path = log_path;
  if (ParsePlan(*ledger.plan, pending.plan, pending.done)) return true;
  // Nothing could ever finish a plan this version cannot read; kept, it would only keep packages
  // from being deleted. The stack is valid as it stands.
  AbandonRemoval(log_path);
  return false;
}

std::string ResumeQuestion(const PendingRemoval& pending) {
  return "Removing " + pending.plan.target_title +
         " was cut off before it finished. Finish it now (the mods above it go back on in their "
         "order)? Cancel leaves the mods as they are now; Remove latest works on them.";
}

RemovalOutcome ResumeRemoval(ModLog& log, const GameFiles& game_files, bool cc_present,
                             Messages& messages, Progress* progress) {
  PendingRemoval pending;
  if (!FindPendingRemoval(log.LogPath, pending)) return RemovalOutcome::kNoPlan;
  const RemovalPlan& plan = pending.plan;
  ModLog now;
  bool fits = ReadLogQuietly(plan.log_path, game_files, now) && now.ModCount() >= plan.target - 1;
  // The mods below the chosen one are never touched.
  for (int32_t i = 1; fits && i < plan.target; ++i) {
    fits = ChangesDigest(now.Mods[i]) == plan.stack[static_cast<size_t>(i - 1)];
  }
  // The progress recorded is at most one step behind: a step runs, then its progress is saved.
  int32_t done = pending.done;
  bool undo_stopped_install = false;
  bool record_put_back = false;
  const int32_t total = static_cast<int32_t>(plan.steps.size());
  if (fits && done < total) {
    const RemovalStep& next = plan.steps[static_cast<size_t>(done)];
    const int32_t count = now.ModCount();
    const int32_t before = CountAfter(plan, done);
    if (next.kind != RemovalStepKind::kPutBack) {
      if (count == before) {
        fits = ChangesDigest(now.Mods[count]) == next.changes;
      } else {
        fits = count == before - 1;
        ++done;
      }
    } else if (count == before + 1) {
      const ModLogEntry& newest = now.Mods[count];
      if (!IsComplete(newest)) {
        undo_stopped_install = true;
      } else {
        // Titles went through the ledger's UTF-8; compared there, bytes without a character
        // match as they did.
        fits = Cp1252ToUtf8(newest.Name) == Cp1252ToUtf8(next.title);
        ++done;
        record_put_back = fits;
      }
    } else {
      fits = count == before;
    }
  }
  if (!fits) {
    AbandonRemoval(log.LogPath);
    return RemovalOutcome::kPlanStale;
  }
  if (undo_stopped_install) {
    // The put-back that was cut off left its entry marked incomplete: undo it, then redo it.
    RemoveLatest(log, game_files, messages);
    ModLog after;
    if (!ReadLogQuietly(plan.log_path, game_files, after) ||
        after.ModCount() != CountAfter(plan, done)) {
      return RemovalOutcome::kStepFailed;
    }
  }
  if (record_put_back) {
    // Cut between the put-back's last log save and its record: the package is the plan's.
    Ledger ledger;
    (void)LoadLedger(LedgerPathsFor(plan.log_path), ledger);
    const std::vector<const LedgerRecord*> records = MatchRecords(now, ledger);
    if (records.back() == nullptr) {
      RecordLedger(plan.log_path, ledger, game_files,
                   plan.steps[static_cast<size_t>(done - 1)].package);
    }
  }
  if (done != pending.done && !SavePlan(plan.log_path, &plan, done)) {
    messages.Error(kRecordsNotSaved);
    return RemovalOutcome::kStepFailed;
  }
  return RunSteps(plan, done, log, game_files, cc_present, messages, progress);
}

void AbandonRemoval(const std::string& log_path) { (void)SavePlan(log_path, nullptr, 0); }

}  // namespace tarnwick
