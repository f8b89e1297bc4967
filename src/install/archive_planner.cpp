#include "install/archive_planner.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <set>
#include <string>

#include "install/install_rules.h"
#include "platform/failure.h"
#include "platform/file_system.h"
#include "platform/trace.h"

namespace tarnwick {

const char kUnfinishedModAhead[] =
    "An earlier installation was cut off before it finished, so this mod cannot be installed "
    "on top of it. Take the unfinished mod off first with \"Remove latest\".";

namespace {

constexpr char kCcNeeded[] =
    "This mod requires the Clone Campaigns expansion pack, which cannot be found - if you have "
    "installed it, make sure it has been run at least once. If you don't have CC, you can't use "
    "this mod until you buy it!";

constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

// The icon payload: its info block, the sprite header and frame rows it edits.
constexpr int32_t kIconInfoSize = 12;
constexpr int32_t kSlpHeaderSize = 32;
constexpr int32_t kSlpFrameRowSize = 32;

PlannedChange Refusal(const InstallContext& context, HandlerOutcome outcome,
                      std::string message = {}, std::error_code error = {}) {
  PlannedChange refused;
  refused.resource_number = context.resource_number;
  refused.kind = PlannedKind::kRefused;
  refused.id = context.resource.resourceId;
  refused.outcome = outcome;
  refused.message = std::move(message);
  refused.error = error;
  return refused;
}

PlannedChange Failure(const InstallContext& context, std::error_code error) {
  return Refusal(context, HandlerOutcome::kError, {}, error);
}

}  // namespace

bool RecordedPastTheEnd(const PackageHeader& header,
                        const std::array<int32_t, kGameFileCount>& file_state,
                        const GameFiles& game_files, bool cc_present, const GameBefore* before) {
  const int resource_count = std::min<int>(header.resourceCount, header.resources.size());
  std::set<int> archives;
  for (int i = 1; i <= resource_count; ++i) {
    const ResourceEntry& row = header.resources[i];
    if (row.typeCode == 6) archives.insert(IconArchiveIndex(cc_present));
    if (!IsArchiveResource(row)) continue;
    const ArchiveChoice choice = ChooseArchive(row.targetCode, row.resourceId, cc_present);
    if (choice.index >= 0 && !(choice.needs_cc && !cc_present)) archives.insert(choice.index);
  }
  for (const int index : archives) {
    const std::string& path = game_files[static_cast<size_t>(index)];
    int64_t length = 0;
    if (!PathListed(path) || FileLength(path, &length)) continue;
    if (before != nullptr)
      length = std::min(length, before->length_limit[static_cast<size_t>(index)]);
    if (file_state[static_cast<size_t>(index)] > length) return true;
  }
  return false;
}

BinaryFile& ArchivePlanner::File(int index) { return views_.at(index)->file; }

std::error_code ArchivePlanner::CloseAll() {
  std::error_code first;
  for (auto& [index, view] : views_) {
    if (auto error = view->file.Close(); error && !first) first = error;
  }
  views_.clear();
  stale_ = false;
  return first;
}

HandlerOutcome ArchivePlanner::Open(InstallContext& context, int index, View** view,
                                    std::error_code* error) {
  auto found = views_.find(index);
  if (found != views_.end()) {
    *view = found->second.get();
    return HandlerOutcome::kDone;
  }
  auto fresh = std::make_unique<View>();
  TraceLog("Opening DRS");
  if ((*error = fresh->file.Open(context.game_files[static_cast<size_t>(index)], mode_))) {
    return HandlerOutcome::kError;
  }
  if (before_ != nullptr) {
    fresh->limit = before_->length_limit[static_cast<size_t>(index)];
    fresh->restores = &before_->restores[static_cast<size_t>(index)];
  }
  class Then : public ArchiveBytes {
   public:
    explicit Then(View& view) : view_(view) {}
    std::error_code Length(int64_t* length) override {
      if (auto error = view_.file.Length(length)) return error;
      *length = std::min(*length, view_.limit);
      return {};
    }
    std::error_code ReadAt(int64_t position, void* buffer, size_t count) override {
      return ReadThen(view_, position, buffer, count);
    }

   private:
    View& view_;
  } then(*fresh);
  std::error_code io_error;
  switch (ReadDrsDirectory(then, fresh->directory, context.messages, &io_error)) {
    case DrsRead::kOk:
      break;
    case DrsRead::kInvalid:
      return HandlerOutcome::kInvalidPackage;
    case DrsRead::kIoError:
      *error = io_error;
      return HandlerOutcome::kError;
  }
  if ((*error = then.Length(&fresh->length))) return HandlerOutcome::kError;
  fresh->head_end = kDrsHeaderSize + int64_t{kDrsTableSize} * fresh->directory.header.tableCount;
  fresh->ids_changed = true;
  *view = fresh.get();
  views_[index] = std::move(fresh);
  return HandlerOutcome::kDone;
}

int32_t ArchivePlanner::LastEntryWithId(View& view, int32_t id) {
  if (view.ids_changed) {
    view.last_by_id.clear();
    view.last_by_id.reserve(static_cast<size_t>(std::max(view.directory.totalEntries, 0)));
    for (int32_t i = 1; i <= view.directory.totalEntries; ++i) {
      view.last_by_id[view.directory.entries[i].id] = i;
    }
    view.ids_changed = false;
  }
  const auto found = view.last_by_id.find(id);
  return found == view.last_by_id.end() ? 0 : found->second;
}

void ArchivePlanner::Redirect(View& view, int64_t entry_pos, int32_t offset, int32_t size) {
  const int64_t from = entry_pos + 4;  // the offset and size fields
  const int64_t to = entry_pos + kDrsEntrySize;
  if (from < view.head_end) stale_ = true;
  unsigned char written[8];
  StoreI32(written, offset);
  StoreI32(written + 4, size);
  // Tables may share or overlap their runs: every entry whose bytes the write covers changes.
  int32_t before = 0;  // entries of the tables before this one
  for (const DrsTableInfo& table : view.directory.tables) {
    const int32_t count = std::max(table.entryCount, 0);
    const int64_t run = table.entriesOffset;
    // Entries k with run + 12k < to and run + 12k + 12 > from.
    const int64_t first = std::max<int64_t>(0, (from - run - kDrsEntrySize) / kDrsEntrySize);
    const int64_t last = std::min<int64_t>(count - 1, (to - 1 - run) / kDrsEntrySize);
    for (int64_t k = first; to - 1 >= run && k <= last; ++k) {
      const int64_t at = run + int64_t{kDrsEntrySize} * k;
      const int32_t number = before + static_cast<int32_t>(k) + 1;
      if (at + kDrsEntrySize <= from || at >= to) continue;
      DrsFileEntry& entry = view.directory.entries[number];
      unsigned char raw[kDrsEntrySize];
      StoreI32(raw, entry.id);
      StoreI32(raw + 4, entry.offset);
      StoreI32(raw + 8, entry.size);
      for (int64_t b = std::max(at, from); b < std::min(at + kDrsEntrySize, to); ++b) {
        raw[b - at] = written[b - from];
      }
      const int32_t id = LoadI32(raw);
      if (id != entry.id) view.ids_changed = true;
      entry = {id, LoadI32(raw + 4), LoadI32(raw + 8)};
    }
    before += count;
  }
}

std::error_code ArchivePlanner::ReadThen(View& view, int64_t position, void* buffer, size_t count) {
  if (position > view.limit - static_cast<int64_t>(count)) {
    return make_error_code(FileError::kShortRead);
  }
  if (auto error = view.file.ReadAt(position, buffer, count)) return error;
  if (view.restores == nullptr) return {};
  auto* bytes = static_cast<unsigned char*>(buffer);
  for (const EntryRestore& restore : *view.restores) {
    unsigned char fields[8];
    StoreI32(fields, restore.offset);
    StoreI32(fields + 4, restore.size);
    for (int64_t b = std::max(restore.position, position);
         b < std::min(restore.position + 8, position + static_cast<int64_t>(count)); ++b) {
      bytes[b - position] = fields[b - restore.position];
    }
  }
  return {};
}

std::error_code ArchivePlanner::ReadI32(InstallContext& context, View& view, int64_t position,
                                        int32_t* value) {
  unsigned char raw[4];
  bool from_file = false;
  for (int b = 0; b < 4; ++b) {
    const int64_t at = position + b;
    const auto covering =
        std::find_if(view.appended.rbegin(), view.appended.rend(),
                     [at](const Appended& a) { return at >= a.start && at < a.start + a.length; });
    if (covering == view.appended.rend()) {
      from_file = true;
      continue;
    }
    const int64_t inside = at - covering->start;
    if (covering->package_offset >= 0) {
      if (auto error = context.package.ReadAt(covering->package_offset + inside, &raw[b], 1)) {
        return error;
      }
    } else {
      // A rebuilt sprite is only ever read for its frame count, within its first 8 bytes.
      raw[b] = inside < 8 ? covering->head[static_cast<size_t>(inside)] : 0;
    }
  }
  if (from_file) {
    unsigned char disk[4];
    if (auto error = ReadThen(view, position, disk, sizeof disk)) return error;
    for (int b = 0; b < 4; ++b) {
      const int64_t at = position + b;
      const bool appended =
          std::any_of(view.appended.begin(), view.appended.end(),
                      [at](const Appended& a) { return at >= a.start && at < a.start + a.length; });
      if (!appended) raw[b] = disk[b];
    }
  }
  *value = LoadI32(raw);
  return {};
}

PlannedChange ArchivePlanner::PlanInsert(InstallContext& context) {
  TraceLog("Normal resource");
  const ResourceEntry& resource = context.resource;
  if (resource.targetCode > 4) return Refusal(context, HandlerOutcome::kInvalidPackage);

  const ArchiveChoice choice =
      ChooseArchive(resource.targetCode, resource.resourceId, context.CCPresent);
  if (choice.needs_cc && !context.CCPresent) {
    TraceLog("CC needed but not found");
    return Refusal(context, HandlerOutcome::kAbort, kCcNeeded);
  }
  const int index = choice.index;
  const auto slot = static_cast<size_t>(index);

  // A payload outside the package, or one that would push the recorded length past what the
  // log's 32-bit values hold, cannot be installed.
  if (!PayloadInPackage(context)) return Refusal(context, HandlerOutcome::kInvalidPackage);
  const int32_t old_state = file_state_[slot];
  if (static_cast<int64_t>(old_state) + resource.dataLength > kInt32Max) {
    return Refusal(context, HandlerOutcome::kInvalidPackage);
  }
  if (old_state < 0) return Failure(context, make_error_code(FileError::kOutOfRange));

  View* view = nullptr;
  std::error_code error;
  if (const HandlerOutcome outcome = Open(context, index, &view, &error);
      outcome != HandlerOutcome::kDone) {
    return Refusal(context, outcome, {}, error);
  }
  // Appending past the end would leave a hole no removal could account for.
  if (old_state > view->length)
    return Refusal(context, HandlerOutcome::kAbort, kUnfinishedModAhead);

  TraceLog("Looking for match");
  const int32_t number = LastEntryWithId(*view, resource.resourceId);
  const int64_t entry_pos = number > 0 ? EntryPosition(view->directory, number) : -1;
  if (entry_pos < 0) return Refusal(context, HandlerOutcome::kInvalidPackage);
  TraceLog("Found match");

  PlannedChange planned;
  planned.resource_number = context.resource_number;
  planned.kind = PlannedKind::kResource;
  planned.file_index = index;
  planned.id = resource.resourceId;
  planned.size = resource.dataLength;
  const DrsFileEntry& entry = view->directory.entries[number];
  planned.change = {static_cast<int16_t>(index), old_state, static_cast<int32_t>(entry_pos),
                    entry.offset, entry.size};

  file_state_[slot] = old_state + resource.dataLength;
  view->length = std::max<int64_t>(view->length, file_state_[slot]);
  view->appended.push_back({old_state, resource.dataLength, resource.dataOffset, {}});
  Redirect(*view, entry_pos, old_state, resource.dataLength);
  return planned;
}

std::vector<PlannedChange> ArchivePlanner::PlanReplacement(InstallContext& context) {
  const ResourceEntry& resource = context.resource;
  const int index = ReplacementTargetIndex(resource.targetCode);
  if (index < 0) return {Refusal(context, HandlerOutcome::kInvalidPackage)};
  if (index >= kCcOffset && !context.CCPresent) return {};
  if (!PayloadInPackage(context)) return {Refusal(context, HandlerOutcome::kInvalidPackage)};
  const int32_t backup_number = file_state_[static_cast<size_t>(index)];
  if (backup_number < 0 || backup_number > kHighestBackup) {
    return {Failure(context, make_error_code(FileError::kOutOfRange))};
  }
  PlannedChange planned;
  planned.resource_number = context.resource_number;
  planned.kind = PlannedKind::kReplacement;
  planned.file_index = index;
  planned.size = resource.dataLength;
  planned.change = {static_cast<int16_t>(index), backup_number, 0, 0, 0};
  file_state_[static_cast<size_t>(index)] = backup_number + 1;
  return {planned};
}

std::vector<PlannedChange> ArchivePlanner::PlanIcons(InstallContext& context) {
  const ResourceEntry& resource = context.resource;
  const int index = IconArchiveIndex(context.CCPresent);
  const int civ_count = IconCivCount(context.CCPresent);
  View* view = nullptr;
  std::error_code error;
  if (const HandlerOutcome outcome = Open(context, index, &view, &error);
      outcome != HandlerOutcome::kDone) {
    return {Refusal(context, outcome, {}, error)};
  }
  const auto invalid = [&context] {
    return std::vector{Refusal(context, HandlerOutcome::kInvalidPackage)};
  };
  // As the handler does: the first 12 bytes tell whether any sprite is rebuilt; only then must
  // the rest of the payload be there. Width and row offsets are only stored or added to.
  if (resource.dataLength < kIconInfoSize || resource.dataOffset < 0 ||
      int64_t{resource.dataOffset} + kIconInfoSize > context.package_length) {
    return invalid();
  }
  unsigned char raw[kIconInfoSize];
  if ((error = context.package.ReadAt(resource.dataOffset, raw, sizeof raw))) {
    return {Failure(context, error)};
  }
  const int32_t civ_mask = LoadI32(raw);
  const int32_t height = LoadI32(raw + 8);
  const int64_t command_length = int64_t{resource.dataLength} - kIconInfoSize - int64_t{4} * height;

  // The first entry with each civilisation's sprite id, as the directory stands before the row.
  const int32_t icon_set = IconSetOf(civ_mask);
  std::vector<int32_t> numbers(static_cast<size_t>(civ_count), 0);
  for (int c = 0; c < civ_count; ++c) {
    if ((civ_mask >> c & 1) == 0) continue;
    const int32_t id = IconSpriteId(icon_set, c, context.CCPresent);
    if (id == 0) continue;
    for (int32_t i = 1; i <= view->directory.totalEntries; ++i) {
      if (view->directory.entries[i].id == id) {
        numbers[static_cast<size_t>(c)] = i;
        break;
      }
    }
  }
  if (std::all_of(numbers.begin(), numbers.end(), [](int32_t n) { return n == 0; })) return {};
  if (!PayloadInPackage(context) || height < 0 || command_length < 0) return invalid();

  const int32_t recorded = file_state_[static_cast<size_t>(index)];
  if (recorded < 0) return {Failure(context, make_error_code(FileError::kOutOfRange))};
  const int32_t n = resource.resourceId;
  std::vector<DrsFileEntry> sprites(static_cast<size_t>(civ_count));
  std::vector<std::array<unsigned char, 8>> heads(static_cast<size_t>(civ_count));
  int64_t end = recorded;
  for (int c = 0; c < civ_count; ++c) {
    const int32_t number = numbers[static_cast<size_t>(c)];
    if (number <= 0) continue;
    const DrsFileEntry sprite = view->directory.entries[number];
    sprites[static_cast<size_t>(c)] = sprite;
    if (sprite.offset < 0 || sprite.size < kSlpHeaderSize ||
        int64_t{sprite.offset} + sprite.size > view->length) {
      return invalid();
    }
    int32_t version = 0;
    int32_t frame_count = 0;
    if ((error = ReadI32(context, *view, sprite.offset, &version)) ||
        (error = ReadI32(context, *view, int64_t{sprite.offset} + 4, &frame_count))) {
      return {Failure(context, error)};
    }
    StoreI32(heads[static_cast<size_t>(c)].data(), version);
    StoreI32(heads[static_cast<size_t>(c)].data() + 4, frame_count);
    if (n < 1 || n > frame_count) return invalid();
    if (sprite.size < kSlpHeaderSize + int64_t{kSlpFrameRowSize} * frame_count) return invalid();
    const int64_t position = EntryPosition(view->directory, number);
    if (position < 0 || position > kInt32Max - kDrsEntrySize) return invalid();
    end += sprite.size + command_length + int64_t{8} * height;
    if (end > kInt32Max) return invalid();
  }

  std::vector<PlannedChange> changes;
  for (int c = 0; c < civ_count; ++c) {
    const int32_t number = numbers[static_cast<size_t>(c)];
    if (number <= 0) continue;
    const DrsFileEntry& sprite = sprites[static_cast<size_t>(c)];
    const int64_t position = EntryPosition(view->directory, number);
    // The entry as the rows and civilisations before left it; the sprite as the row found it.
    const int32_t at = file_state_[static_cast<size_t>(index)];
    const int64_t new_size = int64_t{sprite.size} + command_length + int64_t{8} * height;
    // Redirect keeps every entry the earlier writes covered as the disk will hold it.
    const DrsFileEntry current = view->directory.entries[number];
    PlannedChange planned;
    planned.resource_number = context.resource_number;
    planned.kind = PlannedKind::kIcon;
    planned.file_index = index;
    planned.id = view->directory.entries[number].id;
    planned.size = new_size;
    planned.change = {static_cast<int16_t>(index), at, static_cast<int32_t>(position),
                      current.offset, current.size};
    changes.push_back(planned);
    file_state_[static_cast<size_t>(index)] = at + static_cast<int32_t>(new_size);
    view->length = std::max<int64_t>(view->length, file_state_[static_cast<size_t>(index)]);
    view->appended.push_back({at, new_size, -1, heads[static_cast<size_t>(c)]});
    Redirect(*view, position, at, static_cast<int32_t>(new_size));
  }
  return changes;
}

}  // namespace tarnwick
