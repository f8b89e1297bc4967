#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "install/archive_planner.h"
#include "install/install.h"
#include "platform/failure.h"
#include "platform/game_process.h"
#include "platform/trace.h"

namespace tarnwick {
namespace {

constexpr char kInvalidPackage[] =
    "Specified MPI file is invalid or corrupted! Installation incomplete. Make sure you have the "
    "latest version of the mod installer.";
constexpr char kGameRunning[] =
    "Error installing mod! Unable to continue. Make sure SWGB is not currently running.";
constexpr char kDiskFull[] = "Out of disk space! Unable to continue.";
constexpr char kGeneric[] = "Error installing mod! Unable to continue.";

// An empty code stands for a failure that has no platform error of its own (the mod log could not
// be read or saved); it takes the generic message.
bool ErrorExit(Messages& messages, std::error_code error) {
  switch (ClassifyFailure(error)) {
    case FailureClass::kPermissionDenied:
      messages.Error(kGameRunning);
      break;
    case FailureClass::kDiskFull:
      messages.Error(kDiskFull);
      break;
    case FailureClass::kOther:
      messages.Error(kGeneric);
      break;
  }
  TraceLog("Installation error - " + (error ? error.message() : std::string("mod log")));
  return true;
}

bool InvalidPackageExit(Messages& messages) {
  messages.Error(kInvalidPackage);
  TraceLog("Invalid MPI!");
  return true;
}

// Ends the progress display on every way out of the install.
class ProgressScope {
 public:
  ProgressScope(Progress* progress, int resource_count) : progress_(progress) {
    if (progress_ != nullptr) progress_->Begin(resource_count);
  }
  ~ProgressScope() {
    if (progress_ != nullptr) progress_->End();
  }
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;

 private:
  Progress* progress_;
};

HandlerOutcome Dispatch(InstallContext& context) {
  switch (context.resource.typeCode) {
    case 5:
      return ReplaceGameFile(context);
    case 6:
      return InstallIcons(context);
    default:
      return InsertResource(context);
  }
}

// Holds the boxes of rows planned ahead; they are shown only if the row turns out to be where the
// install stops.
class HeldMessages : public Messages {
 public:
  void Error(const std::string& text) override { errors_.push_back(text); }
  void Information(const std::string&, const std::string&) override {}
  void Plain(const std::string&, const std::string&) override {}
  bool Confirm(const std::string&, const std::string&) override { return true; }
  void ShowTo(Messages& messages) const {
    for (const std::string& text : errors_) messages.Error(text);
  }

