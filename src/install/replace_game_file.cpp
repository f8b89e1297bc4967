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

  // The backup exists before the change that relies on it is saved.
  if (auto error = CopyFileOver(target, BackupPath(target, backup_number))) {
    return Fail(context, error);
  }
  CurrentEntry(context).Changes.push_back(
      FileChange{static_cast<int16_t>(index), backup_number, 0, 0, 0});
  context.log.FileState[static_cast<size_t>(index)] = backup_number + 1;
  if (SaveModLog(context.log, context.messages)) {
    return Fail(context, {});
  }

  if (auto error = DeleteFile(target)) return Fail(context, error);
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
