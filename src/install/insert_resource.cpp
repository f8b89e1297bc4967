#include <string>
#include <vector>

#include "archive/drs.h"
#include "install/archive_planner.h"
#include "install/install.h"
#include "platform/trace.h"

namespace tarnwick {

HandlerOutcome EndAtRefusal(InstallContext& context, const PlannedChange& refused) {
  if (!refused.message.empty()) context.messages.Error(refused.message);
  if (refused.outcome == HandlerOutcome::kError) context.error = refused.error;
  return refused.outcome;
}

HandlerOutcome RecordAndApply(InstallContext& context, ArchivePlanner& planner,
                              const std::vector<BatchItem>& batch) {
  // Recorded before touched: the whole batch goes into the log first.
  for (const BatchItem& item : batch) {
    const FileChange& change = item.planned.change;
    CurrentEntry(context).Changes.push_back(change);
    context.log.FileState[static_cast<size_t>(change.FileIndex)] =
        change.OldState + item.resource->dataLength;
  }
  if (SaveModLog(context.log, context.messages)) return Fail(context, {});

  for (const BatchItem& item : batch) {
    const FileChange& change = item.planned.change;
    const ResourceEntry& resource = *item.resource;
    InstallContext row{context.package,
                       context.package_length,
                       context.buffer,
                       item.planned.resource_number,
                       resource,
                       context.log,
                       context.game_files,
                       context.CCPresent,
                       context.messages,
                       context.progress,
                       context.bytes_copied,
                       {},
                       context.kernel_copy,
                       context.write_out};
    BinaryFile& archive = planner.File(change.FileIndex);
    TraceLog("Adding to DRS");
    TraceLog(" Seeking DRS to", change.OldState);
    if (auto error = archive.Seek(change.OldState)) return Fail(context, error);
    TraceLog(" Seeking MPI to", resource.dataOffset);
    if (auto error = context.package.Seek(resource.dataOffset)) return Fail(context, error);
    if (auto error = CopyBlocks(row, context.package, archive, resource.dataLength)) {
      return Fail(context, error);
    }
    unsigned char field[4];
    TraceLog(" Updating header (1) -", change.OldState);
    StoreI32(field, change.OldState);
    if (auto error = archive.WriteAt(int64_t{change.EntryPos} + 4, field, sizeof field)) {
      return Fail(context, error);
    }
    TraceLog(" Updating header (2) -", resource.dataLength);
    StoreI32(field, resource.dataLength);
    if (auto error = archive.WriteAt(int64_t{change.EntryPos} + 8, field, sizeof field)) {
      return Fail(context, error);
    }
    if (context.progress != nullptr) {
      context.progress->Update(item.planned.resource_number, *context.bytes_copied);
    }
  }
  TraceLog(" Closing");
  if (auto error = planner.CloseAll()) return Fail(context, error);
  return HandlerOutcome::kDone;
}

// One resource: a batch of one.
HandlerOutcome InsertResource(InstallContext& context) {
  ArchivePlanner planner(OpenMode::kReadWrite, context.log.FileState);
  const PlannedChange planned = planner.PlanInsert(context);
  if (planned.kind == PlannedKind::kRefused) return EndAtRefusal(context, planned);
  const HandlerOutcome outcome = RecordAndApply(context, planner, {{planned, &context.resource}});
  TraceLog("Finishing resource");
  return outcome;
}

}  // namespace tarnwick