 private:
  std::vector<std::string> errors_;
};

// Every game file the mod changed, synced once, so that the log never calls a mod complete whose
// bytes a power cut could still take.
std::error_code SyncChangedFiles(const ModLogEntry& entry, const GameFiles& game_files) {
  std::array<bool, kGameFileCount> changed{};
  for (const FileChange& change : entry.Changes) {
    changed[static_cast<size_t>(change.FileIndex)] = true;
  }
  return SyncGameFiles(changed, game_files);
}

}  // namespace

bool InstallMod(const std::string& package_path, const PackageHeader& header, ModLog& log,
                const GameFiles& game_files, bool cc_present, Messages& messages,
                Progress* progress) {
  return InstallModTuned(package_path, header, log, game_files, cc_present, messages, progress,
                         InstallTuning{});
}

bool InstallModTuned(const std::string& package_path, const PackageHeader& header, ModLog& log,
                     const GameFiles& game_files, bool cc_present, Messages& messages,
                     Progress* progress, const InstallTuning& tuning) {
  std::vector<unsigned char> buffer(kCopyBufferSize);
  TraceLog("InstallMod called");

  TraceLog("Opening MPI");
  BinaryFile package;
  if (auto error = package.Open(package_path, OpenMode::kRead)) return ErrorExit(messages, error);
  TraceLog("MPI opened");
  int64_t package_length = 0;
  if (auto error = package.Length(&package_length)) return ErrorExit(messages, error);

  if (ReadModLog(log, game_files, messages)) return ErrorExit(messages, {});
  if (GameIsRunning()) return ErrorExit(messages, make_error_code(FileError::kGameRunning));

  // A header that failed its checks part way holds fewer rows than it counts; it never gets
  // here, but the walk stays inside the rows that were read.
  const int resource_count = std::min<int>(header.resourceCount, header.resources.size());
  if (RecordedPastTheEnd(header, log.FileState, game_files, cc_present)) {
    messages.Error(kUnfinishedModAhead);
    TraceLog("Recorded length past the end of an archive");
    return true;
  }

  ModLogEntry entry;
  entry.Name = header.title + " (incomplete)";
  log.Mods.push_back(std::move(entry));

  TraceLog("", header.resourceCount, " resources");
  ProgressScope progress_scope(progress, std::max(resource_count, 0));
  int64_t bytes_copied = 0;
  // What the handlers are lent for row `number`; their boxes go to `boxes`.
  const auto context_for = [&](int number, const ResourceEntry& resource, Messages& boxes) {
    return InstallContext{package,
                          package_length,
                          buffer,
                          number,
                          resource,
                          log,
                          game_files,
                          cc_present,
                          boxes,
                          progress,
                          &bytes_copied,
                          {},
                          tuning.kernel_copy,
                          tuning.sync_data};
  };
  const auto end_at = [&messages](const InstallContext& context, HandlerOutcome outcome) {
    switch (outcome) {
      case HandlerOutcome::kInvalidPackage:
        return InvalidPackageExit(messages);
      case HandlerOutcome::kError:
        return ErrorExit(messages, context.error);
      default:
        return true;
    }
  };
  for (int i = 1; i <= resource_count;) {
    TraceLog("Resource ", i, ":");
    const ResourceEntry& row = header.resources[i];
    if (!IsArchiveResource(row)) {
      // Their backups and temporary sprites must exist before they are recorded: one save each.
      InstallContext context = context_for(i, row, messages);
      const HandlerOutcome outcome = Dispatch(context);
      if (outcome != HandlerOutcome::kDone) return end_at(context, outcome);
      TraceLog("Finished doing that resource");
      if (progress != nullptr) progress->Update(i, bytes_copied);
      ++i;
      continue;
    }

    // Consecutive archive resources, planned together up to the bounds; the first that would be
    // refused ends the batch before it.
    ArchivePlanner planner(OpenMode::kReadWrite, log.FileState);
    std::vector<BatchItem> batch;
    int64_t batch_bytes = 0;
    HeldMessages held;
    PlannedChange refused;
    for (int j = i; j <= resource_count; ++j) {
      const ResourceEntry& next = header.resources[j];
      if (!IsArchiveResource(next) ||
          static_cast<int>(batch.size()) >= std::max(tuning.batch_resources, 1) ||
          (!batch.empty() && batch_bytes + std::max(next.dataLength, 0) > tuning.batch_bytes)) {
        break;
      }
      InstallContext context = context_for(j, next, held);
      PlannedChange planned = planner.PlanInsert(context);
      if (planned.kind == PlannedKind::kRefused) {
        refused = std::move(planned);
        break;
      }
      batch.push_back({std::move(planned), &next});
      batch_bytes += std::max(next.dataLength, 0);
      // The next row must read this archive's header again, after the write.
      if (planner.stale()) break;
    }
    InstallContext context = context_for(i, row, messages);
    if (batch.empty()) {
      // The row fails as the first of its batch, as it would on its own.
      (void)planner.CloseAll();
      held.ShowTo(messages);
      return end_at(context, EndAtRefusal(context, refused));
    }
    TraceLog("Batch of ", static_cast<int64_t>(batch.size()), " resources");
    if (const HandlerOutcome outcome = RecordAndApply(context, planner, batch);
        outcome != HandlerOutcome::kDone) {
      return end_at(context, outcome);
    }
    TraceLog("Finished doing that batch");
    // A refused row is planned again as the first of the next batch, against the files as they
    // now are, and fails there.
    i += static_cast<int>(batch.size());
  }

  if (auto error = package.Close()) return ErrorExit(messages, error);
  if (tuning.sync_data) {
    if (auto error = SyncChangedFiles(log.Mods.back(), game_files)) {
      return ErrorExit(messages, error);
    }
  }
  TraceLog("Finished installation");
  log.Mods.back().Name = header.title;
  if (SaveModLog(log, messages)) return ErrorExit(messages, {});
  return false;
}

}  // namespace tarnwick
