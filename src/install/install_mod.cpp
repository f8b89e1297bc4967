#include <algorithm>
#include <string>

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

}  // namespace

bool InstallMod(const std::string& package_path, const PackageHeader& header, ModLog& log,
                const GameFiles& game_files, bool cc_present, Messages& messages,
                Progress* progress) {
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

  ModLogEntry entry;
  entry.Name = header.title + " (incomplete)";
  log.Mods.push_back(std::move(entry));

  // A header that failed its checks part way holds fewer rows than it counts; it never gets
  // here, but the walk stays inside the rows that were read.
  const int resource_count = std::min<int>(header.resourceCount, header.resources.size());
  TraceLog("", header.resourceCount, " resources");
  ProgressScope progress_scope(progress, std::max(resource_count, 0));
  int64_t bytes_copied = 0;
  for (int i = 1; i <= resource_count; ++i) {
    TraceLog("Resource ", i, ":");
    InstallContext context{package,    package_length, buffer,   i,        header.resources[i], log,
                           game_files, cc_present,     messages, progress, &bytes_copied,       {}};
    switch (Dispatch(context)) {
      case HandlerOutcome::kDone:
        break;
      case HandlerOutcome::kAbort:
        return true;
      case HandlerOutcome::kInvalidPackage:
        return InvalidPackageExit(messages);
      case HandlerOutcome::kError:
        return ErrorExit(messages, context.error);
    }
    TraceLog("Finished doing that resource");
    if (progress != nullptr) progress->Update(i, bytes_copied);
  }

  if (auto error = package.Close()) return ErrorExit(messages, error);
  TraceLog("Finished installation");
  log.Mods.back().Name = header.title;
  if (SaveModLog(log, messages)) return ErrorExit(messages, {});
  return false;
}

}  // namespace tarnwick
