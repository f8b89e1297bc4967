#include <system_error>

#include "install/install.h"
#include "platform/failure.h"
#include "platform/file_system.h"

namespace tarnwick {
namespace {

constexpr int32_t kHighestBackup = 999;  // backup names carry three digits

// The GameFiles index that a replacement's targetCode names, or -1.
int TargetIndex(uint8_t target_code) {
  switch (target_code) {
    case 6:
      return 5;
    case 8:
      return 25;
    case 9:
      return 6;
    case 10:
      return 26;
    case 11:
      return 7;
    case 12:
      return 27;
    default:
      return -1;
  }
}

}  // namespace

HandlerOutcome ReplaceGameFile(InstallContext& context) {
  const ResourceEntry& resource = context.resource;
  const int index = TargetIndex(resource.targetCode);
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
