#include <system_error>

#include "install/install.h"
#include "install/install_rules.h"
#include "platform/failure.h"
#include "platform/file_system.h"

namespace tarnwick {

HandlerOutcome ReplaceGameFile(InstallContext& context) {
  const ResourceEntry& resource = context.resource;
  const int index = ReplacementTargetIndex(resource.targetCode);
  if (index < 0) return HandlerOutcome::kInvalidPackage;
  if (index >= kCcOffset && !context.CCPresent) return HandlerOutcome::kDone;
  if (!PayloadInPackage(context)) return HandlerOutcome::kInvalidPackage;

  const std::string& target = context.game_files[static_cast<size_t>(index)];
  const int32_t backup_number = context.log.FileState[static_cast<size_t>(index)];
  if (backup_number < 0 || backup_number > kHighestBackup) {
    return Fail(context, make_error_code(FileError::kOutOfRange));
  }

  // The backup, and its name in the folder, are on disk before the change that relies on them is
  // saved. It is made anew, so that nothing planted under its name is written through.
  if (auto error = CopyToNewFile(target, BackupPath(target, backup_number))) {
    return Fail(context, error);
  }
  CurrentEntry(context).Changes.push_back(
      FileChange{static_cast<int16_t>(index), backup_number, 0, 0, 0});
  context.log.FileState[static_cast<size_t>(index)] = backup_number + 1;
  if (SaveModLog(context.log, context.messages)) {
    return Fail(context, {});
  }

  // Emptied and rewritten rather than deleted and made anew: a game file that is a link to the
  // real one stays a link, and what it points to takes the new content.
  BinaryFile file;
  if (auto error = file.Open(target, OpenMode::kCreate)) return Fail(context, error);
  if (auto error = context.package.Seek(resource.dataOffset)) return Fail(context, error);
  if (auto error = CopyBlocks(context, context.package, file, resource.dataLength)) {
    return Fail(context, error);
  }
  if (auto error = file.Close()) return Fail(context, error);
  return HandlerOutcome::kDone;
}

}  // namespace tarnwick
