#include <limits>
#include <string>

#include "archive/drs.h"
#include "install/install.h"
#include "install/install_rules.h"
#include "platform/failure.h"
#include "platform/trace.h"

namespace tarnwick {
namespace {

constexpr char kCcNeeded[] =
    "This mod requires the Clone Campaigns expansion pack, which cannot be found - if you have "
    "installed it, make sure it has been run at least once. If you don't have CC, you can't use "
    "this mod until you buy it!";

}  // namespace

HandlerOutcome InsertResource(InstallContext& context) {
  TraceLog("Normal resource");
  const ResourceEntry& resource = context.resource;
  if (resource.targetCode > 4) return HandlerOutcome::kInvalidPackage;

  const ArchiveChoice choice =
      ChooseArchive(resource.targetCode, resource.resourceId, context.CCPresent);
  if (choice.needs_cc && !context.CCPresent) {
    TraceLog("CC needed but not found");
    context.messages.Error(kCcNeeded);
    return HandlerOutcome::kAbort;
  }
  const int index = choice.index;
  const auto slot = static_cast<size_t>(index);

  // Checked before anything is recorded: a payload outside the package, or one that would push
  // the recorded length past what the log's 32-bit values hold, cannot be installed.
  if (!PayloadInPackage(context)) return HandlerOutcome::kInvalidPackage;
  const int32_t old_state = context.log.FileState[slot];
  if (static_cast<int64_t>(old_state) + resource.dataLength > std::numeric_limits<int32_t>::max()) {
    return HandlerOutcome::kInvalidPackage;
  }
  if (old_state < 0) return Fail(context, make_error_code(FileError::kOutOfRange));

  TraceLog("Opening DRS");
  BinaryFile archive;
  if (auto error = archive.Open(context.game_files[slot], OpenMode::kReadWrite)) {
    return Fail(context, error);
  }
  DrsDirectory directory;
  std::error_code io_error;
  switch (ReadDrsDirectory(archive, directory, context.messages, &io_error)) {
    case DrsRead::kOk:
      break;
    case DrsRead::kInvalid:
      return HandlerOutcome::kInvalidPackage;
    case DrsRead::kIoError:
      return Fail(context, io_error);
  }

  TraceLog("Looking for match");
  int64_t entry_pos = -1;
  int32_t number = 0;
  for (const DrsTableInfo& table : directory.tables) {
    for (int32_t k = 0; k < table.entryCount; ++k) {
      ++number;
      if (directory.entries[number].id == resource.resourceId) {
        entry_pos = static_cast<int64_t>(table.entriesOffset) + int64_t{kDrsEntrySize} * k;
      }
    }
  }
  if (entry_pos < 0) return HandlerOutcome::kInvalidPackage;

  TraceLog("Found match");
  unsigned char entry[kDrsEntrySize];
  if (auto error = archive.ReadAt(entry_pos, entry, sizeof entry)) return Fail(context, error);

  FileChange change;
  change.FileIndex = static_cast<int16_t>(index);
  change.OldState = old_state;
  change.EntryPos = static_cast<int32_t>(entry_pos);
  change.OldOffset = LoadI32(entry + 4);
  change.OldSize = LoadI32(entry + 8);
  CurrentEntry(context).Changes.push_back(change);
  context.log.FileState[slot] = old_state + resource.dataLength;
  if (SaveModLog(context.log, context.messages)) return Fail(context, {});

  TraceLog("Adding to DRS");
  TraceLog(" Seeking DRS to", old_state);
  if (auto error = archive.Seek(old_state)) return Fail(context, error);
  TraceLog(" Seeking MPI to", resource.dataOffset);
  if (auto error = context.package.Seek(resource.dataOffset)) return Fail(context, error);
  if (auto error = CopyBlocks(context, context.package, archive, resource.dataLength)) {
    return Fail(context, error);
  }

  unsigned char field[4];
  TraceLog(" Updating header (1) -", old_state);
  StoreI32(field, old_state);
  if (auto error = archive.WriteAt(entry_pos + 4, field, sizeof field)) {
    return Fail(context, error);
  }
  TraceLog(" Updating header (2) -", resource.dataLength);
  StoreI32(field, resource.dataLength);
  if (auto error = archive.WriteAt(entry_pos + 8, field, sizeof field)) {
    return Fail(context, error);
  }

  TraceLog(" Closing");
  if (auto error = archive.Close()) return Fail(context, error);
  TraceLog("Finishing resource");
  return HandlerOutcome::kDone;
}

}  // namespace tarnwick
